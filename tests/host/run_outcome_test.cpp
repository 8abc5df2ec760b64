// What a run leaves behind as its outcome says: settings only when it succeeded, every
// scripted click and value in its transcript, and a model taken wherever a scene is.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli/run_command.h"
#include "support/cli_fixture.h"
#include "support/vlmhost.h"
#include "vlm/files.h"

namespace vlm {
namespace {

namespace fs = std::filesystem;
using test::Vlmhost;
using ::testing::HasSubstr;
using ::testing::Not;

const std::string Example = std::string(VLM_TEST_EXAMPLES_DIR) + "/hangar.json";

// Wingform and Ridgepull (with Trackline, Flare and Obverse) registered in a home of the test's
// own.
using RunOutcome = test::CliOutputs;

// The first run ever that is refused, fails or is cancelled remembers nothing; the first that
// succeeds remembers its dialog.
TEST_F(RunOutcome, OnlyARunThatSucceededRemembersItsSettings) {
  std::ofstream(Out("empty.json"))
      << R"({"format": "vellum-scene", "version": 1, "root": {"groups": [{"name": "main"}]}})";
  struct Case {
    std::vector<std::string> args;
    int status;
    bool remembers;
  };
  const Case cases[] = {
      // Nothing to export: refused (3).
      {{"run", "wingform", Out("empty.json"), "-o", Out("empty.obj")}, 3, false},
      // Cancelled: the scene stays as it was, and so do the settings.
      {{"run", "ridgepull", Example, "--select", "faces:Hangar/Shell:2", "--ui",
        "txt(0)=0.3; click CancelButton"},
       0,
       false},
      {{"run", "ridgepull", Example, "--select", "faces:Hangar/Shell:2", "--ui",
        "txt(0)=0.3; click OKButton", "-o", Out("moulding.json")},
       0,
       true},
  };
  for (const Case& c : cases) {
    auto r = Vlmhost(c.args);
    EXPECT_EQ(r.status, c.status) << r.output;
    EXPECT_EQ(fs::exists(home.Path() / "settings.json"), c.remembers) << r.output;
  }
}

// Every click and every value the script gave is echoed, also a value the field already held.
TEST_F(RunOutcome, TheTranscriptEchoesEveryClickAndScriptedValue) {
  auto r = Vlmhost({"run", "ridgepull", Example, "--select", "faces:Hangar/Shell:2", "--fresh",
                    "--ui", "txt(0)=0.1; click OKButton", "-o", Out("m.json")});
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_THAT(r.output, HasSubstr("[value] txt(0) = "));
  EXPECT_THAT(r.output, HasSubstr("[note] clicked OKButton"));
}

// A model is taken wherever a scene is; an export of it with no selection takes its top group;
// an import says in one line what it made and writes texture names that lead to the files.
TEST_F(RunOutcome, AModelIsTakenWhereverASceneIs) {
  const fs::path models = home.Path() / "models";
  fs::create_directories(models);
  fs::create_directories(home.Path() / "out");
  for (const char* name : {"arrow.obj", "arrow.mtl"})
    fs::copy_file(fs::path(VLM_TEST_DATA_DIR) / name, models / name);
  // A PNG's signature and header: enough for the texture to be found and sized.
  WriteFileAtomically(
      models / "arrow_F.png",
      std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x10\0\0\0\x10\x08\x06\0\0\0", 29));
  const std::string model = (models / "arrow.obj").string();
  auto shown = Vlmhost({"show", model});
  EXPECT_EQ(shown.status, 0) << shown.output;
  EXPECT_THAT(shown.output, HasSubstr("arrow"));
  auto checked = Vlmhost({"validate", model, "--for", "obj8"});
  EXPECT_THAT(checked.output, HasSubstr("for obj8")) << checked.output;
  auto exported = Vlmhost({"run", "wingform", model, "-o", Out("out/arrow.obj")});
  EXPECT_EQ(exported.status, 0) << exported.output;
  EXPECT_TRUE(fs::exists(home.Path() / "out" / "arrow.obj")) << exported.output;

  auto imported = Vlmhost({"import", model, "-o", Out("out/arrow.json")});
  ASSERT_EQ(imported.status, 0) << imported.output;
  EXPECT_THAT(imported.output,
              HasSubstr("imported 2 groups, 1 object, 3 triangles; textures: 1 found, 0 missing; "
                        "bounds "));
  EXPECT_THAT(ReadFile(home.Path() / "out" / "arrow.json"), HasSubstr("\"../models/arrow_F.png\""));
  // The scene written elsewhere again leads to the same file.
  auto moved = Vlmhost({"run", "wingform", Out("out/arrow.json"), "--select", "group:arrow", "-o",
                        Out("arrow.obj"), "--scene-out", Out("models/again.json")});
  ASSERT_EQ(moved.status, 0) << moved.output;
  EXPECT_THAT(ReadFile(models / "again.json"), HasSubstr("\"arrow_F.png\""));
}

// Each command's --help ends with its own example and exit statuses, and so does each step of
// prep, which would otherwise keep the program's.
TEST_F(RunOutcome, EveryCommandsHelpHasItsOwnEpilogue) {
  for (const std::string command :
       {"run", "import", "batch", "validate", "inspect", "show", "prep", "prep lod"}) {
    std::istringstream words(command);
    std::vector<std::string> args{std::istream_iterator<std::string>(words), {}};
    args.push_back("--help");
    auto r = Vlmhost(args);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_THAT(r.output, HasSubstr("Example: vlmhost " + command)) << command;
    EXPECT_THAT(r.output, HasSubstr("Exit status")) << command;
  }
}

// A request prints the command that makes the same run: run by a shell, it writes the same
// file, whatever the names hold; and a run's report names that command.
TEST_F(RunOutcome, ARequestPrintsTheCommandThatMakesTheSameRun) {
  // One date line for the export in this process and the one in the shell, a second apart or
  // not.
  setenv("SOURCE_DATE_EPOCH", "1781305028", 1);
  const std::string odd = Out("it's a hangar.json");
  fs::copy_file(Example, odd);
  auto request = [&](std::string progId, std::string scene, std::vector<std::string> selections,
                     std::string output) {
    host::RunRequest r;
    r.progId = std::move(progId);
    r.scene = std::move(scene);
    r.selections = std::move(selections);
    r.output = Out(output);
    r.fresh = true;
    return r;
  };
  std::vector<host::RunRequest> cases = {
      request("VLMPlugin9.Obverse", odd, {"group:Hangar/Wing"}, "mirrored $HOME.json"),
      request("VLMOperation9.Flare", std::string(VLM_TEST_EXAMPLES_DIR) + "/tile.json",
              {"polygons:Tile/Face:0"}, "flared.json"),
      request("VLMPluginImportExport9.Wingform", Example, {"group:Hangar"}, "lod.obj"),
  };
  cases[0].ui = "input X";
  cases[1].params = {"Extrude=1", "Step=5"};
  cases[2].ui = "optLOD(1)=1; txtDist=3000; click cmdOK; click cmdCancel";
  cases[2].copyTextures = true;
  for (host::RunRequest& r : cases) {
    host::RunCommandLine line;
    line.request = r;
    line.quiet = true;
    std::ostringstream out, err;
    ASSERT_EQ(host::RunCommand(line, out, err), 0) << r.progId << ": " << err.str();
    const std::string inProcess = ReadFile(*r.output);
    fs::remove(*r.output);
    r.reportFile = Out("report.json");
    const std::string command = r.CommandLine();
    ASSERT_TRUE(command.starts_with("vlmhost run ")) << command;
    auto shell = test::Shell(host::ShellQuoted(VLM_TEST_VLMHOST) + command.substr(7));
    ASSERT_EQ(shell.status, 0) << command << "\n" << shell.output;
    EXPECT_TRUE(ReadFile(*r.output) == inProcess) << command << ": the files differ";
    EXPECT_THAT(ReadFile(Out("report.json")), HasSubstr(nlohmann::json(command).dump()));
  }
}

}  // namespace
}  // namespace vlm
