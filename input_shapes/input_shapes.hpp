#pragma once

// Input shapes that the tests cross with every sorter and that sortbench
// times every sort on: random, ascending, descending, all equal, organ
// pipe, few distinct values, negatives and extremes.

#include <random>
#include <vector>

struct InputShape {
  const char* name;
  std::vector<int> (*make)(int size, std::mt19937& gen);
};

// `size` values drawn uniformly from [low, high].
std::vector<int> uniformValues(int size, std::mt19937& gen, int low, int high);

// size, size - 1, ..., 1.
std::vector<int> descendingValues(int size);

const std::vector<InputShape>& inputShapes();

// The shape called `name`; null when there is none.
const InputShape* findShape(const char* name);

std::vector<int> sortedCopy(std::vector<int> values);
