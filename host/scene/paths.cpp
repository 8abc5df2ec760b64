#include "scene/paths.h"

#include <charconv>
#include <map>
#include <utility>

#include "scene/document.h"

namespace vlm::host {

std::string PathSegment(std::string_view name, int32_t ordinal) {
  std::string out;
  for (char c : name) {
    if (c == '/' || c == '\\' || c == '[') out += '\\';
    out += c;
  }
  if (ordinal > 1 || name.empty()) out += "[" + std::to_string(ordinal) + "]";
  return out;
}

namespace {

std::string JoinNames(const std::vector<std::string>& names) {
  std::string out;
  for (const auto& n : names)
    out += (out.empty() ? "" : ", ") + ("\"" + n + "\"");
  return out;
}

// One step of a path as read: the name, which of the siblings of that name it is (from 1),
// and the step as written, for messages.
struct Step {
  std::string name;
  int32_t ordinal = 1;
  bool numbered = false;  // the step ended in "[n]"
  std::string literal;    // the whole step taken as a name, "[n]" and all
  std::string written;
};

std::vector<Step> SplitPath(std::string_view path) {
  std::vector<Step> steps;
  if (path.empty()) return steps;
  Step step;
  size_t bracket = std::string::npos;  // where the last "[" not escaped went into the name
  auto finish = [&] {
    step.literal = step.name;
    const std::string& n = step.name;
    if (bracket != std::string::npos && n.size() >= bracket + 3 && n.back() == ']') {
      const char* first = n.data() + bracket + 1;
      const char* last = n.data() + n.size() - 1;
      int32_t value = 0;
      auto [end, ec] = std::from_chars(first, last, value);
      if (ec == std::errc() && end == last && value >= 1) {
        step.ordinal = value;
        step.numbered = true;
        step.name.resize(bracket);
      }
    }
    steps.push_back(std::move(step));
    step = {};
    bracket = std::string::npos;
  };
  for (size_t i = 0; i < path.size(); ++i) {
    char c = path[i];
    if (c == '/') {
      finish();
      continue;
    }
    step.written += c;
    bool escape = c == '\\' && i + 1 < path.size() &&
                  (path[i + 1] == '/' || path[i + 1] == '\\' || path[i + 1] == '[');
    if (escape) {
      c = path[++i];
      step.written += c;
    } else if (c == '[') {
      bracket = step.name.size();
    }
    step.name += c;
  }
  finish();
  return steps;
}

template <class T>
T* FindSibling(const std::vector<std::unique_ptr<T>>& siblings, const Step& step) {
  int32_t seen = 0;
  for (const auto& s : siblings)
    if (s->name == step.name && ++seen == step.ordinal) return s.get();
  // A name that itself ends in "[n]", as paths held it before "[" was escaped.
  if (step.numbered)
    for (const auto& s : siblings)
      if (s->name == step.literal) return s.get();
  return nullptr;
}

// The siblings as a path names them.
template <class T>
std::string SiblingSteps(const std::vector<std::unique_ptr<T>>& siblings) {
  std::vector<std::string> names;
  std::map<std::string, int32_t> seen;
  for (const auto& s : siblings)
    names.push_back(PathSegment(s->name, ++seen[s->name]));
  return JoinNames(names);
}

std::string Describe(const HostNode& node) {
  return node.parent ? "group \"" + node.Path() + "\"" : "the root";
}

// The group the first `count` steps lead to from `root`.
template <class NodeT>
NodeT* Walk(NodeT& root, const std::vector<Step>& steps, size_t count, std::string* problem) {
  NodeT* node = &root;
  for (size_t i = 0; i < count; ++i) {
    NodeT* next = FindSibling(node->children, steps[i]);
    if (!next) {
      if (problem)
        *problem = "no group \"" + steps[i].written + "\" in " + Describe(*node) +
                   (node->children.empty() ? " (it has no groups)"
                                           : "; its groups: " + SiblingSteps(node->children));
      return nullptr;
    }
    node = next;
  }
  return node;
}

template <class NodeT>
HostMesh* FindMeshIn(NodeT& root, std::string_view path, std::string* problem) {
  std::vector<Step> steps = SplitPath(path);
  if (steps.empty()) steps.emplace_back();  // "": the object of the root without a name
  NodeT* node = Walk(root, steps, steps.size() - 1, problem);
  if (!node) return nullptr;
  if (HostMesh* mesh = FindSibling(node->meshes, steps.back())) return mesh;
  if (problem)
    *problem = "no object \"" + steps.back().written + "\" in " + Describe(*node) +
               (node->meshes.empty() ? " (it has no objects)"
                                     : "; its objects: " + SiblingSteps(node->meshes));
  return nullptr;
}

}  // namespace

HostNode* HostDocument::FindGroup(std::string_view path, std::string* problem) {
  std::vector<Step> steps = SplitPath(path);
  return Walk(*root_, steps, steps.size(), problem);
}

const HostNode* HostDocument::FindGroup(std::string_view path, std::string* problem) const {
  std::vector<Step> steps = SplitPath(path);
  return Walk(std::as_const(*root_), steps, steps.size(), problem);
}

HostMesh* HostDocument::FindMesh(std::string_view path, std::string* problem) {
  return FindMeshIn(*root_, path, problem);
}

const HostMesh* HostDocument::FindMesh(std::string_view path, std::string* problem) const {
  return FindMeshIn(std::as_const(*root_), path, problem);
}

}  // namespace vlm::host
