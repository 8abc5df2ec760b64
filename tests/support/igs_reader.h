// A reader of IGS geometry files for the tests, written from the format alone.
//
// It follows the header's offsets to every record, checks that each section starts where the
// previous one ended, that every reference lands on a record boundary of the array it names,
// that parents and children point at each other and that the texture name table is whole,
// and gives the records back with references turned into indices. A file that breaks a rule
// throws std::runtime_error naming the record and the rule.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vlm::test {

// Raw access to a record's bytes (little-endian).
struct IgsBytes {
  std::string_view bytes;
  int32_t I32(size_t offset) const;
  float F32(size_t offset) const;
  // The text at the start of a field of `size` bytes, up to its first 0.
  std::string Text(size_t offset, size_t size) const;
};

struct IgsReadVertex {
  IgsBytes raw;
  int32_t material = -1;  // index
};

struct IgsReadTriangle {
  IgsBytes raw;
  int32_t vertices[3] = {-1, -1, -1};  // indices into the mesh's vertices
  int32_t material = -1;
  int32_t fanFlag = 0;
};

struct IgsReadMesh {
  IgsBytes raw;
  std::vector<IgsReadVertex> vertices;
  std::vector<IgsReadTriangle> triangles;
};

struct IgsReadBlock {
  IgsBytes raw;
  std::string name;
  int32_t parent = -1;  // index, -1 for a top-level block
  std::vector<int32_t> children;
  std::vector<int32_t> meshes;  // mesh indices of its mesh-refs
};

struct IgsReadMaterial {
  IgsBytes raw;
  std::string name;
  std::string shader;
  int32_t stageCount = 0;
  std::vector<int32_t> stageTextures;  // the stage texture numbers as written
};

struct IgsContents {
  IgsBytes header;
  std::vector<IgsReadMaterial> materials;
  std::vector<IgsReadMesh> meshes;
  std::vector<IgsReadBlock> blocks;
  std::vector<std::string> textureNames;
  size_t chunkOffset = 0;  // where the 44-byte chunk header starts
};

// Reads a whole file's bytes; the contents view into `bytes`, which must outlive them.
IgsContents ReadIgs(std::string_view bytes);

}  // namespace vlm::test
