// vlmhost end to end: the program as a user runs it.
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

TEST_F(Cli, ListShowsObverseWithItsValues) {
  auto r = Vlmhost({"list"});
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_THAT(r.output, HasSubstr("VLMPlugin9.Obverse"));
  EXPECT_THAT(r.output, HasSubstr("name: \"Mirror Select Group and hierarchy\""));
  EXPECT_THAT(r.output, HasSubstr("author: \"Ardo Venmark\""));
  EXPECT_THAT(r.output, HasSubstr("validation: not written"));
  EXPECT_THAT(r.output,
              HasSubstr("VLMPlugin9.Obverse\n  short name: obverse\n  works on: one group "
                        "(group:PATH)"));
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

TEST_F(Cli, ShowPrintsTheTree) {
  auto r = Vlmhost({"show", Example});
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_THAT(r.output, HasSubstr("group Wing"));
  EXPECT_THAT(r.output, HasSubstr("object Spar: 8 vertices, 6 faces, materials Paint"));
  EXPECT_THAT(r.output, HasSubstr("group:Hangar/Wing"));
  EXPECT_THAT(r.output, Not(HasSubstr("error")));
  // The roof: the hangar's shell, and its face that looks up.
  EXPECT_THAT(r.output, HasSubstr("object Shell: 8 vertices, 6 faces, materials Aluminium; path "
                                  "Hangar/Shell\n"));
  r = Vlmhost({"show", "--faces", "Hangar/Shell", Example});
  EXPECT_THAT(r.output, HasSubstr("face 2: 4 corners, material Aluminium, centre (0, 4, 0), "
                                  "normal (0, 1, 0)\n"));
  r = Vlmhost({"show", "--faces", "Hangar/Roof", Example});
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.output,
              HasSubstr("no object \"Roof\" in group \"Hangar\"; its objects: \"Shell\""));
}

// Every path show prints, as JSON or pasted from the tree into a shell, selects exactly its
// item, whatever the item is named.
TEST_F(Cli, ShownPathsSelectExactlyTheirItem) {
  host::HostDocument doc;
  host::HostNode& signs = host::AddGroup(doc.Root(), "Signs");
  for (const char* name : {"In/Out", "C:\\Temp\\", "Door", "Door", "Door[2]", "Lamp[3]", "", "",
                           "Wing Tip", "it's", "$Ifc$3vB2YO$MBB6Q", "*"})
    host::AddBox(host::AddGroup(signs, name), "Panel", {}, {1, 1, 1});
  host::AddBox(signs, "Panel", {}, {1, 1, 1});
  host::AddBox(signs, "Panel", {}, {1, 1, 1});
  host::AddBox(doc.Root(), "", {}, {1, 1, 1});
  host::SaveScene(doc, Out("names.json"));
  auto loaded = host::LoadScene(Out("names.json"));

  auto r = Vlmhost({"show", "--json", Out("names.json")}, "", " 2>/dev/null");
  ASSERT_EQ(r.status, 0) << r.output;
  std::vector<std::string> paths;
  std::function<void(const nlohmann::json&, const host::HostNode&)> walk =
      [&](const nlohmann::json& group, const host::HostNode& node) {
        ASSERT_EQ(group["groups"].size(), node.children.size());
        ASSERT_EQ(group["objects"].size(), node.meshes.size());
        const std::string path = group["path"];
        host::ApplySelections(*loaded, {"group:" + path});
        EXPECT_EQ(loaded->scriptingSelection.groups,
                  std::vector<host::HostNode*>{const_cast<host::HostNode*>(&node)})
            << path;
        if (node.parent) paths.push_back(path);
        for (size_t i = 0; i < node.meshes.size(); ++i) {
          const std::string object = group["objects"][i]["path"];
          host::ApplySelections(*loaded, {"object:" + object});
          ASSERT_EQ(loaded->scriptingSelection.objects.size(), 1u) << object;
          EXPECT_EQ(loaded->scriptingSelection.objects[0].mesh, node.meshes[i].get()) << object;
          paths.push_back(object);
        }
        for (size_t i = 0; i < node.children.size(); ++i)
          walk(group["groups"][i], *node.children[i]);
      };
  walk(nlohmann::json::parse(r.output)["root"], loaded->Root());
  EXPECT_EQ(paths.size(), 28u);  // Signs, its 12 groups, 15 objects

  // The tree's paths, given to a shell as printed, are the same words.
  auto tree = Vlmhost({"show", Out("names.json")});
  ASSERT_EQ(tree.status, 0) << tree.output;
  std::string script = "for p in";
  std::istringstream lines(tree.output);
  for (std::string line; std::getline(lines, line);)
    if (size_t at = line.find("; path "); at != std::string::npos)
      script += " " + line.substr(at + 7);
  FILE* shell = popen(
      ("sh -c " + test::ShellQuote(script + "; do printf '%s\\n' \"$p\"; done")).c_str(), "r");
  std::string words;
  for (int c; (c = fgetc(shell)) != EOF;)
    words += static_cast<char>(c);
  pclose(shell);
  std::sort(paths.begin(), paths.end());
  std::vector<std::string> said;
  std::istringstream split(words);
  for (std::string word; std::getline(split, word);)
    said.push_back(word);
  std::sort(said.begin(), said.end());
  EXPECT_EQ(said, paths);
}

// A face of the saved scene as the test works it out from the file's own numbers: each
// group's frame (its axes are forward, up and up x forward) applied from the innermost out.
struct FileFace {
  std::string path, material;
  int32_t index;
  std::array<double, 3> centre, normal;
};

std::vector<FileFace> FacesOfText(const std::string& text) {
  using Vec = std::array<double, 3>;
  using Frame = std::function<Vec(Vec)>;
  auto get = [](const nlohmann::json& j, const char* key, Vec fallback) {
    return j.contains(key) ? Vec{j[key][0], j[key][1], j[key][2]} : fallback;
  };
  std::vector<FileFace> out;
  std::function<void(const nlohmann::json&, const std::string&, const Frame&)> walk =
      [&](const nlohmann::json& group, const std::string& path, const Frame& toWorld) {
        std::map<std::string, int32_t> seen;
        for (const auto& child : group.value("groups", nlohmann::json::array())) {
          std::string name = child["name"];
          Vec p = get(child, "position", {0, 0, 0}), z = get(child, "forward", {0, 0, 1}),
              y = get(child, "up", {0, 1, 0});
          Vec x = {y[1] * z[2] - y[2] * z[1], y[2] * z[0] - y[0] * z[2], y[0] * z[1] - y[1] * z[0]};
          Frame frame = [=](Vec v) {
            Vec r;
            for (int i = 0; i < 3; ++i)
              r[i] = p[i] + v[0] * x[i] + v[1] * y[i] + v[2] * z[i];
            return toWorld(r);
          };
          walk(child, (path.empty() ? "" : path + "/") + host::PathSegment(name, ++seen[name]),
               frame);
        }
        seen.clear();
        for (const auto& object : group.value("objects", nlohmann::json::array())) {
          std::string name = object["name"];
          std::string objectPath =
              (path.empty() ? "" : path + "/") + host::PathSegment(name, ++seen[name]);
          int32_t index = 0;
          for (const auto& face : object.value("faces", nlohmann::json::array())) {
            std::vector<Vec> corners;
            for (const auto& point : face["points"]) {
              const auto& v = object["vertices"][point[0].get<size_t>()];
              corners.push_back(toWorld({v[0], v[1], v[2]}));
            }
            FileFace f{objectPath, face.value("material", ""), index++, {0, 0, 0}, {0, 0, 0}};
            for (const Vec& c : corners)
              for (int i = 0; i < 3; ++i)
                f.centre[i] += c[i] / static_cast<double>(corners.size());
            // The area vector of the fan from the first corner, made a unit.
            for (size_t k = 1; k + 1 < corners.size(); ++k) {
              Vec a, b;
              for (int i = 0; i < 3; ++i)
                a[i] = corners[k][i] - corners[0][i], b[i] = corners[k + 1][i] - corners[0][i];
              f.normal[0] += a[1] * b[2] - a[2] * b[1];
              f.normal[1] += a[2] * b[0] - a[0] * b[2];
              f.normal[2] += a[0] * b[1] - a[1] * b[0];
            }
            double length = std::hypot(f.normal[0], f.normal[1], f.normal[2]);
            for (double& n : f.normal)
              n = length > 0 ? n / length : 0;
            out.push_back(f);
          }
        }
      };
  walk(nlohmann::json::parse(text)["root"], "", [](Vec v) { return v; });
  return out;
}

// Rules select, in each object in index order, the faces the file's own numbers say pass.
TEST_F(Cli, RulesSelectTheFacesTheFileNumbersGive) {
  using Test = std::function<bool(const FileFace&)>;
  auto up = [](double degrees) {
    return [degrees](const FileFace& f) { return f.normal[1] >= std::cos(degrees * M_PI / 180); };
  };
  auto below = [](const std::string& scope) {
    return [scope](const FileFace& f) {
      return scope.empty() || f.path == scope || f.path.starts_with(scope + "/");
    };
  };
  struct Case {
    std::string selection;
    Test test;
  };
  auto hangar = host::LoadScene(Example);
  auto spider = host::ImportModel(std::string(VLM_TEST_MODELS_DIR) + "/OBJ/spider.obj").document;
  const std::string spiderMaterial = spider->Materials().at(1)->name;
  const Case hangarCases[] = {
      {"faces:Hangar/Shell:facing=+y",
       [](const FileFace& f) {
         return f.path == "Hangar/Shell" && f.index == 2;  // the roof, as show --faces says
       }},
      {"faces:Hangar:facing=+y", up(1)},
      {"faces:Hangar:facing=+y,within=40", up(40)},
      {"faces:Hangar/Wing:facing=-x,within=80",
       [&](const FileFace& f) {
         return below("Hangar/Wing")(f) && f.normal[0] <= -std::cos(80 * M_PI / 180);
       }},
      {"faces:Hangar:material=Glass", [](const FileFace& f) { return f.material == "Glass"; }},
      {"faces:Hangar:box=10,3.5,10,-10,5,-10&facing=+y",
       [&](const FileFace& f) { return up(1)(f) && f.centre[1] >= 3.5 && f.centre[1] <= 5; }},
      {"faces:Hangar/Fittings:all", below("Hangar/Fittings")},
  };
  const Case spiderCases[] = {
      {"faces::facing=-z,within=45",
       [](const FileFace& f) { return f.normal[2] <= -std::cos(45 * M_PI / 180); }},
      {"faces::material=" + spiderMaterial + "&facing=+y,within=60",
       [&](const FileFace& f) { return f.material == spiderMaterial && f.normal[1] >= 0.5; }},
      {"faces::box=-10,0,-10,10,100,10",
       [](const FileFace& f) {
         return std::abs(f.centre[0]) <= 10 && f.centre[1] >= 0 && std::abs(f.centre[2]) <= 10;
       }},
  };
  for (auto* doc : {hangar.get(), spider.get()}) {
    const std::vector<FileFace> faces = FacesOfText(host::SerializeScene(*doc));
    for (const Case& c : doc == hangar.get() ? std::span<const Case>(hangarCases)
                                             : std::span<const Case>(spiderCases)) {
      std::string scope = c.selection.substr(6, c.selection.find(':', 6) - 6);
      std::map<std::string, std::vector<int32_t>> want, got;
      for (const FileFace& f : faces)
        if (below(scope)(f) && c.test(f)) want[f.path].push_back(f.index);
      host::ApplySelections(*doc, {c.selection});
      for (const auto& entry : doc->scriptingSelection.objects)
        got[entry.mesh->Path()] = entry.faces;  // each object once, its faces in index order
      EXPECT_FALSE(want.empty()) << c.selection;
      EXPECT_EQ(got, want) << c.selection;
    }
  }

  // A rule that selects nothing is "nothing done", a rule that is wrong is bad input, and
  // each says which.
  struct Status {
    std::string selection;
    int status;
    std::string said;
  };
  const Status statuses[] = {
      {"faces:Hangar/Shell:facing=+y&material=Glass", 3,
       "nothing done: selection \"faces:Hangar/Shell:facing=+y&material=Glass\" selects no face"},
      {"faces:Hangar:facing=up", 2, "facing takes an axis"},
      {"faces:Hangar:facing=+y,within=200", 2, "within=200 is not an angle"},
      {"faces:Hangar:box=0,0,0,1,1", 2, "box takes six numbers"},
      {"faces:Hangar:box=0,0,0,1,1,x", 2, "\"x\" is not a number"},
      {"faces:Hangar:material=Steel", 2, "no material \"Steel\"; its materials: \"Aluminium\""},
      {"faces:Hangar:facing=+y&colour=red", 2, "unknown rule \"colour=red\""},
      {"faces:Hangar:facin=+y", 2, "\"facin=+y\" is neither indices"},
      {"faces:Hanger:all", 2, "no group \"Hanger\" in the root; its groups: \"Hangar\""},
  };
  for (const Status& c : statuses) {
    auto r = Vlmhost({"run", "obverse", Example, "--select", c.selection, "-o", Out("x.json")});
    EXPECT_EQ(r.status, c.status) << c.selection << ": " << r.output;
    EXPECT_THAT(r.output, HasSubstr(c.said)) << c.selection;
    EXPECT_FALSE(std::filesystem::exists(Out("x.json")));
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

TEST_F(CliOutputs, RefusalsAreNothingDoneAndWriteNothing) {
  const std::string noMain = Scene("no-main.json", R"([{"name": "A"}])");
  const std::string emptyMain = Scene("empty-main.json", R"([{"name": "Main"}])");
  struct Case {
    std::vector<std::string> args;
    std::string message;
    int status = 3;  // nothing done; 1 for an error the plug-in reported in its own box
  };
  const std::vector<Case> cases = {
      {{"VLMPlugin9.Obverse", Example, "--select", "object:Hangar/Shell", "--select",
        "object:Hangar/Wing/Spar", "-o", Out("x.json")},
       "Please select a single group or an object within a group."},
      {{Wingform, noMain, "-o", Out("x.obj"), "--scene-out", Out("x.json")},
       "Select a group to export or name one group 'Main'"},
      {{Wingform, emptyMain, "-o", Out("x.obj")}, "Nothing to Export"},
      {{Trackline, emptyMain, "-o", Out("x.igs")}, "Nothing to Export"},
      {{"VLMPlugin9.Obverse", Example, "--select", "group:Hangar/Wing", "--ui", "input Q", "-o",
        Out("x.json")},
       "Mirror Direction must be X, Y or Z."},
      {{"VLMPlugin9.Ridgepull", Example, "--fresh", "--select", "faces:Hangar/Shell:2", "--ui",
        "txt(1)=abc; enter", "-o", Out("x.json")},
       "error: VLMPlugin9.Ridgepull: error 13",
       1},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"run"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    auto r = Vlmhost(args, "", " 2>&1 >/dev/null");  // standard error only
    EXPECT_EQ(r.status, c.status) << r.output;
    EXPECT_THAT(r.output, HasSubstr((c.status == 3 ? "nothing done: " : "") + c.message));
    for (const char* file : {"x.json", "x.obj", "x.igs"})
      EXPECT_FALSE(std::filesystem::exists(Out(file))) << c.message;
  }
}

TEST_F(CliOutputs, OutputLocationsAreCheckedBeforeAnyDialog) {
  std::filesystem::create_directory(Out("folder"));
  const bool root = geteuid() == 0;  // permissions do not stop root; /sys does
  if (!root) {
    std::filesystem::create_directory(Out("locked"));
    std::filesystem::permissions(
        Out("locked"), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  }
  const std::string locked = root ? "/sys/x.json" : Out("locked") + "/x.json";
  const std::vector<std::string> obverse = {"run", "VLMPlugin9.Obverse", Example, "--ui",
                                            "input z"};
  const std::vector<std::string> wingform = {"run", Wingform, Example};
  struct Case {
    std::vector<std::string> base, args;
    std::string mention;
  };
  const std::vector<Case> cases = {
      {obverse, {"-o", Out("missing") + "/x.json"}, Out("missing") + " does not exist"},
      {obverse, {"-o", Out("folder")}, Out("folder") + ": it is a folder"},
      {obverse, {"-o", locked}, "cannot be written"},
      {obverse, {"--save-pictures", Out("missing") + "/pictures"}, Out("missing") + " does not"},
      {wingform, {"-o", Out("missing") + "/x.obj"}, Out("missing") + " does not exist"},
      {wingform, {"-o", Out("x.obj"), "--scene-out", Out("folder")}, "it is a folder"},
      {wingform, {"-o", "-"}, "give the export file with -o FILE"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.base;
    args.insert(args.end(), c.args.begin(), c.args.end());
    auto r = Vlmhost(args);
    EXPECT_EQ(r.status, 2) << r.output;
    EXPECT_THAT(r.output, HasSubstr(c.mention));
    EXPECT_THAT(r.output, Not(HasSubstr("[dialog]")));
    EXPECT_THAT(r.output, Not(HasSubstr("[input]")));
    EXPECT_FALSE(std::filesystem::exists(Out("x.obj")));
  }
}

TEST_F(CliOutputs, FilesOfOneRunAppearTogetherOrNotAtAll) {
  // A file size limit stands in for a full disk: the export fits, the scene does not.
  std::ofstream(Out("x.obj")) << "earlier";
  const std::string limit = "trap '' XFSZ; ulimit -f 8; ";  // 4 KiB
  auto r = Vlmhost({"run", Wingform, Example, "--select", "group:Hangar/Wing", "-o", Out("x.obj"),
                    "--scene-out", Out("x.json")},
                   limit);
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_THAT(r.output, HasSubstr("error: cannot write " + Out("x.json")));
  EXPECT_EQ(ReadFile(Out("x.obj")), "earlier");
  EXPECT_FALSE(std::filesystem::exists(Out("x.json")));

  // An export whose every attempt failed is a failed run, its error on standard error.
  r = Vlmhost({"run", Wingform, Example, "--select", "group:Hangar", "-o", Out("x.obj")},
              "trap '' XFSZ; ulimit -f 1; ", " 2>&1 >/dev/null");
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_THAT(r.output, HasSubstr("cannot write " + Out("x.obj")));
  EXPECT_EQ(ReadFile(Out("x.obj")), "earlier");
  for (const auto& entry : std::filesystem::directory_iterator(home.Path()))
    EXPECT_EQ(entry.path().string().find(".tmp-"), std::string::npos) << entry.path();
}

// The textures the exports name are found where the scene names them (relative to its folder,
// or by their own name there when the name leads nowhere on this machine), copied where each
// export looks for them, and named there without folders; all in the run's one set.
// The items of a scene text by "kind path", each with its own JSON (a group's without its
// groups and objects), worked out from the text alone.
std::map<std::string, nlohmann::json> ItemsOf(const std::string& file) {
  std::map<std::string, nlohmann::json> items = {{"group ", nlohmann::json::object()}};
  if (file.empty()) return items;  // a document holds its root at least
  nlohmann::json scene = nlohmann::json::parse(std::ifstream(file));
  // Texture names lead from the scene file's folder: a scene written elsewhere names the same
  // files in other words, which is no change of its materials.
  for (auto m : scene.value("materials", nlohmann::json::array())) {
    m.erase("textures");
    items["material " + m["name"].get<std::string>()] = m;
  }
  std::function<void(nlohmann::json, const std::string&)> walk = [&](nlohmann::json group,
                                                                     const std::string& path) {
    for (const char* list : {"groups", "objects"}) {
      std::map<std::string, int32_t> seen;
      for (const auto& item : group.value(list, nlohmann::json::array())) {
        std::string name = item["name"];
        std::string step = (path.empty() ? "" : path + "/") + host::PathSegment(name, ++seen[name]);
        if (list == std::string("groups"))
          walk(item, step);
        else
          items["object " + step] = item;
      }
    }
    group.erase("groups");
    group.erase("objects");
    items["group " + path] = group;
  };
  walk(scene["root"], "");
  return items;
}

// A report names exactly the files the command wrote and the items whose JSON it changed.
TEST_F(CliOutputs, ReportsNameTheFilesWrittenAndTheItemsChanged) {
  namespace fs = std::filesystem;
  const std::string box =
      std::string(VLM_TEST_MODELS_DIR) + "/glTF2/BoxTextured-glTF-Binary/BoxTextured.glb";
  struct Case {
    std::vector<std::string> args;  // the output folder is "out"
    std::string before, after;      // the scenes whose items the report compares ("": none)
    int status;
  };
  const std::string out = Out("out");
  const std::string tile = std::string(VLM_TEST_EXAMPLES_DIR) + "/tile.json";
  const Case cases[] = {
      {{"run", "ridgepull", Example, "--select", "faces:Hangar/Shell:facing=+y", "--ui",
        "txt(0)=0.3; txt(1)=0.2; click OKButton", "-o", out + "/roof.json"},
       Example,
       out + "/roof.json",
       0},
      {{"run", "obverse", Example, "--select", "group:Hangar/Wing", "--ui", "input z", "--quiet",
        "-o", out + "/mirrored.json"},
       Example,
       out + "/mirrored.json",
       0},
      {{"run", "wingform", Example, "--select", "group:Hangar", "--copy-textures", "--fresh",
        "--ui", "click cmdOK; click cmdCancel", "-o", out + "/hangar.obj"},
       Example,
       Example,
       0},
      {{"run", "flare", tile, "--select", "polygons:Tile/Face:0", "--param", "Step=2", "-o",
        out + "/tile.json"},
       tile,
       out + "/tile.json",
       0},
      {{"import", box, "-o", out + "/box.json"}, "", out + "/box.json", 0},
      {{"export-model", Example, "-o", out + "/hangar.glb"}, Example, Example, 0},
      {{"run", "obverse", Example, "--select", "faces:Hangar:facin=+y", "-o", out + "/x.json"},
       "",
       "",
       2},
  };
  for (const Case& c : cases) {
    fs::remove_all(out);
    fs::create_directory(out);
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--report", Out("report.json")});
    auto r = Vlmhost(args);
    ASSERT_EQ(r.status, c.status) << r.output;
    const auto report = nlohmann::json::parse(std::ifstream(Out("report.json")));
    EXPECT_EQ(report["exitStatus"], c.status);
    EXPECT_EQ(report["outcome"], c.status == 0 ? "done" : "bad input");
    std::set<std::string> written, there;
    for (const auto& file : report["written"])
      written.insert(file);
    for (const auto& entry : fs::recursive_directory_iterator(out))
      if (entry.is_regular_file()) there.insert(entry.path().string());
    EXPECT_EQ(written, there) << c.args[0];
    if (c.status != 0) {
      EXPECT_TRUE(report["items"].is_null());
      EXPECT_THAT(report["errors"][0].get<std::string>(), HasSubstr("facin=+y"));
      continue;
    }
    // The items, against the two scene texts compared item by item.
    const auto before = ItemsOf(c.before), after = ItemsOf(c.after);
    std::set<std::string> want[3], got[3];
    for (const auto& [item, json] : after)
      if (!before.contains(item))
        want[0].insert(item);
      else if (before.at(item) != json)
        want[1].insert(item);
    for (const auto& [item, json] : before)
      if (!after.contains(item)) want[2].insert(item);
    const char* lists[] = {"created", "changed", "removed"};
    for (int i = 0; i < 3; ++i) {
      for (const auto& item : report["items"][lists[i]])
        got[i].insert(item["kind"].get<std::string>() + " " + item["path"].get<std::string>());
      EXPECT_EQ(got[i], want[i]) << c.args[0] << " " << lists[i];
    }
    if (c.args[1] == "flare") {
      EXPECT_EQ(got[1], std::set<std::string>{"object Tile/Face"});
    }
    EXPECT_FALSE(report["log"].empty()) << "the transcript, also for --quiet";
  }
  EXPECT_THAT(Vlmhost({"run", "obverse", Example, "-o", "-", "--report", "-"}).output,
              HasSubstr("standard output carries the scene"));
  // On standard output, the report is all there is.
  auto r = Vlmhost({"run", "obverse", Example, "--select", "group:Hangar/Wing", "--ui", "input z",
                    "-o", Out("m.json"), "--report", "-"},
                   "", " 2>/dev/null");
  EXPECT_EQ(nlohmann::json::parse(r.output)["written"], nlohmann::json::array({Out("m.json")}));
}

TEST_F(CliOutputs, CopyTexturesBringsWhatTheExportsNameBesideThem) {
  namespace fs = std::filesystem;
  const fs::path folder = home.Path() / "scene";
  fs::create_directories(folder / "maps");
  for (const char* file : {"wood.png", "maps/stone.png", "brick.png"})
    WriteFileAtomically(folder / file, test::PictureBytes("PNG", file));
  host::HostDocument doc;
  host::HostNode& main = host::AddGroup(doc.Root(), "main");
  const char* textures[] = {"wood.png", "maps\\stone.png", "D:\\projects\\brick.png", "none.png"};
  for (const char* texture : textures) {
    host::HostMaterial& m = doc.NewMaterial(texture);
    m.SetDiffuseTexture(texture);
    host::AddBox(main, texture, {}, {1, 1, 1}, &m);
  }
  host::SaveScene(doc, folder / "scene.json");
  const std::string scene = (folder / "scene.json").string();
  const struct {
    const char* progId;
    std::string output;  // in the folder "out"
    std::vector<std::string> copies;
    std::vector<std::string> names;  // the texture names the exports write
  } cases[] = {
      {Wingform,
       "house.obj",
       {"wood.png", "stone.png", "brick.png"},
       {"wood.png", "stone.png", "brick.png", "none.png"}},
      {Trackline,
       "house.igs",
       {"textures/wood.png", "textures/stone.png", "textures/brick.png"},
       {}},
  };
  for (const auto& c : cases) {
    fs::remove_all(home.Path() / "out");
    fs::create_directories(home.Path() / "out");
    const fs::path out = home.Path() / "out" / c.output;
    auto r = Vlmhost({"run", c.progId, scene, "--copy-textures", "--quiet", "-o", out.string()});
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_THAT(r.output, HasSubstr("the texture \"none.png\" was not copied: no such file"));
    for (size_t k = 0; k < c.copies.size(); ++k)
      EXPECT_EQ(ReadFile(out.parent_path() / c.copies[k]),
                ReadFile(folder / (k == 1 ? "maps/stone.png" : fs::path(c.copies[k]).filename())))
          << c.copies[k];
    EXPECT_FALSE(fs::exists(out.parent_path() / "none.png"));
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(out.parent_path()))
      if (entry.path().extension() == ".obj")
        names.push_back(test::ReadObj8File(entry.path()).textures[0]);
    EXPECT_THAT(names, ::testing::UnorderedElementsAreArray(c.names)) << c.progId;
  }

  // A run that writes nothing copies nothing; a tool copies no textures.
  fs::remove_all(home.Path() / "out");
  fs::create_directories(home.Path() / "out" / "house.1.obj");
  auto r = Vlmhost({"run", Wingform, scene, "--copy-textures", "-o", Out("out/house.obj")});
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_FALSE(fs::exists(Out("out/wood.png")));
  r = Vlmhost({"run", "VLMPlugin9.Obverse", scene, "--copy-textures", "-o", Out("x.json")});
  EXPECT_EQ(r.status, 2) << r.output;
  EXPECT_THAT(r.output, HasSubstr("--copy-textures applies to exporters"));
}

// Runs one after the other in one process, as a batch or a workbench makes them, each through
// the command line's own function: none sees what one before it left (a failure, a refusal,
// the last error, --copy-textures and the textures noted, warnings, settings).
TEST_F(CliOutputs, RunsInOneProcessSeeNothingOfEachOther) {
  namespace fs = std::filesystem;
  const std::string h = home.Path().string();
  for (const char* folder : {"scene/maps", "copied", "named/maps"})
    fs::create_directories(home.Path() / folder);
  for (const char* file : {"scene/maps/stone.png", "named/maps/stone.png"})
    WriteFileAtomically(home.Path() / file, test::PictureBytes("PNG", "stone"));
  host::HostDocument doc;
  host::HostNode& main = host::AddGroup(doc.Root(), "main");
  for (const char* texture : {"none.png", "maps/stone.png"}) {
    host::HostMaterial& m = doc.NewMaterial(texture);
    m.SetDiffuseTexture(texture);
    host::AddBox(main, texture, {}, {1, 1, 1}, &m);
  }
  host::SaveScene(doc, home.Path() / "scene" / "scene.json");
  std::ofstream(Out("root.json")) << R"({"format": "vellum-scene", "version": 1,
    "root": {"groups": [{"name": "A"}]}, "selection": {"groups": [""]}})";
  const std::string emptyMain = Scene("empty-main.json", R"([{"name": "Main"}])");
  auto options = [&](std::string progId, std::string scene, std::string output,
                     std::vector<std::string> selections, std::optional<std::string> ui) {
    host::RunCommandLine o;
    o.request.progId = std::move(progId);
    o.request.scene = std::move(scene);
    o.request.output = Out(output);
    o.request.selections = std::move(selections);
    o.request.ui = std::move(ui);
    o.request.fresh = true;
    o.quiet = true;
    return o;
  };
  // The files in the home folder, each by its name there.
  auto files = [&] {
    std::set<std::string> out;
    for (const auto& entry : fs::recursive_directory_iterator(home.Path()))
      if (entry.is_regular_file()) out.insert(fs::relative(entry.path(), home.Path()).string());
    return out;
  };
  const std::set<std::string> before = files();
  struct Case {
    host::RunCommandLine options;
    int status;
    std::string err;                        // standard error, whole
    std::vector<std::string> written = {};  // the files it wrote in the home folder
    std::string texture = {};               // what the first file of an export names
  };
  std::vector<Case> cases = {
      // An error in the plug-in's own box, then a failed status: the second reports its own.
      {options("VLMPlugin9.Ridgepull", Example, "x.json", {"faces:Hangar/Shell:2"},
               "txt(1)=abc; enter"),
       1,
       "error: VLMPlugin9.Ridgepull: error 13: Type mismatch: the field \"Extrude\" (txt(1)) "
       "holds \"abc\"\n"},
      {options("VLMPlugin9.Obverse", Out("root.json"), "x.json", {}, "input X"), 1,
       "error: VLMPlugin9.Obverse failed with status 0x800A005B: error 91: the group \"\" has no "
       "parent\n"},
      // Refused after two failures: nothing done, not failed.
      {options(Wingform, emptyMain, "x.obj", {}, std::nullopt), 3,
       "nothing done: Nothing to Export\n"},
      // An export after the refusal, copying its textures and warning of the one it cannot.
      {options(Wingform, Out("scene/scene.json"), "copied/house.obj", {}, std::nullopt),
       0,
       "warning: " + h + "/copied/house.1.obj: the texture \"none.png\" was not copied: no such " +
           "file (looked for " + h + "/scene/none.png, " + h + "/scene/none.png)\n",
       {"copied/house.obj", "copied/house.1.obj", "copied/stone.png"},
       "stone.png"},
      // The same export without --copy-textures: the textures keep their folders and nothing
      // is copied; only its own warning.
      {options(Wingform, Out("scene/scene.json"), "named/house.obj", {}, std::nullopt),
       0,
       "warning: " + h + "/named/house.1.obj names the texture \"none.png\", which does not " +
           "exist relative to the export (looked for " + h + "/named/none.png)\n",
       {"named/house.obj", "named/house.1.obj"},
       "maps/stone.png"},
      {options("VLMPlugin9.Obverse", Example, "x.json", {"group:Hangar/Wing"}, "input X"),
       0,
       "",
       {"x.json"}},
  };
  cases[3].options.request.copyTextures = true;
  for (const Case& c : cases) {
    const std::string what = c.options.request.progId + " -o " + c.options.request.output->string();
    std::ostringstream out, err;
    EXPECT_EQ(host::RunCommand(c.options, out, err), c.status) << what << ": " << err.str();
    EXPECT_EQ(err.str(), c.err) << what;
    std::vector<std::string> written;
    std::ranges::set_difference(files(), before, std::back_inserter(written));
    EXPECT_THAT(written, ::testing::UnorderedElementsAreArray(c.written)) << what;
    if (!c.texture.empty()) {
      EXPECT_EQ(test::ReadObj8File(home.Path() / c.written[0]).textures[0], c.texture) << what;
    }
    for (const std::string& file : written)
      fs::remove(home.Path() / file);
  }
}

// Standard output under another name is written like "-": the transcript goes to standard
// error, and what the file held before stays.
TEST_F(CliOutputs, StandardOutputUnderAnyNameKeepsWhatItHeld) {
  const std::string out = Out("out.txt");
  const struct {
    std::string target;
    bool append;
    bool exporter;
  } cases[] = {
      {"/dev/stdout", false, false},    {"/dev/stdout", true, false},
      {"/proc/self/fd/1", true, false}, {out, true, false},
      {"/dev/stdout", true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.target + (c.append ? " >>" : " >") + (c.exporter ? " export" : ""));
    std::ofstream(out) << "earlier\n";
    const std::vector<std::string> args =
        c.exporter
            ? std::vector<std::string>{"run", Wingform, Example, "--select", "group:Hangar/Wing",
                                       "-o",  c.target}
            : std::vector<std::string>{"run",
                                       "VLMPlugin9.Obverse",
                                       Example,
                                       "--select",
                                       "group:Hangar/Wing",
                                       "--ui",
                                       "input X",
                                       "-o",
                                       c.target};
    auto r = Vlmhost(args, "",
                     std::string(" 2>&1") + (c.append ? " >> " : " > ") +
                         test::ShellQuote(out));  // standard error only
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_THAT(r.output, HasSubstr(c.exporter ? "[dialog]" : "[input]"));
    const std::string text = ReadFile(out);
    const std::string before = c.append ? "earlier\n" : "";
    ASSERT_EQ(text.substr(0, before.size()), before);
    if (c.exporter) {
      EXPECT_THAT(text.substr(before.size()), ::testing::StartsWith("I\r\n800 # Exported"));
    } else {
      EXPECT_NO_THROW(host::ParseScene(text.substr(before.size()), "out"));
    }
  }
}

// Two outputs naming one file are refused before the dialog when their names tell it, and fail
// the run when the export's numbering makes it; a device that cannot be written undoes the files
// already in place.
TEST_F(CliOutputs, OutputsOfOneRunShareNoFileAndOutliveNoFailure) {
  std::filesystem::create_symlink("x.obj", Out("link.obj"));
  const struct {
    std::vector<std::string> args;
    int status;
    std::string mention;
  } cases[] = {
      {{"-o", Out("x.obj"), "--scene-out", Out("x.obj")}, 2, "are the same file"},
      {{"-o", Out("x.obj"), "--scene-out", Out("link.obj")}, 2, "are the same file"},
      {{"-o", Out("x.obj"), "--scene-out", Out("x.1.obj")}, 1, "another output of this run"},
      {{"-o", Out("x.obj"), "--scene-out", "/dev/full"}, 1, "/dev/full"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"run", Wingform, Example, "--select", "group:Hangar"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    auto r = Vlmhost(args);
    EXPECT_EQ(r.status, c.status) << r.output;
    EXPECT_THAT(r.output, HasSubstr(c.mention));
    if (c.status == 2) {
      EXPECT_THAT(r.output, Not(HasSubstr("Output shape")));
    }
    for (const auto& entry : std::filesystem::directory_iterator(home.Path()))
      EXPECT_EQ(entry.path().extension() == ".obj", entry.is_symlink()) << entry.path();
  }
}

// An export or import to a device writes that one file: no numbered parts, no textures.
TEST_F(CliOutputs, ADeviceGetsOneFileAndNoneDerivedFromItsName) {
  std::filesystem::create_symlink("/dev/null", Out("null.obj"));
  std::filesystem::create_symlink("/dev/null", Out("null.json"));
  const std::string glb =
      std::string(VLM_TEST_MODELS_DIR) + "/glTF2/BoxTextured-glTF-Binary/BoxTextured.glb";
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"run", Wingform, Example, "--select", "group:Hangar", "-o", Out("null.obj")},
       Out("null.1.obj") + " was not written"},
      {{"import", glb, "-o", Out("null.json")}, "BoxTextured_texture0.png was not written"},
  };
  for (const auto& [args, mention] : cases) {
    auto r = Vlmhost(args);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_THAT(r.output, HasSubstr(mention));
  }
  for (const auto& entry : std::filesystem::directory_iterator(home.Path()))
    EXPECT_TRUE(entry.path().extension() != ".png" &&
                (entry.path().extension() != ".obj" || entry.is_symlink()))
        << entry.path();
}

// A file size limit makes a write fail, which fails the run: it is not killed, and leaves no
// temporary file.
TEST_F(CliOutputs, AFileSizeLimitFailsTheRunAndLeavesNothing) {
  const std::vector<std::string> mirror = {
      "run", "VLMPlugin9.Obverse", Example, "--select", "group:Hangar/Wing", "--ui", "input X",
      "-o"};
  for (const std::string& target : {Out("x.json"), std::string("-")}) {
    std::vector<std::string> args = mirror;
    args.push_back(target);
    auto r = Vlmhost(args, "ulimit -f 1; ", " 2>&1 > " + test::ShellQuote(Out("out.txt")));
    EXPECT_EQ(r.status, 1) << target;
    EXPECT_THAT(r.output, HasSubstr("File too large")) << target;
    EXPECT_FALSE(std::filesystem::exists(Out("x.json")));
    for (const auto& entry : std::filesystem::directory_iterator(home.Path()))
      EXPECT_EQ(entry.path().string().find(".tmp-"), std::string::npos) << entry.path();
  }
}

TEST_F(CliOutputs, ParametersMustBeFiniteNumbersInRange) {
  const std::string tile = std::string(VLM_TEST_EXAMPLES_DIR) + "/tile.json";
  const std::pair<std::string, std::string> cases[] = {
      {"nan", "must be a finite number"},
      {"inf", "must be a finite number"},
      {"-infinity", "must be a finite number"},
      {"1e39", "is out of range"},
      {"1x", "must be a number"},
  };
  for (const auto& [value, mention] : cases) {
    auto r = Vlmhost({"run", "VLMOperation9.Flare", tile, "--select", "polygons:Tile/Face:0",
                      "--param", "Extrude=" + value, "-o", Out("x.json")});
    EXPECT_EQ(r.status, 2) << r.output;
    EXPECT_THAT(r.output, HasSubstr("Extrude=" + value + ": the value " + mention));
    EXPECT_FALSE(std::filesystem::exists(Out("x.json")));
  }
}

TEST_F(Cli, DashReadsAndWritesTheStandardStreams) {
  const std::string input = " < " + test::ShellQuote(Example);
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

// A plug-in goes by its identifier or its short name, in any case; a name that is no one's
// suggests the nearest, and a short name two classes share names both.
TEST_F(Cli, PluginsGoByTheirShortNames) {
  const std::vector<std::string> ids = {"VLMOperation9.Flare", "VLMPlugin9.Obverse",
                                        "VLMPlugin9.Ridgepull", "VLMPluginX.Ridgepull"};
  struct Case {
    std::string name, resolved;
    std::vector<std::string> mentions;  // in the error, when there is one
  };
  const Case cases[] = {
      {"flare", "VLMOperation9.Flare", {}},
      {"FLARE", "VLMOperation9.Flare", {}},
      {"vlmplugin9.obverse", "VLMPlugin9.Obverse", {}},
      {"VLMPluginX.Ridgepull", "VLMPluginX.Ridgepull", {}},
      {"ridgepull", "", {"several", "VLMPlugin9.Ridgepull", "VLMPluginX.Ridgepull"}},
      {"flair", "", {"did you mean flare"}},
      {"obvers", "", {"obverse"}},
      {"zzz", "", {"registered: VLMOperation9.Flare, VLMPlugin9.Obverse"}},
      {"", "", {"registered:"}},
  };
  for (const Case& c : cases) {
    std::string resolved, error;
    try {
      resolved = host::ResolvePluginName(c.name, ids);
    } catch (const Error& e) {
      error = e.Description();
    }
    EXPECT_EQ(resolved, c.resolved) << c.name;
    for (const std::string& m : c.mentions)
      EXPECT_THAT(error, HasSubstr(m)) << c.name;
  }
  auto r = Vlmhost({"run", "Obverse", Example, "--select", "group:Hangar/Wing", "--ui", "input z",
                    "-o", Out("mirrored.json")});
  EXPECT_EQ(r.status, 0) << r.output;
  r = Vlmhost({"describe", "obverse"});
  EXPECT_THAT(r.output, HasSubstr("VLMPlugin9.Obverse has no forms"));
  r = Vlmhost({"run", "obvers", Example, "-o", Out("x.json")});
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.output, HasSubstr("did you mean obverse"));
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

TEST_F(Cli, HelpTellsHowPathsAreWritten) {
  auto r = Vlmhost({"--help"});
  EXPECT_EQ(r.status, 0) << r.output;
  for (const char* said : {"written \\/", "a backslash \\\\", "\"[\" \\[",
                           "Name[n] is the n-th sibling of that name", "counted from 1"})
    EXPECT_THAT(r.output, HasSubstr(said));
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

// help: what the plug-in does and takes, each control by script name and label, an example;
// F1 in a scripted run shows the same text under the help file the plug-in asked for.
TEST_F(Cli, HelpDescribesThePlugInAndF1ShowsIt) {
  ASSERT_EQ(Vlmhost({"register", std::string(VLM_TEST_PLUGIN_DIR) + "/libridgepull.so"}).status, 0);
  auto help = Vlmhost({"help", "RidgePull"});
  ASSERT_EQ(help.status, 0) << help.output;
  for (const char* part :
       {"ridgepull (VLMPlugin9.Ridgepull)", "Works on: objects or some of their faces",
        "frmEEx \"Edge Extrude\"", "vlmhost run ridgepull examples/hangar.json"})
    EXPECT_THAT(help.output, HasSubstr(part));
  EXPECT_THAT(help.output, ContainsRegex("\n    txt\\(1\\) +\"Extrude\" \\(text box\\)\n"));
  EXPECT_THAT(help.output, ContainsRegex("\n    chkInside +\"Inside Face\" \\(check box\\)\n"));
  EXPECT_EQ(Vlmhost({"help", "nosuch"}).status, 2);

  auto run = Vlmhost({"run", "ridgepull", Example, "--select", "faces:Hangar/Shell:2", "--ui",
                      "key F1; click CancelButton", "-o", (home.Path() / "out.json").string()});
  EXPECT_THAT(run.output, HasSubstr("vlmplugins.chm\n    ridgepull (VLMPlugin9.Ridgepull)\n"));
  EXPECT_THAT(run.output, ContainsRegex("\n        txt\\(1\\) +\"Extrude\" \\(text box\\)\n"));
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
        "sRefScale (slider) label \"Reflection Scale: 0.3\" tip \"Mulitplier for enviroment "
        "map power\" tab \"Special Functionality\" = 30 (0..100)"}},
      // A field is listed with the label that names it.
      {"libridgepull.so",
       "VLMPlugin9.Ridgepull",
       {"txt(0) (text box) label \"Inset\" = \"0.1\"", "chkInside"}},
      {"libtether.so",
       "VLMPlugin9.Tether",
       {"txtGuid (text box) label \"GUID\" tab \"Library Object\""}},
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
  // A swatch with no caption of its own goes by its label's.
  std::string specular;
  for (const auto& c : options["controls"])
    if (c["name"] == "picSpec") specular = c["label"];
  EXPECT_EQ(specular, "Specular (Click to change)");
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

TEST_F(CliOutputs, QuietRunsPrintOnlyTheirProblems) {
  const struct {
    std::vector<std::string> args;
    int status;
    std::string output;
  } cases[] = {
      // What the export leaves out is said, also when quiet.
      {{"run", Wingform, Example, "--select", "group:Hangar", "-o", Out("x.obj"), "--quiet",
        "--copy-textures"},
       0,
       "warning: group \"Windsock\" is animated and left out of the export"},
      {{"run", Wingform, Example, "-o", Out("x.obj"), "--ui", "nonsense", "--quiet"}, 2, "error: "},
  };
  for (const auto& c : cases) {
    auto r = Vlmhost(c.args);
    EXPECT_EQ(r.status, c.status) << r.output;
    EXPECT_EQ(r.output.substr(0, c.output.size()), c.output);
    EXPECT_EQ(r.output.empty(), c.output.empty()) << r.output;
  }
  EXPECT_TRUE(std::filesystem::exists(Out("x.obj")));
}

}  // namespace
}  // namespace vlm
