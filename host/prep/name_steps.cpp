// rename and shorten: names of groups, objects and materials as the formats take them, and the
// name templates and wildcards the materials step shares (prep_names.h).
#include <fnmatch.h>

#include <algorithm>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <utility>

#include "prep/prep_names.h"
#include "prep/prep_steps.h"
#include "scene/document.h"
#include "vlm/text_encoding.h"

namespace vlm::host {
namespace {

// The longest name --regex looks at, in bytes: the standard library's matcher recurses once
// per character and would run out of stack on a name of some ten thousand.
constexpr size_t kLongestMatched = 1024;

constexpr std::string_view kFields = "{name}, {n}, {n:W} (W digits), {1}..{9}";

// The characters of a name, each as its bytes: a well-formed UTF-8 character, or one byte of
// text that is not UTF-8 (kept as it is, never split from nothing).
std::vector<std::string_view> Characters(std::string_view name) {
  std::vector<std::string_view> out;
  for (size_t at = 0; at < name.size();) {
    size_t next = at;
    char32_t c;
    if (!text::NextCodePoint(name, next, c)) next = at + 1;
    out.push_back(name.substr(at, next - at));
    at = next;
  }
  return out;
}

size_t Length(std::string_view name) {
  return Characters(name).size();
}

// The first `count` characters of a name.
std::string Start(std::string_view name, size_t count) {
  std::string out;
  const auto characters = Characters(name);
  for (size_t i = 0; i < std::min(count, characters.size()); ++i)
    out += characters[i];
  return out;
}

bool IsPlain(std::string_view character) {
  if (character.size() != 1) return false;
  const char c = character[0];
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '-' || c == '.';
}

// ASCII letters, digits, '_', '-' and '.' kept; every run of other characters one '_'.
std::string Plain(std::string_view name) {
  std::string out;
  bool replacing = false;
  for (std::string_view character : Characters(name)) {
    if (IsPlain(character)) {
      out += character;
      replacing = false;
    } else if (!replacing) {
      out += '_';
      replacing = true;
    }
  }
  return out;
}

std::string Join(const std::vector<std::string>& words) {
  std::string out;
  for (size_t i = 0; i < words.size(); ++i)
    out += (i == 0 ? "" : i + 1 == words.size() ? " and " : ", ") + words[i];
  return out;
}

std::string Counted(size_t count, const std::string& one, const std::string& many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// ---- the items a naming step works on ----

enum class Kind { Group, Object, Material };

// One name a step may change: a group, an object or a material, and the items its name must
// differ from (siblings of its kind; for a material, the document's materials).
struct Named {
  Kind kind;
  std::string* name;
  const void* siblings;  // the parent group, or the document for a material
  std::string path;      // for messages
};

// The groups and objects at the targets and below them, in scene order (a group, its objects,
// then its groups), the root never.
std::vector<Named> GroupsAndObjects(const PrepTargets& targets, HostDocument& document, bool groups,
                                    bool objects) {
  std::set<const HostNode*> targetGroups(targets.groups.begin(), targets.groups.end());
  std::set<const HostMesh*> targetObjects(targets.objects.begin(), targets.objects.end());
  std::vector<Named> out;
  auto walk = [&](auto& self, HostNode& node, bool inside) -> void {
    inside = inside || targetGroups.count(&node) > 0;
    if (groups && inside && node.parent)
      out.push_back({Kind::Group, &node.name, node.parent, node.Path()});
    for (const auto& mesh : node.meshes)
      if (objects && (inside || targetObjects.count(mesh.get())))
        out.push_back({Kind::Object, &mesh->name, &node, mesh->Path()});
    for (const auto& child : node.children)
      self(self, *child, inside);
  };
  walk(walk, document.Root(), false);
  return out;
}

// The materials of the targets' faces in document order, or every one with the whole scene.
std::vector<HostMaterial*> TargetMaterials(const PrepTargets& targets, HostDocument& document) {
  std::set<const HostMaterial*> used;
  if (!targets.wholeScene)
    for (const HostMesh* mesh : targets.AllObjects())
      for (size_t f = 0; f < mesh->FaceCount(); ++f)
        if (!mesh->FaceRemoved(f) && mesh->FaceMaterial(f)) used.insert(mesh->FaceMaterial(f));
  std::vector<HostMaterial*> out;
  for (const auto& m : document.Materials())
    if (targets.wholeScene || used.count(m.get())) out.push_back(m.get());
  return out;
}

// The names of the siblings of each changed item that do not change: what new names must not
// take. Keyed by kind and sibling set.
using Taken = std::map<std::pair<Kind, const void*>, std::set<std::string>>;

Taken NamesKept(HostDocument& document, const std::vector<Named>& items,
                const std::vector<bool>& changing) {
  std::set<const std::string*> changed;
  for (size_t i = 0; i < items.size(); ++i)
    if (changing[i]) changed.insert(items[i].name);
  std::set<std::pair<Kind, const void*>> sets;
  for (size_t i = 0; i < items.size(); ++i)
    if (changing[i]) sets.insert({items[i].kind, items[i].siblings});
  Taken taken;
  for (const auto& key : sets) {
    auto& names = taken[key];
    auto keep = [&](const std::string& name) {
      if (!changed.count(&name)) names.insert(name);
    };
    if (key.first == Kind::Material) {
      for (const auto& m : document.Materials())
        keep(m->name);
    } else {
      const auto& parent = *static_cast<const HostNode*>(key.second);
      if (key.first == Kind::Group)
        for (const auto& child : parent.children)
          keep(child->name);
      else
        for (const auto& mesh : parent.meshes)
          keep(mesh->name);
    }
  }
  return taken;
}

// A few examples of what changed, for the transcript: "a" → "b", "c" → "d" and 7 more.
std::string Examples(const std::vector<std::pair<std::string, std::string>>& changes) {
  constexpr size_t kShown = 3;
  std::string out;
  for (size_t i = 0; i < std::min(kShown, changes.size()); ++i)
    out +=
        std::string(i ? ", " : "") + Quoted(changes[i].first) + " → " + Quoted(changes[i].second);
  if (changes.size() > kShown) out += " and " + std::to_string(changes.size() - kShown) + " more";
  return out;
}

std::string KindCounts(const std::vector<Named>& items, const std::vector<bool>& changing) {
  size_t counts[3] = {};
  for (size_t i = 0; i < items.size(); ++i)
    if (changing[i]) ++counts[static_cast<int>(items[i].kind)];
  std::vector<std::string> parts;
  if (counts[0]) parts.push_back(Counted(counts[0], "group", "groups"));
  if (counts[1]) parts.push_back(Counted(counts[1], "object", "objects"));
  if (counts[2]) parts.push_back(Counted(counts[2], "material", "materials"));
  return Join(parts);
}

// ---- rename ----

void Rename(PrepContext& context) {
  const PrepArgs& args = context.args;
  if (args.Has("match") && args.Has("regex"))
    args.Refuse("regex", "give --match or --regex, not both");
  if (!args.Has("to"))
    throw PrepBadValue(
        "--to is needed: give the new names' template, such as --to \"{name}_{n:3}\"");
  const std::string items = args.Choice("items", {"groups", "objects", "all"}).value_or("all");
  const std::string match = args.Text("match").value_or("*");
  std::optional<std::regex> expression;
  if (const auto text = args.Text("regex")) {
    try {
      expression.emplace(*text, std::regex::ECMAScript);
    } catch (const std::regex_error& e) {
      args.Refuse("regex", std::string("not a regular expression (") + e.what() +
                               "); give an ECMAScript expression such as \"Wall_(\\d+)\"");
    }
  }
  const NameTemplate to(args, "to", expression ? static_cast<int>(expression->mark_count()) : -1);

  std::vector<Named> named =
      GroupsAndObjects(context.targets, context.document, items != "objects", items != "groups");
  // The name each item that fits would take, before the names are kept apart.
  std::vector<std::string> wanted(named.size());
  std::vector<bool> fits(named.size());
  long long n = 0;
  size_t tooLong = 0;
  for (size_t i = 0; i < named.size(); ++i) {
    const std::string& name = *named[i].name;
    std::vector<std::string> groups;
    if (expression && name.size() > kLongestMatched) {
      ++tooLong;
      continue;
    }
    if (expression) {
      std::smatch m;
      if (!std::regex_match(name, m, *expression)) continue;
      for (const auto& group : m)
        groups.push_back(group.str());
    } else if (!FitsWildcard(name, match)) {
      continue;
    }
    fits[i] = true;
    wanted[i] = to.Fill(name, ++n, groups);
    if (wanted[i].empty())
      args.Refuse("to", "it makes an empty name of \"" + named[i].path +
                            "\"; give a template that leaves some text");
    if (!text::IsUtf8(wanted[i]))
      args.Refuse("to", "the name it makes of \"" + named[i].path +
                            "\" is not UTF-8 text (an expression's group cuts a character "
                            "in two); match whole characters");
  }
  if (tooLong)
    context.warn(Counted(tooLong, "name", "names") + " longer than " +
                 std::to_string(kLongestMatched) +
                 " bytes kept as they are: --regex does not look at them (shorten them first, "
                 "or use --match)");
  if (n == 0) {
    const std::string what = items == "all" ? "group or object" : items.substr(0, items.size() - 1);
    throw PrepNothingToDo("no " + what + " name of the targets fits " +
                          (expression ? "--regex " + *args.Text("regex") : "--match " + match));
  }

  Taken taken = NamesKept(context.document, named, fits);
  std::vector<std::pair<std::string, std::string>> changes;
  std::vector<bool> changing(named.size());
  size_t endings = 0;
  for (size_t i = 0; i < named.size(); ++i) {
    if (!fits[i]) continue;
    auto& names = taken[{named[i].kind, named[i].siblings}];
    const std::string name = FreeName(wanted[i], names);
    endings += name != wanted[i];
    names.insert(name);
    if (name == *named[i].name) continue;
    changing[i] = true;
    changes.emplace_back(*named[i].name, name);
    wanted[i] = name;
  }
  if (changes.empty()) throw PrepNothingToDo("every name that fits is already as --to makes it");

  for (size_t i = 0; i < named.size(); ++i)
    if (changing[i]) *named[i].name = wanted[i];
  context.log << "renamed " << KindCounts(named, changing) << ": " << Examples(changes) << "\n";
  if (endings)
    context.log << Counted(endings, "name", "names")
                << " took an ending (\"_2\", \"_3\", ...) to differ from a sibling's\n";
}

// ---- shorten ----

// The name `start` shortened to `max` characters and ended in "~k" for the first k from 2 that
// no name in `taken` has; "" when `max` leaves no room for a character of the start.
std::string Numbered(const std::string& start, size_t max, const std::set<std::string>& taken) {
  for (int k = 2;; ++k) {
    const std::string ending = "~" + std::to_string(k);
    if (ending.size() >= max) return "";
    const std::string name = Start(start, max - ending.size()) + ending;
    if (!taken.count(name)) return name;
  }
}

void Shorten(PrepContext& context) {
  const PrepArgs& args = context.args;
  const auto limit = args.Whole("max", 1, 1000);
  if (!limit)
    throw PrepBadValue("--max is needed: give the longest name the format takes, in characters");
  const size_t max = static_cast<size_t>(*limit);
  const bool plain = args.Flag("plain");
  const std::string items =
      args.Choice("items", {"groups", "objects", "materials", "all"}).value_or("all");

  std::vector<Named> named;
  if (items != "materials")
    named =
        GroupsAndObjects(context.targets, context.document, items != "objects", items != "groups");
  if (items == "materials" || items == "all")
    for (HostMaterial* m : TargetMaterials(context.targets, context.document))
      named.push_back({Kind::Material, &m->name, &context.document, "material " + m->name});

  std::vector<std::string> wanted(named.size());
  std::vector<bool> changing(named.size());
  for (size_t i = 0; i < named.size(); ++i) {
    wanted[i] = Start(plain ? Plain(*named[i].name) : *named[i].name, max);
    changing[i] = wanted[i] != *named[i].name;
  }
  Taken taken = NamesKept(context.document, named, changing);
  std::vector<std::pair<std::string, std::string>> changes;
  size_t endings = 0;
  for (size_t i = 0; i < named.size(); ++i) {
    if (!changing[i]) continue;
    auto& names = taken[{named[i].kind, named[i].siblings}];
    if (names.count(wanted[i])) {
      const std::string numbered = Numbered(wanted[i], max, names);
      if (numbered.empty())
        args.Refuse("max", "too short to keep \"" + named[i].path +
                               "\" apart from a sibling of the same start; give a larger limit");
      wanted[i] = numbered;
      ++endings;
    }
    names.insert(wanted[i]);
    changes.emplace_back(*named[i].name, wanted[i]);
  }
  if (changes.empty())
    throw PrepNothingToDo("every name of the targets already has at most " +
                          Counted(max, "character", "characters") +
                          (plain ? " and only plain ones" : ""));

  const auto longest = std::max_element(changes.begin(), changes.end(), [](auto& a, auto& b) {
    return Length(a.first) < Length(b.first);
  });
  context.log << "changed the names of " << KindCounts(named, changing) << " to at most "
              << Counted(max, "character", "characters") << (plain ? ", plain" : "")
              << "; the longest, " << Quoted(longest->first) << " (" << Length(longest->first)
              << "), is now " << Quoted(longest->second) << " (" << Length(longest->second)
              << ")\n";
  if (endings)
    context.log << Counted(endings, "name", "names")
                << " took an ending (\"~2\", \"~3\", ...) to differ from a sibling's\n";
  for (size_t i = 0; i < named.size(); ++i)
    if (changing[i]) *named[i].name = wanted[i];
}

}  // namespace

// ---- shared helpers ----

NameTemplate::NameTemplate(const PrepArgs& args, std::string_view option, int groups) {
  const std::string text = args.Text(option).value_or("");
  auto bad = [&](const std::string& problem) {
    args.Refuse(option, problem + "; the fields are " + std::string(kFields) +
                            ", and {{ and }} write a brace");
  };
  std::string plainText;
  for (size_t at = 0; at < text.size(); ++at) {
    const char c = text[at];
    if (c == '}') {
      if (at + 1 < text.size() && text[at + 1] == '}') {
        plainText += '}';
        ++at;
        continue;
      }
      bad("a \"}\" closes no field");
    }
    if (c != '{') {
      plainText += c;
      continue;
    }
    if (at + 1 < text.size() && text[at + 1] == '{') {
      plainText += '{';
      ++at;
      continue;
    }
    const size_t close = text.find('}', at);
    if (close == std::string::npos) bad("a \"{\" is left open");
    const std::string field = text.substr(at + 1, close - at - 1);
    at = close;
    if (!plainText.empty()) parts_.push_back({Part::Text, std::exchange(plainText, ""), 0});
    if (field == "name") {
      parts_.push_back({Part::Name, "", 0});
    } else if (field == "n") {
      parts_.push_back({Part::Counter, "", 1});
      counts_ = true;
    } else if (field.starts_with("n:") && field.size() >= 3 && field.size() <= 4 &&
               std::all_of(field.begin() + 2, field.end(),
                           [](char d) { return d >= '0' && d <= '9'; }) &&
               std::stoi(field.substr(2)) >= 1 && std::stoi(field.substr(2)) <= 20) {
      parts_.push_back({Part::Counter, "", std::stoi(field.substr(2))});
      counts_ = true;
    } else if (field.size() == 1 && field[0] >= '1' && field[0] <= '9') {
      const int number = field[0] - '0';
      if (groups < 0) bad("{" + field + "} is a group of --regex, and no --regex is given");
      if (number > groups)
        bad("{" + field + "} names a group the expression does not have (it has " +
            std::to_string(groups) + ")");
      parts_.push_back({Part::Group, "", number});
    } else if (field.starts_with("n:")) {
      bad("{" + field + "} needs a width from 1 to 20 digits");
    } else {
      bad("{" + field + "} is no field");
    }
  }
  if (!plainText.empty()) parts_.push_back({Part::Text, plainText, 0});
}

std::string NameTemplate::Fill(const std::string& name, long long n,
                               const std::vector<std::string>& groups) const {
  std::string out;
  for (const Part& part : parts_) {
    switch (part.kind) {
      case Part::Text:
        out += part.text;
        break;
      case Part::Name:
        out += name;
        break;
      case Part::Counter: {
        const std::string digits = std::to_string(n);
        if (digits.size() < static_cast<size_t>(part.number))
          out.append(static_cast<size_t>(part.number) - digits.size(), '0');
        out += digits;
        break;
      }
      case Part::Group:
        if (static_cast<size_t>(part.number) < groups.size()) out += groups[part.number];
        break;
    }
  }
  return out;
}

bool FitsWildcard(const std::string& name, const std::string& pattern) {
  return name == pattern || ::fnmatch(pattern.c_str(), name.c_str(), 0) == 0;
}

std::string FreeName(const std::string& wanted, const std::set<std::string>& taken) {
  if (!taken.count(wanted)) return wanted;
  for (long long k = 2;; ++k) {
    std::string name = wanted + "_" + std::to_string(k);
    if (!taken.count(name)) return name;
  }
}

std::string Quoted(const std::string& name) {
  constexpr size_t kLongest = 40;
  if (Length(name) <= kLongest) return "\"" + name + "\"";
  return "\"" + Start(name, kLongest - 3) + "...\"";
}

PrepStepInfo RenameStep() {
  return {"rename",
          "renames groups and objects by a wildcard or a regular expression and a template",
          {{"match", "PATTERN",
            "the names to change: a shell wildcard on the whole name (\"*\" any text, \"?\" one "
            "character, \"[...]\" one of a set); default * (every name)"},
           {"regex", "RE",
            "the names to change: an ECMAScript regular expression matching the whole name, its "
            "groups given to --to as {1}..{9}; instead of --match"},
           {"to", "TEMPLATE",
            "the new name (required): {name} the old name, {n} a counter from 1 in scene order "
            "({n:3} zero-padded to 3 digits), {1}..{9} the --regex groups, {{ and }} a brace. A "
            "name a sibling of its kind already has takes \"_2\", \"_3\", ..."},
           {"items", "groups|objects|all",
            "which names change: the groups, the objects, or both (default all); the targets and "
            "everything below them, never the root group"}},
          Rename};
}

PrepStepInfo ShortenStep() {
  return {"shorten",
          "shortens names (and makes them plain) to what a format takes, keeping them unique",
          {{"max", "N",
            "the longest name kept, in characters (UTF-8 code points, 1 to 1000; required): "
            "longer names keep their start. A name a sibling then has too ends in \"~2\", "
            "\"~3\", ... within the limit"},
           {"plain", "",
            "also replace every character but ASCII letters, digits, '_', '-' and '.' by '_' "
            "(a run of them by one '_')"},
           {"items", "groups|objects|materials|all",
            "which names change (default all): the groups and objects at the targets and below "
            "them (never the root group), and the materials of their faces (with nothing "
            "selected, every material of the document)"}},
          Shorten};
}

}  // namespace vlm::host
