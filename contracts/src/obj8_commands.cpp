#include "vlm/obj8_commands.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>

namespace vlm::obj8 {
namespace {

bool Blank(char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r';
}

// The channels of the drawing state, in the order their lines are written: the keywords that
// set each, and the line that puts it back to the default a level starts with ("" for a
// channel that has no way back).
struct Channel {
  std::string_view reset;
  std::vector<std::string_view> keywords;
};

const std::vector<Channel>& Channels() {
  static const std::vector<Channel> channels = {
      {"ATTR_cull", {"ATTR_cull", "ATTR_no_cull"}},
      {"ATTR_no_hard", {"ATTR_hard", "ATTR_hard_deck", "ATTR_no_hard"}},
      {"ATTR_blend", {"ATTR_blend", "ATTR_no_blend", "ATTR_shadow_blend"}},
      {"ATTR_shiny_rat 0", {"ATTR_shiny_rat"}},
      {"ATTR_light_level_reset", {"ATTR_light_level", "ATTR_light_level_reset"}},
      {"ATTR_no_draped", {"ATTR_draped", "ATTR_no_draped"}},
      {"ATTR_poly_os 0", {"ATTR_poly_os"}},
      {"", {"ATTR_layer_group"}},
      {"ATTR_no_cockpit",
       {"ATTR_cockpit", "ATTR_cockpit_region", "ATTR_cockpit_device", "ATTR_cockpit_lit_only",
        "ATTR_no_cockpit"}},
      {"ATTR_manip_none", {"ATTR_manip_none"}},  // and every other ATTR_manip_ (ManipChannel)
      {"ATTR_draw_enable", {"ATTR_draw_enable", "ATTR_draw_disable"}},
      {"ATTR_no_solid_camera", {"ATTR_solid_camera", "ATTR_no_solid_camera"}},
      {"ATTR_shadow", {"ATTR_shadow", "ATTR_no_shadow"}},
      {"ATTR_depth", {"ATTR_depth", "ATTR_no_depth"}},
      {"ATTR_fog", {"ATTR_fog", "ATTR_no_fog"}},
      {"ATTR_shade_smooth", {"ATTR_shade_smooth", "ATTR_shade_flat"}},
      {"ATTR_emission_rgb 0 0 0", {"ATTR_emission_rgb"}},
      {"ATTR_hud_reset", {"ATTR_hud_glass", "ATTR_hud_reset"}},
  };
  return channels;
}
constexpr int CullChannel = 0;
constexpr int ShinyChannel = 3;
constexpr int ManipChannel = 9;
constexpr int EmissionChannel = 16;

// Lines that refine the manipulator set just before them.
bool RefinesManipulator(std::string_view keyword) {
  return keyword == "ATTR_manip_wheel" || keyword == "ATTR_manip_keyframe" ||
         keyword == "ATTR_axis_detented" || keyword == "ATTR_axis_detent_range";
}

int ChannelOf(std::string_view keyword) {
  const auto& channels = Channels();
  for (size_t i = 0; i < channels.size(); ++i)
    if (std::find(channels[i].keywords.begin(), channels[i].keywords.end(), keyword) !=
        channels[i].keywords.end())
      return static_cast<int>(i);
  if (keyword.starts_with("ATTR_manip_") || RefinesManipulator(keyword)) return ManipChannel;
  return -1;
}

bool Number(const std::string& word, double& value) {
  const char* begin = word.data();
  if (!word.empty() && word.front() == '+') ++begin;
  const auto r = std::from_chars(begin, word.data() + word.size(), value);
  return r.ec == std::errc() && r.ptr == word.data() + word.size() && std::isfinite(value);
}

// p x M form of a turn of `degrees` about `axis` (right-handed).
Mat4 Rotation(Vec3 axis, double degrees) {
  const double length = PreciseLength(axis);
  Mat4 m = Mat4::Identity();
  if (!(length > 0)) return m;
  const double x = axis.x / length, y = axis.y / length, z = axis.z / length;
  const double a = degrees * std::numbers::pi / 180.0, c = std::cos(a), s = std::sin(a), t = 1 - c;
  // The column form turns v to R v; the row form is its transpose.
  const double r[3][3] = {{t * x * x + c, t * x * y - s * z, t * x * z + s * y},
                          {t * x * y + s * z, t * y * y + c, t * y * z - s * x},
                          {t * x * z - s * y, t * y * z + s * x, t * z * z + c}};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      m(j, i) = static_cast<float>(r[i][j]);
  return m;
}

// The value of a two-value line at dataref value x: along the line through (v1, a) and
// (v2, b), past both ends too; the first value when v1 and v2 are the same.
double Along(double a, double b, double v1, double v2, double x) {
  if (v1 == v2) return a;
  return a + (b - a) * (x - v1) / (v2 - v1);
}

// A keyed table at dataref value x: linear between keys, clamped to its first and last key; a
// loop wraps x into [0, loop) first.
struct Key {
  double value;
  std::vector<double> out;
};
std::vector<double> Keyed(const std::vector<Key>& keys, double loop, double x) {
  if (loop > 0) x -= loop * std::floor(x / loop);
  if (x <= keys.front().value) return keys.front().out;
  if (x >= keys.back().value) return keys.back().out;
  for (size_t i = 1; i < keys.size(); ++i)
    if (x <= keys[i].value) {
      const Key &a = keys[i - 1], &b = keys[i];
      const double t = b.value == a.value ? 0 : (x - a.value) / (b.value - a.value);
      std::vector<double> out(a.out.size());
      for (size_t k = 0; k < out.size(); ++k)
        out[k] = a.out[k] + (b.out[k] - a.out[k]) * t;
      return out;
    }
  return keys.back().out;
}

// Reads an animation's lines one by one into the transform they make at the values `value`
// gives each dataref, and whether they show or hide what they animate there.
class PoseReader {
 public:
  PoseReader(const DatarefValue& value, std::string* problem) : value_(value), problem_(problem) {}

  bool Take(const Line& line) {
    const std::string& k = line.keyword;
    std::vector<double> v;
    for (const std::string& word : line.words) {
      double d = 0;
      v.push_back(Number(word, d) ? d : std::nan(""));
    }
    const auto numbers = [&](size_t count) {
      for (size_t i = 0; i < count; ++i)
        if (i >= v.size() || std::isnan(v[i]))
          return Fail(line, "needs " + std::to_string(count) + " numbers");
      return true;
    };
    if (k == "ANIM_trans") {
      if (!numbers(8)) return false;
      const double x = ValueOf(line, 8);
      Apply(Translation({static_cast<float>(Along(v[0], v[3], v[6], v[7], x)),
                         static_cast<float>(Along(v[1], v[4], v[6], v[7], x)),
                         static_cast<float>(Along(v[2], v[5], v[6], v[7], x))}));
    } else if (k == "ANIM_rotate") {
      if (!numbers(7)) return false;
      Apply(Rotation({static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2])},
                     Along(v[3], v[4], v[5], v[6], ValueOf(line, 7))));
    } else if (k == "ANIM_trans_begin" || k == "ANIM_rotate_begin") {
      if (open_) return Fail(line, "begins a table inside another");
      if (k == "ANIM_rotate_begin" && !numbers(3)) return false;
      open_ = true;
      rotate_ = k == "ANIM_rotate_begin";
      tableValue_ = ValueOf(line, rotate_ ? 3 : 0);
      if (rotate_)
        axis_ = {static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2])};
      keys_.clear();
      loop_ = 0;
    } else if (k == "ANIM_trans_key" || k == "ANIM_rotate_key") {
      if (!open_ || rotate_ != (k == "ANIM_rotate_key")) return Fail(line, "is outside its table");
      if (!numbers(rotate_ ? 2 : 4)) return false;
      keys_.push_back({v[0], std::vector<double>(v.begin() + 1, v.begin() + (rotate_ ? 2 : 4))});
    } else if (k == "ANIM_keyframe_loop") {
      if (!numbers(1)) return false;
      loop_ = v[0];
    } else if (k == "ANIM_trans_end" || k == "ANIM_rotate_end") {
      if (!open_ || rotate_ != (k == "ANIM_rotate_end")) return Fail(line, "ends no table");
      if (keys_.empty()) return Fail(line, "ends a table without keys");
      const std::vector<double> out = Keyed(keys_, loop_, tableValue_);
      Apply(rotate_ ? Rotation(axis_, out[0])
                    : Translation({static_cast<float>(out[0]), static_cast<float>(out[1]),
                                   static_cast<float>(out[2])}));
      open_ = false;
    } else if (k == "ANIM_hide" || k == "ANIM_show") {
      // Each line whose range holds its dataref's value decides, the last one last; the
      // transform does not depend on these lines, so one without its numbers only decides
      // nothing.
      const double x = ValueOf(line, 2);
      if (v.size() >= 2 && x >= std::min(v[0], v[1]) && x <= std::max(v[0], v[1]))
        shown_ = k == "ANIM_show";
    } else {
      return Fail(line, "is not an animation line");
    }
    return true;
  }

  bool Finish() {
    if (open_) return Fail({rotate_ ? "ANIM_rotate_begin" : "ANIM_trans_begin", {}}, "has no end");
    return true;
  }
  const Mat4& Result() const { return m_; }
  bool Shown() const { return shown_; }

 private:
  // The value of the dataref named by word `at` of the line; a line without one, or naming
  // none, reads 0.
  double ValueOf(const Line& line, size_t at) const {
    if (at >= line.words.size() || !value_) return 0;
    const std::string& name = line.words[at];
    if (name == "none" || name == "no_ref") return 0;
    const double x = value_(name);
    return std::isfinite(x) ? x : 0;
  }
  // The first line is the outermost: each later one turns the geometry before it.
  void Apply(const Mat4& t) { m_ = Multiply(t, m_); }
  bool Fail(const Line& line, const std::string& what) {
    if (problem_) *problem_ = line.keyword + " " + what;
    return false;
  }

  const DatarefValue& value_;
  std::string* problem_;
  Mat4 m_ = Mat4::Identity();
  bool shown_ = true;
  double tableValue_ = 0;
  bool open_ = false, rotate_ = false;
  Vec3 axis_{};
  std::vector<Key> keys_;
  double loop_ = 0;
};

}  // namespace

std::string Line::Text() const {
  std::string text = keyword;
  for (const std::string& word : words)
    text += " " + word;
  return text;
}

std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && Blank(text[i]))
      ++i;
    if (i >= text.size() || text[i] == '#') break;
    const size_t start = i;
    while (i < text.size() && !Blank(text[i]))
      ++i;
    std::string_view word = text.substr(start, i - start);
    // A comment glued to a number ends the line there; in any other word a "#" is the word's.
    const size_t hash = word.find('#');
    double value = 0;
    if (hash != std::string_view::npos && Number(std::string(word.substr(0, hash)), value)) {
      words.push_back(word.substr(0, hash));
      break;
    }
    words.push_back(word);
  }
  return words;
}

std::vector<Line> ParseLines(std::string_view text) {
  std::vector<Line> lines;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const auto words = Words(text.substr(0, end));
    if (!words.empty()) {
      Line line{std::string(words[0]), {}};
      for (size_t i = 1; i < words.size(); ++i)
        line.words.emplace_back(words[i]);
      lines.push_back(std::move(line));
    }
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

std::string LinesText(const std::vector<Line>& lines) {
  std::string text;
  for (const Line& line : lines)
    text += (text.empty() ? "" : "\n") + line.Text();
  return text;
}

bool IsHeaderAttribute(std::string_view keyword) {
  return keyword == "ATTR_layer_group_draped" || keyword == "ATTR_LOD_draped";
}

Family FamilyOf(std::string_view k) {
  if (k == "TRIS") return Family::Tris;
  if (k == "LINES") return Family::Lines;
  if (k == "LIGHTS") return Family::Lights;
  if (k == "ATTR_LOD") return Family::Lod;
  if (k == "ANIM_begin") return Family::AnimBegin;
  if (k == "ANIM_end") return Family::AnimEnd;
  if (k == "ANIM_trans" || k == "ANIM_rotate" || k == "ANIM_trans_begin" || k == "ANIM_trans_key" ||
      k == "ANIM_trans_end" || k == "ANIM_rotate_begin" || k == "ANIM_rotate_key" ||
      k == "ANIM_rotate_end" || k == "ANIM_keyframe_loop" || k == "ANIM_hide" || k == "ANIM_show")
    return Family::Anim;
  if (k.starts_with("ATTR_") && !IsHeaderAttribute(k)) return Family::State;
  if (k == "LIGHT_NAMED" || k == "LIGHT_PARAM" || k == "LIGHT_CUSTOM" ||
      k == "LIGHT_SPILL_CUSTOM" || k == "smoke_black" || k == "smoke_white" || k == "MAGNET" ||
      k == "EMITTER")
    return Family::Item;
  return Family::Unknown;
}

Arity ArityOf(std::string_view k) {
  static const std::map<std::string_view, Arity> table = {
      {"TRIS", {2, 2}},
      {"LINES", {2, 2}},
      {"LIGHTS", {2, 2}},
      {"ATTR_LOD", {2, 2}},
      {"ANIM_begin", {0, 0}},
      {"ANIM_end", {0, 0}},
      {"ANIM_trans", {8, 9}},
      {"ANIM_rotate", {7, 8}},
      {"ANIM_trans_begin", {1, 1}},
      {"ANIM_trans_key", {4, 4}},
      {"ANIM_trans_end", {0, 0}},
      {"ANIM_rotate_begin", {4, 4}},
      {"ANIM_rotate_key", {2, 2}},
      {"ANIM_rotate_end", {0, 0}},
      {"ANIM_keyframe_loop", {1, 1}},
      {"ANIM_hide", {3, 3}},
      {"ANIM_show", {3, 3}},
      {"LIGHT_NAMED", {4, 4}},
      {"LIGHT_PARAM", {4, -1}},
      {"LIGHT_CUSTOM", {13, 13}},
      {"LIGHT_SPILL_CUSTOM", {13, 13}},
      {"smoke_black", {4, 4}},
      {"smoke_white", {4, 4}},
      {"MAGNET", {8, 8}},
      {"EMITTER", {7, 8}},
  };
  const auto at = table.find(k);
  return at == table.end() ? Arity{} : at->second;
}

void DrawState::Apply(const Line& line) {
  const std::string& k = line.keyword;
  if (k == "ATTR_reset") {
    // The old reset: lighting and shininess back to their defaults.
    channels_.erase(ShinyChannel);
    channels_.erase(EmissionChannel);
    return;
  }
  const int channel = ChannelOf(k);
  if (channel < 0) {
    unknown_[k] = line.Text();
    return;
  }
  const std::string text = line.Text();
  if (channel == ManipChannel && RefinesManipulator(k)) {
    // Refines the manipulator in force; with none in force it stands for itself.
    channels_[channel].push_back(text);
    return;
  }
  if (text == Channels()[static_cast<size_t>(channel)].reset)
    channels_.erase(channel);
  else
    channels_[channel] = {text};
}

std::string DrawState::Text() const {
  std::string text(Cull() ? "ATTR_cull" : "ATTR_no_cull");
  for (const auto& [channel, lines] : channels_)
    if (channel != CullChannel)
      for (const std::string& line : lines)
        text += "\n" + line;
  for (const auto& [keyword, line] : unknown_)
    text += "\n" + line;
  return text;
}

DrawState DrawState::FromText(std::string_view text) {
  DrawState state;
  for (const Line& line : ParseLines(text))
    if (line.keyword.starts_with("ATTR_")) state.Apply(line);
  return state;
}

std::vector<std::string> DrawState::Changes(const DrawState& from, const DrawState& to) {
  std::vector<std::string> lines;
  for (size_t channel = 0; channel < Channels().size(); ++channel) {
    const int c = static_cast<int>(channel);
    const auto a = from.channels_.find(c), b = to.channels_.find(c);
    const bool hasA = a != from.channels_.end(), hasB = b != to.channels_.end();
    if (hasA == hasB && (!hasA || a->second == b->second)) continue;
    // Lines that refine the manipulator add to the one in force: it goes first.
    if (hasA && hasB && c == ManipChannel &&
        RefinesManipulator(
            std::string_view(b->second.front()).substr(0, b->second.front().find(' '))))
      lines.emplace_back(Channels()[channel].reset);
    if (hasB)
      lines.insert(lines.end(), b->second.begin(), b->second.end());
    else if (!Channels()[channel].reset.empty())
      lines.emplace_back(Channels()[channel].reset);
  }
  for (const auto& [keyword, line] : to.unknown_) {
    const auto a = from.unknown_.find(keyword);
    if (a == from.unknown_.end() || a->second != line) lines.push_back(line);
  }
  return lines;
}

int DrawState::Unresettable() const {
  int count = static_cast<int>(unknown_.size());
  for (const auto& [channel, lines] : channels_)
    count += Channels()[static_cast<size_t>(channel)].reset.empty();
  return count;
}

bool DrawState::Cull() const {
  const auto at = channels_.find(CullChannel);
  return at == channels_.end() || !at->second.front().starts_with("ATTR_no_cull");
}

std::optional<Mat4> RestTransform(const std::vector<Line>& animation, std::string* problem) {
  const std::optional<Pose> pose = PoseAt(animation, DatarefValue(), problem);
  if (!pose) return std::nullopt;
  return pose->transform;
}

std::optional<Pose> PoseAt(const std::vector<Line>& animation, const DatarefValue& value,
                           std::string* problem) {
  PoseReader reader(value, problem);
  for (const Line& line : animation)
    if (!reader.Take(line)) return std::nullopt;
  if (!reader.Finish()) return std::nullopt;
  return Pose{reader.Result(), reader.Shown()};
}

std::vector<std::string> Datarefs(const std::vector<Line>& animation) {
  std::vector<std::string> out;
  for (const Line& line : animation) {
    const std::string& k = line.keyword;
    int at = -1;
    if (k == "ANIM_trans") at = 8;
    if (k == "ANIM_rotate") at = 7;
    if (k == "ANIM_trans_begin") at = 0;
    if (k == "ANIM_rotate_begin") at = 3;
    if (k == "ANIM_hide" || k == "ANIM_show") at = 2;
    if (at < 0 || static_cast<size_t>(at) >= line.words.size()) continue;
    const std::string& dataref = line.words[static_cast<size_t>(at)];
    // "none" and "no_ref" stand where a fixed transform names no dataref.
    if (dataref != "none" && dataref != "no_ref" &&
        std::find(out.begin(), out.end(), dataref) == out.end())
      out.push_back(dataref);
  }
  return out;
}

ItemPlaces PlacesOf(std::string_view k) {
  if (k == "LIGHT_NAMED" || k == "LIGHT_PARAM" || k == "EMITTER") return {1, -1};
  if (k == "LIGHT_CUSTOM" || k == "smoke_black" || k == "smoke_white") return {0, -1};
  if (k == "LIGHT_SPILL_CUSTOM") return {0, 8};
  if (k == "MAGNET") return {2, -1};
  return {};
}

std::vector<Line> Mirrored(std::vector<Line> lines, int axis) {
  // The sign of a number changed in its text: "-1.5" for "1.5", "2" for "-2"; a zero and a
  // word that is not a number stay.
  const auto negate = [](std::vector<std::string>& words, size_t at) {
    if (at >= words.size()) return;
    std::string& word = words[at];
    double value = 0;
    if (!Number(word, value) || value == 0) return;
    if (word.front() == '-')
      word.erase(0, 1);
    else
      word.insert(0, 1, '-');
  };
  const auto component = [&](std::vector<std::string>& words, int first) {
    if (first >= 0) negate(words, static_cast<size_t>(first + axis));
  };
  for (Line& line : lines) {
    const std::string& k = line.keyword;
    std::vector<std::string>& w = line.words;
    if (k == "ANIM_trans") {
      component(w, 0);
      component(w, 3);
    } else if (k == "ANIM_rotate") {
      component(w, 0);
      negate(w, 3);
      negate(w, 4);
    } else if (k == "ANIM_rotate_begin") {
      component(w, 0);
    } else if (k == "ANIM_rotate_key") {
      negate(w, 1);
    } else if (k == "ANIM_trans_key") {
      component(w, 1);
    } else if (k == "VLINE" || k == "VLIGHT") {
      component(w, 0);
    } else {
      const ItemPlaces places = PlacesOf(k);
      component(w, places.position);
      component(w, places.direction);
    }
  }
  return lines;
}

}  // namespace vlm::obj8
