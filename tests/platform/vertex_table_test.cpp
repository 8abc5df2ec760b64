#include "vlm/vertex_table.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace vlm {
namespace {

// Keys compared by their bits, and by value (where -0 equals +0, so both hash as +0, and a
// NaN equals nothing).
struct BitHash {
  uint64_t operator()(float f) const { return std::bit_cast<uint32_t>(f) * 0x9E3779B97F4A7C15ull; }
};
struct BitEqual {
  bool operator()(float a, float b) const {
    return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b);
  }
};
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

}  // namespace
}  // namespace vlm
