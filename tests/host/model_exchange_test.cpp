// Models brought in through the exchange library and written by the exporters: what the
// simulators get stands as the source stood, and OBJ8 exports import back as their scenes.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "exchange/model_import.h"
#include "scene/document.h"
#include "scene/scene_file.h"
#include "support/dialogs.h"
#include "support/igs_contents.h"
#include "support/model_triangles.h"
#include "support/obj8_checks.h"
#include "support/temp_home.h"
#include "support/vlmhost.h"
#include "support/warnings.h"
#include "trackline/trackline.h"
#include "vlm/files.h"
#include "wingform/wingform.h"

namespace vlm {
namespace {

namespace fs = std::filesystem;
using host::HostDocument;
using test::Box;
using test::IgsWorld;
using test::kModels;
using test::kModelsTable;
using test::LibraryTriangles;
using test::ModelCase;
using test::Triangle;
using ::testing::IsEmpty;

// Both exporters, given the top group of an import, write the model standing as its source
// does: the world box of what they write (OBJ8 right-handed, IGS in the host's axes) has the
// shape of the box of the library's own read.
TEST(ModelExchange, ExportsOfTheTopGroupStandAsTheSourceDoes) {
  for (const ModelCase& c : kModelsTable) {
    test::TempHome home;
    const fs::path file = kModels / c.file;
    // Trackline leaves out faces without a texture.
    Box want, textured;
    for (const Triangle& t : LibraryTriangles(file))
      for (Vec3 p : t.corners) {
        want.Add(p);
        if (!t.diffuse.empty()) textured.Add(p);
      }
    // IGS block names are short.
    host::ImportedModel model = host::ImportModel(file, {"Model"});
    HostDocument& doc = *model.document;
    Node* top = &doc.Root().children[0]->AsNode();
    {
      test::ScriptedScope dialogs("click cmdOK; click cmdCancel");
      ASSERT_EQ(Wingform().PluginImportExport_Export((home.Path() / "m.obj").string(), top, &doc,
                                                     nullptr, {}, {}, ""),
                StatusOk)
          << c.file;
    }
    // Wingform writes one file for each texture.
    Box obj8;
    for (const auto& entry : fs::directory_iterator(home.Path()))
      if (entry.path().extension() == ".obj")
        for (const auto& v : test::ReadObj8File(entry.path()).vertices)
          obj8.Add({v[0], v[1], -v[2]});
    {
      test::ScriptedScope dialogs("");
      ASSERT_EQ(Trackline().PluginImportExport_Export((home.Path() / "m.igs").string(), top, &doc,
                                                      nullptr, {}, {}, ""),
                StatusOk)
          << c.file;
    }
    const std::string bytes = test::ReadBytes(home.Path() / "m.igs");
    const host::IgsContents igs = textured.Size() > 0 ? test::ReadIgs(bytes) : host::IgsContents{};
    Box igsBox;
    for (size_t b = 0; b < igs.blocks.size(); ++b)
      for (int32_t mesh : igs.blocks[b].meshes)
        for (const auto& v : igs.meshes[static_cast<size_t>(mesh)].vertices)
          igsBox.Add(IgsWorld(igs, static_cast<int32_t>(b),
                              {v.position[0], v.position[1], v.position[2]}));
    for (size_t k = 0; k < 6; ++k) {
      EXPECT_NEAR(obj8.Shape()[k], want.Shape()[k], 1e-3) << c.file << " as OBJ8, " << k;
      if (textured.Size() > 0) {
        EXPECT_NEAR(igsBox.Shape()[k], textured.Shape()[k], 1e-3) << c.file << " as IGS, " << k;
      }
    }
  }
}

// An arrow pointing +x at z = 0.5, facing +z, painted with an F, brought in from two formats
// and written by Wingform: OBJ8 is right-handed with +y up like both sources, so every
// position and normal comes out as the source wrote it, and texture coordinates count from
// the bottom left of the image as OBJ does (glTF counts from the top: 1 - v). Wingform lists
// the last fan triangle first; OBJ8 faces are clockwise seen from the front.
TEST(ModelExchange, AnArrowStandsInTheSimulatorAsItStoodInItsSource) {
  // x y z nx ny nz u v of the five corners; u and v are the source's own. Wingform adds the
  // corners as it meets them, last fan triangle first: the OBJ pentagon's fan (0, 4, 3),
  // (0, 3, 2), (0, 2, 1) from its end, the glTF's three triangles (0, 2, 1), (0, 3, 2),
  // (0, 4, 3) likewise.
  using V = std::array<float, 8>;
  const V p0{0, 0, 0.5f, 0, 0, 1, 0, 0}, p1{2, 0, 0.5f, 0, 0, 1, 0.5f, 0},
      p2{3, 0.5f, 0.5f, 0, 0, 1, 0.75f, 0.25f}, p3{2, 2, 0.5f, 0, 0, 1, 0.5f, 1},
      p4{0, 1, 0.5f, 0, 0, 1, 0, 0.5f};
  const struct {
    const char* source;
    std::vector<V> vertices;
    std::vector<int> indices;  // each triangle clockwise seen from +z, the side it faces
  } cases[] = {{"arrow.obj", {p0, p2, p1, p3, p4}, {0, 1, 2, 0, 3, 1, 0, 4, 3}},
               {"arrow.gltf", {p0, p4, p3, p2, p1}, {0, 1, 2, 0, 2, 3, 0, 3, 4}}};
  for (const auto& c : cases) {
    test::TempHome home;
    const host::ImportedModel model = host::ImportModel(fs::path(VLM_TEST_DATA_DIR) / c.source);
    test::ScriptedScope dialogs("click cmdOK; click cmdCancel");
    Wingform wingform;
    HostDocument& doc = *model.document;
    const fs::path out = home.Path() / "arrow.obj";
    ASSERT_EQ(wingform.PluginImportExport_Export(out.string(), &doc.Root().children[0]->AsNode(),
                                                 &doc, nullptr, {}, {}, ""),
              StatusOk);
    const test::Obj8Written f = test::ReadObj8File(out);
    EXPECT_THAT(f.problems, IsEmpty());
    EXPECT_EQ(f.textures[0], "arrow_F.png");
    EXPECT_EQ(f.vertices, c.vertices) << c.source;
    EXPECT_EQ(f.indices, c.indices) << c.source;
  }
}

// A triangle as OBJ8 round trips carry it: corners in metres in the exported group's frame,
// their texture coordinates (none to compare where the texture clamps or mirrors: Wingform
// folds those), and the texture names of its material in lower case.
struct TexturedTriangle {
  std::array<Vec3, 3> corners;
  std::array<Vec2, 3> uvs;
  bool repeats = true;
};
using TrianglesByTexture = std::map<std::string, std::vector<TexturedTriangle>>;

std::string TextureKey(const host::HostMaterial* m) {
  std::string key;
  if (m && m->hasTextures)
    key = m->diffuseMap + "|" + m->bumpMap + "|" + m->detailMap;
  else
    key = "||";
  std::transform(key.begin(), key.end(), key.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  return key;
}

void AddTriangles(const host::HostMesh& mesh, const Mat4& frame, float scale,
                  TrianglesByTexture& out) {
  for (size_t f = 0; f < mesh.FaceCount(); ++f) {
    const auto points = mesh.Points(f);
    const host::HostMaterial* m = mesh.FaceMaterial(f);
    const auto corner = [&](size_t k) {
      return TransformPoint(mesh.vertices[static_cast<size_t>(points[k].vertex)], frame) * scale;
    };
    const auto uv = [&](size_t k) {
      return points[k].uv < 0 ? Vec2{} : mesh.uvs[static_cast<size_t>(points[k].uv)];
    };
    const bool repeats = !m || (m->wrapU == TextureWrap::Repeat && m->wrapV == TextureWrap::Repeat);
    for (size_t k = 1; k + 1 < points.size(); ++k)
      out[TextureKey(m)].push_back(
          {{corner(0), corner(k), corner(k + 1)}, {uv(0), uv(k), uv(k + 1)}, repeats});
  }
}

// The scene's triangles as Wingform gathers them from `group`: each group's children before
// its own objects, animated groups left out, in the group's frame.
void SceneTriangles(const host::HostNode& node, const Mat4& frame, float scale,
                    TrianglesByTexture& out) {
  for (const auto& child : node.children)
    if (child->animationKeys < 3)
      SceneTriangles(*child, Multiply(child->LocalMatrix(), frame), scale, out);
  for (const auto& mesh : node.meshes)
    AddTriangles(*mesh, frame, scale, out);
}

void ExpectSameTriangles(const TrianglesByTexture& got, const TrianglesByTexture& want,
                         const std::string& what) {
  std::vector<std::string> gotKeys, wantKeys;
  for (const auto& [key, list] : got)
    gotKeys.push_back(key);
  for (const auto& [key, list] : want)
    wantKeys.push_back(key);
  ASSERT_EQ(gotKeys, wantKeys) << what;
  for (const auto& [key, wanted] : want) {
    const auto& imported = got.at(key);
    ASSERT_EQ(imported.size(), wanted.size()) << what << " " << key;
    for (size_t i = 0; i < wanted.size(); ++i)
      for (size_t c = 0; c < 3; ++c) {
        const Vec3 d = imported[i].corners[c] - wanted[i].corners[c];
        const Vec3 p = wanted[i].corners[c];
        // Five decimals are written; a float holds about seven digits of a large value.
        const float tolerance =
            6e-6f + 2e-7f * std::max({std::abs(p.x), std::abs(p.y), std::abs(p.z)});
        const float du = imported[i].uvs[c].u - wanted[i].uvs[c].u;
        const float dv = imported[i].uvs[c].v - wanted[i].uvs[c].v;
        if (std::abs(d.x) > tolerance || std::abs(d.y) > tolerance || std::abs(d.z) > tolerance ||
            (wanted[i].repeats && (std::abs(du) > 2e-5f || std::abs(dv) > 2e-5f))) {
          ADD_FAILURE() << what << ": " << key << " triangle " << i << " corner " << c
                        << " is off by (" << d.x << ", " << d.y << ", " << d.z << ") uv (" << du
                        << ", " << dv << ")";
          return;
        }
      }
  }
}

// Every scene of the examples and the tests, and a few imported models, exported by Wingform
// in each level-of-detail mode and imported back: the nearest level holds the scene's
// triangles (in the exported group's frame, to the written digits, in the scene's order for
// each texture set), with the scene's texture names; the levels follow each other from 0 to
// the farthest distance.
TEST(ModelExchange, Obj8ExportsImportBackAsTheirScenes) {
  struct Source {
    fs::path file;
    bool model = false;  // imported through the exchange library
  };
  const Source sources[] = {
      {fs::path(VLM_TEST_EXAMPLES_DIR) / "hangar.json"},
      {fs::path(VLM_TEST_EXAMPLES_DIR) / "tile.json"},
      {fs::path(VLM_TEST_DATA_DIR) / "scene_example.json"},
      {fs::path(VLM_TEST_DATA_DIR) / "arrow.gltf", true},
      {kModels / "glTF2/BoxTextured-glTF/BoxTextured.gltf", true},
      {kModels / "FBX/cubes_with_mirroring_and_pivot.fbx", true},
  };
  const char* modes[] = {"optLOD(0)=1", "optLOD(1)=1", "optLOD(2)=1; txtDist=5000"};
  for (const Source& source : sources) {
    std::unique_ptr<HostDocument> doc =
        source.model ? host::ImportModel(source.file).document : host::LoadScene(source.file);
    for (const auto& group : doc->Root().children)
      for (const char* mode : modes) {
        const std::string what = source.file.filename().string() + " " + group->name + " " + mode;
        test::TempHome home;
        {
          test::CollectedWarnings missingTextures;
          test::ScriptedScope dialogs(std::string(mode) + "; click cmdOK; click cmdCancel");
          ASSERT_EQ(Wingform().PluginImportExport_Export((home.Path() / "m.obj").string(),
                                                         &group->AsNode(), doc.get(), nullptr, {},
                                                         {}, ""),
                    StatusOk)
              << what;
        }
        TrianglesByTexture want;
        SceneTriangles(*group, Mat4::Identity(), doc->MetresPerUnit(), want);
        const host::ImportedModel back = host::ImportModel(home.Path() / "m.obj");
        ASSERT_EQ(back.document->Root().children.size(), 1u) << what;
        const host::HostNode& top = *back.document->Root().children[0];
        EXPECT_EQ(top.name, "m") << what;
        // The nearest level: the objects outside every level and those of the level from 0.
        TrianglesByTexture got;
        float reached = 0;
        for (const auto& mesh : top.meshes)
          AddTriangles(*mesh, Mat4::Identity(), 1, got);
        for (const auto& level : top.children) {
          float nearDistance = 0, farDistance = 0;
          ASSERT_EQ(std::sscanf(level->name.c_str(), "LOD %f-%f", &nearDistance, &farDistance), 2)
              << what << " " << level->name;
          EXPECT_EQ(nearDistance, reached) << what << " " << level->name;
          reached = farDistance;
          if (nearDistance == 0)
            for (const auto& mesh : level->meshes)
              AddTriangles(*mesh, Mat4::Identity(), 1, got);
        }
        if (std::string(mode) == "optLOD(1)=1")
          EXPECT_TRUE(reached == 0 || reached == 2000) << what;
        else
          EXPECT_EQ(top.children.size(), 0u) << what;
        ExpectSameTriangles(got, want, what);
        if (std::string(mode) != "optLOD(0)=1") continue;
        // Exported again, the import gives the same files.
        {
          test::CollectedWarnings missingTextures;
          test::ScriptedScope dialogs("click cmdOK; click cmdCancel");
          ASSERT_EQ(
              Wingform().PluginImportExport_Export((home.Path() / "again.obj").string(),
                                                   &back.document->Root().children[0]->AsNode(),
                                                   back.document.get(), nullptr, {}, {}, ""),
              StatusOk)
              << what;
        }
        for (int k = 0;; ++k) {
          const std::string suffix = k == 0 ? ".obj" : "." + std::to_string(k) + ".obj";
          const bool first = fs::exists(home.Path() / ("m" + suffix));
          ASSERT_EQ(fs::exists(home.Path() / ("again" + suffix)), first) << what << suffix;
          if (!first) break;
          auto lines = test::ReadObj8File(home.Path() / ("m" + suffix)).lines;
          auto again = test::ReadObj8File(home.Path() / ("again" + suffix)).lines;
          ASSERT_GE(lines.size(), 3u) << what << suffix;
          ASSERT_GE(again.size(), 3u) << what << suffix;
          lines.erase(lines.begin() + 1), again.erase(again.begin() + 1);  // the date
          EXPECT_EQ(again, lines) << what << suffix;
        }
      }
  }
}

}  // namespace
}  // namespace vlm
