// Each sort once, on data drawn from a fixed seed the way its program draws
// it, with only the sort itself counted under Callgrind. work_counts.py
// runs this under Callgrind and compares the counts with a recorded
// baseline; outside Valgrind the requests do nothing and this only sorts.
//
// Prints the build on its first line, then one line per sort: its name, the
// size, the unit of its work and how many units it did, counted outside the
// counted span. Exits 1 if a sort leaves its input unsorted.

#include <valgrind/callgrind.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

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

std::vector<int> keysOf(const ListNode* head) {
  std::vector<int> keys;
  for (; head != nullptr; head = head->nextNode) {
    keys.push_back(head->key);
  }
  return keys;
}

void countListSort(const char* name, ListNode* head, double exchanges) {
  countOnly(name, [&] { bubbleSortList(&head); });
  report(name, keysOf(head), "exchanges", exchanges);
  freeList(head);
}

}  // namespace

int main() {
  std::printf("build %s\n", WORK_COUNTS_BUILD);
  std::mt19937 gen(kSeed);

  const std::vector<int> bubbleInput = uniformValues(kBubbleSortSize, gen, 1, 1000000);
  const double exchanges = inversions(bubbleInput);
  std::vector<int> values = bubbleInput;
  countOnly("ArrayBubble", [&] { bubbleSortArray(values.data(), kBubbleSortSize); });
  report("ArrayBubble", values, "exchanges", exchanges);
  countListSort("ListBubble", buildList(bubbleInput.data(), kBubbleSortSize), exchanges);
  std::mt19937 layout(kSeed);
  countListSort("ScatteredListBubble", scatteredList(bubbleInput, layout), exchanges);

  const std::vector<int> quickInput = uniformValues(kQuickSortSize, gen, 1, 100000000);
  QuickSortWork stackWork;
  values = quickInput;
  stackQuickSort(values.data(), kQuickSortSize, stackWork);
  values = quickInput;
  countOnly("StackQuick", [&] { stackQuickSort(values.data(), kQuickSortSize); });
  report("StackQuick", values, "pivot_comparisons", stackWork.partitionComparisons);

  QuickSortWork recursiveWork;
  values = quickInput;
  recursiveQuickSort(values.data(), 0, kQuickSortSize - 1, recursiveWork);
  values = quickInput;
  countOnly("RecursiveQuick", [&] { recursiveQuickSort(values.data(), 0, kQuickSortSize - 1); });
  report("RecursiveQuick", values, "pivot_comparisons", recursiveWork.partitionComparisons);

  double comparisons = 0;
  values = quickInput;
  std::sort(values.begin(), values.end(), [&comparisons](int a, int b) {
    ++comparisons;
    return a < b;
  });
  values = quickInput;
  countOnly("StdSort", [&] { std::sort(values.begin(), values.end()); });
  report("StdSort", values, "comparisons", comparisons);
  return 0;
}
