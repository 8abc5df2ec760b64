// Importing models through the exchange library (host/exchange/model_import): where every
// triangle lands, its winding and look, units, embedded textures, and what a model may read.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "exchange/model_export.h"
#include "exchange/model_import.h"
#include "scene/scene_file.h"
#include "support/model_triangles.h"
#include "support/obj8_checks.h"
#include "support/temp_home.h"
#include "support/vlmhost.h"
#include "vlm/error.h"
#include "vlm/files.h"

namespace vlm {
namespace {

namespace fs = std::filesystem;
using test::Box;
using test::ExpectSameTriangles;
using test::FirstMesh;
using test::ForEachGroup;
using test::HostTriangles;
using test::kModels;
using test::kModelsTable;
using test::LibraryTriangles;
using test::ModelCase;
using test::Triangle;
using ::testing::HasSubstr;

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

}  // namespace
}  // namespace vlm
