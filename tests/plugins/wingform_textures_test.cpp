// Wingform's textures: the names it writes and checks, and the coordinates it folds.
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

TEST_F(WingformExport, TextureNamesWithControlCharactersStopTheExport) {
  const struct {
    std::string diffuse, bump, detail, stop;
  } cases[] = {
      {"wall.png\r\nTRIS 0 999999", "", "",
       "its texture name \"wall.png\\r\\nTRIS 0 999999\" holds a carriage return (0x0D)"},
      {"wall.png", std::string("lit\0.png", 8), "",
       "its lit texture name \"lit\\0.png\" holds a NUL (0x00)"},
      {"wall.png", "", "normal\x1b.png",
       "its normal texture name \"normal\\x1B.png\" holds a control character (0x1B)"},
  };
  HostNode& main = AddGroup(doc.Root(), "main");
  AddBox(main, "Floor", {}, {5, 0.1f, 5}, &Textured("Stone", "stone.png"));
  HostMaterial& wall = Textured("Wall", "");
  AddBox(main, "Walls", {}, {5, 2, 5}, &wall);
  mayFail = true;
  for (const auto& c : cases) {
    wall.diffuseMap = c.diffuse, wall.bumpMap = c.bump, wall.detailMap = c.detail;
    EXPECT_TRUE(Failed(Export("click cmdOK; click cmdCancel"))) << c.stop;
    EXPECT_THAT(Log(), Contains("Export failed: group \"main\": Material 1 in Walls: " + c.stop +
                                ", which the file cannot carry."));
    EXPECT_THAT(WrittenFiles(), IsEmpty()) << c.stop;
  }
}

// A group of one shape is checked from its triangles; a material that no triangle uses (a
// face of two points) must still be checked.
TEST_F(WingformExport, TextureNamesOfALoneShapeAreCheckedToo) {
  // The second case moves the triangles to a good material and leaves the bad one only on
  // a face of two points.
  const std::string cases[] = {"Material 1 in Walls: its texture name \"wall\\r.png\"",
                               "Material 2 in Walls: its texture name \"wall\\r.png\""};
  HostMaterial& wall = Textured("Wall", "wall\r.png");
  host::HostMesh& walls = AddBox(AddGroup(doc.Root(), "main"), "Walls", {}, {5, 2, 5}, &wall);
  mayFail = true;
  for (const std::string& stop : cases) {
    if (&stop != &cases[0]) {
      HostMaterial& stone = Textured("Stone", "stone.png");
      for (size_t face = 0; face < walls.FaceCount(); ++face)
        walls.SetFaceMaterial(face, &stone);
      const host::HostPoint edge[] = {{0, -1, -1}, {1, -1, -1}};
      walls.AddFace(edge, &wall);
    }
    EXPECT_TRUE(Failed(Export("click cmdOK; click cmdCancel"))) << stop;
    EXPECT_THAT(Log(), Contains(HasSubstr("Export failed: group \"main\": " + stop))) << stop;
    EXPECT_THAT(WrittenFiles(), IsEmpty()) << stop;
  }
}

// The texel a coordinate samples along an axis of `size` texels, counted from the edge the
// coordinate counts from, with the texture wrapped as given.
int Texel(float x, TextureWrap wrap, int size) {
  float f = x - std::floor(x);
  if (wrap == TextureWrap::Clamp) f = std::clamp(x, 0.0f, 1.0f);
  if (wrap == TextureWrap::Mirror) {
    const float t = x - 2 * std::floor(x / 2);
    f = t <= 1 ? t : 2 - t;
  }
  return std::min(static_cast<int>(f * static_cast<float>(size)), size - 1);
}

// The host counts v from the top row of the image, OBJ8 from the bottom one. Each triangle's
// corners and centre must sample the texels the source samples, both with the source's own
// wrap (which 1 - v keeps for every mode, where -v keeps it only for a repeating texture) and
// with X-Plane's repeating, unless the triangle reaches where no coordinates can show a
// clamped or mirrored texture X-Plane's way; then the export warns.
TEST_F(WingformExport, TextureCoordinatesSampleTheSourcesTexelsForEveryWrap) {
  using W = TextureWrap;
  const struct {
    const char* name;
    W u, v;
    std::array<Vec2, 3> uvs;
    bool shownRepeating;
  } cases[] = {
      {"Repeat", W::Repeat, W::Repeat, {{{-1.7f, 0.3f}, {2.3f, 0.45f}, {0.2f, 3.1f}}}, true},
      {"Clamp", W::Clamp, W::Clamp, {{{0.1f, 0.05f}, {0.9f, 0.3f}, {0.45f, 0.95f}}}, true},
      {"ClampPastTheEdge",
       W::Repeat,
       W::Clamp,
       {{{0.1f, 0.3f}, {0.9f, 0.45f}, {0.5f, 1.4f}}},
       false},
      {"MirrorInTile1", W::Mirror, W::Repeat, {{{1.1f, 0.3f}, {1.8f, 0.45f}, {1.45f, 0.9f}}}, true},
      {"MirrorInTileMinus1",
       W::Repeat,
       W::Mirror,
       {{{0.1f, -0.3f}, {0.8f, -0.9f}, {0.5f, -0.15f}}},
       true},
      {"MirrorAcrossTiles",
       W::Mirror,
       W::Clamp,
       {{{0.6f, 0.3f}, {1.4f, 0.45f}, {1.0f, 0.9f}}},
       false},
  };
  test::CollectedWarnings warnings;
  WriteFileAtomically(out / "tex.png", "png");
  for (const auto& c : cases) {
    HostMaterial& m = Textured(std::string("M") + c.name, "tex.png");
    m.wrapU = c.u, m.wrapV = c.v;
    HostNode& group = AddGroup(doc.Root(), c.name);
    host::HostMesh& mesh = host::AddPolygonMesh(group, "T", {{0, 0, 0}, {1, 0, 0}, {0, 0, 1}}, &m);
    mesh.uvs.assign(c.uvs.begin(), c.uvs.end());
    warnings.list.clear();
    ASSERT_EQ(Export("click cmdOK; click cmdCancel", "t.obj", &group), StatusOk) << c.name;
    const auto triangles = Read("t.obj").Triangles(0);
    ASSERT_EQ(triangles.size(), 1u) << c.name;
    const auto& t = triangles[0];
    constexpr int size = 8;
    // Corners, then the centre, each as a blend of the three corners.
    const std::array<float, 3> weights[] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0.3f, 0.35f, 0.35f}};
    for (const auto& w : weights) {
      float su = 0, sv = 0, ou = 0, ov = 0;
      for (size_t k = 0; k < 3; ++k) {
        su += w[k] * c.uvs[k].u, sv += w[k] * c.uvs[k].v;
        ou += w[k] * t[k][6], ov += w[k] * t[k][7];
      }
      const std::pair<int, int> source{Texel(su, c.u, size), Texel(sv, c.v, size)};
      const std::pair<int, int> ownWrap{Texel(ou, c.u, size), size - 1 - Texel(ov, c.v, size)};
      const std::pair<int, int> repeating{Texel(ou, W::Repeat, size),
                                          size - 1 - Texel(ov, W::Repeat, size)};
      EXPECT_EQ(ownWrap, source) << c.name << " at " << su << ", " << sv;
      if (c.shownRepeating) {
        EXPECT_EQ(repeating, source) << c.name << " at " << su << ", " << sv;
      }
    }
    if (c.shownRepeating) {
      EXPECT_THAT(warnings.list, IsEmpty()) << c.name;
    } else {
      EXPECT_THAT(warnings.list, ElementsAre(HasSubstr("1 triangle of \"tex.png\" reaches past")))
          << c.name;
    }
  }
}

// The export names each texture as the scene does; a name its readers cannot follow from the
// export's folder is warned about. When the host copies the textures beside the export, the
// file names them without folders and notes each for the host instead.
TEST_F(WingformExport, TextureNamesThatDoNotLeadToAFileAreWarnedAbout) {
  const struct {
    std::string diffuse;
    const char* choice;
    bool copy;
    std::string written, warning;  // "" for none
  } cases[] = {
      {"wood.png", "optTex(0)=1", false, "wood.png", ""},
      {"maps\\wood.png", "optTex(0)=1", false, "maps\\wood.png", "with \"\\\" between folders"},
      {"D:\\projects\\wood.png", "optTex(0)=1", false, "D:\\projects\\wood.png",
       "names the texture \"D:\\projects\\wood.png\" by an absolute path"},
      {"/home/me/wood.png", "optTex(0)=1", false, "/home/me/wood.png", "by an absolute path"},
      {"oak.png", "optTex(0)=1", false, "oak.png",
       "names the texture \"oak.png\", which does not exist relative to the export (looked for " +
           (out / "oak.png").string() + ")"},
      {"wood.png", "optTex(1)=1", false, "wood.dds",
       "names the texture \"wood.png\" (written \"wood.dds\"), which does not exist"},
      {"D:\\projects\\wood.png", "optTex(1)=1", true, "wood.dds", ""},
      {"my wood.png", "optTex(0)=1", false, "my wood.png",
       "names the texture \"my wood.png\" with a blank: X-Plane reads it only as far as \"my\""},
  };
  fs::create_directories(out / "maps");
  WriteFileAtomically(out / "wood.png", "png");
  WriteFileAtomically(out / "maps" / "wood.png", "png");
  WriteFileAtomically(out / "my wood.png", "png");
  HostMaterial& wood = Textured("Wood", "");
  AddBox(AddGroup(doc.Root(), "main"), "Crate", {}, {1, 1, 1}, &wood);
  for (const auto& c : cases) {
    wood.diffuseMap = c.diffuse;
    test::CollectedWarnings warnings;
    ClearNamedFiles();
    SetCopyNamedFiles(c.copy);
    ASSERT_EQ(Export(std::string(c.choice) + "; click cmdOK; click cmdCancel"), StatusOk);
    SetCopyNamedFiles(false);
    EXPECT_EQ(Read("house.obj").textures[0], c.written) << c.diffuse;
    test::ExpectTextureReport(warnings.list, c.warning, c.copy, c.diffuse, c.written);
    if (c.copy) {
      EXPECT_EQ(NamedFiles().at(0).output, (out / "house.obj").string());
    }
  }
}

}  // namespace
}  // namespace vlm
