#include "support/igs_reader.h"

#include <bit>
#include <cstring>
#include <stdexcept>

namespace vlm::test {
namespace {

constexpr size_t Header = 216, Material = 1788, Vertex = 240, Triangle = 92, Mesh = 100,
                 MeshRef = 56, Block = 260, Chunk = 44;

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error("IGS file: " + what);
}

int32_t I32At(std::string_view bytes, size_t offset) {
  if (offset + 4 > bytes.size())
    Fail("reading 4 bytes at " + std::to_string(offset) + " runs past the end");
  uint32_t v = 0;
  for (int k = 3; k >= 0; --k)
    v = (v << 8) | static_cast<unsigned char>(bytes[offset + static_cast<size_t>(k)]);
  return static_cast<int32_t>(v);
}

// The records of an array that starts at `offset`, each checked to lie inside the file.
std::vector<IgsBytes> Records(std::string_view bytes, int64_t offset, int64_t count, size_t size,
                              const std::string& what) {
  if (count < 0) Fail(what + ": negative count " + std::to_string(count));
  if (offset < 0 ||
      offset + count * static_cast<int64_t>(size) > static_cast<int64_t>(bytes.size()))
    Fail(what + ": " + std::to_string(count) + " records at " + std::to_string(offset) +
         " run past the end of the file (" + std::to_string(bytes.size()) + " bytes)");
  std::vector<IgsBytes> out;
  for (int64_t i = 0; i < count; ++i)
    out.push_back(
        {bytes.substr(static_cast<size_t>(offset) + static_cast<size_t>(i) * size, size)});
  return out;
}

// The index of the record that a reference points at.
int32_t IndexOf(int32_t reference, int64_t base, int64_t count, size_t size,
                const std::string& what) {
  const int64_t delta = reference - base;
  if (delta < 0 || delta % static_cast<int64_t>(size) != 0 ||
      delta / static_cast<int64_t>(size) >= count)
    Fail(what + ": the reference " + std::to_string(reference) +
         " is not a record boundary of its array (base " + std::to_string(base) + ", " +
         std::to_string(count) + " records of " + std::to_string(size) + " bytes)");
  return static_cast<int32_t>(delta / static_cast<int64_t>(size));
}

void ExpectAt(int64_t actual, int64_t expected, const std::string& what) {
  if (actual != expected)
    Fail(what + " starts at " + std::to_string(actual) + ", where the previous section ended (" +
         std::to_string(expected) + ")");
}

}  // namespace

int32_t IgsBytes::I32(size_t offset) const {
  return I32At(bytes, offset);
}

float IgsBytes::F32(size_t offset) const {
  return std::bit_cast<float>(I32At(bytes, offset));
}

std::string IgsBytes::Text(size_t offset, size_t size) const {
  std::string_view field = bytes.substr(offset, size);
  return std::string(field.substr(0, field.find('\0')));
}

IgsContents ReadIgs(std::string_view bytes) {
  IgsContents c;
  if (bytes.size() < Header + Chunk) Fail("shorter than a header and a chunk header");
  c.header = {bytes.substr(0, Header)};
  if (bytes.substr(0, 4) != "KIGF") Fail("no KIGF magic");
  if (c.header.I32(4) != 151) Fail("version " + std::to_string(c.header.I32(4)));

  const int32_t materialCount = c.header.I32(116);
  if (c.header.I32(120) != static_cast<int32_t>(Header)) Fail("the material array is not at 216");
  int64_t o = Header;
  for (IgsBytes raw : Records(bytes, o, materialCount, Material, "material array")) {
    IgsReadMaterial m{raw, raw.Text(0, 128), raw.Text(128, 128), raw.I32(256), {}};
    if (m.stageCount < 0 || m.stageCount > 8)
      Fail("material " + m.name + ": stage count " + std::to_string(m.stageCount));
    for (int32_t j = 0; j < m.stageCount; ++j)
      m.stageTextures.push_back(raw.I32(260 + 104 * static_cast<size_t>(j)));
    c.materials.push_back(std::move(m));
  }
  o += static_cast<int64_t>(Material) * materialCount;

  const int32_t meshCount = c.header.I32(100);
  const int64_t meshBase = c.header.I32(104);
  for (IgsBytes raw : Records(bytes, meshBase, meshCount, Mesh, "mesh array"))
    c.meshes.push_back({raw, {}, {}});
  auto materialIndex = [&](int32_t reference, const std::string& what) {
    return IndexOf(reference, Header, materialCount, Material, what);
  };
  for (size_t m = 0; m < c.meshes.size(); ++m) {
    IgsReadMesh& mesh = c.meshes[m];
    const std::string what = "mesh " + std::to_string(m);
    ExpectAt(mesh.raw.I32(8), o, what + "'s vertex array");
    for (IgsBytes raw : Records(bytes, o, mesh.raw.I32(4), Vertex, what + "'s vertex array"))
      mesh.vertices.push_back({raw, materialIndex(raw.I32(116), what + " vertex material")});
    o += static_cast<int64_t>(Vertex) * mesh.raw.I32(4);
  }
  for (size_t m = 0; m < c.meshes.size(); ++m) {
    IgsReadMesh& mesh = c.meshes[m];
    const std::string what = "mesh " + std::to_string(m);
    ExpectAt(mesh.raw.I32(16), o, what + "'s triangle array");
    for (IgsBytes raw : Records(bytes, o, mesh.raw.I32(12), Triangle, what + "'s triangle array")) {
      IgsReadTriangle t{
          raw, {}, materialIndex(raw.I32(32), what + " triangle material"), raw.I32(28)};
      for (int k = 0; k < 3; ++k)
        t.vertices[k] =
            IndexOf(raw.I32(4 * static_cast<size_t>(k)), mesh.raw.I32(8),
                    static_cast<int64_t>(mesh.vertices.size()), Vertex, what + " triangle corner");
      mesh.triangles.push_back(t);
    }
    o += static_cast<int64_t>(Triangle) * mesh.raw.I32(12);
  }
  ExpectAt(meshBase, o, "the mesh array");
  o += static_cast<int64_t>(Mesh) * meshCount;

  const int32_t blockCount = c.header.I32(92);
  const int64_t blockBase = c.header.I32(96);
  std::vector<IgsBytes> blocks = Records(bytes, blockBase, blockCount, Block, "block array");
  for (size_t b = 0; b < blocks.size(); ++b) {
    const std::string what = "block " + std::to_string(b);
    IgsReadBlock block{blocks[b], blocks[b].Text(0, 32), -1, {}, {}};
    ExpectAt(block.raw.I32(40), o, what + "'s mesh-ref array");
    for (IgsBytes raw : Records(bytes, o, block.raw.I32(36), MeshRef, what + "'s mesh-refs"))
      block.meshes.push_back(IndexOf(raw.I32(4), meshBase, meshCount, Mesh, what + " mesh-ref"));
    o += static_cast<int64_t>(MeshRef) * block.raw.I32(36);
    if (block.raw.I32(108) != 0)
      block.parent = IndexOf(block.raw.I32(108), blockBase, blockCount, Block, what + " parent");
    const int32_t children = block.raw.I32(112);
    if (children < 0 || children > 24) Fail(what + ": child count " + std::to_string(children));
    for (int32_t k = 0; k < children; ++k)
      block.children.push_back(IndexOf(block.raw.I32(116 + 4 * static_cast<size_t>(k)), blockBase,
                                       blockCount, Block, what + " child"));
    for (int32_t k = children; k < 24; ++k)
      if (block.raw.I32(116 + 4 * static_cast<size_t>(k)) != 0) Fail(what + ": unused child set");
    c.blocks.push_back(std::move(block));
  }
  ExpectAt(blockBase, o, "the block array");
  o += static_cast<int64_t>(Block) * blockCount;
  for (size_t b = 0; b < c.blocks.size(); ++b)
    for (int32_t child : c.blocks[b].children)
      if (c.blocks[static_cast<size_t>(child)].parent != static_cast<int32_t>(b))
        Fail("block " + std::to_string(b) + " lists child " + std::to_string(child) +
             " whose parent is another block");

  c.chunkOffset = static_cast<size_t>(o);
  IgsBytes chunk = Records(bytes, o, 1, Chunk, "texture name chunk header")[0];
  if (chunk.Text(0, 32) != "Texture name table" || chunk.I32(32) != 2 || chunk.I32(36) != 44 ||
      chunk.I32(40) != 0)
    Fail("the texture name chunk header is not as the format fixes it");
  o += Chunk;
  const bool hasNames = c.header.I32(164 + 0) != 0;
  if (!hasNames) {
    if (c.header.I32(212) != 0) Fail("no texture names, yet the chunk offset is set");
    if (static_cast<size_t>(o) != bytes.size()) Fail("bytes after the chunk header");
    return c;
  }
  ExpectAt(c.header.I32(212), static_cast<int64_t>(c.chunkOffset), "the texture name chunk");
  const int32_t area = I32At(bytes, static_cast<size_t>(o));
  const int32_t n = I32At(bytes, static_cast<size_t>(o) + 4);
  if (n <= 0) Fail("the texture name table is flagged but empty");
  const size_t names = static_cast<size_t>(o) + 8 + 4 * static_cast<size_t>(n);
  if (names + static_cast<size_t>(area) != bytes.size())
    Fail("the texture name table does not end the file");
  int32_t expected = 0;
  for (int32_t k = 0; k < n; ++k) {
    const int32_t offset = I32At(bytes, static_cast<size_t>(o) + 8 + 4 * static_cast<size_t>(k));
    if (offset != expected)
      Fail("texture name " + std::to_string(k) + " is not where it should be");
    std::string_view rest = bytes.substr(names + static_cast<size_t>(offset));
    const size_t end = rest.find('\0');
    if (end == std::string_view::npos) Fail("texture name without its 0 byte");
    c.textureNames.emplace_back(rest.substr(0, end));
    expected += static_cast<int32_t>(end) + 1;
  }
  if (expected != area) Fail("the string area size does not match its names");
  return c;
}

}  // namespace vlm::test
