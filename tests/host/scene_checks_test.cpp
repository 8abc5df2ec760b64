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
#include "support/temp_home.h"
#include "support/vlmhost.h"

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
  const std::string longName(26, 'n');
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
      {"25 children of one block", igs,
       [](Fixture& f) {
         for (int k = 0; k < 25; ++k)
           host::AddBox(host::AddGroup(f.main, "c" + std::to_string(k)), "B", {}, {1, 1, 1},
                        &f.wood);
       },
       "igs-children", true, "Main"},
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
       "untextured", false, "Wood"},
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
