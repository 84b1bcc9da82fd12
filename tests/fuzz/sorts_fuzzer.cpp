// libFuzzer target: the fuzzer's bytes, read as native ints, go through every
// sort and through the quicksorts' building blocks. Any wrong result aborts.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "corvel.hpp"
#include "dunmark.hpp"

namespace {

void require(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
  }
}

void checkArraySorts(const std::vector<int>& input, const std::vector<int>& sorted) {
  const int size = static_cast<int>(input.size());
  std::vector<int> values = input;
  bubbleSortArray(values.data(), size);
  require(values == sorted, "bubbleSortArray");

  values = input;
  stackQuickSort(values.data(), size);
  require(values == sorted, "stackQuickSort");

  values = input;
  recursiveQuickSort(values.data(), 0, size - 1);
  require(values == sorted, "recursiveQuickSort");
}

// Keys end sorted on the same nodes, in the same order, correctly linked.
void checkListSort(const std::vector<int>& input, const std::vector<int>& sorted) {
  ListNode* head = buildList(input.data(), static_cast<int>(input.size()));
  std::vector<const ListNode*> nodes;
  for (const ListNode* node = head; node != nullptr; node = node->nextNode) {
    nodes.push_back(node);
  }
  bubbleSortList(&head);
  std::size_t index = 0;
  const ListNode* before = nullptr;
  for (const ListNode* node = head; node != nullptr; node = node->nextNode, ++index) {
    require(index < nodes.size() && node == nodes[index], "list nodes kept in order");
    require(node->prevNode == before, "list links");
    require(node->key == sorted[index], "bubbleSortList");
    before = node;
  }
  require(index == nodes.size(), "list length");
  freeList(head);
}

// On the range [lo, hi] the fuzzer's first two values pick.
void checkPartitionSteps(const std::vector<int>& input) {
  const int size = static_cast<int>(input.size());
  const auto pick = [size](int raw) {
    return static_cast<int>(static_cast<unsigned>(raw) % static_cast<unsigned>(size));
  };
  const int lo = std::min(pick(input[0]), pick(input.back()));
  const int hi = std::max(pick(input[0]), pick(input.back()));
  const auto outside = [&](const std::vector<int>& values) {
    return std::equal(values.begin(), values.begin() + lo, input.begin()) &&
           std::equal(values.begin() + hi + 1, values.end(), input.begin() + hi + 1);
  };
  const auto sameValues = [&](const std::vector<int>& values) {
    std::vector<int> before(input.begin() + lo, input.begin() + hi + 1);
    std::vector<int> after(values.begin() + lo, values.begin() + hi + 1);
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    return before == after;
  };

  const int candidate = choosePivot(input.data(), lo, hi);
  require(candidate == lo || candidate == hi || candidate == lo + (hi - lo) / 2,
          "choosePivot returns a candidate");

  if (lo < hi) {
    std::vector<int> values = input;
    const int pivot = partitionRange(values.data(), lo, hi);
    require(pivot >= lo && pivot <= hi, "partitionRange index in range");
    const int pivotValue = values[static_cast<std::size_t>(pivot)];
    for (int i = lo; i <= hi; ++i) {
      const int value = values[static_cast<std::size_t>(i)];
      require(i >= pivot || value <= pivotValue, "left of pivot is not greater");
      require(i <= pivot || value > pivotValue, "right of pivot is greater");
    }
    require(sameValues(values) && outside(values), "partitionRange keeps the values");
  }

  std::vector<int> values = input;
  const int smallHi = std::min(hi, lo + 2);
  sortSmallRange(values.data(), lo, smallHi);
  require(std::is_sorted(values.begin() + lo, values.begin() + smallHi + 1) && outside(values),
          "sortSmallRange");
  values = input;
  sortSmallRange(values.data(), lo, lo + 3);
  require(values == input, "sortSmallRange leaves four elements alone");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<int> input(size / sizeof(int));
  if (!input.empty()) {
    std::memcpy(input.data(), data, input.size() * sizeof(int));
  }
  std::vector<int> sorted = input;
  std::sort(sorted.begin(), sorted.end());

  checkArraySorts(input, sorted);
  checkListSort(input, sorted);
  if (!input.empty()) {
    checkPartitionSteps(input);
  }
  return 0;
}
