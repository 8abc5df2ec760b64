// What each level of detail of an OBJ8 file holds besides its triangles, for vlmhost inspect:
// its animations, lights, other items, manipulators and drawing-state lines; and the file's
// header lines.
#pragma once

#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "exchange/obj8_file.h"

namespace vlm::host {

// The lines of one keyword: how many, and the names they give (a named light, an emitter, a
// magnet), each once, in the order met.
struct Obj8Tally {
  int64_t count = 0;
  std::vector<std::string> names;
};
using Obj8Tallies = std::map<std::string, Obj8Tally>;  // by keyword

// One animation (ANIM_begin ... ANIM_end), the animations inside it left out.
struct Obj8Animation {
  int64_t line = 0;    // of its ANIM_begin
  int64_t inside = 0;  // the line of the ANIM_begin of the animation it lies in; 0 for none
  std::vector<std::string> datarefs;  // in order of first use
  // A keyed table: ANIM_trans_begin or ANIM_rotate_begin with its keys.
  struct Table {
    std::string kind;  // "trans" or "rotate"
    std::string dataref;
    int64_t keys = 0;
    std::optional<double> loop;  // its ANIM_keyframe_loop
  };
  std::vector<Table> tables;
  int64_t transforms = 0;  // ANIM_trans and ANIM_rotate lines
  int64_t shows = 0, hides = 0;
};

// What one level holds.
struct Obj8LevelContents {
  std::vector<Obj8Animation> animations;
  Obj8Tallies lights;        // LIGHT_NAMED and LIGHT_PARAM (named), LIGHT_CUSTOM, ...
  Obj8Tallies items;         // smoke_black, smoke_white, EMITTER, MAGNET, LINES, LIGHTS
  Obj8Tallies manipulators;  // ATTR_manip_... and the lines that refine one
  Obj8Tallies attributes;    // the other ATTR_ lines but ATTR_LOD
  bool Empty() const;
};

struct Obj8Contents {
  std::vector<std::string> header;        // the header lines as written, in order
  Obj8LevelContents outside;              // what comes before the first ATTR_LOD
  std::vector<Obj8LevelContents> levels;  // one per ATTR_LOD, in order
};

// A command the reader does not know is left out: inspect notes those by keyword.
Obj8Contents ContentsOf(const Obj8File& file);

// One line per kind of thing the level holds, each starting with `indent`; nothing for a level
// that holds nothing but triangles.
void PrintLevelContents(const Obj8LevelContents& level, const std::string& indent,
                        std::ostream& out);
// The same as JSON: "animations" (a list), then "lights", "items", "manipulators" and
// "attributes" (objects by keyword, each {"count": N} with "names" when there are some).
nlohmann::ordered_json LevelContentsJson(const Obj8LevelContents& level);

}  // namespace vlm::host
