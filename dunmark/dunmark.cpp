#include "dunmark.hpp"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <memory>
#include <new>
#include <optional>
#include <random>
#include <utility>

#include "memory_limit.hpp"

// On random input the pivot is the median of three two times in three and
// the largest of three otherwise; the recursion tree then grows to about
// 3.72 ln n = 2.58 log2 n levels (a split tree with pivot density 4x - 3x^2),
// 69 levels for 10^8 elements. Four levels per doubling (104 for 10^8)
// leave a margin that random data never crosses, while descending input or
// long runs of equal keys, which split off one element per level, reach it
// after a few dozen levels instead of one level per element.
int recursionDepthLimit(int size) {
  int limit = 0;
  for (; size > 1; size >>= 1) {
    limit += kDepthPerDoubling;
  }
  return limit;
}

namespace {

// `ifTrue` when `condition` holds, else `ifFalse`, computed rather than
// branched to; both are indices of one range, so the difference fits.
int pickIndex(bool condition, int ifFalse, int ifTrue) {
  return ifFalse + (ifTrue - ifFalse) * static_cast<int>(condition);
}

// GCC keeps the partition loop rolled unless told; unrolled by two, as
// Clang unrolls it by itself, it ran 1-9% faster than rolled.
#if defined(__GNUC__)
#define UNROLL_PARTITION_LOOP _Pragma("GCC unroll 2")
#else
#define UNROLL_PARTITION_LOOP
#endif

// Returns `value`, hiding from the optimiser what it is. GCC otherwise sees
// that the partner partitionLoop picks for an element that stays put is the
// element itself, and brings back the branch to skip reloading it.
template <class T>
T opaqueToOptimiser(T value) {
#if defined(__GNUC__)
  asm("" : "+r"(value));
#endif
  return value;
}

// Lomuto's loop over arr[lo, hi): each element less than or equal to
// pivotValue is exchanged with the first element greater than the pivot.
// Returns the index of that first greater element (hi when there is none).
//
// On random data each comparison is a coin toss that a branch would
// mispredict half the time, so the comparison only picks the exchange's
// partner: the first greater element, or, for an element that stays, its
// own place, where the exchange writes back the value already there. The
// array passes through the same states as under the branch
// (docs/performance.md, "Why the quicksorts beat std::sort").
int partitionLoop(int* arr, int lo, int hi, int pivotValue) {
  int* left = arr + lo;
  int* const end = arr + hi;
  UNROLL_PARTITION_LOOP
  for (int* scan = arr + lo; scan < end; ++scan) {
    const int value = *scan;
    const bool goesLeft = value <= pivotValue;
    int* const partner = opaqueToOptimiser(goesLeft ? left : scan);
    *scan = *partner;
    *partner = value;
    left += goesLeft;
  }
  return static_cast<int>(left - arr);
}

// The timed sorts' observer: final, so that its empty hooks are called
// directly and compile away.
struct NoObserver final : QuickSortObserver {};

// Sorts arr[lo, hi] in place, without recursion or allocation, in
// O(n log n): where a quicksort has to give up on a range.
template <class Observer>
void heapSortRange(int* arr, int lo, int hi, Observer& observer) {
  observer.heapSorted(StackFrame{lo, hi});
  std::make_heap(arr + lo, arr + hi + 1);
  std::sort_heap(arr + lo, arr + hi + 1);
}

// Lomuto partition, left part first; the exchange runs even when i == j,
// as partitionLoop's does for every element that stays. Ranges deeper than
// depthLimit are heap sorted instead, so that descending input or runs of
// equal keys cannot recurse once per element and overflow the call stack.
template <class Observer>
void quickSortWithinDepth(int* arr, int lo, int hi, int depth, int depthLimit, Observer& observer) {
  if (lo >= hi) {
    return;
  }
  if (depth > depthLimit) {
    heapSortRange(arr, lo, hi, observer);
    return;
  }
  observer.recursed(depth);
  std::swap(arr[choosePivot(arr, lo, hi)], arr[hi]);
  const int i = partitionLoop(arr, lo, hi, arr[hi]);
  std::swap(arr[i], arr[hi]);
  observer.partitioned(StackFrame{lo, hi}, i);
  quickSortWithinDepth(arr, lo, i - 1, depth + 1, depthLimit, observer);
  quickSortWithinDepth(arr, i + 1, hi, depth + 1, depthLimit, observer);
}

// Taking the larger part next leaves the smaller ones pending on the stack,
// at most one per partition along the path of larger parts. A part that
// finds kPushLimit entries in use is heap sorted on the spot: the stack
// keeps its fixed size, and the array still ends sorted.
template <class Observer>
void quickSortOnStack(int* arr, int num, Observer& observer) {
  if (num <= 1) {
    return;
  }
  StackFrame stack[kStackCapacity];
  int count = 0;
  const auto push = [arr, &stack, &count, &observer](int lo, int hi) {
    if (hi - lo < 1) {
      return;
    }
    if (count < kPushLimit) {
      stack[count++] = StackFrame{lo, hi};
      observer.pushed(StackFrame{lo, hi}, count);
    } else {
      heapSortRange(arr, lo, hi, observer);
    }
  };

  push(0, num - 1);
  while (count > 0) {
    const StackFrame frame = stack[--count];
    observer.popped(frame);
    const int lo = frame.lo;
    const int hi = frame.hi;
    if (hi - lo + 1 <= 3) {
      observer.sortedSmall(frame);
      sortSmallRange(arr, lo, hi);
      continue;
    }
    const int pivot = partitionRange(arr, lo, hi);
    observer.partitioned(frame, pivot);
    if (pivot - lo > hi - pivot) {
      push(pivot + 1, hi);
      push(lo, pivot - 1);
    } else {
      push(lo, pivot - 1);
      push(pivot + 1, hi);
    }
  }
}

std::int64_t elapsedMilliseconds(std::chrono::steady_clock::time_point start,
                                 std::chrono::steady_clock::time_point end) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(end - start).count();
}

}  // namespace

// On random data each comparison here is a coin toss, which GCC compiles to
// a branch mispredicted half the time: the picks are made without one.
// The outcome is the rule's: the larger of arr[lo] and arr[mid] (mid on a
// tie), unless arr[hi] is smaller, then hi or lo.
int choosePivot(const int* arr, int lo, int hi) {
  const int mid = lo + ((hi - lo) >> 1);
  const int first = arr[lo];
  const int middle = arr[mid];
  const int last = arr[hi];
  const int m = pickIndex(middle < first, mid, lo);
  return pickIndex(last < std::max(first, middle), m, pickIndex(first < last, lo, hi));
}

void recursiveQuickSort(int* arr, int lo, int hi) {
  NoObserver none;
  quickSortWithinDepth(arr, lo, hi, 1, recursionDepthLimit(hi - lo + 1), none);
}

void recursiveQuickSort(int* arr, int lo, int hi, QuickSortObserver& observer) {
  quickSortWithinDepth(arr, lo, hi, 1, recursionDepthLimit(hi - lo + 1), observer);
}

// An exchange of an element with itself is useless work, and is skipped:
// at the pivot's placement by a branch, which almost always goes the same
// way; in the loop, where such a branch would be a coin toss, by writing the
// element back in place, which costs less than its mispredictions.
int partitionRange(int* arr, int lo, int hi) {
  const int p = choosePivot(arr, lo, hi);
  std::swap(arr[p], arr[hi]);
  const int d = partitionLoop(arr, lo, hi, arr[hi]);
  if (d != hi) {
    std::swap(arr[d], arr[hi]);
  }
  return d;
}

// Each compare-exchange writes both elements: exchanged where the later one
// is strictly less, as they were otherwise. On random data that comparison
// is a coin toss; hidden from the optimiser, the picks stay conditional
// moves where GCC would branch.
void sortSmallRange(int* arr, int lo, int hi) {
  const auto compareExchange = [arr](int a, int b) {
    const int first = arr[a];
    const int second = arr[b];
    const bool outOfOrder = second < first;
    arr[a] = opaqueToOptimiser(outOfOrder ? second : first);
    arr[b] = opaqueToOptimiser(outOfOrder ? first : second);
  };
  if (hi - lo == 1) {
    compareExchange(lo, hi);
  } else if (hi - lo == 2) {
    compareExchange(lo, lo + 1);
    compareExchange(lo + 1, lo + 2);
    compareExchange(lo, lo + 1);
  }
}

void stackQuickSort(int* arr, int num) {
  NoObserver none;
  quickSortOnStack(arr, num, none);
}

void stackQuickSort(int* arr, int num, QuickSortObserver& observer) {
  quickSortOnStack(arr, num, observer);
}

void writeQuickSortReport(int dataCount, std::int64_t firstTime, std::int64_t secondTime) {
  // GBK: "快速排序算法性能比较 (数据量:", "非递归版本耗时:", "递归版本耗时:"
  // and "时间差:".
  std::cout << "\xbf\xec\xcb\xd9\xc5\xc5\xd0\xf2\xcb\xe3\xb7\xa8\xd0\xd4\xc4\xdc\xb1\xc8\xbd\xcf "
               "(\xca\xfd\xbe\xdd\xc1\xbf:"
            << dataCount << "):\n"
            << "\xb7\xc7\xb5\xdd\xb9\xe9\xb0\xe6\xb1\xbe\xba\xc4\xca\xb1:" << firstTime << " ms\n"
            << "\xb5\xdd\xb9\xe9\xb0\xe6\xb1\xbe\xba\xc4\xca\xb1:" << secondTime << " ms\n"
            << "\xca\xb1\xbc\xe4\xb2\xee:"
            << (firstTime > secondTime ? firstTime - secondTime : secondTime - firstTime)
            << " ms\n";
}

void compareQuickSorts(int dataCount) {
  const auto size = static_cast<std::size_t>(dataCount);
  std::unique_ptr<int[]> firstArray(new int[size]);
  std::unique_ptr<int[]> secondArray(new int[size]);

  std::random_device rd;
  std::mt19937 gen(rd());
  std::uniform_int_distribution<int> dis(1, 100000000);

  for (std::size_t i = 0; i < size; ++i) {
    firstArray[i] = dis(gen);
  }
  std::copy(firstArray.get(), firstArray.get() + dataCount, secondArray.get());

  auto start = std::chrono::steady_clock::now();
  stackQuickSort(firstArray.get(), dataCount);
  auto end = std::chrono::steady_clock::now();
  const std::int64_t firstTime = elapsedMilliseconds(start, end);

  start = std::chrono::steady_clock::now();
  recursiveQuickSort(secondArray.get(), 0, dataCount - 1);
  end = std::chrono::steady_clock::now();
  const std::int64_t secondTime = elapsedMilliseconds(start, end);

  writeQuickSortReport(dataCount, firstTime, secondTime);

  firstArray.reset();
  secondArray.reset();
}

#ifndef DUNMARK_NO_MAIN
// Every way the run can fail ends here, with one GBK line on standard error
// and a non-zero status, never with an abort or a lost report taken for
// success. The driver's arrays release themselves on the way out.
int main() {
  const int dataCount = 100000000;
  const std::int64_t need =
      2 * std::int64_t{dataCount} * static_cast<std::int64_t>(sizeof(int)) + kRestOfProcess;
  try {
    const std::optional<std::int64_t> limit = systemMemoryLimit();
    if (!fitsUnder(need, limit)) {
      writeTooLittleMemory("dunmark", need, limit);
      return EXIT_FAILURE;
    }
    compareQuickSorts(dataCount);
  } catch (const std::bad_alloc&) {
    writeTooLittleMemory("dunmark", need, std::nullopt);
    return EXIT_FAILURE;
  } catch (const std::exception&) {
    // Nothing else in the run throws: the random device failed. GBK:
    // "随机数设备不可用" (the random device is unavailable).
    std::cerr << "dunmark: \xcb\xe6\xbb\xfa\xca\xfd\xc9\xe8\xb1\xb8\xb2\xbb\xbf\xc9\xd3\xc3"
              << std::endl;
    return EXIT_FAILURE;
  }
  if (!std::cout.flush()) {
    // GBK: "报告未能写入标准输出" (the report could not be written to
    // standard output).
    std::cerr << "dunmark: \xb1\xa8\xb8\xe6\xce\xb4\xc4\xdc\xd0\xb4\xc8\xeb\xb1\xea\xd7\xbc\xca\xe4"
                 "\xb3\xf6"
              << std::endl;
    return EXIT_FAILURE;
  }
  return 0;
}
#endif
