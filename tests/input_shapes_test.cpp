// The shapes every sort is tested and timed on are what their names say.

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <set>
#include <string>
#include <vector>

#include "input_shapes.hpp"

namespace {

TEST(InputShapes, EachGivesTheSizeAskedForAndIsFoundByName) {
  std::mt19937 gen(1);
  for (const InputShape& shape : inputShapes()) {
    EXPECT_EQ(findShape(shape.name), &shape);
    for (const int size : {0, 1, 2, 1000}) {
      EXPECT_EQ(shape.make(size, gen).size(), static_cast<std::size_t>(size)) << shape.name;
    }
  }
  EXPECT_EQ(findShape("Sorted"), nullptr);
}

TEST(InputShapes, OrderedShapesHaveTheirOrder) {
  std::mt19937 gen(2);
  const std::vector<int> ascending = findShape("Ascending")->make(100, gen);
  EXPECT_TRUE(std::is_sorted(ascending.begin(), ascending.end()));
  const std::vector<int> descending = findShape("Descending")->make(100, gen);
  EXPECT_TRUE(std::is_sorted(descending.rbegin(), descending.rend()));
  EXPECT_EQ(descending.front(), 100);
  EXPECT_EQ(descending.back(), 1);
  const std::vector<int> organPipe = findShape("OrganPipe")->make(101, gen);
  EXPECT_TRUE(std::is_sorted(organPipe.begin(), organPipe.begin() + 51));
  EXPECT_TRUE(std::is_sorted(organPipe.rbegin(), organPipe.rbegin() + 51));
}

TEST(InputShapes, ValueSetsAreWhatTheNamesSay) {
  std::mt19937 gen(3);
  const auto distinct = [&gen](const char* name) {
    const std::vector<int> values = findShape(name)->make(10000, gen);
    return std::set<int>(values.begin(), values.end());
  };
  EXPECT_EQ(distinct("AllEqual").size(), 1U);
  EXPECT_LE(distinct("FewDistinct").size(), 4U);
  EXPECT_LT(*distinct("Negatives").begin(), 0);
  const std::set<int> extremes = distinct("Extremes");
  EXPECT_EQ(*extremes.begin(), INT_MIN);
  EXPECT_EQ(*extremes.rbegin(), INT_MAX);
  EXPECT_GT(distinct("Random").size(), 9000U);
}

}  // namespace
