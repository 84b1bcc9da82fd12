#pragma once

// Every sorter crossed with every input shape, each at every test size,
// against std::sort. A test file instantiates it with its own sorters:
//   INSTANTIATE_TEST_SUITE_P(Quick, SortsMatchStdSort,
//       testing::Combine(testing::ValuesIn(kSorters), testing::ValuesIn(inputShapes())),
//       SorterShapeName());

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "sort_inputs.hpp"

class SortsMatchStdSort : public testing::TestWithParam<std::tuple<Sorter, InputShape>> {};

TEST_P(SortsMatchStdSort, AtEverySize) {
  const auto& [sorter, shape] = GetParam();
  std::mt19937 gen(20261208);
  for (const int size : testSizes()) {
    SCOPED_TRACE("size " + std::to_string(size));
    const std::vector<int> input = shape.make(size, gen);
    EXPECT_EQ(sorter.sort(input), sortedCopy(input));
  }
}
