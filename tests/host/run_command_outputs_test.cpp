// vlmhost run and its files: refusals, output locations checked first, every file of a run
// or none, reports, texture copies, standard streams, devices and size limits.
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
                         host::ShellQuoted(out));  // standard error only
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
    auto r = Vlmhost(args, "ulimit -f 1; ", " 2>&1 > " + host::ShellQuoted(Out("out.txt")));
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
