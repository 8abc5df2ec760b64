// vlmhost loads Qt and Assimp only for the commands that need them (host/app/modules.h): the
// windows and the models' reader and writer are modules beside the program, loaded on first use.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "run/printing.h"
#include "support/model_triangles.h"
#include "support/temp_home.h"
#include "support/vlmhost.h"

namespace vlm {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

const std::string Example = std::string(VLM_TEST_EXAMPLES_DIR) + "/hangar.json";

// The libraries a run of the program and of the children it forks opened, as the dynamic
// loader reports them (one file per process), and the run's status and output.
struct Traced {
  test::ProgramResult result;
  std::string opened;
};

Traced Trace(const fs::path& scratch, const std::vector<std::string>& args,
             const std::string& env) {
  const fs::path logs = scratch / "ld";
  fs::remove_all(logs);
  fs::create_directories(logs);
  Traced t{test::Vlmhost(args, env + " LD_DEBUG=files LD_DEBUG_OUTPUT=" +
                                   host::ShellQuoted((logs / "ld").string()) + " "),
           ""};
  for (const auto& entry : fs::directory_iterator(logs)) {
    std::ifstream in(entry.path());
    std::ostringstream text;
    text << in.rdbuf();
    t.opened += text.str();
  }
  return t;
}

TEST(ProgramModules, EachCommandLoadsQtAndAssimpOnlyWhenItNeedsThem) {
  test::TempHome home;
  const std::string out = home.Path().string();
  ASSERT_EQ(test::Vlmhost({"register", VLM_TEST_PLUGIN_DIR "/libobverse.so",
                           VLM_TEST_PLUGIN_DIR "/libwingform.so"})
                .status,
            0);
  const struct {
    std::vector<std::string> args;
    std::string env;
    bool qt, assimp;
  } cases[] = {
    {{"--version"}, "", false, false},
    {{"list"}, "", false, false},
    {{"show", Example}, "", false, false},
    {{"run", "VLMPlugin9.Obverse", Example, "--select", "group:Hangar/Wing", "--ui", "input X",
      "-o", out + "/mirrored.json"},
     "",
     false,
     false},
    // The import reads in a child process, which loads Assimp; the parent does not need it.
    {{"import", (test::kModels / "OBJ/box.obj").string(), "-o", out + "/box.json"},
     "",
     false,
     true},
    {{"export-model", Example, "-o", out + "/hangar.obj"}, "", false, true},
#if VLM_TEST_GUI
    {{"screenshots", out + "/pictures", "wingform", "--one"},
     "QT_QPA_PLATFORM=offscreen",
     true,
     false},
#endif
  };
  for (const auto& c : cases) {
    const Traced t = Trace(home.Path(), c.args, c.env);
    const std::string& name = c.args.front();
    ASSERT_EQ(t.result.status, 0) << name << ": " << t.result.output;
    ASSERT_THAT(t.opened, HasSubstr("file=libvlmplatform.so")) << name << ": nothing traced";
    EXPECT_EQ(t.opened.find("file=libQt6Core") != std::string::npos, c.qt) << name;
    EXPECT_EQ(t.opened.find("file=libassimp") != std::string::npos, c.assimp) << name;
  }
  EXPECT_TRUE(fs::exists(out + "/box.json"));
  EXPECT_TRUE(fs::exists(out + "/hangar.obj"));
#if VLM_TEST_GUI
  EXPECT_TRUE(fs::exists(out + "/pictures/VLMPluginImportExport9.Wingform.png"));
#endif
}

// A program whose module is missing, or is not a library, says which file and why, fails, and
// writes nothing; the commands that need no module still run.
TEST(ProgramModules, AMissingOrBrokenModuleIsNamedAndNothingIsWritten) {
  test::TempHome home;
  const fs::path bin = home.Path() / "bin", modules = home.Path() / "lib/vlm";
  fs::create_directories(bin);
  fs::create_directories(modules);
  std::error_code linked;
  fs::create_hard_link(VLM_TEST_VLMHOST, bin / "vlmhost", linked);
  if (linked) fs::copy_file(VLM_TEST_VLMHOST, bin / "vlmhost");
  const std::string program = (bin / "vlmhost").string(), out = home.Path() / "out";
  const std::string box = (test::kModels / "OBJ/box.obj").string();
  const struct {
    std::string brokenModule;  // empty: none there
    std::vector<std::string> args;
    int status;
    std::string message;
  } cases[] = {
    {"", {"show", Example}, 0, "Hangar"},
    {"", {"export-model", Example, "-o", out + ".obj"}, 1, "vlmhost_models.so is not installed"},
    {"", {"import", box, "-o", out + ".json"}, 2, "vlmhost_models.so is not installed"},
    {"vlmhost_models.so",
     {"export-model", Example, "-o", out + ".obj"},
     1,
     "cannot load vlmhost's reader and writer of models (" +
         (modules / "vlmhost_models.so").string() +
         "): " + (modules / "vlmhost_models.so").string() + ": "},
#if VLM_TEST_GUI
    {"", {"screenshots", out, "VLMPlugin9.Obverse"}, 1, "vlmhost_windows.so is not installed"},
    {"vlmhost_windows.so",
     {"screenshots", out, "VLMPlugin9.Obverse"},
     1,
     "cannot load vlmhost's windows (" + (modules / "vlmhost_windows.so").string() + "): "},
#endif
  };
  ASSERT_EQ(test::Vlmhost({"register", VLM_TEST_PLUGIN_DIR "/libobverse.so"}).status, 0);
  for (const auto& c : cases) {
    fs::remove_all(modules);
    fs::create_directories(modules);
    if (!c.brokenModule.empty()) std::ofstream(modules / c.brokenModule) << "not a library\n";
    std::string command = "exec " + host::ShellQuoted(program);
    for (const std::string& a : c.args)
      command += " " + host::ShellQuoted(a);
    const test::ProgramResult r = test::Shell(command);
    EXPECT_EQ(r.status, c.status) << c.args.front() << ": " << r.output;
    EXPECT_THAT(r.output, HasSubstr(c.message)) << c.args.front();
    EXPECT_FALSE(fs::exists(out + ".obj") || fs::exists(out + ".json") || fs::exists(out));
  }
}

}  // namespace
}  // namespace vlm
