#pragma once

#include <cstdint>

// The bubble sort benchmark: an array bubble sort against a bidirectional
// bubble sort on a doubly linked list, timed on random ints.

// Times both sorts on `dataCount` random ints and writes the four-line GBK
// report to standard output.
void compareBubbleSorts(int dataCount);

// Writes that report for the given count and times (whole milliseconds).
void writeBubbleSortReport(int dataCount, std::int64_t arrayTime, std::int64_t listTime);

// Sorts arr[0, num) ascending; elements move only through swapValues.
void bubbleSortArray(int* arr, int num);

// Exchanges *x and *y.
void swapValues(int* x, int* y);

struct ListNode {
  int key;
  ListNode* prevNode = nullptr;
  ListNode* nextNode = nullptr;

  explicit ListNode(int k) : key(k) {}
};

// Returns a new list holding arr[0, num) in array order; null when num <= 0.
ListNode* buildList(const int* arr, int num);

// Sorts the list ascending by exchanging keys; no node is relinked, so
// *headRef names the same first node afterwards, with a null prevNode.
void bubbleSortList(ListNode** headRef);

// Deletes every node from head on; a null head does nothing.
void freeList(ListNode* head);
