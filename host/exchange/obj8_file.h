// An X-Plane OBJ8 text file read into a plain structure of what it says: the header, the
// textures, the declared counts, the vertex table, the index list and the commands that draw
// ranges of it (TRIS), with the levels of detail (ATTR_LOD) and the state commands (ATTR_...)
// in between. Texts are UTF-8 (a file in Windows-1252 is decoded). Nothing is interpreted
// beyond checking that the pieces fit together; the importer (obj8_import.h) and
// `vlmhost inspect` work from this.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "vlm/math.h"

namespace vlm::host {

// One VT line: position, normal and texture coordinate as the file gives them (OBJ8 axes,
// metres, v counted from the bottom of the image).
struct Obj8Vertex {
  Vec3 position;
  Vec3 normal;
  Vec2 uv;
};

// A command of the geometry section, in file order.
struct Obj8Command {
  enum class Kind {
    Lod,    // ATTR_LOD near far: the commands after it belong to this level
    State,  // any other ATTR_... line: a change of drawing state
    Tris,   // TRIS offset count: one draw batch, a range of the index list
  };
  Kind kind = Kind::State;
  std::string keyword;                      // as written: "TRIS", "ATTR_LOD", "ATTR_no_cull"
  std::vector<std::string> arguments;       // the words after the keyword, comments left out
  int64_t offset = 0, count = 0;            // Tris: the first index and the number of indices
  float nearDistance = 0, farDistance = 0;  // Lod: the range, in metres
  int32_t lod = -1;  // the level it lies in (a position in Obj8File::lods); -1 before any
  int64_t line = 0;  // 1-based line number
};

// One level of detail (ATTR_LOD) with what it draws.
struct Obj8Lod {
  float nearDistance = 0, farDistance = 0;
  int64_t line = 0;
  int64_t triangles = 0;     // in its TRIS commands
  int32_t batches = 0;       // its TRIS commands
  int32_t stateChanges = 0;  // its State commands
};

struct Obj8File {
  std::string origin;   // the name errors give
  char platform = 'I';  // the first line: 'I' or 'A', the line ends of the machine that wrote it
  int32_t version = 800;
  std::string versionComment;  // the rest of the second line: "# Exported from Vellum ..."

  // TEXTURE, TEXTURE_LIT, TEXTURE_NORMAL: the names ("" when the line is missing or empty),
  // and the line of each (0 when missing).
  enum TextureSlot { Texture = 0, TextureLit = 1, TextureNormal = 2 };
  std::array<std::string, 3> textures;
  std::array<int64_t, 3> textureLines{};

  // POINT_COUNTS: vertices (VT), line vertices (VLINE), lights (VLIGHT), indices (IDX).
  struct PointCounts {
    int64_t vertices = 0, lineVertices = 0, lights = 0, indices = 0;
    int64_t line = 0;  // 0 when the file has none
  } pointCounts;

  std::vector<Obj8Vertex> vertices;  // the VT lines, in order
  std::vector<int32_t> indices;      // the IDX10 and IDX lines, in order

  std::vector<Obj8Command> commands;  // TRIS, ATTR_LOD and ATTR_... lines, in order
  std::vector<Obj8Lod> lods;          // the ATTR_LOD lines, in order; empty when there are none

  // Keywords the reader does not know (VLINE, LIGHTS, ANIM_begin, ...), with how many lines
  // each begins.
  std::map<std::string, int64_t> unknown;
  int64_t lineCount = 0;

  // The triangles of all TRIS commands.
  int64_t TriangleCount() const;
};

// True when the bytes start with the three lines of an OBJ8 header: "A" or "I", "800", "OBJ"
// (a Wavefront .obj does not).
bool IsObj8(std::string_view bytes);

// Reads the file. vlm::Error (5) "ORIGIN: line N: what is wrong" for a file that is not OBJ8 or
// is damaged: a header that is not OBJ8's, a number that does not parse or is not finite, a
// line with too few values, counts that differ from POINT_COUNTS, an index outside the vertex
// table, a TRIS range outside the index list or not whole triangles.
Obj8File ReadObj8(std::string_view bytes, const std::string& origin);
// The same from a file (vlm::Error (53) when there is none).
Obj8File ReadObj8File(const std::filesystem::path& file);

}  // namespace vlm::host
