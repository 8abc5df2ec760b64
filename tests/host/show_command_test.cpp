// vlmhost show and the paths it prints: every path it shows selects exactly its item.
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
      ("sh -c " + host::ShellQuoted(script + "; do printf '%s\\n' \"$p\"; done")).c_str(), "r");
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

TEST_F(Cli, HelpTellsHowPathsAreWritten) {
  auto r = Vlmhost({"--help"});
  EXPECT_EQ(r.status, 0) << r.output;
  for (const char* said : {"written \\/", "a backslash \\\\", "\"[\" \\[",
                           "Name[n] is the n-th sibling of that name", "counted from 1"})
    EXPECT_THAT(r.output, HasSubstr(said));
}

}  // namespace
}  // namespace vlm
