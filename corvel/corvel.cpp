#include <chrono>
#include <cstdint>
#include <iostream>
#include <memory>
#include <random>
#include <utility>

#include "corvel.hpp"

namespace {

// Whole milliseconds between two clock readings, truncated.
std::int64_t elapsedMilliseconds(std::chrono::steady_clock::time_point start,
                                 std::chrono::steady_clock::time_point end) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(end - start).count();
}

}  // namespace

void writeBubbleSortReport(int dataCount, std::int64_t arrayTime, std::int64_t listTime) {
  // GBK: "排序算法性能比较 (数据量: ", "数组冒泡排序时间: ",
  // "双向链表冒泡排序时间: ", "时间差: " and " 毫秒".
  const char* const unit = " \xba\xc1\xc3\xeb";
  std::cout << "\xc5\xc5\xd0\xf2\xcb\xe3\xb7\xa8\xd0\xd4\xc4\xdc\xb1\xc8\xbd\xcf "
               "(\xca\xfd\xbe\xdd\xc1\xbf: "
            << dataCount << "):" << std::endl;
  std::cout << "\xca\xfd\xd7\xe9\xc3\xb0\xc5\xdd\xc5\xc5\xd0\xf2\xca\xb1\xbc\xe4: " << arrayTime
            << unit << std::endl;
  std::cout << "\xcb\xab\xcf\xf2\xc1\xb4\xb1\xed\xc3\xb0\xc5\xdd\xc5\xc5\xd0\xf2\xca\xb1\xbc\xe4: "
            << listTime << unit << std::endl;
  std::cout << "\xca\xb1\xbc\xe4\xb2\xee: " << listTime - arrayTime << unit << std::endl;
}

// Owns what it allocates through unique_ptr, so that a failed allocation
// (a list node, the list sort's sentinel) releases the rest on its way out.
void compareBubbleSorts(int dataCount) {
  const auto size = static_cast<std::size_t>(dataCount);
  std::unique_ptr<int[]> arr(new int[size]);

  std::random_device rd;
  std::mt19937 gen(rd());
  std::uniform_int_distribution<int> dis(1, 1000000);

  for (std::size_t i = 0; i < size; ++i) {
    arr[i] = dis(gen);
  }
  const auto start1 = std::chrono::steady_clock::now();
  bubbleSortArray(arr.get(), dataCount);
  const auto end1 = std::chrono::steady_clock::now();
  const std::int64_t arrayTime = elapsedMilliseconds(start1, end1);

  // The list sorts fresh values, drawn from the same engine.
  for (std::size_t i = 0; i < size; ++i) {
    arr[i] = dis(gen);
  }
  // The list sort keeps its first node first, so `list` owns the sorted list.
  std::unique_ptr<ListNode, decltype(&freeList)> list(buildList(arr.get(), dataCount), freeList);
  ListNode* head = list.get();
  const auto start2 = std::chrono::steady_clock::now();
  bubbleSortList(&head);
  const auto end2 = std::chrono::steady_clock::now();
  const std::int64_t listTime = elapsedMilliseconds(start2, end2);

  list.reset();
  arr.reset();

  writeBubbleSortReport(dataCount, arrayTime, listTime);
}

// A node that cannot be allocated releases the ones already built before
// the failure goes on to the caller, who has no pointer to them yet.
ListNode* buildList(const int* arr, int num) {
  if (num <= 0) {
    return nullptr;
  }
  auto* head = new ListNode(arr[0]);
  ListNode* last = head;
  try {
    for (int i = 1; i < num; ++i) {
      auto* node = new ListNode(arr[i]);
      last->nextNode = node;
      node->prevNode = last;
      last = node;
    }
  } catch (...) {
    freeList(head);
    throw;
  }
  return head;
}

// A cocktail-shaker pass pair: the forward pass carries the window's largest
// key up to the node after its last exchange, the backward pass the smallest
// down; each bound then moves to its pass's last exchange, since every node
// beyond it already holds its final key.
//
// A temporary sentinel before the first node lets the first backward pass
// stop at "the node before the window" like every later one; it never takes
// part in a comparison.
void bubbleSortList(ListNode** headRef) {
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
      if (next->key < cursor->key) {
        std::swap(cursor->key, next->key);
        lastSwap = next;
        swapped = true;
      }
    }
    if (!swapped) {
      break;
    }
    upperBound = lastSwap;

    // upperBound now holds the window's largest key, so the walk's first
    // comparison never exchanges and lastSwap stays at least two nodes
    // below upperBound: the next forward walk still meets upperBound.
    swapped = false;
    lastSwap = nullptr;
    for (ListNode* cursor = upperBound; cursor->prevNode != lowerBound; cursor = cursor->prevNode) {
      ListNode* prev = cursor->prevNode;
      if (cursor->key < prev->key) {
        std::swap(cursor->key, prev->key);
        lastSwap = prev;
        swapped = true;
      }
    }
    if (swapped) {
      lowerBound = lastSwap;
    }
  }

  *headRef = sentinel->nextNode;
  (*headRef)->prevNode = nullptr;
  delete sentinel;
}

void freeList(ListNode* head) {
  while (head != nullptr) {
    ListNode* next = head->nextNode;
    delete head;
    head = next;
  }
}
