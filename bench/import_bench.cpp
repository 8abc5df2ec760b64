// Importing the largest glTF model of Debian's assimp-testmodels (2CylinderEngine, about
// 120k triangles in some 80 nodes): the library's read alone, and the whole import into a
// scene document. The target for the whole import is under one second.
#include <benchmark/benchmark.h>

#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <assimp/Importer.hpp>

#include <filesystem>

#include "exchange/model_import.h"

namespace {

const std::filesystem::path kEngine = std::filesystem::path(VLM_TEST_MODELS_DIR) /
                                      "glTF2/2CylinderEngine-glTF-Binary/2CylinderEngine.glb";

void LibraryReadOnly(benchmark::State& state) {
  for (auto _ : state) {
    Assimp::Importer importer;
    benchmark::DoNotOptimize(importer.ReadFile(kEngine.string(), aiProcess_ValidateDataStructure));
  }
}
BENCHMARK(LibraryReadOnly)->Unit(benchmark::kMillisecond);

void Import(benchmark::State& state) {
  size_t polygons = 0;
  for (auto _ : state) {
    const vlm::host::ImportedModel model = vlm::host::ImportModel(kEngine);
    polygons = 0;
    std::vector<const vlm::host::HostNode*> todo{&model.document->Root()};
    while (!todo.empty()) {
      const vlm::host::HostNode* node = todo.back();
      todo.pop_back();
      for (const auto& child : node->children)
        todo.push_back(child.get());
      for (const auto& mesh : node->meshes)
        polygons += mesh->FaceCount();
    }
  }
  state.counters["polygons"] = static_cast<double>(polygons);
}
BENCHMARK(Import)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
