#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <assimp/Importer.hpp>

#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "cli/progress_bar.h"
#include "exchange/igs_import.h"
#include "exchange/import_parts.h"
#include "exchange/model_export.h"
#include "exchange/model_import.h"
#include "exchange/model_reader_process.h"
#include "exchange/obj8_import.h"
#include "scene/builder.h"
#include "scene/scene_file.h"
#include "support/dialogs.h"
#include "support/igs_contents.h"
#include "support/obj8_checks.h"
#include "support/temp_home.h"
#include "support/vlmhost.h"
#include "support/warnings.h"
#include "trackline/trackline.h"
#include "vlm/error.h"
#include "vlm/files.h"
#include "vlm/progress.h"
#include "wingform/wingform.h"

namespace vlm {
namespace {

namespace fs = std::filesystem;
using host::HostDocument;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

const fs::path kModels = VLM_TEST_MODELS_DIR;

// A fan triangle in world space and the look of its face.
struct Triangle {
  std::array<Vec3, 3> corners;
  std::string material, diffuse;
};

// The library's own read, brought to host axes by hand: z negated, each polygon's corners
// after the first listed backwards (unless its transform mirrors: then the faces would look
// inward), then fan-triangulated from the first, or cut where a fan would draw it wrongly.
void LibraryWalk(const aiScene& scene, const aiNode& node, const aiMatrix4x4& parent,
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

std::vector<Triangle> LibraryTriangles(const fs::path& file, unsigned steps = 0) {
  Assimp::Importer importer;
  const aiScene* scene = importer.ReadFile(file.string(), steps);
  EXPECT_TRUE(scene) << file << ": " << importer.GetErrorString();
  std::vector<Triangle> out;
  if (scene) LibraryWalk(*scene, *scene->mRootNode, aiMatrix4x4(), out);
  return out;
}

// Every group below `node`, depth first.
void ForEachGroup(const host::HostNode& node, const std::function<void(const host::HostNode&)>& f) {
  for (const auto& child : node.children) {
    f(*child);
    ForEachGroup(*child, f);
  }
}

void HostWalk(const host::HostNode& node, std::vector<Triangle>& out) {
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

std::vector<Triangle> HostTriangles(const HostDocument& document) {
  std::vector<Triangle> out;
  HostWalk(document.Root(), out);
  return out;
}

// The first object of a document, depth first.
const host::HostMesh& FirstMesh(const HostDocument& document) {
  const host::HostMesh* first = nullptr;
  ForEachGroup(document.Root(), [&](const host::HostNode& group) {
    if (!first && !group.meshes.empty()) first = group.meshes[0].get();
  });
  if (!first) throw std::runtime_error("no object");
  return *first;
}

// Every corner within 1e-4 of the model's size, in the same order (so with the same winding).
void ExpectSameTriangles(const std::vector<Triangle>& got, const std::vector<Triangle>& want,
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

const ModelCase kModelsTable[] = {
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

TEST(ModelImport, EveryTriangleLandsWhereTheLibraryPutsItWithItsWindingAndLook) {
  for (const ModelCase& c : kModelsTable) {
    const fs::path file = kModels / c.file;
    const host::ImportedModel model = host::ImportModel(file);
    const std::vector<Triangle> got = HostTriangles(*model.document);
    const std::vector<Triangle> want = LibraryTriangles(file);
    EXPECT_GE(got.size(), c.minTriangles) << c.file;
    ExpectSameTriangles(got, want, c.file);
    bool showsDiffuse = *c.diffuse == 0;
    for (size_t i = 0; i < std::min(got.size(), want.size()); ++i) {
      showsDiffuse = showsDiffuse || got[i].diffuse == c.diffuse;
      // Names are kept, made unique where two materials share one.
      EXPECT_EQ(got[i].material.rfind(want[i].material, 0), 0u) << c.file << " triangle " << i;
      if (want[i].diffuse.empty() || want[i].diffuse[0] == '*') continue;
      ASSERT_EQ(got[i].diffuse, want[i].diffuse) << c.file << " triangle " << i;
    }
    EXPECT_TRUE(showsDiffuse) << c.file << " shows no " << c.diffuse;
    ForEachGroup(model.document->Root(), [&](const host::HostNode& group) {
      EXPECT_NE(group.name, "") << c.file;
      for (const auto& mesh : group.meshes)
        EXPECT_NE(mesh->name, "") << c.file;
    });
  }
}

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

// Where each block of an IGS file stands in the world: its rows apply to row vectors, then
// its parent's.
Vec3 IgsWorld(const host::IgsContents& igs, int32_t block, Vec3 p) {
  for (; block >= 0; block = igs.blocks[static_cast<size_t>(block)].parent) {
    Mat4 m;
    for (size_t k = 0; k < 16; ++k)
      m.m[k] = igs.blocks[static_cast<size_t>(block)].transform[k];
    p = TransformPoint(p, m);
  }
  return p;
}

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

TEST(ModelImport, MirroringTransformsKeepFacesLookingOutward) {
  const fs::path file = kModels / "FBX/cubes_with_mirroring_and_pivot.fbx";
  const host::ImportedModel model = host::ImportModel(file);
  size_t faces = 0;
  ForEachGroup(model.document->Root(), [&](const host::HostNode& group) {
    for (const auto& mesh : group.meshes)
      for (size_t face = 0; face < mesh->FaceCount(); ++face) {
        const Vec3 plane = mesh->FaceNormal(face);
        for (const host::HostPoint& p : mesh->Points(face))
          EXPECT_GT(Dot(plane, mesh->normals[static_cast<size_t>(p.normal)]), 0.5f) << mesh->Path();
        ++faces;
      }
  });
  EXPECT_GT(faces, 100u);
}

// A binary glTF whose lengths claim more than the file holds is refused before the library
// asks for what they claim (gigabytes, half a minute), from a file as from memory.
TEST(ModelImport, ABinaryGltfClaimingMoreThanItHoldsIsRefusedAtOnce) {
  auto glb = [](uint32_t version, uint32_t total, uint32_t chunk) {
    std::string bytes = "glTF";
    for (uint32_t word : {version, total, chunk, 0x4E4F534Au})
      bytes.append(reinterpret_cast<const char*>(&word), sizeof word);
    return bytes + std::string(29, ' ');
  };
  const struct {
    std::string bytes, claim;
  } cases[] = {
      {glb(2, 0xFFFFFFF0u, 20), "header claims 4294967280 bytes"},
      {glb(2, 49, 0x7FFFFFF0u), "chunk at byte 12 claims 2147483640 bytes"},
      {glb(1, 49, 0x7FFFFFF0u), "content claims 2147483652 bytes"},
  };
  test::TempHome home;
  const fs::path file = home.Path() / "m.glb";
  for (const auto& c : cases) {
    std::ofstream(file, std::ios::binary) << c.bytes;
    for (const auto& read : std::vector<std::function<void()>>{
             [&] { host::ImportModelFromMemory(c.bytes, "glb", "m.glb"); },
             [&] { host::ImportModel(file); }}) {
      try {
        read();
        ADD_FAILURE() << c.claim << ": read";
      } catch (const Error& e) {
        EXPECT_THAT(e.Description(), HasSubstr(c.claim));
      }
    }
  }
}

TEST(ModelImport, EmbeddedTexturesComeOutAsTheyWereStored) {
  for (const char* name :
       {"glTF2/BoxTextured-glTF-Binary/BoxTextured.glb", "FBX/box_orphant_embedded_texture.fbx"}) {
    const fs::path file = kModels / name;
    const host::ImportedModel model = host::ImportModel(file, {"Bo/x", 1});
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(file.string(), 0);
    ASSERT_TRUE(scene && scene->mNumTextures == 1) << name;
    const aiTexture& texture = *scene->mTextures[0];
    ASSERT_EQ(model.textures.size(), 1u) << name;
    EXPECT_EQ(model.textures[0].file, "Bo_x_texture0." + std::string(texture.achFormatHint));
    EXPECT_EQ(model.textures[0].bytes,
              std::string(reinterpret_cast<const char*>(texture.pcData), texture.mWidth));
    EXPECT_EQ(model.document->Materials()[0]->diffuseMap, model.textures[0].file) << name;
  }
}

TEST(ModelImport, BytesInMemoryReadAsTheFileDoes) {
  const fs::path glb = kModels / "glTF2/BoxTextured-glTF-Binary/BoxTextured.glb";
  const std::string bytes = test::ReadBytes(glb);
  const auto fromMemory = host::ImportModelFromMemory(bytes, "glb", glb.string());
  EXPECT_EQ(host::SerializeScene(*fromMemory.document),
            host::SerializeScene(*host::ImportModel(glb).document));
  EXPECT_EQ(fromMemory.textures.size(), 1u);
  // A node chain deeper than a scene file holds.
  std::string deep =
      R"({"asset": {"version": "2.0"}, "scene": 0, "scenes": [{"nodes": [0]}], "nodes": [)";
  for (int i = 0; i < 300; ++i)
    deep += (i ? "," : "") + std::string(R"({"children": [)") + std::to_string(i + 1) + "]}";
  deep += ",{}]}";
  const struct {
    std::string bytes, hint, origin, problem;
  } broken[] = {{bytes.substr(0, 100), "glb", "cut.glb", "cut.glb: the model cannot be read: "},
                {deep, "gltf", "deep.gltf", "deep.gltf: the node tree is more than 200 levels"}};
  for (const auto& b : broken) {
    try {
      host::ImportModelFromMemory(b.bytes, b.hint, b.origin);
      ADD_FAILURE() << b.origin << " was read";
    } catch (const Error& e) {
      EXPECT_THAT(e.Description(), HasSubstr(b.problem));
    }
  }
}

// Polygons a fan from the first corner would draw wrongly are cut into triangles that cover
// the same area, all facing the polygon's way; the fan draws the others right and they stay.
TEST(ModelImport, PolygonsAFanDrawsWronglyAreCutWithoutLosingArea) {
  // A U of area 7 with a corner halfway along its bottom, one given twice and one on the
  // inner corner's line; a pentagon with a corner halfway along an edge; a quad folded out
  // of its plane.
  const std::string u =
      "v 0 0 0\nv 1.5 0 0\nv 3 0 0\nv 3 3 0\nv 2 3 0\nv 2 1 0\nv 1 1 0\n"
      "v 1 3 0\nv 0 3 0\nv 1 2 0\nf 1 2 3 4 4 5 6 7 10 8 9\n";
  const struct {
    std::string source;  // OBJ text, or a model file of the test set
    double area;         // < 0: not checked
    size_t faces;
    std::string log;
  } cases[] = {
      {"OBJ/concave_polygon.obj", 0.2455, 64, "cut 1 polygon that was concave or not flat into "},
      {u, 7, 8, "cut 1 polygon that was concave or not flat into 8 triangles"},
      {"v 0 0 0\nv 1 0 0\nv 2 0 0\nv 2 1 0\nv 0 1 0\nf 1 2 3 4 5\n", 2, 1, ""},
      {"v 0 0 0\nv 1 0 0\nv 1 1 0.5\nv 0 1 0\nf 1 2 3 4\n", -1, 2,
       "cut 1 polygon that was concave or not flat into 2 triangles"},
  };
  for (const auto& c : cases) {
    const bool inFile = c.source.find('\n') == std::string::npos;
    const host::ImportedModel model =
        inFile ? host::ImportModel(kModels / c.source)
               : host::ImportModelFromMemory(c.source, "obj", "polygon.obj");
    const std::vector<Triangle> fan = HostTriangles(*model.document);
    Vec3 facing{};
    for (const Triangle& t : fan)
      facing = facing + Cross(t.corners[1] - t.corners[0], t.corners[2] - t.corners[0]);
    double area = 0;
    for (const Triangle& t : fan) {
      const Vec3 n = Cross(t.corners[1] - t.corners[0], t.corners[2] - t.corners[0]);
      EXPECT_GE(Dot(n, facing), 0) << c.source << ": a triangle faces the other way";
      area += Length(n) / 2;
    }
    if (c.area >= 0) {
      EXPECT_NEAR(area, c.area, 1e-3) << c.source;
    }
    const auto& mesh = FirstMesh(*model.document);
    EXPECT_EQ(mesh.FaceCount(), c.faces) << c.source;
    EXPECT_EQ(model.log.empty() ? "" : model.log.back().substr(0, c.log.size()), c.log);
  }
}

// A normal that is not finite or zero is worked out from its face, before it is made unit
// length (which would make NaN zero).
TEST(ModelImport, NormalsThatAreNotFiniteOrZeroComeFromTheirFaces) {
  for (const char* normal : {"0 0 2", "nan nan nan", "inf 0 0", "0 0 0", "0 0 1e-30"}) {
    const std::string obj =
        "v 0 0 0\nv 1 0 0\nv 0 1 0\nvn " + std::string(normal) + "\nf 1//1 2//1 3//1\n";
    const host::ImportedModel model = host::ImportModelFromMemory(obj, "obj", "n.obj");
    const auto& mesh = FirstMesh(*model.document);
    ASSERT_EQ(mesh.normals.size(), 1u) << normal;
    // The source's +z in the host's axes.
    EXPECT_EQ(mesh.normals[0], (Vec3{0, 0, -1})) << normal;
    const bool given = std::string(normal) == "0 0 2" || std::string(normal) == "0 0 1e-30";
    EXPECT_EQ(model.log, given ? std::vector<std::string>{}
                               : std::vector<std::string>{"mesh \"defaultobject\": 3 corners whose "
                                                          "normals were zero or not finite "
                                                          "take their face's normal"})
        << normal;
  }
}

// FBX files state their unit in centimetres; one the host has no code for is multiplied into
// the vertices, giving metres.
TEST(ModelImport, AnyUnitAModelStatesIsHonoured) {
  const struct {
    const char* file;
    int32_t units;
    float factor;    // host lengths over the library's
    long unitLines;  // log lines about the unit
  } cases[] = {
      {"FBX/global_settings.fbx", 0, 5, 1}, {"FBX/spider.fbx", 1, 1, 0}, {"FBX/box.fbx", 0, 1, 0}};
  for (const auto& c : cases) {
    const host::ImportedModel model = host::ImportModel(kModels / c.file);
    Box got, want;
    for (const Triangle& t : HostTriangles(*model.document))
      for (Vec3 p : t.corners)
        got.Add(p);
    for (const Triangle& t : LibraryTriangles(kModels / c.file))
      for (Vec3 p : t.corners)
        want.Add(p);
    EXPECT_EQ(model.document->units, c.units) << c.file;
    EXPECT_NEAR(got.Size() / want.Size(), c.factor, 1e-5) << c.file;
    EXPECT_EQ(std::count_if(model.log.begin(), model.log.end(),
                            [](const std::string& line) {
                              return line.starts_with("the model's unit, 500 cm, has no unit code");
                            }),
              c.unitLines)
        << c.file;
  }
}

// A model reads the files it names only from its own folder and below, after `..` and
// symbolic links are resolved; an existing file elsewhere is refused, naming it.
TEST(ModelImport, AModelReadsOnlyFilesInItsOwnFolder) {
  test::TempHome home;
  const fs::path folder = home.Path() / "a" / "b";
  fs::create_directories(folder / "sub");
  fs::create_directories(home.Path() / "w");
  std::string triangle(36, '\0');
  const float corners[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
  std::memcpy(triangle.data(), corners, sizeof corners);
  for (const fs::path& f :
       {folder / "box.bin", folder / "sub" / "box.bin", home.Path() / "w" / "secret.bin"})
    WriteFileAtomically(f, triangle);
  fs::create_symlink(home.Path() / "w" / "secret.bin", folder / "link.bin");
  auto gltf = [](const std::string& uri) {
    return R"({"asset": {"version": "2.0"}, "scene": 0, "scenes": [{"nodes": [0]}],
      "nodes": [{"mesh": 0}], "meshes": [{"primitives": [{"attributes": {"POSITION": 0}}]}],
      "buffers": [{"uri": ")" +
           uri + R"(", "byteLength": 36}],
      "bufferViews": [{"buffer": 0, "byteLength": 36}],
      "accessors": [{"bufferView": 0, "componentType": 5126, "count": 3, "type": "VEC3",
                     "min": [0, 0, 0], "max": [1, 1, 0]}]})";
  };
  // The model may itself be a link to a file elsewhere: its names start from the link's folder.
  WriteFileAtomically(home.Path() / "w" / "real.gltf", gltf("box.bin"));
  fs::create_symlink(home.Path() / "w" / "real.gltf", folder / "linked.gltf");
  const struct {
    std::string model, uri;
    bool allowOutside;
    std::string refused;  // empty: read
  } cases[] = {{"m.gltf", "box.bin", false, ""},
               {"m.gltf", "sub/../sub/box.bin", false, ""},
               {"linked.gltf", "", false, ""},
               {"m.gltf", "../../w/secret.bin", false, "../../w/secret.bin"},
               {"m.gltf", "link.bin", false, "link.bin"},
               {"m.gltf", "sub/../../../w/secret.bin", false, "sub/../../../w/secret.bin"},
               {"m.gltf", "../../w/secret.bin", true, ""}};
  for (const auto& c : cases) {
    if (!c.uri.empty()) WriteFileAtomically(folder / c.model, gltf(c.uri));
    const std::string what = c.model + " naming " + c.uri;
    try {
      const host::ImportedModel model =
          host::ImportModel(folder / c.model, {"", 1, c.allowOutside});
      EXPECT_EQ(c.refused, "") << what << " was read";
      EXPECT_EQ(HostTriangles(*model.document).size(), 1u) << what;
    } catch (const Error& e) {
      EXPECT_NE(c.refused, "") << what << ": " << e.Description();
      EXPECT_EQ(e.Description(), (folder / c.model).string() + ": the model refers to \"" +
                                     c.refused +
                                     "\", which is outside the model's folder (--allow-outside "
                                     "reads it)");
    }
  }
  // From the command line: exit status 2 and nothing written, unless allowed.
  const fs::path out = home.Path() / "out";
  fs::create_directories(out);
  const std::vector<std::string> command{"import", (folder / "m.gltf").string(), "-o",
                                         (out / "s.json").string()};
  WriteFileAtomically(folder / "m.gltf", gltf("../../w/secret.bin"));
  auto r = test::Vlmhost(command);
  EXPECT_EQ(r.status, 2) << r.output;
  EXPECT_THAT(r.output, HasSubstr("\"../../w/secret.bin\", which is outside"));
  EXPECT_TRUE(fs::is_empty(out));
  std::vector<std::string> allowed = command;
  allowed.push_back("--allow-outside");
  r = test::Vlmhost(allowed);
  EXPECT_EQ(r.status, 0) << r.output;
}

TEST(ModelExport, EveryFormatReadsBackAsTheSameWorldTriangles) {
  test::TempHome home;
  const char* models[] = {"FBX/cubes_with_mirroring_and_pivot.fbx", "OBJ/box.obj",
                          "Collada/teapot_instancenodes.DAE",
                          "glTF2/BoxTextured-glTF/BoxTextured.gltf"};
  for (const char* name : models) {
    const host::ImportedModel model = host::ImportModel(kModels / name);
    const std::vector<Triangle> want = HostTriangles(*model.document);
    for (const char* ext : {".glb", ".gltf", ".obj", ".dae", ".ply", ".stl"}) {
      const fs::path target = home.Path() / (std::string("model") + ext);
      host::ExportModel(*model.document, target);
      // Formats without a node tree hold their triangles in their own order.
      const bool flat = std::string(ext) == ".ply" || std::string(ext) == ".stl";
      std::vector<Triangle> got = LibraryTriangles(target, aiProcess_PreTransformVertices * flat);
      ExpectSameTriangles(got, want, std::string(name) + " as " + ext);
    }
  }
}

TEST(ModelCommands, BrokenModelsAreNamedAndNothingIsWritten) {
  test::TempHome home;
  const fs::path out = home.Path() / "out";
  fs::create_directories(out);
  std::vector<fs::directory_entry> broken(fs::directory_iterator(kModels / "invalid"), {});
  // A PLY header cut inside a property once sent the library's reader round for ever.
  broken.emplace_back(VLM_TEST_DATA_DIR "/bad_model_ply_cut_in_header.ply");
  ASSERT_EQ(test::Vlmhost({"register", VLM_TEST_PLUGIN_DIR "/libobverse.so"}).status, 0);
  for (const auto& entry : broken) {
    // A material that is missing leaves its faces the default look: the model reads.
    if (entry.path().extension() == ".txt" || entry.path().filename() == "malformed2.obj") continue;
      // Under a memory limit the reader that is asked for billions of faces fails at once
      // instead of after half a minute. The address sanitizer reserves more than any such
      // limit allows, so there that model is left out.
#ifdef __SANITIZE_ADDRESS__
    if (entry.path().filename() == "OutOfMemory.off") continue;
    const char* limit = "";
#else
    const char* limit = "ulimit -v 4000000; ";
#endif
    // The commands that take a scene take a model too, read as import reads it.
    const std::string model = entry.path().string();
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"import", model, "-o", (out / "s.json").string()},
          {"run", "obverse", model, "--ui", "input z", "-o", (out / "s.json").string()},
          {"export-model", model, "-o", (out / "s.obj").string()}}) {
      const auto r = test::Vlmhost(args, limit);
      EXPECT_EQ(r.status, 2) << args[0] << " " << model << r.output;
      EXPECT_THAT(r.output, HasSubstr("error: " + model + ": ")) << args[0];
      EXPECT_TRUE(fs::is_empty(out)) << args[0] << " " << model;
    }
  }
  const auto wrongFormat = test::Vlmhost(
      {"export-model", VLM_TEST_DATA_DIR "/scene_example.json", "-o", (out / "x.fbx").string()});
  EXPECT_EQ(wrongFormat.status, 2);
  EXPECT_THAT(wrongFormat.output, HasSubstr("known: .glb"));
  EXPECT_TRUE(fs::is_empty(out));
}

// Every file of a folder by name, with its bytes; the folder is emptied.
std::map<std::string, std::string> TakeFiles(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(folder))
    files[entry.path().filename().string()] = ReadFile(entry.path());
  fs::remove_all(folder);
  fs::create_directories(folder);
  return files;
}

// A scene's text with its materials' texture names left out.
std::string WithoutTextureNames(const std::string& text) {
  nlohmann::json scene = nlohmann::json::parse(text);
  for (auto& m : scene["materials"])
    m.erase("textures");
  return scene.dump();
}

TEST(ModelCommands, AModelGivenAsTheSceneGivesWhatItsImportedSceneGives) {
  const struct {
    std::vector<fs::path> files;        // the model first, then the files it names
    std::vector<std::string> command;   // MODEL and OUT stand for the model and the output folder
    std::vector<std::string> textures;  // embedded textures written beside the scene or model
  } cases[] = {
      {{"glTF2/BoxTextured-glTF-Binary/BoxTextured.glb"},
       {"run", "wingform", "MODEL", "--select", "group:BoxTextured", "--fresh", "--ui",
        "click cmdOK; click cmdCancel", "-o", "OUT/box.obj", "--copy-textures"},
       {}},
      {{"OBJ/spider.obj", "OBJ/spider.mtl", "OBJ/SpiderTex.jpg", "OBJ/drkwood2.jpg",
        "OBJ/engineflare1.jpg", "OBJ/wal67ar_small.jpg", "OBJ/wal69ar_small.jpg"},
       {"run", "trackline", "MODEL", "--select", "group:spider", "--fresh", "--ui",
        "optLOD(1)=1; click cmdOK; click cmdCancel", "-o", "OUT/spider.igs"},
       {}},
      {{"glTF2/BoxTextured-glTF-Binary/BoxTextured.glb"},
       {"run", "obverse", "MODEL", "--select", "group:BoxTextured", "--ui", "input z", "-o",
        "OUT/mirrored.json"},
       {"BoxTextured_texture0.png"}},
      {{"glTF2/BoxTextured-glTF-Binary/BoxTextured.glb"},
       {"export-model", "MODEL", "-o", "OUT/box.gltf"},
       {"BoxTextured_texture0.png"}},
      {{"OBJ/spider.obj", "OBJ/spider.mtl"}, {"export-model", "MODEL", "-o", "OUT/spider.glb"}, {}},
  };
  for (const auto& c : cases) {
    test::TempHome home;
    const fs::path out = home.Path() / "out", model = home.Path() / c.files[0].filename();
    fs::create_directories(out);
    for (const fs::path& file : c.files)
      fs::copy_file(kModels / file, home.Path() / file.filename());
    const fs::path scene = fs::path(model).replace_extension(".json");
    auto r = test::Vlmhost({"register", VLM_TEST_PLUGIN_DIR "/libobverse.so",
                            VLM_TEST_PLUGIN_DIR "/libwingform.so",
                            VLM_TEST_PLUGIN_DIR "/libtrackline.so"});
    ASSERT_EQ(r.status, 0) << r.output;
    r = test::Vlmhost({"import", model.string(), "-o", scene.string()});
    ASSERT_EQ(r.status, 0) << r.output;
    std::map<std::string, std::string> want;
    for (const fs::path& input : {scene, model}) {
      std::vector<std::string> args = c.command;
      for (std::string& a : args) {
        if (a == "MODEL") a = input.string();
        if (a.starts_with("OUT/")) a = (out / a.substr(4)).string();
      }
      r = test::Vlmhost(args, "export SOURCE_DATE_EPOCH=1700000000; ");  // exports stamped alike
      ASSERT_EQ(r.status, 0) << c.command[0] << " " << input << r.output;
      std::map<std::string, std::string> got = TakeFiles(out);
      if (input == scene) {
        want = got;
        continue;
      }
      for (const std::string& texture : c.textures) {
        EXPECT_EQ(got[texture], ReadFile(home.Path() / texture)) << texture;
        got.erase(texture);
      }
      EXPECT_FALSE(got.empty());
      for (const auto& [name, bytes] : want) {
        // The scene imported beside the model names its embedded texture from there (a scene
        // written to OUT/ leads back to it); the model's is written beside the scene.
        if (name.ends_with(".json")) {
          EXPECT_EQ(WithoutTextureNames(got[name]), WithoutTextureNames(bytes)) << name;
          continue;
        }
        EXPECT_TRUE(got[name] == bytes) << c.command[0] << " " << c.files[0] << ": " << name;
      }
      EXPECT_EQ(got.size(), want.size()) << c.command[0] << " " << c.files[0];
    }
  }
}

// A display that notes what it is shown, in whole percent.
class NotedProgress final : public ProgressDisplay {
 public:
  void Show(std::string_view task, double fraction) override {
    seen.push_back(std::string(task) + " " + std::to_string(static_cast<int>(fraction * 100)));
  }
  void Finish() override { seen.push_back("done"); }
  std::vector<std::string> seen;
};

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST(ModelReaderProcess, BringsBackWhatTheReaderGotOrSaysWhyItStopped) {
  const fs::path glb = kModels / "glTF2/BoxTextured-glTF-Binary/BoxTextured.glb";
  const host::ImportedModel direct = host::ImportModel(glb);
  const auto read = [&] {
    host::ImportedModel model = host::ImportModel(glb);
    model.log.push_back("a line of the log");
    return model;
  };
  // A scene and a texture of several megabytes each come in pieces.
  const auto readLarge = [&] {
    host::ImportedModel model = read();
    host::AddGrid(host::AddGroup(model.document->Root(), "Field"), "Grid", 200, 100, 0.5f);
    model.textures.push_back({"large.png", std::string(3 << 20, 'x')});
    return model;
  };
  const auto touchMemory = []() -> host::ImportedModel {
    std::vector<std::unique_ptr<char[]>> blocks;
    for (;;) {
      blocks.push_back(std::make_unique<char[]>(1 << 20));
      std::memset(blocks.back().get(), 1, 1 << 20);
    }
  };
  const struct {
    const char* what;
    std::function<host::ImportedModel()> reader;
    host::ReaderLimits limits;
    std::string error;  // empty: the model comes back
    bool hardLimitOnly = false;
    int number = err::InvalidProcedureCall;
  } cases[] = {
      {"a model", read, {}, ""},
      {"a large model", readLarge, {}, ""},
      {"an error",
       [&]() -> host::ImportedModel { Raise(err::FileNotFound, "m.obj: no such file"); },
       {},
       "m.obj: no such file",
       false,
       err::FileNotFound},
      {"a stuck reader",
       [&] {
         std::this_thread::sleep_for(std::chrono::seconds(30));
         return read();
       },
       {1u << 30, 0.3},
       "m.obj: the model cannot be read: its reader took too long"},
      {"memory touched",
       touchMemory,
       {64u << 20, 30},
       "m.obj: the model cannot be read: its reader ran out of memory"},
      {"memory asked for at once",
       [&] {
         char* volatile block = new char[size_t{1} << 30];
         block[0] = 1;
         return read();
       },
       {64u << 20, 30},
       "m.obj: the model cannot be read: its reader ran out of memory",
       true},
      {"a crash",
       [&]() -> host::ImportedModel { std::abort(); },
       {},
       "m.obj: the model cannot be read: its reader crashed"},
  };
  for (const auto& c : cases) {
    if (c.hardLimitOnly && !host::ReaderMemoryLimitIsHard()) continue;
    auto noted = std::make_shared<NotedProgress>();
    const auto before = SetProgressDisplay(noted);
    const auto start = std::chrono::steady_clock::now();
    try {
      const host::ImportedModel model = host::ReadInChildProcess(c.reader, "m.obj", c.limits);
      EXPECT_EQ(c.error, "") << c.what;
      const host::ImportedModel want = c.reader();
      EXPECT_EQ(host::SerializeScene(*model.document), host::SerializeScene(*want.document));
      ASSERT_EQ(model.textures.size(), want.textures.size());
      for (size_t i = 0; i < want.textures.size(); ++i) {
        EXPECT_EQ(model.textures[i].file, want.textures[i].file);
        EXPECT_EQ(model.textures[i].bytes, want.textures[i].bytes);
      }
      EXPECT_EQ(model.textures[0].file, direct.textures[0].file);
      EXPECT_THAT(model.log, ElementsAre("a line of the log"));
      // The child's progress is shown by the parent's display.
      ASSERT_GE(noted->seen.size(), 3u);
      EXPECT_EQ(noted->seen[0], "Importing " + glb.string() + " 0");
      EXPECT_EQ(noted->seen.back(), "done");
    } catch (const Error& e) {
      EXPECT_EQ(e.Description(), c.error) << c.what;
      EXPECT_EQ(e.Number(), c.number) << c.what;
    }
    EXPECT_LT(SecondsSince(start), std::min(c.limits.seconds, 10.0) + 1) << c.what;
    SetProgressDisplay(before);
  }
}

TEST(ModelCommands, ReadersPastTheirMemoryOrTimeAreStoppedAndNamed) {
  // Under the address sanitizer the reader's memory is only watched, not limited, and the
  // library's reader grows it slowly there; ModelReaderProcess covers that build.
  if (!host::ReaderMemoryLimitIsHard()) GTEST_SKIP() << "the memory limit is not hard here";
  test::TempHome home;
  const fs::path out = home.Path() / "out";
  fs::create_directories(out);
  // PLY files asking for far more vertices than they hold: the library's reader allocates
  // for all of them up front and then goes on making them for minutes.
  const auto ply = [&](const std::string& vertices) {
    const fs::path file = home.Path() / (vertices + ".ply");
    std::ofstream(file) << "ply\nformat ascii 1.0\nelement vertex " << vertices
                        << "\nproperty float x\nproperty float y\nproperty float z\n"
                           "element face 1\nproperty list uchar int vertex_indices\n"
                           "end_header\n0 0 0\n3 0 0 0\n";
    return file.string();
  };
  const struct {
    std::vector<std::string> args;
    std::string problem;
    double seconds;
  } cases[] = {
      {{ply("100000000"), "--max-memory", "200M"}, "its reader ran out of memory", 10},
      {{ply("2000000000"), "--max-memory", "200M"}, "its reader ran out of memory", 10},
      {{ply("100000000"), "--timeout", "1"}, "its reader took too long", 3},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"import", "-o", (out / "s.json").string()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const auto start = std::chrono::steady_clock::now();
    const auto r = test::Vlmhost(args);
    EXPECT_LT(SecondsSince(start), c.seconds) << c.args[0];
    EXPECT_EQ(r.status, 2) << r.output;
    EXPECT_EQ(r.output, "error: " + c.args[0] + ": the model cannot be read: " + c.problem + "\n");
    EXPECT_TRUE(fs::is_empty(out));
  }
}

TEST(ModelCommands, ImportWritesTheSceneAndItsTexturesTogether) {
  test::TempHome home;
  const fs::path glb = kModels / "glTF2/BoxTextured-glTF-Binary/BoxTextured.glb";
  auto r = test::Vlmhost({"import", glb.string(), "-o", (home.Path() / "box.json").string(),
                          "--name", "Crate", "--scale", "2"});
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(fs::exists(home.Path() / "Crate_texture0.png"));
  const auto scene = host::LoadScene(home.Path() / "box.json");
  EXPECT_EQ(scene->Root().children[0]->name, "Crate");
  const auto plain = host::ImportModel(glb);
  EXPECT_EQ(
      host::WorldVertices(*scene->Root().children[0]->children[0]->meshes[0])[0],
      2 * host::WorldVertices(*plain.document->Root().children[0]->children[0]->meshes[0])[0]);
  r = test::Vlmhost({"import", glb.string(), "-o", "-", "--quiet"},
                    "cd " + home.Path().string() + "; ", " 2>/dev/null");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(host::ParseScene(r.output, "out")->Materials().size(), 1u);
  r = test::Vlmhost({"import", (kModels / "OBJ/testmixed.obj").string(), "-o", "-"}, "",
                    " 2>&1 >/dev/null");
  EXPECT_THAT(r.output,
              ::testing::StartsWith("warning: mesh \"defaultobject\": left out 24 points and 18 "
                                    "lines\nimported 2 groups, 1 object, 12 triangles"));
  // What was left out is a warning, which a quiet import keeps.
  r = test::Vlmhost({"import", (kModels / "OBJ/testmixed.obj").string(), "-o", "-", "--quiet"}, "",
                    " 2>&1 >/dev/null");
  EXPECT_EQ(r.output, "warning: mesh \"defaultobject\": left out 24 points and 18 lines\n");
}

// `import` of an OBJ8 export: one file brings the other files of its export along, files
// named together go under one top group, and a damaged file is exit 2 naming its line.
TEST(ModelCommands, ImportReadsAnObj8ExportBack) {
  test::TempHome home;
  std::unique_ptr<HostDocument> doc =
      host::LoadScene(fs::path(VLM_TEST_EXAMPLES_DIR) / "hangar.json");
  {
    test::CollectedWarnings missingTextures;
    test::ScriptedScope dialogs("click cmdOK; click cmdCancel");
    ASSERT_EQ(Wingform().PluginImportExport_Export((home.Path() / "hangar.obj").string(),
                                                   &doc->Root().children[0]->AsNode(), doc.get(),
                                                   nullptr, {}, {}, ""),
              StatusOk);
  }
  const auto objects = [&](const std::vector<std::string>& files) {
    std::vector<std::string> args{"import"};
    for (const std::string& file : files)
      args.push_back((home.Path() / file).string());
    args.insert(args.end(), {"-o", (home.Path() / "back.json").string()});
    const test::ProgramResult r = test::Vlmhost(args);
    EXPECT_EQ(r.status, 0) << r.output;
    std::vector<std::string> names;
    const auto scene = host::LoadScene(home.Path() / "back.json");
    EXPECT_EQ(scene->Root().children.size(), 1u);
    for (const auto& mesh : scene->Root().children.at(0)->meshes)
      names.push_back(mesh->name);
    return std::make_pair(names, r.output);
  };
  const auto [all, log] = objects({"hangar.obj"});
  // Last file first: exported again, they give the same files.
  EXPECT_THAT(all, ElementsAre("paint", "door", "sign", "glass", "alu"));
  EXPECT_THAT(log, HasSubstr("hangar.obj: read with the other files of its export: hangar.1.obj "
                             "hangar.2.obj hangar.3.obj hangar.4.obj\n"));
  EXPECT_THAT(objects({"hangar.3.obj", "hangar.1.obj"}).first, ElementsAre("glass", "door"));

  std::string damaged = test::ReadBytes(home.Path() / "hangar.2.obj");
  damaged.replace(damaged.find("VT "), 3, "VT x");
  WriteFileAtomically(home.Path() / "damaged.obj", damaged);
  for (const auto& files : {std::vector<std::string>{"damaged.obj"},
                            std::vector<std::string>{"hangar.obj", "damaged.obj"}}) {
    std::vector<std::string> args{"import"};
    for (const std::string& file : files)
      args.push_back((home.Path() / file).string());
    const test::ProgramResult r = test::Vlmhost(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_THAT(r.output, HasSubstr("damaged.obj: line 8: VT: \"x"));
  }
  const test::ProgramResult r = test::Vlmhost(
      {"import", (home.Path() / "hangar.obj").string(), (kModels / "OBJ/box.obj").string()});
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.output, HasSubstr("box.obj: not an OBJ8 file"));
}

TEST(ModelCommands, QuietCommandsPrintOnlyWhatWasLeftOut) {
  test::TempHome home;
  const std::string scene = (home.Path() / "s.json").string();
  const struct {
    std::vector<std::string> args;
    std::string output;
  } cases[] = {{{"import", (kModels / "OBJ/testmixed.obj").string(), "-o", scene, "--quiet"},
                "warning: mesh \"defaultobject\": left out 24 points and 18 lines\n"},
               {{"export-model", scene, "-o", (home.Path() / "s.obj").string(), "--quiet"}, ""}};
  for (const auto& c : cases) {
    const auto r = test::Vlmhost(c.args);
    EXPECT_EQ(r.status, 0) << c.args[0];
    EXPECT_EQ(r.output, c.output) << c.args[0];
  }
  EXPECT_TRUE(fs::exists(home.Path() / "s.mtl"));
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

// The wrap modes the source sets on the diffuse texture (glTF samplers; repeat when none) stay
// on the material, and export-model writes them back.
TEST(ModelImport, TheDiffuseTexturesWrapModesAreKept) {
  using W = TextureWrap;
  const struct {
    const char* file;
    W u, v;
  } cases[] = {
      {"glTF2/BoxTextured-glTF/BoxTextured.gltf", W::Mirror, W::Clamp},
      {"glTF2/textureTransform/TextureTransformTest.gltf", W::Clamp, W::Clamp},
      {"OBJ/spider.obj", W::Repeat, W::Repeat},
  };
  test::TempHome home;
  for (const auto& c : cases) {
    const host::ImportedModel model = host::ImportModel(kModels / c.file);
    const fs::path copy = home.Path() / "copy.gltf";
    host::ExportModel(*model.document, copy);
    const host::ImportedModel again = host::ImportModel(copy);
    for (const host::ImportedModel* m : {&model, &again}) {
      const auto& materials = m->document->Materials();
      const auto textured = std::find_if(materials.begin(), materials.end(),
                                         [](const auto& x) { return !x->diffuseMap.empty(); });
      ASSERT_NE(textured, materials.end()) << c.file;
      EXPECT_EQ((*textured)->wrapU, c.u) << c.file << (m == &again ? " again" : "");
      EXPECT_EQ((*textured)->wrapV, c.v) << c.file << (m == &again ? " again" : "");
    }
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

// Files of other makers: LF or CR LF line ends, comments, blank lines, the culling switched
// on and off, and keywords the importer does not use, which are counted once per file; a
// damaged file is named with its line.
TEST(ModelImport, Obj8FilesOfOtherMakersAndDamagedOnes) {
  const std::string sound =
      "A\n800  # comment\nOBJ\n\nTEXTURE  tex/wall.png\nTEXTURE_LIT wall_lit.png\n"
      "POINT_COUNTS 4 0 0 12\n"
      "VT 0 0 0 0 1 0 0 0\nVT 1 0 0 0 1 0 1 0\nVT 1 0 -1 0 1 0 1 1\nVT 0 0 -1 0 1 0 0 1\n"
      "IDX10 0 1 2 0 2 3 1 2 3 0\nIDX 1\r\nIDX 2 # the last\n"
      "ATTR_LOD 0 250.5\nATTR_shiny_rat 0.5\nTRIS 0 3\r\nATTR_no_cull\nTRIS 3 3\n"
      "ANIM_begin\nATTR_LOD 250.5 1000\nTRIS 6 3\nANIM_end\n";
  std::string miscounted = sound;
  miscounted.replace(miscounted.find("0 0 12"), 6, "0 0 6 ");
  struct Case {
    std::string text;
    std::string problem;  // "" for a file that is read
  };
  const Case cases[] = {
      {miscounted,
       "fuzz.obj: line 7: POINT_COUNTS declares 6 indices, the IDX10 and IDX lines hold 12"},
      {"I\n800\nOBJ\nPOINT_COUNTS 1 0 0 0\nVT 0 0 0 0 1 0 0 nan\n",
       "line 5: VT: \"nan\" is not a finite"},
      {"I\n800\nOBJ\nPOINT_COUNTS 1 0 0 0\nVT 0 0 0 0 1 0 0\n",
       "line 5: VT takes 8 values, the line has 7"},
      {"I\n800\nOBJ\nPOINT_COUNTS 2 0 0 0\nVT 0 0 0 0 1 0 0 0\n",
       "line 4: POINT_COUNTS declares 2 vertices"},
      {"I\n800\nOBJ\nPOINT_COUNTS 1 0 0 1\nVT 0 0 0 0 1 0 0 0\nIDX 1\n",
       "line 6: index 1 is outside"},
      {"I\n800\nOBJ\nPOINT_COUNTS 1 0 0 1\nVT 0 0 0 0 1 0 0 0\nIDX -1\n",
       "line 6: IDX: \"-1\" is below 0"},
      {"I\n800\nOBJ\nPOINT_COUNTS 1 0 0 1\nVT 0 0 0 0 1 0 0 0\nIDX 0\nTRIS 0 3\n",
       "line 7: TRIS 0 3 reaches past"},
      {"I\n800\nOBJ\nTRIS 0 2\n", "line 4: TRIS: 2 indices are not whole triangles"},
      {"I\n800\nOBJ\nATTR_LOD 300 x\n", "line 4: ATTR_LOD: \"x\" is not a number"},
  };
  EXPECT_THROW(host::ReadObj8("I\n700\nOBJ\n", "x.obj"), Error);
  EXPECT_FALSE(host::IsObj8("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"));
  for (const Case& c : cases)
    try {
      host::ImportModelFromMemory(c.text, "obj", "fuzz.obj");
      ADD_FAILURE() << c.problem;
    } catch (const Error& e) {
      EXPECT_THAT(e.Description(), HasSubstr(c.problem));
    }

  const host::ImportedModel model = host::ImportModelFromMemory(sound, "obj", "x/wall.obj");
  const host::HostNode& top = *model.document->Root().children.at(0);
  EXPECT_EQ(top.name, "wall");
  ASSERT_EQ(top.children.size(), 2u);
  EXPECT_EQ(top.children[0]->name, "LOD 0-250.5");
  EXPECT_EQ(top.children[1]->name, "LOD 250.5-1000");
  // The level drawn with and without culling: one object each, materials apart.
  ASSERT_EQ(top.children[0]->meshes.size(), 2u);
  const int32_t cull = model.document->FindMaterialField(host::kObj8CullField);
  std::vector<std::string> states;
  for (const auto& mesh : top.children[0]->meshes) {
    EXPECT_EQ(mesh->name, "wall");
    EXPECT_EQ(mesh->FaceCount(), 1u);
    host::HostMaterial* m = mesh->FaceMaterial(0);
    EXPECT_EQ(m->diffuseMap, "tex/wall.png");
    EXPECT_EQ(m->bumpMap, "wall_lit.png");
    states.push_back(m->GetCustomField(cull));
  }
  EXPECT_THAT(states, ElementsAre("ATTR_cull", "ATTR_no_cull"));
  // The z mirror and the v flip undone: the file's (1, 0, -1) at (1, 1) is the scene's
  // (1, 0, 1) at (1, 0).
  const host::HostMesh& far = *top.children[1]->meshes.at(0);
  EXPECT_THAT(far.vertices, ElementsAre(Vec3{1, 0, 0}, Vec3{1, 0, 1}, Vec3{0, 0, 1}));
  EXPECT_THAT(far.uvs, ElementsAre(Vec2{1, 1}, Vec2{1, 0}, Vec2{0, 0}));
  EXPECT_THAT(model.log, ElementsAre("x/wall.obj: left out lines the importer does not use: "
                                     "ANIM_begin (1), ANIM_end (1), ATTR_shiny_rat (1)"));
}

// ---- IGS files read back ----

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

TEST(ProgressBar, ShowsOnlyWorkThatOutlastsItsDelayAndWipesItself) {
  const struct {
    int delayMs;
    std::string shown, afterwards;
  } cases[] = {{1000, "", ""},
               {0, "\rRead [###############               ] 50%",
                "\rRead [###############               ] 50%\r" + std::string(78, ' ') + "\r"}};
  for (const auto& c : cases) {
    std::ostringstream terminal;
    host::ProgressBar bar(terminal, std::chrono::milliseconds(c.delayMs));
    bar.Show("Read", 0.5);
    EXPECT_EQ(terminal.str(), c.shown);
    bar.Finish();
    EXPECT_EQ(terminal.str(), c.afterwards);
  }
}

}  // namespace
}  // namespace vlm
