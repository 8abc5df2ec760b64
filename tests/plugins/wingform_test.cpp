#include "wingform/wingform.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>

#include "scene/builder.h"
#include "scene/scene_file.h"
#include "support/dialogs.h"
#include "support/obj8_checks.h"
#include "support/temp_home.h"
#include "support/vlmhost.h"
#include "support/warnings.h"
#include "support/wingform_export.h"
#include "vlm/files.h"
#include "vlm/named_files.h"
#include "vlm/settings.h"

namespace vlm {
namespace {

namespace fs = std::filesystem;
using host::AddBox;
using host::AddGroup;
using host::HostDocument;
using host::HostMaterial;
using host::HostNode;
using test::Shell;
using test::WingformExport;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

TEST(WingformDescription, StatesItsValuesAndImportsNothing) {
  Wingform w;
  std::string author, type, description;
  int32_t pluginClass = -1, cost = -1;
  int16_t exports = 0, imports = 5;
  EXPECT_EQ(w.PluginImportExport_Author(author), StatusOk);
  EXPECT_EQ(author, "Ardo Venmark 2010");
  EXPECT_EQ(w.PluginImportExport_PluginClass(pluginClass), StatusOk);
  EXPECT_EQ(w.PluginImportExport_Cost(cost), StatusOk);
  EXPECT_EQ(pluginClass + cost, 0);
  EXPECT_EQ(w.PluginImportExport_FileType(type), StatusOk);
  EXPECT_EQ(type, "OBJ");
  EXPECT_EQ(w.PluginImportExport_FileTypeDescription(description), StatusOk);
  EXPECT_EQ(description, "X-Plane Obj 8 (.OBJ)");
  EXPECT_EQ(w.PluginImportExport_SupportExport(exports), StatusOk);
  EXPECT_EQ(w.PluginImportExport_SupportImport(imports), StatusOk);
  EXPECT_EQ(exports, -1);
  EXPECT_EQ(imports, 0);
  HostDocument doc;
  EXPECT_EQ(w.PluginImportExport_Import("x.obj", &doc.Root().AsNode(), &doc, nullptr, {}, {}, ""),
            StatusOk);
}

// ---- geometry ----------------------------------------------------------------------------------

TEST_F(WingformExport, ShapesLandInTheExportedGroupsFrameWithObjAxes) {
  // Top and Plane are moved and turned: neither counts. Wing and Tip do, Tip's first.
  HostNode& top = AddGroup(doc.Root(), "Top", {50, 0, 0}, {1, 0, 0});
  HostNode& plane = AddGroup(top, "Plane", {100, 5, 0}, {0, 0.6f, 0.8f}, {0, 0.8f, -0.6f});
  HostNode& wing = AddGroup(plane, "Wing", {2, 0, 0}, {1, 0, 0});
  HostNode& tip = AddGroup(wing, "Tip", {0, 1, 0}, {0, 0, 1}, {0.6f, 0.8f, 0});
  host::AddPolygonMesh(tip, "Fin", {{0, 0, 0}, {1, 0, 0}, {0, 2, 3}});
  ASSERT_EQ(Export("click cmdOK; click cmdCancel", "plane.obj", &plane), StatusOk);

  const auto file = Read("plane.obj");
  ASSERT_EQ(file.vertices.size(), 3u);
  const Mat4 toPlane = Multiply(tip.LocalMatrix(), wing.LocalMatrix());
  const auto& mesh = *tip.meshes[0];
  const Vec3 normal = TransformDirection(mesh.FaceNormal(0), toPlane);
  for (size_t i = 0; i < 3; ++i) {
    const Vec3 p = TransformPoint(mesh.vertices[i], toPlane);
    const auto& vt = file.vertices[i];
    EXPECT_NEAR(vt[0], p.x, 1e-4) << i;
    EXPECT_NEAR(vt[1], p.y, 1e-4) << i;
    EXPECT_NEAR(vt[2], -p.z, 1e-4) << i;
    EXPECT_NEAR(vt[3], normal.x, 1e-4);
    EXPECT_NEAR(vt[4], normal.y, 1e-4);
    EXPECT_NEAR(vt[5], -normal.z, 1e-4);
    EXPECT_NEAR(vt[6], mesh.uvs[i].u, 1e-5);
    EXPECT_NEAR(vt[7], 1 - mesh.uvs[i].v, 1e-5);  // v counts from the other edge
  }
  EXPECT_THAT(Log(),
              ElementsAre("\tSizeCheck Fin (1,2,3) 2", "Tip", "Wing", "Plane",
                          "Output shape to " + (out / "plane.obj").string(), "Export Finished."));
}

TEST_F(WingformExport, DocumentUnitsScalePositionsOnly) {
  doc.units = 2;  // feet
  HostNode& main = AddGroup(doc.Root(), "main");
  host::AddPolygonMesh(main, "Floor", {{0, 0, 0}, {0, 0, 10}, {10, 0, 10}});
  ASSERT_EQ(Export("click cmdOK; click cmdCancel"), StatusOk);
  const auto file = Read("house.obj");
  std::set<float> xs, ys;
  for (const auto& vt : file.vertices)
    xs.insert(vt[0]), ys.insert(vt[4]);
  EXPECT_THAT(xs, ElementsAre(0.0f, 3.048f));
  EXPECT_THAT(ys, ElementsAre(1.0f));  // the normal is not scaled

  // An unknown code counts as metres, even after a run in feet, and the log says so.
  doc.units = 9;
  ASSERT_EQ(Export("click cmdOK; click cmdCancel"), StatusOk);
  std::set<float> metres;
  for (const auto& vt : Read("house.obj").vertices)
    metres.insert(vt[0]);
  EXPECT_THAT(metres, ElementsAre(0.0f, 10.0f));
  EXPECT_THAT(Log(), Contains("The document's units code 9 is not known; lengths are written as "
                              "metres."));
}

// ---- choice of the group and the files -------------------------------------------------------

TEST_F(WingformExport, TheRootExportsTheFirstGroupCalledMain) {
  AddBox(AddGroup(doc.Root(), "Body"), "Hull", {50, 0, 0}, {1, 1, 1});
  AddBox(AddGroup(doc.Root(), "MAIN"), "Cabin", {-50, 0, 0}, {1, 1, 1});
  ASSERT_EQ(Export("click cmdOK; click cmdCancel"), StatusOk);
  for (const auto& vt : Read("house.obj").vertices)
    EXPECT_LT(vt[0], -48);
  EXPECT_THAT(Log(), Contains("MAIN"));
}

TEST_F(WingformExport, WithoutAMainGroupNothingIsWritten) {
  AddBox(AddGroup(doc.Root(), "Body"), "Hull", {}, {1, 1, 1});
  ASSERT_EQ(Export("click cmdOK; answer OK; click cmdCancel"), StatusOk);
  EXPECT_THAT(dialogs->Messages(),
              ElementsAre("Select a group to export or name one group 'Main'"));
  EXPECT_THAT(WrittenFiles(), IsEmpty());

  HostDocument empty;
  Node* root = &empty.Root().AsNode();
  test::ScriptedScope scope("click cmdOK; click cmdCancel");
  EXPECT_EQ(wingform.PluginImportExport_Export((out / "e.obj").string(), root, &empty, nullptr, {},
                                               {}, ""),
            StatusOk);
  EXPECT_THAT(scope.Messages(), ElementsAre("Select a group to export or name one group 'Main'"));
}

TEST_F(WingformExport, AGroupWithoutFacesHasNothingToExport) {
  HostNode& main = AddGroup(doc.Root(), "Main");
  AddGroup(main, "Nothing");
  HostNode& dots = AddGroup(doc.Root(), "Dots");  // vertices but no face
  host::AddPolygonMesh(dots, "Points", {{0, 0, 0}, {0, 0, 1}, {1, 0, 1}}).ClearFaces();
  for (HostNode* group : {&main, &dots}) {
    ASSERT_EQ(Export("click cmdOK; click cmdCancel", "house.obj", group), StatusOk);
    EXPECT_THAT(dialogs->Messages(), ElementsAre("Nothing to Export")) << group->name;
    EXPECT_THAT(Log(), Not(Contains("Export Finished."))) << group->name;
    EXPECT_THAT(WrittenFiles(), IsEmpty()) << group->name;
  }
}

TEST_F(WingformExport, OneFilePerTextureSetNamedAfterTheChosenFile) {
  HostNode& main = AddGroup(doc.Root(), "main");
  AddBox(main, "Walls", {}, {5, 2, 5}, &Textured("Brick", "brick.bmp"));
  AddBox(main, "Door", {0, 0, 5}, {1, 1.5f, 0.1f},
         &Textured("Door", "Door.bmp", "door_lit.bmp", "door_nm.bmp"));
  AddBox(main, "Glass", {3, 1, 5}, {0.5f, 0.5f, 0.1f}, &doc.NewMaterial("Glass"));
  AddBox(main, "Frame", {-3, 1, 5}, {0.5f, 0.5f, 0.1f}, &Textured("Frame", ""));
  AddBox(main, "Trim", {0, 3, 5}, {0.5f, 0.5f, 0.1f},
         &Textured("Trim", "DOOR.BMP", "Door_Lit.bmp", "door_nm.bmp"));

  ASSERT_EQ(Export("optTex(1)=1; click cmdOK; click cmdCancel"), StatusOk);
  EXPECT_THAT(WrittenFiles(), ElementsAre("house.1.obj", "house.2.obj", "house.obj"));
  std::set<std::string> textures;
  for (const char* name : {"house.obj", "house.1.obj", "house.2.obj"}) {
    const auto f = Read(name);
    textures.insert(f.textures[0] + "|" + f.textures[1] + "|" + f.textures[2]);
  }
  // The first triangle met names its set (the walk runs from the last one); DDS replaces
  // every extension.
  EXPECT_THAT(textures, ElementsAre("DOOR.dds|Door_Lit.dds|door_nm.dds", "brick.dds||", "||"));

  // A name without "." gets its numbers after the whole name, in its own folder; a "." in a
  // folder's name does not count.
  fs::create_directories(out / "v1.2");
  ASSERT_EQ(Export("click cmdOK; click cmdCancel", "v1.2/house"), StatusOk);
  EXPECT_TRUE(fs::exists(out / "v1.2" / "house"));
  EXPECT_TRUE(fs::exists(out / "v1.2" / "house.1.obj"));
  EXPECT_TRUE(fs::exists(out / "v1.2" / "house.2.obj"));
  EXPECT_THAT(Log(), Contains("Output shape to " + (out / "v1.2/house.2.obj").string()));
}

TEST_F(WingformExport, EveryPressWritesTheSameFiles) {
  // Quads give two triangles per polygon: three automatic passes need six times the room
  // the first shape's polygon count suggests.
  HostNode& main = AddGroup(doc.Root(), "main");
  AddBox(main, "Hall", {}, {10, 5, 10}, &Textured("Brick", "brick.bmp"));
  AddBox(main, "Crate", {2, 0, 0}, {0.5f, 0.5f, 0.5f}, &Textured("Brick", "brick.bmp"));
  AddBox(main, "Bolt", {3, 0, 0}, {0.05f, 0.05f, 0.05f}, &Textured("Wood", "wood.bmp"));
  host::AddGrid(main, "Yard", 6, 6, 1.0f, doc.FindMaterial("Brick"));

  ASSERT_EQ(Export("optLOD(1)=1; click cmdOK; click cmdCancel"), StatusOk);
  const std::string first = test::ReadBytes(out / "house.obj");
  const std::string second = test::ReadBytes(out / "house.1.obj");
  ASSERT_EQ(Export("optLOD(1)=1; click cmdOK; click cmdOK; click cmdCancel"), StatusOk);
  EXPECT_EQ(test::ReadBytes(out / "house.obj"), first);
  EXPECT_EQ(test::ReadBytes(out / "house.1.obj"), second);
  const auto log = Log();
  EXPECT_EQ(std::count(log.begin(), log.end(), "Export Finished."), 2);
  EXPECT_THAT(WrittenFiles(), ElementsAre("house.1.obj", "house.obj"));
  // Only the bolt is small: 0-300 and 300-max for the brick set, one level for the wood.
  EXPECT_EQ(Read("house.obj").ranges.size(), 2u);
  EXPECT_FALSE(Read("house.1.obj").hasLod);
}

TEST_F(WingformExport, AFileThatCannotBeWrittenIsLoggedAndFailsTheExport) {
  HostNode& main = AddGroup(doc.Root(), "main");
  AddBox(main, "Walls", {}, {5, 2, 5}, &Textured("Brick", "brick.bmp"));
  AddBox(main, "Roof", {0, 3, 0}, {5, 1, 5}, &Textured("Slate", "slate.bmp"));
  // The second file's name is taken by a folder: the press fails; the dialog stays open, and
  // when it closes with no press written, the export fails with the reason.
  fs::create_directory(out / "house.1.obj");
  mayFail = true;
  const Status s = Export("click cmdOK; txtDist=100; click cmdOK; click cmdCancel");
  EXPECT_TRUE(Failed(s));
  EXPECT_THAT(LastError().description, HasSubstr("house.1.obj"));
  const auto log = Log();
  EXPECT_EQ(std::count_if(log.begin(), log.end(),
                          [](const std::string& line) {
                            return line.starts_with("Export failed: ") &&
                                   line.find("house.1.obj") != std::string::npos;
                          }),
            2);
  EXPECT_THAT(log, Not(Contains("Export Finished.")));
  EXPECT_TRUE(fs::is_directory(out / "house.1.obj"));
  EXPECT_THAT(dialogs->Messages(), IsEmpty());
}

// ---- levels of detail --------------------------------------------------------------------------

TEST_F(WingformExport, AutomaticLevelsDropSmallShapesAtEachDistance) {
  HostNode& main = AddGroup(doc.Root(), "main");
  HostMaterial& brick = Textured("Brick", "brick.bmp");
  AddBox(main, "Hall", {}, {5, 5, 5}, &brick);                      // everywhere
  AddBox(main, "Plate", {0, 0, 0}, {0.3f, 0.3f, 0.05f}, &brick);    // out at 800
  AddBox(main, "Crate", {2, 6, 0}, {0.25f, 0.25f, 0.25f}, &brick);  // out at 800
  AddBox(main, "Rod", {4, 0, 0}, {0.5f, 0.05f, 0.05f}, &brick);     // out at 300
  AddBox(main, "Lamp", {0, 0, 0}, {0.1f, 0.1f, 0.1f}, &brick);      // out at 300
  test::CollectedWarnings warnings;
  ASSERT_EQ(Export("optLOD(1)=1; txtDist=3000; click cmdOK; click cmdCancel"), StatusOk);
  // What a level leaves out is said, one line per level.
  EXPECT_THAT(warnings.list, Contains(HasSubstr("2 shapes too small to see beyond 300 m are left "
                                                "out of the farther levels: \"Rod\", \"Lamp\"")));
  EXPECT_THAT(warnings.list,
              Contains(HasSubstr("4 shapes too small to see beyond 800 m are left out of the "
                                 "farther levels: \"Plate\", \"Crate\", \"Rod\", \"Lamp\"")));
  const auto f = Read("house.obj");
  ASSERT_EQ(f.ranges.size(), 3u);
  // Boxes are 6 quads: 36 indices each.
  EXPECT_EQ(f.ranges[0].count, 5 * 36);
  EXPECT_EQ(f.ranges[1].count, 3 * 36);
  EXPECT_EQ(f.ranges[2].count, 1 * 36);
  EXPECT_EQ(f.ranges[0].farDist, 300);
  EXPECT_EQ(f.ranges[1].farDist, 800);
  EXPECT_EQ(f.ranges[2].farDist, 3000);
  EXPECT_THAT(Log(), Contains("\tSizeCheck Rod (1,0.1,0.1) 0.3"));
  EXPECT_THAT(Log(), Contains("\tSizeCheck Plate (0.6,0.6,0.1) 0.8"));
  EXPECT_THAT(Log(), Not(Contains(HasSubstr("LOD not required"))));
}

TEST_F(WingformExport, AutomaticLevelAt300NotRequiredStretchesTheFirstTo800) {
  HostNode& main = AddGroup(doc.Root(), "main");
  HostMaterial& brick = Textured("Brick", "brick.bmp");
  AddBox(main, "Hall", {}, {5, 5, 5}, &brick);
  AddBox(main, "Crate", {2, 6, 0}, {0.25f, 0.25f, 0.25f}, &brick);
  ASSERT_EQ(Export("optLOD(1)=1; txtDist=15; click cmdOK; click cmdCancel"), StatusOk);
  const auto f = Read("house.obj");
  ASSERT_EQ(f.ranges.size(), 2u);
  EXPECT_EQ(f.ranges[0].farDist, 800);
  EXPECT_EQ(f.ranges[1].farDist, 2000);  // "Max. Visible" below 20 means 2000
  EXPECT_THAT(Log(), Contains("LOD not required at 300m"));

  // Nothing small at all: one level, no ATTR_LOD.
  doc.RemoveMesh(*main.meshes.back());
  ASSERT_EQ(Export("optLOD(1)=1; click cmdOK; click cmdCancel"), StatusOk);
  EXPECT_FALSE(Read("house.obj").hasLod);
  EXPECT_THAT(Log(), Contains("LOD not required at 800m"));
}

TEST_F(WingformExport, MaxVisibleKeepsThePreviousValueWhenNotANumber) {
  HostNode& main = AddGroup(doc.Root(), "main");
  AddBox(main, "Hall", {}, {5, 5, 5});
  AddBox(main, "Crate", {2, 6, 0}, {0.25f, 0.25f, 0.25f});
  ASSERT_EQ(
      Export("optLOD(1)=1; txtDist=5000; click cmdOK; txtDist=far; click cmdOK; click cmdCancel"),
      StatusOk);
  EXPECT_EQ(Read("house.obj").ranges.back().farDist, 5000);
  ASSERT_EQ(Export("optLOD(1)=1; txtDist=0; click cmdOK; click cmdCancel"), StatusOk);
  EXPECT_EQ(Read("house.obj").ranges.back().farDist, 2000);
  // The next export of the same plug-in starts afresh: nothing of the one before is kept.
  ASSERT_EQ(Export("optLOD(1)=1; txtDist=5000; click cmdOK; click cmdCancel"), StatusOk);
  ASSERT_EQ(Export("optLOD(1)=1; txtDist=far; click cmdOK; click cmdCancel"), StatusOk);
  EXPECT_EQ(Read("house.obj").ranges.back().farDist, 2000);
}

TEST_F(WingformExport, OneLevelModesKeepEveryShapeAndCheckOnlyBeyond100m) {
  HostNode& main = AddGroup(doc.Root(), "main");
  AddBox(main, "Hall", {}, {5, 5, 5});
  AddBox(main, "Lamp", {0, 0, 0}, {0.1f, 0.1f, 0.1f});
  ASSERT_EQ(Export("txtDist=50; click cmdOK; click cmdCancel"), StatusOk);
  auto f = Read("house.obj");
  EXPECT_FALSE(f.hasLod);
  EXPECT_EQ(f.ranges[0].count, 2 * 36);
  EXPECT_THAT(Log(), Not(Contains(HasSubstr("SizeCheck"))));
  ASSERT_EQ(Export("optLOD(2)=1; txtDist=0; click cmdOK; click cmdCancel"), StatusOk);
  EXPECT_EQ(Read("house.obj").ranges[0].count, 2 * 36);
  EXPECT_THAT(Log(), Contains("\tSizeCheck Lamp (0.2,0.2,0.2) 2"));
}

TEST_F(WingformExport, AnimatedChildrenAreLeftForTheirOwnExport) {
  HostNode& main = AddGroup(doc.Root(), "main");
  AddBox(main, "Mast", {}, {0.5f, 5, 0.5f});
  HostNode& sock = AddGroup(main, "Sock", {0, 5, 0});
  sock.animationKeys = 3;
  AddBox(sock, "Cloth", {}, {1, 0.3f, 0.3f});
  AddGroup(main, "Blinker").animationKeys = 7;  // animated but empty: not mentioned
  HostNode& flag = AddGroup(main, "Flag", {0, 4, 0});
  flag.animationKeys = 2;
  AddBox(flag, "Cloth", {}, {1, 0.5f, 0.05f});
  test::CollectedWarnings warnings;
  ASSERT_EQ(Export("optLOD(1)=1; click cmdOK; click cmdCancel"), StatusOk);
  // Once, though the automatic levels walk the tree three times.
  EXPECT_EQ(std::count_if(warnings.list.begin(), warnings.list.end(),
                          [](const std::string& w) {
                            return w.find("group \"Sock\" is animated and left out") !=
                                   std::string::npos;
                          }),
            1)
      << ::testing::PrintToString(warnings.list);
  ASSERT_EQ(Export("click cmdOK; click cmdCancel"), StatusOk);
  EXPECT_EQ(Read("house.obj").indices.size(), 2u * 36);
  EXPECT_THAT(Log(), Contains("Sock is animated - separate export required"));
  EXPECT_THAT(Log(), Not(Contains(HasSubstr("Blinker"))));
  EXPECT_THAT(Log(), Contains("Flag"));
}

// ---- the dialog and its remembered options ---------------------------------------------------

TEST_F(WingformExport, OptionsAreRememberedButTheLevelModeIsNot) {
  HostNode& main = AddGroup(doc.Root(), "main");
  AddBox(main, "Hall", {}, {5, 5, 5}, &Textured("Brick", "brick.bmp"));
  AddBox(main, "Crate", {2, 6, 0}, {0.25f, 0.25f, 0.25f}, doc.FindMaterial("Brick"));
  ASSERT_EQ(Export("txtDist=3000; optTex(2)=1; optLOD(1)=1; click cmdCancel"), StatusOk);
  EXPECT_EQ(GetSetting("VLMPlugin", "XP-OBJ8", "max"), "3000");
  EXPECT_EQ(GetSetting("VLMPlugin", "XP-OBJ8", "tex"), "2");

  ASSERT_EQ(Export("click cmdOK; click cmdCancel"), StatusOk);
  const auto f = Read("house.obj");
  EXPECT_EQ(f.textures[0], "brick.png");
  EXPECT_FALSE(f.hasLod);  // the dialog opened with "No LODs" again

  SaveSetting("VLMPlugin", "XP-OBJ8", "tex", "7");
  ASSERT_EQ(Export("click cmdOK; click cmdCancel"), StatusOk);
  EXPECT_EQ(Read("house.obj").textures[0], "brick.bmp");
  EXPECT_EQ(GetSetting("VLMPlugin", "XP-OBJ8", "tex"), "0");
}

TEST_F(WingformExport, DialogCarriesItsCaptionsAndTips) {
  wingform::frmOptions form;
  EXPECT_EQ(form.Caption(), "Export Options");
  EXPECT_EQ(form.lblMax.Caption(), "Max. Visible (zero for full)");
  EXPECT_EQ(form.txtDist.ToolTipText(), "Maximum drawing distance for the object (or zero)");
  EXPECT_EQ(form.Frame2.Caption(), "Textures");
  EXPECT_EQ(form.optTex(1).Caption(), "DDS");
  EXPECT_TRUE(form.optTex(0).Value());
  EXPECT_TRUE(form.optLOD(0).Value());
  EXPECT_EQ(form.optLOD(1).ToolTipText(),
            "Generate 2 LOD's by cutting out smaller objects over 200m");
  SaveSetting("VLMPlugin", "XP-OBJ8", "max", "750");
  SaveSetting("VLMPlugin", "XP-OBJ8", "tex", "1");
  form.LType = 2;
  form.Load();
  EXPECT_EQ(form.txtDist.Text(), "750");
  EXPECT_EQ(form.TextureChoice(), 1);
  EXPECT_EQ(form.LType, 0);
}

// ---- the example scene through the command line -------------------------------------------------

TEST(WingformExample, TheHangarExportsReproduciblyWithEveryLevel) {
  test::TempHome home;
  const std::string example = std::string(VLM_TEST_EXAMPLES_DIR) + "/hangar.json";
  // The example is kept in the layout the scene writer produces.
  EXPECT_EQ(host::SerializeScene(*host::LoadScene(example)), test::ReadBytes(example));

  const std::string vlmhost = "VLM_HOME='" + home.Path().string() + "' '" + VLM_TEST_VLMHOST + "'";
  ASSERT_EQ(Shell(vlmhost + " register '" + VLM_TEST_PLUGIN_DIR + "/libwingform.so'").status, 0);
  const fs::path a = home.Path() / "a", b = home.Path() / "b";
  fs::create_directories(a);
  fs::create_directories(b);
  const std::string run = "SOURCE_DATE_EPOCH=1781305028 " + vlmhost +
                          " run VLMPluginImportExport9.Wingform '" + example +
                          "' --select group:Hangar --ui 'optLOD(1)=1; txtDist=3000; click cmdOK; "
                          "click cmdCancel' -o ";
  auto ra = Shell(run + "'" + (a / "hangar.obj").string() + "'");
  auto rb = Shell(run + "'" + (b / "hangar.obj").string() + "'");
  ASSERT_EQ(ra.status, 0) << ra.output;
  ASSERT_EQ(rb.status, 0) << rb.output;
  EXPECT_THAT(ra.output, HasSubstr("[log] Export Finished."));
  EXPECT_THAT(ra.output, HasSubstr("[log] Windsock is animated - separate export required"));
  int files = 0, levels = 0;
  for (const auto& e : fs::directory_iterator(a)) {
    ++files;
    const std::string bytes = test::ReadBytes(e.path());
    EXPECT_EQ(bytes, test::ReadBytes(b / e.path().filename())) << e.path();
    const auto f = test::ReadObj8(bytes);
    EXPECT_THAT(f.problems, IsEmpty()) << e.path();
    EXPECT_EQ(f.date, "06/12/2026 22:57:08");
    levels = std::max(levels, static_cast<int>(f.ranges.size()));
  }
  EXPECT_GE(files, 3);
  EXPECT_EQ(levels, 3);
}

}  // namespace
}  // namespace vlm
