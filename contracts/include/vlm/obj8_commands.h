// What the lines of an OBJ8 file mean, for the host's reader and importer and for Wingform,
// which writes them back: which family each keyword is of, how many words it takes, the
// drawing state the ATTR_ lines set, where an animation puts its geometry, and which words of
// a light or emitter are a position or a direction.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vlm/math.h"

namespace vlm::obj8 {

// One line of the file: its keyword and the words after it (comments left out).
struct Line {
  std::string keyword;
  std::vector<std::string> words;

  // The words joined by single blanks: "ANIM_rotate 0 1 0 0 90 0 1 sim/door".
  std::string Text() const;
  friend bool operator==(const Line&, const Line&) = default;
};

// The words of one line of text, up to a comment: a word that starts with "#" starts one, and
// so does a "#" glued to a number ("0.25# 0" gives 0.25, as X-Plane reads it); in any other
// word a "#" belongs to the word.
std::vector<std::string_view> Words(std::string_view text);
// Lines of text, one a line ("\n" between them), blank lines left out.
std::vector<Line> ParseLines(std::string_view text);
// The lines as text, "\n" between them.
std::string LinesText(const std::vector<Line>& lines);

// What a keyword of the command section does.
enum class Family {
  Tris,       // TRIS offset count
  Lines,      // LINES offset count: line segments of the VLINE table, through the index list
  Lights,     // LIGHTS offset count: a range of the VLIGHT table
  Lod,        // ATTR_LOD near far: a level of detail begins
  AnimBegin,  // ANIM_begin
  AnimEnd,    // ANIM_end
  Anim,       // a transform, a key of a keyed one, show or hide: the animation of the block
  State,      // ATTR_...: the drawing state of the triangles after it
  Item,       // a light, smoke puff, emitter or magnet of its own
  Unknown,    // a keyword this table does not know
};

// The family of a keyword met in the command section. Header lines that look like state
// (ATTR_layer_group_draped, ATTR_LOD_draped) are not commands: IsHeaderAttribute.
Family FamilyOf(std::string_view keyword);
bool IsHeaderAttribute(std::string_view keyword);

// How many words a known command takes after its keyword: at least `least`, at most `most`
// (-1: any number). Unknown keywords take any number.
struct Arity {
  int least = 0, most = -1;
};
Arity ArityOf(std::string_view keyword);

// The state the ATTR_ lines of a level set for the triangles after them, one value per
// channel (cull, hard surface, blending, shininess, light level, draping, polygon offset,
// cockpit, manipulator, drawing, camera, shadow, ...). A level starts from the defaults. The
// manipulator's channel keeps the lines that follow its ATTR_manip_ line and refine it (a
// wheel, detents, keyframes). An ATTR_ keyword the table does not know is a channel of its
// own, set by its last line and never reset but by another level.
class DrawState {
 public:
  // Takes one ATTR_ line (not ATTR_LOD).
  void Apply(const Line& line);
  // The state as lines: the cull line always (ATTR_cull or ATTR_no_cull), then every other
  // channel that is not at its default, in a fixed order; "\n" between them.
  std::string Text() const;
  // The state that Text gave; lines that are not ATTR_ lines are left out.
  static DrawState FromText(std::string_view text);
  // The lines that take the state `from` to `to`, in channel order.
  static std::vector<std::string> Changes(const DrawState& from, const DrawState& to);
  bool Cull() const;
  // How many channels are set that no line can put back (ATTR_layer_group, the keywords the
  // table does not know): within a level they only ever grow, so lines written in the order
  // of this count can give every run its state.
  int Unresettable() const;
  friend bool operator==(const DrawState&, const DrawState&) = default;

 private:
  std::map<int, std::vector<std::string>> channels_;  // by channel, the ones set off default
  std::map<std::string, std::string> unknown_;        // by keyword
};

// An animation's lines as ANIM_begin ... ANIM_end held them, geometry left out. The transform
// they put their geometry under with every dataref at 0 (clamped into a keyed table's keys,
// a looped one taken modulo its loop), in OBJ8's axes and metres, row vectors (p x M): the
// frame its geometry rests in. std::nullopt with `problem` set for lines it cannot read.
std::optional<Mat4> RestTransform(const std::vector<Line>& animation, std::string* problem);
// Where an animation puts its geometry for the values `value` gives its datarefs (null: every
// one at 0), as X-Plane draws it: a two-value ANIM_trans or ANIM_rotate along the line through
// its two values (beyond them too), a keyed table linear between its keys and clamped to the
// first and last, a looped table's value wrapped into [0, loop) first; and whether it is shown:
// each ANIM_show or ANIM_hide whose range (ends included) holds its dataref's value shows or
// hides, the last such line deciding. A value that is not finite reads 0. std::nullopt with
// `problem` set for lines it cannot read (as RestTransform).
using DatarefValue = std::function<double(const std::string& dataref)>;
struct Pose {
  Mat4 transform;
  bool shown = true;
};
std::optional<Pose> PoseAt(const std::vector<Line>& animation, const DatarefValue& value,
                           std::string* problem);
// The datarefs an animation reads, in order of first use ("none" and "no_ref" name none).
std::vector<std::string> Datarefs(const std::vector<Line>& animation);

// Where the position (three words x y z) and, for a spill light, the direction (dx dy dz) of
// an item stand among its words; -1 when it has none.
struct ItemPlaces {
  int position = -1;
  int direction = -1;
};
ItemPlaces PlacesOf(std::string_view keyword);

// Lines reflected across the plane through the origin across `axis` (0: x, 1: y, 2: z, in
// OBJ8's axes): the translations and positions along it change sign, and so do the turn axes
// along it and every angle of a turn (a mirrored turn turns the other way), so that geometry
// mirrored the same way moves as the original's mirror image. Other lines stay as they are;
// the words keep their digits.
std::vector<Line> Mirrored(std::vector<Line> lines, int axis);

}  // namespace vlm::obj8
