// The progress bar of the command line (host/cli/progress_bar).

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>

#include "cli/progress_bar.h"

namespace vlm {
namespace {

TEST(ProgressBar, ShowsOnlyWorkThatOutlastsItsDelayAndWipesItself) {
  const struct {
    int delayMs;
    std::string shown, afterwards;
  } cases[] = {{1000, "", ""},
               {0, "\rRead [###############               ] 50%",
                "\rRead [###############               ] 50%\r" + std::string(78, ' ') + "\r"}};
  for (const auto& c : cases) {
    std::ostringstream terminal;
    host::ProgressBar bar(terminal, std::chrono::milliseconds(c.delayMs));
    bar.Show("Read", 0.5);
    EXPECT_EQ(terminal.str(), c.shown);
    bar.Finish();
    EXPECT_EQ(terminal.str(), c.afterwards);
  }
}

}  // namespace
}  // namespace vlm
