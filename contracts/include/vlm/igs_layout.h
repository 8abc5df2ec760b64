// The records of a rail-sim IGS geometry file, byte for byte: what Trackline writes and the
// host's IGS reader reads.
//
// Each record is a plain structure whose members sit at the offsets the format gives them
// (every member is a 32-bit number or a byte array, so there is no padding), and the static
// checks below hold the sizes and the offsets readers depend on. The file is little-endian
// whatever the machine. A writer puts every member into its bytes in the order `Visit` gives;
// a reader finds a field at offsetof(Record, member) from the record's start.
//
// A reference member (RecordRef) holds the 0-based index of the record it names while the
// file is built, and the absolute file offset of that record once the pointers are adjusted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "vlm/format_limits.h"

namespace vlm::igs {

// What the header starts with, and the one version of the format there is.
inline constexpr std::string_view Magic = "KIGF";
inline constexpr int32_t FormatVersion = 151;
// The texture name chunk header's title and its fixed number after the title.
inline constexpr std::string_view TextureNameTitle = "Texture name table";
inline constexpr int32_t TextureNameChunkValue = 2;
// The records of the section the header counts in otherCount, which is never written.
inline constexpr size_t OtherRecordSize = 252;
// The sets of texture coordinates and the bone weights a vertex record has room for.
inline constexpr int32_t MaxTexCoordSets = 8;
inline constexpr int32_t MaxBoneWeights = 8;

// The number a textured stage carries once the name table is built: 10 + 100 x material +
// stage (both 0-based).
constexpr int64_t StageTextureNumber(int64_t material, int64_t stage) {
  constexpr int64_t first = 10, perMaterial = 100;
  return first + perMaterial * material + stage;
}

// The 0-based position of a record in its array.
struct RecordIndex {
  int32_t value = 0;
  friend bool operator==(RecordIndex, RecordIndex) = default;
};

// An absolute position in the file, in bytes.
struct FileOffset {
  int32_t value = 0;
  friend bool operator==(FileOffset, FileOffset) = default;
};

// A member that names another record: its index while the file is built, its file offset
// once the pointers are adjusted (IgsFile::AdjustPointers).
class RecordRef {
 public:
  RecordRef() = default;
  RecordRef(RecordIndex index) : value_(index.value) {}
  RecordIndex Index() const { return {value_}; }
  void Resolve(FileOffset offset) { value_ = offset.value; }
  // What the file holds: the index or the offset, whichever the member holds now.
  int32_t Stored() const { return value_; }
  friend bool operator==(const RecordRef&, const RecordRef&) = default;

 private:
  int32_t value_ = 0;
};

// The byte sizes of the records. The fixed tables of the format (MaxMaterials, MaxChildren,
// ...) are in vlm/format_limits.h.
inline constexpr size_t HeaderSize = 216;
inline constexpr size_t MaterialSize = 1788;
inline constexpr size_t TextureStageSize = 104;
inline constexpr size_t VertexSize = 240;
inline constexpr size_t TriangleSize = 92;
inline constexpr size_t MeshSize = 100;
inline constexpr size_t MeshRefSize = 56;
inline constexpr size_t BlockSize = 260;
inline constexpr size_t TextureNameChunkSize = 44;
inline constexpr size_t NameTableHeadSize = 8;

struct IgsHeader {
  char magic[4];     // Magic
  int32_t version;   // FormatVersion
  char shape[16];    // "SHAPE"
  char comment[64];  // "Vellum IGS Export by Ardo Venmark 2011"
  int32_t reserved88;
  int32_t blockCount;
  FileOffset blockArray;  // of the IgsBlock array
  int32_t meshCount;
  FileOffset meshArray;  // of the IgsMesh array
  int32_t otherCount;    // of the OtherRecordSize-byte section, never written
  FileOffset otherArray;
  int32_t materialCount;
  FileOffset materialArray;  // always 216
  int32_t reserved124[2];
  float tint[4];
  int32_t reserved148[4];
  int32_t flags[12];            // flags[0]: 1 when the texture name table holds names
  FileOffset textureNameChunk;  // of the chunk header when the table holds names

  template <class V>
  void Visit(V&& v) const {
    v(magic), v(version), v(shape), v(comment), v(reserved88), v(blockCount), v(blockArray);
    v(meshCount), v(meshArray), v(otherCount), v(otherArray), v(materialCount), v(materialArray);
    v(reserved124), v(tint), v(reserved148), v(flags), v(textureNameChunk);
  }
};

struct IgsTextureStage {
  int32_t texture;  // 1-based number in the texture list while building; StageTextureNumber after
  char reserved4[32];
  int32_t filtermode;
  int32_t reserved40;
  char reserved44[8];
  float miplodbias;
  int32_t AnimateUV;
  int32_t frames;
  int32_t fps;
  int32_t ScrollUVs;
  float scrollu;
  float scrollv;
  float arg[5];
  char reserved100[4];

  template <class V>
  void Visit(V&& v) const {
    v(texture), v(reserved4), v(filtermode), v(reserved40), v(reserved44), v(miplodbias);
    v(AnimateUV), v(frames), v(fps), v(ScrollUVs), v(scrollu), v(scrollv), v(arg), v(reserved100);
  }
};

struct IgsMaterial {
  char name[MaterialNameSize];
  char shader[ShaderNameSize];
  int32_t stageCount;
  IgsTextureStage stages[MaxStages];
  int32_t neverocclude;
  int32_t alphaPriority;
  int32_t zbias;
  int32_t transparency;
  int32_t value1108;  // 128
  int32_t zbuffermode;
  int32_t BackFacecull;
  int32_t TwoSided;
  int32_t viewfacing;
  int32_t vismod;
  char collide[128];  // "NO COLLIDE"
  char reserved1260[8];
  char headlamp[32];  // "HEADLAMP"
  float values1300[2];
  float values1308[2];
  char reserved1316[8];
  float values1324[6];
  char reserved1348[4];
  char traffic[32];  // "TRAFFIC"
  char reserved1384[12];
  float ambient[4];
  float diffuse[4];
  float emissive[4];
  float value1444;
  float diffuseCopy[4];
  float specular;
  int32_t value1468;
  int32_t value1472;
  int32_t value1476;
  float value1480;
  char reserved1484[304];

  template <class V>
  void Visit(V&& v) const {
    v(name), v(shader), v(stageCount), v(stages), v(neverocclude), v(alphaPriority), v(zbias);
    v(transparency), v(value1108), v(zbuffermode), v(BackFacecull), v(TwoSided), v(viewfacing);
    v(vismod), v(collide), v(reserved1260), v(headlamp), v(values1300), v(values1308);
    v(reserved1316), v(values1324), v(reserved1348), v(traffic), v(reserved1384), v(ambient);
    v(diffuse), v(emissive), v(value1444), v(diffuseCopy), v(specular), v(value1468);
    v(value1472), v(value1476), v(value1480), v(reserved1484);
  }
};

struct IgsBoneWeight {
  int32_t bone;
  float weight;

  template <class V>
  void Visit(V&& v) const {
    v(bone), v(weight);
  }
};

struct IgsVertex {
  float position[3];
  float reserved12;
  float normal[3];
  float reserved28;
  int32_t texCoordSets;
  float texCoords[MaxTexCoordSets][2];
  float colour[4];
  RecordRef material;  // an IgsMaterial
  int32_t boneCount;
  IgsBoneWeight bones[MaxBoneWeights];
  int32_t reserved188;
  char reserved192[48];

  template <class V>
  void Visit(V&& v) const {
    v(position), v(reserved12), v(normal), v(reserved28), v(texCoordSets), v(texCoords);
    v(colour), v(material), v(boneCount), v(bones), v(reserved188), v(reserved192);
  }
};

struct IgsTriangle {
  RecordRef vertices[3];  // in the owning mesh's vertex array
  float normal[3];
  float value24;  // 1.0
  int32_t fanFlag;
  RecordRef material;  // an IgsMaterial
  char reserved36[56];

  template <class V>
  void Visit(V&& v) const {
    v(vertices), v(normal), v(value24), v(fanFlag), v(material), v(reserved36);
  }
};

struct IgsMesh {
  int32_t reserved0;
  int32_t vertexCount;
  FileOffset vertexArray;
  int32_t triangleCount;
  FileOffset triangleArray;
  float min[4];
  float max[4];
  char reserved52[48];

  template <class V>
  void Visit(V&& v) const {
    v(reserved0), v(vertexCount), v(vertexArray), v(triangleCount), v(triangleArray), v(min);
    v(max), v(reserved52);
  }
};

struct IgsMeshRef {
  float distance;  // 700.0
  RecordRef mesh;  // an IgsMesh
  char reserved8[48];

  template <class V>
  void Visit(V&& v) const {
    v(distance), v(mesh), v(reserved8);
  }
};

struct IgsBlock {
  char name[BlockNameSize];
  int32_t number;  // index + 1
  int32_t meshRefCount;
  FileOffset meshRefArray;
  float transform[16];  // row-major, translation in elements 12 to 14
  RecordRef parent;     // an IgsBlock; index -1 (0 in the file) for a top-level block
  int32_t childCount;
  RecordRef children[MaxChildren];  // IgsBlocks
  char reserved212[48];

  template <class V>
  void Visit(V&& v) const {
    v(name), v(number), v(meshRefCount), v(meshRefArray), v(transform), v(parent);
    v(childCount), v(children), v(reserved212);
  }
};

struct IgsTextureNameChunk {
  char title[32];      // TextureNameTitle
  int32_t value32;     // TextureNameChunkValue
  int32_t headerSize;  // TextureNameChunkSize
  int32_t reserved40;

  template <class V>
  void Visit(V&& v) const {
    v(title), v(value32), v(headerSize), v(reserved40);
  }
};

// The texture name table, which follows the chunk header when a stage names a texture: this
// head, then the offset of each name in the string area (one int32_t each), then the string
// area, each name followed by a 0.
struct IgsNameTableHead {
  int32_t areaSize;   // bytes of the string area
  int32_t nameCount;  // entries of the offset list

  template <class V>
  void Visit(V&& v) const {
    v(areaSize), v(nameCount);
  }
};
inline constexpr size_t NameOffsetSize = sizeof(int32_t);

// Every offset a reader takes from these records, as the format fixes it.
static_assert(sizeof(IgsHeader) == HeaderSize);
static_assert(offsetof(IgsHeader, version) == 4 && offsetof(IgsHeader, shape) == 8);
static_assert(offsetof(IgsHeader, comment) == 24 && offsetof(IgsHeader, blockArray) == 96);
static_assert(offsetof(IgsHeader, meshCount) == 100 && offsetof(IgsHeader, meshArray) == 104);
static_assert(offsetof(IgsHeader, otherCount) == 108 && offsetof(IgsHeader, materialCount) == 116);
static_assert(offsetof(IgsHeader, blockCount) == 92 && offsetof(IgsHeader, materialArray) == 120);
static_assert(offsetof(IgsHeader, tint) == 132 && offsetof(IgsHeader, flags) == 164);
static_assert(offsetof(IgsHeader, textureNameChunk) == 212);
static_assert(sizeof(IgsTextureStage) == TextureStageSize);
static_assert(offsetof(IgsTextureStage, filtermode) == 36);
static_assert(offsetof(IgsTextureStage, reserved40) == 40 && offsetof(IgsTextureStage, fps) == 64);
static_assert(offsetof(IgsTextureStage, AnimateUV) == 56 &&
              offsetof(IgsTextureStage, frames) == 60);
static_assert(offsetof(IgsTextureStage, ScrollUVs) == 68 &&
              offsetof(IgsTextureStage, scrollu) == 72);
static_assert(offsetof(IgsTextureStage, scrollv) == 76);
static_assert(offsetof(IgsTextureStage, miplodbias) == 52 && offsetof(IgsTextureStage, arg) == 80);
static_assert(sizeof(IgsMaterial) == MaterialSize);
static_assert(offsetof(IgsMaterial, shader) == 128 && offsetof(IgsMaterial, stageCount) == 256);
static_assert(offsetof(IgsMaterial, stages) == 260 && offsetof(IgsMaterial, neverocclude) == 1092);
static_assert(offsetof(IgsMaterial, alphaPriority) == 1096 && offsetof(IgsMaterial, zbias) == 1100);
static_assert(offsetof(IgsMaterial, transparency) == 1104);
static_assert(offsetof(IgsMaterial, zbuffermode) == 1112);
static_assert(offsetof(IgsMaterial, BackFacecull) == 1116 &&
              offsetof(IgsMaterial, TwoSided) == 1120);
static_assert(offsetof(IgsMaterial, viewfacing) == 1124 && offsetof(IgsMaterial, vismod) == 1128);
static_assert(offsetof(IgsMaterial, diffuse) == 1412 && offsetof(IgsMaterial, emissive) == 1428);
static_assert(offsetof(IgsMaterial, collide) == 1132 && offsetof(IgsMaterial, headlamp) == 1268);
static_assert(offsetof(IgsMaterial, values1324) == 1324 && offsetof(IgsMaterial, traffic) == 1352);
static_assert(offsetof(IgsMaterial, ambient) == 1396 && offsetof(IgsMaterial, value1444) == 1444);
static_assert(offsetof(IgsMaterial, specular) == 1464 && offsetof(IgsMaterial, value1480) == 1480);
static_assert(sizeof(IgsVertex) == VertexSize);
static_assert(offsetof(IgsVertex, normal) == 16 && offsetof(IgsVertex, texCoords) == 36);
static_assert(offsetof(IgsVertex, texCoordSets) == 32 && offsetof(IgsVertex, colour) == 100);
static_assert(offsetof(IgsVertex, boneCount) == 120);
static_assert(offsetof(IgsVertex, material) == 116 && offsetof(IgsVertex, bones) == 124);
static_assert(sizeof(IgsTriangle) == TriangleSize);
static_assert(offsetof(IgsTriangle, normal) == 12);
static_assert(offsetof(IgsTriangle, fanFlag) == 28 && offsetof(IgsTriangle, material) == 32);
static_assert(sizeof(IgsMesh) == MeshSize);
static_assert(offsetof(IgsMesh, vertexCount) == 4 && offsetof(IgsMesh, vertexArray) == 8);
static_assert(offsetof(IgsMesh, triangleCount) == 12 && offsetof(IgsMesh, triangleArray) == 16);
static_assert(offsetof(IgsMesh, min) == 20 && offsetof(IgsMesh, max) == 36);
static_assert(sizeof(IgsMeshRef) == MeshRefSize);
static_assert(offsetof(IgsMeshRef, mesh) == 4);
static_assert(sizeof(IgsBlock) == BlockSize);
static_assert(offsetof(IgsBlock, transform) == 44 && offsetof(IgsBlock, parent) == 108);
static_assert(offsetof(IgsBlock, number) == 32 && offsetof(IgsBlock, meshRefCount) == 36);
static_assert(offsetof(IgsBlock, meshRefArray) == 40 && offsetof(IgsBlock, childCount) == 112);
static_assert(offsetof(IgsBlock, children) == 116);
static_assert(sizeof(IgsTextureNameChunk) == TextureNameChunkSize);
static_assert(offsetof(IgsTextureNameChunk, value32) == 32);
static_assert(offsetof(IgsTextureNameChunk, headerSize) == 36);
static_assert(offsetof(IgsTextureNameChunk, reserved40) == 40);
static_assert(sizeof(IgsNameTableHead) == NameTableHeadSize);

}  // namespace vlm::igs
