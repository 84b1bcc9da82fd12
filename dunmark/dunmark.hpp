#pragma once

#include <cstdint>

// The quicksort benchmark: a quicksort that keeps its pending ranges on a
// fixed 64-entry stack against a recursive Lomuto quicksort, timed on the
// same random ints.

// Times both quicksorts on one copy each of `dataCount` random ints and
// writes the four-line GBK report to standard output.
void compareQuickSorts(int dataCount);

// Writes that report for the given count and times (whole milliseconds).
void writeQuickSortReport(int dataCount, std::int64_t firstTime, std::int64_t secondTime);

// Returns lo, the lower middle or hi: the middle value of the three, except
// that it returns lo when arr[lo] is strictly the largest. Requires lo <= hi.
int choosePivot(const int* arr, int lo, int hi);

// Sorts arr[lo, hi] (inclusive) ascending; does nothing when lo >= hi. A
// range still unsorted four recursion levels per doubling of the whole is
// heap sorted, so the recursion stays O(log n) deep on any input.
void recursiveQuickSort(int* arr, int lo, int hi);

// Recursion levels recursiveQuickSort allows per doubling of the range.
inline constexpr int kDepthPerDoubling = 4;

// Levels recursiveQuickSort allows a range of `size` elements before it
// heap sorts what is left: kDepthPerDoubling per doubling.
int recursionDepthLimit(int size);

// One pending range of stackQuickSort, inclusive.
struct StackFrame {
  int lo;
  int hi;
};

// Entries of stackQuickSort's stack, and how many of them may be in use.
inline constexpr int kStackCapacity = 64;
inline constexpr int kPushLimit = kStackCapacity - 1;

// Sorts arr[0, num) ascending without recursion or heap allocation. A part
// that finds 63 of the 64 stack entries in use is heap sorted in place.
void stackQuickSort(int* arr, int num);

// Sees the quicksorts' steps, so that tests check what the real sorts do.
// The timed sorts call hooks that do nothing and compile away.
struct QuickSortObserver {
  // A range of either sort was partitioned; its pivot ended at `pivot`.
  virtual void partitioned(StackFrame /*range*/, int /*pivot*/) {}
  // recursiveQuickSort partitions a range `depth` calls deep (1: the top).
  virtual void recursed(int /*depth*/) {}
  // stackQuickSort pushed a part, leaving `inUse` entries in use.
  virtual void pushed(StackFrame /*part*/, int /*inUse*/) {}
  virtual void popped(StackFrame /*frame*/) {}
  virtual void sortedSmall(StackFrame /*range*/) {}
  // A part that met a full stack, or a range past the depth limit.
  virtual void heapSorted(StackFrame /*range*/) {}

 protected:
  ~QuickSortObserver() = default;
};

// The two quicksorts, telling `observer` each step they take.
void stackQuickSort(int* arr, int num, QuickSortObserver& observer);
void recursiveQuickSort(int* arr, int lo, int hi, QuickSortObserver& observer);

// Partitions arr[lo, hi] (lo < hi) around the pivot of choosePivot: elements
// less than or equal to it end on its left, greater ones on its right.
// Returns the pivot's final index.
int partitionRange(int* arr, int lo, int hi);

// Sorts a range of two or three elements; leaves any other size untouched.
void sortSmallRange(int* arr, int lo, int hi);
