#include "igs_file.h"

#include <bit>
#include <cstring>
#include <limits>

namespace vlm::igs {
namespace {

int32_t Count(size_t n) {
  return static_cast<int32_t>(n);
}

// The offset of record `index` of an array that starts at `base`.
int32_t At(int64_t base, size_t recordSize, int32_t index) {
  return static_cast<int32_t>(base + static_cast<int64_t>(recordSize) * index);
}

template <class T>
void Release(std::vector<T>& v) {
  std::vector<T>().swap(v);
}

}  // namespace

void IgsFile::PrepareHeader() {
  header = IgsHeader{};
  std::memcpy(header.magic, "KIGF", 4);
  header.version = 151;
  StoreText(header.shape, "SHAPE", "The shape tag");
  StoreText(header.comment, "Vellum IGS Export by Ardo Venmark 2011", "The comment");
  const float tint = std::bit_cast<float>(0x3ECACACCu);
  header.tint[0] = header.tint[1] = header.tint[2] = tint;
  header.materialArray = static_cast<int32_t>(HeaderSize);

  chunk = IgsTextureNameChunk{};
  StoreText(chunk.title, "Texture name table", "The chunk title");
  chunk.value32 = 2;
  chunk.headerSize = static_cast<int32_t>(TextureNameChunkSize);
}

int64_t IgsFile::FileSize() const {
  int64_t size = static_cast<int64_t>(HeaderSize + MaterialSize * materials.size());
  for (const MeshRecords& m : meshes)
    size +=
        static_cast<int64_t>(VertexSize * m.vertices.size() + TriangleSize * m.triangles.size());
  size += static_cast<int64_t>(MeshSize * meshes.size());
  for (const BlockRecords& b : blocks)
    size += static_cast<int64_t>(MeshRefSize * b.meshRefs.size());
  size += static_cast<int64_t>(BlockSize * blocks.size() + TextureNameChunkSize);
  if (!textureNames.empty()) {
    size += 8 + 4 * static_cast<int64_t>(textureNames.size());
    for (const std::string& name : textureNames)
      size += static_cast<int64_t>(ToAnsi(name).size()) + 1;
  }
  return size;
}

void IgsFile::AdjustPointers(const std::vector<std::string>& textureList) {
  // The name table first, checked whole before any record changes.
  std::vector<std::string> names;
  for (const IgsMaterial& material : materials)
    for (int32_t j = 0; j < material.stageCount && j < MaxStages; ++j) {
      const int32_t r = material.stages[j].texture;
      if (r <= 0) continue;
      if (static_cast<size_t>(r) > textureList.size()) Raise(err::SubscriptOutOfRange);
      names.push_back(textureList[static_cast<size_t>(r) - 1]);
    }
  if (Count(names.size()) > MaxTextureNames)
    throw ExportStopped(err::SubscriptOutOfRange,
                        "The texture name table would hold " + std::to_string(names.size()) +
                            " names (one per textured stage); the limit is " +
                            std::to_string(MaxTextureNames) + ".");
  std::swap(textureNames, names);
  const int64_t size = FileSize();
  if (size > std::numeric_limits<int32_t>::max()) {
    std::swap(textureNames, names);
    throw ExportStopped(err::Overflow, "The file would be " + std::to_string(size) +
                                           " bytes long; its 32-bit offsets reach " +
                                           std::to_string(std::numeric_limits<int32_t>::max()) +
                                           " at most.");
  }

  for (size_t i = 0; i < materials.size(); ++i)
    for (int32_t j = 0; j < materials[i].stageCount && j < MaxStages; ++j)
      if (materials[i].stages[j].texture > 0)
        materials[i].stages[j].texture = 10 + 100 * Count(i) + j;

  header.blockCount = Count(blocks.size());
  header.meshCount = Count(meshes.size());
  header.materialCount = Count(materials.size());
  header.materialArray = static_cast<int32_t>(HeaderSize);
  const int64_t materialBase = static_cast<int64_t>(HeaderSize);
  int64_t o = materialBase + static_cast<int64_t>(MaterialSize * materials.size());

  for (MeshRecords& m : meshes) {
    m.mesh.vertexCount = Count(m.vertices.size());
    m.mesh.vertexArray = static_cast<int32_t>(o);
    o += static_cast<int64_t>(VertexSize * m.vertices.size());
    for (IgsVertex& v : m.vertices)
      v.material = At(materialBase, MaterialSize, v.material);
  }
  for (MeshRecords& m : meshes) {
    m.mesh.triangleCount = Count(m.triangles.size());
    m.mesh.triangleArray = static_cast<int32_t>(o);
    o += static_cast<int64_t>(TriangleSize * m.triangles.size());
    for (IgsTriangle& t : m.triangles) {
      t.material = At(materialBase, MaterialSize, t.material);
      for (int32_t& v : t.vertices)
        v = At(m.mesh.vertexArray, VertexSize, v);
    }
  }

  const int64_t meshBase = o;
  header.meshArray = static_cast<int32_t>(meshBase);
  o += static_cast<int64_t>(MeshSize * meshes.size());

  for (BlockRecords& b : blocks) {
    b.block.meshRefCount = Count(b.meshRefs.size());
    b.block.meshRefArray = static_cast<int32_t>(o);
    o += static_cast<int64_t>(MeshRefSize * b.meshRefs.size());
    for (IgsMeshRef& r : b.meshRefs)
      r.mesh = At(meshBase, MeshSize, r.mesh);
  }

  const int64_t blockBase = o;
  header.blockArray = static_cast<int32_t>(blockBase);
  o += static_cast<int64_t>(BlockSize * blocks.size());
  for (BlockRecords& b : blocks) {
    b.block.parent = b.block.parent >= 0 ? At(blockBase, BlockSize, b.block.parent) : 0;
    for (int32_t k = 0; k < b.block.childCount && k < MaxChildren; ++k)
      b.block.children[k] = At(blockBase, BlockSize, b.block.children[k]);
  }

  header.flags[0] = textureNames.empty() ? 0 : 1;
  header.textureNameChunk = textureNames.empty() ? 0 : static_cast<int32_t>(o);
}

std::string IgsFile::TakeBytes() {
  std::string out;
  out.reserve(static_cast<size_t>(FileSize()));
  WriteRecord(out, header);
  for (const IgsMaterial& m : materials)
    WriteRecord(out, m);
  for (MeshRecords& m : meshes) {
    for (const IgsVertex& v : m.vertices)
      WriteRecord(out, v);
    Release(m.vertices);
  }
  for (MeshRecords& m : meshes) {
    for (const IgsTriangle& t : m.triangles)
      WriteRecord(out, t);
    Release(m.triangles);
  }
  for (const MeshRecords& m : meshes)
    WriteRecord(out, m.mesh);
  for (BlockRecords& b : blocks) {
    for (const IgsMeshRef& r : b.meshRefs)
      WriteRecord(out, r);
    Release(b.meshRefs);
  }
  for (const BlockRecords& b : blocks)
    WriteRecord(out, b.block);
  WriteRecord(out, chunk);

  if (!textureNames.empty()) {
    std::vector<std::string> ansi;
    int32_t area = 0;
    for (const std::string& name : textureNames) {
      ansi.push_back(ToAnsi(name));
      area += Count(ansi.back().size()) + 1;
    }
    ByteWriter writer(out);
    writer(area);
    writer(Count(ansi.size()));
    int32_t offset = 0;
    for (const std::string& name : ansi) {
      writer(offset);
      offset += Count(name.size()) + 1;
    }
    for (const std::string& name : ansi) {
      writer.Bytes(name);
      writer.Bytes(std::string_view("\0", 1));
    }
  }
  return out;
}

}  // namespace vlm::igs
