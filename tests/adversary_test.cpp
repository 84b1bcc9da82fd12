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
#include "quicksort_observers.hpp"
#include "sort_inputs.hpp"

namespace {

// Runs recursiveQuickSort on a thread whose whole stack is 256 KiB: a
// recursion that grew with the element count would overflow it and crash.
RecursionDepth recursiveQuickSortOnSmallStack(std::vector<int>& values) {
  struct Work {
    std::vector<int>& values;
    RecursionDepth depth;
  } work{values, {}};
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, 256 * 1024);
  pthread_t thread;
  const auto sort = [](void* data) -> void* {
    auto& toSort = *static_cast<Work*>(data);
    toSort.depth = recursiveSortSteps(toSort.values);
    return nullptr;
  };
  EXPECT_EQ(pthread_create(&thread, &attributes, sort, &work), 0);
  EXPECT_EQ(pthread_join(thread, nullptr), 0);
  pthread_attr_destroy(&attributes);
  return work.depth;
}

// Each partition splits off one element, so the stack never holds more
// than one part and the recursion runs into its depth limit.
TEST(WorstPartitionInput, DefeatsThePivotRuleInBothSorts) {
  for (const int size : {100, 1000, 30000}) {
    SCOPED_TRACE("size " + std::to_string(size));
    const std::vector<int> input = worstPartitionInput(size);

    std::vector<int> byStack = input;
    EXPECT_EQ(stackSortSteps(byStack).mostInUse, 1);
    EXPECT_EQ(byStack, sortedCopy(input));

    std::vector<int> byRecursion = input;
    const RecursionDepth depth = recursiveQuickSortOnSmallStack(byRecursion);
    EXPECT_EQ(depth.deepest, recursionDepthLimit(size));
    EXPECT_GE(depth.heapSorts, 1);
    EXPECT_EQ(byRecursion, byStack);
  }
}

// Random data, by contrast, stays well inside the bound, so the bound never
// changes how the benchmark's data is sorted.
TEST(RecursiveQuickSort, RandomDataStaysWellInsideTheDepthBound) {
  std::mt19937 gen(5);
  for (const int size : {1000, 1 << 16, 1 << 20}) {
    std::vector<int> values = uniformValues(size, gen, 1, size);
    const RecursionDepth depth = recursiveSortSteps(values);
    EXPECT_LE(depth.deepest, recursionDepthLimit(size) * 3 / 4) << size;
    EXPECT_EQ(depth.heapSorts, 0) << size;
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
    std::vector<int> byStack = input;
    const StackSortRules steps = stackSortSteps(byStack);
    EXPECT_GE(steps.mostInUse, std::min(levels + 1, 63));
    if (levels >= 63) {
      EXPECT_GE(steps.refusals, 1);
    }
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

}  // namespace
