// The IGS reader and the import built on it: any bytes either read or give a vlm::Error that
// names the file, what reads keeps every reference inside its array and holds no more records
// than the file's bytes (so what is made of it stays within a few times its size), and what
// reads imports into a scene (or is refused with a message naming the file).
#include "exchange/igs_import.h"
#include "fuzz_support.h"
#include "vlm/error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vlm;
  host::IgsContents igs;
  try {
    igs = host::ReadIgs(fuzz::Text(data, size), "fuzz.igs");
  } catch (const Error& e) {
    fuzz::Check(e.Description().starts_with("fuzz.igs: "), "the error names the file",
                e.Description());
    return 0;
  }
  for (const auto& mesh : igs.meshes)
    for (const auto& t : mesh.triangles)
      for (int32_t v : t.vertices)
        fuzz::Check(v >= 0 && static_cast<size_t>(v) < mesh.vertices.size(),
                    "corners name vertices of their mesh");
  for (const auto& block : igs.blocks)
    for (int32_t m : block.meshes)
      fuzz::Check(m >= 0 && static_cast<size_t>(m) < igs.meshes.size(), "mesh-refs name meshes");
  uint64_t bytes = igs.materials.size() * host::kIgsMaterialSize +
                   igs.meshes.size() * host::kIgsMeshSize + igs.blocks.size() * host::kIgsBlockSize;
  for (const auto& mesh : igs.meshes)
    bytes += mesh.vertices.size() * host::kIgsVertexSize +
             mesh.triangles.size() * host::kIgsTriangleSize;
  for (const auto& block : igs.blocks)
    bytes += block.meshes.size() * host::kIgsMeshRefSize;
  fuzz::Check(bytes <= size, "the records read fit in the file");
  host::UsageOf(igs);
  try {
    const host::ImportedModel model = host::ImportIgs(igs, {});
    fuzz::Check(!model.document->Root().children.empty(), "an import has a top group");
  } catch (const Error& e) {
    fuzz::Check(e.Description().starts_with("fuzz.igs: "), "the import's error names the file",
                e.Description());
  }
  return 0;
}
