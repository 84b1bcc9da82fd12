// Both quicksorts at the benchmark's own size, on data drawn as it draws it,
// against std::sort. Needs about 1.6 GB and a minute in Release.

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <random>
#include <vector>

#include "dunmark.hpp"
#include "quicksort_observers.hpp"
#include "sort_inputs.hpp"

namespace {

TEST(ProgramSize, QuickSortsMatchStdSortOnHundredMillionRandomInts) {
  constexpr int kSize = 100000000;
  std::mt19937 gen(20261208);
  const std::vector<int> input = uniformValues(kSize, gen, 1, 100000000);
  const std::vector<int> expected = sortedCopy(input);

  std::vector<int> values = input;
  stackQuickSort(values.data(), kSize);
  EXPECT_TRUE(values == expected) << "stackQuickSort";

  values = input;
  recursiveQuickSort(values.data(), 0, kSize - 1);
  EXPECT_TRUE(values == expected) << "recursiveQuickSort";

  // Again, watched step by step: how close the benchmark's data comes to
  // the two limits.
  values = input;
  const StackSortRules stackSteps = stackSortSteps(values);
  values = input;
  const RecursionDepth depth = recursiveSortSteps(values);

  std::cout << "deepest recursion " << depth.deepest << " of " << recursionDepthLimit(kSize)
            << " allowed; fullest stack " << stackSteps.mostInUse << " of 63\n";
  EXPECT_EQ(depth.heapSorts, 0);
  EXPECT_EQ(stackSteps.refusals, 0);
}

}  // namespace
