// The bash completion: --select offers the paths of the scene or model on the line as `show`
// prints them, quoted so that the shell passes them on unchanged, and the rules after
// faces:PATH:; prep offers its steps and each step's options.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_home.h"
#include "support/vlmhost.h"
#include "vlm/files.h"

namespace vlm {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAreArray;

const std::string Completion =
    std::string(VLM_TEST_EXAMPLES_DIR) + "/../docs/completion/vlmhost.bash";

// What bash offers for the line typed so far, one reply a line.
std::vector<std::string> Offered(const std::string& line) {
  auto r =
      test::RunShell("bash -c " +
                     host::ShellQuoted("source " + host::ShellQuoted(Completion) +
                                       "; COMP_LINE=\"$1\"; COMP_POINT=${#COMP_LINE}; _vlmhost; "
                                       "printf '%s\\n' \"${COMPREPLY[@]}\"") +
                     " - " + host::ShellQuoted(line) + " 2>&1");
  std::vector<std::string> out;
  for (size_t at = 0, end; (end = r.output.find('\n', at)) != std::string::npos; at = end + 1)
    if (end > at) out.push_back(r.output.substr(at, end - at));
  return out;
}

TEST(Completion, SelectOffersQuotedPathsAndTheRulesOfFaces) {
  test::TempHome home;
  const std::string scene = (home.Path() / "ifc.json").string();
  WriteFileAtomically(scene, R"({"format": "vellum-scene", "version": 1, "root": {"groups": [
      {"name": "Model", "groups": [{"name": "Wall$1 a", "objects": [{"name": "$HOME"}]}]}]}})");
  fs::copy_file(std::string(VLM_TEST_DATA_DIR) + "/arrow.obj", home.Path() / "arrow.obj");
  fs::copy_file(std::string(VLM_TEST_DATA_DIR) + "/arrow.mtl", home.Path() / "arrow.mtl");
  const std::string run = std::string(VLM_TEST_VLMHOST) + " run obverse " + scene + " --select ";
  const struct {
    std::string line;
    std::vector<std::string> offered;
  } cases[] = {
      {run + "group:Model/W", {"Model/Wall\\$1\\ a"}},
      {run + "object:Mo", {"Model/Wall\\$1\\ a/\\$HOME"}},
      {run + "shape:Model/", {"Model/Wall\\$1\\ a/\\$HOME"}},
      {run + "node:Model/", {"Model/Wall\\$1\\ a"}},
      {run + "faces:Model/W", {"Model/Wall\\$1\\ a:", "Model/Wall\\$1\\ a/\\$HOME:"}},
      {run + "faces:Model/Wall\\$1\\ a/\\$HOME:",
       {"facing=+x", "facing=-x", "facing=+y", "facing=-y", "facing=+z", "facing=-z",
        "material=", "name=", "box=", "all"}},
      {run + "faces:Model:facing=+y&m", {"material="}},
      {run + "polygons:Model:fac",
       {"facing=+x", "facing=-x", "facing=+y", "facing=-y", "facing=+z", "facing=-z"}},
      // prep: its steps, then the scene after the step, with a step's valued options counted.
      {std::string(VLM_TEST_VLMHOST) + " prep ",
       {"transform", "materials", "rename", "shorten", "flatten", "merge", "split", "clean",
        "normals", "lod"}},
      {std::string(VLM_TEST_VLMHOST) + " prep transform --up-axis z " + scene +
           " --select group:Model/W",
       {"Model/Wall\\$1\\ a"}},
      {std::string(VLM_TEST_VLMHOST) + " prep lod " + scene + " --l", {"--levels"}},
      // A model on the line is read as `show` reads it.
      {std::string(VLM_TEST_VLMHOST) + " run wingform " + (home.Path() / "arrow.obj").string() +
           " --select object:",
       {"arrow/Arrow/Arrow"}},
  };
  for (const auto& c : cases)
    EXPECT_THAT(Offered(c.line), ElementsAreArray(c.offered)) << c.line;
}

}  // namespace
}  // namespace vlm
