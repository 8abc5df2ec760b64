#include "wingform/wingform.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "vlm/error.h"
#include "vlm/files.h"
#include "vlm/model.h"
#include "vlm/named_files.h"
#include "vlm/progress.h"
#include "vlm/refusal.h"
#include "vlm/settings.h"
#include "vlm/text.h"
#include "vlm/warnings.h"

namespace vlm {
namespace {

constexpr const char* MaxTip = "Maximum drawing distance for the object (or zero)";
// The optTex choices that replace the texture names' extensions.
constexpr int16_t DdsChoice = 1, PngChoice = 2;
// A child node with this many animation keys up to this time is animated: it is left out.
constexpr int32_t AnimationTimeLimit = 9999999;
constexpr int32_t AnimatedKeys = obj8::AnimatedKeys;
// Viewing distances of the automatic levels of detail, in metres.
constexpr int32_t NearLevel = 300;
constexpr int32_t MiddleLevel = 800;
// The farthest distance when the dialog gives none below this (zero for full).
constexpr int32_t FullDistance = 2000;
constexpr int32_t LeastDistance = 20;
// A further automatic level is made only when the level before holds more than this many
// times its polygons.
constexpr double LevelGain = 1.1;
// A shape is too small to be seen from d metres when two of its extents are below d / 1000.
constexpr ExportSession::SizeLimit ShapeSizeLimit{1000.0f};
// The mesh data's corner list: one record per triangle, its three corners (position,
// normal and texture-coordinate index each) from the record's second entry.
constexpr int64_t RecordLength = 10;
constexpr int64_t FirstCorner = 1;
constexpr int64_t CornerLength = 3;

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

Vec3 Triple(const std::vector<float>& list, int32_t index, const char* what) {
  const size_t at = static_cast<size_t>(index) * 3;
  if (index < 0 || at + 3 > list.size())
    Raise(err::SubscriptOutOfRange, "the mesh data names " + std::string(what) + " " +
                                        std::to_string(index) + ", which it does not hold");
  return {list[at], list[at + 1], list[at + 2]};
}

Vec2 Pair(const std::vector<float>& list, int32_t index) {
  const size_t at = static_cast<size_t>(index) * 2;
  if (index < 0 || at + 2 > list.size())
    Raise(err::SubscriptOutOfRange, "the mesh data names texture coordinate " +
                                        std::to_string(index) + ", which it does not hold");
  return {list[at], list[at + 1]};
}

// Where a triangle's coordinates sample a clamped or mirrored texture the way X-Plane, which
// repeats every texture, does: `moved` when they were brought into another tile, `shown`
// false when no coordinates can (the triangle reaches past a clamped edge, or across the edge
// of a mirrored tile).
struct TileFit {
  bool moved = false, shown = true;
};

void FitAxis(std::array<Vec2, 3>& t, float Vec2::*axis, TextureWrap wrap, TileFit& fit) {
  if (wrap == TextureWrap::Repeat) return;
  const float lo = std::min({t[0].*axis, t[1].*axis, t[2].*axis});
  const float hi = std::max({t[0].*axis, t[1].*axis, t[2].*axis});
  if (!(lo <= hi)) return;        // a NaN is written as it is
  constexpr float slack = 1e-5f;  // the file's rounding
  if (wrap == TextureWrap::Clamp) {
    // Inside 0..1 the repeated texture is the clamped one; past its edges it is not.
    if (lo < -slack || hi > 1 + slack) fit.shown = false;
    return;
  }
  // Mirrored: tile n holds the image turned over when n is odd. A triangle within one tile
  // samples what the first tile shows at the coordinates folded back into it.
  const float tile = std::floor(lo + slack);
  if (!(hi <= tile + 1 + slack)) {
    fit.shown = false;
    return;
  }
  if (tile == 0) return;
  const bool odd = std::fmod(tile, 2.0f) != 0;
  for (Vec2& c : t)
    c.*axis = odd ? tile + 1 - c.*axis : c.*axis - tile;
  fit.moved = true;
}

TileFit FitToTile(std::array<Vec2, 3>& t, TextureWrap wrapU, TextureWrap wrapV) {
  TileFit fit;
  FitAxis(t, &Vec2::u, wrapU, fit);
  FitAxis(t, &Vec2::v, wrapV, fit);
  return fit;
}

}  // namespace

// ---- frmOptions ----------------------------------------------------------------------------

wingform::frmOptions::frmOptions() {
  lblMax.SetCaption("Max. Visible (zero for full)");
  lblMax.SetToolTipText(MaxTip);
  txtDist.SetText("0");
  txtDist.SetToolTipText(MaxTip);
  Frame2.SetCaption("Textures");
  optTex(0).SetCaption("Keep Same Extension");
  optTex(0).SetToolTipText("Retains current texture file extensions");
  optTex(1).SetCaption("DDS");
  optTex(1).SetToolTipText(
      "Convert file name extensions to DDS (will require textures to be converted too)");
  optTex(2).SetCaption("PNG");
  for (int i = 0; i < optTex.Count(); ++i)
    optTex(i).SetContainer(&Frame2);
  optTex(2).SetToolTipText(
      "Convert file name extensions to PNG (will require textures to be converted too)");
  optTex(0).SetValue(true);
  optLOD(1).SetToolTipText("Generate 2 LOD's by cutting out smaller objects over 200m");
  optLOD(0).SetValue(true);

  // The common dialog's load (LType = 0) runs after the remembered options are in place.
  OnLoad = [this, commonLoad = OnLoad] {
    txtDist.SetText(GetSetting(Wingform::SettingsApplication, Wingform::Title, "max", "0"));
    auto choice = [this](const std::string& text) -> std::optional<int16_t> {
      int16_t index = 0;
      const auto parsed = std::from_chars(text.data(), text.data() + text.size(), index);
      if (parsed.ec == std::errc() && parsed.ptr == text.data() + text.size() && index >= 0 &&
          index < optTex.Count())
        return index;
      return std::nullopt;
    };
    const std::string tex = GetSetting(
        Wingform::SettingsApplication, Wingform::Title, "tex", "0", [&](const std::string& text) {
          return choice(text) ? std::string()
                              : "not the number of a texture option, 0 to " +
                                    std::to_string(optTex.Count() - 1);
        });
    optTex(choice(tex).value_or(0)).SetValue(true);
    if (commonLoad) commonLoad();
  };
  // The choices are saved when the dialog closes; a settings file that cannot be written
  // must not turn a finished export into a failure, so it is only reported.
  OnUnload = [this] {
    try {
      // One set, so that exports that end at the same time leave the choices of one of them.
      SaveSettings(Wingform::SettingsApplication, Wingform::Title,
                   {{"max", txtDist.Text()}, {"tex", std::to_string(TextureChoice())}});
    } catch (const Error& e) {
      Warn("the export options were not remembered: " + e.Description());
    }
  };
}

int16_t wingform::frmOptions::TextureChoice() const {
  for (int i = 0; i < optTex.Count(); ++i)
    if (optTex(i).Value()) return static_cast<int16_t>(i);
  return 0;
}

// ---- one export ----------------------------------------------------------------------------

namespace {

// One export of Wingform: the dialog and, for each press, the objects of the export.
class WingformExport final : public ExportSession {
 public:
  WingformExport(const std::string& fileName, Node* exportGroup, vlm::SceneGraph& sceneGraph,
                 const Clock& clock)
      : ExportSession(fileName, exportGroup, sceneGraph, std::make_unique<wingform::frmOptions>(),
                      Wingform::Title, ShapeSizeLimit),
        options_(static_cast<wingform::frmOptions&>(dialog())),
        clock_(clock) {}

 private:
  void readOptions() override;
  // Exports one node: the levels of detail of the chosen mode, then one file per object.
  void exportMain(Node& node) override;
  bool reported(const Error& error) override {
    Log("Export failed: " + error.Description());
    return true;
  }

  // Appends the triangles of the node's shapes, then those of its descendants before them
  // (children first), each group's in the exported node's frame; true when something was
  // found (or, in automatic mode, left out as too small). The pieces in order hold what one
  // shape merged from all of them would.
  bool gatherNode(Node& node, int32_t limit, std::vector<MeshData>& M);
  // The shapes' triangles in the exported node's frame, the group's frame being worldMatrix_.
  MeshData groupMeshData(const std::vector<Shape*>& shapes);
  // False when the shape is too small to be seen at `limit` metres.
  bool sizeCheck(Shape& shape, int32_t limit);
  // Warns about the shapes the last gather at `limit` left out as too small, and forgets them.
  void warnTooSmall(int32_t limit);
  // Stops the run (vlm::Error) when a texture name of the shape's materials holds a control
  // character, which would break the lines of the file.
  void checkTextureNames(Shape& shape);
  // The transform from the node's frame to the exported node's, kept in worldMatrix_.
  void computeWorldMatrix(Node& node);
  void transformShape(Shape& shape);
  // The object of a material's texture set, and how its textures wrap.
  struct Look {
    XObj* obj = nullptr;
    int32_t number = -1;  // the object's place among objects_
    TextureWrap wrapU = TextureWrap::Repeat, wrapV = TextureWrap::Repeat;
  };
  const Look& lookOf(GraphMaterial* material);
  // Warns about the texture names of the file written for `obj` (CheckTextureReference), and
  // about triangles that X-Plane's repeating shows otherwise than their clamped or mirrored
  // texture.
  void checkTextures(const std::string& file, const XObj& obj);
  // Adds the pieces' triangles to the objects at level `lod`, visible up to `dist` metres,
  // the last triangle first.
  void convertShape(const std::vector<MeshData>& pieces, int32_t lod, int32_t dist);
  void convertPiece(const MeshData& data, int32_t lod, int32_t dist);
  // The name of the k-th file (k from 1) written after the first.
  std::string numberedName(int32_t k) const;

  wingform::frmOptions& options_;
  const Clock& clock_;
  // The farthest distance; a press whose field cannot be read keeps the last one.
  int32_t maxDistance_ = 0;
  // Of the press that runs.
  Node* exportedNode_ = nullptr;
  XObjCol objects_;
  // The object of each material met, so that it is looked up once.
  std::unordered_map<GraphMaterial*, Look> materialObjects_;
  // Per object: its three texture names as the scene gives them, and its triangles (of the
  // first level) whose coordinates leave the part of a clamped or mirrored texture that
  // X-Plane, which repeats every texture, shows as the source does.
  struct ObjectTextures {
    std::array<std::string, 3> named;
    int64_t outsideTile = 0;
  };
  std::unordered_map<const XObj*, ObjectTextures> objectTextures_;
  Mat4 worldMatrix_ = Mat4::Identity();
  std::vector<std::string> tooSmall_;  // shapes the gather under way leaves out as too small
};

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
  const auto polygons = [](const std::vector<MeshData>& pieces) {
    double count = 0;
    for (const MeshData& piece : pieces)
      count += piece.polygonCount;
    return count;
  };
  // Coarse steps: each level's pass, then the files.
  const ProgressTask progress("Exporting " + fileName_);
  const double steps = lodMode_ == lodType::Auto ? 4 : 2;
  std::vector<MeshData> M;
  bool found = false;
  if (lodMode_ != lodType::Auto) {
    found = gatherNode(node, maxDistance_, M);
    convertShape(M, 0, maxDistance_);
    progress.Report(1, steps);
  } else {
    gatherNode(node, 0, M);
    double count = polygons(M);
    convertShape(M, 0, NearLevel);
    progress.Report(1, steps);

    M.clear();
    int32_t level = 1;
    found = gatherNode(node, NearLevel, M);
    const double nearCount = polygons(M);
    if (nearCount * LevelGain < count) {
      convertShape(M, 1, MiddleLevel);
      warnTooSmall(NearLevel);
      count = nearCount;
      level = 2;
    } else {
      for (XObj& obj : objects_)
        obj.SetDist(0, MiddleLevel);
      tooSmall_.clear();  // the nearer level reaches this far: nothing is left out
      Log("LOD not required at " + std::to_string(NearLevel) + "m");
    }
    progress.Report(2, steps);

    M.clear();
    found = gatherNode(node, MiddleLevel, M);
    const double middleCount = polygons(M);
    if (middleCount * LevelGain < count) {
      convertShape(M, level, maxDistance_);
      warnTooSmall(MiddleLevel);
    } else {
      for (XObj& obj : objects_)
        obj.SetDist(level - 1, maxDistance_);
      tooSmall_.clear();
      Log("LOD not required at " + std::to_string(MiddleLevel) + "m");
    }
    progress.Report(3, steps);
  }

  // The meshes are in the objects now; their memory goes before the files are written.
  std::vector<MeshData>().swap(M);
  // Vertices without a face give no object, and so nothing to write.
  if (!found || objects_.Count() == 0) {
    RefuseRun("Nothing to Export", mb::OKOnly, title_);
    return;
  }
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

namespace {

// What is wrong with the material's texture names for the file, or "".
std::string TextureNameProblem(GraphMaterial* material) {
  TextureSet* set = material ? material->Textures() : nullptr;
  if (!set) return {};
  const std::pair<const char*, std::string> names[] = {{"texture name", set->DiffuseMap()},
                                                       {"lit texture name", set->BumpMap()},
                                                       {"normal texture name", set->DetailMap()}};
  for (const auto& [what, name] : names) {
    std::string problem = ControlCharacterProblem(what, name);
    if (!problem.empty()) return problem;
  }
  return {};
}

// True when the triangles' materials are all the shape's materials and none has a problem.
// Asking the shape for its materials one by one can cost a walk of its polygons each time.
bool NamesClean(Shape& shape, const MeshData& data) {
  std::vector<GraphMaterial*> distinct;
  GraphMaterial* last = nullptr;
  for (GraphMaterial* material : data.materials) {
    if (material == last) continue;
    last = material;
    if (std::find(distinct.begin(), distinct.end(), material) != distinct.end()) continue;
    if (!TextureNameProblem(material).empty()) return false;
    distinct.push_back(material);
  }
  return static_cast<int32_t>(distinct.size()) == shape.MaterialCount();
}

}  // namespace

void WingformExport::checkTextureNames(Shape& shape) {
  const int32_t count = shape.MaterialCount();
  for (int32_t k = 0; k < count; ++k) {
    const std::string problem = TextureNameProblem(shape.Material(k));
    if (!problem.empty())
      Raise(err::InvalidProcedureCall,
            "Material " + std::to_string(k + 1) + " in " + shape.Name() + ": its " + problem + ".");
  }
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

bool WingformExport::sizeCheck(Shape& shape, int32_t limit) {
  const std::optional<ShapeSize> size = SizeAt(shape, limit);
  if (!size) return true;
  const Vec3 e = size->extents;
  Log("\tSizeCheck " + shape.Name() + " (" + PlainDecimal(e.x) + "," + PlainDecimal(e.y) + "," +
      PlainDecimal(e.z) + ") " + PlainDecimal(size->smallest));
  if (!size->Visible() && lodMode_ == lodType::Auto) tooSmall_.push_back(shape.Name());
  return size->Visible();
}

void WingformExport::warnTooSmall(int32_t limit) {
  std::vector<std::string> names = std::exchange(tooSmall_, {});
  if (names.empty()) return;
  // Name the first few; a scene of thousands of small parts gets one line, not thousands.
  constexpr size_t Named = 5;
  std::string list;
  for (size_t i = 0; i < names.size() && i < Named; ++i)
    list += (i ? ", \"" : "\"") + names[i] + "\"";
  if (names.size() > Named) list += " and " + std::to_string(names.size() - Named) + " more";
  Warn("automatic levels of detail: " + std::to_string(names.size()) +
       (names.size() == 1 ? " shape" : " shapes") + " too small to see beyond " +
       std::to_string(limit) + " m " + (names.size() == 1 ? "is" : "are") +
       " left out of the farther levels: " + list);
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

const WingformExport::Look& WingformExport::lookOf(GraphMaterial* material) {
  auto [cached, added] = materialObjects_.try_emplace(material);
  Look& look = cached->second;
  if (!added) return look;
  std::array<std::string, 3> named;
  if (TextureSet* set = material ? material->Textures() : nullptr) {
    named = {set->DiffuseMap(), set->BumpMap(), set->DetailMap()};
    look.wrapU = set->WrapU();
    look.wrapV = set->WrapV();
  }
  // Textures the host copies beside the files are named there without their folders.
  std::array<std::string, 3> names = named;
  if (CopyNamedFiles())
    for (std::string& name : names)
      name = BareFileName(name);
  XObj& obj = objects_.GetObj(names[0], names[1], names[2]);
  const int16_t choice = options_.TextureChoice();
  if (choice == DdsChoice)
    obj.Extension = "dds";
  else if (choice == PngChoice)
    obj.Extension = "png";
  objectTextures_.try_emplace(&obj, ObjectTextures{named});
  look.obj = &obj;
  look.number = 0;
  for (const XObj& held : objects_) {
    if (&held == &obj) break;
    ++look.number;
  }
  return look;
}

void WingformExport::checkTextures(const std::string& file, const XObj& obj) {
  const auto found = objectTextures_.find(&obj);
  if (found == objectTextures_.end()) return;
  const ObjectTextures& textures = found->second;
  const std::string* names[] = {&obj.Texture, &obj.SecondTexture, &obj.ThirdTexture};
  for (size_t k = 0; k < 3; ++k) {
    const std::string written = obj.applyExtension(*names[k]);
    std::string expected = written;
    std::replace(expected.begin(), expected.end(), '\\', '/');
    CheckTextureReference(file, {textures.named[k], written, expected});
  }
  if (const int64_t n = textures.outsideTile; n > 0)
    Warn(file + ": " + std::to_string(n) + (n == 1 ? " triangle of \"" : " triangles of \"") +
         obj.applyExtension(obj.Texture) + (n == 1 ? "\" reaches" : "\" reach") +
         " past the edges of a texture their material clamps or mirrors; X-Plane repeats every "
         "texture, so there they show it otherwise than their source does");
}

void WingformExport::convertShape(const std::vector<MeshData>& pieces, int32_t lod, int32_t dist) {
  for (auto piece = pieces.rbegin(); piece != pieces.rend(); ++piece)
    convertPiece(*piece, lod, dist);
}

void WingformExport::convertPiece(const MeshData& data, int32_t lod, int32_t dist) {
  const std::vector<int32_t>& corners = data.corners;
  const int64_t n = static_cast<int64_t>(corners.size());
  // Each triangle record's object; triangles of one material usually follow each other, so
  // the material's object is looked up once per run of them.
  const auto walk = [&](auto visit) {
    GraphMaterial* lastMaterial = nullptr;
    const Look* look = nullptr;
    // The last triangle first, as the host's exporters walk the records.
    for (int64_t r = n - RecordLength - 1; r >= 0; r -= RecordLength) {
      const size_t triangle = static_cast<size_t>(r / RecordLength);
      if (triangle >= data.materials.size())
        Raise(err::SubscriptOutOfRange,
              "the mesh data has no material for triangle " + std::to_string(triangle));
      GraphMaterial* material = data.materials[triangle];
      if (!look || material != lastMaterial) {
        look = &lookOf(material);
        lastMaterial = material;
      }
      visit(*look, r);
    }
  };
  // First the triangles each object receives, so that its lists are sized once.
  std::unordered_map<XObj*, int64_t> counts;
  XObj* last = nullptr;
  int64_t* lastCount = nullptr;
  walk([&](const Look& look, int64_t) {
    if (look.obj != last) lastCount = &counts[last = look.obj];
    ++*lastCount;
  });
  const int64_t positionCount = static_cast<int64_t>(data.positions.size() / 3);
  const int64_t totalTriangles = static_cast<int64_t>(data.materials.size());
  for (const auto& [obj, triangles] : counts) {
    if (obj->IndexCount() < 0) {
      // Corners share vertices: at most one per corner, and about the object's share of the
      // positions (a table reserved too small only grows).
      const int64_t share = positionCount * triangles / std::max<int64_t>(totalTriangles, 1) + 1;
      obj->Vertices().Reserve(static_cast<int32_t>(
          std::min<int64_t>({3 * triangles, share, std::numeric_limits<int32_t>::max()})));
      obj->InitIndices(static_cast<int32_t>(
          std::min<int64_t>(triangles, std::numeric_limits<int32_t>::max() / 3)));
    }
    obj->SetDist(lod, dist);
  }
  const float s = unitScale_;
  // The vertex the last corner at each position became, with that corner's normal and
  // texture coordinate: a corner with the same three indices has the same values, so it
  // becomes the same vertex without rounding and looking them up again. Values with a NaN
  // are never equal, so they are not remembered.
  struct Seen {
    int32_t normal = -1, textureCoordinate = -1, vertex = -1, object = -1;
  };
  std::vector<Seen> seen(static_cast<size_t>(positionCount));
  walk([&](const Look& look, int64_t r) {
    XObj& obj = *look.obj;
    // A clamped or mirrored texture: the triangle's coordinates, brought where X-Plane's
    // repeating shows what the source shows. Such a triangle's corners are not remembered.
    std::array<Vec2, 3> fitted;
    bool moved = false;
    if (look.wrapU != TextureWrap::Repeat || look.wrapV != TextureWrap::Repeat) {
      for (size_t k = 0; k < 3; ++k)
        fitted[k] = Pair(data.textureCoordinates,
                         corners[static_cast<size_t>(r + FirstCorner + CornerLength * k + 2)]);
      const TileFit fit = FitToTile(fitted, look.wrapU, look.wrapV);
      moved = fit.moved;
      if (!fit.shown && lod == 0) ++objectTextures_[&obj].outsideTile;
    }
    for (int64_t k = 0; k < 3; ++k) {
      const int64_t c = r + FirstCorner + CornerLength * k;
      const int32_t position = corners[static_cast<size_t>(c)];
      const int32_t normal = corners[static_cast<size_t>(c + 1)];
      const int32_t coordinate = corners[static_cast<size_t>(c + 2)];
      Seen* last = !moved && position >= 0 && position < positionCount
                       ? &seen[static_cast<size_t>(position)]
                       : nullptr;
      if (last && last->object == look.number && last->normal == normal &&
          last->textureCoordinate == coordinate) {
        obj.AddIndex(last->vertex, lod);
        continue;
      }
      const Vec3 p = Triple(data.positions, position, "position");
      const Vec3 m = Triple(data.normals, normal, "normal");
      const Vec2 t =
          moved ? fitted[static_cast<size_t>(k)] : Pair(data.textureCoordinates, coordinate);
      // OBJ8 looks down the other z axis and counts v from the bottom edge of the image: 1 - v
      // reaches the texel the host's v reaches from the top, whatever the texture's wrap.
      const std::array<float, 8> values{p.x * s, p.y * s, -p.z * s, m.x,
                                        m.y,     -m.z,    t.u,      1.0f - t.v};
      const int32_t index = obj.AddVert(values[0], values[1], values[2], values[3], values[4],
                                        values[5], values[6], values[7]);
      obj.AddIndex(index, lod);
      if (last && std::none_of(values.begin(), values.end(), [](float v) { return v != v; }))
        *last = {normal, coordinate, index, look.number};
    }
  });
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
  WingformExport(exportFileName, exportGroup, sceneGraph, clock_).ShowDialog();
}

std::vector<CatalogForm> Wingform::CatalogForms() const {
  return {MakeCatalogForm<wingform::frmOptions>("frmOptions")};
}

}  // namespace vlm
