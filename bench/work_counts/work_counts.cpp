// Each sort once, on data drawn from a fixed seed the way its program draws
// it, with only the sort itself counted under Callgrind. work_counts.py
// runs this under Callgrind and compares the counts with a recorded
// baseline; outside Valgrind the requests do nothing and this only sorts.
//
// Prints the build on its first line, then, after a line naming the program
// whose data they sort, one line per sort: its name, the size, the unit of
// its work and how many units it did, counted outside the counted span.
// Exits 1 if a sort leaves its input unsorted.

#include <valgrind/callgrind.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "branchless_bubble_sorts.hpp"
#include "corvel.hpp"
#include "dunmark.hpp"
#include "input_shapes.hpp"
#include "sort_work.hpp"

namespace {

// Quadratic sorts: 10^4 elements count in seconds under Callgrind, and
// their 40 KB array outgrows the simulated 32 KiB D1 as corvel's does.
constexpr int kBubbleSortSize = 10000;
// 4 MB: past the simulated 1 MiB last-level cache, as dunmark's 400 MB
// arrays are past the real one.
constexpr int kQuickSortSize = 1000000;
constexpr unsigned kSeed = 1;

// Callgrind collects nothing until told (--collect-atstart=no): this turns
// collection on for `sort` alone, then dumps its counts under `name`.
template <class Sort>
void countOnly(const char* name, Sort sort) {
  CALLGRIND_TOGGLE_COLLECT;
  sort();
  CALLGRIND_TOGGLE_COLLECT;
  CALLGRIND_DUMP_STATS_AT(name);
}

void report(const char* name, const std::vector<int>& sorted, const char* unit, double work) {
  if (!std::is_sorted(sorted.begin(), sorted.end())) {
    std::fprintf(stderr, "work_counts: %s left its input unsorted\n", name);
    std::exit(1);
  }
  std::printf("%s %zu %s %.0f\n", name, sorted.size(), unit, work);
}

// Sorts a copy of `input` with sort(copy), counting only the sort, and
// reports `work` units of `unit` for it. The sorts are called from lambdas:
// through a function pointer GCC would leave the bubble sort out of line,
// where it drops the loop's unroll pragma.
template <class Sort>
void countOnCopy(const char* name, const std::vector<int>& input, Sort sort, const char* unit,
                 double work) {
  std::vector<int> values = input;
  countOnly(name, [&] { sort(values); });
  report(name, values, unit, work);
}

// The pivot comparisons that sort(copy, observer) makes on a copy of
// `input`: every element of a partitioned range but the pivot.
template <class Sort>
double pivotComparisons(const std::vector<int>& input, Sort sort) {
  std::vector<int> values = input;
  QuickSortWork work;
  sort(values, work);
  return work.pivotComparisons;
}

std::vector<int> keysOf(const ListNode* head) {
  std::vector<int> keys;
  for (; head != nullptr; head = head->nextNode) {
    keys.push_back(head->key);
  }
  return keys;
}

// Counts `sort`, corvel's list sort or its twin, on the list at `head`.
template <class ListSort>
void countListSort(const char* name, ListNode* head, double exchanges, ListSort sort) {
  countOnly(name, [&] { sort(&head); });
  report(name, keysOf(head), "exchanges", exchanges);
  freeList(head);
}

}  // namespace

int main() {
  std::printf("build %s\n", WORK_COUNTS_BUILD);
  std::mt19937 gen(kSeed);

  std::printf("data corvel\n");
  const std::vector<int> bubbleInput = uniformValues(kBubbleSortSize, gen, 1, 1000000);
  const double exchanges = inversions(bubbleInput);
  countOnCopy(
      "ArrayBubble", bubbleInput,
      [](std::vector<int>& values) { bubbleSortArray(values.data(), kBubbleSortSize); },
      "exchanges", exchanges);
  countListSort("ListBubble", buildList(bubbleInput.data(), kBubbleSortSize), exchanges,
                bubbleSortList);
  std::mt19937 layout(kSeed);
  countListSort("ScatteredListBubble", scatteredList(bubbleInput, layout), exchanges,
                bubbleSortList);
  countOnCopy(
      "ArrayBubbleBranchless", bubbleInput,
      [](std::vector<int>& values) { bubbleSortArrayBranchless(values.data(), kBubbleSortSize); },
      "exchanges", exchanges);
  countListSort("ListBubbleBranchless", buildList(bubbleInput.data(), kBubbleSortSize), exchanges,
                [](ListNode** head) { bubbleSortListBranchless(head); });

  // Each quicksort with an observer to count its work, or without, as timed.
  const auto stackSort = [](std::vector<int>& values, auto&... observer) {
    stackQuickSort(values.data(), kQuickSortSize, observer...);
  };
  const auto recursiveSort = [](std::vector<int>& values, auto&... observer) {
    recursiveQuickSort(values.data(), 0, kQuickSortSize - 1, observer...);
  };
  std::printf("data dunmark\n");
  const std::vector<int> quickInput = uniformValues(kQuickSortSize, gen, 1, 100000000);
  countOnCopy("StackQuick", quickInput, stackSort, "pivot_comparisons",
              pivotComparisons(quickInput, stackSort));
  countOnCopy("RecursiveQuick", quickInput, recursiveSort, "pivot_comparisons",
              pivotComparisons(quickInput, recursiveSort));

  double comparisons = 0;
  std::vector<int> counted = quickInput;
  std::sort(counted.begin(), counted.end(), [&comparisons](int a, int b) {
    ++comparisons;
    return a < b;
  });
  countOnCopy(
      "StdSort", quickInput,
      [](std::vector<int>& values) { std::sort(values.begin(), values.end()); }, "comparisons",
      comparisons);
  return 0;
}
