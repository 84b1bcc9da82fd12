#pragma once

// Sorters under test, the sizes they are tested at, and test names.

#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "input_shapes.hpp"

// A sort under test, wrapped to return its sorted copy of `values`.
struct Sorter {
  const char* name;
  std::vector<int> (*sort)(const std::vector<int>& values);
};

// Test names and failure messages show the names, not the bytes.
inline void PrintTo(const InputShape& shape, std::ostream* out) { *out << shape.name; }
inline void PrintTo(const Sorter& sorter, std::ostream* out) { *out << sorter.name; }

// Every size up to a dozen, the neighbours of powers of two, and a few thousand.
inline const std::vector<int>& testSizes() {
  static const std::vector<int> sizes = {0,  1,   2,   3,   4,   5,    6,    7,   8,  9,
                                         10, 11,  12,  15,  16,  17,   31,   32,  33, 64,
                                         65, 100, 255, 256, 257, 1000, 1024, 2500};
  return sizes;
}

// Names a test over a shape after it, e.g. "OrganPipe".
struct ShapeName {
  template <class TestInfo>
  std::string operator()(const TestInfo& test) const {
    return test.param.name;
  }
};

// Names a test over a (sorter, shape) pair after both, e.g. "StackOrganPipe".
struct SorterShapeName {
  template <class TestInfo>
  std::string operator()(const TestInfo& test) const {
    return std::string(std::get<0>(test.param).name) + std::get<1>(test.param).name;
  }
};
