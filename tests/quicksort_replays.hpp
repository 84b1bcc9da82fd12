#pragma once

// Replays of the quicksorts' control flow on the real partition step, to
// observe what the sorts themselves keep hidden: how deep the recursion
// would go and how full the explicit stack gets. partitionRange arranges a
// range exactly as recursiveQuickSort's own partition does (that one only
// adds self-exchanges), so one replay serves both.

#include <algorithm>
#include <cstddef>
#include <vector>

#include "dunmark.hpp"

// Partition levels an unbounded recursive quicksort nests on `values`.
inline int unboundedRecursionDepth(std::vector<int> values) {
  struct Pending {
    int lo;
    int hi;
    int depth;
  };
  std::vector<Pending> pending = {{0, static_cast<int>(values.size()) - 1, 1}};
  int deepest = 0;
  while (!pending.empty()) {
    const Pending range = pending.back();
    pending.pop_back();
    if (range.lo >= range.hi) {
      continue;
    }
    deepest = std::max(deepest, range.depth);
    const int pivot = partitionRange(values.data(), range.lo, range.hi);
    pending.push_back({range.lo, pivot - 1, range.depth + 1});
    pending.push_back({pivot + 1, range.hi, range.depth + 1});
  }
  return deepest;
}

// Levels recursiveQuickSort allows before it heap sorts: four per doubling.
inline int recursionDepthLimit(int size) {
  int limit = 0;
  for (; size > 1; size >>= 1) {
    limit += 4;
  }
  return limit;
}

struct StackReplay {
  int mostInUse = 0;
  int refusals = 0;  // parts that met the push limit
};

// Follows stackQuickSort's pushes and pops on `values`, counting the parts
// that find 63 of the 64 entries in use. A refused part is sorted and
// dropped, as the sort itself does.
inline StackReplay replayStackQuickSort(std::vector<int> values) {
  constexpr int kPushLimit = 63;
  StackReplay replay;
  std::vector<StackFrame> stack;
  const auto push = [&](int lo, int hi) {
    if (hi - lo < 1) {
      return;
    }
    if (static_cast<int>(stack.size()) < kPushLimit) {
      stack.push_back({lo, hi});
      replay.mostInUse = std::max(replay.mostInUse, static_cast<int>(stack.size()));
    } else {
      ++replay.refusals;
      std::sort(values.begin() + lo, values.begin() + hi + 1);
    }
  };
  push(0, static_cast<int>(values.size()) - 1);
  while (!stack.empty()) {
    const StackFrame frame = stack.back();
    stack.pop_back();
    if (frame.hi - frame.lo + 1 <= 3) {
      sortSmallRange(values.data(), frame.lo, frame.hi);
      continue;
    }
    const int pivot = partitionRange(values.data(), frame.lo, frame.hi);
    if (pivot - frame.lo > frame.hi - pivot) {
      push(pivot + 1, frame.hi);
      push(frame.lo, pivot - 1);
    } else {
      push(frame.lo, pivot - 1);
      push(pivot + 1, frame.hi);
    }
  }
  return replay;
}
