#include "trackline/igs_file.h"

#include <bit>
#include <cstring>
#include <iterator>
#include <limits>
#include <string_view>
#include <type_traits>
#include <utility>

namespace vlm::igs {
namespace {

int32_t Count(size_t n) {
  return static_cast<int32_t>(n);
}

// The offset of record `index` of an array of `recordSize`-byte records at `arrayStart`.
FileOffset OffsetOf(FileOffset arrayStart, size_t recordSize, RecordIndex index) {
  return {static_cast<int32_t>(arrayStart.value + static_cast<int64_t>(recordSize) * index.value)};
}

// A record as the file has it: those held in short form are put into their records.
template <class Record>
const Record& FileForm(const Record& record) {
  return record;
}
IgsVertex FileForm(const HeldVertex& vertex) {
  return vertex.Record();
}
IgsTriangle FileForm(const HeldTriangle& triangle) {
  return triangle.Record();
}
template <class Held>
using FileRecord = std::decay_t<decltype(FileForm(std::declval<const Held&>()))>;

template <class Record>
int64_t BytesOf(const std::vector<Record>& records) {
  return static_cast<int64_t>(sizeof(FileRecord<Record>) * records.size());
}

// Records on their way to a sink, each put into its file form in a small buffer first. A run
// of records goes out in pieces of about PieceSize bytes, gathered in one buffer reused for
// every piece, so no write comes straight from a large array that is no longer in the cache;
// records whose bytes in memory are their file form go straight into the sink's own buffer.
class RecordSink {
 public:
  static constexpr size_t PieceSize = 256 * 1024;

  explicit RecordSink(OutputSink& sink) : sink_(sink) {}
  template <class Record>
  void Put(const Record& record) {
    scratch_.clear();
    WriteRecord(scratch_, record);
    sink_.Write(scratch_);
  }
  // Every record of `records`, each as `fix` changes a copy of it. Where a record's bytes in
  // memory are its file form (a little-endian machine, 32-bit fields and characters filling
  // the record without a gap, as the first record shows), they are copied as they stand.
  template <class Held, class Fix>
  void PutAll(const std::vector<Held>& records, Fix fix) {
    using Record = FileRecord<Held>;
    if (records.empty()) return;
    Record record = FileForm(records.front());
    fix(record);
    piece_.clear();
    WriteRecord(piece_, record);
    const bool asInMemory = std::endian::native == std::endian::little &&
                            std::memcmp(piece_.data(), &record, sizeof(Record)) == 0;
    static_assert(sizeof(Record) <= OutputSink::kMaxRoom);
    if (asInMemory) {
      sink_.Write(piece_);
      for (size_t i = 1; i < records.size(); ++i) {
        record = FileForm(records[i]);
        fix(record);
        char* at = sink_.Room(sizeof(Record));
        std::memcpy(at, &record, sizeof(Record));
        sink_.Wrote(at + sizeof(Record));
      }
      return;
    }
    for (size_t i = 1; i < records.size(); ++i) {
      if (piece_.size() >= PieceSize) {
        sink_.Write(piece_);
        piece_.clear();
      }
      record = FileForm(records[i]);
      fix(record);
      WriteRecord(piece_, record);
    }
    sink_.Write(piece_);
  }
  void Bytes(std::string_view bytes) { sink_.Write(bytes); }

 private:
  OutputSink& sink_;
  std::string scratch_;
  std::string piece_;
};

template <class T>
void Release(std::vector<T>& v) {
  std::vector<T>().swap(v);
}

// The owner whose array owner `i` writes: a mesh that repeats an earlier one writes that
// one's arrays. A repeat names an earlier mesh that has arrays of its own.
size_t SourceOf(const std::vector<BlockRecords>&, size_t i) {
  return i;
}
size_t SourceOf(const std::vector<MeshRecords>& meshes, size_t i) {
  const int32_t repeats = meshes[i].repeats;
  if (repeats < 0) return i;
  if (static_cast<size_t>(repeats) >= i || meshes[static_cast<size_t>(repeats)].repeats >= 0)
    Raise(err::SubscriptOutOfRange);
  return static_cast<size_t>(repeats);
}

// The arrays of one kind that the owners (meshes or blocks) hold, laid out one after another.
template <class Owner, class Record>
int64_t ArraysSize(const std::vector<Owner>& owners, std::vector<Record> Owner::*array) {
  int64_t size = 0;
  for (size_t i = 0; i < owners.size(); ++i)
    size += BytesOf(owners[SourceOf(owners, i)].*array);
  return size;
}

// Gives each owner's array its offset and record count, the first at `start`.
template <class Owner, class Record>
void PlaceArrays(std::vector<Owner>& owners, std::vector<Record> Owner::*array, FileOffset start,
                 void (*note)(Owner&, FileOffset, int32_t)) {
  int64_t at = start.value;
  for (size_t i = 0; i < owners.size(); ++i) {
    const std::vector<Record>& records = owners[SourceOf(owners, i)].*array;
    note(owners[i], FileOffset{static_cast<int32_t>(at)}, Count(records.size()));
    at += BytesOf(records);
  }
}

// Writes every owner's array, each record as `fix` makes it for that owner, releasing each
// array once its last owner has written it.
template <class Owner, class Held>
void WriteArrays(const IgsFile& file, std::vector<Owner>& owners, std::vector<Held> Owner::*array,
                 void (*fix)(const IgsFile&, const Owner&, FileRecord<Held>&), RecordSink& out) {
  std::vector<size_t> last(owners.size());
  for (size_t i = 0; i < owners.size(); ++i)
    last[SourceOf(owners, i)] = i;
  for (size_t i = 0; i < owners.size(); ++i) {
    const size_t source = SourceOf(owners, i);
    out.PutAll(owners[source].*array, [&](FileRecord<Held>& r) { fix(file, owners[i], r); });
    if (last[source] == i) Release(owners[source].*array);
  }
}

// The references of the records a repeated array serves, made for the mesh that writes them.
FileOffset MaterialOffset(const IgsFile& f, RecordRef reference) {
  return OffsetOf(f.header.materialArray, MaterialSize, reference.Index());
}
void FixVertex(const IgsFile& f, const MeshRecords&, IgsVertex& vertex) {
  vertex.material.Resolve(MaterialOffset(f, vertex.material));
}
void FixTriangle(const IgsFile& f, const MeshRecords& m, IgsTriangle& triangle) {
  triangle.material.Resolve(MaterialOffset(f, triangle.material));
  for (RecordRef& corner : triangle.vertices)
    corner.Resolve(OffsetOf(m.mesh.vertexArray, VertexSize, corner.Index()));
}
void KeepMeshRef(const IgsFile&, const BlockRecords&, IgsMeshRef&) {}

// The texture name table after the chunk header (IgsNameTableHead and what follows it).
int64_t NameTableSize(const std::vector<std::string>& names) {
  if (names.empty()) return 0;
  int64_t size = static_cast<int64_t>(NameTableHeadSize + NameOffsetSize * names.size());
  for (const std::string& name : names)
    size += static_cast<int64_t>(ToAnsi(name).size()) + 1;
  return size;
}

void WriteNameTable(const std::vector<std::string>& names, RecordSink& sink) {
  if (names.empty()) return;
  std::string out;
  std::vector<std::string> ansi;
  int32_t area = 0;
  for (const std::string& name : names) {
    ansi.push_back(ToAnsi(name));
    area += Count(ansi.back().size()) + 1;
  }
  ByteWriter writer(out);
  writer(IgsNameTableHead{area, Count(ansi.size())});
  int32_t offset = 0;
  for (const std::string& name : ansi) {
    writer(offset);
    offset += Count(name.size()) + 1;
  }
  for (const std::string& name : ansi) {
    writer.Bytes(name);
    writer.Bytes(std::string_view("\0", 1));
  }
  sink.Bytes(out);
}

// One section of the file: its size in bytes; where its arrays go, noted in the header or
// in the records that own them (their counts too); and the writing of its records.
struct Section {
  int64_t (*size)(const IgsFile&);
  void (*place)(IgsFile&, FileOffset start);
  void (*write)(IgsFile&, RecordSink& out);
};

// A section of the arrays that each mesh or block owns; `Note` records an array's offset and
// count in its owner, `Fix` turns a record's references into offsets as it is written.
template <auto Owners, auto Array, auto Note, auto Fix>
constexpr Section ArraysSection() {
  return {[](const IgsFile& f) { return ArraysSize(f.*Owners, Array); },
          [](IgsFile& f, FileOffset start) { PlaceArrays(f.*Owners, Array, start, Note); },
          [](IgsFile& f, RecordSink& out) { WriteArrays(f, f.*Owners, Array, Fix, out); }};
}

// A section of the one record each mesh or block holds; `Note` records the array's offset and
// count in the header.
template <auto Owners, auto Record, auto Note>
constexpr Section RecordsSection() {
  return {[](const IgsFile& f) {
            return static_cast<int64_t>(sizeof((f.*Owners)[0].*Record) * (f.*Owners).size());
          },
          [](IgsFile& f, FileOffset start) { Note(f.header, start, Count((f.*Owners).size())); },
          [](IgsFile& f, RecordSink& out) {
            for (const auto& owner : f.*Owners)
              out.Put(owner.*Record);
          }};
}

void NoteMeshes(IgsHeader& header, FileOffset at, int32_t count) {
  header.meshArray = at;
  header.meshCount = count;
}

void NoteBlocks(IgsHeader& header, FileOffset at, int32_t count) {
  header.blockArray = at;
  header.blockCount = count;
}

void NoteVertices(MeshRecords& m, FileOffset at, int32_t count) {
  m.mesh.vertexArray = at;
  m.mesh.vertexCount = count;
}

void NoteTriangles(MeshRecords& m, FileOffset at, int32_t count) {
  m.mesh.triangleArray = at;
  m.mesh.triangleCount = count;
}

void NoteMeshRefs(BlockRecords& b, FileOffset at, int32_t count) {
  b.block.meshRefArray = at;
  b.block.meshRefCount = count;
}

// The sections in file order.
constexpr Section Layout[] = {
    {// the header
     [](const IgsFile&) { return static_cast<int64_t>(HeaderSize); }, [](IgsFile&, FileOffset) {},
     [](IgsFile& f, RecordSink& out) { out.Put(f.header); }},
    {// the materials
     [](const IgsFile& f) { return BytesOf(f.materials); },
     [](IgsFile& f, FileOffset start) {
       f.header.materialCount = Count(f.materials.size());
       f.header.materialArray = start;
     },
     [](IgsFile& f, RecordSink& out) {
       for (const IgsMaterial& m : f.materials)
         out.Put(m);
     }},
    ArraysSection<&IgsFile::meshes, &MeshRecords::vertices, NoteVertices, FixVertex>(),
    ArraysSection<&IgsFile::meshes, &MeshRecords::triangles, NoteTriangles, FixTriangle>(),
    RecordsSection<&IgsFile::meshes, &MeshRecords::mesh, NoteMeshes>(),
    ArraysSection<&IgsFile::blocks, &BlockRecords::meshRefs, NoteMeshRefs, KeepMeshRef>(),
    RecordsSection<&IgsFile::blocks, &BlockRecords::block, NoteBlocks>(),
    {// the texture name chunk header, which the header points at only when names follow
     [](const IgsFile&) { return static_cast<int64_t>(TextureNameChunkSize); },
     [](IgsFile& f, FileOffset start) {
       f.header.flags[0] = f.textureNames.empty() ? 0 : 1;
       f.header.textureNameChunk = f.textureNames.empty() ? FileOffset{0} : start;
     },
     [](IgsFile& f, RecordSink& out) { out.Put(f.chunk); }},
    {// the texture name table
     [](const IgsFile& f) { return NameTableSize(f.textureNames); }, [](IgsFile&, FileOffset) {},
     [](IgsFile& f, RecordSink& out) { WriteNameTable(f.textureNames, out); }},
};

}  // namespace

void IgsFile::PrepareHeader() {
  header = IgsHeader{};
  static_assert(sizeof(header.magic) == Magic.size());
  std::memcpy(header.magic, Magic.data(), Magic.size());
  header.version = FormatVersion;
  StoreText(header.shape, "SHAPE", "The shape tag");
  StoreText(header.comment, "Vellum IGS Export by Ardo Venmark 2011", "The comment");
  const float tint = std::bit_cast<float>(0x3ECACACCu);
  header.tint[0] = header.tint[1] = header.tint[2] = tint;
  header.materialArray = FileOffset{static_cast<int32_t>(HeaderSize)};

  chunk = IgsTextureNameChunk{};
  StoreText(chunk.title, TextureNameTitle, "The chunk title");
  chunk.value32 = TextureNameChunkValue;
  chunk.headerSize = static_cast<int32_t>(TextureNameChunkSize);
}

int64_t IgsFile::FileSize() const {
  int64_t size = 0;
  for (const Section& section : Layout)
    size += section.size(*this);
  return size;
}

void IgsFile::AdjustPointers(const std::vector<std::string>& textureList) {
  const std::vector<IgsMaterial> unnumbered = materials;
  const std::vector<std::string> noNames = textureNames;
  PrepareNames(textureList);
  const int64_t size = FileSize();
  if (size > std::numeric_limits<int32_t>::max()) {
    materials = unnumbered;
    textureNames = noNames;
    throw ExportStopped(err::Overflow, "The file would be " + std::to_string(size) +
                                           " bytes long; its 32-bit offsets reach " +
                                           std::to_string(std::numeric_limits<int32_t>::max()) +
                                           " at most.");
  }
  placeSections();
  resolveReferences();
}

void IgsFile::PrepareNames(const std::vector<std::string>& textureList) {
  // The name table first, checked whole before any record changes.
  std::vector<std::string> names;
  for (const IgsMaterial& material : materials)
    for (int32_t stage = 0; stage < material.stageCount && stage < MaxStages; ++stage) {
      const int32_t number = material.stages[stage].texture;
      if (number <= 0) continue;
      if (static_cast<size_t>(number) > textureList.size()) Raise(err::SubscriptOutOfRange);
      names.push_back(textureList[static_cast<size_t>(number) - 1]);
    }
  if (Count(names.size()) > MaxTextureNames)
    throw ExportStopped(err::SubscriptOutOfRange,
                        "The texture name table would hold " + std::to_string(names.size()) +
                            " names (one per textured stage); the limit is " +
                            std::to_string(MaxTextureNames) + ".");
  std::swap(textureNames, names);
  for (size_t i = 0; i < materials.size(); ++i)
    for (int32_t stage = 0; stage < materials[i].stageCount && stage < MaxStages; ++stage)
      if (materials[i].stages[stage].texture > 0)
        materials[i].stages[stage].texture =
            static_cast<int32_t>(StageTextureNumber(Count(i), stage));
}

void IgsFile::placeSections() {
  int64_t start = 0;
  for (const Section& section : Layout) {
    section.place(*this, FileOffset{static_cast<int32_t>(start)});
    start += section.size(*this);
  }
}

void IgsFile::resolveReferences() {
  const auto block = [this](RecordRef& reference) {
    reference.Resolve(OffsetOf(header.blockArray, BlockSize, reference.Index()));
  };
  for (BlockRecords& b : blocks) {
    for (IgsMeshRef& ref : b.meshRefs)
      ref.mesh.Resolve(OffsetOf(header.meshArray, MeshSize, ref.mesh.Index()));
    if (b.block.parent.Index().value >= 0)
      block(b.block.parent);
    else
      b.block.parent.Resolve(FileOffset{0});
    for (int32_t k = 0; k < b.block.childCount && k < MaxChildren; ++k)
      block(b.block.children[k]);
  }
}

void IgsFile::WriteTo(OutputSink& sink) {
  RecordSink out(sink);
  for (const Section& section : Layout)
    section.write(*this, out);
  sink.Flush();
}

void IgsFile::StreamTo(OutputSink& sink, const MeshBuild& build) {
  constexpr int64_t Most = std::numeric_limits<int32_t>::max();
  const uint64_t start = sink.Position();
  RecordSink out(sink);
  int64_t end = 0;  // of the file as placed so far
  const auto place = [&end](int64_t size) {
    const FileOffset at{static_cast<int32_t>(end)};
    end += size;
    if (end > Most)
      throw ExportStopped(err::Overflow, "The file would be more than " + std::to_string(end) +
                                             " bytes long; its 32-bit offsets reach " +
                                             std::to_string(Most) + " at most.");
    return at;
  };
  // The header and the materials, as they stand: the header is written again at the end.
  place(int64_t{HeaderSize});
  Layout[0].write(*this, out);
  Layout[1].place(*this, place(Layout[1].size(*this)));
  Layout[1].write(*this, out);

  // The vertices, each mesh's as it is built. The last mesh to write each array's triangles
  // lets them go.
  std::vector<size_t> last(meshes.size());
  for (size_t i = 0; i < meshes.size(); ++i)
    last[SourceOf(meshes, i)] = i;
  for (size_t i = 0; i < meshes.size(); ++i) {
    MeshRecords& mesh = meshes[i];
    if (mesh.repeats >= 0) {
      const MeshRecords& source = meshes[SourceOf(meshes, i)];
      mesh.mesh = source.mesh;
      const int32_t count = source.mesh.vertexCount;
      NoteVertices(mesh, place(int64_t{VertexSize} * count), count);
      sink.Repeat(start + static_cast<uint64_t>(source.mesh.vertexArray.value),
                  uint64_t{VertexSize} * static_cast<uint64_t>(count));
      continue;
    }
    if (build) build(i, mesh);
    if (mesh.repeats >= 0) Raise(err::InvalidProcedureCall, "a built mesh became a repeat");
    NoteVertices(mesh, place(BytesOf(mesh.vertices)), Count(mesh.vertices.size()));
    out.PutAll(mesh.vertices, [&](IgsVertex& v) { FixVertex(*this, mesh, v); });
    Release(mesh.vertices);
  }
  for (size_t i = 0; i < meshes.size(); ++i) {
    const size_t source = SourceOf(meshes, i);
    std::vector<HeldTriangle>& triangles = meshes[source].triangles;
    MeshRecords& mesh = meshes[i];
    NoteTriangles(mesh, place(BytesOf(triangles)), Count(triangles.size()));
    out.PutAll(triangles, [&](IgsTriangle& t) { FixTriangle(*this, mesh, t); });
    if (last[source] == i) Release(triangles);
  }

  // The records that follow the arrays, which are all known now.
  constexpr size_t FirstAfterArrays = 4;
  for (size_t k = FirstAfterArrays; k < std::size(Layout); ++k)
    Layout[k].place(*this, place(Layout[k].size(*this)));
  resolveReferences();
  for (size_t k = FirstAfterArrays; k < std::size(Layout); ++k)
    Layout[k].write(*this, out);
  std::string finished;
  WriteRecord(finished, header);
  sink.Rewrite(start, finished);
  sink.Flush();
}

std::string IgsFile::TakeBytes() {
  StringSink sink;
  WriteTo(sink);
  return std::move(sink.Text());
}

}  // namespace vlm::igs
