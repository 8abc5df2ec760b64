// vlmhost end to end: the program as a user runs it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>

#include "plugins/tether_files.h"
#include "scene/document.h"
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

// Motive gives two sibling groups one name and a third a name with a slash: the scene is
// saved, its selection reads back, and each group can be selected by its path.
TEST_F(Cli, RenamedGroupsOfAnyNameAreSavedAndSelectable) {
  test::UseExamples(home, "libmotive.so");
  auto r = Vlmhost({"run", "VLMPlugin9.Motive", Example, "--select", "node:Hangar/Wing", "--select",
                    "node:Hangar/Door", "--select", "node:Hangar/Sign", "--ui",
                    "cmbAnim=gear; txtName=x; click OKButton; cmbAnim=gear; txtName=x; "
                    "click OKButton; cmbAnim=gear; txtName=a/b; click OKButton",
                    "-o", Out("renamed.json")});
  ASSERT_EQ(r.status, 0) << r.output;
  auto doc = host::LoadScene(Out("renamed.json"));
  std::vector<std::string> nodes;
  for (const host::HostNode* n : doc->graphSelection.nodes)
    nodes.push_back(n->name + " " + n->Path());
  EXPECT_THAT(nodes, ::testing::ElementsAre("gear_x Hangar/gear_x", "gear_x Hangar/gear_x[2]",
                                            "gear_a/b Hangar/gear_a\\/b"));
  EXPECT_EQ(doc->graphSelection.nodes[1]->meshes.at(0)->name, "Panel");  // the door

  auto shown = Vlmhost({"show", Out("renamed.json")});
  EXPECT_THAT(shown.output, HasSubstr("node:Hangar/gear_x[2]\n"));
  EXPECT_THAT(shown.output, HasSubstr("node:Hangar/gear_a\\/b\n"));

  // Obverse mirrors the group selected: the door, then the sign.
  for (auto [select, mirrored] : {std::pair{"group:Hangar/gear_x[2]", "Hangar/gear_xZ/Panel"},
                                  {"group:Hangar/gear_a\\/b", "Hangar/gear_a\\/bZ/Board"}}) {
    r = Vlmhost({"run", "VLMPlugin9.Obverse", Out("renamed.json"), "--select", select, "--ui",
                 "input z", "-o", Out("mirrored.json")});
    ASSERT_EQ(r.status, 0) << r.output;
    std::string problem;
    EXPECT_NE(host::LoadScene(Out("mirrored.json"))->FindMesh(mirrored, &problem), nullptr)
        << select << ": " << problem;
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
       "selection \"polygons:Tile/Face:0,0\": polygon 0 is listed more than once"},
      {{tile, "--select", "polygons:Tile/Face:0"},
       {Out("twice.json")},
       Out("twice.json") + ": /selection/shapes/0/polygons: polygon 0 is listed more than once"},
      {{Example, "--select", "faces:Hangar/Shell:2"},
       {Example, "--select", "faces:Hangar/Shell:2,2"},
       "selection \"faces:Hangar/Shell:2,2\": face 2 is listed more than once"},
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

}  // namespace
}  // namespace vlm
