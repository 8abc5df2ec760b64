// vlmhost register: without arguments it takes the plug-ins beside the program itself,
// whatever folder it is started from and however it was found.
#include "cli/register_commands.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_home.h"
#include "support/vlmhost.h"
#include "vlm/files.h"

namespace vlm::host {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

TEST(RegisterCommand, FindsThePlugInsInstalledOrBuiltBesideTheProgram) {
  const struct {
    std::vector<std::string> files;  // in a scratch tree; the program is bin/vlmhost
    std::vector<std::string> found;
  } cases[] = {
      {{"lib/vlm/plugins/b.so", "lib/vlm/plugins/a.so", "lib/vlm/plugins/notes.txt"},
       {"lib/vlm/plugins/a.so", "lib/vlm/plugins/b.so"}},
      {{"plugins/wingform.so", "plugins/libvlmplatform.so.1"}, {"plugins/wingform.so"}},
      // Installed ones first; a folder of that name is no library.
      {{"lib/vlm/plugins/a.so", "plugins/b.so"}, {"lib/vlm/plugins/a.so"}},
      {{"plugins/dir.so/x", "bin/c.so"}, {}},
  };
  for (const auto& c : cases) {
    test::TempHome tree;
    fs::create_directories(tree.Path() / "bin");
    for (const std::string& file : c.files) {
      fs::create_directories((tree.Path() / file).parent_path());
      WriteFileAtomically(tree.Path() / file, "");
    }
    std::vector<fs::path> want, got;
    for (const std::string& file : c.found)
      want.push_back(tree.Path() / file);
    for (const fs::path& file :
         PluginsBeside(tree.Path() / "bin" / "vlmhost", "../lib/vlm/plugins"))
      got.push_back(file.lexically_normal());
    EXPECT_THAT(got, ElementsAreArray(want)) << c.files[0];
  }
  EXPECT_EQ(ThisProgram().filename(), "vlm_tests");
  EXPECT_TRUE(ThisProgram().is_absolute());
}

// Found through PATH and started in another folder, vlmhost is known by its name alone.
TEST(RegisterCommand, RegistersThePlugInsBesideAProgramFoundThroughPath) {
  test::TempHome home;
  const fs::path bin = fs::path(VLM_TEST_VLMHOST).parent_path();
  auto r = test::Shell("cd " + host::ShellQuoted(home.Path().string()) + " && PATH=" +
                       host::ShellQuoted(bin.string()) + ":\"$PATH\" vlmhost register");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_THAT(r.output,
              HasSubstr("registered VLMPlugin9.Obverse (" VLM_TEST_PLUGIN_DIR "/libobverse.so)"));
}

}  // namespace
}  // namespace vlm::host
