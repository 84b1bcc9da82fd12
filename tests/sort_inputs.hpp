#pragma once

// Input shapes that sorting tests cross with every sorter and many sizes.

#include <algorithm>
#include <climits>
#include <cstddef>
#include <ostream>
#include <random>
#include <string>
#include <tuple>
#include <vector>

struct InputShape {
  const char* name;
  std::vector<int> (*make)(int size, std::mt19937& gen);
};

// A sort under test, wrapped to return its sorted copy of `values`.
struct Sorter {
  const char* name;
  std::vector<int> (*sort)(const std::vector<int>& values);
};

// Test names and failure messages show the names, not the bytes.
inline void PrintTo(const InputShape& shape, std::ostream* out) { *out << shape.name; }
inline void PrintTo(const Sorter& sorter, std::ostream* out) { *out << sorter.name; }

inline std::vector<int> uniformValues(int size, std::mt19937& gen, int low, int high) {
  std::uniform_int_distribution<int> dis(low, high);
  std::vector<int> values(static_cast<std::size_t>(size));
  for (int& value : values) {
    value = dis(gen);
  }
  return values;
}

inline std::vector<int> descendingValues(int size) {
  std::vector<int> values(static_cast<std::size_t>(size));
  for (int i = 0; i < size; ++i) {
    values[static_cast<std::size_t>(i)] = size - i;
  }
  return values;
}

inline const std::vector<InputShape>& inputShapes() {
  static const std::vector<InputShape> shapes = {
      {"Random", [](int size, std::mt19937& gen) { return uniformValues(size, gen, 1, 1000000); }},
      {"Ascending",
       [](int size, std::mt19937&) {
         std::vector<int> values = descendingValues(size);
         std::reverse(values.begin(), values.end());
         return values;
       }},
      {"Descending", [](int size, std::mt19937&) { return descendingValues(size); }},
      {"AllEqual",
       [](int size, std::mt19937&) { return std::vector<int>(static_cast<std::size_t>(size), 7); }},
      {"OrganPipe",
       [](int size, std::mt19937&) {
         std::vector<int> values(static_cast<std::size_t>(size));
         for (int i = 0; i < size; ++i) {
           values[static_cast<std::size_t>(i)] = std::min(i, size - 1 - i);
         }
         return values;
       }},
      {"FewDistinct", [](int size, std::mt19937& gen) { return uniformValues(size, gen, 0, 3); }},
      {"Negatives",
       [](int size, std::mt19937& gen) { return uniformValues(size, gen, -500, 499); }},
      {"Extremes",
       [](int size, std::mt19937& gen) {
         const int picks[] = {INT_MIN, INT_MIN + 1, -1, 0, 1, INT_MAX - 1, INT_MAX};
         std::vector<int> values = uniformValues(size, gen, 0, 6);
         for (int& value : values) {
           value = picks[value];
         }
         return values;
       }},
  };
  return shapes;
}

// Every size up to a dozen, the neighbours of powers of two, and a few thousand.
inline const std::vector<int>& testSizes() {
  static const std::vector<int> sizes = {0,  1,   2,   3,   4,   5,    6,    7,   8,  9,
                                         10, 11,  12,  15,  16,  17,   31,   32,  33, 64,
                                         65, 100, 255, 256, 257, 1000, 1024, 2500};
  return sizes;
}

// Names a test over a (sorter, shape) pair after both, e.g. "StackOrganPipe".
struct SorterShapeName {
  template <class TestInfo>
  std::string operator()(const TestInfo& test) const {
    return std::string(std::get<0>(test.param).name) + std::get<1>(test.param).name;
  }
};

inline std::vector<int> sortedCopy(std::vector<int> values) {
  std::sort(values.begin(), values.end());
  return values;
}
