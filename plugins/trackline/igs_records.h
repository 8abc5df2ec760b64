// The records of a rail-sim IGS geometry file, byte for byte.
//
// Each record is a plain structure whose members sit at the offsets the format gives them
// (every member is a 32-bit number or a byte array, so there is no padding), and the static
// checks below hold the sizes and the offsets readers depend on. The file is little-endian
// whatever the machine: WriteRecord puts every member into the byte buffer one by one.
//
// A reference member (RecordRef) holds the 0-based index of the record it names while the
// file is built, and the absolute file offset of that record once the pointers are adjusted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "vlm/error.h"
#include "vlm/format_limits.h"

namespace vlm::igs {

// Stops an export before anything is written: a fixed limit of the format is exceeded or a
// text cannot be read. The description names the item, its size and the limit.
class ExportStopped : public Error {
 public:
  ExportStopped(int32_t number, std::string description) : Error(number, std::move(description)) {}
};

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

// The byte sizes of the records.
inline constexpr size_t HeaderSize = 216;
inline constexpr size_t MaterialSize = 1788;
inline constexpr size_t TextureStageSize = 104;
inline constexpr size_t VertexSize = 240;
inline constexpr size_t TriangleSize = 92;
inline constexpr size_t MeshSize = 100;
inline constexpr size_t MeshRefSize = 56;
inline constexpr size_t BlockSize = 260;
inline constexpr size_t TextureNameChunkSize = 44;

// The fixed tables of the format (MaxMaterials, MaxChildren, ...) are in vlm/format_limits.h,
// where the host reads them too.

struct IgsHeader {
  char magic[4];  // "KIGF"
  int32_t version;
  char shape[16];    // "SHAPE"
  char comment[64];  // "Vellum IGS Export by Ardo Venmark 2011"
  int32_t reserved88;
  int32_t blockCount;
  FileOffset blockArray;  // of the IgsBlock array
  int32_t meshCount;
  FileOffset meshArray;  // of the IgsMesh array
  int32_t otherCount;    // the 252-byte section, never written
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
  int32_t texture;  // 1-based number in the texture list while building; 10 + 100 i + j after
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
  float texCoords[8][2];
  float colour[4];
  RecordRef material;  // an IgsMaterial
  int32_t boneCount;
  IgsBoneWeight bones[8];
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

// A vertex as the exporter makes it, held until the file is written: the fields it sets.
// Its record has one set of texture coordinates, a white colour and no bones.
struct HeldVertex {
  float position[3];
  float normal[3];
  float texCoord[2];
  RecordRef material;  // an IgsMaterial

  IgsVertex Record() const;
};

// A triangle as the exporter makes it, held until the file is written.
struct HeldTriangle {
  RecordRef vertices[3];  // in the owning mesh's vertex array
  float normal[3];
  int32_t fanFlag;
  RecordRef material;  // an IgsMaterial

  IgsTriangle Record() const;
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
  char title[32];      // "Texture name table"
  int32_t value32;     // 2
  int32_t headerSize;  // 44
  int32_t reserved40;

  template <class V>
  void Visit(V&& v) const {
    v(title), v(value32), v(headerSize), v(reserved40);
  }
};

static_assert(sizeof(IgsHeader) == HeaderSize);
static_assert(offsetof(IgsHeader, blockCount) == 92 && offsetof(IgsHeader, materialArray) == 120);
static_assert(offsetof(IgsHeader, tint) == 132 && offsetof(IgsHeader, flags) == 164);
static_assert(offsetof(IgsHeader, textureNameChunk) == 212);
static_assert(sizeof(IgsTextureStage) == TextureStageSize);
static_assert(offsetof(IgsTextureStage, filtermode) == 36);
static_assert(offsetof(IgsTextureStage, miplodbias) == 52 && offsetof(IgsTextureStage, arg) == 80);
static_assert(sizeof(IgsMaterial) == MaterialSize);
static_assert(offsetof(IgsMaterial, stages) == 260 && offsetof(IgsMaterial, neverocclude) == 1092);
static_assert(offsetof(IgsMaterial, collide) == 1132 && offsetof(IgsMaterial, headlamp) == 1268);
static_assert(offsetof(IgsMaterial, values1324) == 1324 && offsetof(IgsMaterial, traffic) == 1352);
static_assert(offsetof(IgsMaterial, ambient) == 1396 && offsetof(IgsMaterial, value1444) == 1444);
static_assert(offsetof(IgsMaterial, specular) == 1464 && offsetof(IgsMaterial, value1480) == 1480);
static_assert(sizeof(IgsVertex) == VertexSize);
static_assert(offsetof(IgsVertex, texCoordSets) == 32 && offsetof(IgsVertex, colour) == 100);
static_assert(offsetof(IgsVertex, material) == 116 && offsetof(IgsVertex, bones) == 124);
static_assert(sizeof(IgsTriangle) == TriangleSize);
static_assert(offsetof(IgsTriangle, fanFlag) == 28 && offsetof(IgsTriangle, material) == 32);
static_assert(sizeof(IgsMesh) == MeshSize);
static_assert(offsetof(IgsMesh, min) == 20 && offsetof(IgsMesh, max) == 36);
static_assert(sizeof(IgsMeshRef) == MeshRefSize);
static_assert(sizeof(IgsBlock) == BlockSize);
static_assert(offsetof(IgsBlock, transform) == 44 && offsetof(IgsBlock, parent) == 108);
static_assert(offsetof(IgsBlock, children) == 116);
static_assert(sizeof(IgsTextureNameChunk) == TextureNameChunkSize);

// The text as the file holds it: 8-bit characters (Latin-1; a character outside it becomes
// "?"). Bytes that are not UTF-8 are kept as they are.
std::string ToAnsi(std::string_view text);

// Stores a text at the start of a field, the rest of the field 0. A text of exactly the
// field's size fills it with no 0 after it; a longer one stops the export with a message
// that names `item`, the text, its length and the limit; so does a text holding a control
// character.
void StoreText(char* field, size_t size, std::string_view text, std::string_view item);
template <size_t N>
void StoreText(char (&field)[N], std::string_view text, std::string_view item) {
  StoreText(field, N, text, item);
}

// Appends little-endian bytes to a buffer.
class ByteWriter {
 public:
  explicit ByteWriter(std::string& out) : out_(out) {}
  void operator()(int32_t value);
  void operator()(float value);
  void operator()(FileOffset offset) { (*this)(offset.value); }
  void operator()(RecordRef reference) { (*this)(reference.Stored()); }
  template <size_t N>
  void operator()(const char (&bytes)[N]) {
    out_.append(bytes, N);
  }
  template <class T, size_t N>
  void operator()(const T (&items)[N]) {
    for (const T& item : items)
      (*this)(item);
  }
  template <class Record>
  requires requires(const Record& r, ByteWriter& w) { r.Visit(w); }
  void operator()(const Record& record) { record.Visit(*this); }
  void Bytes(std::string_view bytes) { out_.append(bytes); }
  size_t Size() const { return out_.size(); }

 private:
  std::string& out_;
};

// Appends one record in its file form; exactly sizeof(Record) bytes.
template <class Record>
void WriteRecord(std::string& out, const Record& record) {
  ByteWriter writer(out);
  const size_t before = out.size();
  writer(record);
  if (out.size() - before != sizeof(Record))
    Raise(err::InvalidProcedureCall, "a record was written with the wrong size");
}

}  // namespace vlm::igs
