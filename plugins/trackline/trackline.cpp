#include "trackline/trackline.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <utility>

#include "trackline/texts.h"
#include "trackline/trackline_export.h"
#include "vlm/export_support.h"
#include "vlm/files.h"
#include "vlm/forms.h"
#include "vlm/model.h"
#include "vlm/progress.h"
#include "vlm/refusal.h"
#include "vlm/text.h"
#include "vlm/warnings.h"

namespace vlm::trackline {
namespace {

template <class T>
const T& Item(const std::vector<T>& items, int32_t index) {
  if (index < 0 || static_cast<size_t>(index) >= items.size()) Raise(err::SubscriptOutOfRange);
  return items[static_cast<size_t>(index)];
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

}  // namespace

std::vector<GraphMaterial*> MaterialsOf(Shape& shape) {
  std::vector<GraphMaterial*> materials(static_cast<size_t>(shape.MaterialCount()));
  for (size_t k = 0; k < materials.size(); ++k)
    materials[k] = shape.Material(static_cast<int32_t>(k));
  return materials;
}

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
  unbuilt_.clear();
  toBuild_.clear();
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
  toBuild_.resize(static_cast<size_t>(gathering.blockCount));
  igs::RecordIndex next{0};
  for (auto& record : root.children)
    next = buildBlock(*record, next, igs::RecordIndex{-1});
  file_.materials = materials_.records;

  progress.Report(2, 3);
  Log("Adjusting pointers");
  file_.PrepareNames(materials_.textures);
  Log("Writing to " + fileName_ + "...");
  // Each mesh is built as the file reaches it and written at once: the levels' meshes are
  // never all held together, only their triangles until the triangle section.
  WriteOutputFileWith(fileName_, [this](OutputSink& sink) {
    file_.StreamTo(sink, [this](size_t mesh, igs::MeshRecords& out) {
      UnbuiltMesh& unbuilt = toBuild_.at(mesh);
      std::unique_ptr<Shape> merged;
      for (Shape* part : unbuilt.parts) {
        if (!merged) merged = sceneGraph_.NewShape();
        merged->Merge(*part);
      }
      if (merged) {
        if (unbuilt.shadow) merged->PrepareShadow(0);
        merged->Finalize();
      }
      buildMesh(merged, unbuilt.block, out);
      // The materials were written before the first vertex: the collection registered all.
      if (materials_.records.size() != file_.materials.size())
        Raise(err::InvalidProcedureCall,
              "a material of the block " + unbuilt.block + " was not in the material table");
      unbuilt = {};
    });
  });
  toBuild_.clear();
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

std::vector<LevelNode> TracklineExport::customLevels(Node& chosen) {
  return CustomLevelNodes(
      *rootNode_, chosen, [](std::string_view text, const std::string& nodeName, size_t found) {
        const int32_t number =
            igs::ReadInteger(text, "The level distance in the node name \"" + nodeName + "\"");
        if (number > 0 && found >= Trackline::MaxLevelNodes)
          throw ExportStopped(err::SubscriptOutOfRange,
                              "The custom level node \"" + nodeName + "\" would be level node " +
                                  std::to_string(found + 1) + "; the limit is " +
                                  std::to_string(Trackline::MaxLevelNodes) + ".");
        return number;
      });
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
  // The shapes are merged when the file reaches the block's mesh: a level's merged copies are
  // not all held at once.
  UnbuiltMesh mesh;
  int64_t vertices = 0;
  if (earlier == shared_.first.end())
    for (const int32_t i : key.second) {
      mesh.parts.push_back(shapes->Item(i));
      vertices += mesh.parts.back()->VertexCount();
    }
  const bool geometry = vertices > 0;
  if (!geometry && earlier == shared_.first.end() && !childGeometry) return false;

  ++gathering.blockCount;
  if (earlier != shared_.first.end())
    shared_.repeats.emplace(record.get(), earlier->second);
  else if (geometry)
    shared_.first.emplace(std::move(key), record.get());
  selGroup& added = *record;
  parent.children.push_back(std::move(record));

  const std::string base = baseName(node);
  added.SetGrpName(blockName(base, gathering.level, gathering.distance));
  Log(added.GrpName());

  if (!mesh.parts.empty()) {
    mesh.shadow = Contains(base, "shadow");
    // Every material enters the table now, so that it is complete before the build: in the
    // order the merged shape would list them, each shape's after the shapes before it.
    for (Shape* part : mesh.parts)
      for (GraphMaterial* material : MaterialsOf(*part)) {
        const auto place = places.find(material);
        materials_.Register(*material,
                            place != places.end() ? place->second : "A material in " + node.Name());
      }
    unbuilt_.emplace(&added, std::move(mesh));
  }
  return true;
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
  meshRecords = igs::MeshRecords{};
  if (const auto repeat = shared_.repeats.find(&record); repeat != shared_.repeats.end()) {
    // The first block of the same shapes comes earlier, depth first: its mesh is built first.
    meshRecords.repeats = shared_.built.at(repeat->second);
  } else {
    // Built when the file is written.
    UnbuiltMesh& unbuilt = toBuild_.at(static_cast<size_t>(mesh.value));
    if (const auto parts = unbuilt_.find(&record); parts != unbuilt_.end()) {
      unbuilt = std::move(parts->second);
      unbuilt_.erase(parts);
    }
    unbuilt.block = record.GrpName();
    shared_.built.emplace(&record, mesh.value);
  }
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

}  // namespace vlm::trackline

namespace vlm {

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
  trackline::TracklineExport(exportFileName, exportGroup, sceneGraph).ShowDialog();
}

std::vector<CatalogForm> Trackline::CatalogForms() const {
  return {MakeCatalogForm<trackline::frmOptions>("frmOptions")};
}

}  // namespace vlm
