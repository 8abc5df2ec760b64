// vlmhost validate's checks: each one found on a scene that has exactly that fault.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>

#include "cli/scene_checks.h"
#include "scene/builder.h"
#include "support/dialogs.h"
#include "support/temp_home.h"
#include "support/vlmhost.h"
#include "trackline/trackline.h"
#include "vlm/plugin_bases.h"
#include "wingform/wingform.h"

namespace vlm {
namespace {

namespace fs = std::filesystem;
using host::ExportFormat;
using host::Finding;
using host::HostDocument;

// A BMP header of the given size (the pixels are never read).
void WriteBmp(const fs::path& file, int32_t width, int32_t height) {
  std::string b(54, '\0');
  const auto put = [&](size_t at, uint32_t v) {
    for (size_t k = 0; k < 4; ++k)
      b[at + k] = static_cast<char>((v >> (8 * k)) & 0xFF);
  };
  b[0] = 'B', b[1] = 'M';
  put(14, 40), put(18, static_cast<uint32_t>(width)), put(22, static_cast<uint32_t>(height));
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << b;
}

// The scene every case starts from: a group Main holding a box of the material Wood, whose
// texture wood.bmp (8 x 8) lies beside the scene.
struct Fixture {
  HostDocument doc;
  host::HostMaterial& wood = doc.NewMaterial("Wood");
  host::HostNode& main = host::AddGroup(doc.Root(), "Main");
  host::HostMesh& box = host::AddBox(main, "Box", {0, 0, 0}, {1, 1, 1}, &wood);
  explicit Fixture(const fs::path& folder) {
    wood.hasTextures = true;
    wood.diffuseMap = "wood.bmp";
    WriteBmp(folder / "wood.bmp", 8, 8);
  }
};

// A group of Main carrying OBJ8 lines in its OBJ8 field, with a box of its own.
void Obj8Group(Fixture& f, const char* name, const std::string& lines) {
  host::HostNode& group = host::AddGroup(f.main, name);
  group.SetField(f.doc.DefineNodeField("OBJ8"), lines);
  host::AddBox(group, "B", {}, {1, 1, 1}, &f.wood);
}

TEST(SceneChecks, EachFaultIsFoundWithItsSeverityAndItem) {
  test::TempHome home;
  const fs::path dir = home.Path();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    const char* name;
    ExportFormat format;
    std::function<void(Fixture&)> fault;
    const char* check;  // "" for a scene with nothing to say
    bool error;
    const char* path;
    const char* also = "";  // a second finding the fault brings with it
  };
  const std::string longName(26, 'n'), rackName(24, 'r');
  const ExportFormat obj8 = ExportFormat::Obj8, igs = ExportFormat::Igs;
  const Case cases[] = {
      {"clean obj8", obj8, [](Fixture&) {}, "", false, ""},
      {"clean igs", igs, [](Fixture&) {}, "", false, ""},
      {"missing texture", obj8, [](Fixture& f) { f.wood.diffuseMap = "gone.bmp"; },
       "missing-texture", true, "Wood"},
      {"missing lit texture", obj8, [](Fixture& f) { f.wood.bumpMap = "gone_lit.bmp"; },
       "missing-texture", true, "Wood"},
      {"side not a power of two", igs,
       [&](Fixture& f) {
         f.wood.diffuseMap = "odd.bmp";
         WriteBmp(dir / "odd.bmp", 96, 64);
       },
       "texture-size", false, "Wood"},
      {"absolute texture", obj8, [](Fixture& f) { f.wood.diffuseMap = "D:\\art\\wood.bmp"; },
       "absolute-texture", true, "Wood"},
      {"backslash between folders", obj8,
       [&](Fixture& f) {
         f.wood.diffuseMap = "sub\\wood.bmp";
         WriteBmp(dir / "sub" / "wood.bmp", 8, 8);
       },
       "backslash-texture", false, "Wood"},
      {"control character in a texture name", igs,
       [](Fixture& f) { f.wood.diffuseMap = "wo\nod.bmp"; }, "name", true, "Wood"},
      {"zero-area face", obj8,
       [](Fixture& f) {
         host::AddPolygonMesh(f.main, "Sliver", {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}});
       },
       "zero-area-face", false, "Main/Sliver"},
      {"degenerate face", obj8,
       [](Fixture& f) {
         host::HostPoint corners[] = {{0, -1, -1}, {1, -1, -1}, {1, -1, -1}};
         f.box.AddFace(corners, &f.wood);
       },
       "degenerate-face", false, "Main/Box"},
      {"frame without a width", igs, [](Fixture& f) { f.main.up = f.main.forward; },
       "degenerate-frame", false, "Main", "zero-area-face"},
      {"vertex not finite", obj8, [&](Fixture& f) { f.box.vertices[3].y = nan; }, "non-finite",
       true, "Main/Box"},
      {"frame not finite", igs, [&](Fixture& f) { f.main.position.x = nan; }, "non-finite", true,
       "Main"},
      {"block name too long", igs, [](Fixture& f) { f.main.name = std::string(26, 'n'); }, "name",
       true, longName.c_str()},
      {"block name that fits (25 + 1_1000_)", igs,
       [](Fixture& f) { f.main.name = std::string(25, 'n'); }, "", false, ""},
      {"25 children of one block, grouped under Main#1 and Main#2", igs,
       [](Fixture& f) {
         for (int k = 0; k < 25; ++k)
           host::AddBox(host::AddGroup(f.main, "c" + std::to_string(k)), "B", {}, {1, 1, 1},
                        &f.wood);
       },
       "", false, ""},
      {"25 children whose grouping blocks' name is too long", igs,
       [&](Fixture& f) {
         f.main.name = rackName;
         for (int k = 0; k < 25; ++k)
           host::AddBox(host::AddGroup(f.main, "c" + std::to_string(k)), "B", {}, {1, 1, 1},
                        &f.wood);
       },
       "igs-children", true, rackName.c_str()},
      {"52 materials", igs,
       [](Fixture& f) {
         for (int k = 0; k < 52; ++k) {
           host::HostMaterial& m = f.doc.NewMaterial("M" + std::to_string(k));
           m.hasTextures = true, m.diffuseMap = "wood.bmp";
           m.diffuse = {static_cast<float>(k) / 52, 0, 0};
           host::AddBox(f.main, "B" + std::to_string(k), {}, {1, 1, 1}, &m);
         }
       },
       "igs-materials", true, ""},
      {"untextured material in IGS", igs, [](Fixture& f) { f.wood.hasTextures = false; },
       "untextured", false, "Wood", "nothing-to-export"},
      {"level groups out of order", obj8,
       [](Fixture& f) {
         host::AddBox(host::AddGroup(f.main, "LOD 300-800"), "B", {}, {1, 1, 1}, &f.wood);
         host::AddBox(host::AddGroup(f.main, "LOD 0-300"), "B", {}, {1, 1, 1}, &f.wood);
       },
       "lod-order", false, "Main"},
      {"animated group left out of OBJ8", obj8,
       [](Fixture& f) {
         host::HostNode& sock = host::AddGroup(f.main, "Sock");
         sock.animationKeys = 3;
         host::AddBox(sock, "B", {}, {1, 1, 1}, &f.wood);
       },
       "animated-group", false, "Main/Sock"},
      {"nothing to export", obj8, [](Fixture& f) { f.box.ClearFaces(); }, "nothing-to-export", true,
       ""},
      {"additive level groups", obj8,
       [](Fixture& f) {
         host::AddBox(host::AddGroup(f.main, "LOD 0-300"), "B", {}, {1, 1, 1}, &f.wood);
         host::AddBox(host::AddGroup(f.main, "LOD 0-800"), "B", {}, {1, 1, 1}, &f.wood);
       },
       "", false, ""},
      {"untextured faces beside textured ones in OBJ8", obj8,
       [](Fixture& f) {
         host::AddBox(f.main, "Bare", {}, {1, 1, 1}, &f.doc.NewMaterial("Plain"));
       },
       "untextured", false, "Plain"},
      {"OBJ8 animation lines that cannot be read", obj8,
       [](Fixture& f) { Obj8Group(f, "Door", "ANIM_rotate 1 0 0 x 90 0 1 sim/door"); },
       "animation-lines", true, "Main/Door"},
      {"OBJ8 keyed table of one key", obj8,
       [](Fixture& f) {
         Obj8Group(f, "Door", "ANIM_trans_begin sim/door\nANIM_trans_key 0 0 0 0\nANIM_trans_end");
       },
       "keyed-table", true, "Main/Door"},
      {"OBJ8 rotating drag that no rotation animates", obj8,
       [](Fixture& f) {
         f.wood.SetCustomField(f.doc.DefineMaterialField("OBJ8"),
                               "ATTR_no_cull\nATTR_manip_drag_rotate hand 0 0 0 1 0 0 0 45 0 1 "
                               "sim/door none Open");
       },
       "manipulator-animation", false, "Main/Box"},
      {"OBJ8 light with a word for a number", obj8,
       [](Fixture& f) { Obj8Group(f, "Light", "LIGHT_NAMED airplane_beacon 0 x 0"); },
       "item-numbers", true, "Main/Light"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f(dir);
    c.fault(f);
    const auto findings = host::CheckForExport(f.doc, host::ScopeOfSelection(f.doc), c.format, dir);
    if (std::string(c.check).empty()) {
      for (const Finding& x : findings)
        ADD_FAILURE() << x.check << ": " << x.path << ": " << x.reason;
      continue;
    }
    std::string seen;
    for (const Finding& x : findings)
      seen += x.check + ": " + x.path + ": " + x.reason + "\n";
    ASSERT_EQ(findings.size(), std::string(c.also).empty() ? 1u : 2u) << seen;
    if (findings.size() == 2) {
      EXPECT_EQ(findings[1].check, c.also) << seen;
    }
    EXPECT_EQ(findings[0].check, c.check) << seen;
    EXPECT_EQ(findings[0].error, c.error);
    EXPECT_EQ(findings[0].path, c.path);
  }
}

// A texture named by an absolute path: the error says when --copy-textures would find it, by
// its file name in the scene's folder or at the path itself.
TEST(SceneChecks, AnAbsoluteTextureNamesCopyTexturesWhenThatFindsIt) {
  test::TempHome home;
  const fs::path dir = home.Path() / "scene";
  WriteBmp(home.Path() / "elsewhere" / "oak.bmp", 8, 8);
  const struct {
    std::string texture, says;
  } cases[] = {
      {"D:\\art\\wood.bmp", "copies it there from the scene's folder"},
      {(home.Path() / "elsewhere" / "oak.bmp").string(), "with --allow-outside"},
      {"D:\\art\\gone.bmp", ""},
  };
  for (const auto& c : cases) {
    Fixture f(dir);
    f.wood.diffuseMap = c.texture;
    const auto findings =
        host::CheckForExport(f.doc, host::ScopeOfSelection(f.doc), ExportFormat::Obj8, dir);
    ASSERT_EQ(findings.size(), 1u) << c.texture;
    EXPECT_EQ(findings[0].check, "absolute-texture");
    const std::string says = c.says.empty() ? "the simulator looks beside the export" : c.says;
    EXPECT_THAT(findings[0].reason, ::testing::HasSubstr(says));
    EXPECT_EQ(findings[0].reason.find("--copy-textures") != std::string::npos, !c.says.empty());
  }
}

// Whatever stops an export is an error validate finds first: each case is run through the
// checks and through the exporter, which must write nothing.
TEST(SceneChecks, EveryRefusalOfAnExportIsAnErrorBeforehand) {
  test::TempHome home;
  const fs::path dir = home.Path();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const auto field = [](Fixture& f, const char* name, const std::string& text) {
    f.wood.SetCustomField(f.doc.DefineMaterialField(name), text);
  };
  // `count` boxes, each of a material of its own that `paint` gives its shader and textures.
  const auto materials = [](Fixture& f, int count,
                            const std::function<void(host::HostMaterial&, int)>& paint) {
    for (int k = 0; k < count; ++k) {
      host::HostMaterial& m = f.doc.NewMaterial("M" + std::to_string(k));
      m.hasTextures = true;
      m.diffuse = {static_cast<float>(k) / static_cast<float>(count), 0, 0};
      paint(m, k);
      host::AddBox(f.main, "B" + std::to_string(k), {}, {1, 1, 1}, &m);
    }
  };
  const auto children = [](Fixture& f, int count) {
    for (int k = 0; k < count; ++k)
      host::AddBox(host::AddGroup(f.main, "c" + std::to_string(k)), "B", {}, {1, 1, 1}, &f.wood);
  };
  struct Case {
    const char* name;
    ExportFormat format;
    std::function<void(Fixture&)> fault;
    const char* check;
    const char* script = "";
  };
  const ExportFormat obj8 = ExportFormat::Obj8, igs = ExportFormat::Igs;
  const Case cases[] = {
      {"integer parameter not a number", igs, [&](Fixture& f) { field(f, "RailSimX", "zbias=x"); },
       "igs-parameter"},
      {"stage parameter out of range", igs, [&](Fixture& f) { field(f, "RailSimX", "r0fps=1e12"); },
       "igs-parameter"},
      {"float parameter out of range", igs,
       [&](Fixture& f) { field(f, "RailSimX", "r0scrollu=1e39"); }, "igs-parameter"},
      {"alpha priority out of range", igs, [&](Fixture& f) { field(f, "Alpha Pr", "3e9"); },
       "igs-parameter"},
      {"an eleventh custom level", igs,
       [](Fixture& f) {
         for (int k = 1; k <= 10; ++k)
           host::AddGroup(f.doc.Root(), "Main_" + std::to_string(k * 100));
       },
       "igs-levels", "optLOD(2)=1; click cmdOK; click cmdCancel"},
      {"a level distance out of range", igs,
       [](Fixture& f) { host::AddGroup(f.doc.Root(), "Main_1e20"); }, "igs-levels",
       "optLOD(2)=1; click cmdOK; click cmdCancel"},
      {"block name too long", igs, [](Fixture& f) { f.main.name = std::string(26, 'n'); }, "name"},
      {"grouping block name too long", igs,
       [&](Fixture& f) {
         f.main.name = std::string(24, 'n');
         children(f, 25);
       },
       "igs-children"},
      {"shader name too long", igs,
       [&](Fixture& f) { field(f, "Rail Sim", std::string(129, 's')); }, "name"},
      {"control character in a texture name", igs,
       [](Fixture& f) { f.wood.diffuseMap = "wo\nod.bmp"; }, "name"},
      {"52 materials", igs,
       [&](Fixture& f) {
         materials(f, 52, [](host::HostMaterial& m, int) { m.diffuseMap = "wood.bmp"; });
       },
       "igs-materials"},
      {"52 textures", igs,
       [&](Fixture& f) {
         materials(f, 18, [&](host::HostMaterial& m, int k) {
           m.SetCustomField(f.doc.DefineMaterialField("Rail Sim"), "TrainBumpSpecular.fx");
           m.diffuseMap = "d" + std::to_string(k) + ".bmp";
           m.bumpMap = "b" + std::to_string(k) + ".bmp";
           m.specularMap = "s" + std::to_string(k) + ".bmp";
         });
       },
       "igs-textures"},
      {"102 texture names (the weather layer draws its diffuse texture twice)", igs,
       [&](Fixture& f) {
         materials(f, 26, [&](host::HostMaterial& m, int) {
           m.SetCustomField(f.doc.DefineMaterialField("Rail Sim"), "TrainGlassWeatherEffects.fx");
           m.diffuseMap = m.bumpMap = m.environmentMap = "wood.bmp";
         });
       },
       "igs-texture-names"},
      {"a file past its 32-bit offsets at three automatic levels", igs,
       [](Fixture& f) {
         std::vector<Vec3> points(2200000);
         for (size_t i = 0; i < points.size(); ++i)
           points[i] = {float(i % 1500), float(i / 1500), 0};
         host::AddPolygonMesh(f.main, "Plate", points, &f.wood);
       },
       "igs-size", "optLOD(1)=1; click cmdOK; click cmdCancel"},
      {"no textured object", igs, [](Fixture& f) { f.wood.hasTextures = false; },
       "nothing-to-export"},
      {"obj8 vertex not finite", obj8, [&](Fixture& f) { f.box.vertices[3].y = nan; },
       "non-finite"},
      {"obj8 frame not finite", obj8,
       [&](Fixture& f) {
         host::AddBox(host::AddGroup(f.main, "Sub", {nan, 0, 0}), "B", {}, {1, 1, 1}, &f.wood);
       },
       "non-finite"},
      {"obj8 control character in a texture name", obj8,
       [](Fixture& f) { f.wood.diffuseMap = "wo\nod.bmp"; }, "name"},
      {"obj8 nothing to export", obj8, [](Fixture& f) { f.box.ClearFaces(); }, "nothing-to-export"},
      {"obj8 animation lines that cannot be read", obj8,
       [](Fixture& f) { Obj8Group(f, "Door", "ANIM_rotate 1 0 0 x 90 0 1 sim/door"); },
       "animation-lines"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f(dir);
    c.fault(f);
    std::string seen;
    bool flagged = false;
    for (const Finding& x :
         host::CheckForExport(f.doc, host::ScopeOfSelection(f.doc), c.format, dir)) {
      seen += x.check + ": " + x.path + ": " + x.reason + "\n";
      flagged = flagged || (x.error && x.check == c.check);
    }
    EXPECT_TRUE(flagged) << seen;

    const fs::path file = dir / (c.format == igs ? "out.igs" : "out.obj");
    fs::remove(file);
    test::ScriptedScope dialogs(c.script);
    Trackline trackline;
    Wingform wingform;
    ImportExportBase& exporter =
        c.format == igs ? static_cast<ImportExportBase&>(trackline) : wingform;
    exporter.PluginImportExport_Export(file.string(), &f.main.AsNode(), &f.doc, nullptr, {}, {},
                                       "");
    EXPECT_FALSE(fs::exists(file)) << "the export wrote it";
  }
}

// The command: the findings of a selection only, as text or JSON, and the exit status.
TEST(SceneChecks, ValidateReportsTheSelectionAndExitsTwoOnAnError) {
  test::TempHome home;
  const fs::path scene = std::string(VLM_TEST_EXAMPLES_DIR) + "/hangar.json";
  auto r = test::Vlmhost({"validate", scene.string(), "--for", "obj8"});
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_THAT(r.output, ::testing::HasSubstr("warning: Hangar/Windsock: is animated"));
  r = test::Vlmhost(
      {"validate", scene.string(), "--for", "igs", "--select", "group:Hangar/Wing", "--json"});
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_THAT(r.output, ::testing::HasSubstr("\"findings\": []"));
  r = test::Vlmhost({"validate", scene.string(), "--for", "igs", "--select",
                     "faces:Hangar:box=100,100,100,101,101,101"});
  EXPECT_EQ(r.status, 2) << r.output;
  EXPECT_THAT(r.output, ::testing::HasSubstr("selects no face"));
  r = test::Vlmhost({"validate", scene.string(), "--for", "obj9"});
  EXPECT_EQ(r.status, 2) << r.output;
}

}  // namespace
}  // namespace vlm
