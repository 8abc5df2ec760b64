#include "wingform/wingform.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <memory>
#include <string_view>
#include <utility>

#include "vlm/error.h"
#include "vlm/files.h"
#include "vlm/model.h"
#include "vlm/progress.h"
#include "vlm/refusal.h"
#include "vlm/text.h"
#include "vlm/warnings.h"
#include "wingform/wingform_export.h"

namespace vlm::wingform {
namespace {

// A whole number typed in a field, as the dialog's readers take it: a decimal with "." is
// rounded half to even; anything else (empty, not a number, beyond 32 bits) gives false.
bool ReadWhole(std::string_view text, int32_t& out) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double value = 0;
  const auto parsed = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || parsed.ec != std::errc() || parsed.ptr != text.data() + text.size())
    return false;
  if (!(std::fabs(value) < 2147483648.0)) return false;
  out = CheckedInt32(value);
  return true;
}

double Polygons(const std::vector<MeshData>& pieces) {
  double count = 0;
  for (const MeshData& piece : pieces)
    count += piece.polygonCount;
  return count;
}

}  // namespace

void WingformExport::readOptions() {
  // Every press starts afresh: a second press writes the same files as the first.
  objects_ = XObjCol();
  materialObjects_.clear();
  objectTextures_.clear();
  tooSmall_.clear();
  int32_t typed = 0;
  if (ReadWhole(options_.txtDist.Text(), typed)) maxDistance_ = typed;
  if (maxDistance_ < LeastDistance) maxDistance_ = FullDistance;
}

void WingformExport::exportMain(Node& node) {
  exportedNode_ = &node;
  // Coarse steps: each level's pass, then the files.
  const ProgressTask progress("Exporting " + fileName_);
  // Each pass's meshes are in the objects when it returns, and their memory has gone before
  // the files are written.
  bool found = false;
  if (lodMode_ != lodType::Auto && carriesData(node)) {
    found = convertWithData(node);
    progress.Report(1, 2);
  } else if (lodMode_ == lodType::Auto) {
    if (carriesData(node))
      Warn("the automatic levels of detail leave out the OBJ8 data of \"" + node.Name() +
           "\" (animations, lights, drawing states, header lines): choose \"No LODs\" or "
           "\"Custom LODs\" to write it");
    found = convertAutomaticLevels(node, progress);
  } else {
    found = convertOneLevel(node, progress);
  }
  // Vertices without a face give no object, and so nothing to write.
  if (!found || objects_.Count() == 0) {
    RefuseRun("Nothing to Export", mb::OKOnly, title_);
    return;
  }
  writeObjects();
}

bool WingformExport::convertOneLevel(Node& node, const ProgressTask& progress) {
  std::vector<MeshData> M;
  const bool found = gatherNode(node, maxDistance_, M);
  convertShape(M, 0, maxDistance_);
  progress.Report(1, 2);
  return found;
}

bool WingformExport::convertAutomaticLevels(Node& node, const ProgressTask& progress) {
  constexpr double steps = 4;
  double count = 0;
  {  // the nearest level's meshes go before the next gather
    std::vector<MeshData> M;
    gatherNode(node, 0, M);
    count = Polygons(M);
    convertShape(M, 0, NearLevel);
  }
  progress.Report(1, steps);
  int32_t level = 1;
  bool found = false;
  if (convertFartherLevel(node, NearLevel, level, MiddleLevel, count, found)) level = 2;
  progress.Report(2, steps);
  convertFartherLevel(node, MiddleLevel, level, maxDistance_, count, found);
  progress.Report(3, steps);
  return found;
}

bool WingformExport::convertFartherLevel(Node& node, int32_t limit, int32_t level, int32_t dist,
                                         double& count, bool& found) {
  std::vector<MeshData> M;
  found = gatherNode(node, limit, M);
  const double fartherCount = Polygons(M);
  if (fartherCount * LevelGain < count) {
    convertShape(M, level, dist);
    warnTooSmall(limit);
    count = fartherCount;
    return true;
  }
  for (XObj& obj : objects_)
    obj.SetDist(level - 1, dist);
  tooSmall_.clear();  // the nearer level reaches this far: nothing is left out
  Log("LOD not required at " + std::to_string(limit) + "m");
  return false;
}

void WingformExport::writeObjects() {
  const std::tm when = clock_();
  std::string name = fileName_;
  int32_t k = 0;
  // The numbered files of one press are one set: when one cannot be written, the ones
  // before it are taken back too.
  const OutputMark mark = CurrentOutputMark();
  std::vector<std::pair<std::string, const XObj*>> written;
  try {
    for (const XObj& obj : objects_) {
      Log("Output shape to " + name);
      obj.OutputToFile(name, when);
      written.emplace_back(name, &obj);
      ++k;
      name = numberedName(k);
    }
  } catch (...) {
    DropOutputsSince(mark);
    throw;
  }
  for (const auto& [file, obj] : written)
    checkTextures(file, *obj);
  Wrote();
  Log("Export Finished.");
}

bool WingformExport::gatherNode(Node& node, int32_t limit, std::vector<MeshData>& M) {
  bool found = false;
  NodeCollection* children = node.Children();
  for (int32_t i = 0; i < children->Count(); ++i) {
    Node* child = children->Item(i);
    if (child->GetAnimationKeys(0, AnimationTimeLimit) < AnimatedKeys) {
      if (gatherNode(*child, limit, M)) found = true;
    } else if (child->Shapes()->Count() >= 1) {
      Log(child->Name() + " is animated - separate export required");
      // Once per group, though the automatic levels walk the tree three times.
      if (limit == 0 || lodMode_ != lodType::Auto)
        Warn("group \"" + child->Name() +
             "\" is animated and left out of the export, with everything below it: export it "
             "separately");
    }
  }

  try {
    std::vector<Shape*> kept;
    int64_t vertices = 0;
    ShapeCollection* shapes = node.Shapes();
    for (int32_t i = 0; i < shapes->Count(); ++i) {
      Shape* shape = shapes->Item(i);
      if (!sizeCheck(*shape, limit) && lodMode_ == lodType::Auto) {
        found = true;  // left out as too small at this distance
        continue;
      }
      kept.push_back(shape);
      vertices += shape->VertexCount();
    }
    // The texture names are checked shape by shape (the group is named where this is
    // caught), unless the one shape's triangles show them all clean.
    const auto checkNames = [&] {
      for (Shape* shape : kept)
        checkTextureNames(*shape);
    };
    if (vertices > 0) {
      MeshData data;
      try {
        computeWorldMatrix(node);
        data = groupMeshData(kept);
      } catch (...) {
        checkNames();
        throw;
      }
      if (kept.size() != 1 || !NamesClean(*kept.front(), data)) checkNames();
      M.push_back(std::move(data));
      found = true;
    } else {
      checkNames();
    }
  } catch (const Error& e) {
    Raise(e.Number(), "group \"" + node.Name() + "\": " + e.Description());
  }
  if (found) Log(node.Name());
  return found;
}

void WingformExport::computeWorldMatrix(Node& node) {
  worldMatrix_ = Mat4::Identity();
  const int32_t stop = exportedNode_->Id();
  for (Node* g = &node; g->Id() != stop;) {
    Node* parent = g->Parent();
    if (!parent)
      Raise(err::InvalidProcedureCall,
            "group \"" + node.Name() + "\" does not lie inside the exported group");
    // GetMatrix gives the column-vector form; its transpose applies to row vectors, so the
    // node's own transform comes first, then its parent's.
    worldMatrix_ = Multiply(worldMatrix_, Transpose(g->GetMatrix(parent, 0)));
    g = parent;
  }
}

void WingformExport::transformShape(Shape& shape) {
  std::vector<Vec3> positions = shape.GetPositions();
  for (Vec3& p : positions)
    p = TransformPoint(p, worldMatrix_);
  shape.SetPositions(positions);
  std::vector<Vec3> normals = shape.GetNormals();
  for (Vec3& n : normals)
    n = TransformDirection(n, worldMatrix_);
  shape.SetNormals(normals);
}

MeshData WingformExport::groupMeshData(const std::vector<Shape*>& shapes) {
  if (!(worldMatrix_ == Mat4::Identity())) {
    // A polygon without normals takes its plane normal from the moved positions, so the
    // shapes are moved before their triangles are taken.
    std::unique_ptr<Shape> merged = sceneGraph_.NewShape();
    for (Shape* shape : shapes)
      merged->Merge(*shape);
    transformShape(*merged);
    return merged->GetMeshData(-1);
  }
  std::unique_ptr<Shape> merged;
  if (shapes.size() > 1) {
    merged = sceneGraph_.NewShape();
    for (Shape* shape : shapes)
      merged->Merge(*shape);
  }
  MeshData data = (merged ? merged.get() : shapes.front())->GetMeshData(-1);
  // The group is in the exported node's frame already; the identity still makes -0 into 0
  // and carries a NaN or infinity as moving would.
  const size_t positions = data.positions.size() / 3 * 3, normals = data.normals.size() / 3 * 3;
  for (size_t i = 0; i < positions; i += 3) {
    const Vec3 p = TransformPoint({data.positions[i], data.positions[i + 1], data.positions[i + 2]},
                                  worldMatrix_);
    data.positions[i] = p.x, data.positions[i + 1] = p.y, data.positions[i + 2] = p.z;
  }
  for (size_t i = 0; i < normals; i += 3) {
    const Vec3 n = TransformDirection({data.normals[i], data.normals[i + 1], data.normals[i + 2]},
                                      worldMatrix_);
    data.normals[i] = n.x, data.normals[i + 1] = n.y, data.normals[i + 2] = n.z;
  }
  return data;
}

std::string WingformExport::numberedName(int32_t k) const {
  // Only a "." in the file's own name counts, not one in a folder name.
  const size_t folder = fileName_.find_last_of("/\\");
  const size_t start = folder == std::string::npos ? 0 : folder + 1;
  const size_t dot = fileName_.rfind('.');
  const std::string prefix =
      dot != std::string::npos && dot >= start ? fileName_.substr(0, dot + 1) : fileName_ + ".";
  return prefix + std::to_string(k) + ".obj";
}

}  // namespace vlm::wingform

namespace vlm {

// ---- Wingform ------------------------------------------------------------------------------

Wingform::Wingform()
    : ImportExportBase({.author = "Ardo Venmark 2010",
                        .pluginClass = 0,
                        .cost = 0,
                        .fileType = "OBJ",
                        .fileTypeDescription = "X-Plane Obj 8 (.OBJ)",
                        .supportExport = true,
                        .supportImport = false}) {}

void Wingform::Export(const std::string& exportFileName, Node* exportGroup,
                      vlm::SceneGraph& sceneGraph) {
  wingform::WingformExport(exportFileName, exportGroup, sceneGraph, clock_).ShowDialog();
}

std::vector<CatalogForm> Wingform::CatalogForms() const {
  return {MakeCatalogForm<wingform::frmOptions>("frmOptions")};
}

}  // namespace vlm
