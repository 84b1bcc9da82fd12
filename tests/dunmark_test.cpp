#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <numeric>
#include <string>
#include <tuple>
#include <vector>

#include "dunmark.hpp"
#include "quicksort_observers.hpp"
#include "reports.hpp"
#include "sort_inputs.hpp"
#include "sorts_match_std_sort.hpp"

namespace {

int pivotOf(std::vector<int> values) {
  return choosePivot(values.data(), 0, static_cast<int>(values.size()) - 1);
}

// The first element wins whenever it is strictly the largest of the three.
TEST(ChoosePivot, PicksByTheTableOfOutcomes) {
  EXPECT_EQ(pivotOf({1, 2, 3}), 1);
  EXPECT_EQ(pivotOf({1, 3, 2}), 2);
  EXPECT_EQ(pivotOf({2, 1, 3}), 0);
  EXPECT_EQ(pivotOf({2, 3, 1}), 0);
  EXPECT_EQ(pivotOf({3, 1, 2}), 0);
  EXPECT_EQ(pivotOf({3, 2, 1}), 0);
  EXPECT_EQ(pivotOf({5, 5, 5}), 1);
}

TEST(ChoosePivot, TiesAndShortRanges) {
  EXPECT_EQ(pivotOf({4}), 0);
  EXPECT_EQ(pivotOf({2, 1}), 0);  // mid is lo
  EXPECT_EQ(pivotOf({1, 2}), 0);
  EXPECT_EQ(pivotOf({2, 2, 1}), 0);
  EXPECT_EQ(pivotOf({1, 2, 2}), 1);
  EXPECT_EQ(pivotOf({2, 1, 2}), 0);
  EXPECT_EQ(pivotOf({2, 3, 2}), 0);  // lo and hi tie below mid: lo
  EXPECT_EQ(pivotOf({INT_MAX, 0, INT_MIN}), 0);
}

TEST(ChoosePivot, LooksOnlyAtLoLowerMiddleAndHi) {
  // Range 2..7: the lower middle is 4; other elements do not count.
  const std::vector<int> values = {-9, 99, 10, 0, 30, 0, 99, 20};
  EXPECT_EQ(choosePivot(values.data(), 2, 7), 7);
  EXPECT_EQ(choosePivot(values.data(), 2, 3), 2);
}

struct Partitioned {
  std::vector<int> values;
  int pivot;
};

Partitioned partitioned(std::vector<int> values) {
  const int pivot = partitionRange(values.data(), 0, static_cast<int>(values.size()) - 1);
  return {values, pivot};
}

TEST(PartitionRange, HandCheckedArrangements) {
  const auto fourElements = partitioned({5, 1, 3, 2});
  EXPECT_EQ(fourElements.values, (std::vector<int>{2, 1, 3, 5}));
  EXPECT_EQ(fourElements.pivot, 3);

  const auto ascending = partitioned({1, 2, 3, 4, 5});
  EXPECT_EQ(ascending.values, (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_EQ(ascending.pivot, 2);

  const auto descending = partitioned({5, 4, 3, 2, 1});
  EXPECT_EQ(descending.values, (std::vector<int>{1, 4, 3, 2, 5}));
  EXPECT_EQ(descending.pivot, 4);

  const auto mixed = partitioned({3, 7, 1, 8, 2, 5});
  EXPECT_EQ(mixed.values, (std::vector<int>{1, 2, 3, 8, 7, 5}));
  EXPECT_EQ(mixed.pivot, 2);

  const auto equal = partitioned({4, 4, 4, 4});
  EXPECT_EQ(equal.values, (std::vector<int>{4, 4, 4, 4}));
  EXPECT_EQ(equal.pivot, 3);

  const auto pair = partitioned({2, 1});
  EXPECT_EQ(pair.values, (std::vector<int>{1, 2}));
  EXPECT_EQ(pair.pivot, 1);
}

TEST(PartitionRange, SplitsAroundThePivotAndKeepsTheValues) {
  std::mt19937 gen(11);
  for (const auto& shape : inputShapes()) {
    for (const int size : {2, 3, 4, 5, 17, 100, 1000}) {
      SCOPED_TRACE(std::string(shape.name) + " size " + std::to_string(size));
      const std::vector<int> input = shape.make(size, gen);
      const auto [values, pivot] = partitioned(input);
      ASSERT_GE(pivot, 0);
      ASSERT_LT(pivot, size);
      const int pivotValue = values[static_cast<std::size_t>(pivot)];
      for (int i = 0; i < size; ++i) {
        const int value = values[static_cast<std::size_t>(i)];
        if (i < pivot) {
          EXPECT_LE(value, pivotValue) << "at " << i;
        } else if (i > pivot) {
          EXPECT_GT(value, pivotValue) << "at " << i;
        }
      }
      EXPECT_EQ(sortedCopy(values), sortedCopy(input));
    }
  }
}

TEST(PartitionRange, StaysInsideItsRange) {
  std::vector<int> values = {100, 5, 1, 3, 2, -100};
  EXPECT_EQ(partitionRange(values.data(), 1, 4), 4);
  EXPECT_EQ(values, (std::vector<int>{100, 2, 1, 3, 5, -100}));
}

// Every arrangement of two and three values, duplicates among them, sorted
// in the middle of a buffer whose other elements must not move.
TEST(SortSmallRange, SortsEveryArrangementOfTwoAndThree) {
  const std::vector<std::vector<int>> valueSets = {
      {1, 2}, {3, 3}, {INT_MIN, INT_MAX}, {1, 2, 3}, {1, 1, 2}, {1, 2, 2}, {5, 5, 5}};
  const auto framed = [](const std::vector<int>& values) {
    std::vector<int> buffer = {-7};
    buffer.insert(buffer.end(), values.begin(), values.end());
    buffer.push_back(-8);
    return buffer;
  };
  for (std::vector<int> values : valueSets) {
    std::sort(values.begin(), values.end());
    const std::vector<int> expected = framed(values);
    do {
      std::vector<int> buffer = framed(values);
      SCOPED_TRACE(testing::PrintToString(buffer));
      sortSmallRange(buffer.data(), 1, static_cast<int>(values.size()));
      EXPECT_EQ(buffer, expected);
    } while (std::next_permutation(values.begin(), values.end()));
  }
}

TEST(SortSmallRange, LeavesOtherSizesAlone) {
  const std::vector<int> original = {6, 5, 4, 3, 2, 1};
  for (const auto& [lo, hi] : {std::pair{2, 2}, {0, 3}, {0, 5}, {3, 2}}) {
    std::vector<int> values = original;
    sortSmallRange(values.data(), lo, hi);
    EXPECT_EQ(values, original) << lo << ".." << hi;
  }
}

std::vector<int> sortedByStack(const std::vector<int>& input) {
  std::vector<int> values = input;
  stackQuickSort(values.data(), static_cast<int>(values.size()));
  return values;
}

std::vector<int> sortedByRecursion(const std::vector<int>& input) {
  std::vector<int> values = input;
  recursiveQuickSort(values.data(), 0, static_cast<int>(values.size()) - 1);
  return values;
}

const Sorter kSorters[] = {{"Stack", sortedByStack}, {"Recursive", sortedByRecursion}};

INSTANTIATE_TEST_SUITE_P(QuickSorts, SortsMatchStdSort,
                         testing::Combine(testing::ValuesIn(kSorters),
                                          testing::ValuesIn(inputShapes())),
                         SorterShapeName());

class StackQuickSortSteps : public testing::TestWithParam<InputShape> {};

// The observer checks each push, pop, partition and small range as it
// happens (quicksort_observers.hpp).
TEST_P(StackQuickSortSteps, FollowTheirRulesAtEverySize) {
  std::mt19937 gen(3);
  for (const int size : testSizes()) {
    SCOPED_TRACE("size " + std::to_string(size));
    std::vector<int> values = GetParam().make(size, gen);
    stackSortSteps(values);
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
  }
}

INSTANTIATE_TEST_SUITE_P(AllShapes, StackQuickSortSteps, testing::ValuesIn(inputShapes()),
                         ShapeName());

// Replays each partition a real quicksort reports on a copy of its input,
// with the loop written plainly, a branch per element, straight from its
// rule: however the real loop is shaped, each partition must pick the same
// pivot and leave its range as the plain loop does.
struct PlainLoopReplay final : QuickSortObserver {
  explicit PlainLoopReplay(const std::vector<int>& values) : real(values), shadow(values) {}

  void partitioned(StackFrame range, int pivot) override {
    int* const arr = shadow.data();
    std::swap(arr[choosePivot(arr, range.lo, range.hi)], arr[range.hi]);
    int i = range.lo;
    for (int j = range.lo; j < range.hi; ++j) {
      if (arr[j] <= arr[range.hi]) {
        std::swap(arr[i], arr[j]);
        ++i;
      }
    }
    std::swap(arr[i], arr[range.hi]);
    const int* const realValues = real.data();
    unlike +=
        pivot != i || !std::equal(realValues + range.lo, realValues + range.hi + 1, arr + range.lo);
  }
  // A sorted range of ints has one arrangement, however it was sorted.
  void sortedSmall(StackFrame range) override {
    std::sort(shadow.data() + range.lo, shadow.data() + range.hi + 1);
  }
  void heapSorted(StackFrame range) override { sortedSmall(range); }

  const std::vector<int>& real;
  std::vector<int> shadow;
  int unlike = 0;  // partitions whose pivot or arrangement differed
};

// Every shape at every test size, and dunmark's own kind of data.
TEST(QuickSorts, PartitionLikeThePlainLoop) {
  std::mt19937 gen(5);
  std::vector<std::pair<std::string, std::vector<int>>> inputs = {
      {"dunmark's data", uniformValues(100000, gen, 1, 100000000)}};
  for (const auto& shape : inputShapes()) {
    for (const int size : testSizes()) {
      inputs.emplace_back(std::string(shape.name) + " " + std::to_string(size),
                          shape.make(size, gen));
    }
  }
  for (const auto& [name, input] : inputs) {
    SCOPED_TRACE(name);
    const int size = static_cast<int>(input.size());
    std::vector<int> byStack = input;
    PlainLoopReplay stackReplay(byStack);
    stackQuickSort(byStack.data(), size, stackReplay);
    EXPECT_EQ(stackReplay.unlike, 0);
    EXPECT_EQ(byStack, stackReplay.shadow);

    std::vector<int> byRecursion = input;
    PlainLoopReplay recursiveReplay(byRecursion);
    recursiveQuickSort(byRecursion.data(), 0, size - 1, recursiveReplay);
    EXPECT_EQ(recursiveReplay.unlike, 0);
    EXPECT_EQ(byRecursion, recursiveReplay.shadow);
  }
}

// Descending input splits off one element a level until the limit.
TEST(RecursiveQuickSort, DescendingInputReachesItsDepthLimit) {
  for (const int size : {100, 5000}) {
    std::vector<int> values = descendingValues(size);
    const RecursionDepth depth = recursiveSortSteps(values);
    EXPECT_EQ(depth.deepest, recursionDepthLimit(size)) << size;
    EXPECT_GE(depth.heapSorts, 1) << size;
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
  }
}

TEST(QuickSorts, SortOnlyTheirRange) {
  std::vector<int> values = {9, 4, 3, 2, 1, -9};
  recursiveQuickSort(values.data(), 1, 4);
  EXPECT_EQ(values, (std::vector<int>{9, 1, 2, 3, 4, -9}));
  values = {9, 4, 3, 2, 1, -9};
  stackQuickSort(values.data() + 1, 4);
  EXPECT_EQ(values, (std::vector<int>{9, 1, 2, 3, 4, -9}));
}

// Without a bound these would recurse once per element and overflow the
// call stack long before a million.
TEST(RecursiveQuickSort, DescendingAndEqualMillionsFinishSorted) {
  constexpr int kSize = 1000000;
  std::vector<int> descending = descendingValues(kSize);
  recursiveQuickSort(descending.data(), 0, kSize - 1);
  EXPECT_TRUE(std::is_sorted(descending.begin(), descending.end()));
  EXPECT_EQ(descending.front(), 1);
  EXPECT_EQ(descending.back(), kSize);

  std::vector<int> equal(kSize, 42);
  recursiveQuickSort(equal.data(), 0, kSize - 1);
  EXPECT_EQ(equal, std::vector<int>(kSize, 42));
}

// Line 4 is the same magnitude whichever sort was faster.
TEST(WriteQuickSortReport, WritesTheGivenTimesExactly) {
  const std::string head = hexBytes(
      "bf ec cb d9 c5 c5 d0 f2 cb e3 b7 a8 d0 d4 c4 dc b1 c8 bd cf 20 28 ca fd be dd c1 bf 3a");
  const std::string stackLabel = hexBytes("b7 c7 b5 dd b9 e9 b0 e6 b1 be ba c4 ca b1 3a");
  const std::string recursiveLabel = hexBytes("b5 dd b9 e9 b0 e6 b1 be ba c4 ca b1 3a");
  const std::string differenceLabel = hexBytes("ca b1 bc e4 b2 ee 3a");
  EXPECT_EQ(capturedStdout([] { writeQuickSortReport(100000000, 11488, 11175); }),
            head + "100000000):\n" + stackLabel + "11488 ms\n" + recursiveLabel + "11175 ms\n" +
                differenceLabel + "313 ms\n");
  EXPECT_EQ(capturedStdout([] { writeQuickSortReport(7, 0, 25); }),
            head + "7):\n" + stackLabel + "0 ms\n" + recursiveLabel + "25 ms\n" + differenceLabel +
                "25 ms\n");
}

TEST(CompareQuickSorts, ReportsExactBytesForSmallCounts) {
  for (const int dataCount : {0, 1, 2, 3, 1000, 200000}) {
    SCOPED_TRACE("dataCount " + std::to_string(dataCount));
    expectDunmarkReport(capturedStdout([dataCount] { compareQuickSorts(dataCount); }), dataCount);
  }
}

}  // namespace
