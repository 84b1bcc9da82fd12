// bubbleSortArray linked with this file's swapValues in place of the real
// one, which counts every exchange the sort makes and records where.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "branchless_bubble_sorts.hpp"
#include "corvel.hpp"
#include "sort_inputs.hpp"

namespace {

long gExchanges = 0;
long gExchangesOfOrderedPairs = 0;
// The array being sorted, and the index of each exchange's first element.
const int* gArray = nullptr;
std::vector<std::ptrdiff_t> gExchangedAt;

// Pairs i < j with values[i] > values[j].
long inversions(const std::vector<int>& values) {
  long count = 0;
  for (std::size_t i = 0; i < values.size(); ++i) {
    for (std::size_t j = i + 1; j < values.size(); ++j) {
      count += values[i] > values[j] ? 1 : 0;
    }
  }
  return count;
}

}  // namespace

void swapValues(int* x, int* y) {
  ++gExchanges;
  if (!(*y < *x)) {
    ++gExchangesOfOrderedPairs;
  }
  gExchangedAt.push_back(x - gArray);
  std::swap(*x, *y);
}

namespace {

class ArrayExchanges : public testing::TestWithParam<InputShape> {};

// Each exchange removes exactly one inversion, so a sort that exchanged
// equal neighbours, or made a needless exchange, would count more.
TEST_P(ArrayExchanges, OnePerInversionAndNoneBetweenEqualNeighbours) {
  std::mt19937 gen(13);
  for (const int size : testSizes()) {
    SCOPED_TRACE("size " + std::to_string(size));
    std::vector<int> values = GetParam().make(size, gen);
    const long expected = inversions(values);
    gExchanges = 0;
    gExchangesOfOrderedPairs = 0;
    bubbleSortArray(values.data(), size);
    EXPECT_EQ(gExchanges, expected);
    EXPECT_EQ(gExchangesOfOrderedPairs, 0);
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
  }
}

// The branch-free twin stores a pair at every comparison, but its
// exchanges, the comparisons that found a pair out of order, are the real
// sort's, at the same places in the same order.
struct ExchangeRecorder {
  std::vector<std::ptrdiff_t> at;
  template <class Index>
  void stepped(Index j, bool exchanged) {
    if (exchanged) {
      at.push_back(j);
    }
  }
};

TEST_P(ArrayExchanges, BranchlessTwinExchangesWhereTheRealSortDoes) {
  std::mt19937 gen(17);
  for (const int size : testSizes()) {
    SCOPED_TRACE("size " + std::to_string(size));
    std::vector<int> real = GetParam().make(size, gen);
    std::vector<int> twin = real;
    gExchangedAt.clear();
    gArray = real.data();
    bubbleSortArray(real.data(), size);
    ExchangeRecorder recorder;
    bubbleSortArrayBranchless(twin.data(), size, recorder);
    EXPECT_EQ(recorder.at, gExchangedAt);
    EXPECT_EQ(twin, real);
  }
}

INSTANTIATE_TEST_SUITE_P(AllShapes, ArrayExchanges, testing::ValuesIn(inputShapes()), ShapeName());

// One pass of a million comparisons; without the early exit it would make
// all 999 999 passes, minutes of work, and run into the test's timeout.
TEST(BubbleSortArray, StopsAfterAPassWithoutExchanges) {
  std::vector<int> values(1000000);
  std::iota(values.begin(), values.end(), -500000);
  gExchanges = 0;
  bubbleSortArray(values.data(), static_cast<int>(values.size()));
  EXPECT_EQ(gExchanges, 0);
}

}  // namespace
