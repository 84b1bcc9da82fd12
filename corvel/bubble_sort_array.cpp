#include "corvel.hpp"

// How many steps of the inner loop GCC unrolls into one; 1 keeps it rolled.
// sortbench also builds this file at other factors, to compare them.
#ifndef BUBBLE_SORT_UNROLL
#define BUBBLE_SORT_UNROLL 8
#endif
#if defined(__GNUC__)
#define BUBBLE_PRAGMA(text) _Pragma(#text)
#define BUBBLE_UNROLL_PRAGMA(factor) BUBBLE_PRAGMA(GCC unroll factor)
#define UNROLL_BUBBLE_LOOP BUBBLE_UNROLL_PRAGMA(BUBBLE_SORT_UNROLL)
#else
#define UNROLL_BUBBLE_LOOP
#endif

// Pass i compares the neighbours in arr[0, num - i] and ends with the i-th
// largest element in its final place, so each pass is one shorter than the
// last; a pass without an exchange proves the array sorted.
//
// The element being carried rightward is kept in `carried` rather than
// reloaded after each exchange: swapValues has just stored it at arr[j + 1],
// and a reload would wait on that store. Unrolled, GCC issues each step's
// load of the next element ahead of the previous step's exchange instead of
// after a loop branch. What that buys depends on the CPU and the size;
// sortbench measures it, and docs/performance.md gives this machine's
// figures. Clang ignores the pragma.
void bubbleSortArray(int* arr, int num) {
  bool sorted = false;
  for (int i = 1; i < num && !sorted; ++i) {
    sorted = true;
    int carried = arr[0];
    UNROLL_BUBBLE_LOOP
    for (int j = 0; j < num - i; ++j) {
      const int next = arr[j + 1];
      if (next < carried) {
        swapValues(&arr[j], &arr[j + 1]);
        sorted = false;
      } else {
        carried = next;
      }
    }
  }
}
