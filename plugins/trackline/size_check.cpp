// Trackline's size check before a build, and its warnings about shapes left out.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "trackline/trackline_export.h"
#include "vlm/warnings.h"

namespace vlm::trackline {

std::vector<Shape*> TracklineExport::exportedShapes(Node& node, int32_t distance) {
  std::vector<Shape*> exported;
  ShapeCollection* shapes = node.Shapes();
  for (int32_t i = 0; i < shapes->Count(); ++i) {
    Shape& shape = *shapes->Item(i);
    if (shape.ShapeKind() != ShapeKindPolygonMesh) continue;
    if (lodMode_ == lodType::Auto) {
      const std::optional<ShapeSize> size = SizeAt(shape, distance);
      if (size && !size->Visible()) continue;
    }
    if (untexturedMaterial(MaterialsOf(shape)) == 0) exported.push_back(&shape);
  }
  return exported;
}

void TracklineExport::checkSize(Node& chosen) {
  // The walks a press makes: a node and the distance it is seen from.
  std::vector<std::pair<Node*, int32_t>> walks;
  if (lodMode_ == lodType::Auto) {
    for (const int32_t distance : AutomaticLevels)
      walks.emplace_back(&chosen, distance);
  } else if (lodMode_ == lodType::Custom) {
    const std::vector<LevelNode> levels = customLevels(chosen);
    for (size_t k = 0; k < levels.size(); ++k)
      walks.emplace_back(levels[k].node,
                         k + 1 < levels.size() ? levels[k + 1].number : FarthestLevel);
  } else {
    walks.emplace_back(&chosen, FarthestLevel);
  }
  // Each triangle is a record of its own; each mesh has a vertex for every distinct point its
  // triangles use, at least. A first count takes a shape's positions (or three per triangle)
  // for its points; only a scene that count puts over the limit has its points told apart by
  // where they lie, which no more vertices can share.
  constexpr int64_t Most = std::numeric_limits<int32_t>::max();
  int64_t triangles = 0, points = 0;
  auto size = [&] {
    return int64_t{igs::HeaderSize} + int64_t{igs::TriangleSize} * triangles +
           int64_t{igs::VertexSize} * points;
  };
  for (const bool distinct : {false, true}) {
    triangles = points = 0;
    std::function<void(Node&, int32_t)> walk = [&](Node& node, int32_t distance) {
      NodeCollection* children = node.Children();
      for (int32_t i = 0; i < children->Count(); ++i)
        walk(*children->Item(i), distance);
      // The mesh's points by a hash of their bits, -0 made +0: a collision only lowers the
      // count.
      std::vector<uint64_t> seen;
      for (Shape* shape : exportedShapes(node, distance)) {
        // The triangles the build takes later, counted without making them; only the second
        // count makes them, to find the points they use.
        const int64_t shapeTriangles = shape->TriangleCount();
        triangles += shapeTriangles;
        if (!distinct) {
          points += std::min<int64_t>(shape->VertexCount(), 3 * shapeTriangles);
          continue;
        }
        const TriangleData data = shape->GetTriangleData();
        std::vector<bool> used(static_cast<size_t>(shape->VertexCount()));
        for (size_t t = 0; t < data.triangles.size(); ++t)
          for (const TriangleCorner& corner : data.triangles[t].corners)
            if (const int32_t at = corner.position; at >= 0 && size_t(at) < used.size())
              used[static_cast<size_t>(at)] = true;
        for (size_t at = 0; at < used.size(); ++at) {
          if (!used[at]) continue;
          const Vec3 p = shape->GetPosition(static_cast<int32_t>(at)) * unitScale_;
          uint64_t key = 0;
          for (const float c : {p.x, p.y, p.z})
            key = key * 0x9E3779B97F4A7C15ull + std::bit_cast<uint32_t>(c == 0 ? 0.0f : c);
          seen.push_back(key);
        }
      }
      std::sort(seen.begin(), seen.end());
      points += std::unique(seen.begin(), seen.end()) - seen.begin();
    };
    for (const auto& [node, distance] : walks)
      walk(*node, distance);
    if (size() <= Most) return;
  }
  throw ExportStopped(err::Overflow,
                      "The file would be at least " + std::to_string(size()) + " bytes long (" +
                          std::to_string(triangles) + " triangles and at least " +
                          std::to_string(points) + " vertices in " + std::to_string(walks.size()) +
                          (walks.size() == 1 ? " level" : " levels") +
                          "); its 32-bit offsets reach " + std::to_string(Most) + " at most.");
}

void TracklineExport::leftOut(Shape& shape, const std::string& line) {
  Log(line);
  // The automatic levels walk the tree three times: each shape is warned about once.
  if (std::find(leftOut_.begin(), leftOut_.end(), &shape) != leftOut_.end()) return;
  leftOut_.push_back(&shape);
  if (leftOut_.size() <= NamedLeftOut)
    Warn(line + " Give the export a default texture (txtDefTex) to keep it.");
}

void TracklineExport::reportTooSmall(const Gathering& gathering) {
  std::vector<std::string> names = std::exchange(tooSmall_, {});
  if (names.empty()) return;
  // Name the first few; a scene of thousands of small parts gets one line, not thousands.
  constexpr size_t Named = 5;
  std::string list;
  for (size_t i = 0; i < names.size() && i < Named; ++i)
    list += (i ? ", " : "") + names[i];
  if (names.size() > Named) list += " and " + std::to_string(names.size() - Named) + " more";
  const std::string line =
      std::to_string(names.size()) + (names.size() == 1 ? " shape is" : " shapes are") +
      " too small to be seen from " + std::to_string(gathering.distance) +
      " m - excluded from level " + std::to_string(gathering.level) + ": " + list + ".";
  Log(line);
  Warn("automatic levels of detail: " + line);
}

}  // namespace vlm::trackline
