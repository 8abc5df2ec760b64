// One IGS file in memory: every record array of the format, the texture name table, the
// turning of record references into file offsets ("Adjusting pointers") and the bytes in
// writing order. The order of the sections is kept in one table in igs_file.cpp, from which
// the file's size, the offsets of its arrays and its bytes are all made.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "trackline/igs_records.h"
#include "vlm/files.h"

namespace vlm::igs {

// A mesh with its own vertex and triangle arrays, or with those of an earlier mesh of the
// file: a level of detail that shows the same shapes as an earlier level has the same
// arrays, held once and written once for each mesh that has them (and, written as the file is
// streamed, the same bounds).
struct MeshRecords {
  IgsMesh mesh{};
  // Held in the short form the exporter makes, and put into records as they are written.
  std::vector<HeldVertex> vertices;
  std::vector<HeldTriangle> triangles;
  int32_t repeats = -1;  // the index of the earlier mesh whose arrays these are (its own empty)
};

// A block with its own mesh-ref array.
struct BlockRecords {
  IgsBlock block{};
  std::vector<IgsMeshRef> meshRefs;
};

// Builds the records of mesh `index` when a streamed file reaches it.
using MeshBuild = std::function<void(size_t index, MeshRecords& mesh)>;

class IgsFile {
 public:
  IgsHeader header{};
  std::vector<IgsMaterial> materials;
  std::vector<MeshRecords> meshes;
  std::vector<BlockRecords> blocks;
  IgsTextureNameChunk chunk{};
  std::vector<std::string> textureNames;  // the name table, once the pointers are adjusted

  // Fills the fixed values of the header and the chunk header.
  void PrepareHeader();

  // Builds the texture name table from the stages' texture numbers (1-based positions in
  // `textureList`), renumbers the stages 10 + 100 x material + stage, and turns every
  // reference into the file offset of its record. References must be valid indices. Stops
  // (ExportStopped) when the name table would exceed its 101 entries or the file would be
  // too large for its 32-bit offsets; the records are then unchanged. The references of the
  // vertices and triangles are turned into offsets as they are written: a repeated mesh's
  // arrays serve every mesh that has them.
  void AdjustPointers(const std::vector<std::string>& textureList);

  // The size in bytes of the file as it stands.
  int64_t FileSize() const;

  // The name table and the stages' numbers of AdjustPointers alone (it stops the same way):
  // all a file needs before StreamTo.
  void PrepareNames(const std::vector<std::string>& textureList);

  // Writes the file's bytes in order into `sink`, releasing the record arrays as they are
  // written, so the records and the bytes are never held twice at their largest.
  void WriteTo(OutputSink& sink);
  // Writes a file whose names are prepared while its meshes are built: `build` makes each mesh
  // that repeats no earlier one when the vertices reach it (in file order; it may be empty when
  // the meshes are there already). Its vertices are written at once and let go, its triangles
  // kept in short form until their section; a repeat's vertices are the earlier mesh's bytes
  // written again, without making them anew. The records after the arrays are placed once
  // the arrays are written, and the header, written first, is written again at the end with
  // their offsets. Stops (ExportStopped) as soon as the file would pass its 32-bit offsets;
  // the sink then holds a part of a file.
  void StreamTo(OutputSink& sink, const MeshBuild& build);
  // The same bytes gathered in a string.
  std::string TakeBytes();

 private:
  // Gives every array its file offset and count, section after section in file order.
  void placeSections();
  // Turns the references of the blocks and mesh refs into the file offsets of the records they
  // name (those of the vertices and triangles are turned as they are written).
  void resolveReferences();
};

}  // namespace vlm::igs
