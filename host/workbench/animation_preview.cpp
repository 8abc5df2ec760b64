// An imported X-Plane object posed for dataref values (see animation_preview.h).
#include "workbench/animation_preview.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <tuple>
#include <unordered_set>

#include "exchange/obj8_import.h"
#include "scene/document.h"
#include "vlm/igs_parameters.h"
#include "vlm/text.h"

namespace vlm::workbench {
namespace {

// M in the scene's axes for M in OBJ8's: z mirrored on both sides (S M S), which changes the
// sign of every element that mixes z with x, y or the translation.
Mat4 Mirrored(const Mat4& m) {
  Mat4 r = m;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      if ((i == 2) != (j == 2)) r(i, j) = -m(i, j);
  return r;
}

// The inverse of an affine row-vector transform (a group's frame need not be orthonormal);
// the identity for one that has none.
Mat4 AffineInverse(const Mat4& m) {
  const double a = m(0, 0), b = m(0, 1), c = m(0, 2), d = m(1, 0), e = m(1, 1), f = m(1, 2),
               g = m(2, 0), h = m(2, 1), k = m(2, 2);
  const double det = a * (e * k - f * h) - b * (d * k - f * g) + c * (d * h - e * g);
  if (!(std::fabs(det) > 1e-30) || !std::isfinite(det)) return Mat4::Identity();
  const double inv[3][3] = {{(e * k - f * h) / det, (c * h - b * k) / det, (b * f - c * e) / det},
                            {(f * g - d * k) / det, (a * k - c * g) / det, (c * d - a * f) / det},
                            {(d * h - e * g) / det, (b * g - a * h) / det, (a * e - b * d) / det}};
  Mat4 r = Mat4::Identity();
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      r(i, j) = static_cast<float>(inv[i][j]);
  for (int j = 0; j < 3; ++j)
    r(3, j) =
        static_cast<float>(-(m(3, 0) * inv[0][j] + m(3, 1) * inv[1][j] + m(3, 2) * inv[2][j]));
  return r;
}

bool ReadNumber(std::string_view word, double& value) {
  const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
  return ec == std::errc() && end == word.data() + word.size() && std::isfinite(value);
}

// The numbers at `at`, `at + 1` and `at + 2` of a line's words.
std::optional<Vec3> Triple(const obj8::Line& line, int at) {
  if (at < 0 || static_cast<size_t>(at) + 3 > line.words.size()) return std::nullopt;
  double v[3];
  for (size_t i = 0; i < 3; ++i)
    if (!ReadNumber(line.words[static_cast<size_t>(at) + i], v[i])) return std::nullopt;
  return Vec3{static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2])};
}

// A light's colour as given (VLIGHT, LIGHT_CUSTOM, LIGHT_SPILL_CUSTOM), held to 0..1; one too
// dark to see (or a special value X-Plane reads otherwise) in the named lights' colour.
Vec3 LightColour(std::optional<Vec3> given) {
  if (!given) return kNamedLightColour;
  const Vec3 c{std::clamp(given->x, 0.0f, 1.0f), std::clamp(given->y, 0.0f, 1.0f),
               std::clamp(given->z, 0.0f, 1.0f)};
  return std::max({c.x, c.y, c.z}) < 0.1f ? kNamedLightColour : c;
}

// Widens the span of `dataref` (added when new) to hold `value`.
void Widen(std::vector<DatarefSpan>& spans, const std::string& dataref, double value) {
  if (dataref == "none" || dataref == "no_ref" || !std::isfinite(value)) return;
  auto it = std::find_if(spans.begin(), spans.end(),
                         [&](const DatarefSpan& s) { return s.name == dataref; });
  if (it == spans.end()) {
    spans.push_back({dataref, 0, 0});
    it = spans.end() - 1;
  }
  it->low = std::min(it->low, value);
  it->high = std::max(it->high, value);
}

// The values the lines name for each dataref: keys, the two values of a two-value line, the
// ends of a show or hide range, a loop.
void Spans(const std::vector<obj8::Line>& lines, std::vector<DatarefSpan>& spans) {
  std::string table;  // the dataref of the keyed table open
  for (const obj8::Line& line : lines) {
    const std::string& k = line.keyword;
    const auto& w = line.words;
    const auto widen = [&](const std::string& dataref, size_t at) {
      double value = 0;
      if (at < w.size() && ReadNumber(w[at], value)) Widen(spans, dataref, value);
    };
    if (k == "ANIM_trans" && w.size() > 8) {
      widen(w[8], 6), widen(w[8], 7);
    } else if (k == "ANIM_rotate" && w.size() > 7) {
      widen(w[7], 5), widen(w[7], 6);
    } else if (k == "ANIM_trans_begin" && !w.empty()) {
      table = w[0];
    } else if (k == "ANIM_rotate_begin" && w.size() > 3) {
      table = w[3];
    } else if ((k == "ANIM_trans_key" || k == "ANIM_rotate_key" || k == "ANIM_keyframe_loop") &&
               !table.empty()) {
      widen(table, 0);
    } else if ((k == "ANIM_hide" || k == "ANIM_show") && w.size() > 2) {
      widen(w[2], 0), widen(w[2], 1);
    }
  }
  // Every dataref the lines read has a span, 0 to 1 when they name no other value.
  for (const std::string& dataref : obj8::Datarefs(lines))
    Widen(spans, dataref, 0);
  for (DatarefSpan& span : spans)
    if (!(span.high > span.low)) span.high = span.low + 1;
}

// "LOD 0-1000", "LOD 0.5-300" as the import names its level groups.
std::optional<std::pair<double, double>> LevelRange(const std::string& name) {
  if (!name.starts_with("LOD ")) return std::nullopt;
  const std::string_view range = std::string_view(name).substr(4);
  const size_t dash = range.find('-', 1);
  double nearDistance = 0, farDistance = 0;
  if (dash == std::string_view::npos || !ReadNumber(range.substr(0, dash), nearDistance) ||
      !ReadNumber(range.substr(dash + 1), farDistance) || !(nearDistance < farDistance))
    return std::nullopt;
  return std::pair{nearDistance, farDistance};
}

void EachNode(const host::HostNode& node, const std::function<void(const host::HostNode&)>& f) {
  f(node);
  for (const auto& child : node.children)
    EachNode(*child, f);
}

void EachMesh(const host::HostNode& node, const std::function<void(const host::HostMesh&)>& f) {
  for (const auto& mesh : node.meshes)
    f(*mesh);
  for (const auto& child : node.children)
    EachMesh(*child, f);
}

}  // namespace

AnimationPreview::AnimationPreview(const host::HostDocument& document) : root_(&document.Root()) {
  const int32_t slot = document.FindNodeField(host::kObj8Field);
  if (slot >= 0) Collect(document.Root(), slot);
  CollectLevels(document);
}

void AnimationPreview::Collect(const host::HostNode& node, int32_t slot) {
  const auto field = node.fields.find(slot);
  if (field != node.fields.end()) {
    const std::vector<obj8::Line> lines = obj8::ParseLines(field->second);
    const bool animation =
        !lines.empty() && std::all_of(lines.begin(), lines.end(), [](const obj8::Line& l) {
          return obj8::FamilyOf(l.keyword) == obj8::Family::Anim;
        });
    if (animation) {
      std::string problem;
      if (const std::optional<Mat4> rest = obj8::RestTransform(lines, &problem)) {
        groups_.push_back({&node, lines, AffineInverse(*rest)});
        Spans(lines, datarefs_);
      } else {
        problems_.push_back(node.name + ": " + problem);
      }
    } else if (!lines.empty()) {
      const std::string& k = lines.front().keyword;
      const auto add = [&](std::optional<Vec3> position, std::optional<Vec3> colour) {
        if (position)
          lights_.push_back({&node, {position->x, position->y, -position->z}, LightColour(colour)});
      };
      if (k == "LIGHTS") {
        for (const obj8::Line& line : lines)
          if (line.keyword == "VLIGHT") add(Triple(line, 0), Triple(line, 3));
      } else if (k == "LIGHT_NAMED" || k == "LIGHT_PARAM") {
        add(Triple(lines.front(), obj8::PlacesOf(k).position), std::nullopt);
      } else if (k == "LIGHT_CUSTOM" || k == "LIGHT_SPILL_CUSTOM") {
        add(Triple(lines.front(), obj8::PlacesOf(k).position), Triple(lines.front(), 3));
      }
    }
  }
  for (const auto& child : node.children)
    Collect(*child, slot);
}

void AnimationPreview::CollectLevels(const host::HostDocument& document) {
  EachNode(document.Root(), [&](const host::HostNode& node) {
    if (const auto range = LevelRange(node.name))
      levels_.push_back({&node, range->first, range->second});
  });
  if (levels_.empty()) {
    // The exporters' Custom LOD level nodes: a top group `Body` and top groups named after it,
    // one separator and a whole number of metres, each seen from its number on.
    const auto& top = document.Root().children;
    // The top groups' names in lower case, sorted: the names that start with a group's name
    // are one run of them, found without comparing every pair (a scene of 100,000 groups).
    std::vector<std::pair<std::string, size_t>> names;
    names.reserve(top.size());
    for (size_t i = 0; i < top.size(); ++i)
      names.emplace_back(ToLower(top[i]->name), i);
    std::sort(names.begin(), names.end());
    std::unordered_set<std::string> tried;  // names already looked for: none had levels
    for (const auto& chosen : top) {
      const std::string prefix = ToLower(chosen->name);
      if (!tried.insert(prefix).second) continue;
      // By number, then in the order of the scene; the names equal to the prefix come first in
      // the run, and are passed over at once.
      std::vector<std::tuple<double, size_t, const host::HostNode*>> numbered;
      for (auto at = std::upper_bound(names.begin(), names.end(),
                                      std::pair(prefix, std::numeric_limits<size_t>::max()));
           at != names.end() && at->first.starts_with(prefix); ++at) {
        const host::HostNode* other = top[at->second].get();
        const std::string& name = at->first;
        if (other == chosen.get() || name.size() <= prefix.size() + 1) continue;
        const std::optional<double> number = igs::NumberIn(name.substr(prefix.size() + 1));
        if (number && *number >= 1 && *number == std::floor(*number))
          numbered.emplace_back(*number, at->second, other);
      }
      std::sort(numbered.begin(), numbered.end());
      std::vector<std::pair<double, const host::HostNode*>> found;
      for (const auto& [number, index, node] : numbered)
        found.emplace_back(number, node);
      if (found.empty()) continue;
      levels_.push_back({chosen.get(), 0, found.front().first});
      for (size_t i = 0; i < found.size(); ++i)
        levels_.push_back(
            {found[i].second, found[i].first,
             i + 1 < found.size() ? found[i + 1].first : std::numeric_limits<double>::infinity()});
      break;
    }
  }
  std::stable_sort(levels_.begin(), levels_.end(), [](const auto& a, const auto& b) {
    return std::pair(a.nearDistance, a.farDistance) < std::pair(b.nearDistance, b.farDistance);
  });
}

std::vector<AnimationPreview::GroupPose> AnimationPreview::Groups(
    const DatarefValues& values) const {
  const obj8::DatarefValue value = [&](const std::string& dataref) {
    const auto it = values.find(dataref);
    return it == values.end() ? 0.0 : it->second;
  };
  std::vector<GroupPose> out;
  for (const Group& group : groups_) {
    GroupPose pose{group.node, Mat4::Identity(), true};
    // The lines were read once already: they read again.
    if (const std::optional<obj8::Pose> at = obj8::PoseAt(group.lines, value, nullptr)) {
      pose.motion = Mirrored(Multiply(group.restInverse, at->transform));
      pose.shown = at->shown;
    }
    out.push_back(pose);
  }
  return out;
}

ScenePose AnimationPreview::Pose(const DatarefValues& values,
                                 std::optional<double> distance) const {
  ScenePose pose;
  if (!root_) return pose;
  std::unordered_map<const host::HostNode*, const GroupPose*> animated;
  const std::vector<GroupPose> groups = Groups(values);
  for (const GroupPose& group : groups)
    animated.emplace(group.node, &group);
  std::unordered_set<const host::HostNode*> levelHidden;
  if (distance)
    for (const LevelOfDetail& level : levels_)
      if (!(*distance >= level.nearDistance && *distance < level.farDistance))
        levelHidden.insert(level.node);
  // Each group's frame where the document puts it and where it is drawn now, down the tree.
  std::unordered_map<const host::HostNode*, Mat4> drawnFrame;
  std::unordered_set<const host::HostNode*> hiddenNode;
  const std::function<void(const host::HostNode&, const Mat4&, const Mat4&, bool, bool)> walk =
      [&](const host::HostNode& node, const Mat4& restParent, const Mat4& drawnParent, bool moving,
          bool hidden) {
        const Mat4 local = node.LocalMatrix();
        const Mat4 rest = Multiply(local, restParent);
        Mat4 drawn = Multiply(local, drawnParent);
        const auto group = animated.find(&node);
        if (group != animated.end()) {
          drawn = Multiply(Multiply(local, group->second->motion), drawnParent);
          moving = true;
          hidden = hidden || !group->second->shown;
        }
        hidden = hidden || levelHidden.contains(&node);
        drawnFrame.emplace(&node, drawn);
        if (hidden) hiddenNode.insert(&node);
        if (moving && !node.meshes.empty()) {
          const Mat4 motion = Multiply(AffineInverse(rest), drawn);
          for (const auto& mesh : node.meshes)
            pose.moved.emplace(mesh.get(), motion);
        }
        if (hidden) EachMesh(node, [&](const host::HostMesh& mesh) { pose.hidden.insert(&mesh); });
        for (const auto& child : node.children)
          walk(*child, rest, drawn, moving, hidden);
      };
  walk(*root_, Mat4::Identity(), Mat4::Identity(), false, false);
  for (const Light& light : lights_) {
    const auto frame = drawnFrame.find(light.node);
    if (frame == drawnFrame.end() || hiddenNode.contains(light.node)) continue;
    pose.lights.push_back({TransformPoint(light.position, frame->second), light.colour});
  }
  return pose;
}

}  // namespace vlm::workbench
