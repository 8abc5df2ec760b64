#include "vlm/vertex_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace vlm {
namespace {

// Keys compared by their bits (as the importers compare them), and by value (where -0 equals
// +0, so both hash as +0, and a NaN equals nothing).
using BitHash = BitwiseHash<float>;
using BitEqual = BitwiseEqual<float>;
struct ValueHash {
  uint64_t operator()(float f) const { return BitHash{}(f + 0.0f); }
};
// Every key in one chain of collisions, whatever its bits.
struct OneHash {
  uint64_t operator()(float) const { return 42; }
};

// The numbers a walk through every key added before, in order, gives.
template <class Equal>
std::vector<int32_t> Walked(const std::vector<float>& keys, Equal equal) {
  std::vector<float> added;
  std::vector<int32_t> numbers;
  for (float k : keys) {
    size_t n = 0;
    while (n < added.size() && !equal(added[n], k))
      ++n;
    if (n == added.size()) added.push_back(k);
    numbers.push_back(static_cast<int32_t>(n));
  }
  return numbers;
}

template <class Hash, class Equal>
std::vector<int32_t> Inserted(const std::vector<float>& keys, size_t reserved) {
  VertexTable<float, Hash, Equal> table;
  if (reserved > 0) table.Clear(reserved);
  std::vector<int32_t> numbers;
  for (float k : keys) {
    const int32_t before = table.Count();
    const auto entry = table.Insert(k);
    EXPECT_EQ(table.Count(), before + (entry.added ? 1 : 0));
    if (entry.added) {
      EXPECT_EQ(entry.number, before);
    }
    EXPECT_EQ(table.Find(k), Equal{}(k, k) ? entry.number : -1);  // a NaN by value: none
    numbers.push_back(entry.number);
  }
  return numbers;
}

TEST(VertexTable, GivesTheFirstEqualKeyOfAWalkThroughAllOfThem) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  std::vector<float> many;  // past several doublings, every key three times
  for (int round = 0; round < 3; ++round)
    for (int k = 0; k < 700; ++k)
      many.push_back(static_cast<float>((k * 37) % 700) * 0.5f);
  const struct {
    std::string what;
    std::vector<float> keys;
    std::vector<int32_t> byBits, byValue;  // empty: as the walk gives
  } cases[] = {
      {"equal keys", {1, 2, 1, 3, 2, 3}, {0, 1, 0, 2, 1, 2}, {0, 1, 0, 2, 1, 2}},
      {"-0 and +0", {0.0f, -0.0f, 0.0f, -0.0f}, {0, 1, 0, 1}, {0, 0, 0, 0}},
      {"NaN", {nan, 1, nan}, {0, 1, 0}, {0, 1, 2}},
      {"growth", many, {}, {}},
  };
  for (const auto& c : cases) {
    const auto byBits = c.byBits.empty() ? Walked(c.keys, BitEqual{}) : c.byBits;
    const auto byValue = c.byValue.empty() ? Walked(c.keys, std::equal_to<float>{}) : c.byValue;
    ASSERT_EQ(byBits, Walked(c.keys, BitEqual{})) << c.what;
    for (size_t reserved : {size_t{0}, c.keys.size()}) {
      const std::string where = c.what + ", room for " + std::to_string(reserved);
      EXPECT_EQ((Inserted<BitHash, BitEqual>(c.keys, reserved)), byBits) << where;
      EXPECT_EQ((Inserted<OneHash, BitEqual>(c.keys, reserved)), byBits) << where << ", collisions";
      EXPECT_EQ((Inserted<ValueHash, std::equal_to<float>>(c.keys, reserved)), byValue) << where;
      EXPECT_EQ((Inserted<OneHash, std::equal_to<float>>(c.keys, reserved)), byValue)
          << where << ", collisions";
    }
  }
  VertexTable<float, BitHash, BitEqual> table;
  EXPECT_EQ(table.Find(1), -1);  // nothing added yet
  table.Insert(-0.0f);
  EXPECT_EQ(table.Find(0.0f), -1);
  EXPECT_TRUE(std::signbit(table[0]));  // kept as it was added
  table.Clear();
  EXPECT_EQ(table.Insert(2).number, 0);
}

// Keys of several fields, as the importers gather positions and texture coordinates: a key
// equals another only when every field has the same bits.
TEST(VertexTable, TellsKeysOfSeveralFieldsApartByEveryFieldsBits) {
  struct Point {
    float x, y, z;
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const struct {
    std::string what;
    std::vector<Point> keys;
    std::vector<int32_t> numbers;
  } cases[] = {
      {"fields in other places", {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 1, 0}}, {0, 1, 2, 1}},
      {"-0 in one field", {{0, 0, 0}, {0, -0.0f, 0}, {0, 0, 0}, {0, -0.0f, 0}}, {0, 1, 0, 1}},
      {"NaN in one field", {{nan, 1, 2}, {0, 1, 2}, {nan, 1, 2}}, {0, 1, 0}},
      {"a grid", {}, {}},
  };
  for (auto c : cases) {
    if (c.what == "a grid")  // whole numbers and halves: low bits all zero, past several doublings
      for (int round = 0; round < 2; ++round)
        for (int k = 0; k < 1000; ++k) {
          c.keys.push_back({static_cast<float>(k % 10), static_cast<float>(k / 10 % 10) * 0.5f,
                            static_cast<float>(k / 100)});
          c.numbers.push_back(k);
        }
    VertexTable<Point, BitwiseHash<Point>, BitwiseEqual<Point>> table;
    std::vector<int32_t> numbers;
    for (const Point& p : c.keys)
      numbers.push_back(table.Insert(p).number);
    EXPECT_EQ(numbers, c.numbers) << c.what;
    EXPECT_EQ(table.Count(), *std::max_element(numbers.begin(), numbers.end()) + 1) << c.what;
  }
}

}  // namespace
}  // namespace vlm
