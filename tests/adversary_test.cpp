// The quicksorts against inputs built to break them: the recursive sort must
// stay within its depth bound, the stack sort must survive a full stack, and
// both must still sort.

#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "dunmark.hpp"
#include "pivot_adversary.hpp"
#include "quicksort_replays.hpp"
#include "sort_inputs.hpp"

namespace {

// Runs recursiveQuickSort on a thread whose whole stack is 256 KiB: a
// recursion that grew with the element count would overflow it and crash.
void recursiveQuickSortOnSmallStack(std::vector<int>& values) {
  pthread_attr_t attributes;
  ASSERT_EQ(pthread_attr_init(&attributes), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attributes, 256 * 1024), 0);
  pthread_t thread;
  const auto sort = [](void* data) -> void* {
    auto& toSort = *static_cast<std::vector<int>*>(data);
    recursiveQuickSort(toSort.data(), 0, static_cast<int>(toSort.size()) - 1);
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attributes, sort, &values), 0);
  ASSERT_EQ(pthread_join(thread, nullptr), 0);
  pthread_attr_destroy(&attributes);
}

TEST(WorstPartitionInput, ForcesOneElementSplitsOnTheRealPartition) {
  for (const int size : {2, 3, 10, 1000}) {
    EXPECT_EQ(unboundedRecursionDepth(worstPartitionInput(size)), size - 1) << size;
  }
}

TEST(RecursiveQuickSort, StaysWithinItsDepthBoundOnTheWorstPartitions) {
  for (const int size : {100, 1000, 30000}) {
    SCOPED_TRACE("size " + std::to_string(size));
    const std::vector<int> input = worstPartitionInput(size);
    ASSERT_GT(unboundedRecursionDepth(input), recursionDepthLimit(size));
    std::vector<int> values = input;
    recursiveQuickSortOnSmallStack(values);
    EXPECT_EQ(values, sortedCopy(input));
  }
}

// Random data, by contrast, stays well inside the bound, so the bound never
// changes how the benchmark's data is sorted.
TEST(RecursiveQuickSort, RandomDataStaysWellInsideTheDepthBound) {
  std::mt19937 gen(5);
  for (const int size : {1000, 1 << 16, 1 << 20}) {
    EXPECT_LE(unboundedRecursionDepth(uniformValues(size, gen, 1, size)),
              recursionDepthLimit(size) * 3 / 4)
        << size;
  }
}

struct StackFilling {
  int levels;
  int size;
};

void PrintTo(const StackFilling& filling, std::ostream* out) {
  *out << filling.levels << " levels, " << filling.size << " elements";
}

class StackFillingInputs : public testing::TestWithParam<StackFilling> {};

TEST_P(StackFillingInputs, FillTheStackYetEndSorted) {
  const auto [levels, size] = GetParam();
  std::mt19937 gen(static_cast<unsigned>(levels));
  for (std::mt19937* undecided : {static_cast<std::mt19937*>(nullptr), &gen}) {
    const std::vector<int> input = stackFillingInput(levels, size, undecided);
    const StackReplay replay = replayStackQuickSort(input);
    EXPECT_GE(replay.mostInUse, std::min(levels + 1, 63));
    EXPECT_LE(replay.mostInUse, 63);
    if (levels >= 63) {
      EXPECT_GE(replay.refusals, 1);
    }
    std::vector<int> byStack = input;
    stackQuickSort(byStack.data(), size);
    EXPECT_EQ(byStack, sortedCopy(input));

    std::vector<int> byRecursion = input;
    recursiveQuickSortOnSmallStack(byRecursion);
    EXPECT_EQ(byRecursion, byStack);
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, StackFillingInputs,
                         testing::Values(StackFilling{40, 127}, StackFilling{62, 193},
                                         StackFilling{63, 196}, StackFilling{64, 199},
                                         StackFilling{80, 247}, StackFilling{1000, 100000}),
                         [](const auto& param) {
                           return std::to_string(param.param.levels) + "Levels" +
                                  std::to_string(param.param.size) + "Elements";
                         });

TEST(StackQuickSort, SortsTheWorstPartitions) {
  const std::vector<int> input = worstPartitionInput(20000);
  std::vector<int> values = input;
  stackQuickSort(values.data(), static_cast<int>(values.size()));
  EXPECT_EQ(values, sortedCopy(input));
  EXPECT_EQ(replayStackQuickSort(input).mostInUse, 1);
}

}  // namespace
