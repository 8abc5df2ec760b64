// vlmhost end to end: the program as a user runs it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>

#include "scene/scene_file.h"
#include "support/temp_home.h"
#include "support/vlmhost.h"

namespace vlm {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

using test::Vlmhost;

const std::string Example = std::string(VLM_TEST_EXAMPLES_DIR) + "/hangar.json";

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    auto r = Vlmhost({"register", std::string(VLM_TEST_PLUGIN_DIR) + "/libobverse.so"});
    ASSERT_EQ(r.status, 0) << r.output;
  }
  std::string Out(const std::string& name) const { return (home.Path() / name).string(); }
  test::TempHome home;
};

TEST_F(Cli, ListShowsObverseWithItsValues) {
  auto r = Vlmhost({"list"});
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_THAT(r.output, HasSubstr("VLMPlugin9.Obverse"));
  EXPECT_THAT(r.output, HasSubstr("name: \"Mirror Select Group and hierarchy\""));
  EXPECT_THAT(r.output, HasSubstr("author: \"Ardo Venmark\""));
  EXPECT_THAT(r.output, HasSubstr("validation: not written"));
}

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
  EXPECT_EQ(r.status, 0) << r.output;
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
  };
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

TEST_F(Cli, ShowPrintsTheTree) {
  auto r = Vlmhost({"show", Example});
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_THAT(r.output, HasSubstr("group Wing"));
  EXPECT_THAT(r.output, HasSubstr("object Spar: 8 vertices, 6 faces, materials Paint"));
  EXPECT_THAT(r.output, HasSubstr("group:Hangar/Wing"));
  EXPECT_THAT(r.output, Not(HasSubstr("error")));
}

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

TEST_F(Cli, DescribeListsEveryFormAndControlAsAFirstRunShowsThem) {
  struct Case {
    const char* library;
    const char* progId;
    std::vector<std::string> mentions;
  };
  const std::vector<Case> cases = {
      {"libglazier.so",
       "VLMPlugin9.Glazier",
       {"form frmDialog \"Multi-Material Edit\"", "form frmOptions \"FSX Extended Parameters\"",
        "tbsOptions (tab strip)", "\"Other Texture\", \"Fresnel Ramp\"",
        "chkBloom(1) (check box) \"Bloom material by copying\" tab \"Bloom\" = 0",
        "sRefScale (slider) tip \"Mulitplier for enviroment map power\" tab \"Special "
        "Functionality\" = 30 (0..100)"}},
      {"libridgepull.so", "VLMPlugin9.Ridgepull", {"txt(0) (text box) = \"0.1\"", "chkInside"}},
      {"libtether.so", "VLMPlugin9.Tether", {"txtGuid (text box) tab \"Library Object\""}},
      {"libwingform.so",
       "VLMPluginImportExport9.Wingform",
       {"form frmOptions \"Export Options\"", "optTex(0) (option button) \"Keep Same Extension\""}},
      {"libobverse.so", "VLMPlugin9.Obverse", {"VLMPlugin9.Obverse has no forms"}},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(Vlmhost({"register", std::string(VLM_TEST_PLUGIN_DIR) + "/" + c.library}).status, 0);
    auto r = Vlmhost({"describe", c.progId});
    EXPECT_EQ(r.status, 0) << r.output;
    for (const auto& m : c.mentions)
      EXPECT_THAT(r.output, HasSubstr(m)) << r.output;
  }
  // The same as JSON: Glazier's options dialog has about ninety controls on eleven tabs.
  auto r = Vlmhost({"describe", "VLMPlugin9.Glazier", "--json"});
  ASSERT_EQ(r.status, 0) << r.output;
  const auto json = nlohmann::json::parse(r.output);
  const auto& options = json["forms"][1];
  EXPECT_EQ(options["name"], "frmOptions");
  EXPECT_GE(options["controls"].size(), 85u);
  EXPECT_LE(options["controls"].size(), 100u);
  EXPECT_EQ(options["controls"][0]["name"], "tbsOptions");
  EXPECT_EQ(options["controls"][0]["entries"].size(), 11u);
  EXPECT_EQ(Vlmhost({"describe", "VLMPlugin9.Nothing"}).status, 2);
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
