#pragma once

// The quicksort benchmark: a quicksort that keeps its pending ranges on a
// fixed 64-entry stack against a recursive Lomuto quicksort, timed on the
// same random ints.

// Times both quicksorts on one copy each of `dataCount` random ints and
// writes the four-line GBK report to standard output.
void compareQuickSorts(int dataCount);

// Returns lo, the lower middle or hi: the middle value of the three, except
// that it returns lo when arr[lo] is strictly the largest. Requires lo <= hi.
int choosePivot(const int* arr, int lo, int hi);

// Sorts arr[lo, hi] (inclusive) ascending; does nothing when lo >= hi. A
// range still unsorted four recursion levels per doubling of the whole is
// heap sorted, so the recursion stays O(log n) deep on any input.
void recursiveQuickSort(int* arr, int lo, int hi);

// One pending range of stackQuickSort, inclusive.
struct StackFrame {
  int lo;
  int hi;
};

// Sorts arr[0, num) ascending without recursion or heap allocation. A part
// that finds 63 of the 64 stack entries in use is heap sorted in place.
void stackQuickSort(int* arr, int num);

// Partitions arr[lo, hi] (lo < hi) around the pivot of choosePivot: elements
// less than or equal to it end on its left, greater ones on its right.
// Returns the pivot's final index.
int partitionRange(int* arr, int lo, int hi);

// Sorts a range of two or three elements; leaves any other size untouched.
void sortSmallRange(int* arr, int lo, int hi);
