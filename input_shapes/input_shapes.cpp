#include "input_shapes.hpp"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstring>

std::vector<int> uniformValues(int size, std::mt19937& gen, int low, int high) {
  std::uniform_int_distribution<int> dis(low, high);
  std::vector<int> values(static_cast<std::size_t>(size));
  for (int& value : values) {
    value = dis(gen);
  }
  return values;
}

std::vector<int> descendingValues(int size) {
  std::vector<int> values(static_cast<std::size_t>(size));
  for (int i = 0; i < size; ++i) {
    values[static_cast<std::size_t>(i)] = size - i;
  }
  return values;
}

const std::vector<InputShape>& inputShapes() {
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

const InputShape* findShape(const char* name) {
  for (const InputShape& shape : inputShapes()) {
    if (std::strcmp(shape.name, name) == 0) {
      return &shape;
    }
  }
  return nullptr;
}

std::vector<int> sortedCopy(std::vector<int> values) {
  std::sort(values.begin(), values.end());
  return values;
}
