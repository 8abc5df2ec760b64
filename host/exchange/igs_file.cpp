#include "exchange/igs_file.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "exchange/igs_bytes.h"
#include "vlm/error.h"
#include "vlm/igs_layout.h"

namespace vlm::host {
namespace {

// Every field is read at its offset in the record layout (vlm/igs_layout.h).
using igs::IgsBlock, igs::IgsHeader, igs::IgsMaterial, igs::IgsMesh, igs::IgsMeshRef,
    igs::IgsNameTableHead, igs::IgsTextureNameChunk, igs::IgsTextureStage, igs::IgsTriangle,
    igs::IgsVertex;
using igs_bytes::Number, igs_bytes::Reader;

// The header's fields.
constexpr size_t kBlockCountAt = offsetof(IgsHeader, blockCount),
                 kBlockArrayAt = offsetof(IgsHeader, blockArray),
                 kMeshCountAt = offsetof(IgsHeader, meshCount),
                 kMeshArrayAt = offsetof(IgsHeader, meshArray),
                 kOtherCountAt = offsetof(IgsHeader, otherCount),
                 kMaterialCountAt = offsetof(IgsHeader, materialCount),
                 kMaterialArrayAt = offsetof(IgsHeader, materialArray),
                 kNamesFlagAt = offsetof(IgsHeader, flags),
                 kChunkAt = offsetof(IgsHeader, textureNameChunk);
constexpr size_t kStageSize = sizeof(IgsTextureStage), kStagesAt = offsetof(IgsMaterial, stages);
// The size of one element of an array member: the stride of its entries in the file.
constexpr size_t kRefSize = sizeof(IgsTriangle::vertices[0]);
constexpr size_t kTexCoordsSize = sizeof(IgsVertex::texCoords[0]);
constexpr size_t kTitleSize = sizeof(IgsTextureNameChunk::title);

// "material 3", "mesh 0's vertex 12".
std::string Named(const std::string& what, size_t index) {
  return what + " " + Number(index);
}

// The level and distance a block name starts with: "2_0400_Body".
void LevelOf(IgsBlockRecord& block) {
  const std::string& n = block.name;
  const size_t first = n.find('_');
  if (first == 0 || first == std::string::npos || first > 2) return;
  if (n.size() < first + 6 || n[first + 5] != '_') return;
  const auto digits = [](std::string_view s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  const std::string_view level = std::string_view(n).substr(0, first);
  const std::string_view distance = std::string_view(n).substr(first + 1, 4);
  if (!digits(level) || !digits(distance)) return;
  block.level = std::stoi(std::string(level));
  block.distance = std::stoi(std::string(distance));
}

class FileReader {
 public:
  FileReader(std::string_view bytes, const std::string& origin) : r_(bytes, origin) {
    c_.origin = origin;
    c_.size = bytes.size();
  }

  IgsContents Run() {
    Header();
    Materials();
    Meshes();
    Blocks();
    Names();
    return std::move(c_);
  }

 private:
  void Note(const std::string& line) { c_.notes.push_back(line); }

  // Where the previous section ended: each section follows it in the order Trackline writes.
  void ExpectAt(uint64_t actual, const std::string& what) {
    if (actual != next_)
      Note(what + " starts at " + Number(actual) + ", where the previous section ended (" +
           Number(next_) + ")");
    next_ = actual;
  }

  void Header() {
    const std::string h = "the header";
    if (r_.Size() < kIgsHeaderSize)
      r_.Fail(h, 0,
              "the file is " + Number(r_.Size()) + " bytes long, shorter than the " +
                  Number(kIgsHeaderSize) + "-byte header");
    if (r_.Bytes(offsetof(IgsHeader, magic), igs::Magic.size()) != igs::Magic)
      r_.Fail(h, offsetof(IgsHeader, magic),
              "it does not start with \"" + std::string(igs::Magic) + "\"");
    c_.version = r_.I32(offsetof(IgsHeader, version), h);
    if (c_.version != kIgsVersion)
      r_.Fail(h, offsetof(IgsHeader, version),
              "version " + std::to_string(c_.version) + ", not " + std::to_string(kIgsVersion) +
                  ", the one this reader knows");
    c_.shapeTag = r_.Text(offsetof(IgsHeader, shape), sizeof(IgsHeader::shape), h);
    c_.comment = r_.Text(offsetof(IgsHeader, comment), sizeof(IgsHeader::comment), h);
    if (r_.I32(kOtherCountAt, h) != 0)
      Note("the header counts " + std::to_string(r_.I32(kOtherCountAt, h)) + " records of a " +
           Number(igs::OtherRecordSize) + "-byte section, which is not read");
    next_ = kIgsHeaderSize;
  }

  void Materials() {
    const int32_t count = r_.I32(kMaterialCountAt, "the header");
    const int32_t offset = r_.I32(kMaterialArrayAt, "the header");
    materialBase_ =
        r_.Array(count, offset, kIgsMaterialSize, "the material array", kMaterialCountAt);
    materialCount_ = count;
    if (count > 0) ExpectAt(materialBase_, "the material array");
    c_.materials.resize(static_cast<size_t>(count));
    for (size_t i = 0; i < c_.materials.size(); ++i) {
      IgsMaterialRecord& m = c_.materials[i];
      const std::string what = Named("material", i);
      const uint64_t at = materialBase_ + i * kIgsMaterialSize;
      m.offset = static_cast<uint32_t>(at);
      m.bytes = std::string(r_.Bytes(at, kIgsMaterialSize));
      m.name = r_.Text(at + offsetof(IgsMaterial, name), kIgsMaterialNameSize, what);
      m.shader = r_.Text(at + offsetof(IgsMaterial, shader), kIgsShaderNameSize, what);
      const int32_t stages = r_.I32(at + offsetof(IgsMaterial, stageCount), what);
      if (stages < 0 || stages > kIgsMaxStages)
        r_.Fail(what, at + offsetof(IgsMaterial, stageCount),
                "the stage count " + std::to_string(stages) + " is outside 0 to " +
                    std::to_string(kIgsMaxStages));
      for (int32_t j = 0; j < stages; ++j) {
        const uint64_t s = at + kStagesAt + kStageSize * static_cast<uint64_t>(j);
        IgsStageRecord st;
        st.texture = r_.I32(s + offsetof(IgsTextureStage, texture), what);
        st.filtermode = r_.I32(s + offsetof(IgsTextureStage, filtermode), what);
        st.value40 = r_.I32(s + offsetof(IgsTextureStage, reserved40), what);
        st.miplodbias = r_.F32(s + offsetof(IgsTextureStage, miplodbias), what);
        st.animateUV = r_.I32(s + offsetof(IgsTextureStage, AnimateUV), what);
        st.frames = r_.I32(s + offsetof(IgsTextureStage, frames), what);
        st.fps = r_.I32(s + offsetof(IgsTextureStage, fps), what);
        st.scrollUVs = r_.I32(s + offsetof(IgsTextureStage, ScrollUVs), what);
        st.scrollu = r_.F32(s + offsetof(IgsTextureStage, scrollu), what);
        st.scrollv = r_.F32(s + offsetof(IgsTextureStage, scrollv), what);
        st.arg = r_.Floats<5>(s + offsetof(IgsTextureStage, arg), what);
        m.stages.push_back(st);
      }
      m.neverocclude = r_.I32(at + offsetof(IgsMaterial, neverocclude), what);
      m.alphaPriority = r_.I32(at + offsetof(IgsMaterial, alphaPriority), what);
      m.zbias = r_.I32(at + offsetof(IgsMaterial, zbias), what);
      m.transparency = r_.I32(at + offsetof(IgsMaterial, transparency), what);
      m.zbuffermode = r_.I32(at + offsetof(IgsMaterial, zbuffermode), what);
      m.backFacecull = r_.I32(at + offsetof(IgsMaterial, BackFacecull), what);
      m.twoSided = r_.I32(at + offsetof(IgsMaterial, TwoSided), what);
      m.viewfacing = r_.I32(at + offsetof(IgsMaterial, viewfacing), what);
      m.vismod = r_.I32(at + offsetof(IgsMaterial, vismod), what);
      m.ambient = r_.Floats<4>(at + offsetof(IgsMaterial, ambient), what);
      m.diffuse = r_.Floats<4>(at + offsetof(IgsMaterial, diffuse), what);
      m.emissive = r_.Floats<4>(at + offsetof(IgsMaterial, emissive), what);
      m.specular = r_.F32(at + offsetof(IgsMaterial, specular), what);
    }
    if (count > 0) next_ = materialBase_ + static_cast<uint64_t>(count) * kIgsMaterialSize;
  }

  int32_t Material(int32_t reference, const std::string& what, uint64_t at) const {
    return r_.IndexOf(reference, materialBase_, materialCount_, kIgsMaterialSize, what, at);
  }

  void Meshes() {
    const int32_t count = r_.I32(kMeshCountAt, "the header");
    const int32_t offset = r_.I32(kMeshArrayAt, "the header");
    meshBase_ = r_.Array(count, offset, kIgsMeshSize, "the mesh array", kMeshCountAt);
    meshCount_ = count;
    c_.meshes.resize(static_cast<size_t>(count));
    std::vector<int32_t> vertexCounts(c_.meshes.size()), triangleCounts(c_.meshes.size());
    for (size_t i = 0; i < c_.meshes.size(); ++i)
      MeshRecord(i, vertexCounts[i], triangleCounts[i]);
    for (size_t i = 0; i < c_.meshes.size(); ++i)
      Vertices(i, vertexCounts[i]);
    for (size_t i = 0; i < c_.meshes.size(); ++i)
      Triangles(i, vertexCounts[i], triangleCounts[i]);
    if (count > 0) {
      ExpectAt(meshBase_, "the mesh array");
      next_ = meshBase_ + static_cast<uint64_t>(count) * kIgsMeshSize;
    }
  }

  // Mesh i's record: its bounding box and where its two arrays lie, with their counts.
  void MeshRecord(size_t i, int32_t& vertexCount, int32_t& triangleCount) {
    IgsMeshRecord& m = c_.meshes[i];
    const std::string what = Named("mesh", i);
    const uint64_t at = meshBase_ + i * kIgsMeshSize;
    m.offset = static_cast<uint32_t>(at);
    const uint64_t vertexCountAt = at + offsetof(IgsMesh, vertexCount);
    const uint64_t triangleCountAt = at + offsetof(IgsMesh, triangleCount);
    vertexCount = r_.I32(vertexCountAt, what);
    m.vertexArray = static_cast<uint32_t>(
        r_.Array(vertexCount, r_.I32(at + offsetof(IgsMesh, vertexArray), what), kIgsVertexSize,
                 what + "'s vertex array", vertexCountAt));
    triangleCount = r_.I32(triangleCountAt, what);
    m.triangleArray = static_cast<uint32_t>(
        r_.Array(triangleCount, r_.I32(at + offsetof(IgsMesh, triangleArray), what),
                 kIgsTriangleSize, what + "'s triangle array", triangleCountAt));
    const auto min = r_.Floats<3>(at + offsetof(IgsMesh, min), what),
               max = r_.Floats<3>(at + offsetof(IgsMesh, max), what);
    m.min = min, m.max = max;
  }

  void Vertices(size_t i, int32_t count) {
    IgsMeshRecord& m = c_.meshes[i];
    const std::string what = Named("mesh", i) + "'s vertex";
    if (count > 0) ExpectAt(m.vertexArray, Named("mesh", i) + "'s vertex array");
    m.vertices.resize(static_cast<size_t>(count));
    for (size_t k = 0; k < m.vertices.size(); ++k)
      m.vertices[k] = Vertex(m.vertexArray + k * kIgsVertexSize, Named(what, k));
    if (count > 0) next_ = m.vertexArray + static_cast<uint64_t>(count) * kIgsVertexSize;
  }

  IgsVertexRecord Vertex(uint64_t at, const std::string& record) const {
    IgsVertexRecord v;
    v.position = r_.Floats<3>(at + offsetof(IgsVertex, position), record);
    v.normal = r_.Floats<3>(at + offsetof(IgsVertex, normal), record);
    const uint64_t setsAt = at + offsetof(IgsVertex, texCoordSets);
    v.texCoordSets = r_.I32(setsAt, record);
    if (v.texCoordSets < 0 || v.texCoordSets > igs::MaxTexCoordSets)
      r_.Fail(record, setsAt,
              "the texture-coordinate set count " + std::to_string(v.texCoordSets) +
                  " is outside 0 to " + std::to_string(igs::MaxTexCoordSets));
    for (size_t s = 0; s < v.texCoords.size(); ++s)
      v.texCoords[s] =
          r_.Floats<2>(at + offsetof(IgsVertex, texCoords) + kTexCoordsSize * s, record);
    v.colour = r_.Floats<4>(at + offsetof(IgsVertex, colour), record);
    const uint64_t materialAt = at + offsetof(IgsVertex, material);
    v.material = Material(r_.I32(materialAt, record), record + "'s material", materialAt);
    const uint64_t bonesAt = at + offsetof(IgsVertex, boneCount);
    v.boneCount = r_.I32(bonesAt, record);
    if (v.boneCount < 0 || v.boneCount > igs::MaxBoneWeights)
      r_.Fail(record, bonesAt,
              "the bone weight count " + std::to_string(v.boneCount) + " is outside 0 to " +
                  std::to_string(igs::MaxBoneWeights));
    return v;
  }

  void Triangles(size_t i, int32_t vertexCount, int32_t count) {
    IgsMeshRecord& m = c_.meshes[i];
    const std::string what = Named("mesh", i) + "'s triangle";
    if (count > 0) ExpectAt(m.triangleArray, Named("mesh", i) + "'s triangle array");
    m.triangles.resize(static_cast<size_t>(count));
    for (size_t k = 0; k < m.triangles.size(); ++k)
      m.triangles[k] =
          Triangle(m, vertexCount, m.triangleArray + k * kIgsTriangleSize, Named(what, k));
    if (count > 0) next_ = m.triangleArray + static_cast<uint64_t>(count) * kIgsTriangleSize;
  }

  // A triangle of mesh `m`, whose corners name vertices of that mesh.
  IgsTriangleRecord Triangle(const IgsMeshRecord& m, int32_t vertexCount, uint64_t at,
                             const std::string& record) const {
    IgsTriangleRecord t;
    for (size_t c = 0; c < t.vertices.size(); ++c) {
      const uint64_t cornerAt = at + offsetof(IgsTriangle, vertices) + kRefSize * c;
      t.vertices[c] = r_.IndexOf(r_.I32(cornerAt, record), m.vertexArray, vertexCount,
                                 kIgsVertexSize, record + "'s corner", cornerAt);
    }
    t.normal = r_.Floats<3>(at + offsetof(IgsTriangle, normal), record);
    t.fanFlag = r_.I32(at + offsetof(IgsTriangle, fanFlag), record);
    const uint64_t materialAt = at + offsetof(IgsTriangle, material);
    t.material = Material(r_.I32(materialAt, record), record + "'s material", materialAt);
    return t;
  }

  void Blocks() {
    const int32_t count = r_.I32(kBlockCountAt, "the header");
    const int32_t offset = r_.I32(kBlockArrayAt, "the header");
    const uint64_t base = r_.Array(count, offset, kIgsBlockSize, "the block array", kBlockCountAt);
    c_.blocks.resize(static_cast<size_t>(count));
    std::vector<uint64_t> refArrays(c_.blocks.size());
    std::vector<int32_t> refCounts(c_.blocks.size());
    for (size_t i = 0; i < c_.blocks.size(); ++i)
      BlockRecord(i, base, count, refArrays[i], refCounts[i]);
    for (size_t i = 0; i < c_.blocks.size(); ++i)
      MeshRefs(i, refArrays[i], refCounts[i]);
    if (count > 0) {
      ExpectAt(base, "the block array");
      next_ = base + static_cast<uint64_t>(count) * kIgsBlockSize;
    }
    ChildrenAgreeWithParents();
    ParentsNeverComeBackRound();
  }

  // Block i's record in the array of `count` at `base`: its name, transform, parent and
  // children, and where its mesh-refs lie, with their count.
  void BlockRecord(size_t i, uint64_t base, int32_t count, uint64_t& refArray, int32_t& refCount) {
    IgsBlockRecord& b = c_.blocks[i];
    const std::string what = Named("block", i);
    const uint64_t at = base + i * kIgsBlockSize;
    b.offset = static_cast<uint32_t>(at);
    b.name = r_.Text(at + offsetof(IgsBlock, name), kIgsBlockNameSize, what);
    LevelOf(b);
    b.number = r_.I32(at + offsetof(IgsBlock, number), what);
    const uint64_t refCountAt = at + offsetof(IgsBlock, meshRefCount);
    refCount = r_.I32(refCountAt, what);
    refArray = r_.Array(refCount, r_.I32(at + offsetof(IgsBlock, meshRefArray), what),
                        kIgsMeshRefSize, what + "'s mesh-ref array", refCountAt);
    b.transform = r_.Floats<16>(at + offsetof(IgsBlock, transform), what);
    const uint64_t parentAt = at + offsetof(IgsBlock, parent);
    const int32_t parent = r_.I32(parentAt, what);
    if (parent != 0)
      b.parent = r_.IndexOf(parent, base, count, kIgsBlockSize, what + "'s parent", parentAt);
    Children(b, what, base, count);
  }

  // The children block `b` lists; the entries past its child count stay 0.
  void Children(IgsBlockRecord& b, const std::string& what, uint64_t base, int32_t count) {
    const uint64_t at = b.offset;
    const uint64_t childCountAt = at + offsetof(IgsBlock, childCount);
    const int32_t children = r_.I32(childCountAt, what);
    if (children < 0 || children > kIgsMaxChildren)
      r_.Fail(what, childCountAt,
              "the child count " + std::to_string(children) + " is outside 0 to " +
                  std::to_string(kIgsMaxChildren));
    const auto childAt = [at](int32_t k) {
      return at + offsetof(IgsBlock, children) + kRefSize * static_cast<uint64_t>(k);
    };
    for (int32_t k = 0; k < children; ++k)
      b.children.push_back(r_.IndexOf(r_.I32(childAt(k), what), base, count, kIgsBlockSize,
                                      what + "'s child", childAt(k)));
    for (int32_t k = children; k < kIgsMaxChildren; ++k)
      if (r_.I32(childAt(k), what) != 0) Note(what + " has a child entry set past its child count");
  }

  void MeshRefs(size_t i, uint64_t refArray, int32_t refCount) {
    IgsBlockRecord& b = c_.blocks[i];
    const std::string what = Named("block", i) + "'s mesh-ref";
    if (refCount > 0) ExpectAt(refArray, Named("block", i) + "'s mesh-ref array");
    for (int32_t k = 0; k < refCount; ++k) {
      const uint64_t at = refArray + static_cast<uint64_t>(k) * kIgsMeshRefSize;
      const std::string record = Named(what, static_cast<size_t>(k));
      b.meshDistances.push_back(r_.F32(at + offsetof(IgsMeshRef, distance), record));
      const uint64_t meshAt = at + offsetof(IgsMeshRef, mesh);
      b.meshes.push_back(r_.IndexOf(r_.I32(meshAt, record), meshBase_, meshCount_, kIgsMeshSize,
                                    record + "'s mesh", meshAt));
    }
    if (refCount > 0) next_ = refArray + static_cast<uint64_t>(refCount) * kIgsMeshRefSize;
  }

  void ChildrenAgreeWithParents() const {
    for (size_t i = 0; i < c_.blocks.size(); ++i)
      for (int32_t child : c_.blocks[i].children)
        if (c_.blocks[static_cast<size_t>(child)].parent != static_cast<int32_t>(i))
          r_.Fail(
              Named("block", i), c_.blocks[i].offset + offsetof(IgsBlock, children),
              "it lists block " + std::to_string(child) + " as a child, whose parent is " +
                  (c_.blocks[static_cast<size_t>(child)].parent < 0
                       ? std::string("none")
                       : "block " + std::to_string(c_.blocks[static_cast<size_t>(child)].parent)));
  }

  void ParentsNeverComeBackRound() const {
    std::vector<char> state(c_.blocks.size(), 0);  // 0 not seen, 1 on this walk, 2 done
    std::vector<size_t> walk;
    for (size_t i = 0; i < c_.blocks.size(); ++i) {
      walk.clear();
      for (size_t at = i; state[at] == 0;) {
        state[at] = 1;
        walk.push_back(at);
        const int32_t parent = c_.blocks[at].parent;
        if (parent < 0) break;
        if (state[static_cast<size_t>(parent)] == 1)
          r_.Fail(Named("block", at), c_.blocks[at].offset + offsetof(IgsBlock, parent),
                  "its parents lead back to itself");
        at = static_cast<size_t>(parent);
      }
      for (size_t w : walk)
        state[w] = 2;
    }
  }

  void Names() {
    const int32_t flag = r_.I32(kNamesFlagAt, "the header");
    const int32_t chunk = r_.I32(kChunkAt, "the header");
    if (chunk == 0) {
      NoNameTable(flag);
    } else {
      const uint64_t at = NameChunkHeader(chunk, flag);
      next_ = NameTable(at + kIgsChunkSize);
      NameTheStages();
    }
    if (next_ != r_.Size()) Note(Number(r_.Size() - next_) + " bytes follow the last section");
  }

  // A file without a texture name table may still end with the chunk's header, and then no
  // stage may name a texture.
  void NoNameTable(int32_t flag) {
    // Trackline writes the chunk header even when no name follows it.
    if (next_ + kIgsChunkSize <= r_.Size() &&
        r_.Text(next_ + offsetof(IgsTextureNameChunk, title), kTitleSize,
                "the texture name chunk") == igs::TextureNameTitle) {
      next_ += kIgsChunkSize;
    } else {
      Note("the file ends without the texture name chunk header");
    }
    if (flag != 0) Note("the header flags texture names but gives no chunk offset");
    size_t textured = 0;
    for (const IgsMaterialRecord& m : c_.materials)
      for (const IgsStageRecord& s : m.stages)
        textured += s.texture != 0;
    if (textured > 0)
      r_.Fail("the header", kChunkAt,
              Number(textured) +
                  " texture stages name a texture, and the file has no texture "
                  "name table");
  }

  // The header of the texture name chunk at the header's offset `chunk`; gives where it starts.
  uint64_t NameChunkHeader(int32_t chunk, int32_t flag) {
    const std::string what = "the texture name chunk";
    if (chunk < 0)
      r_.Fail("the header", kChunkAt, "the chunk offset " + std::to_string(chunk) + " is negative");
    const uint64_t at = static_cast<uint64_t>(chunk);
    r_.Need(at, kIgsChunkSize, what);
    ExpectAt(at, what);
    c_.chunkOffset = static_cast<uint32_t>(at);
    if (r_.Text(at + offsetof(IgsTextureNameChunk, title), kTitleSize, what) !=
        igs::TextureNameTitle)
      r_.Fail(what, at, "it does not start with \"" + std::string(igs::TextureNameTitle) + "\"");
    if (r_.I32(at + offsetof(IgsTextureNameChunk, value32), what) != igs::TextureNameChunkValue ||
        r_.I32(at + offsetof(IgsTextureNameChunk, headerSize), what) !=
            static_cast<int32_t>(kIgsChunkSize) ||
        r_.I32(at + offsetof(IgsTextureNameChunk, reserved40), what) != 0)
      Note("the texture name chunk header's numbers are not " +
           std::to_string(igs::TextureNameChunkValue) + ", " + Number(kIgsChunkSize) + " and 0");
    if (flag == 0) Note("the header gives a texture name chunk but does not flag it");
    return at;
  }

  // The texture name table at `body`: its names, each up to its 0 byte. Gives where it ends.
  uint64_t NameTable(uint64_t body) {
    const std::string table = "the texture name table";
    const uint64_t areaAt = body + offsetof(IgsNameTableHead, areaSize);
    const uint64_t countAt = body + offsetof(IgsNameTableHead, nameCount);
    const uint64_t offsets = body + igs::NameTableHeadSize;
    const int32_t area = r_.I32(areaAt, table);
    const int32_t n = r_.I32(countAt, table);
    if (n < 0 || static_cast<uint64_t>(n) > (r_.Size() - offsets) / igs::NameOffsetSize)
      r_.Fail(table, countAt, "the name count " + std::to_string(n) + " does not fit the file");
    const uint64_t strings = offsets + igs::NameOffsetSize * static_cast<uint64_t>(n);
    if (area < 0 || static_cast<uint64_t>(area) > r_.Size() - strings)
      r_.Fail(table, areaAt,
              "its string area of " + std::to_string(area) + " bytes does not fit the file");
    uint64_t expected = 0;
    for (int32_t k = 0; k < n; ++k) {
      const uint64_t entry = offsets + igs::NameOffsetSize * static_cast<uint64_t>(k);
      const int32_t offset = r_.I32(entry, table);
      if (offset < 0 || offset >= area)
        r_.Fail(table, entry,
                "name " + std::to_string(k) + " starts at " + std::to_string(offset) +
                    ", outside its string area of " + std::to_string(area) + " bytes");
      const std::string_view rest =
          r_.Bytes(strings + static_cast<uint64_t>(offset), static_cast<size_t>(area - offset));
      const size_t end = rest.find('\0');
      if (end == std::string_view::npos)
        r_.Fail(table, strings + static_cast<uint64_t>(offset),
                "name " + std::to_string(k) + " has no 0 byte before the end of its area");
      if (static_cast<uint64_t>(offset) != expected)
        Note("texture name " + std::to_string(k) + " is not where the one before it ends");
      c_.textureNames.emplace_back(rest.substr(0, end));
      expected = static_cast<uint64_t>(offset) + end + 1;
    }
    if (expected != static_cast<uint64_t>(area))
      Note("the string area's size does not match its names");
    if (n == 0) Note("the texture name table is present but empty");
    return strings + static_cast<uint64_t>(area);
  }

  // Each stage that names a texture takes the next name, material by material.
  void NameTheStages() {
    size_t k = 0;
    for (size_t i = 0; i < c_.materials.size(); ++i)
      for (size_t j = 0; j < c_.materials[i].stages.size(); ++j) {
        IgsStageRecord& s = c_.materials[i].stages[j];
        if (s.texture == 0) continue;
        if (k >= c_.textureNames.size())
          r_.Fail(Named("material", i), c_.materials[i].offset + kStagesAt + kStageSize * j,
                  "stage " + Number(j) +
                      " names a texture, and the texture name table holds only " +
                      Number(c_.textureNames.size()) + " names");
        const int64_t number =
            igs::StageTextureNumber(static_cast<int64_t>(i), static_cast<int64_t>(j));
        if (s.texture != number)
          Note(Named("material", i) + "'s stage " + Number(j) + " has the texture number " +
               std::to_string(s.texture) + ", not " + std::to_string(number));
        s.textureName = c_.textureNames[k++];
      }
    if (k < c_.textureNames.size())
      Note(Number(c_.textureNames.size() - k) + " texture names are used by no stage");
  }

  Reader r_;
  IgsContents c_;
  uint64_t next_ = 0;  // where the section read last ended
  uint64_t materialBase_ = 0, meshBase_ = 0;
  int32_t materialCount_ = 0, meshCount_ = 0;
};

}  // namespace

bool LooksLikeIgs(std::string_view firstBytes) {
  return firstBytes.substr(0, igs::Magic.size()) == igs::Magic;
}

IgsContents ReadIgs(std::string_view bytes, const std::string& origin) {
  return FileReader(bytes, origin).Run();
}

IgsContents ReadIgsFile(const std::filesystem::path& file) {
  const std::string origin = file.string();
  std::ifstream in(file, std::ios::binary);
  if (!in) Raise(err::FileNotFound, origin + ": the file cannot be opened");
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) Raise(err::FileNotFound, origin + ": the file cannot be read");
  return ReadIgs(bytes.str(), origin);
}

}  // namespace vlm::host
