#include "trackline/trackline.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iterator>
#include <numeric>

#include "scene/builder.h"
#include "scene/scene_file.h"
#include "support/dialogs.h"
#include "support/igs_contents.h"
#include "support/temp_home.h"
#include "support/trackline_runs.h"
#include "support/warnings.h"
#include "vlm/files.h"
#include "vlm/named_files.h"

namespace vlm {
namespace {

namespace fs = std::filesystem;
using host::HostDocument;
using host::HostMaterial;
using host::HostNode;
using host::IgsContents;
using test::BlockNames;
using test::BoxScene;
using test::Export;
using test::ExportRun;
using test::ReadBack;
using test::Textured;
using test::TriangleCounts;
using test::Written;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

TEST(TracklineDescription, StatesItsValues) {
  Trackline exporter;
  std::string author, type, description;
  int32_t pluginClass = -1, cost = -1;
  int16_t exports = 0, imports = 5;
  EXPECT_EQ(exporter.PluginImportExport_Author(author), StatusOk);
  EXPECT_EQ(author, "Ardo Venmark 2011");
  EXPECT_EQ(exporter.PluginImportExport_PluginClass(pluginClass), StatusOk);
  EXPECT_EQ(pluginClass, 1);
  EXPECT_EQ(exporter.PluginImportExport_Cost(cost), StatusOk);
  EXPECT_EQ(cost, 3);
  EXPECT_EQ(exporter.PluginImportExport_FileType(type), StatusOk);
  EXPECT_EQ(type, "IGS");
  EXPECT_EQ(exporter.PluginImportExport_FileTypeDescription(description), StatusOk);
  EXPECT_EQ(description, "RailSim/RailWorks Geometry (Alternative) (.IGS)");
  EXPECT_EQ(exporter.PluginImportExport_SupportExport(exports), StatusOk);
  EXPECT_EQ(exports, -1);
  EXPECT_EQ(exporter.PluginImportExport_SupportImport(imports), StatusOk);
  EXPECT_EQ(imports, 0);
  EXPECT_EQ(Trackline::ClassDescription, "Rail Sim Export Plugin for VLM");
  HostDocument doc;
  EXPECT_EQ(
      exporter.PluginImportExport_Import("x.igs", &doc.Root().AsNode(), &doc, nullptr, {}, {}, ""),
      StatusOk);
}

TEST(TracklineDriver, NoLodsWritesOneBlockWithItsLog) {
  test::TempHome home;
  BoxScene s;
  const fs::path file = home.Path() / "box.igs";
  ExportRun run = Export(s.doc, s.group, file);
  ASSERT_EQ(run.status, StatusOk);
  EXPECT_THAT(run.log, ElementsAre("1_1000_Box", "Processing Geometry (1 blocks)", "Block 0",
                                   "Adjusting pointers", "Writing to " + file.string() + "...",
                                   "Export Finished."));
  Written w = ReadBack(file);
  ASSERT_EQ(w.igs.blocks.size(), 1u);
  ASSERT_EQ(w.igs.meshes.size(), 1u);
  ASSERT_EQ(w.igs.materials.size(), 1u);
  EXPECT_EQ(w.igs.materials[0].name, "material0");
  EXPECT_EQ(w.igs.meshes[0].triangles.size(), 12u);
  EXPECT_EQ(w.igs.meshes[0].vertices.size(), 24u);  // four corners of each side: normals differ
  EXPECT_THAT(w.igs.textureNames, ElementsAre("textures\\alu"));
}

TEST(TracklineDriver, MaterialAndNodeTextsAreDefinedEvenWithoutAnExport) {
  test::TempHome home;
  BoxScene s;
  s.doc.DefineMaterialField("FS10");
  s.doc.DefineMaterialField("Alpha Pr");  // one that exists keeps its slot
  ExportRun run = Export(s.doc, s.group, home.Path() / "none.igs", "click cmdCancel");
  ASSERT_EQ(run.status, StatusOk);
  EXPECT_THAT(s.doc.MaterialFieldNames(),
              ElementsAre("FS10", "Alpha Pr", "Rail Sim", "Tx Alpha", "RailSimX"));
  EXPECT_THAT(s.doc.NodeFieldNames(), ElementsAre("Rail Sim"));
  EXPECT_FALSE(fs::exists(home.Path() / "none.igs"));
}

TEST(TracklineDriver, TheRootChoosesMainOrSaysSo) {
  test::TempHome home;
  HostDocument doc;
  HostMaterial& alu = Textured(doc, "Alu", "alu.bmp");
  host::AddBox(host::AddGroup(doc.Root(), "Body"), "A", {}, {1, 1, 1}, &alu);
  host::AddBox(host::AddGroup(doc.Root(), "Main"), "B", {}, {1, 1, 1}, &alu);
  host::AddGroup(doc.Root(), "main");
  ExportRun run = Export(doc, nullptr, home.Path() / "main.igs");
  ASSERT_EQ(run.status, StatusOk);
  EXPECT_THAT(BlockNames(ReadBack(home.Path() / "main.igs").igs), ElementsAre("1_1000_Main"));

  HostDocument empty;
  ExportRun none = Export(empty, nullptr, home.Path() / "empty.igs");
  EXPECT_EQ(none.status, StatusOk);
  EXPECT_THAT(none.messages, ElementsAre("Select a group to export or name one group 'Main'"));
  EXPECT_THAT(none.titles, ElementsAre("Trackline"));
  EXPECT_FALSE(fs::exists(home.Path() / "empty.igs"));
}

TEST(TracklineDriver, NothingWithATextureIsNothingToExport) {
  test::TempHome home;
  HostDocument doc;
  HostMaterial& plain = doc.NewMaterial("Plain");
  HostMaterial& shortName = Textured(doc, "Short", "a.bm");  // under five characters
  HostNode& g = host::AddGroup(doc.Root(), "Shed");
  host::AddBox(g, "Wall", {}, {1, 1, 1}, &plain);
  host::AddBox(g, "Roof", {}, {1, 1, 1}, &shortName);
  const fs::path file = home.Path() / "shed.igs";
  WriteFileAtomically(file, "earlier export");
  ExportRun run = Export(doc, &g, file);
  EXPECT_EQ(run.status, StatusOk);
  EXPECT_THAT(
      run.log,
      ElementsAre("Material 1 in Shed/Wall does not have a texture - excluded from export.",
                  "Material 1 in Shed/Roof does not have a texture - excluded from export."));
  EXPECT_THAT(run.messages, ElementsAre("Nothing to Export"));
  EXPECT_EQ(ReadFile(file), "earlier export");
}

// Every shape a rule leaves out is a warning as well as a log line: each untextured shape once
// (the automatic levels walk it thrice), the first 20 by name and the rest counted; the
// shapes too small for an automatic level in one line; and an export with nothing left.
TEST(TracklineDriver, ShapesLeftOutAreWarnedAbout) {
  const std::string nothing = "Nothing to Export: nothing below \"Shed\" has exported geometry; ";
  const struct {
    int untextured;
    bool pole;  // and one textured box, and a textured pole small from afar
    const char* script;
    size_t warnings;
    std::string last;
  } cases[] = {
      {1, false, "", 2, nothing},
      {25, false, "", 22, nothing},
      {25, true, "", 21, "5 more shapes without a texture are left out of "},
      {1, true, "optLOD(1)=1; click cmdOK; click cmdCancel", 2,
       "automatic levels of detail: 1 shape is too small to be seen from 1000 m - excluded "
       "from level 3: Shed/Pole."},
  };
  test::TempHome home;
  fs::create_directories(home.Path() / "textures");
  WriteFileAtomically(home.Path() / "textures" / "alu.bmp", "bmp");
  for (const auto& c : cases) {
    HostDocument doc;
    HostMaterial& plain = doc.NewMaterial("Plain");
    HostNode& g = host::AddGroup(doc.Root(), "Shed");
    for (int i = 0; i < c.untextured; ++i)
      host::AddBox(g, "Wall" + std::to_string(i), {}, {1, 1, 1}, &plain);
    if (c.pole) host::AddBox(g, "Pole", {}, {0.25f, 0.25f, 5}, &Textured(doc, "Alu", "alu.bmp"));
    test::CollectedWarnings warnings;
    const ExportRun run = Export(doc, &g, home.Path() / "shed.igs", c.script);
    EXPECT_EQ(run.status, StatusOk);
    ASSERT_EQ(warnings.list.size(), c.warnings) << c.untextured << c.script;
    EXPECT_EQ(warnings.list[0],
              "Material 1 in Shed/Wall0 does not have a texture - excluded from export. Give "
              "the export a default texture (txtDefTex) to keep it.");
    EXPECT_THAT(warnings.list.back(), HasSubstr(c.last));
    EXPECT_THAT(run.log, Contains(HasSubstr("Shed/Wall0 does not have a texture")));
  }
}

// The dialog's own options: a default texture for materials without one (empty, as the
// dialog opens, leaves their shapes out as before; a name too short to be a texture stops),
// and over-long block names shortened alike at every level, the full name in the log.
TEST(TracklineOptions, DefaultTextureAndShortNames) {
  const std::string longName(26, 'n'), cut = "_" + std::string(23, 'n') + "~1";
  const struct {
    const char* script;
    std::vector<std::string> blocks, textures;  // blocks empty: the export stops
    std::string logged;
  } cases[] = {
      {"txtDefTex=Grey.png; click cmdOK; click cmdCancel",
       {"1_1000_Shed"},
       {"textures\\grey", "textures\\alu"},
       ""},
      {"txtDefTex=a.b; click cmdOK; click cmdCancel",
       {},
       {},
       "The default texture \"a.b\" is too short: a texture name has five characters or more."},
      {"txtDefTex=Grey.png; chkShortNames=1; optLOD(1)=1; click cmdOK; click cmdCancel",
       {"1_0100_Shed", "1_0100" + cut, "2_0400_Shed", "2_0400" + cut, "3_1000_Shed",
        "3_1000" + cut},
       {"textures\\alu", "textures\\grey"},  // the child's material first
       "The block name \"1_0100_" + longName +
           "\" is 33 characters long; it is written as "
           "\"1_0100" +
           cut + "\"."},
  };
  test::TempHome home;
  for (const auto& c : cases) {
    HostDocument doc;
    HostNode& g = host::AddGroup(doc.Root(), "Shed");
    host::AddBox(g, "Wall", {}, {1, 1, 1}, &doc.NewMaterial("Plain"));
    const bool longChild = std::string(c.script).find("chkShortNames") != std::string::npos;
    host::AddBox(longChild ? host::AddGroup(g, longName) : g, "Roof", {}, {1, 1, 1},
                 &Textured(doc, "Alu", "alu.bmp"));
    const fs::path file = home.Path() / "shed.igs";
    fs::remove(file);
    const ExportRun run = Export(doc, &g, file, c.script);
    if (!c.logged.empty()) {
      EXPECT_THAT(run.log, Contains(c.logged)) << c.script;
    }
    if (c.blocks.empty()) {
      EXPECT_TRUE(Failed(run.status)) << c.script;
      EXPECT_FALSE(fs::exists(file));
      continue;
    }
    ASSERT_EQ(run.status, StatusOk) << c.script;
    const Written w = ReadBack(file);
    EXPECT_EQ(BlockNames(w.igs), c.blocks);
    EXPECT_EQ(w.igs.textureNames, c.textures);
    const std::vector<size_t> counts = TriangleCounts(w.igs);
    // The wall and the roof at each level.
    EXPECT_EQ(std::accumulate(counts.begin(), counts.end(), size_t{0}),
              24u * c.blocks.size() / (longChild ? 2 : 1));
  }
}

// The file names a texture "textures\stem" (the format's folder and separator): the reader
// looks for it below the export's folder, with any extension. A texture named by an absolute
// path, or whose file is not there, is warned about; when the host copies the textures beside
// the export, the reference leaves out the scene's folders and the texture is noted instead.
TEST(TracklineDriver, TextureReferencesThatLeadNowhereAreWarnedAbout) {
  const struct {
    std::string diffuse;
    bool copy;
    std::string reference, warning;  // warning "" for none
  } cases[] = {
      {"Alu.bmp", false, "textures\\alu", ""},
      {"maps\\Alu.bmp", false, "textures\\maps\\alu", ""},
      {"Steel.bmp", false, "textures\\steel",
       "names the texture \"Steel.bmp\" (written \"textures\\steel\"), which does not exist "
       "relative to the export"},
      {"D:\\projects\\Alu.bmp", false, "textures\\d:\\projects\\alu", "by an absolute path"},
      {"D:\\projects\\Alu.bmp", true, "textures\\alu", ""},
  };
  test::TempHome home;
  fs::create_directories(home.Path() / "textures" / "maps");
  WriteFileAtomically(home.Path() / "textures" / "alu.ace", "ace");
  WriteFileAtomically(home.Path() / "textures" / "maps" / "ALU.dds", "dds");
  for (const auto& c : cases) {
    BoxScene s;
    s.alu->diffuseMap = c.diffuse;
    test::CollectedWarnings warnings;
    ClearNamedFiles();
    SetCopyNamedFiles(c.copy);
    const fs::path file = home.Path() / "box.igs";
    const ExportRun run = Export(s.doc, s.group, file);
    SetCopyNamedFiles(false);
    ASSERT_EQ(run.status, StatusOk) << c.diffuse;
    EXPECT_THAT(ReadBack(file).igs.textureNames, ElementsAre(c.reference)) << c.diffuse;
    test::ExpectTextureReport(warnings.list, c.warning, c.copy, c.diffuse, "textures/Alu.bmp");
  }
}

TEST(TracklineRuns, RunningTwiceWritesTheSameFile) {
  test::TempHome home;
  BoxScene s;
  host::AddBox(host::AddGroup(*s.group, "Lid"), "Lid", {0, 2, 0}, {1, 0.1f, 1}, s.alu);
  const fs::path once = home.Path() / "once.igs", twice = home.Path() / "twice.igs";
  ASSERT_EQ(Export(s.doc, s.group, once).status, StatusOk);
  ExportRun run = Export(s.doc, s.group, twice, "click cmdOK; click cmdOK; click cmdCancel");
  ASSERT_EQ(run.status, StatusOk);
  EXPECT_EQ(std::count(run.log.begin(), run.log.end(), "Export Finished."), 2);
  EXPECT_EQ(ReadFile(twice), ReadFile(once));
}

TEST(TracklineExample, TheHangarSceneExportsWithItsMaterialTexts) {
  test::TempHome home;
  auto doc = host::LoadScene(std::string(VLM_TEST_EXAMPLES_DIR) + "/hangar.json");
  std::string problem;
  HostNode* hangar = doc->FindGroup("Hangar", &problem);
  ASSERT_NE(hangar, nullptr) << problem;
  const fs::path file = home.Path() / "hangar.igs";
  ExportRun run = Export(*doc, hangar, file);
  ASSERT_EQ(run.status, StatusOk);
  EXPECT_THAT(run.log, Contains("Export Finished."));
  Written w = ReadBack(file);
  EXPECT_GE(w.igs.blocks.size(), 3u);
  std::vector<std::string> shaders;
  for (const auto& m : w.igs.materials)
    shaders.push_back(m.shader);
  EXPECT_THAT(shaders, testing::Each("TexDiff"));
  for (const std::string& name : w.igs.textureNames)
    EXPECT_THAT(name, testing::StartsWith("hangar\\"));  // the texturepath parameter
}

}  // namespace
}  // namespace vlm
