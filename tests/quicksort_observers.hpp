#pragma once

// Observers that watch the real quicksorts step by step.

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "dunmark.hpp"

inline int sizeOf(StackFrame range) { return range.hi - range.lo + 1; }

inline bool operator==(StackFrame a, StackFrame b) { return a.lo == b.lo && a.hi == b.hi; }

inline void PrintTo(StackFrame range, std::ostream* out) {
  *out << "[" << range.lo << ", " << range.hi << "]";
}

// Checks every step of stackQuickSort against its rules as it happens, and
// keeps what tests ask about afterwards.
class StackSortRules final : public QuickSortObserver {
 public:
  // The first push is the whole array, when it has two or more elements.
  explicit StackSortRules(int num) {
    if (num >= 2) {
      expected_.push_back(StackFrame{0, num - 1});
    }
  }

  int mostInUse = 0;
  int refusals = 0;  // parts that met 63 entries in use and were heap sorted

  void partitioned(StackFrame range, int pivot) override {
    EXPECT_GT(sizeOf(range), 3) << "ranges of three or fewer go to sortSmallRange";
    EXPECT_TRUE(expected_.empty()) << "a part was neither pushed nor refused";
    const StackFrame left{range.lo, pivot - 1};
    const StackFrame right{pivot + 1, range.hi};
    // The larger part goes last, to be popped next; on a tie the left
    // goes first. Parts of fewer than two elements are dropped.
    const bool leftLarger = sizeOf(left) > sizeOf(right);
    expected_.clear();
    for (const StackFrame part : {leftLarger ? right : left, leftLarger ? left : right}) {
      if (sizeOf(part) >= 2) {
        expected_.push_back(part);
      }
    }
  }

  void pushed(StackFrame part, int inUse) override {
    expectNextPart(part);
    EXPECT_GE(sizeOf(part), 2);
    EXPECT_EQ(inUse, inUse_ + 1);
    EXPECT_LE(inUse, 63) << "the 64th entry is never used";
    inUse_ = inUse;
    mostInUse = std::max(mostInUse, inUse);
  }

  void heapSorted(StackFrame part) override {
    expectNextPart(part);
    EXPECT_EQ(inUse_, 63) << "a part is refused only by a full stack";
    ++refusals;
  }

  void popped(StackFrame frame) override {
    EXPECT_TRUE(expected_.empty()) << "popped before both parts were placed";
    --inUse_;
    popped_ = frame;
  }

  void sortedSmall(StackFrame range) override {
    EXPECT_LE(sizeOf(range), 3) << "only ranges of three or fewer go to sortSmallRange";
    EXPECT_EQ(range, popped_);
  }

  void expectFinished() const {
    EXPECT_TRUE(expected_.empty()) << "a part was neither pushed nor refused";
    EXPECT_EQ(inUse_, 0);
  }

 private:
  void expectNextPart(StackFrame part) {
    ASSERT_FALSE(expected_.empty()) << "unexpected part " << testing::PrintToString(part);
    EXPECT_EQ(part, expected_.front()) << "parts out of order";
    expected_.erase(expected_.begin());
  }

  std::vector<StackFrame> expected_;
  StackFrame popped_{0, -1};
  int inUse_ = 0;
};

// How deep recursiveQuickSort went and how often it gave a range to the
// heap sort past its depth limit.
struct RecursionDepth final : QuickSortObserver {
  int deepest = 0;
  int heapSorts = 0;

  void recursed(int depth) override { deepest = std::max(deepest, depth); }
  void heapSorted(StackFrame /*range*/) override { ++heapSorts; }
};

inline StackSortRules stackSortSteps(std::vector<int>& values) {
  StackSortRules rules(static_cast<int>(values.size()));
  stackQuickSort(values.data(), static_cast<int>(values.size()), rules);
  rules.expectFinished();
  return rules;
}

inline RecursionDepth recursiveSortSteps(std::vector<int>& values) {
  RecursionDepth depth;
  recursiveQuickSort(values.data(), 0, static_cast<int>(values.size()) - 1, depth);
  return depth;
}
