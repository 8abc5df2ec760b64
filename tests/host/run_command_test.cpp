// vlmhost run end to end, as a user runs it: the scene written, message boxes, bad input,
// failures, the standard streams, fresh runs and the transcript.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>
#include <span>
#include <sstream>

#include "cli/run_command.h"
#include "exchange/model_import.h"
#include "plugins/tether_files.h"
#include "run/plugin_names.h"
#include "run/selections.h"
#include "scene/builder.h"
#include "scene/document.h"
#include "scene/scene_file.h"
#include "support/cli_fixture.h"
#include "support/obj8_checks.h"
#include "support/temp_home.h"
#include "support/vlmhost.h"
#include "vlm/error.h"
#include "vlm/files.h"

namespace vlm {
namespace {

using ::testing::ContainsRegex;
using ::testing::HasSubstr;
using ::testing::Not;

using test::Vlmhost;

const std::string Example = std::string(VLM_TEST_EXAMPLES_DIR) + "/hangar.json";

using test::Cli;
using test::CliOutputs;

TEST_F(Cli, RunMirrorsAndWritesTheScene) {
  auto r = Vlmhost({"run", "VLMPlugin9.Obverse", Example, "--select", "group:Hangar/Wing", "--ui",
                    "input z", "-o", Out("mirrored.json")});
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_THAT(r.output, HasSubstr("Mirror Direction X, Y or Z ?"));
  auto doc = host::LoadScene(Out("mirrored.json"));
  std::string problem;
  EXPECT_NE(doc->FindGroup("Hangar/WingZ/FlapZ", &problem), nullptr) << problem;
  EXPECT_NE(doc->FindMesh("Hangar/WingZ/Spar", &problem), nullptr) << problem;
}

TEST_F(Cli, MessageBoxesAreShownAndUnusedActionsReported) {
  auto r =
      Vlmhost({"run", "VLMPlugin9.Obverse", Example, "--select", "object:Hangar/Shell", "--select",
               "object:Hangar/Wing/Spar", "--ui", "click cmdOK", "-o", Out("same.json")});
  EXPECT_EQ(r.status, 3) << r.output;
  EXPECT_THAT(r.output, HasSubstr("Please select a single group or an object within a group."));
  EXPECT_THAT(r.output, HasSubstr("\"click cmdOK\" was not used"));
}

TEST_F(Cli, BadInputIsNamedAndNothingIsWritten) {
  std::ofstream(Out("broken.json")) << "{ \"format\": \"vellum-scene\", \"version\": 1,\n  oops }";
  std::ofstream(Out("bad-ui.txt")) << "# mirror in X\ninput X\nbogus\n";
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> mentions;
  };
  const std::vector<Case> cases = {
      {{"run", "VLMPlugin9.Obverse", Out("broken.json"), "-o", Out("x.json")},
       {"broken.json", "line 2"}},
      {{"run", "VLMPlugin9.Nothing", Example, "-o", Out("x.json")},
       {"VLMPlugin9.Nothing", "VLMPlugin9.Obverse"}},
      {{"run", "VLMPlugin9.Obverse", Example, "--select", "group:Hangar/Tail", "-o", Out("x.json")},
       {"Tail", "\"Wing\""}},
      {{"run", "VLMPlugin9.Obverse", Example, "--select", "faces:Hangar/Shell:0,99", "-o",
        Out("x.json")},
       {"99"}},
      {{"run", "VLMPlugin9.Obverse", Example, "--select", "thing:Hangar", "-o", Out("x.json")},
       {"unknown kind"}},
      {{"run", "VLMPlugin9.Obverse", Example, "--ui", "clik cmdOK", "-o", Out("x.json")},
       {"clik cmdOK"}},
      {{"show", Out("missing.json")}, {"missing.json"}},
      {{"run", "VLMPlugin9.Obverse", Example, "--ui-file", Out("bad-ui.txt"), "-o", Out("x.json")},
       {"bad-ui.txt:3: unknown action \"bogus\""}},
      // A script past its limit is refused, whether its size is known or it never ends.
      {{"run", "VLMPlugin9.Obverse", Example, "--ui-file", Out("large-ui.txt"), "-o",
        Out("x.json")},
       {"large-ui.txt: it is larger than 16 MiB"}},
      {{"run", "VLMPlugin9.Obverse", Example, "--ui-file", "/dev/zero", "-o", Out("x.json")},
       {"/dev/zero: it is larger than 16 MiB"}},
  };
  std::ofstream(Out("large-ui.txt")).close();
  std::filesystem::resize_file(Out("large-ui.txt"), (16 << 20) + 1);
  for (const Case& c : cases) {
    auto r = Vlmhost(c.args);
    EXPECT_EQ(r.status, 2) << r.output;
    for (const auto& m : c.mentions)
      EXPECT_THAT(r.output, HasSubstr(m)) << r.output;
    EXPECT_FALSE(std::filesystem::exists(Out("x.json"))) << r.output;
  }
}

TEST_F(Cli, FailedRunExitsWithTheStatusAndWritesNothing) {
  // The root group has no parent to put a copy beside: the host refuses.
  std::ofstream(Out("root.json")) << R"({"format": "vellum-scene", "version": 1,
    "root": {"groups": [{"name": "A"}]}, "selection": {"groups": [""]}})";
  auto r = Vlmhost(
      {"run", "VLMPlugin9.Obverse", Out("root.json"), "--ui", "input X", "-o", Out("x.json")});
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_THAT(r.output, HasSubstr("0x800A005B"));
  EXPECT_FALSE(std::filesystem::exists(Out("x.json")));
}

// Input that never ends stops at the limit or at the memory the process may have, with a
// message naming it: never an abort. (The address sanitizer needs more memory than the limit.)
TEST_F(Cli, EndlessInputEndsInAMessage) {
#ifndef __SANITIZE_ADDRESS__
  const std::string limit = "ulimit -v 400000; ";
  struct Case {
    std::vector<std::string> args;
    std::string input;
    std::string message;
  };
  const Case cases[] = {
      {{"show", "/dev/zero"}, "", "error: cannot read /dev/zero: "},
      {{"show", "-"}, " < /dev/zero", "error: cannot read standard input: "},
      {{"run", "VLMPlugin9.Obverse", "-", "--ui", "input X", "-o", Out("x.json")},
       " < /dev/zero",
       "error: cannot read standard input: "},
      // Read whole, but too large a tree to build.
      {{"show", Out("wide.json")}, "", "error: out of memory"},
  };
  std::string zeros(30'000'001, ',');
  for (size_t i = 0; i < zeros.size(); i += 2)
    zeros[i] = '0';
  std::ofstream(Out("wide.json")) << R"({"format": "vellum-scene", "version": 1, "root": {"x": [)"
                                  << zeros << "]}}";
  for (const Case& c : cases) {
    auto r = Vlmhost(c.args, limit, c.input + " 2>&1");
    EXPECT_EQ(r.status, 2) << r.output;
    EXPECT_THAT(r.output, HasSubstr(c.message));
  }
  EXPECT_FALSE(std::filesystem::exists(Out("x.json")));
#endif
}

// Names and text from the input reach the terminal with their control characters escaped,
// in what show prints and in every message.
TEST_F(Cli, ControlCharactersFromTheInputAreEscaped) {
  std::ofstream(Out("esc.json")) << R"({"format": "vellum-scene", "version": 1, "root":
      {"groups": [{"name": "Red\u001b[31m\u009b2J", "objects": [{"name": "two\nlines"}]}]}})";
  std::ofstream(Out("bad.json")) << R"({"format": "vellum-scene", "version": 1, "root":
      {"x\u001b]0;t\u0007": 1}})";
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> shown;
  };
  const Case cases[] = {
      {{"show", Out("esc.json")},
       {"group Red\\u001b[31m\\u009b2J at", "object two\\u000alines: 0 vertices"}},
      {{"run", "VLMPlugin9.Obverse", Out("esc.json"), "--select", "group:Blue\x1b[2J"},
       {"Blue\\u001b[2J", "\"Red\\u001b\\[31m\\u009b2J\""}},
      {{"show", Out("bad.json")}, {"unknown key \"x\\u001b]0;t\\u0007\""}},
      {{"show", Out("no\x1b[2J\xff.json")}, {"no\\u001b[2J\\xff.json"}},
  };
  for (const Case& c : cases) {
    auto r = Vlmhost(c.args);
    for (const std::string& shown : c.shown)
      EXPECT_THAT(r.output, HasSubstr(shown)) << r.output;
    EXPECT_EQ(r.output.find_first_of("\x1b\x07\r\xff"), std::string::npos) << r.output;
    EXPECT_THAT(r.output, Not(HasSubstr("\xc2\x9b")));
  }
}

#if !VLM_TEST_GUI
// A vlmhost built without windows says so for each command that needs them, and writes nothing.
TEST_F(Cli, WithoutWindowsTheWindowedCommandsStop) {
  const std::vector<std::vector<std::string>> commands = {
      {"run", "VLMPlugin9.Obverse", Example, "--gui", "-o", Out("gui.json")},
      {"screenshots", Out("pictures")},
  };
  for (const auto& args : commands) {
    auto r = Vlmhost(args);
    EXPECT_EQ(r.status, 2) << args[0] << ": " << r.output;
    EXPECT_THAT(r.output, HasSubstr("built without windows")) << args[0];
  }
  EXPECT_FALSE(std::filesystem::exists(Out("gui.json")));
  EXPECT_FALSE(std::filesystem::exists(Out("pictures")));
}
#endif

TEST_F(Cli, SavePicturesWritesEachDrawingAreaShown) {
  auto reg = Vlmhost({"register", std::string(VLM_TEST_PLUGIN_DIR) + "/libstairwright.so"});
  ASSERT_EQ(reg.status, 0) << reg.output;
  // The step preview as the dialog closed, after the new height was entered.
  auto r = Vlmhost({"run", "VLMPlugin9.Stairwright", Example, "--ui", "txt(0)=3; click OKButton",
                    "--save-pictures", Out("pictures"), "-o", Out("steps.json")});
  ASSERT_EQ(r.status, 0) << r.output;
  const auto svg = Out("pictures") + "/frmStep.picBuf.svg";
  EXPECT_THAT(r.output, HasSubstr("wrote " + svg));
  std::ifstream in(svg);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_THAT(text, HasSubstr("<svg"));
  // The image, its background twice (drawn, then cleared), the outline, eight boards.
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1 + 2 + 4 + 8 + 1);

  // Nothing is written when the run fails.
  r = Vlmhost({"run", "VLMPlugin9.Stairwright", Example, "--ui", "txt(0)=3; click Nothing",
               "--save-pictures", Out("failed")});
  EXPECT_EQ(r.status, 2) << r.output;
  EXPECT_FALSE(std::filesystem::exists(Out("failed")));
}

TEST_F(Cli, TheExamplePreviewIsWhatTheDemoSaves) {
  auto reg = Vlmhost({"register", std::string(VLM_TEST_PLUGIN_DIR) + "/libstairwright.so"});
  ASSERT_EQ(reg.status, 0) << reg.output;
  auto r = Vlmhost({"run", "VLMPlugin9.Stairwright", Example, "--ui",
                    "txt(0)=3; txt(5)=10; click OKButton", "--save-pictures", Out("pictures")});
  ASSERT_EQ(r.status, 0) << r.output;
  auto read = [](const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  };
  EXPECT_EQ(read(Out("pictures") + "/frmStep.picBuf.svg"),
            read(std::string(VLM_TEST_EXAMPLES_DIR) + "/stairwright-preview.svg"));
}

TEST_F(Cli, DashReadsAndWritesTheStandardStreams) {
  const std::string input = " < " + host::ShellQuoted(Example);
  auto r = Vlmhost({"show", "-"}, "", input + " 2>&1");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_THAT(r.output, HasSubstr("object Spar: 8 vertices"));

  // The scene alone on standard output, the transcript on standard error.
  const std::vector<std::string> mirror = {
      "run", "VLMPlugin9.Obverse", "-", "--ui", "input z", "-o", "-"};
  r = Vlmhost(mirror, "", input + " 2>/dev/null");
  ASSERT_EQ(r.status, 0) << r.output;
  auto doc = host::ParseScene(r.output, "standard output");
  std::string problem;
  EXPECT_NE(doc->FindGroup("Hangar/WingZ", &problem), nullptr) << problem;
  r = Vlmhost(mirror, "", input + " 2>&1 >/dev/null");
  EXPECT_THAT(r.output, HasSubstr("[input] Mirror Direction X, Y or Z ?"));
}

// The help says how a path writes the characters a name may hold.
TEST_F(Cli, TheHeapIsInHugePagesUnlessTheEnvironmentTurnsThemOff) {
  if (!VLM_TEST_HUGE_PAGES) GTEST_SKIP() << "built with the sanitizers' allocator";
  const struct {
    const char* environment;
    const char* thp;
  } cases[] = {
      {"MALLOC_CONF=stats_print:true ", "opt.thp: \"always\""},
      {"MALLOC_CONF=stats_print:true,thp:default ", "opt.thp: \"default\""},
  };
  for (const auto& c : cases) {
    const auto r = test::Vlmhost({"--version"}, c.environment);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_THAT(r.output, HasSubstr(c.thp)) << c.environment;
  }
}

// A face or polygon listed twice, on the command line or in the scene file, is worked on
// once, with a warning.
TEST_F(Cli, AFaceSelectedTwiceIsWorkedOnOnce) {
  for (const char* library : {"libflare.so", "libridgepull.so"}) {
    auto reg = Vlmhost({"register", std::string(VLM_TEST_PLUGIN_DIR) + "/" + library});
    ASSERT_EQ(reg.status, 0) << reg.output;
  }
  const std::string tile = std::string(VLM_TEST_EXAMPLES_DIR) + "/tile.json";
  auto twice = host::LoadScene(tile);
  twice->graphSelection.shapes = {{twice->FindMesh("Tile/Face", nullptr), {0, 0}}};
  host::SaveScene(*twice, Out("twice.json"));

  struct Case {
    std::vector<std::string> once, twice;
    std::string warning;
  };
  const std::vector<std::string> flare = {"run", "VLMOperation9.Flare", "--param", "Step=2"};
  const std::vector<std::string> ridgepull = {"run", "VLMPlugin9.Ridgepull", "--ui",
                                              "txt(0)=0.3; txt(1)=0.2; click OKButton"};
  const Case cases[] = {
      {{tile, "--select", "polygons:Tile/Face:0"},
       {tile, "--select", "polygons:Tile/Face:0,0"},
       "--select polygons:Tile/Face:0,0: 1 repeated index ignored (first: 0)"},
      {{tile, "--select", "polygons:Tile/Face:0"},
       {Out("twice.json")},
       Out("twice.json") + ": /selection/shapes/0/polygons: polygon 0 is listed more than once"},
      {{Example, "--select", "faces:Hangar/Shell:2"},
       {Example, "--select", "faces:Hangar/Shell:2,2"},
       "--select faces:Hangar/Shell:2,2: 1 repeated index ignored (first: 2)"},
  };
  for (const Case& c : cases) {
    const auto& run = c.once[0] == Example ? ridgepull : flare;
    auto args = [&](std::vector<std::string> scene, const std::string& out) {
      std::vector<std::string> all = run;
      all.insert(all.begin() + 2, scene.begin(), scene.end());
      all.insert(all.end(), {"-o", Out(out)});
      return all;
    };
    auto once = Vlmhost(args(c.once, "once.json"));
    ASSERT_EQ(once.status, 0) << once.output;
    auto r = Vlmhost(args(c.twice, "twice-out.json"));
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_THAT(r.output, HasSubstr(c.warning));
    // The same scene as when the face is listed once (compared whole, reported briefly).
    EXPECT_TRUE(host::SerializeScene(*host::LoadScene(Out("twice-out.json"))) ==
                host::SerializeScene(*host::LoadScene(Out("once.json"))))
        << c.warning;
  }
}

TEST_F(Cli, FreshRunsReadNoRememberedSettingsAndStoreNone) {
  ASSERT_EQ(Vlmhost({"register", std::string(VLM_TEST_PLUGIN_DIR) + "/libridgepull.so"}).status, 0);
  const std::string stored = R"({"VLMPlugin": {"Ridgepull": {"txt0": "oops"}}})";
  std::ofstream(home.Path() / "settings.json") << stored;
  const std::vector<std::string> args = {"run",           "VLMPlugin9.Ridgepull", Example,
                                         "--select",      "faces:Hangar/Shell:2", "--ui",
                                         "click OKButton"};
  auto fresh = args;
  fresh.push_back("--fresh");
  auto r = Vlmhost(fresh);
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_THAT(r.output, Not(HasSubstr("Type mismatch")));
  std::ifstream in(home.Path() / "settings.json");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), stored);
  // Without it the remembered value is what the dialog shows.
  EXPECT_THAT(Vlmhost(args).output, HasSubstr("Type mismatch"));
}

TEST_F(Cli, TheTranscriptShowsHowTheDialogReadEachValueTyped) {
  ASSERT_EQ(Vlmhost({"register", std::string(VLM_TEST_PLUGIN_DIR) + "/libridgepull.so"}).status, 0);
  auto r = Vlmhost({"run", "VLMPlugin9.Ridgepull", Example, "--fresh", "--select",
                    "faces:Hangar/Shell:2", "--ui",
                    "txt(1)=abc; txt(2)=5'6; chkInside=1; click OKButton"});
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_THAT(r.output, HasSubstr("[value] txt(1) = \"abc\" -> 0\n"));
  EXPECT_THAT(r.output, HasSubstr("[value] txt(2) = \"5'6\" -> 1.676\n"));
  EXPECT_THAT(r.output, HasSubstr("[value] chkInside = 1\n"));
  EXPECT_THAT(r.output, HasSubstr("txt(1) = \"abc\" is not a number"));
  EXPECT_THAT(r.output, Not(HasSubstr("txt(2) = \"5'6\" is not")));
}

}  // namespace
}  // namespace vlm
