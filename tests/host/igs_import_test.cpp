// IGS files read back (host/exchange/igs_file, igs_import): an export imported and exported
// again gives the same file; damaged files name the record and byte where they break.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "exchange/igs_file.h"
#include "exchange/igs_import.h"
#include "scene/builder.h"
#include "scene/document.h"
#include "scene/scene_file.h"
#include "support/dialogs.h"
#include "support/igs_contents.h"
#include "support/temp_home.h"
#include "support/vlmhost.h"
#include "trackline/trackline.h"
#include "vlm/error.h"
#include "vlm/files.h"

namespace vlm {
namespace {

namespace fs = std::filesystem;
using host::HostDocument;
using test::IgsWorld;
using ::testing::HasSubstr;

// One Trackline export of `node` with the level-of-detail option `lod` (0 none, 1 automatic,
// 2 custom); the file's bytes, or "" when there was nothing to export.
std::string ExportIgs(HostDocument& doc, host::HostNode& node, int lod, const fs::path& file) {
  fs::remove(file);
  test::ScriptedScope dialogs("optLOD(" + std::to_string(lod) +
                              ")=1; click cmdOK; click cmdCancel");
  Trackline().PluginImportExport_Export(file.string(), &node.AsNode(), &doc, nullptr, {}, {}, "");
  return fs::exists(file) ? ReadFile(file) : std::string();
}

using WorldTriangle = std::array<Vec3, 3>;

// The triangles of the blocks below the first `tops` top-level blocks, in world space, in the
// host's corner order (the file stores corners 0, 2, 1).
std::vector<WorldTriangle> IgsWorldTriangles(const host::IgsContents& igs, size_t tops) {
  std::vector<WorldTriangle> out;
  const std::vector<int32_t> top = igs.TopBlocks();
  for (size_t b = 0; b < igs.blocks.size(); ++b) {
    int32_t root = static_cast<int32_t>(b);
    while (igs.blocks[static_cast<size_t>(root)].parent >= 0)
      root = igs.blocks[static_cast<size_t>(root)].parent;
    if (std::find(top.begin(),
                  top.begin() + static_cast<std::ptrdiff_t>(std::min(tops, top.size())),
                  root) == top.begin() + static_cast<std::ptrdiff_t>(std::min(tops, top.size())))
      continue;
    for (int32_t m : igs.blocks[b].meshes)
      for (const auto& t : igs.meshes[static_cast<size_t>(m)].triangles) {
        WorldTriangle w;
        const int32_t order[3] = {t.vertices[0], t.vertices[2], t.vertices[1]};
        for (size_t k = 0; k < 3; ++k) {
          const auto& p =
              igs.meshes[static_cast<size_t>(m)].vertices[static_cast<size_t>(order[k])].position;
          w[k] = IgsWorld(igs, static_cast<int32_t>(b), {p[0], p[1], p[2]});
        }
        out.push_back(w);
      }
  }
  return out;
}

void SceneTriangles(const host::HostNode& node, std::vector<WorldTriangle>& out) {
  const Mat4 world = node.WorldMatrix();
  for (const auto& mesh : node.meshes)
    for (size_t f = 0; f < mesh->FaceCount(); ++f) {
      const auto points = mesh->Points(f);
      for (size_t k = 1; k + 1 < points.size(); ++k) {
        WorldTriangle w;
        const size_t corners[3] = {0, k, k + 1};
        for (size_t c = 0; c < 3; ++c)
          w[c] =
              TransformPoint(mesh->vertices[static_cast<size_t>(points[corners[c]].vertex)], world);
        out.push_back(w);
      }
    }
  for (const auto& child : node.children)
    SceneTriangles(*child, out);
}

// Every scene of the examples and the test data, each top group in each level-of-detail mode:
// the file imported holds the triangles written, where they were, and exporting the import
// with the same option writes the same file.
TEST(IgsImport, ExportImportExportGivesTheSameFile) {
  test::TempHome home;
  std::vector<fs::path> scenes;
  for (const fs::path& dir : {fs::path(VLM_TEST_EXAMPLES_DIR), fs::path(VLM_TEST_DATA_DIR)})
    for (const auto& entry : fs::directory_iterator(dir))
      if (entry.path().extension() == ".json") scenes.push_back(entry.path());
  std::sort(scenes.begin(), scenes.end());
  int files = 0;
  for (const fs::path& scene : scenes) {
    std::unique_ptr<HostDocument> doc;
    try {
      doc = host::LoadScene(scene);
    } catch (const Error&) {
      continue;  // the test data's broken scenes
    }
    for (size_t g = 0; g < doc->Root().children.size(); ++g)
      for (int lod = 0; lod < 3; ++lod) {
        const std::string what = scene.filename().string() + " group " + std::to_string(g) +
                                 " mode " + std::to_string(lod);
        const std::string first =
            ExportIgs(*doc, *doc->Root().children[g], lod, home.Path() / "a.igs");
        if (first.empty()) continue;
        ++files;
        const host::IgsContents igs = test::ReadIgs(first);
        // Through the scene file, as vlmhost import writes it.
        host::ImportedModel model = host::ImportIgs(igs, home.Path().string());
        std::unique_ptr<HostDocument> back =
            host::ParseScene(host::SerializeScene(*model.document, "back.json"), "back.json");
        const std::string again =
            ExportIgs(*back, *back->Root().children[0], lod, home.Path() / "b.igs");
        EXPECT_EQ(again == first, true) << what;
        const host::IgsContents reread = test::ReadIgs(again);
        EXPECT_EQ(reread.textureNames, igs.textureNames) << what;
        std::vector<std::pair<int32_t, int32_t>> levels, levelsAgain;
        for (int32_t b : igs.TopBlocks())
          levels.push_back({igs.blocks[static_cast<size_t>(b)].level,
                            igs.blocks[static_cast<size_t>(b)].distance});
        for (int32_t b : reread.TopBlocks())
          levelsAgain.push_back({reread.blocks[static_cast<size_t>(b)].level,
                                 reread.blocks[static_cast<size_t>(b)].distance});
        EXPECT_EQ(levelsAgain, levels) << what;
        // Automatic levels come back as the first level's tree; the others whole.
        const std::vector<WorldTriangle> written = IgsWorldTriangles(igs, lod == 1 ? 1 : 1000);
        std::vector<WorldTriangle> imported;
        SceneTriangles(back->Root(), imported);
        ASSERT_EQ(imported.size(), written.size()) << what;
        for (size_t t = 0; t < written.size(); ++t)
          for (size_t c = 0; c < 3; ++c)
            for (float Vec3::*axis : {&Vec3::x, &Vec3::y, &Vec3::z})
              EXPECT_NEAR(imported[t][c].*axis, written[t][c].*axis,
                          1e-5f * std::max(1.0f, std::fabs(written[t][c].*axis)))
                  << what << " triangle " << t;
      }
  }
  EXPECT_GE(files, 3);
}

// Scenes the examples do not have: custom levels whose distances repeat, read back as custom
// levels; a group with more children than a block lists, whose grouping blocks come back as
// groups that export to the same blocks.
TEST(IgsImport, RepeatedLevelDistancesAndGroupingBlocksComeBack) {
  const struct {
    std::vector<std::string> tops;  // top-level groups, each with a box
    int children;                   // groups with a box under the first
    int lod;
    std::string levels;  // the import's line on the levels of detail
  } cases[] = {
      {{"body", "body_300", "body_1000"}, 0, 2, "levels of detail: custom"},
      {{"rack"}, 30, 0, "levels of detail: none"},
  };
  test::TempHome home;
  for (const auto& c : cases) {
    HostDocument doc;
    host::HostMaterial& alu = doc.NewMaterial("Alu");
    alu.hasTextures = true, alu.diffuseMap = "alu.bmp";
    for (const std::string& name : c.tops)
      host::AddBox(host::AddGroup(doc.Root(), name), "Box", {}, {1, 1, 1}, &alu);
    for (int k = 0; k < c.children; ++k)
      host::AddBox(
          host::AddGroup(*doc.Root().children[0], "slot" + std::to_string(k), {float(k), 0, 0}),
          "Box", {}, {1, 1, 1}, &alu);
    const std::string first = ExportIgs(doc, *doc.Root().children[0], c.lod, home.Path() / "a.igs");
    ASSERT_FALSE(first.empty()) << c.tops[0];
    host::ImportedModel model = host::ImportIgs(test::ReadIgs(first), home.Path().string());
    EXPECT_THAT(model.log, ::testing::Contains(HasSubstr(c.levels))) << c.tops[0];
    std::unique_ptr<HostDocument> back =
        host::ParseScene(host::SerializeScene(*model.document, "back.json"), "back.json");
    EXPECT_EQ(ExportIgs(*back, *back->Root().children[0], c.lod, home.Path() / "b.igs") == first,
              true)
        << c.tops[0];
  }
}

// Damaged files are refused naming the file, the record and the byte where it breaks;
// vlmhost import says so with exit status 2 and writes nothing.
TEST(IgsImport, DamagedFilesNameTheRecordAndItsOffset) {
  test::TempHome home;
  std::unique_ptr<HostDocument> doc =
      host::LoadScene(fs::path(VLM_TEST_EXAMPLES_DIR) / "hangar.json");
  const std::string good = ExportIgs(*doc, *doc->Root().children[0], 0, home.Path() / "h.igs");
  ASSERT_FALSE(good.empty());
  const host::IgsContents igs = test::ReadIgs(good);
  auto with = [&](size_t at, int32_t value) {
    std::string bytes = good;
    for (size_t k = 0; k < 4; ++k)
      bytes[at + k] = static_cast<char>((static_cast<uint32_t>(value) >> (8 * k)) & 0xFF);
    return bytes;
  };
  const host::IgsMeshRecord& mesh = igs.meshes[0];
  const struct {
    std::string bytes, message;
  } cases[] = {
      {good.substr(0, 100), "the header at byte 0: the file is 100 bytes long"},
      {"KIGX" + good.substr(4), "the header at byte 0: it does not start with \"KIGF\""},
      {with(4, 150), "the header at byte 4: version 150"},
      {with(116, 1000000),
       "the material array at byte 216: 1000000 records of 1788 bytes run past"},
      {with(mesh.triangleArray + 4, 7), "mesh 0's triangle 0's corner at byte " +
                                            std::to_string(mesh.triangleArray + 4) +
                                            ": the reference 7 names no record"},
      {with(igs.blocks[0].offset + 112, 25), "block 0 at byte " +
                                                 std::to_string(igs.blocks[0].offset + 112) +
                                                 ": the child count 25 is outside 0 to 24"},
      {with(igs.blocks[0].offset + 108, static_cast<int32_t>(igs.blocks[1].offset)),
       "block 1 at byte " + std::to_string(igs.blocks[1].offset + 108) +
           ": its parents lead back to itself"},
      // Arrays laid over the same bytes: the counts claim more than the file holds.
      {[&] {
         std::string bytes = good;
         const uint32_t at = igs.meshes[1].offset;
         const int32_t count = static_cast<int32_t>((good.size() - 216) / 240);
         bytes = with(at + 4, count);
         for (size_t k = 0; k < 4; ++k)
           bytes[at + 8 + k] = static_cast<char>((216u >> (8 * k)) & 0xFF);
         return bytes;
       }(),
       "mesh 1's vertex array at byte " + std::to_string(igs.meshes[1].offset + 4) +
           ": the count " + std::to_string((good.size() - 216) / 240) +
           " brings the records of the file's arrays to"},
      {good.substr(0, good.size() - 1), "the texture name table at byte " +
                                            std::to_string(igs.chunkOffset + 44) +
                                            ": its string area of"},
  };
  for (const auto& c : cases) {
    try {
      host::ReadIgs(c.bytes, "h.igs");
      ADD_FAILURE() << c.message;
    } catch (const Error& e) {
      EXPECT_THAT(e.Description(), HasSubstr("h.igs: " + c.message));
    }
  }
  const fs::path bad = home.Path() / "bad.igs";
  std::ofstream(bad, std::ios::binary) << cases[4].bytes;
  const test::ProgramResult r =
      test::Vlmhost({"import", bad.string(), "-o", (home.Path() / "bad.json").string()});
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.output, HasSubstr(cases[4].message));
  EXPECT_FALSE(fs::exists(home.Path() / "bad.json"));
}

// vlmhost import of a written file, exported again from the command line: the same file.
TEST(IgsImport, TheCommandLineGivesTheFileBack) {
  test::TempHome home;
  const fs::path a = home.Path() / "hangar.igs", scene = home.Path() / "back.json",
                 b = home.Path() / "again.igs";
  const std::string lods = "optLOD(1)=1; click cmdOK; click cmdCancel";
  const std::string example = std::string(VLM_TEST_EXAMPLES_DIR) + "/hangar.json";
  ASSERT_EQ(
      test::Vlmhost({"register", std::string(VLM_TEST_PLUGIN_DIR) + "/libtrackline.so"}).status, 0);
  ASSERT_EQ(test::Vlmhost({"run", "trackline", example, "--select", "group:Hangar", "--ui", lods,
                           "-o", a.string(), "--quiet"})
                .status,
            0);
  const test::ProgramResult imported = test::Vlmhost({"import", a.string(), "-o", scene.string()});
  ASSERT_EQ(imported.status, 0) << imported.output;
  EXPECT_THAT(imported.output, HasSubstr("levels of detail: automatic"));
  ASSERT_EQ(test::Vlmhost({"run", "trackline", scene.string(), "--select", "group:Hangar", "--ui",
                           lods, "-o", b.string(), "--quiet"})
                .status,
            0);
  EXPECT_EQ(ReadFile(b) == ReadFile(a), true);
}

}  // namespace
}  // namespace vlm
