// What a tool plug-in states about itself, read through the members the host calls.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <ostream>
#include <string>

#include "vlm/contracts/plugin.h"

namespace vlm::test {

struct Stated {
  std::string name, author;
  int32_t cost = 0, pluginClass = 0;
  // The validation record after Plugin_GetValidation, which the host passed as
  // {7, 8, -1, -1, -1, -1}: the first two must come back untouched.
  std::array<int32_t, 6> validation{};
  friend bool operator==(const Stated&, const Stated&) = default;
  friend std::ostream& operator<<(std::ostream& out, const Stated& s) {
    out << "{" << s.name << ", " << s.author << ", cost " << s.cost << ", class " << s.pluginClass
        << ", validation";
    for (int32_t v : s.validation)
      out << " " << v;
    return out << "}";
  }
};

// Reads every descriptive member twice (they are constants without side effects) and fails
// when the two readings differ or a member fails.
inline Stated ReadStated(Plugin& tool) {
  Stated first;
  for (int pass = 0; pass < 2; ++pass) {
    Stated s;
    ValidationRecord r{7, 8, -1, -1, -1, -1};
    EXPECT_EQ(tool.Plugin_Name(s.name), StatusOk);
    EXPECT_EQ(tool.Plugin_Author(s.author), StatusOk);
    EXPECT_EQ(tool.Plugin_Cost(s.cost), StatusOk);
    EXPECT_EQ(tool.Plugin_PluginClass(s.pluginClass), StatusOk);
    EXPECT_EQ(tool.Plugin_GetValidation(r), StatusOk);
    s.validation = {r.ComponentType,
                    r.SelectionType,
                    r.ValidMinComponents,
                    r.ValidMaxComponents,
                    r.ValidMinShapeSubSelection,
                    r.ValidMaxShapeSubSelection};
    if (pass == 0)
      first = s;
    else
      EXPECT_EQ(s, first) << "a second reading differs";
  }
  return first;
}

}  // namespace vlm::test
