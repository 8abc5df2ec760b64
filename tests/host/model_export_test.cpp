// Writing a document in the exchange library's formats (host/exchange/model_export).

#include <assimp/postprocess.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "exchange/model_export.h"
#include "exchange/model_import.h"
#include "support/model_triangles.h"
#include "support/temp_home.h"

namespace vlm {
namespace {

namespace fs = std::filesystem;
using test::ExpectSameTriangles;
using test::HostTriangles;
using test::kModels;
using test::LibraryTriangles;
using test::Triangle;

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

}  // namespace
}  // namespace vlm
