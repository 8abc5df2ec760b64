#include "cli/obj8_contents.h"

#include <algorithm>
#include <charconv>
#include <utility>

#include "run/printing.h"
#include "vlm/obj8_commands.h"

namespace vlm::host {
namespace {

using Kind = Obj8Command::Kind;

void Count(Obj8Tallies& tallies, const Obj8Command& c, bool named) {
  Obj8Tally& tally = tallies[c.keyword];
  ++tally.count;
  if (!named || c.arguments.empty()) return;
  const std::string& name = c.arguments.front();
  if (std::find(tally.names.begin(), tally.names.end(), name) == tally.names.end())
    tally.names.push_back(name);
}

// Whether an ATTR_ line sets or refines a manipulator.
bool IsManipulatorLine(const std::string& keyword) {
  return keyword.starts_with("ATTR_manip_") || keyword.starts_with("ATTR_axis_detent");
}

// An animation being read: its place, its lines so far and whether a keyed table is open.
struct OpenAnimation {
  Obj8LevelContents* level = nullptr;
  size_t index = 0;
  std::vector<obj8::Line> lines;
  bool table = false;

  Obj8Animation& Get() const { return level->animations[index]; }

  void Take(const Obj8Command& c) {
    Obj8Animation& a = Get();
    const std::string& k = c.keyword;
    const std::vector<std::string>& w = c.arguments;
    lines.push_back({k, w});
    if (k == "ANIM_trans_begin" || k == "ANIM_rotate_begin") {
      const size_t at = k == "ANIM_trans_begin" ? 0 : 3;
      a.tables.push_back({k == "ANIM_trans_begin" ? "trans" : "rotate", at < w.size() ? w[at] : "",
                          0, std::nullopt});
      table = true;
    } else if (table && (k == "ANIM_trans_key" || k == "ANIM_rotate_key")) {
      ++a.tables.back().keys;
    } else if (table && k == "ANIM_keyframe_loop" && !w.empty()) {
      double loop = 0;
      const auto r = std::from_chars(w[0].data(), w[0].data() + w[0].size(), loop);
      if (r.ec == std::errc()) a.tables.back().loop = loop;
    } else if (k == "ANIM_trans_end" || k == "ANIM_rotate_end") {
      table = false;
    } else if (k == "ANIM_trans" || k == "ANIM_rotate") {
      ++a.transforms;
    } else if (k == "ANIM_show") {
      ++a.shows;
    } else if (k == "ANIM_hide") {
      ++a.hides;
    }
  }
};

// "5 (a, b)": a tally with the first few of its names.
std::string TallyText(const Obj8Tally& tally) {
  std::string text = std::to_string(tally.count);
  if (tally.names.empty()) return text;
  constexpr size_t kShown = 5;
  text += " (";
  for (size_t k = 0; k < tally.names.size() && k < kShown; ++k)
    text += (k ? ", " : "") + tally.names[k];
  if (tally.names.size() > kShown)
    text += ", and " + std::to_string(tally.names.size() - kShown) + " more";
  return text + ")";
}

void PrintTallies(const char* what, const Obj8Tallies& tallies, const std::string& indent,
                  std::ostream& out) {
  if (tallies.empty()) return;
  out << indent << what << ":";
  bool first = true;
  for (const auto& [keyword, tally] : tallies) {
    out << (first ? " " : ", ") << keyword << " " << TallyText(tally);
    first = false;
  }
  out << "\n";
}

std::string Plural(int64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// "line 17, inside line 12: sim/door; 1 transform; keyed rotate sim/door 2 keys, loop 2; ..."
std::string AnimationText(const Obj8Animation& a) {
  std::vector<std::string> parts;
  if (!a.datarefs.empty()) {
    std::string datarefs;
    for (const std::string& d : a.datarefs)
      datarefs += (datarefs.empty() ? "" : ", ") + d;
    parts.push_back(datarefs);
  }
  if (a.transforms > 0) parts.push_back(Plural(a.transforms, "transform", "transforms"));
  for (const Obj8Animation::Table& t : a.tables)
    parts.push_back("keyed " + t.kind + " " + t.dataref + " " + Plural(t.keys, "key", "keys") +
                    (t.loop ? ", loop " + Number(static_cast<float>(*t.loop)) : ""));
  if (a.shows > 0) parts.push_back(Plural(a.shows, "show", "shows"));
  if (a.hides > 0) parts.push_back(Plural(a.hides, "hide", "hides"));
  std::string text = "line " + std::to_string(a.line);
  if (a.inside > 0) text += ", inside line " + std::to_string(a.inside);
  text += ":";
  for (size_t k = 0; k < parts.size(); ++k)
    text += (k ? "; " : " ") + parts[k];
  return parts.empty() ? text + " no animation lines" : text;
}

nlohmann::ordered_json TalliesJson(const Obj8Tallies& tallies) {
  nlohmann::ordered_json j = nlohmann::ordered_json::object();
  for (const auto& [keyword, tally] : tallies) {
    nlohmann::ordered_json t = {{"count", tally.count}};
    if (!tally.names.empty()) t["names"] = tally.names;
    j[keyword] = std::move(t);
  }
  return j;
}

}  // namespace

bool Obj8LevelContents::Empty() const {
  return animations.empty() && lights.empty() && items.empty() && manipulators.empty() &&
         attributes.empty();
}

Obj8Contents ContentsOf(const Obj8File& file) {
  Obj8Contents contents;
  for (const Obj8File::HeaderLine& h : file.header)
    contents.header.push_back(obj8::Line{h.keyword, h.arguments}.Text());
  contents.levels.resize(file.lods.size());
  std::vector<OpenAnimation> open;  // the animations around the command, outermost first
  for (const Obj8Command& c : file.commands) {
    Obj8LevelContents& level = c.lod >= 0 && static_cast<size_t>(c.lod) < contents.levels.size()
                                   ? contents.levels[static_cast<size_t>(c.lod)]
                                   : contents.outside;
    switch (c.kind) {
      case Kind::AnimBegin: {
        Obj8Animation animation;
        animation.line = c.line;
        animation.inside = open.empty() ? 0 : open.back().Get().line;
        level.animations.push_back(std::move(animation));
        open.push_back({&level, level.animations.size() - 1, {}, false});
        break;
      }
      case Kind::Anim:
        if (!open.empty()) open.back().Take(c);
        break;
      case Kind::AnimEnd:
        if (open.empty()) break;
        open.back().Get().datarefs = obj8::Datarefs(open.back().lines);
        open.pop_back();
        break;
      case Kind::State:
        Count(IsManipulatorLine(c.keyword) ? level.manipulators : level.attributes, c, false);
        break;
      case Kind::Item:
        if (c.keyword.starts_with("LIGHT_"))
          Count(level.lights, c, c.keyword == "LIGHT_NAMED" || c.keyword == "LIGHT_PARAM");
        else if (obj8::FamilyOf(c.keyword) != obj8::Family::Unknown)
          Count(level.items, c, c.keyword == "EMITTER" || c.keyword == "MAGNET");
        break;
      case Kind::Lines:
      case Kind::Lights:
        Count(level.items, c, false);
        break;
      case Kind::Lod:
      case Kind::Tris:
        break;
    }
  }
  return contents;
}

void PrintLevelContents(const Obj8LevelContents& level, const std::string& indent,
                        std::ostream& out) {
  if (!level.animations.empty()) {
    out << indent << "animations " << level.animations.size() << "\n";
    for (const Obj8Animation& a : level.animations)
      out << indent << "  " << AnimationText(a) << "\n";
  }
  PrintTallies("lights", level.lights, indent, out);
  PrintTallies("items", level.items, indent, out);
  PrintTallies("manipulators", level.manipulators, indent, out);
  PrintTallies("attributes", level.attributes, indent, out);
}

nlohmann::ordered_json LevelContentsJson(const Obj8LevelContents& level) {
  nlohmann::ordered_json animations = nlohmann::ordered_json::array();
  for (const Obj8Animation& a : level.animations) {
    nlohmann::ordered_json tables = nlohmann::ordered_json::array();
    for (const Obj8Animation::Table& t : a.tables)
      tables.push_back({{"kind", t.kind},
                        {"dataref", t.dataref},
                        {"keys", t.keys},
                        {"loop", t.loop ? nlohmann::ordered_json(*t.loop) : nullptr}});
    animations.push_back({{"line", a.line},
                          {"inside", a.inside > 0 ? nlohmann::ordered_json(a.inside) : nullptr},
                          {"datarefs", a.datarefs},
                          {"transforms", a.transforms},
                          {"tables", std::move(tables)},
                          {"shows", a.shows},
                          {"hides", a.hides}});
  }
  return {{"animations", std::move(animations)},
          {"lights", TalliesJson(level.lights)},
          {"items", TalliesJson(level.items)},
          {"manipulators", TalliesJson(level.manipulators)},
          {"attributes", TalliesJson(level.attributes)}};
}

}  // namespace vlm::host
