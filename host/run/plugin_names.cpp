#include "run/plugin_names.h"

#include <algorithm>
#include <numeric>

#include "vlm/component.h"
#include "vlm/error.h"
#include "vlm/registry.h"

namespace vlm::host {
namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<size_t> row(b.size() + 1);
  std::iota(row.begin(), row.end(), 0);
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

std::string Listed(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& n : names)
    out += (out.empty() ? "" : ", ") + n;
  return out;
}

}  // namespace

std::string ShortName(std::string_view progId) {
  size_t dot = progId.rfind('.');
  return Lower(dot == std::string_view::npos ? progId : progId.substr(dot + 1));
}

const PluginInput* InputOf(std::string_view progId) {
  // What each plug-in reads of the selection: Obverse the one group (or an object's group),
  // Glazier and Tether the first object (and its picked faces), Ridgepull and Shrink every
  // object, Flare only polygons, Motive only nodes; Stairwright and the exporters need
  // nothing picked.
  static const std::pair<std::string_view, PluginInput> known[] = {
      {"VLMPlugin9.Obverse",
       {"one group (group:PATH), or an object in the group to copy (object:PATH)", true, true, true,
        1, 1}},
      {"VLMPlugin9.Ridgepull",
       {"objects or some of their faces (object:PATH, faces:PATH:...)", false, true, true, 1, 0}},
      {"VLMPlugin9.Stairwright",
       {"nothing: it adds a new group at the root", false, false, false, 0, 0}},
      {"VLMPlugin9.Shrink",
       {"objects or some of their faces (object:PATH, faces:PATH:...)", false, true, true, 1, 0}},
      {"VLMOperation9.Flare", {"polygons of shapes (polygons:PATH:...)", false, false, true, 1, 0}},
      {"VLMPluginImportExport9.Wingform",
       {"the group to export (group:PATH), else the whole scene", true, false, false, 0, 1}},
      {"VLMPluginImportExport9.Trackline",
       {"the group to export (group:PATH), else the whole scene", true, false, false, 0, 1}},
      {"VLMPlugin9.Glazier",
       {"one object, whose materials it edits (object:PATH)", false, true, true, 1, 1}},
      {"VLMPlugin9.Tether",
       {"one object, or one face of it for a new mark (object:PATH, faces:PATH:i)", false, true,
        true, 1, 1}},
      {"VLMPlugin9.Motive", {"nodes of the scene graph (node:PATH)", true, false, false, 1, 0}},
  };
  for (const auto& [id, input] : known)
    if (id == progId) return &input;
  return nullptr;
}

std::string SelectionOf(std::string_view progId) {
  const PluginInput* input = InputOf(progId);
  return input ? std::string(input->text) : "";
}

std::vector<std::string> NearestNames(std::string_view word,
                                      const std::vector<std::string>& candidates, size_t count) {
  const std::string lower = Lower(word);
  std::vector<std::pair<size_t, std::string>> scored;
  for (const std::string& c : candidates) {
    const std::string other = Lower(c);
    size_t distance = EditDistance(lower, other);
    // A word that starts or ends the other way round is near too ("ridge" for "ridgepull").
    if (!lower.empty() && (other.starts_with(lower) || lower.starts_with(other)))
      distance = std::min(distance, size_t(1));
    // A slip: two letters wrong, or up to a third of the longer word.
    if (distance <= std::max<size_t>(2, std::max(lower.size(), other.size()) / 3))
      scored.emplace_back(distance, c);
  }
  std::stable_sort(scored.begin(), scored.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> out;
  for (const auto& [distance, name] : scored)
    if (out.size() < count && std::find(out.begin(), out.end(), name) == out.end())
      out.push_back(name);
  return out;
}

std::string ResolvePluginName(std::string_view name, const std::vector<std::string>& progIds) {
  for (const std::string& id : progIds)
    if (id == name) return id;
  const std::string lower = Lower(name);
  std::vector<std::string> byShortName;
  for (const std::string& id : progIds) {
    if (Lower(id) == lower) return id;
    if (ShortName(id) == lower) byShortName.push_back(id);
  }
  if (byShortName.size() == 1) return byShortName[0];
  if (byShortName.size() > 1)
    Raise(err::CannotCreateObject,
          "\"" + std::string(name) +
              "\" is the short name of several classes; name one: " + Listed(byShortName));
  std::string where = " in " + UserRegistryFile().string();
  if (progIds.empty())
    Raise(err::CannotCreateObject,
          "no class is registered as " + std::string(name) + where + " (nothing is registered)");
  std::vector<std::string> names;
  for (const std::string& id : progIds) {
    names.push_back(ShortName(id));
    names.push_back(id);
  }
  std::vector<std::string> near = NearestNames(name, names);
  Raise(err::CannotCreateObject, "no class is registered as " + std::string(name) + where +
                                     (near.empty() ? "; registered: " + Listed(progIds)
                                                   : "; did you mean " + Listed(near) + "?") +
                                     " (vlmhost list shows them all)");
}

std::string ResolvePluginName(std::string_view name) {
  std::vector<std::string> ids;
  for (const ClassRegistration& c : RegisteredClasses())
    ids.push_back(c.progId);
  return ResolvePluginName(name, ids);
}

}  // namespace vlm::host
