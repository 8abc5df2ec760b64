#include "cli/obj8_checks.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <initializer_list>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "exchange/image_size.h"
#include "exchange/obj8_import.h"
#include "run/printing.h"
#include "scene/document.h"
#include "scene/texture_names.h"
#include "vlm/file_names.h"
#include "vlm/format_limits.h"
#include "vlm/obj8_commands.h"

namespace vlm::host {
namespace {

using obj8::Line;

// A line with its number in the file; 0 for a line of a scene's field, which has none.
struct Numbered {
  Line line;
  int64_t number = 0;
};

// What is wrong with some lines, before it is a finding of a file or of a scene's item.
struct Problem {
  bool error = false;
  const char* check = "";
  int64_t line = 0;
  std::string reason;
};

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

std::optional<double> NumberIn(const std::string& word) {
  double value = 0;
  const char* begin = word.data();
  if (!word.empty() && word.front() == '+') ++begin;
  const auto r = std::from_chars(begin, word.data() + word.size(), value);
  if (r.ec != std::errc() || r.ptr != word.data() + word.size() || !std::isfinite(value))
    return std::nullopt;
  return value;
}

std::string Keys(size_t count) {
  return std::to_string(count) + (count == 1 ? " key" : " keys");
}

// The key values of a table, the first few, for a reason that stays one line.
std::string KeyList(const std::vector<double>& keys) {
  std::string out;
  for (size_t k = 0; k < keys.size() && k < 6; ++k)
    out += (k ? ", " : "") + Number(static_cast<float>(keys[k]));
  return out + (keys.size() > 6 ? ", ..." : "");
}

// A keyed table of an animation (ANIM_trans_begin or ANIM_rotate_begin ... _end): the dataref
// it reads and the dataref values of its keys.
struct Table {
  std::string keyword, dataref;
  std::vector<double> keys;
  int64_t line = 0;
};

std::vector<Table> TablesOf(const std::vector<Numbered>& lines) {
  std::vector<Table> tables;
  bool open = false;
  for (const auto& [line, number] : lines) {
    const std::string& k = line.keyword;
    const std::vector<std::string>& w = line.words;
    if (k == "ANIM_trans_begin" || k == "ANIM_rotate_begin") {
      const size_t at = k == "ANIM_trans_begin" ? 0 : 3;
      tables.push_back({k, at < w.size() ? w[at] : "", {}, number});
      open = true;
    } else if (open && (k == "ANIM_trans_key" || k == "ANIM_rotate_key") && !w.empty()) {
      tables.back().keys.push_back(NumberIn(w[0]).value_or(std::nan("")));
    } else if (k == "ANIM_trans_end" || k == "ANIM_rotate_end") {
      open = false;
    }
  }
  return tables;
}

// The keyed tables of one animation: each needs two keys to move between, and tables that read
// one dataref should share their keys.
void CheckTables(const std::vector<Numbered>& animation, std::vector<Problem>& out) {
  const std::vector<Table> tables = TablesOf(animation);
  for (size_t i = 0; i < tables.size(); ++i) {
    const Table& t = tables[i];
    const std::string what = t.keyword + " " + t.dataref;
    if (t.keys.size() < 2) {
      out.push_back({true, "keyed-table", t.line,
                     what + " has " + Keys(t.keys.size()) +
                         ": a keyed table needs at least two keys to move between"});
      continue;
    }
    if (t.dataref == "none" || t.dataref == "no_ref") continue;
    for (size_t j = 0; j < i; ++j) {
      const Table& u = tables[j];
      if (u.dataref != t.dataref || u.keys.size() < 2 || u.keys == t.keys) continue;
      out.push_back(
          {false, "keyed-dataref", t.line,
           what + " has " + Keys(t.keys.size()) + " (" + KeyList(t.keys) + "), the " + u.keyword +
               " table before it" + (u.line > 0 ? " (line " + std::to_string(u.line) + ")" : "") +
               " that reads the same dataref has " + Keys(u.keys.size()) + " (" + KeyList(u.keys) +
               "): the tables of one animation that read one dataref should have "
               "the same keys"});
      break;
    }
  }
}

// The first word of an item that should be a number and is not; "" when there is none. The
// custom lights are numbers up to their dataref; the other items have numbers where their
// position (and a direction) stand.
std::string ItemNumbersProblem(const Line& line) {
  const std::string& k = line.keyword;
  std::vector<size_t> places;
  if (k == "LIGHT_CUSTOM" || k == "LIGHT_SPILL_CUSTOM") {
    for (size_t i = 0; i < 12; ++i)
      places.push_back(i);
  } else {
    const obj8::ItemPlaces p = obj8::PlacesOf(k);
    for (const int at : {p.position, p.direction})
      for (int i = 0; at >= 0 && i < 3; ++i)
        places.push_back(static_cast<size_t>(at + i));
  }
  for (const size_t at : places)
    if (at < line.words.size() && !NumberIn(line.words[at]))
      return k + ": its value " + std::to_string(at + 1) + ", " + Quoted(line.words[at]) +
             ", is not a number";
  return {};
}

// A manipulator in force: its keyword, its line and how many ATTR_manip_keyframe lines refine
// it.
struct Manipulator {
  std::string keyword;
  int64_t line = 0;
  size_t keyframes = 0;
};

// Takes a state line into the manipulator in force: an ATTR_manip_ line sets one (none for
// ATTR_manip_none), the lines after it refine it.
void TakeState(const Line& line, int64_t number, std::optional<Manipulator>& manipulator) {
  const std::string& k = line.keyword;
  if (k == "ATTR_manip_none") {
    manipulator.reset();
  } else if (k == "ATTR_manip_keyframe") {
    if (manipulator) ++manipulator->keyframes;
  } else if (k.starts_with("ATTR_manip_") && k != "ATTR_manip_wheel") {
    manipulator = Manipulator{k, number, 0};
  }
}

// What a manipulator lacks in the animation that moves what it governs (the lines of the
// animations around it, outermost first, each as far as it has come); "" when nothing. A
// rotating drag turns about its animation's rotation; a drag along an axis with keyframes
// follows a keyed translation key for key.
std::string ManipulatorProblem(const Manipulator& m, const std::vector<Numbered>& animation) {
  const auto has = [&](std::initializer_list<const char*> keywords) {
    return std::any_of(animation.begin(), animation.end(), [&](const Numbered& n) {
      return std::find(keywords.begin(), keywords.end(), n.line.keyword) != keywords.end();
    });
  };
  if (m.keyword == "ATTR_manip_drag_rotate" && !has({"ANIM_rotate", "ANIM_rotate_begin"}))
    return m.keyword +
           " turns what it governs about the rotation of its animation, and no rotation "
           "(ANIM_rotate or ANIM_rotate_begin) animates it";
  if (m.keyword != "ATTR_manip_drag_axis" || m.keyframes == 0) return {};
  std::vector<size_t> counts;
  for (const Table& t : TablesOf(animation))
    if (t.keyword == "ANIM_trans_begin") {
      if (t.keys.size() == m.keyframes) return {};
      counts.push_back(t.keys.size());
    }
  const std::string keyframes = std::to_string(m.keyframes) +
                                (m.keyframes == 1 ? " keyframe" : " keyframes") +
                                " (ATTR_manip_keyframe)";
  if (counts.empty())
    return m.keyword + " has " + keyframes +
           ", and no keyed translation (ANIM_trans_begin) animates it for them to follow";
  return m.keyword + " has " + keyframes + ", and the keyed translation that animates it has " +
         Keys(counts.front()) + ": its keyframes follow the translation's keys one for one";
}

// The checks of one file's lines.
class FileChecks {
 public:
  FileChecks(const Obj8File& file, std::filesystem::path folder)
      : file_(file), folder_(std::move(folder)) {}

  std::vector<Finding> Run() {
    Textures();
    Levels();
    Commands();
    std::stable_sort(problems_.begin(), problems_.end(),
                     [](const Problem& a, const Problem& b) { return a.line < b.line; });
    std::vector<Finding> findings;
    for (Problem& p : problems_)
      findings.push_back({p.error, p.check, "file", file_.origin, std::move(p.reason), p.line});
    return findings;
  }

 private:
  void Add(bool error, const char* check, int64_t line, std::string reason) {
    problems_.push_back({error, check, line, std::move(reason)});
  }

  // X-Plane takes selective levels, each starting where the one before ends, or additive
  // ones, all starting at 0 and reaching farther each; the first starts at 0 either way. (The
  // reader refuses a range whose near end is not below its far end.)
  void Levels() {
    const std::vector<Obj8Lod>& lods = file_.lods;
    if (lods.empty()) return;
    const auto metres = [](float d) { return Number(d) + " m"; };
    const auto range = [&](const Obj8Lod& l) {
      return "ATTR_LOD " + Number(l.nearDistance) + " " + Number(l.farDistance);
    };
    if (lods.front().nearDistance != 0)
      Add(true, "lod-ranges", lods.front().line,
          range(lods.front()) + ": the first level starts at " + metres(lods.front().nearDistance) +
              "; X-Plane wants it to start at 0");
    const bool additive = std::count_if(lods.begin(), lods.end(),
                                        [](const Obj8Lod& l) { return l.nearDistance == 0; }) > 1;
    for (size_t k = 1; k < lods.size(); ++k) {
      const Obj8Lod &l = lods[k], &before = lods[k - 1];
      const std::string after = " (line " + std::to_string(before.line) + ")";
      if (additive && l.nearDistance != 0)
        Add(true, "lod-ranges", l.line,
            range(l) +
                ": the levels mix additive ones (several start at 0) with selective "
                "ones; X-Plane takes one kind in an object");
      else if (additive && l.farDistance <= before.farDistance)
        Add(true, "lod-ranges", l.line,
            range(l) + ": additive levels reach farther each; the level before" + after +
                " reaches " + metres(before.farDistance));
      else if (!additive && l.nearDistance > before.farDistance)
        Add(true, "lod-ranges", l.line,
            range(l) + ": a gap from " + metres(before.farDistance) + ", where the level before" +
                after + " ends, to " + metres(l.nearDistance) + ", where nothing is drawn");
      else if (!additive && l.nearDistance < before.farDistance)
        Add(true, "lod-ranges", l.line,
            range(l) + ": overlaps the level before" + after + ", which reaches " +
                metres(before.farDistance) + "; each level starts where the one before ends");
    }
  }

  // The animations' keyed tables, the items' numbers and what each manipulator needs of the
  // animation of the triangles it governs.
  void Commands() {
    std::vector<std::vector<Numbered>> open;  // each animation's lines so far, outermost first
    std::optional<Manipulator> manipulator;
    std::set<int64_t> wanting;  // the manipulators found wanting, by line
    for (const Obj8Command& c : file_.commands) {
      const Line line{c.keyword, c.arguments};
      switch (c.kind) {
        case Obj8Command::Kind::Lod:
          manipulator.reset();  // a level starts from the defaults
          break;
        case Obj8Command::Kind::State:
          TakeState(line, c.line, manipulator);
          break;
        case Obj8Command::Kind::AnimBegin:
          open.emplace_back();
          break;
        case Obj8Command::Kind::Anim:
          if (!open.empty()) open.back().push_back({line, c.line});
          break;
        case Obj8Command::Kind::AnimEnd:
          if (open.empty()) break;
          CheckTables(open.back(), problems_);
          open.pop_back();
          break;
        case Obj8Command::Kind::Tris:
          if (manipulator && c.count > 0 && !wanting.count(manipulator->line)) {
            std::vector<Numbered> animation;
            for (const auto& lines : open)
              animation.insert(animation.end(), lines.begin(), lines.end());
            std::string problem = ManipulatorProblem(*manipulator, animation);
            if (problem.empty()) break;
            wanting.insert(manipulator->line);
            Add(false, "manipulator-animation", manipulator->line, std::move(problem));
          }
          break;
        case Obj8Command::Kind::Item:
          if (std::string problem = ItemNumbersProblem(line); !problem.empty())
            Add(true, "item-numbers", c.line, std::move(problem));
          break;
        case Obj8Command::Kind::Lines:
        case Obj8Command::Kind::Lights:
          break;
      }
    }
  }

  // The textures as X-Plane looks for them: beside the object, by the name as far as a blank,
  // PNG or DDS pictures with sides that are powers of two.
  void Textures() {
    static const char* const keywords[] = {"TEXTURE", "TEXTURE_LIT", "TEXTURE_NORMAL"};
    for (size_t slot = 0; slot < file_.textures.size(); ++slot) {
      std::string name = file_.textures[slot];
      const int64_t line = file_.textureLines[slot];
      const std::string what = std::string(keywords[slot]) + " " + Quoted(name);
      if (name.empty()) continue;
      if (const size_t blank = name.find_first_of(" \t"); blank != std::string::npos) {
        name.resize(blank);
        Add(false, "texture-blank", line,
            what + " has a blank: X-Plane reads the name only as far as it, " + Quoted(name));
      }
      if (IsAbsoluteFileName(name)) {
        Add(true, "absolute-texture", line,
            what + " is an absolute path; X-Plane looks for textures from the object's folder");
        continue;
      }
      if (name.find('\\') != std::string::npos)
        Add(false, "backslash-texture", line,
            what + " has \"\\\" between folders; \"/\" is what every system reads");
      TextureFile(what, line, TextureFileFrom(name, folder_));
    }
  }

  void TextureFile(const std::string& what, int64_t line, const std::filesystem::path& file) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) {
      Add(true, "missing-texture", line,
          what + " does not exist (looked for " + file.string() + ")");
      return;
    }
    std::string start(kImageHeaderBytes, '\0');
    std::ifstream in(file, std::ios::binary);
    in.read(start.data(), static_cast<std::streamsize>(start.size()));
    start.resize(static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    const std::optional<std::string> format = ImageFormatOf(start);
    if (format != "PNG" && format != "DDS")
      Add(false, "texture-format", line,
          what + (format ? " is a " + *format + " picture" : " is not a picture X-Plane reads") +
              "; X-Plane loads PNG and DDS textures");
    if (const auto size = ImageSizeOfFile(file);
        size && (!IsPowerOfTwo(size->width) || !IsPowerOfTwo(size->height)))
      Add(false, "texture-size", line,
          what + " is " + std::to_string(size->width) + "x" + std::to_string(size->height) +
              " pixels; X-Plane wants sides that are powers of two");
  }

  const Obj8File& file_;
  std::filesystem::path folder_;
  std::vector<Problem> problems_;
};

// The checks of a scene's OBJ8 fields.
class DataChecks {
 public:
  explicit DataChecks(const HostDocument& document)
      : nodeField_(document.FindNodeField(kObj8Field)),
        materialField_(document.FindMaterialField(kObj8Field)) {}

  std::vector<Finding> Run(const CheckScope& scope) {
    if (nodeField_ < 0 && materialField_ < 0) return {};
    for (const HostNode* group : scope.groups)
      Walk(*group);
    for (const CheckScope::ObjectFaces& object : scope.objects)
      Object(*object.mesh, object.allFaces ? nullptr : &object.faces);
    return std::move(findings_);
  }

 private:
  void Add(bool error, const char* check, const char* kind, std::string path, std::string reason) {
    findings_.push_back({error, check, kind, std::move(path), std::move(reason)});
  }

  std::vector<Line> LinesOf(const std::map<int32_t, std::string>& fields, int32_t slot) const {
    const auto found = slot < 0 ? fields.end() : fields.find(slot);
    return found == fields.end() ? std::vector<Line>() : obj8::ParseLines(found->second);
  }

  // The lines of a group's animation; empty for a group that is none.
  std::vector<Line> AnimationOf(const HostNode& node) const {
    std::vector<Line> lines = LinesOf(node.fields, nodeField_);
    if (lines.empty() || obj8::FamilyOf(lines.front().keyword) != obj8::Family::Anim) return {};
    return lines;
  }

  void Walk(const HostNode& node) {
    Group(node);
    for (const auto& mesh : node.meshes)
      Object(*mesh, nullptr);
    for (const auto& child : node.children)
      if (child->animationKeys < obj8::AnimatedKeys) Walk(*child);
  }

  void Group(const HostNode& node) {
    const std::vector<Line> lines = LinesOf(node.fields, nodeField_);
    if (lines.empty()) return;
    const std::string path = node.Path();
    if (obj8::FamilyOf(lines.front().keyword) == obj8::Family::Anim) {
      std::string problem;
      if (!obj8::RestTransform(lines, &problem)) {
        Add(true, "animation-lines", "group", path,
            "its OBJ8 animation cannot be read (" + problem + "): the OBJ8 export stops on it");
        return;
      }
      std::vector<Numbered> numbered;
      for (const Line& line : lines)
        numbered.push_back({line, 0});
      std::vector<Problem> problems;
      CheckTables(numbered, problems);
      for (Problem& p : problems)
        Add(p.error, p.check, "group", path, "its OBJ8 line " + p.reason);
      return;
    }
    for (const Line& line : lines)
      if (const std::string problem = ItemNumbersProblem(line); !problem.empty())
        Add(true, "item-numbers", "group", path, "its OBJ8 line " + problem);
  }

  // Each manipulator of the materials of the object's faces, with the animations around the
  // object.
  void Object(const HostMesh& mesh, const std::vector<int32_t>* only) {
    if (materialField_ < 0 || !mesh.parent) return;
    std::set<const HostMaterial*> seen;
    const auto face = [&](size_t f) {
      const HostMaterial* m = mesh.FaceMaterial(f);
      if (mesh.FaceRemoved(f) || !m || !seen.insert(m).second) return;
      std::optional<Manipulator> manipulator;
      for (const Line& line : LinesOf(m->fields, materialField_))
        TakeState(line, 0, manipulator);
      if (!manipulator) return;
      std::vector<Numbered> animation;
      for (const HostNode* node = mesh.parent; node; node = node->parent) {
        std::vector<Numbered> lines;
        for (Line& line : AnimationOf(*node))
          lines.push_back({std::move(line), 0});
        animation.insert(animation.begin(), lines.begin(), lines.end());
      }
      if (std::string problem = ManipulatorProblem(*manipulator, animation); !problem.empty())
        Add(false, "manipulator-animation", "object", mesh.Path(),
            "its material " + Quoted(m->name) + ": " + problem);
    };
    if (only) {
      for (const int32_t f : *only)
        if (f >= 0 && static_cast<size_t>(f) < mesh.FaceCount()) face(static_cast<size_t>(f));
    } else {
      for (size_t f = 0; f < mesh.FaceCount(); ++f)
        face(f);
    }
  }

  int32_t nodeField_, materialField_;
  std::vector<Finding> findings_;
};

}  // namespace

std::vector<Finding> CheckObj8File(const Obj8File& file, const std::filesystem::path& folder) {
  return FileChecks(file, folder).Run();
}

std::vector<Finding> CheckObj8Data(const HostDocument& document, const CheckScope& scope) {
  return DataChecks(document).Run(scope);
}

}  // namespace vlm::host
