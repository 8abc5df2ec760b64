// What each deliverable shows the loader: its dynamic symbol table holds the four entry points
// and nothing else, so two plug-ins loaded together never share a helper by accident. And how
// each ends a run that gives it nothing to work on.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "scene/builder.h"
#include "scene/scene_file.h"
#include "support/temp_home.h"
#include "support/vlmhost.h"

namespace vlm {
namespace {

const char* const kPlugins[] = {"obverse",  "ridgepull", "stairwright", "shrink", "flare",
                                "wingform", "trackline", "glazier",     "tether", "motive"};

// The names `nm` lists as defined in the dynamic symbol table of a library.
std::set<std::string> ExportedNames(const std::filesystem::path& library) {
  const std::string command = "nm -D --defined-only '" + library.string() + "' 2>&1";
  std::set<std::string> names;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return {"(nm did not start)"};
  char line[4096];
  while (std::fgets(line, sizeof line, pipe)) {
    std::istringstream fields(line);
    std::string address, type, name;
    if (fields >> address >> type >> name)
      names.insert(name);
    else
      names.insert(line);  // an error from nm shows in the failure
  }
  if (pclose(pipe) != 0) names.insert("(nm failed)");
  return names;
}

TEST(PluginExports, OnlyTheFourEntryPoints) {
  const std::set<std::string> entryPoints = {"DllCanUnloadNow", "DllGetClassObject",
                                             "DllRegisterServer", "DllUnregisterServer"};
  for (const char* plugin : kPlugins) {
    const auto library =
        std::filesystem::path(VLM_TEST_PLUGIN_DIR) / ("lib" + std::string(plugin) + ".so");
    EXPECT_EQ(ExportedNames(library), entryPoints) << library;
  }
}

// Given no selection it can work on, every plug-in ends "nothing done" (3), writes nothing and
// says what it takes. (Stairwright needs no selection: it adds its steps to the scene.)
TEST(PluginRefusals, NoUsableSelectionIsNothingDone) {
  test::TempHome home;
  for (const char* plugin : kPlugins) {
    auto r = test::Vlmhost(
        {"register", std::string(VLM_TEST_PLUGIN_DIR) + "/lib" + std::string(plugin) + ".so"});
    ASSERT_EQ(r.status, 0) << r.output;
  }
  const std::string hangar = std::string(VLM_TEST_EXAMPLES_DIR) + "/hangar.json";
  const std::string empty = (home.Path() / "empty.json").string();
  {
    host::HostDocument doc;
    host::AddGroup(doc.Root(), "Empty");
    host::SaveScene(doc, empty);
  }
  struct Case {
    const char* progId;
    const std::string& scene;
    std::vector<std::string> selections;
    const char* says;
    const char* output = "out.json";
    const char* ui = "";
  };
  const Case cases[] = {
      {"VLMPlugin9.Obverse", hangar, {"node:Hangar/Wing"}, "select a single group or an object"},
      {"VLMPlugin9.Ridgepull", hangar, {"node:Hangar/Wing"}, "select an object or one or more"},
      {"VLMPlugin9.Shrink", hangar, {"group:Hangar/Wing"}, "select one or more objects or faces"},
      {"VLMPlugin9.Glazier", hangar, {"node:Hangar/Wing"}, "Please select something"},
      {"VLMPlugin9.Tether", hangar, {"group:Hangar/Wing"}, "select an Shape or a face"},
      {"VLMPlugin9.Motive", hangar, {"group:Hangar/Wing"}, "holds 1 group of the group hierarchy"},
      {"VLMOperation9.Flare", hangar, {"group:Hangar/Wing"}, "no shape of the scene graph"},
      {"VLMOperation9.Flare", hangar, {"faces:Hangar/Shell:2"}, "polygons of a shape"},
      {"VLMOperation9.Flare", hangar, {"shape:Hangar/Shell"}, "1 shape without selected polygons"},
      {"VLMPluginImportExport9.Wingform",
       empty,
       {"group:Empty"},
       "Nothing to Export",
       "out.obj",
       "click cmdOK; click cmdCancel"},
      {"VLMPluginImportExport9.Trackline",
       empty,
       {"group:Empty"},
       "Nothing to Export",
       "out.igs",
       "click cmdOK; click cmdCancel"},
  };
  for (const Case& c : cases) {
    const std::string out = (home.Path() / c.output).string();
    std::vector<std::string> args = {"run", c.progId, c.scene, "--fresh", "-o", out};
    for (const std::string& selection : c.selections)
      args.insert(args.end(), {"--select", selection});
    if (*c.ui) args.insert(args.end(), {"--ui", c.ui});
    auto r = test::Vlmhost(args);
    EXPECT_EQ(r.status, 3) << c.progId << " " << c.selections[0] << "\n" << r.output;
    EXPECT_THAT(r.output, ::testing::HasSubstr("nothing done: ")) << c.progId;
    EXPECT_THAT(r.output, ::testing::HasSubstr(c.says)) << c.progId << "\n" << r.output;
    EXPECT_FALSE(std::filesystem::exists(out)) << c.progId;
  }
}

}  // namespace
}  // namespace vlm
