// Allocation failures part way through corvel's work: whatever was
// allocated before the failure must be released, not leaked. This binary
// replaces the global operator new so that any chosen allocation fails.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <iostream>
#include <new>

#include "corvel.hpp"

namespace {

long gAllocationsLeft = -1;  // allocations still allowed to succeed; negative: all
long gLiveBlocks = 0;

}  // namespace

void* operator new(std::size_t size) {
  if (gAllocationsLeft == 0) {
    throw std::bad_alloc();
  }
  if (gAllocationsLeft > 0) {
    --gAllocationsLeft;
  }
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) {
    throw std::bad_alloc();
  }
  ++gLiveBlocks;
  return block;
}

void operator delete(void* block) noexcept {
  if (block != nullptr) {
    --gLiveBlocks;
    std::free(block);
  }
}

void operator delete(void* block, std::size_t /*size*/) noexcept { operator delete(block); }

// Sanitizer runtimes define the array forms themselves, not through the above.
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete[](void* block) noexcept { operator delete(block); }
void operator delete[](void* block, std::size_t /*size*/) noexcept { operator delete(block); }

namespace {

// Runs `work` with every allocation after the first `successes` failing;
// returns whether it threw std::bad_alloc. Nothing it allocated may be left.
template <class Work>
bool failsAfter(long successes, Work work) {
  const long liveBefore = gLiveBlocks;
  gAllocationsLeft = successes;
  bool threw = false;
  try {
    work();
  } catch (const std::bad_alloc&) {
    threw = true;
  }
  gAllocationsLeft = -1;
  EXPECT_EQ(gLiveBlocks, liveBefore)
      << "leaked with the allocation after " << successes << " failing";
  return threw;
}

TEST(AllocationFailure, HalfBuiltListIsReleased) {
  const int values[] = {5, 3, 8, 1, 9};
  for (long successes = 0; successes < 5; ++successes) {
    EXPECT_TRUE(failsAfter(successes, [&] { freeList(buildList(values, 5)); }));
  }
  EXPECT_FALSE(failsAfter(5, [&] { freeList(buildList(values, 5)); }));
}

// The array, 20 nodes and the list sort's sentinel: each in turn fails.
TEST(AllocationFailure, BubbleDriverReleasesEverythingWhereverItFails) {
  std::streambuf* const original = std::cout.rdbuf(nullptr);  // the report goes nowhere
  long successes = 0;
  while (failsAfter(successes, [] { compareBubbleSorts(20); })) {
    ++successes;
  }
  std::cout.rdbuf(original);
  std::cout.clear();
  EXPECT_GE(successes, 22);
}

}  // namespace
