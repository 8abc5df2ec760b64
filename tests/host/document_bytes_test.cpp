// A document sent as bytes (host/scene/document_bytes): it reads back as the scene text of the
// same document reads back, what only the text carries goes as text, and damaged bytes are
// refused.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "exchange/model_import.h"
#include "exchange/model_reader_process.h"
#include "scene/builder.h"
#include "scene/document_bytes.h"
#include "scene/scene_file.h"
#include "support/model_triangles.h"
#include "vlm/error.h"

namespace vlm {
namespace {

namespace fs = std::filesystem;
using test::kModels;

// The groups' numbers, in the order of the tree, which the scene text does not show.
void Ids(const host::HostNode& node, std::vector<int32_t>& out) {
  out.push_back(node.Id());
  for (const auto& child : node.children)
    Ids(*child, out);
}
std::vector<int32_t> Ids(const host::HostDocument& document) {
  std::vector<int32_t> out;
  Ids(document.Root(), out);
  return out;
}

// What a scene text round trip makes of a document: its text read back, or its error.
std::string ThroughText(const host::HostDocument& document, std::vector<int32_t>* ids = nullptr) {
  try {
    const auto back = host::ParseScene(host::SerializeScene(document, "m.obj"), "m.obj");
    if (ids) *ids = Ids(*back);
    return host::SerializeScene(*back);
  } catch (const Error& e) {
    return "error: " + e.Description();
  }
}

// A document with a bit of everything the scene text holds: custom fields, materials with
// textures, wrap modes and fields, nested groups with frames, faces of several materials and
// none, a removed face, an object without normals or texture coordinates.
std::unique_ptr<host::HostDocument> Everything(bool grid = true) {
  auto doc = std::make_unique<host::HostDocument>();
  doc->units = 2;
  const int32_t note = doc->DefineNodeField("note");
  doc->DefineNodeField("unused");
  const int32_t grade = doc->DefineMaterialField("grade");
  host::HostMaterial& brick = doc->NewMaterial("Brick");
  brick.diffuse = {0.1f, 0.2f, 0.3f};
  brick.gloss = 0.25f;
  brick.translucency = 40;
  brick.SetDiffuseTexture("brick.png");
  brick.SetBumpTexture("bump \xc3\xa9.png");
  brick.wrapU = TextureWrap::Clamp;
  brick.SetCustomField(grade, "A");
  host::HostMaterial& glass = doc->NewMaterial("Glass \"clear\"");
  glass.hasTextures = true;  // a texture set with no names
  glass.wrapU = glass.wrapV = TextureWrap::Mirror;
  host::HostNode& hangar =
      host::AddGroup(doc->Root(), "Hangar", {1, 2, 3}, {0, 0.6f, 0.8f}, {0, 0.8f, -0.6f});
  hangar.SetField(note, "big \xe2\x9c\x88");
  hangar.animationKeys = 3;
  host::HostNode& door = host::AddGroup(hangar, "Door", {-0.0f, 1e-40f, 7});
  host::HostMesh& box = host::AddBox(door, "Box", {0, 0, 0}, {1, 2, 3}, &brick);
  box.SetFaceMaterial(1, &glass);
  box.SetFaceMaterial(2, &doc->DefaultMaterial());
  box.RemoveFace(3);
  box.smoothingAngle = 45;
  box.kind = 2;
  host::HostMesh& bare = doc->NewMesh(doc->Root(), "Bare");
  bare.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0.1f, 0.2f, 0.3f}};
  bare.AddFace(std::vector<host::HostPoint>{{0, -1, -1}, {1, -1, -1}, {2, -1, -1}});
  bare.AddFace();  // a face with no points
  if (grid) host::AddGrid(host::AddGroup(doc->Root(), "Field"), "Grid", 30, 20, 0.1f, &glass);
  return doc;
}

TEST(DocumentBytes, ReadBackAsTheSceneTextOfTheSameDocument) {
  std::vector<std::function<std::unique_ptr<host::HostDocument>()>> documents = {
      [] { return Everything(); }};
  for (const auto& model : test::kModelsTable)
    documents.push_back(
        [file = kModels / model.file] { return std::move(host::ImportModel(file).document); });
  for (const auto& make : documents) {
    const auto doc = make();
    std::vector<int32_t> textIds;
    const std::string want = ThroughText(*doc, &textIds);
    ASSERT_EQ(want.rfind("error", 0), std::string::npos) << want;
    const std::optional<std::string> bytes = host::DocumentBytes(*doc);
    ASSERT_TRUE(bytes.has_value()) << want.substr(0, 400);
    const auto back = host::DocumentFromBytes(*bytes, "m.obj");
    EXPECT_EQ(host::SerializeScene(*back), want);
    EXPECT_EQ(Ids(*back), textIds);
  }
  // A real model through the reader's process comes back as the text would bring it.
  for (const char* name : {"OBJ/spider.obj", "FBX/box_orphant_embedded_texture.fbx",
                           "Collada/duck.dae", "3DS/cube_with_diffuse_texture.3DS"}) {
    const fs::path file = kModels / name;
    const host::ImportedModel direct = host::ImportModel(file);
    const host::ImportedModel child = host::ImportModelInChildProcess(file, {}, {});
    EXPECT_EQ(host::SerializeScene(*child.document), ThroughText(*direct.document)) << name;
    EXPECT_EQ(child.log, direct.log) << name;
    EXPECT_EQ(child.textures.size(), direct.textures.size()) << name;
  }
}

TEST(DocumentBytes, WhatOnlyTheSceneTextCarriesGoesAsText) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const struct {
    const char* what;
    std::function<void(host::HostDocument&)> change;
  } cases[] = {
      {"a selection",
       [](host::HostDocument& d) {
         d.SelectObject(*d.Root().children[0]->children[0]->meshes[0], 1, {0, 2});
       }},
      {"a vertex that is not finite",
       [&](host::HostDocument& d) { d.Root().meshes[0]->vertices[3].y = nan; }},
      {"a colour that is not finite",
       [&](host::HostDocument& d) { d.Materials()[0]->ambient.g = nan; }},
      {"a name that is not UTF-8",
       [](host::HostDocument& d) { d.Root().meshes[0]->name = "a\xff"; }},
      {"a material name taken twice",
       [](host::HostDocument& d) { d.Materials()[1]->name = "Brick"; }},
      {"an empty material name", [](host::HostDocument& d) { d.Materials()[1]->name.clear(); }},
      {"a translucency past 100",
       [](host::HostDocument& d) { d.Materials()[0]->translucency = 150; }},
      {"a vertex index out of range",
       [](host::HostDocument& d) {
         host::HostMesh& bare = *d.Root().meshes[0];
         bare.AddFace(std::vector<host::HostPoint>{{0, -1, -1}, {1, -1, -1}, {9, -1, -1}});
       }},
      {"a face of another document's material",
       [](host::HostDocument& d) {
         static host::HostDocument other;
         static host::HostMaterial& elsewhere = other.NewMaterial("Elsewhere");
         d.Root().meshes[0]->SetFaceMaterial(0, &elsewhere);
       }},
      {"axes the reader makes unit",
       [](host::HostDocument& d) {
         d.Root().children[0]->forward = {0, 0, 2};
       }},
      {"axes the reader sets at right angles",
       [](host::HostDocument& d) {
         d.Root().children[0]->up = {0, 1, 0};
       }},
      {"axes without a length",
       [](host::HostDocument& d) {
         d.Root().children[0]->up = {0, 0, 0};
       }},
  };
  for (const auto& c : cases) {
    const auto doc = Everything();
    c.change(*doc);
    EXPECT_FALSE(host::DocumentBytes(*doc).has_value()) << c.what;
    // Through the reader's process, the text settles it as a scene file would.
    std::string got;
    try {
      const auto model = host::ReadInChildProcess(
          [&] {
            host::ImportedModel m;
            m.document = Everything();
            c.change(*m.document);
            return m;
          },
          "m.obj", {});
      got = host::SerializeScene(*model.document);
    } catch (const Error& e) {
      got = "error: " + e.Description();
    }
    EXPECT_EQ(got, ThroughText(*doc)) << c.what;
  }
}

TEST(DocumentBytes, BytesCutShortOrDamagedAreRefused) {
  const std::string bytes = *host::DocumentBytes(*Everything(false));
  // Every length short of the whole, and one byte too many.
  for (size_t n = 0; n <= bytes.size(); ++n) {
    const std::string cut = n < bytes.size() ? bytes.substr(0, n) : bytes + "x";
    try {
      host::DocumentFromBytes(cut, "m.obj");
      ADD_FAILURE() << "read " << n << " bytes of " << bytes.size();
    } catch (const Error& e) {
      EXPECT_EQ(e.Description().rfind("m.obj: the document sent is damaged: ", 0), 0u)
          << e.Description();
    }
  }
  // Any 8 bytes made huge, or any byte changed: an error or some document, never a read past
  // the end (the sanitizer's build watches).
  for (size_t at = 0; at < bytes.size(); ++at)
    for (const std::string& patch : {std::string(8, '\xff'), std::string(1, '\x7f')}) {
      std::string damaged = bytes;
      for (size_t k = 0; k < patch.size() && at + k < damaged.size(); ++k)
        damaged[at + k] = patch[k];
      try {
        host::DocumentFromBytes(damaged, "m.obj");
      } catch (const Error&) {
      }
    }
}

}  // namespace
}  // namespace vlm
