// Compares two points or directions component by component.
#pragma once

#include <gtest/gtest.h>

#include <string_view>

#include "vlm/math.h"

namespace vlm::test {

// Each component of `actual` within `tolerance` of `expected`; `where` names the point in a
// failure message.
inline void ExpectNear(Vec3 actual, Vec3 expected, std::string_view where = {},
                       float tolerance = 1e-5f) {
  EXPECT_NEAR(actual.x, expected.x, tolerance) << where;
  EXPECT_NEAR(actual.y, expected.y, tolerance) << where;
  EXPECT_NEAR(actual.z, expected.z, tolerance) << where;
}

}  // namespace vlm::test
