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
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

HostMaterial& Textured(HostDocument& doc, const std::string& name, const std::string& texture) {
  HostMaterial& m = doc.NewMaterial(name);
  m.hasTextures = true;
  m.diffuseMap = texture;
  return m;
}

// One export through the contract, with a scripted dialog.
struct ExportRun {
  Status status = StatusOk;
  std::vector<std::string> log;
  std::vector<std::string> messages;
  std::vector<std::string> titles;  // of the message boxes
};

ExportRun Export(HostDocument& doc, HostNode* group, const fs::path& file,
                 const std::string& script = {}) {
  test::ScriptedScope dialogs(script);
  Trackline exporter;
  ExportRun run;
  Node* node = group ? &group->AsNode() : &doc.Root().AsNode();
  run.status = exporter.PluginImportExport_Export(file.string(), node, &doc, nullptr, {}, {}, "");
  run.log = dialogs.Texts(TranscriptEntry::Kind::Log);
  run.messages = dialogs.Messages();
  for (const auto& e : dialogs.Backend().Transcript())
    if (e.kind == TranscriptEntry::Kind::MessageBox) run.titles.push_back(e.title);
  return run;
}

// A file read back; the contents view into the bytes, which stay put when it moves.
struct Written {
  std::shared_ptr<const std::string> bytes;
  IgsContents igs;
};
Written ReadBack(const fs::path& file) {
  auto bytes = std::make_shared<const std::string>(ReadFile(file));
  return {bytes, test::ReadIgs(*bytes)};
}

std::vector<std::string> BlockNames(const IgsContents& igs) {
  std::vector<std::string> names;
  for (const auto& b : igs.blocks)
    names.push_back(b.name);
  return names;
}

std::vector<size_t> TriangleCounts(const IgsContents& igs) {
  std::vector<size_t> counts;
  for (const auto& m : igs.meshes)
    counts.push_back(m.triangles.size());
  return counts;
}

// A scene with one textured box in a group.
struct BoxScene {
  HostDocument doc;
  HostMaterial* alu;
  HostNode* group;
  explicit BoxScene(const std::string& name = "Box") {
    alu = &Textured(doc, "Alu", "Alu.bmp");
    group = &host::AddGroup(doc.Root(), name);
    host::AddBox(*group, "Shell", {0, 0, 0}, {1, 1, 1}, alu);
  }
};

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

// ---- levels of detail and block names ----

TEST(TracklineLevels, AutomaticLevelsDropSmallShapesFarAway) {
  test::TempHome home;
  BoxScene s("Yard");
  // A 0.5 m x 0.5 m x 10 m pole: two of its extents fall below 1000 / 1200 m, none below
  // 400 / 1200 m.
  host::AddBox(*s.group, "Pole", {5, 0, 0}, {0.25f, 0.25f, 5}, s.alu);
  const fs::path file = home.Path() / "yard.igs";
  ASSERT_EQ(Export(s.doc, s.group, file, "optLOD(1)=1; click cmdOK; click cmdCancel").status,
            StatusOk);
  Written w = ReadBack(file);
  EXPECT_THAT(BlockNames(w.igs), ElementsAre("1_0100_Yard", "2_0400_Yard", "3_1000_Yard"));
  EXPECT_THAT(TriangleCounts(w.igs), ElementsAre(24u, 24u, 12u));
  for (const auto& b : w.igs.blocks)
    EXPECT_EQ(b.parent, -1);
}

TEST(TracklineLevels, NamesCarryLevelAndDistance) {
  test::TempHome home;
  HostDocument doc;
  HostMaterial& alu = Textured(doc, "Alu", "alu.bmp");
  HostNode& top = host::AddGroup(doc.Root(), "1_1000_body");
  host::AddBox(top, "A", {}, {1, 1, 1}, &alu);
  host::AddBox(host::AddGroup(top, "wheel"), "W", {}, {1, 1, 1}, &alu);
  HostNode& door = host::AddGroup(top, "door");
  host::AddBox(door, "D", {}, {1, 1, 1}, &alu);
  HostNode& odd = host::AddGroup(top, "a_b_c");
  host::AddBox(odd, "O", {}, {1, 1, 1}, &alu);
  const int32_t slot = doc.DefineNodeField("Rail Sim");
  door.SetField(slot, "  5_0200_door_left_x_y  ");  // the node text wins over the name

  const fs::path file = home.Path() / "names.igs";
  ASSERT_EQ(Export(doc, &top, file).status, StatusOk);
  EXPECT_THAT(BlockNames(ReadBack(file).igs),
              ElementsAre("1_1000_body", "1_1000_wheel", "5_0200_door_left_x_y", "1_1000_a_b_c"));
  ASSERT_EQ(Export(doc, &top, file, "optLOD(1)=1; click cmdOK; click cmdCancel").status, StatusOk);
  const auto names = BlockNames(ReadBack(file).igs);
  ASSERT_EQ(names.size(), 12u);
  EXPECT_THAT(std::vector<std::string>(names.begin() + 4, names.end() - 4),
              ElementsAre("2_0400_body", "2_0400_wheel", "2_0400_door_left_x", "2_0400_a_b_c"));
}

TEST(TracklineLevels, CustomLevelsComeFromNodesNamedAfterTheChosenOne) {
  test::TempHome home;
  HostDocument doc;
  HostMaterial& alu = Textured(doc, "Alu", "alu.bmp");
  HostNode& body = host::AddGroup(doc.Root(), "body");
  host::AddBox(host::AddGroup(body, "Cab.001"), "C", {}, {1, 1, 1}, &alu);
  for (const char* name : {"body_500", "bodywork", "body_x", "body_0", "body_200"})
    host::AddBox(host::AddGroup(doc.Root(), name), "B", {}, {1, 1, 1}, &alu);
  const fs::path file = home.Path() / "custom.igs";
  ExportRun run = Export(doc, &body, file, "optLOD(2)=1; click cmdOK; click cmdCancel");
  ASSERT_EQ(run.status, StatusOk);
  // The chosen node first, then the others by number; each level reaches to the next one's.
  EXPECT_THAT(BlockNames(ReadBack(file).igs),
              ElementsAre("1_0200_body", "1_0200_Cab", "2_0500_body_200", "3_1000_body_500"));

  HostDocument far;
  HostNode& loco = host::AddGroup(far.Root(), "loco");
  host::AddBox(loco, "L", {}, {1, 1, 1}, &Textured(far, "Alu", "alu.bmp"));
  host::AddGroup(far.Root(), "loco_12000");
  ASSERT_EQ(Export(far, &loco, file, "optLOD(2)=1; click cmdOK; click cmdCancel").status, StatusOk);
  EXPECT_THAT(BlockNames(ReadBack(file).igs), ElementsAre("1_2000_loco"));  // 12000 + 10000
}

TEST(TracklineLevels, AnEleventhLevelNodeStopsTheExport) {
  test::TempHome home;
  HostDocument doc;
  HostNode& body = host::AddGroup(doc.Root(), "body");
  host::AddBox(body, "B", {}, {1, 1, 1}, &Textured(doc, "Alu", "alu.bmp"));
  for (int i = 1; i <= 10; ++i)
    host::AddGroup(doc.Root(), "body_" + std::to_string(i * 100));
  const fs::path file = home.Path() / "levels.igs";
  ExportRun run = Export(doc, &body, file, "optLOD(2)=1; click cmdOK; click cmdCancel");
  EXPECT_TRUE(Failed(run.status));
  EXPECT_THAT(run.log,
              ElementsAre("The custom level node \"body_1000\" would be level node 11; the "
                          "limit is 10.",
                          "Export stopped: " + file.string() + " was not written."));
  EXPECT_FALSE(fs::exists(file));
}

// ---- blocks, transforms and meshes ----

TEST(TracklineBlocks, FollowTheNodeTreeDepthFirstWithScaledTransforms) {
  test::TempHome home;
  HostDocument doc;
  doc.units = 2;  // feet
  HostMaterial& alu = Textured(doc, "Alu", "alu.bmp");
  HostNode& hangar = host::AddGroup(doc.Root(), "Hangar", {7, 7, 7});
  host::AddBox(hangar, "Shell", {}, {1, 1, 1}, &alu);
  HostNode& wing = host::AddGroup(hangar, "Wing", {3, 1.5f, 0}, {0.258819f, 0, 0.965926f});
  HostNode& flap = host::AddGroup(wing, "Flap", {2.5f, 0, -0.6f});
  host::AddBox(flap, "Flap", {}, {0.5f, 0.05f, 0.2f}, &alu);
  host::AddBox(host::AddGroup(hangar, "Door"), "Panel", {}, {1, 1, 0.1f}, &alu);
  host::AddGroup(hangar, "Empty");

  const fs::path file = home.Path() / "hangar.igs";
  ASSERT_EQ(Export(doc, &hangar, file).status, StatusOk);
  Written w = ReadBack(file);
  // The wing has no shape of its own: a block with an empty mesh, there for its child.
  EXPECT_THAT(BlockNames(w.igs),
              ElementsAre("1_1000_Hangar", "1_1000_Wing", "1_1000_Flap", "1_1000_Door"));
  EXPECT_THAT(w.igs.blocks[0].children, ElementsAre(1, 3));
  EXPECT_THAT(w.igs.blocks[1].children, ElementsAre(2));
  EXPECT_EQ(w.igs.blocks[3].parent, 0);
  EXPECT_THAT(w.igs.blocks[2].meshes, ElementsAre(2));
  EXPECT_TRUE(w.igs.meshes[1].vertices.empty());
  for (size_t b = 0; b < 4; ++b)
    EXPECT_EQ(w.igs.blocks[b].number, static_cast<int32_t>(b) + 1);

  // A top-level block is not moved; the others are placed in their parent, in metres.
  const float ft = 0.3048f;
  for (int k = 0; k < 16; ++k)
    EXPECT_EQ(w.igs.blocks[0].transform[static_cast<size_t>(k)], k % 5 == 0 ? 1.0f : 0.0f) << k;
  const Mat4 local = wing.LocalMatrix();
  for (int k = 0; k < 12; ++k)
    EXPECT_NEAR(w.igs.blocks[1].transform[static_cast<size_t>(k)], local.m[k], 1e-6) << k;
  EXPECT_NEAR(w.igs.blocks[1].transform[12], 3 * ft, 1e-5);
  EXPECT_NEAR(w.igs.blocks[1].transform[13], 1.5f * ft, 1e-5);
  EXPECT_NEAR(w.igs.blocks[2].transform[14], -0.6f * ft, 1e-5);
  EXPECT_EQ(w.igs.blocks[2].transform[15], 1.0f);

  const auto& flapMesh = w.igs.meshes[2];
  EXPECT_FLOAT_EQ(flapMesh.min[0], -0.5f * ft);  // bounds in metres
  EXPECT_FLOAT_EQ(flapMesh.max[2], 0.2f * ft);
  EXPECT_FLOAT_EQ(flapMesh.vertices[0].position[1], 0.05f * ft);
}

// A block lists 24 children: more go in runs of 24 under grouping blocks named after their
// parent's, which keep its frame and draw nothing; past 24 runs the runs are grouped again.
// Every block is linked and every triangle reachable; 24 children are written as before.
TEST(TracklineBlocks, ChildrenBeyondTwentyFourGoUnderGroupingBlocks) {
  const struct {
    std::string rack;  // the node's name
    int children;
    const char* script;
    std::vector<std::string> first;  // the first block names after the rack's
    size_t blocks;                   // 0: the export stops
  } cases[] = {
      {"Rack", 24, "", {"1_1000_Slot0"}, 25},
      {"Rack", 25, "", {"1_1000_Rack#1", "1_1000_Slot0"}, 28},
      {"Rack", 601, "", {"1_1000_Rack#1", "1_1000_Rack#2", "1_1000_Slot0"}, 630},
      {std::string(24, 'r'), 25, "", {}, 0},
      {std::string(24, 'r'),
       25,
       "chkShortNames=1; click cmdOK; click cmdCancel",
       {"1_1000_" + std::string(23, 'r') + "~1", "1_1000_Slot0"},
       28},
  };
  test::TempHome home;
  for (const auto& c : cases) {
    HostDocument doc;
    HostMaterial& alu = Textured(doc, "Alu", "alu.bmp");
    HostNode& rack = host::AddGroup(doc.Root(), c.rack, {1, 2, 3});
    for (int i = 0; i < c.children; ++i)
      host::AddBox(host::AddGroup(rack, "Slot" + std::to_string(i), {float(i), 0, 0}), "S", {},
                   {1, 1, 1}, &alu);
    const fs::path file = home.Path() / "rack.igs";
    fs::remove(file);
    const ExportRun run = Export(doc, &rack, file, c.script);
    if (c.blocks == 0) {
      EXPECT_TRUE(Failed(run.status));
      EXPECT_THAT(run.log, Contains("The node \"" + c.rack +
                                    "\" has 25 children to export; a block lists at most 24, so "
                                    "they go under blocks named like \"1_1000_" +
                                    c.rack +
                                    "#1\", which is 33 characters long; the limit is 32. Tick "
                                    "\"Shorten long block names\" (chkShortNames) to have it "
                                    "shortened."));
      EXPECT_FALSE(fs::exists(file));
      continue;
    }
    ASSERT_EQ(run.status, StatusOk) << c.children;
    const Written w = ReadBack(file);
    ASSERT_EQ(w.igs.blocks.size(), c.blocks) << c.children;
    EXPECT_THAT(w.igs.UnlistedBlocks(), IsEmpty()) << c.children;
    const std::vector<std::string> names = BlockNames(w.igs);
    EXPECT_EQ(std::vector<std::string>(names.begin() + 1, names.begin() + 1 + c.first.size()),
              c.first);
    size_t triangles = 0, slots = 0;
    for (size_t b = 0; b < w.igs.blocks.size(); ++b) {
      const auto& block = w.igs.blocks[b];
      EXPECT_LE(block.children.size(), 24u);
      const auto& mesh = w.igs.meshes[static_cast<size_t>(block.meshes.at(0))];
      triangles += mesh.triangles.size();
      if (block.name.find("Slot") == std::string::npos) continue;
      ++slots;
      // Each slot keeps its frame in the rack's: grouping blocks add none.
      const int slot = std::stoi(block.name.substr(block.name.find("Slot") + 4));
      EXPECT_EQ(block.transform[12], float(slot)) << block.name;
    }
    EXPECT_EQ(slots, static_cast<size_t>(c.children));
    EXPECT_EQ(triangles, 12u * c.children);
  }
}

TEST(TracklineMeshes, FansWindingAndFaceNormals) {
  test::TempHome home;
  HostDocument doc;
  HostMaterial& alu = Textured(doc, "Alu", "alu.bmp");
  HostNode& g = host::AddGroup(doc.Root(), "Plate");
  // A pentagon (three fan triangles), a quad (two) and a degenerate triangle, counter-clockwise
  // seen from +y.
  host::AddPolygonMesh(g, "Pentagon", {{0, 0, 0}, {0, 0, 1}, {1, 0, 2}, {2, 0, 1}, {2, 0, 0}},
                       &alu);
  host::AddPolygonMesh(g, "Quad", {{5, 0, 0}, {5, 0, 1}, {6, 0, 1}, {6, 0, 0}}, &alu);
  host::AddPolygonMesh(g, "Sliver", {{9, 0, 0}, {9, 0, 1}, {9, 0, 2}}, &alu);
  const fs::path file = home.Path() / "plate.igs";
  ASSERT_EQ(Export(doc, &g, file).status, StatusOk);
  Written w = ReadBack(file);
  ASSERT_EQ(w.igs.meshes.size(), 1u);
  const auto& mesh = w.igs.meshes[0];
  std::vector<int32_t> flags;
  for (const auto& t : mesh.triangles)
    flags.push_back(t.fanFlag);
  EXPECT_THAT(flags, ElementsAre(1, 5, 4, 1, 4, 1));
  EXPECT_EQ(mesh.vertices.size(), 5u + 4u + 3u);  // corners of one polygon share their vertex

  // Stored corners 0, 2, 1: the first triangle of the pentagon is (0,0,0), (1,0,2), (0,0,1).
  auto position = [&](const host::IgsTriangleRecord& t, int k) {
    const auto& p = mesh.vertices[static_cast<size_t>(t.vertices[static_cast<size_t>(k)])].position;
    return Vec3{p[0], p[1], p[2]};
  };
  EXPECT_EQ(position(mesh.triangles[0], 0), (Vec3{0, 0, 0}));
  EXPECT_EQ(position(mesh.triangles[0], 1), (Vec3{1, 0, 2}));
  EXPECT_EQ(position(mesh.triangles[0], 2), (Vec3{0, 0, 1}));
  for (size_t t = 0; t < 5; ++t) {
    const test::IgsRaw raw = test::RawTriangle(*w.bytes, mesh, t);
    // (P0 - P2) x (P1 - P0) of the host's corners, scaled to unit length.
    EXPECT_EQ((Vec3{raw.F32(12), raw.F32(16), raw.F32(20)}), (Vec3{0, 1, 0})) << t;
    EXPECT_EQ(raw.F32(24), 1.0f);
  }
  const test::IgsRaw sliver = test::RawTriangle(*w.bytes, mesh, 5);
  EXPECT_EQ((Vec3{sliver.F32(12), sliver.F32(16), sliver.F32(20)}), (Vec3{0, 0, 0}));
  const test::IgsRaw v = test::RawVertex(*w.bytes, mesh, 0);
  EXPECT_EQ(v.I32(32), 1);  // one texture-coordinate set, white, no bones
  EXPECT_EQ(v.F32(100), 1.0f);
  EXPECT_EQ(v.F32(112), 1.0f);
  EXPECT_EQ(v.I32(120), 0);
}

TEST(TracklineMeshes, FaceNormalsOfHugeAndTinyTrianglesAreUnitVectors) {
  // A right triangle of legs s, counter-clockwise seen from +y: its normal is +y at any size.
  // Ordinary sizes keep the very bits they always had.
  const Vec3 a{0.3f, 1.7f, -2.1f}, b{5.9f, -0.4f, 3.3f}, c{-1.2f, 2.8f, 0.7f};
  const struct {
    std::vector<Vec3> points;
    Vec3 normal;
  } cases[] = {
      {{{0, 0, 0}, {0, 0, 1e19f}, {1e19f, 0, 1e19f}}, {0, 1, 0}},
      {{{0, 0, 0}, {0, 0, 3e38f}, {3e38f, 0, 3e38f}}, {0, 1, 0}},
      {{{0, 0, 0}, {0, 0, 1e-20f}, {1e-20f, 0, 1e-20f}}, {0, 1, 0}},
      {{a, b, c}, Normalize(Cross(a - c, b - a))},
  };
  test::TempHome home;
  for (const auto& k : cases) {
    HostDocument doc;
    HostNode& g = host::AddGroup(doc.Root(), "Plate");
    host::AddPolygonMesh(g, "Tri", k.points, &Textured(doc, "Alu", "alu.bmp"));
    const fs::path file = home.Path() / "tri.igs";
    ASSERT_EQ(Export(doc, &g, file).status, StatusOk);
    const Written w = ReadBack(file);
    const test::IgsRaw raw = test::RawTriangle(*w.bytes, w.igs.meshes.at(0), 0);
    EXPECT_EQ((Vec3{raw.F32(12), raw.F32(16), raw.F32(20)}), k.normal) << k.points[1].z;
  }
}

TEST(TracklineMeshes, AnUnknownUnitsCodeCountsAsMetres) {
  test::TempHome home;
  BoxScene s;
  s.doc.units = 7;
  const fs::path file = home.Path() / "box.igs";
  ExportRun run = Export(s.doc, s.group, file);
  ASSERT_EQ(run.status, StatusOk);
  EXPECT_THAT(run.log,
              Contains("The document's units code 7 is not known; lengths are written as metres."));
  const Written w = ReadBack(file);
  const auto& mesh = w.igs.meshes.at(0);
  EXPECT_EQ(mesh.max[0], 1.0f);  // the box reaches to x = 1 m
  EXPECT_EQ(std::fabs(mesh.vertices.at(0).position[0]), 1.0f);
}

// ---- what a run that stops leaves behind ----

TEST(TracklineFailures, NamesTheFileCannotCarryStopTheExport) {
  const struct {
    const char* field;  // the material text, or "" for the diffuse texture, "node" for the block
    std::string text, stop;
  } cases[] = {
      {"", "Alu.bmp\r\nx",
       "Material 1 in Box/Shell: its texture name \"Alu.bmp\\r\\nx\" holds a carriage return "
       "(0x0D), which the file cannot carry."},
      {"Rail Sim", std::string("Tex\0Diff", 8),
       "Material 1 in Box/Shell: its shader name (Rail Sim) \"Tex\\0Diff\" holds a NUL (0x00), "
       "which the file cannot carry."},
      {"RailSimX", "texturepath=my\ttex",
       "Material 1 in Box/Shell: its texture folder (texturepath) \"my\\ttex\" holds a tab "
       "(0x09), which the file cannot carry."},
      {"node", "cab\nroof",
       "The block name \"1_1000_cab\\nroof\" holds a line feed (0x0A), which the file cannot "
       "carry."},
  };
  test::TempHome home;
  for (const auto& c : cases) {
    BoxScene s;
    const std::string field = c.field;
    if (field.empty())
      s.alu->diffuseMap = c.text;
    else if (field == "node")
      s.group->SetField(s.doc.DefineNodeField("Rail Sim"), c.text);
    else
      s.alu->SetCustomField(s.doc.DefineMaterialField(field), c.text);
    const fs::path file = home.Path() / "names.igs";
    ExportRun run = Export(s.doc, s.group, file);
    EXPECT_TRUE(Failed(run.status)) << c.stop;
    EXPECT_THAT(run.log, Contains(c.stop));
    EXPECT_THAT(run.log, Contains("Export stopped: " + file.string() + " was not written."));
    EXPECT_FALSE(fs::exists(file)) << c.stop;
  }
}

TEST(TracklineFailures, AFileBeyondItsOffsetsIsRefusedBeforeAnythingIsBuilt) {
  test::TempHome home;
  HostDocument doc;
  HostNode& g = host::AddGroup(doc.Root(), "Plate");
  // One flat polygon of 2.2M distinct points, seen from every level: three times 6.6M
  // triangles' fan and its points pass the 32-bit offsets.
  std::vector<Vec3> points(2200000);
  for (size_t i = 0; i < points.size(); ++i)
    points[i] = {float(i % 1500), float(i / 1500), 0};
  host::AddPolygonMesh(g, "Plate", points, &Textured(doc, "Alu", "alu.bmp"));
  const fs::path file = home.Path() / "plate.igs";
  ExportRun run = Export(doc, &g, file, "optLOD(1)=1; click cmdOK; click cmdCancel");
  EXPECT_TRUE(Failed(run.status));
  EXPECT_THAT(run.log, Contains("The file would be at least 2191199664 bytes long (6599994 "
                                "triangles and at least 6600000 vertices in 3 levels); its 32-bit "
                                "offsets reach 2147483647 at most."));
  EXPECT_THAT(run.log, Not(Contains(HasSubstr("Processing Geometry"))));
  EXPECT_FALSE(fs::exists(file));
}

TEST(TracklineFailures, AFiftySecondMaterialNamesItsShape) {
  test::TempHome home;
  HostDocument doc;
  const int32_t priority = doc.DefineMaterialField("Alpha Pr");
  HostNode& g = host::AddGroup(doc.Root(), "Coach");
  for (int i = 0; i <= 51; ++i) {
    HostMaterial& m = Textured(doc, "M" + std::to_string(i), "alu.bmp");
    m.SetCustomField(priority, std::to_string(i));  // each one distinct
    host::AddPolygonMesh(g, "Panel" + std::to_string(i), {{0, 0, 0}, {0, 0, 1}, {1, 0, 1}}, &m);
  }
  const fs::path file = home.Path() / "coach.igs";
  ExportRun run = Export(doc, &g, file);
  EXPECT_TRUE(Failed(run.status));
  EXPECT_THAT(run.log, Contains("Material 1 in Coach/Panel51, with the shader \"TexDiff\", would "
                                "be distinct material number 52; the limit is 51."));
  EXPECT_FALSE(fs::exists(file));
}

TEST(TracklineFailures, ABlockNameLongerThanItsFieldStopsAndKeepsTheEarlierFile) {
  test::TempHome home;
  BoxScene s;
  const int32_t slot = s.doc.DefineNodeField("Rail Sim");
  const fs::path file = home.Path() / "names.igs";

  s.group->SetField(slot, std::string(24, 'n'));  // 31 characters with "1_1000_"
  ASSERT_EQ(Export(s.doc, s.group, file).status, StatusOk);
  const Written fits = ReadBack(file);
  EXPECT_EQ(fits.bytes->substr(fits.igs.blocks[0].offset, 32),
            "1_1000_" + std::string(24, 'n') + '\0');

  s.group->SetField(slot, std::string(25, 'n'));  // 32: the field is full, no 0 after it
  ASSERT_EQ(Export(s.doc, s.group, file).status, StatusOk);
  Written full = ReadBack(file);
  EXPECT_EQ(full.bytes->substr(full.igs.blocks[0].offset, 32), "1_1000_" + std::string(25, 'n'));

  s.group->SetField(slot, std::string(26, 'n'));  // 33: stops; the dialog stays open
  ExportRun run = Export(s.doc, s.group, file, "click cmdOK; click cmdOK; click cmdCancel");
  EXPECT_TRUE(Failed(run.status));
  const std::string name = "1_1000_" + std::string(26, 'n');
  const std::string stop = "The block name \"" + name +
                           "\" is 33 characters long; the limit is 32. Tick \"Shorten long "
                           "block names\" (chkShortNames) to have it shortened.";
  const std::string notWritten = "Export stopped: " + file.string() + " was not written.";
  EXPECT_THAT(run.log,
              ElementsAre(name, "Processing Geometry (1 blocks)", "Block 0", stop, notWritten, name,
                          "Processing Geometry (1 blocks)", "Block 0", stop, notWritten));
  EXPECT_EQ(ReadFile(file), *full.bytes);
  // No temporary file is left beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(home.Path()), fs::directory_iterator()), 1);
}

TEST(TracklineFailures, ADialogClosedAfterStoppedRunsOnlyFailsWithTheLastReason) {
  const std::string longName = std::string(26, 'n');
  const std::string nameStop = "The block name \"1_1000_" + longName +
                               "\" is 33 characters long; the limit is 32. Tick \"Shorten long "
                               "block names\" (chkShortNames) to have it shortened.";
  const std::string levelStop =
      "The custom level node \"body_1000\" would be level node 11; the limit is 10.";
  const struct {
    bool longName;
    const char* script;
    std::string reason;  // "" when the export succeeds
  } cases[] = {
      {true, "click cmdOK; click cmdCancel", nameStop},
      {false, "optLOD(2)=1; click cmdOK; click cmdCancel", levelStop},
      {true, "optLOD(2)=1; click cmdOK; optLOD(0)=1; click cmdOK; click cmdCancel", nameStop},
      {false, "optLOD(2)=1; click cmdOK; optLOD(0)=1; click cmdOK; click cmdCancel", ""},
      {false, "optLOD(0)=1; click cmdOK; optLOD(2)=1; click cmdOK; click cmdCancel", ""},
  };
  test::TempHome home;
  for (const auto& c : cases) {
    BoxScene s("body");
    if (c.longName) s.group->SetField(s.doc.DefineNodeField("Rail Sim"), longName);
    for (int i = 1; i <= 10; ++i)
      host::AddGroup(s.doc.Root(), "body_" + std::to_string(i * 100));
    const fs::path file = home.Path() / "stops.igs";
    fs::remove(file);
    const ExportRun run = Export(s.doc, s.group, file, c.script);
    if (c.reason.empty()) {
      EXPECT_EQ(run.status, StatusOk) << c.script;
      EXPECT_TRUE(fs::exists(file)) << c.script;
    } else {
      EXPECT_TRUE(Failed(run.status)) << c.script;
      EXPECT_EQ(LastError().description, c.reason) << c.script;
      EXPECT_FALSE(fs::exists(file)) << c.script;
    }
  }
}

TEST(TracklineFailures, AFileThatCannotBeWrittenFailsTheCall) {
  test::TempHome home;
  BoxScene s;
  const fs::path file = home.Path() / "missing" / "box.igs";
  ExportRun run = Export(s.doc, s.group, file);
  EXPECT_TRUE(Failed(run.status));
  EXPECT_FALSE(fs::exists(file));
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
