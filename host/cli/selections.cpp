// --select: the selection a run starts from, written as kind:PATH[:i,j,...].
#include "cli/selections.h"

#include <charconv>
#include <string_view>

#include "scene/document.h"
#include "vlm/error.h"
#include "vlm/text.h"
#include "vlm/warnings.h"

namespace vlm::host {
namespace {

// One --select argument taken apart.
struct Selection {
  std::string text;  // as given, for messages
  std::string kind;
  std::string path;
  std::vector<int32_t> indices;  // faces: and polygons: only
};

std::string Kinds() {
  return "group:, object:, faces:, node:, shape:, polygons:";
}

[[noreturn]] void RaiseBadSelection(const std::string& selection, const std::string& problem) {
  Raise(err::InvalidProcedureCall, "selection \"" + selection + "\"" + problem);
}

int32_t ParseIndex(std::string_view item, const std::string& selection) {
  int32_t value = 0;
  auto [end, ec] = std::from_chars(item.data(), item.data() + item.size(), value);
  if (item.empty() || ec != std::errc() || end != item.data() + item.size() || value < 0)
    RaiseBadSelection(selection,
                      ": \"" + std::string(item) + "\" is not an index (indices are 0, 1, 2, ...)");
  return value;
}

// "0, 2,5" as 0, 2, 5.
std::vector<int32_t> ParseIndices(std::string_view text, const std::string& selection) {
  std::vector<int32_t> out;
  while (!text.empty()) {
    size_t comma = text.find(',');
    out.push_back(ParseIndex(TrimAny(text.substr(0, comma), " "), selection));
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  if (out.empty()) RaiseBadSelection(selection, " lists no indices");
  return out;
}

Selection ParseSelection(const std::string& text) {
  size_t colon = text.find(':');
  if (colon == std::string::npos) RaiseBadSelection(text, " has no kind; use one of " + Kinds());
  Selection s{text, text.substr(0, colon), text.substr(colon + 1), {}};
  if (s.kind == "faces" || s.kind == "polygons") {
    size_t last = s.path.rfind(':');
    if (last == std::string::npos)
      RaiseBadSelection(text, " needs indices: " + s.kind + ":PATH:0,1,...");
    s.indices = ParseIndices(std::string_view(s.path).substr(last + 1), text);
    s.path = s.path.substr(0, last);
  }
  return s;
}

void SelectGroup(HostDocument& document, const Selection& s) {
  std::string problem;
  HostNode* node = document.FindGroup(s.path, &problem);
  if (!node) RaiseBadSelection(s.text, ": " + problem);
  if (s.kind == "group")
    document.scriptingSelection.groups.push_back(node);
  else
    document.graphSelection.nodes.push_back(node);
}

void CheckFacesExist(const HostMesh& mesh, const Selection& s) {
  for (int32_t i : s.indices)
    if (static_cast<size_t>(i) >= mesh.FaceCount())
      RaiseBadSelection(s.text, ": face " + std::to_string(i) + " is outside 0.." +
                                    std::to_string(static_cast<int>(mesh.FaceCount()) - 1) +
                                    " of \"" + s.path + "\"");
}

void SelectMesh(HostDocument& document, const Selection& s) {
  std::string problem;
  HostMesh* mesh = document.FindMesh(s.path, &problem);
  if (!mesh) RaiseBadSelection(s.text, ": " + problem);
  CheckFacesExist(*mesh, s);
  std::vector<int32_t> repeats = s.kind == "object"  ? document.SelectObject(*mesh, 0, {})
                                 : s.kind == "faces" ? document.SelectObject(*mesh, 1, s.indices)
                                                     : document.SelectShape(*mesh, s.indices);
  // A tool would work twice on a face listed twice.
  for (int32_t i : repeats)
    Warn("selection \"" + s.text + "\": " + (s.kind == "faces" ? "face " : "polygon ") +
         std::to_string(i) + " is listed more than once; it is selected once");
}

}  // namespace

void ApplySelections(HostDocument& document, const std::vector<std::string>& selections) {
  if (selections.empty()) return;
  document.ClearSelection();
  for (const std::string& text : selections) {
    Selection s = ParseSelection(text);
    if (s.kind == "group" || s.kind == "node")
      SelectGroup(document, s);
    else if (s.kind == "object" || s.kind == "faces" || s.kind == "shape" || s.kind == "polygons")
      SelectMesh(document, s);
    else
      RaiseBadSelection(text, ": unknown kind \"" + s.kind + "\"; use one of " + Kinds());
  }
}

}  // namespace vlm::host
