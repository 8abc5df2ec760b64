// Imported models' triangles as the tests compare them: the exchange library's own read of a
// model brought to the host's axes by hand, a document's triangles in world space, the boxes
// around them, and the models of the test set with what each shows.
#pragma once

#include <assimp/scene.h>
#include <gtest/gtest.h>
#include <assimp/Importer.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "exchange/import_parts.h"
#include "scene/builder.h"
#include "scene/document.h"
#include "vlm/math.h"

namespace vlm::test {

// The models of the exchange library's own test set.
inline const std::filesystem::path kModels = VLM_TEST_MODELS_DIR;

// A fan triangle in world space and the look of its face.
struct Triangle {
  std::array<Vec3, 3> corners;
  std::string material, diffuse;
};

// The library's own read, brought to host axes by hand: z negated, each polygon's corners
// after the first listed backwards (unless its transform mirrors: then the faces would look
// inward), then fan-triangulated from the first, or cut where a fan would draw it wrongly.
inline void LibraryWalk(const aiScene& scene, const aiNode& node, const aiMatrix4x4& parent,
                        std::vector<Triangle>& out) {
  const aiMatrix4x4 world = parent * node.mTransformation;
  for (unsigned m = 0; m < node.mNumMeshes; ++m) {
    const aiMesh& mesh = *scene.mMeshes[node.mMeshes[m]];
    const aiMaterial& material = *scene.mMaterials[mesh.mMaterialIndex];
    aiString name, diffuse;
    material.Get(AI_MATKEY_NAME, name);
    if (material.GetTexture(aiTextureType_DIFFUSE, 0, &diffuse) != AI_SUCCESS)
      material.GetTexture(aiTextureType_BASE_COLOR, 0, &diffuse);
    // Embedded textures get a file name of the importer's making.
    const std::string look = scene.GetEmbeddedTexture(diffuse.C_Str()) ? "*" : diffuse.C_Str();
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
      const aiFace& face = mesh.mFaces[f];
      std::vector<Vec3> p;
      for (unsigned k = 0; k < face.mNumIndices; ++k) {
        const aiVector3D v = world * mesh.mVertices[face.mIndices[k]];
        p.push_back({v.x, v.y, -v.z});
      }
      if (p.size() > 2 && world.Determinant() >= 0) std::reverse(p.begin() + 1, p.end());
      const auto cut = host::exchange::CutPolygon(p);
      for (const auto& t : cut)
        out.push_back({{p[t[0]], p[t[1]], p[t[2]]}, name.C_Str(), look});
      for (size_t k = 1; cut.empty() && k + 1 < p.size(); ++k)
        out.push_back({{p[0], p[k], p[k + 1]}, name.C_Str(), look});
    }
  }
  for (unsigned c = 0; c < node.mNumChildren; ++c)
    LibraryWalk(scene, *node.mChildren[c], world, out);
}

inline std::vector<Triangle> LibraryTriangles(const std::filesystem::path& file,
                                              unsigned steps = 0) {
  Assimp::Importer importer;
  const aiScene* scene = importer.ReadFile(file.string(), steps);
  EXPECT_TRUE(scene) << file << ": " << importer.GetErrorString();
  std::vector<Triangle> out;
  if (scene) LibraryWalk(*scene, *scene->mRootNode, aiMatrix4x4(), out);
  return out;
}

// Every group below `node`, depth first.
inline void ForEachGroup(const host::HostNode& node,
                         const std::function<void(const host::HostNode&)>& f) {
  for (const auto& child : node.children) {
    f(*child);
    ForEachGroup(*child, f);
  }
}

inline void HostWalk(const host::HostNode& node, std::vector<Triangle>& out) {
  for (const auto& mesh : node.meshes) {
    const std::vector<Vec3> world = host::WorldVertices(*mesh);
    for (size_t face = 0; face < mesh->FaceCount(); ++face) {
      const auto p = mesh->Points(face);
      const host::HostMaterial* m = mesh->FaceMaterial(face);
      const std::string material = m ? m->name : "";
      const std::string diffuse = m ? m->diffuseMap : "";
      for (size_t k = 1; k + 1 < p.size(); ++k)
        out.push_back(
            {{world[static_cast<size_t>(p[0].vertex)], world[static_cast<size_t>(p[k].vertex)],
              world[static_cast<size_t>(p[k + 1].vertex)]},
             material,
             diffuse});
    }
  }
  for (const auto& child : node.children)
    HostWalk(*child, out);
}

inline std::vector<Triangle> HostTriangles(const host::HostDocument& document) {
  std::vector<Triangle> out;
  HostWalk(document.Root(), out);
  return out;
}

// The first object of a document, depth first.
inline const host::HostMesh& FirstMesh(const host::HostDocument& document) {
  const host::HostMesh* first = nullptr;
  ForEachGroup(document.Root(), [&](const host::HostNode& group) {
    if (!first && !group.meshes.empty()) first = group.meshes[0].get();
  });
  if (!first) throw std::runtime_error("no object");
  return *first;
}

// Every corner within 1e-4 of the model's size, in the same order (so with the same winding).
inline void ExpectSameTriangles(const std::vector<Triangle>& got, const std::vector<Triangle>& want,
                                const std::string& what) {
  ASSERT_EQ(got.size(), want.size()) << what;
  float size = 1;
  for (const Triangle& t : want)
    for (Vec3 p : t.corners)
      size = std::max({size, std::abs(p.x), std::abs(p.y), std::abs(p.z)});
  const float tolerance = 1e-4f * size;
  for (size_t i = 0; i < got.size(); ++i)
    for (size_t c = 0; c < 3; ++c) {
      const Vec3 d = got[i].corners[c] - want[i].corners[c];
      if (std::abs(d.x) > tolerance || std::abs(d.y) > tolerance || std::abs(d.z) > tolerance) {
        ADD_FAILURE() << what << ": triangle " << i << " corner " << c << " is off by (" << d.x
                      << ", " << d.y << ", " << d.z << ")";
        return;
      }
    }
}

struct ModelCase {
  const char* file;
  size_t minTriangles;
  const char* diffuse;  // a diffuse texture some face shows, as the scene names it
};

inline constexpr ModelCase kModelsTable[] = {
    {"glTF2/BoxTextured-glTF/BoxTextured.gltf", 12, "CesiumLogoFlat.png"},
    {"glTF2/BoxTextured-glTF-Binary/BoxTextured.glb", 12, "BoxTextured_texture0.png"},
    {"OBJ/spider.obj", 1000, ".\\SpiderTex.jpg"},
    {"OBJ/box.obj", 12, ""},
    {"FBX/cubes_with_mirroring_and_pivot.fbx", 12, ""},
    {"FBX/box_orphant_embedded_texture.fbx", 12, "box_orphant_embedded_texture_texture0.tga"},
    {"FBX/spider.fbx", 1000, ""},
    {"FBX/cubes_nonames.fbx", 12, ""},
    {"Collada/duck.dae", 4000, "./duckCM.tga"},
    {"Collada/teapot_instancenodes.DAE", 1000, ""},
    {"3DS/fels.3ds", 500, ""},
    {"3DS/cube_with_diffuse_texture.3DS", 12, "TEST.PNG"},
    {"AC/Wuson.ac", 1000, ""},
    {"PLY/cube.ply", 12, ""},
    {"STL/Spider_binary.stl", 1000, ""},
};

// The box around points, as fractions of its largest side, so a unit does not count.
struct Box {
  Vec3 low{1e30f, 1e30f, 1e30f}, high{-1e30f, -1e30f, -1e30f};
  void Add(Vec3 p) {
    low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
    high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
  }
  float Size() const { return std::max({high.x - low.x, high.y - low.y, high.z - low.z}); }
  std::array<float, 6> Shape() const {
    const float s = Size();
    return {low.x / s, low.y / s, low.z / s, high.x / s, high.y / s, high.z / s};
  }
};

}  // namespace vlm::test
