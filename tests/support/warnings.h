// The warnings a test provokes, and what an export reports of the textures it names.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vlm/named_files.h"
#include "vlm/warnings.h"

namespace vlm::test {

// Collects every warning given while it lives.
class CollectedWarnings {
 public:
  CollectedWarnings() {
    SetWarningSink([this](const std::string& w) { list.push_back(w); });
  }
  ~CollectedWarnings() { SetWarningSink(nullptr); }
  CollectedWarnings(const CollectedWarnings&) = delete;
  CollectedWarnings& operator=(const CollectedWarnings&) = delete;

  std::vector<std::string> list;
};

// An export warned once with `warning` (not at all when it is empty) and, when it copies
// textures, noted the one texture `source` to be copied to `target`.
inline void ExpectTextureReport(const std::vector<std::string>& warnings,
                                const std::string& warning, bool copy, const std::string& source,
                                const std::string& target) {
  using ::testing::ElementsAre;
  using ::testing::HasSubstr;
  using ::testing::IsEmpty;
  if (warning.empty()) {
    EXPECT_THAT(warnings, IsEmpty()) << source;
  } else {
    EXPECT_THAT(warnings, ElementsAre(HasSubstr(warning))) << source;
  }
  const auto noted = NamedFiles();
  ASSERT_EQ(noted.size(), copy ? 1u : 0u) << source;
  if (copy) {
    EXPECT_EQ(noted[0].source, source);
    EXPECT_EQ(noted[0].target, target);
  }
}

}  // namespace vlm::test
