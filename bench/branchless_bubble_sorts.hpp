#pragma once

// corvel's two bubble sorts without a branch on their comparisons: what the
// branch costs, measured beside the real sorts by sortbench and counted by
// work_counts. Each makes the same passes and comparisons as its real sort,
// with the same early exit and, for the list, the same window bounds, and
// leaves the array or list after every step as the real sort leaves it; it
// only decides without a branch, storing the smaller and the larger of each
// pair whether or not they were out of order. The programs keep their
// branches: the array sort moves elements only through swapValues, one call
// per exchange, and the list sort keeps its own so that corvel compares two
// data structures, not two shapes of code.

#include "corvel.hpp"

// What a twin reports as it sorts, for the tests: each comparison, at the
// index or node where it was made, and the window after each list pass.
// Nothing, when it is timed or counted.
struct NoBubbleObserver {
  template <class At>
  void stepped(At /*at*/, bool /*exchanged*/) {}
  void passEnded(const ListNode* /*lowerBound*/, const ListNode* /*upperBound*/) {}
};

// Hides a value from GCC's if-conversion, which would otherwise turn a
// select back into a branch.
template <class T>
T opaqueToOptimiser(T value) {
#if defined(__GNUC__)
  asm("" : "+r"(value));
#endif
  return value;
}

// bubbleSortArray's passes, with each step's exchange made by storing the
// smaller value at j and the larger at j + 1 every time. The larger one is
// carried on in a register, as in the real sort, so that no load waits on
// the store before it. The loop is unrolled by 8, as the real sort's is:
// rolled, it lost to the branchy sort at corvel's size when tried here;
// unrolled, it won. The list twin, like the real list sort, stays rolled.
template <class Observer = NoBubbleObserver>
void bubbleSortArrayBranchless(int* arr, int num, Observer&& observer = {}) {
  bool sorted = false;
  for (int i = 1; i < num && !sorted; ++i) {
    bool inOrder = true;
    int carried = arr[0];
#pragma GCC unroll 8
    for (int j = 0; j < num - i; ++j) {
      const int next = arr[j + 1];
      const bool exchanged = next < carried;
      const int smaller = opaqueToOptimiser(exchanged ? next : carried);
      carried = opaqueToOptimiser(exchanged ? carried : next);
      arr[j] = smaller;
      arr[j + 1] = carried;
      inOrder &= !exchanged;
      observer.stepped(j, exchanged);
    }
    sorted = inOrder;
  }
}

// bubbleSortList's pass pairs, with each step storing the smaller key in the
// earlier node and the larger in the later, and the last exchange's node
// picked by selection. The window bounds move once a pass, as in the real
// sort; only those per-pass decisions branch. The temporary sentinel is the
// real sort's too.
template <class Observer = NoBubbleObserver>
void bubbleSortListBranchless(ListNode** headRef, Observer&& observer = {}) {
  ListNode* first = *headRef;
  if (first == nullptr || first->nextNode == nullptr) {
    return;
  }
  auto* sentinel = new ListNode(0);
  sentinel->nextNode = first;
  first->prevNode = sentinel;

  ListNode* lowerBound = sentinel;
  ListNode* upperBound = nullptr;
  bool swapped = true;
  while (swapped) {
    swapped = false;
    ListNode* lastSwap = nullptr;
    for (ListNode* cursor = lowerBound->nextNode; cursor->nextNode != upperBound;
         cursor = cursor->nextNode) {
      ListNode* next = cursor->nextNode;
      const int key = cursor->key;
      const int nextKey = next->key;
      const bool exchanged = nextKey < key;
      cursor->key = opaqueToOptimiser(exchanged ? nextKey : key);
      next->key = opaqueToOptimiser(exchanged ? key : nextKey);
      lastSwap = opaqueToOptimiser(exchanged ? next : lastSwap);
      swapped |= exchanged;
      observer.stepped(cursor, exchanged);
    }
    if (!swapped) {
      observer.passEnded(lowerBound, upperBound);
      break;
    }
    upperBound = lastSwap;
    observer.passEnded(lowerBound, upperBound);

    swapped = false;
    lastSwap = nullptr;
    for (ListNode* cursor = upperBound; cursor->prevNode != lowerBound; cursor = cursor->prevNode) {
      ListNode* prev = cursor->prevNode;
      const int key = cursor->key;
      const int prevKey = prev->key;
      const bool exchanged = key < prevKey;
      prev->key = opaqueToOptimiser(exchanged ? key : prevKey);
      cursor->key = opaqueToOptimiser(exchanged ? prevKey : key);
      lastSwap = opaqueToOptimiser(exchanged ? prev : lastSwap);
      swapped |= exchanged;
      observer.stepped(cursor, exchanged);
    }
    if (swapped) {
      lowerBound = lastSwap;
    }
    observer.passEnded(lowerBound, upperBound);
  }

  *headRef = sentinel->nextNode;
  (*headRef)->prevNode = nullptr;
  delete sentinel;
}
