#pragma once

// The work behind a sort's time, counted outside the timing, and the list
// that a long-running program's nodes make: shared by sortbench and
// work_counts, so that both divide by the same units.

#include <algorithm>
#include <cstddef>
#include <random>
#include <vector>

#include "corvel.hpp"
#include "dunmark.hpp"

// Pairs i < j with values[i] > values[j], by merge sort in O(n log n). Both
// bubble sorts exchange only neighbours strictly out of order, which removes
// exactly one inversion, until none is left: this is their exchange count.
inline double inversions(std::vector<int> values) {
  double count = 0;
  std::vector<int> merged(values.size());
  for (std::size_t width = 1; width < values.size(); width *= 2) {
    for (std::size_t lo = 0; lo < values.size(); lo += 2 * width) {
      const std::size_t mid = std::min(lo + width, values.size());
      const std::size_t hi = std::min(lo + 2 * width, values.size());
      std::size_t left = lo;
      std::size_t right = mid;
      std::size_t out = lo;
      while (left < mid && right < hi) {
        if (values[right] < values[left]) {
          count += static_cast<double>(mid - left);
          merged[out++] = values[right++];
        } else {
          merged[out++] = values[left++];
        }
      }
      std::copy(values.begin() + static_cast<std::ptrdiff_t>(left),
                values.begin() + static_cast<std::ptrdiff_t>(mid),
                merged.begin() + static_cast<std::ptrdiff_t>(out));
      std::copy(values.begin() + static_cast<std::ptrdiff_t>(right),
                values.begin() + static_cast<std::ptrdiff_t>(hi),
                merged.begin() + static_cast<std::ptrdiff_t>(out + mid - left));
    }
    values.swap(merged);
  }
  return count;
}

// Counts the steps of either quicksort through its observer seam; the timed
// sorts run without it.
struct QuickSortWork final : QuickSortObserver {
  double partitions = 0;
  double pivotComparisons = 0;
  double smallRanges = 0;
  double heapSortedElements = 0;
  int maxDepth = 0;

  // Every element of the range but the pivot is compared with the pivot.
  void partitioned(StackFrame range, int /*pivot*/) override {
    ++partitions;
    pivotComparisons += range.hi - range.lo;
  }
  void recursed(int depth) override { maxDepth = std::max(maxDepth, depth); }
  void pushed(StackFrame /*part*/, int inUse) override { maxDepth = std::max(maxDepth, inUse); }
  void sortedSmall(StackFrame /*range*/) override { ++smallRanges; }
  void heapSorted(StackFrame range) override { heapSortedElements += range.hi - range.lo + 1; }
};

// A list of `values` in order whose nodes lie in memory in the order that
// `layout` shuffles them to, so that each step goes to a random place among
// them: a list that has lived in a long-running program. Null when empty.
inline ListNode* scatteredList(const std::vector<int>& values, std::mt19937& layout) {
  if (values.empty()) {
    return nullptr;
  }
  std::vector<ListNode*> nodes(values.size());
  for (ListNode*& node : nodes) {
    node = new ListNode(0);
  }
  std::shuffle(nodes.begin(), nodes.end(), layout);
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    nodes[i]->key = values[i];
    nodes[i]->prevNode = i == 0 ? nullptr : nodes[i - 1];
    nodes[i]->nextNode = i + 1 == nodes.size() ? nullptr : nodes[i + 1];
  }
  return nodes.front();
}
