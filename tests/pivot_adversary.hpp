#pragma once

// Inputs built against choosePivot and the Lomuto partition, in the manner of
// a quicksort killer adversary: values are decided lazily, just before each
// partition, so that the partition splits where the adversary wants; what
// was never decided is frozen at the end.
//
// The real partitionRange runs on stand-ins. An element whose value is not
// yet decided holds its own original index (below the input's size); before
// a partition the adversary decides a few elements of the range, always
// above every undecided one. Undecided elements are then only compared with
// decided ones, never with each other, so any final values below the
// decided ones keep every comparison's outcome, and the sorts, which are
// deterministic, take on the frozen input the path the adversary chose.

#include <cstddef>
#include <random>
#include <vector>

#include "dunmark.hpp"

class PivotAdversary {
 public:
  explicit PivotAdversary(int size) : input_(static_cast<std::size_t>(size)) {
    for (int i = 0; i < size; ++i) {
      input_[static_cast<std::size_t>(i)] = i;
    }
    work_ = input_;
    nextValue_ = 2 * size + 1;
  }

  // Decides the element now at `position` to be larger than every
  // undecided element and smaller than everything decided before it.
  // Returns the value.
  int decideBelowPrevious(int position) {
    const int value = --nextValue_;
    input_[static_cast<std::size_t>(work_[static_cast<std::size_t>(position)])] = value;
    work_[static_cast<std::size_t>(position)] = value;
    return value;
  }

  int partition(int lo, int hi) { return partitionRange(work_.data(), lo, hi); }

  // The input, with undecided elements frozen at their indices or, given an
  // engine, at random values below every decided one.
  std::vector<int> freeze(std::mt19937* gen = nullptr) const {
    std::vector<int> frozen = input_;
    const int size = static_cast<int>(input_.size());
    if (gen != nullptr) {
      std::uniform_int_distribution<int> undecided(0, size - 1);
      for (int& value : frozen) {
        if (value < size) {
          value = undecided(*gen);
        }
      }
    }
    return frozen;
  }

 private:
  std::vector<int> input_;
  std::vector<int> work_;
  int nextValue_;
};

// Every partition takes the largest element of its range as the pivot
// (choosePivot returns the first candidate when it is strictly the largest)
// and splits off nothing but it: a quicksort without a depth bound recurses
// once per element.
inline std::vector<int> worstPartitionInput(int size, std::mt19937* gen = nullptr) {
  PivotAdversary adversary(size);
  for (int hi = size - 1; hi > 0;) {
    adversary.decideBelowPrevious(0);
    hi = adversary.partition(0, hi) - 1;
  }
  return adversary.freeze(gen);
}

// Every partition splits off exactly two elements above the pivot, so one
// two-element part per level waits on stackQuickSort's stack while the
// larger part goes on: `levels` levels need `levels` entries. What is left
// after the last level stays undecided.
inline std::vector<int> stackFillingInput(int levels, int size, std::mt19937* gen = nullptr) {
  PivotAdversary adversary(size);
  int hi = size - 1;
  // Ranges of 7 or more keep lo + 1 and lo + 2 apart from the candidates.
  for (int level = 0; level < levels && hi >= 6; ++level) {
    adversary.decideBelowPrevious(1);
    adversary.decideBelowPrevious(2);
    adversary.decideBelowPrevious(0);  // the pivot: largest candidate, third in its range
    hi = adversary.partition(0, hi) - 1;
  }
  return adversary.freeze(gen);
}
