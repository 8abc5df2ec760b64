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

// One VLINE or VLIGHT line: a position and a colour (red, green, blue).
struct Obj8ColouredPoint {
  Vec3 position;
  Vec3 colour;
};

// A command of the command section, in file order.
struct Obj8Command {
  enum class Kind {
    Lod,        // ATTR_LOD near far: the commands after it belong to this level
    State,      // any other ATTR_... line: a change of drawing state
    Tris,       // TRIS offset count: one draw batch, a range of the index list
    Lines,      // LINES offset count: segments of the VLINE table, through the index list
    Lights,     // LIGHTS offset count: a range of the VLIGHT table
    AnimBegin,  // ANIM_begin
    AnimEnd,    // ANIM_end
    Anim,       // a line of the animation of the block it is in
    Item,       // a light, smoke puff, emitter or magnet, or a command the reader does not know
  };
  Kind kind = Kind::State;
  std::string keyword;                      // as written: "TRIS", "ATTR_LOD", "ATTR_no_cull"
  std::vector<std::string> arguments;       // the words after the keyword, comments left out
  int64_t offset = 0, count = 0;            // Tris, Lines, Lights: the first and how many
  float nearDistance = 0, farDistance = 0;  // Lod: the range, in metres
  int32_t lod = -1;   // the level it lies in (a position in Obj8File::lods); -1 before any
  int32_t depth = 0;  // how many animations it lies in
  int64_t line = 0;   // 1-based line number
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

  // The other lines of the header (GLOBAL_..., TEXTURE_DRAPED, BLEND_GLASS, TILTED, REQUIRE_WET,
  // slung_load_weight, ...) as written, in order, with the line of each.
  struct HeaderLine {
    std::string keyword;
    std::vector<std::string> arguments;
    int64_t line = 0;
  };
  std::vector<HeaderLine> header;

  std::vector<Obj8Vertex> vertices;              // the VT lines, in order
  std::vector<Obj8ColouredPoint> lineVertices;   // the VLINE lines
  std::vector<Obj8ColouredPoint> lightVertices;  // the VLIGHT lines
  std::vector<int32_t> indices;                  // the IDX10 and IDX lines, in order

  std::vector<Obj8Command> commands;  // the command section, in order
  std::vector<Obj8Lod> lods;          // the ATTR_LOD lines, in order; empty when there are none

  // Keywords the reader does not know, with how many lines each begins: kept all the same,
  // before POINT_COUNTS and the first command as header lines, after them as items.
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
// line with too few or too many values, counts that differ from POINT_COUNTS, an index outside
// its table, a TRIS, LINES or LIGHTS range outside its table or not whole triangles or
// segments, an ANIM_end without its ANIM_begin (or the other way round), an animation line
// outside an animation, an ATTR_LOD inside one.
Obj8File ReadObj8(std::string_view bytes, const std::string& origin);
// The same from a file (vlm::Error (53) when there is none).
Obj8File ReadObj8File(const std::filesystem::path& file);

// The files of the export an OBJ8 file belongs to: the file, then house.1.obj, house.2.obj,
// ... beside house.obj as far as they go on (Wingform writes one per texture set), each a
// regular file that starts as OBJ8. Empty when `file` itself is no such file.
std::vector<std::filesystem::path> Obj8ExportFiles(const std::filesystem::path& file);

}  // namespace vlm::host
