#include "corvel.hpp"

// Pass i compares the neighbours in arr[0, num - i] and ends with the i-th
// largest element in its final place, so each pass is one shorter than the
// last; a pass without an exchange proves the array sorted.
//
// The element being carried rightward is kept in `carried` rather than
// reloaded after each exchange: swapValues has just stored it at arr[j + 1],
// and a reload would wait on that store. Unrolled, GCC issues each step's
// load of the next element ahead of the previous step's exchange instead of
// after a loop branch; with swapValues inlined that measured 2.8 times faster
// at 30000 elements and a sixth faster at 100000. Clang is unaffected
// (docs/performance.md).
void bubbleSortArray(int* arr, int num) {
  bool sorted = false;
  for (int i = 1; i < num && !sorted; ++i) {
    sorted = true;
    int carried = arr[0];
#if defined(__GNUC__)
#pragma GCC unroll 8
#endif
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
