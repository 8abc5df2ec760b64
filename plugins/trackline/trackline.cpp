#include "trackline/trackline.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <functional>
#include <iterator>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <utility>

#include "trackline/igs_file.h"
#include "trackline/material_table.h"
#include "trackline/texts.h"
#include "trackline/vertex_index.h"
#include "vlm/export_support.h"
#include "vlm/files.h"
#include "vlm/forms.h"
#include "vlm/model.h"
#include "vlm/progress.h"
#include "vlm/refusal.h"
#include "vlm/text.h"
#include "vlm/warnings.h"

namespace vlm {
namespace {

using igs::Contains;
using igs::ExportStopped;

template <class T>
const T& Item(const std::vector<T>& items, int32_t index) {
  if (index < 0 || static_cast<size_t>(index) >= items.size()) Raise(err::SubscriptOutOfRange);
  return items[static_cast<size_t>(index)];
}

// A shape's materials, asked for once: the host may work each one out anew.
std::vector<GraphMaterial*> MaterialsOf(Shape& shape) {
  std::vector<GraphMaterial*> materials(static_cast<size_t>(shape.MaterialCount()));
  for (size_t k = 0; k < materials.size(); ++k)
    materials[k] = shape.Material(static_cast<int32_t>(k));
  return materials;
}

// The unit normal (p0 - p2) x (p1 - p0), or (0, 0, 0) for a degenerate triangle. Floats
// give it for ordinary sizes; where their cross product or its length would overflow or
// vanish (edges near 1e19 or 1e-19) it is taken again in doubles.
Vec3 FaceNormal(Vec3 p0, Vec3 p1, Vec3 p2) {
  const Vec3 c = Cross(p0 - p2, p1 - p0);
  if (c.x == 0 && c.y == 0 && c.z == 0) return c;
  const Vec3 n = Normalize(c);
  if (std::isfinite(n.x) && std::isfinite(n.y) && std::isfinite(n.z) &&
      (n.x != 0 || n.y != 0 || n.z != 0))
    return n;
  const double ax = double{p0.x} - p2.x, ay = double{p0.y} - p2.y, az = double{p0.z} - p2.z;
  const double bx = double{p1.x} - p0.x, by = double{p1.y} - p0.y, bz = double{p1.z} - p0.z;
  const double x = ay * bz - az * by, y = az * bx - ax * bz, z = ax * by - ay * bx;
  const double length = std::sqrt(x * x + y * y + z * z);
  if (!(length > 0) || !std::isfinite(length)) return {};
  return {static_cast<float>(x / length), static_cast<float>(y / length),
          static_cast<float>(z / length)};
}

// The distances of the levels of detail, in metres: the automatic levels, and the last
// level of the other modes.
constexpr int32_t AutomaticLevels[] = {100, 400, 1000};
constexpr int32_t FarthestLevel = 1000;
// A shape is too small to be seen from d metres when two of its extents are below d / 1200.
constexpr ExportSession::SizeLimit ShapeSizeLimit{1200.0f};
// The distance every block's one mesh reference is shown up to, in metres.
constexpr float MeshRefDistance = 700.0f;
// How a triangle stands in a fan of triangles that share its first corner.
constexpr int32_t FanStart = 1, FanMiddle = 5, FanEnd = 4;
// The row-vector transform's translation: elements 12 to 14.
constexpr size_t TranslationStart = 12, TranslationEnd = 15;
// Shapes left out one by one are warned about up to this many; the rest are counted.
constexpr size_t NamedLeftOut = 20;
// A block that groups children of a node with more than a block lists is named after the
// node's block, this character and its number: 1_1000_Rack#1.
constexpr char GroupingMark = '#';
// A shortened block name ends in this character and a number: 1_1000_Stairs~1.
constexpr char ShortMark = '~';

// One export of Trackline: the dialog, the texts' custom fields and, for each press, the
// material table, the file's records and the vertex index.
class TracklineExport final : public ExportSession {
 public:
  TracklineExport(const std::string& fileName, Node* exportGroup, vlm::SceneGraph& sceneGraph);

 private:
  struct LevelNode {
    Node* node;
    int32_t number;  // the number after the chosen node's name; 0 for the chosen node
  };
  // The walk of the node tree for one level of detail, and what every walk of a press
  // gathered.
  struct Gathering {
    int32_t level = 0;
    int32_t distance = 0;
    int32_t blockCount = 0;  // blocks added by every walk so far
  };

  void readOptions() override;
  void exportMain(Node& chosen) override;
  // A limit of the format or a text that cannot be read: said in the log, nothing written,
  // and the dialog stays open so the user can mend the scene and run again. Other errors
  // end the export.
  bool reported(const Error& error) override;
  // The chosen node first, then the root's nodes named after it with a number, by number.
  std::vector<LevelNode> customLevels(Node& chosen);
  // Adds `node` and its subtree under `parent` for the walk's level; true when it has
  // geometry.
  bool collect(Node& node, selGroup& parent, Gathering& gathering);
  // The shapes of `node` a walk for `distance` exports, as collect takes them (quietly).
  std::vector<Shape*> exportedShapes(Node& node, int32_t distance);
  // Refuses a press whose file could not fit the format's 32-bit offsets, from the triangles
  // and points the scene holds, before anything is built.
  void checkSize(Node& chosen);
  // The first of a shape's materials without a usable texture (1-based), or 0 when all have
  // one or the dialog gives a default texture.
  int32_t untexturedMaterial(const std::vector<GraphMaterial*>& materials) const;
  // Logs a shape left out, and warns about it once a press (the first NamedLeftOut shapes).
  void leftOut(Shape& shape, const std::string& line);
  // Logs and warns once about the shapes a level of the automatic mode found too small.
  void reportTooSmall(const Gathering& gathering);
  // Puts the children of every record with more than a block lists under grouping records
  // (runs of MaxChildren each, grouped again while there are more runs than that); returns
  // how many grouping records were added.
  int32_t groupChildren(selGroup& record);
  // The block names over the field's length shortened, when the dialog says so.
  void shortenNames(selGroup& root);
  std::string baseName(Node& node);
  std::string blockName(const std::string& base, int32_t level, int32_t distance) const;
  // Builds the block of `record` at `index` (its mesh has the same index), then its
  // children's blocks depth first; returns the index after the last block built.
  igs::RecordIndex buildBlock(selGroup& record, igs::RecordIndex index, igs::RecordIndex parent);
  // Builds the records of the merged shape's mesh, letting the shape go once its triangles
  // are taken.
  void buildMesh(std::unique_ptr<Shape>& shape, const std::string& block, igs::MeshRecords& out);

  // The meshes of a press shared between levels: a level that shows the same shapes of a node
  // as an earlier level repeats that level's mesh, which is merged and built once.
  struct SharedMeshes {
    // The first block of each node and shapes (their places among the node's shapes).
    std::map<std::pair<Node*, std::vector<int32_t>>, const selGroup*> first;
    std::map<const selGroup*, const selGroup*> repeats;  // a later block: the first one
    std::map<const selGroup*, int32_t> built;            // a first block: the index of its mesh
  };

  int32_t nodeSlot_ = -1;  // the node text "Rail Sim"
  trackline::frmOptions& options_;
  // Of the press that runs: the dialog's options, and the shapes left out.
  std::string defaultTexture_;
  bool shortNames_ = false;
  std::vector<Shape*> leftOut_;
  std::vector<std::string> tooSmall_;  // "Node/Shape", of the automatic level being walked
  // Rebuilt by every press.
  igs::MaterialTable materials_;
  igs::IgsFile file_;
  igs::VertexIndex vertexIndex_;
  SharedMeshes shared_;
};

}  // namespace

TracklineExport::TracklineExport(const std::string& fileName, Node* exportGroup,
                                 vlm::SceneGraph& sceneGraph)
    : ExportSession(fileName, exportGroup, sceneGraph, std::make_unique<trackline::frmOptions>(),
                    Trackline::Title, ShapeSizeLimit),
      options_(static_cast<trackline::frmOptions&>(dialog())) {
  // The texts the user sets on materials and nodes: defined in the document on first use.
  for (size_t i = 0; i < materials_.slots.size(); ++i) {
    const std::string name = igs::MaterialTable::FieldNames[i];
    int32_t slot = rootNode_->FindMaterialCustomField(name);
    if (slot < 0) slot = rootNode_->AddMaterialCustomField(name);
    materials_.slots[i] = slot;
  }
  nodeSlot_ = rootNode_->FindCustomField("Rail Sim");
  if (nodeSlot_ < 0) nodeSlot_ = rootNode_->AddCustomField("Rail Sim");
}

bool TracklineExport::reported(const Error& error) {
  if (!dynamic_cast<const ExportStopped*>(&error)) return false;
  Log(error.Description());
  Log("Export stopped: " + fileName_ + " was not written.");
  return true;
}

void TracklineExport::readOptions() {
  defaultTexture_ = std::string(Trim(options_.txtDefTex.Text()));
  shortNames_ = options_.chkShortNames.Value() == 1;
  if (!defaultTexture_.empty() && igs::ToAnsi(defaultTexture_).size() < 5)
    throw ExportStopped(err::InvalidProcedureCall,
                        "The default texture \"" + defaultTexture_ +
                            "\" is too short: a texture name has five characters or more.");
}

void TracklineExport::exportMain(Node& chosen) {
  // Every press starts afresh.
  materials_.Reset();
  materials_.defaultTexture = defaultTexture_;
  leftOut_.clear();
  tooSmall_.clear();  // a press stopped in the middle of a level leaves its names
  file_ = igs::IgsFile{};
  vertexIndex_.Clear();
  shared_ = SharedMeshes{};
  selGroup root;
  Gathering gathering;
  // Coarse steps: gathering, building the records, writing.
  const ProgressTask progress("Exporting " + fileName_);
  auto gather = [&](Node& node, int32_t level, int32_t distance) {
    gathering.level = level;
    gathering.distance = distance;
    const bool found = collect(node, root, gathering);
    reportTooSmall(gathering);
    return found;
  };

  checkSize(chosen);
  bool geometry = false;
  if (lodMode_ == lodType::Auto) {
    int32_t level = 0;
    for (const int32_t distance : AutomaticLevels)
      geometry |= gather(chosen, ++level, distance);
  } else if (lodMode_ == lodType::Custom) {
    const std::vector<LevelNode> levels = customLevels(chosen);
    for (size_t k = 0; k < levels.size(); ++k) {
      const int32_t distance = k + 1 < levels.size() ? levels[k + 1].number : FarthestLevel;
      geometry |= gather(*levels[k].node, static_cast<int32_t>(k) + 1, distance);
    }
  } else {
    geometry = gather(chosen, 1, FarthestLevel);
  }
  if (leftOut_.size() > NamedLeftOut)
    Warn(std::to_string(leftOut_.size() - NamedLeftOut) +
         " more shapes without a texture are left out of " + fileName_ + " (the log names each)");
  if (!geometry) {
    Warn("Nothing to Export: nothing below \"" + chosen.Name() + "\" has exported geometry; " +
         fileName_ + " is not written");
    RefuseRun("Nothing to Export", mb::OKOnly);
    return;
  }
  for (auto& record : root.children)
    gathering.blockCount += groupChildren(*record);
  if (shortNames_) shortenNames(root);

  progress.Report(1, 3);
  Log("Processing Geometry (" + std::to_string(gathering.blockCount) + " blocks)");
  file_.PrepareHeader();
  // Every block has one mesh, at the same index.
  file_.blocks.resize(static_cast<size_t>(gathering.blockCount));
  file_.meshes.resize(static_cast<size_t>(gathering.blockCount));
  igs::RecordIndex next{0};
  for (auto& record : root.children)
    next = buildBlock(*record, next, igs::RecordIndex{-1});
  file_.materials = materials_.records;

  progress.Report(2, 3);
  Log("Adjusting pointers");
  file_.AdjustPointers(materials_.textures);
  Log("Writing to " + fileName_ + "...");
  WriteOutputFileWith(fileName_, [this](OutputSink& sink) { file_.WriteTo(sink); });
  // The reader looks for each reference below the export's folder, with any extension.
  for (size_t i = 0; i < materials_.textures.size(); ++i) {
    std::string expected = materials_.textures[i];
    std::replace(expected.begin(), expected.end(), '\\', '/');
    CheckTextureReference(
        fileName_, {materials_.textureFiles[i], materials_.textures[i], expected, true, false});
  }
  Wrote();
  Log("Export Finished.");
}

std::vector<TracklineExport::LevelNode> TracklineExport::customLevels(Node& chosen) {
  std::vector<LevelNode> levels{{&chosen, 0}};
  const std::string name = chosen.Name();
  const std::string prefix = ToLower(name);
  NodeCollection* children = rootNode_->Children();
  for (int32_t i = 0; i < children->Count(); ++i) {
    Node* child = children->Item(i);
    const std::string childName = child->Name();
    if (!igs::StartsWith(ToLower(childName), prefix)) continue;
    // One separator character follows the chosen node's name: body_200.
    const std::string rest =
        childName.size() > name.size() + 1 ? childName.substr(name.size() + 1) : std::string();
    if (!igs::NumberIn(rest)) continue;
    const int32_t number =
        igs::ReadInteger(rest, "The level distance in the node name \"" + childName + "\"");
    if (number <= 0) continue;
    if (levels.size() >= Trackline::MaxLevelNodes)
      throw ExportStopped(err::SubscriptOutOfRange,
                          "The custom level node \"" + childName + "\" would be level node " +
                              std::to_string(levels.size() + 1) + "; the limit is " +
                              std::to_string(Trackline::MaxLevelNodes) + ".");
    // After every entry whose number is not greater; the chosen node stays first.
    size_t at = 1;
    while (at < levels.size() && levels[at].number <= number)
      ++at;
    levels.insert(levels.begin() + static_cast<std::ptrdiff_t>(at), LevelNode{child, number});
  }
  return levels;
}

bool TracklineExport::collect(Node& node, selGroup& parent, Gathering& gathering) {
  auto record = std::make_unique<selGroup>();
  record->cGroup = &node;
  record->parent = &parent;

  bool childGeometry = false;
  NodeCollection* children = node.Children();
  for (int32_t i = 0; i < children->Count(); ++i)
    childGeometry |= collect(*children->Item(i), *record, gathering);

  // The shapes merged, by their places among the node's shapes.
  std::vector<int32_t> chosen;
  // How messages name each material: "Material 2 in Body/Door", after the first merged
  // shape that uses it.
  std::map<GraphMaterial*, std::string> places;
  ShapeCollection* shapes = node.Shapes();
  for (int32_t i = 0; i < shapes->Count(); ++i) {
    Shape& shape = *shapes->Item(i);
    if (shape.ShapeKind() != ShapeKindPolygonMesh) continue;
    if (lodMode_ == lodType::Auto) {
      const std::optional<ShapeSize> size = SizeAt(shape, gathering.distance);
      if (size && !size->Visible()) {
        tooSmall_.push_back(node.Name() + "/" + shape.Name());
        continue;
      }
    }
    const std::vector<GraphMaterial*> materials = MaterialsOf(shape);
    if (const int32_t k = untexturedMaterial(materials)) {
      leftOut(shape, "Material " + std::to_string(k) + " in " + node.Name() + "/" + shape.Name() +
                         " does not have a texture - excluded from export.");
      continue;
    }
    chosen.push_back(i);
    for (size_t k = 0; k < materials.size(); ++k)
      places.emplace(materials[k], "Material " + std::to_string(k + 1) + " in " + node.Name() +
                                       "/" + shape.Name());
  }

  auto key = std::make_pair(&node, std::move(chosen));
  const auto earlier = shared_.first.find(key);
  std::unique_ptr<Shape> merged;
  if (earlier == shared_.first.end())
    for (const int32_t i : key.second) {
      if (!merged) merged = sceneGraph_.NewShape();
      merged->Merge(*shapes->Item(i));
    }
  const bool geometry = merged && merged->VertexCount() > 0;
  if (!geometry && earlier == shared_.first.end() && !childGeometry) return false;

  ++gathering.blockCount;
  if (earlier != shared_.first.end())
    shared_.repeats.emplace(record.get(), earlier->second);
  else if (geometry)
    shared_.first.emplace(std::move(key), record.get());
  record->cMesh = std::move(merged);
  selGroup& added = *record;
  parent.children.push_back(std::move(record));

  const std::string base = baseName(node);
  added.SetGrpName(blockName(base, gathering.level, gathering.distance));
  Log(added.GrpName());

  if (Shape* mesh = added.cMesh.get()) {
    if (Contains(base, "shadow")) mesh->PrepareShadow(0);
    mesh->Finalize();
    // Every material enters the table now, so that it is complete before the build.
    for (GraphMaterial* material : MaterialsOf(*mesh)) {
      const auto place = places.find(material);
      materials_.Register(*material,
                          place != places.end() ? place->second : "A material in " + node.Name());
    }
  }
  return true;
}

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
        // The triangles the build takes later, without a handle made for every polygon.
        const TriangleData data = shape->GetTriangleData();
        const auto shapeTriangles = static_cast<int64_t>(data.triangles.size());
        std::vector<bool> used(distinct ? static_cast<size_t>(shape->VertexCount()) : 0);
        for (size_t t = 0; distinct && t < data.triangles.size(); ++t)
          for (const TriangleCorner& corner : data.triangles[t].corners)
            if (const int32_t at = corner.position; at >= 0 && size_t(at) < used.size())
              used[static_cast<size_t>(at)] = true;
        triangles += shapeTriangles;
        if (!distinct) points += std::min<int64_t>(shape->VertexCount(), 3 * shapeTriangles);
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

int32_t TracklineExport::groupChildren(selGroup& record) {
  int32_t added = 0;
  for (auto& child : record.children)
    added += groupChildren(*child);
  if (record.children.size() <= static_cast<size_t>(igs::MaxChildren)) return added;
  const size_t count = record.children.size();
  std::vector<std::unique_ptr<selGroup>> runs = std::move(record.children);
  // Runs of children under grouping records, and runs of those while there are too many.
  while (runs.size() > static_cast<size_t>(igs::MaxChildren)) {
    std::vector<std::unique_ptr<selGroup>> groups;
    for (size_t first = 0; first < runs.size(); first += igs::MaxChildren) {
      auto group = std::make_unique<selGroup>();
      group->parent = &record;
      const size_t end = std::min(runs.size(), first + igs::MaxChildren);
      for (size_t k = first; k < end; ++k) {
        runs[k]->parent = group.get();
        group->children.push_back(std::move(runs[k]));
      }
      groups.push_back(std::move(group));
      ++added;
    }
    runs = std::move(groups);
  }
  record.children = std::move(runs);
  // Numbered depth first, as the blocks are: Rack#1, Rack#2, ...
  int32_t number = 0;
  std::function<void(selGroup&)> name = [&](selGroup& group) {
    for (auto& child : group.children) {
      if (child->cGroup) continue;
      child->parent = &group;
      child->SetGrpName(record.GrpName() + GroupingMark + std::to_string(++number));
      const size_t size = igs::ToAnsi(child->GrpName()).size();
      if (size > static_cast<size_t>(igs::BlockNameSize) && !shortNames_)
        throw ExportStopped(
            err::SubscriptOutOfRange,
            "The node \"" + record.cGroup->Name() + "\" has " + std::to_string(count) +
                " children to export; a block lists at most " + std::to_string(igs::MaxChildren) +
                ", so they go under blocks named like \"" + child->GrpName() + "\", which is " +
                std::to_string(size) + " characters long; the limit is " +
                std::to_string(igs::BlockNameSize) +
                ". Tick \"Shorten long block names\" (chkShortNames) to have it shortened.");
      Log(child->GrpName() + " groups " + std::to_string(child->children.size()) + " of the " +
          std::to_string(count) + " children of " + record.GrpName() + ": a block lists at most " +
          std::to_string(igs::MaxChildren) + ".");
      name(*child);
    }
  };
  name(record);
  return added;
}

void TracklineExport::shortenNames(selGroup& root) {
  std::vector<selGroup*> records;
  std::function<void(selGroup&)> walk = [&](selGroup& record) {
    for (auto& child : record.children) {
      records.push_back(child.get());
      walk(*child);
    }
  };
  walk(root);
  constexpr auto Limit = static_cast<size_t>(igs::BlockNameSize);
  auto fits = [](const std::string& name) { return igs::ToAnsi(name).size() <= Limit; };
  std::set<std::string> taken;
  for (const selGroup* record : records)
    if (fits(record->GrpName())) taken.insert(record->GrpName());
  // A name keeps its level and distance ("2_0400_"); the rest is cut and numbered, the same
  // rest at every level with the same number, so the levels of one node still match.
  std::map<std::string, std::string> shortened;
  int32_t number = 0;
  for (selGroup* record : records) {
    const std::string full = record->GrpName();
    if (fits(full)) continue;
    const std::vector<std::string> parts = SplitAt(full, '_');
    std::string prefix;
    if (parts.size() >= 3 && igs::NumberIn(parts[0]) && parts[1].size() == 4 &&
        igs::NumberIn(parts[1]))
      prefix = parts[0] + "_" + parts[1] + "_";
    // A level with no room after it for a name and its number is cut like the rest.
    if (igs::ToAnsi(prefix).size() + 8 > Limit) prefix.clear();
    const std::string rest = full.substr(prefix.size());
    const auto known = shortened.find(rest);
    std::string tail = known != shortened.end() ? known->second : std::string();
    while (tail.empty() || taken.count(prefix + tail)) {
      const std::string mark = ShortMark + std::to_string(++number);
      std::string cut = rest;
      // Whole characters off the end until the name and its mark fit.
      while (!cut.empty() && igs::ToAnsi(prefix + cut + mark).size() > Limit) {
        size_t last = cut.size() - 1;
        while (last > 0 && (static_cast<unsigned char>(cut[last]) & 0xC0) == 0x80)
          --last;
        cut.erase(last);
      }
      tail = cut + mark;
    }
    if (known == shortened.end()) shortened.emplace(rest, tail);
    record->SetGrpName(prefix + tail);
    taken.insert(prefix + tail);
    Log("The block name \"" + full + "\" is " + std::to_string(igs::ToAnsi(full).size()) +
        " characters long; it is written as \"" + record->GrpName() + "\".");
  }
}

int32_t TracklineExport::untexturedMaterial(const std::vector<GraphMaterial*>& materials) const {
  if (!defaultTexture_.empty()) return 0;
  for (size_t k = 0; k < materials.size(); ++k) {
    TextureSet* textures = materials[k]->Textures();
    if (!textures || igs::ToAnsi(textures->DiffuseMap()).size() < 5)
      return static_cast<int32_t>(k) + 1;
  }
  return 0;
}

std::string TracklineExport::baseName(Node& node) {
  std::string base(Trim(node.GetCustomField(nodeSlot_)));
  if (base.empty()) {
    base = node.Name();
    if (lodMode_ == lodType::Custom) base = base.substr(0, base.find('.'));
  }
  return base;
}

std::string TracklineExport::blockName(const std::string& base, int32_t level,
                                       int32_t distance) const {
  // The last four digits of the distance + 10000: 100 gives 0100, 12000 gives 2000.
  const std::string digits = std::to_string(static_cast<int64_t>(distance) + 10000);
  const std::string prefix = std::to_string(level) + "_" +
                             digits.substr(digits.size() - std::min<size_t>(4, digits.size())) +
                             "_";
  const std::vector<std::string> parts = SplitAt(base, '_');
  if (parts.size() < 3 || !igs::NumberIn(parts[0]) || !igs::NumberIn(parts[1]))
    return prefix + base;
  // A name that already carries a level and a distance: automatic levels put their own.
  if (lodMode_ != lodType::Auto) return base;
  std::string name = prefix + parts[2];
  for (size_t k = 3; k < parts.size() && k <= 4; ++k)
    name += "_" + parts[k];
  return name;
}

igs::RecordIndex TracklineExport::buildBlock(selGroup& record, igs::RecordIndex index,
                                             igs::RecordIndex parent) {
  Log("Block " + std::to_string(index.value));
  igs::BlockRecords& block = file_.blocks.at(static_cast<size_t>(index.value));

  Mat4 transform = Mat4::Identity();
  if (parent.value >= 0) {
    // The host gives the column-vector form; the block holds the row-vector form, with the
    // translation in elements 12 to 14. A grouping block keeps its parent's frame.
    if (Node* node = record.cGroup) transform = Transpose(node->GetMatrix(node->Parent(), 0));
    igs::IgsBlock& parentBlock = file_.blocks.at(static_cast<size_t>(parent.value)).block;
    // groupChildren left no block more children than it lists.
    if (parentBlock.childCount >= igs::MaxChildren) Raise(err::SubscriptOutOfRange);
    parentBlock.children[parentBlock.childCount++] = index;
  }
  for (size_t k = TranslationStart; k < TranslationEnd; ++k)
    transform.m[k] *= unitScale_;
  std::copy(transform.m.begin(), transform.m.end(), block.block.transform);

  if (const size_t size = igs::ToAnsi(record.GrpName()).size();
      size > static_cast<size_t>(igs::BlockNameSize))
    throw ExportStopped(err::SubscriptOutOfRange,
                        "The block name \"" + record.GrpName() + "\" is " + std::to_string(size) +
                            " characters long; the limit is " + std::to_string(igs::BlockNameSize) +
                            ". Tick \"Shorten long block names\" (chkShortNames) to have it "
                            "shortened.");
  igs::StoreText(block.block.name, record.GrpName(), "The block name");
  block.block.number = index.value + 1;
  block.block.meshRefCount = 1;
  block.block.parent = parent;

  const igs::RecordIndex mesh = index;  // every block has its own mesh, at its own index
  igs::MeshRecords& meshRecords = file_.meshes.at(static_cast<size_t>(mesh.value));
  if (const auto repeat = shared_.repeats.find(&record); repeat != shared_.repeats.end()) {
    // The first block of the same shapes is built already: it comes earlier, depth first.
    const int32_t first = shared_.built.at(repeat->second);
    meshRecords = igs::MeshRecords{};
    meshRecords.mesh = file_.meshes.at(static_cast<size_t>(first)).mesh;
    meshRecords.repeats = first;
  } else {
    buildMesh(record.cMesh, record.GrpName(), meshRecords);
    shared_.built.emplace(&record, mesh.value);
  }
  record.cMesh.reset();
  block.meshRefs.assign(1, igs::IgsMeshRef{MeshRefDistance, mesh, {}});

  igs::RecordIndex next{index.value + 1};
  for (auto& child : record.children)
    next = buildBlock(*child, next, index);
  return next;
}

void TracklineExport::buildMesh(std::unique_ptr<Shape>& shape, const std::string& block,
                                igs::MeshRecords& out) {
  out = igs::MeshRecords{};
  if (!shape) return;
  const TriangleData data = shape->GetTriangleData();
  const Bounds bounds = shape->GetBounds();
  shape.reset();  // the triangles are all the build needs: the merged shape goes first
  const Vec3 low = bounds.min * unitScale_, high = bounds.max * unitScale_;
  out.mesh.min[0] = low.x, out.mesh.min[1] = low.y, out.mesh.min[2] = low.z;
  out.mesh.max[0] = high.x, out.mesh.max[1] = high.y, out.mesh.max[2] = high.z;

  const auto& triangles = data.triangles;
  out.triangles.reserve(triangles.size());
  // Corners that share a position mostly share a vertex: about one vertex per position.
  const size_t expected = std::min(data.positions.size(), 3 * triangles.size());
  out.vertices.reserve(expected);
  vertexIndex_.Clear(expected);
  // Each distinct material is built and looked up once; it gives the same index every time.
  std::vector<int32_t> materialIndex(data.materials.size(), -1);
  int32_t fanKey = -1;
  // The vertex the last corner at each position became, with that corner's normal, texture
  // coordinate and material: a corner with the same indices has the same values, so it is the
  // same vertex without a search. Values with a NaN equal nothing and are not remembered.
  struct Seen {
    int32_t normal = -1, textureCoordinate = -1, material = -1, vertex = -1;
  };
  std::vector<Seen> seen(data.positions.size());

  for (size_t t = 0; t < triangles.size(); ++t) {
    const Triangle& triangle = triangles[t];
    Item(data.materials, triangle.material);  // a material the data holds
    int32_t& material = materialIndex[static_cast<size_t>(triangle.material)];
    if (material < 0)
      material = materials_.Register(*Item(data.materials, triangle.material),
                                     "A material of the block " + block);

    Vec3 positions[3];
    auto vertex = [&](int corner) {
      const TriangleCorner& c = triangle.corners[static_cast<size_t>(corner)];
      positions[corner] = Item(data.positions, c.position) * unitScale_;
      Seen& last = seen[static_cast<size_t>(c.position)];
      if (last.vertex >= 0 && last.normal == c.normal &&
          last.textureCoordinate == c.textureCoordinate && last.material == material)
        return igs::RecordIndex{last.vertex};
      const Vec3 n = Item(data.normals, c.normal);
      const Vec2 uv = Item(data.textureCoordinates, c.textureCoordinate);
      const Vec3 p = positions[corner];
      const igs::HeldVertex v{
          {p.x, p.y, p.z}, {n.x, n.y, n.z}, {uv.u, uv.v}, igs::RecordIndex{material}};
      const int32_t index = vertexIndex_.FindOrAdd(out.vertices, v);
      const float values[] = {p.x, p.y, p.z, n.x, n.y, n.z, uv.u, uv.v};
      if (std::none_of(std::begin(values), std::end(values), [](float x) { return x != x; }))
        last = {c.normal, c.textureCoordinate, material, index};
      return igs::RecordIndex{index};
    };
    igs::HeldTriangle record{};
    // Corners 0, 2, 1: the winding is the reverse of the host's.
    record.vertices[1] = vertex(2);
    record.vertices[2] = vertex(1);
    record.vertices[0] = vertex(0);

    const Vec3 n = FaceNormal(positions[0], positions[1], positions[2]);
    record.normal[0] = n.x, record.normal[1] = n.y, record.normal[2] = n.z;

    // Triangles fanned from one corner: a start, the middle ones, an end.
    const int32_t hub = triangle.corners[0].position;
    if (hub != fanKey) {
      record.fanFlag = FanStart;
      fanKey = hub;
    } else {
      const bool continues =
          t + 1 < triangles.size() && triangles[t + 1].corners[0].position == fanKey;
      record.fanFlag = continues ? FanMiddle : FanEnd;
    }
    record.material = igs::RecordIndex{material};
    out.triangles.push_back(record);
  }
  out.mesh.vertexCount = static_cast<int32_t>(out.vertices.size());
  out.mesh.triangleCount = static_cast<int32_t>(out.triangles.size());
}

// ---- frmOptions ----------------------------------------------------------------------------

trackline::frmOptions::frmOptions() {
  lblDefTex.SetCaption("Default texture");
  lblDefTex.SetBuddy(&txtDefTex);
  txtDefTex.SetToolTipText(
      "Texture file for materials without one (empty: their shapes are left out)");
  chkShortNames.SetCaption("Shorten long block names");
  chkShortNames.SetToolTipText("Cut block names over 32 characters and number them (name~1)");
}

// ---- Trackline -----------------------------------------------------------------------------

Trackline::Trackline()
    : ImportExportBase({.author = "Ardo Venmark 2011",
                        .pluginClass = 1,
                        .cost = 3,
                        .fileType = "IGS",
                        .fileTypeDescription = "RailSim/RailWorks Geometry (Alternative) (.IGS)",
                        .supportExport = true,
                        .supportImport = false}) {}

void Trackline::Export(const std::string& exportFileName, Node* exportGroup,
                       vlm::SceneGraph& sceneGraph) {
  TracklineExport(exportFileName, exportGroup, sceneGraph).ShowDialog();
}

std::vector<CatalogForm> Trackline::CatalogForms() const {
  return {MakeCatalogForm<trackline::frmOptions>("frmOptions")};
}

}  // namespace vlm
