#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "branchless_bubble_sorts.hpp"
#include "corvel.hpp"
#include "reports.hpp"
#include "sort_inputs.hpp"
#include "sorts_match_std_sort.hpp"

namespace {

std::vector<int> keysOf(const ListNode* head) {
  std::vector<int> keys;
  for (const ListNode* node = head; node != nullptr; node = node->nextNode) {
    keys.push_back(node->key);
  }
  return keys;
}

std::vector<const ListNode*> nodesOf(const ListNode* head) {
  std::vector<const ListNode*> nodes;
  for (const ListNode* node = head; node != nullptr; node = node->nextNode) {
    nodes.push_back(node);
  }
  return nodes;
}

// Each node's prevNode is the node before it; the head's is null.
bool linksConsistent(const ListNode* head) {
  const ListNode* before = nullptr;
  for (const ListNode* node = head; node != nullptr; node = node->nextNode) {
    if (node->prevNode != before) {
      return false;
    }
    before = node;
  }
  return true;
}

std::vector<int> sortedByArray(const std::vector<int>& input) {
  std::vector<int> values = input;
  bubbleSortArray(values.data(), static_cast<int>(values.size()));
  return values;
}

std::vector<int> sortedByList(const std::vector<int>& values) {
  ListNode* head = buildList(values.data(), static_cast<int>(values.size()));
  bubbleSortList(&head);
  std::vector<int> keys = keysOf(head);
  freeList(head);
  return keys;
}

std::vector<int> sortedByBranchlessArray(const std::vector<int>& input) {
  std::vector<int> values = input;
  bubbleSortArrayBranchless(values.data(), static_cast<int>(values.size()));
  return values;
}

std::vector<int> sortedByBranchlessList(const std::vector<int>& values) {
  ListNode* head = buildList(values.data(), static_cast<int>(values.size()));
  bubbleSortListBranchless(&head);
  std::vector<int> keys = keysOf(head);
  freeList(head);
  return keys;
}

const Sorter kSorters[] = {
    {"Array", sortedByArray},
    {"List", sortedByList},
    {"BranchlessArray", sortedByBranchlessArray},
    {"BranchlessList", sortedByBranchlessList},
};

INSTANTIATE_TEST_SUITE_P(BubbleSorts, SortsMatchStdSort,
                         testing::Combine(testing::ValuesIn(kSorters),
                                          testing::ValuesIn(inputShapes())),
                         SorterShapeName());

class ListSortStructure : public testing::TestWithParam<InputShape> {};

// Only keys move: the same nodes stay in the same order, correctly linked,
// in the real sort and in its branch-free twin.
TEST_P(ListSortStructure, KeepsNodesAndLinks) {
  std::mt19937 gen(7);
  for (void (*sort)(ListNode**) :
       {bubbleSortList, +[](ListNode** head) { bubbleSortListBranchless(head); }}) {
    for (const int size : testSizes()) {
      SCOPED_TRACE("size " + std::to_string(size));
      const std::vector<int> input = GetParam().make(size, gen);
      ListNode* head = buildList(input.data(), size);
      const std::vector<const ListNode*> nodesBefore = nodesOf(head);
      ASSERT_TRUE(linksConsistent(head));

      sort(&head);

      EXPECT_EQ(nodesOf(head), nodesBefore);
      EXPECT_TRUE(linksConsistent(head));
      EXPECT_EQ(keysOf(head), sortedCopy(input));
      freeList(head);
    }
  }
}

// bubbleSortList's pass pairs by index: the window bounds after every pass
// (-1 the sentinel before the first node, n the end) and the exchanges.
std::pair<std::vector<std::pair<int, int>>, long> cocktailPasses(std::vector<int> values) {
  std::vector<std::pair<int, int>> bounds;
  long exchanges = 0;
  int* const keys = values.data();
  int lower = -1;
  int upper = static_cast<int>(values.size());
  for (bool swapped = values.size() > 1; swapped;) {
    int last = -1;
    swapped = false;
    for (int c = lower + 1; c + 1 != upper; ++c) {
      if (keys[c + 1] < keys[c]) {
        std::swap(keys[c], keys[c + 1]);
        last = c + 1;
        swapped = true;
        ++exchanges;
      }
    }
    if (swapped) {
      upper = last;
    }
    bounds.emplace_back(lower, upper);
    if (!swapped) {
      break;
    }
    swapped = false;
    for (int c = upper; c - 1 != lower; --c) {
      if (keys[c] < keys[c - 1]) {
        std::swap(keys[c], keys[c - 1]);
        last = c - 1;
        swapped = true;
        ++exchanges;
      }
    }
    if (swapped) {
      lower = last;
    }
    bounds.emplace_back(lower, upper);
  }
  return {bounds, exchanges};
}

// What the list twin reports: its bounds by index, and its exchanges.
struct PassRecorder {
  std::map<const ListNode*, int> index;
  std::vector<std::pair<int, int>> bounds;
  long exchanges = 0;

  void stepped(const ListNode* /*at*/, bool exchanged) { exchanges += exchanged ? 1 : 0; }
  void passEnded(const ListNode* lowerBound, const ListNode* upperBound) {
    const auto at = [this](const ListNode* node) {
      const auto found = index.find(node);
      return found == index.end() ? -1 : found->second;
    };
    bounds.emplace_back(at(lowerBound), at(upperBound));
  }
};

// Same window, pass by pass, and the same exchanges: the twin decides
// without a branch but makes the real sort's comparisons.
TEST_P(ListSortStructure, BranchlessTwinMovesItsWindowAsTheRealSortDoes) {
  std::mt19937 gen(11);
  for (const int size : testSizes()) {
    if (size > 100) {
      continue;
    }
    SCOPED_TRACE("size " + std::to_string(size));
    const std::vector<int> input = GetParam().make(size, gen);
    ListNode* head = buildList(input.data(), size);
    PassRecorder recorder;
    const std::vector<const ListNode*> nodes = nodesOf(head);
    for (int i = 0; i < size; ++i) {
      recorder.index[nodes[static_cast<std::size_t>(i)]] = i;
    }
    recorder.index[nullptr] = size;
    bubbleSortListBranchless(&head, recorder);
    const auto [bounds, exchanges] = cocktailPasses(input);
    EXPECT_EQ(recorder.bounds, bounds);
    EXPECT_EQ(recorder.exchanges, exchanges);
    EXPECT_EQ(keysOf(head), sortedByList(input));
    freeList(head);
  }
}

INSTANTIATE_TEST_SUITE_P(AllShapes, ListSortStructure, testing::ValuesIn(inputShapes()),
                         ShapeName());

TEST(BuildList, KeepsArrayOrderAndLinks) {
  const int values[] = {3, -1, 3, INT_MAX};
  ListNode* head = buildList(values, 4);
  EXPECT_EQ(keysOf(head), std::vector<int>(std::begin(values), std::end(values)));
  EXPECT_TRUE(linksConsistent(head));
  freeList(head);
}

TEST(BuildList, EmptyOrNegativeCountGivesEmptyList) {
  const int value = 1;
  EXPECT_EQ(buildList(&value, 0), nullptr);
  EXPECT_EQ(buildList(&value, -5), nullptr);
  EXPECT_EQ(buildList(nullptr, 0), nullptr);
  freeList(nullptr);
}

TEST(BubbleSortList, EmptyAndSingleNodeListsAreUntouched) {
  ListNode* empty = nullptr;
  bubbleSortList(&empty);
  EXPECT_EQ(empty, nullptr);

  auto* single = new ListNode(-4);
  ListNode* const original = single;
  bubbleSortList(&single);
  EXPECT_EQ(single, original);
  EXPECT_EQ(single->key, -4);
  EXPECT_EQ(single->prevNode, nullptr);
  EXPECT_EQ(single->nextNode, nullptr);
  freeList(single);
}

// 2, 3, 1 needs the backward pass to reach the first two nodes; negative
// keys must not meet the sentinel's key 0.
TEST(BubbleSortList, HandCheckedLists) {
  EXPECT_EQ(sortedByList({2, 3, 1}), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(sortedByList({-1, -3, -2}), (std::vector<int>{-3, -2, -1}));
  EXPECT_EQ(sortedByList({0, -1, 1, 0}), (std::vector<int>{-1, 0, 0, 1}));
}

TEST(BubbleSortArray, LeavesElementsOutsideTheRangeAlone) {
  std::vector<int> values = {9, 5, 4, 3, 2, 1, -9};
  bubbleSortArray(values.data() + 1, 5);
  EXPECT_EQ(values, (std::vector<int>{9, 1, 2, 3, 4, 5, -9}));
}

TEST(SwapValues, ExchangesAndToleratesOneAddress) {
  int x = INT_MIN;
  int y = INT_MAX;
  swapValues(&x, &y);
  EXPECT_EQ(x, INT_MAX);
  EXPECT_EQ(y, INT_MIN);
  swapValues(&x, &x);
  EXPECT_EQ(x, INT_MAX);
}

// The difference is the list time minus the array time, signed.
TEST(WriteBubbleSortReport, WritesTheGivenTimesExactly) {
  const std::string head =
      hexBytes("c5 c5 d0 f2 cb e3 b7 a8 d0 d4 c4 dc b1 c8 bd cf 20 28 ca fd be dd c1 bf 3a 20");
  const std::string arrayLabel = hexBytes("ca fd d7 e9 c3 b0 c5 dd c5 c5 d0 f2 ca b1 bc e4 3a 20");
  const std::string listLabel =
      hexBytes("cb ab cf f2 c1 b4 b1 ed c3 b0 c5 dd c5 c5 d0 f2 ca b1 bc e4 3a 20");
  const std::string differenceLabel = hexBytes("ca b1 bc e4 b2 ee 3a 20");
  const std::string unit = hexBytes("20 ba c1 c3 eb") + "\n";
  EXPECT_EQ(capturedStdout([] { writeBubbleSortReport(100000, 9732, 11521); }),
            head + "100000):\n" + arrayLabel + "9732" + unit + listLabel + "11521" + unit +
                differenceLabel + "1789" + unit);
  EXPECT_EQ(capturedStdout([] { writeBubbleSortReport(0, 30, 0); }),
            head + "0):\n" + arrayLabel + "30" + unit + listLabel + "0" + unit + differenceLabel +
                "-30" + unit);
}

TEST(CompareBubbleSorts, ReportsExactBytesForSmallCounts) {
  for (const int dataCount : {0, 1, 2, 50, 3000}) {
    SCOPED_TRACE("dataCount " + std::to_string(dataCount));
    expectCorvelReport(capturedStdout([dataCount] { compareBubbleSorts(dataCount); }), dataCount);
  }
}

}  // namespace
