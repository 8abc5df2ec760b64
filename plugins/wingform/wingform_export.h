// The one export of Wingform, shared by the files that build it: its class and limits.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "vlm/error.h"
#include "vlm/export_support.h"
#include "vlm/model.h"
#include "vlm/progress.h"
#include "wingform/wingform.h"
#include "wingform/xobj.h"

namespace vlm::wingform {

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

// True when the triangles' materials are all the shape's materials and none has a problem.
// Asking the shape for its materials one by one can cost a walk of its polygons each time.
bool NamesClean(Shape& shape, const MeshData& data);

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
  // The one level of a mode other than automatic, up to the farthest distance; true when
  // something was found.
  bool convertOneLevel(Node& node, const ProgressTask& progress);
  // The automatic levels: all the triangles up to NearLevel, then those seen from there up to
  // MiddleLevel and those seen from there up to the farthest distance, each when it saves
  // enough polygons; true when the last gather found something.
  bool convertAutomaticLevels(Node& node, const ProgressTask& progress);
  // Makes the triangles seen from `limit` metres level `level`, up to `dist`, when `count`, the
  // polygons of the level before, is more than LevelGain times theirs (and `count` becomes
  // theirs); otherwise the level before reaches `dist`. True when the level was made; `found`
  // is the gather's.
  bool convertFartherLevel(Node& node, int32_t limit, int32_t level, int32_t dist, double& count,
                           bool& found);
  // Writes one file per object, numbered after the first, and warns about their textures.
  void writeObjects();
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
  // Calls visit(look, r) for each triangle record of the piece, r its first entry, the last
  // first, with its material's look.
  template <typename Visit>
  void walkTriangles(const MeshData& data, Visit visit);
  // Sizes the lists of each object the piece's triangles go to, once, and sets its distance
  // at level `lod`.
  void prepareObjects(const MeshData& data, int32_t lod, int32_t dist);
  struct Seen;  // what a corner at one position became, by position
  // Adds the triangle of record r to its look's object at level `lod`.
  void addTriangle(const MeshData& data, const Look& look, int64_t r, int32_t lod,
                   std::vector<Seen>& seen);
  // The name of the k-th file (k from 1) written after the first.
  std::string numberedName(int32_t k) const;

  // ---- the scene's own OBJ8 data (obj8_data.cpp) ---------------------------------------------
  // True when the node carries what an imported OBJ8 file brought (an OBJ8 field on it, an
  // ancestor or a group below it, a material it uses drawn otherwise than Wingform draws
  // every material) or, with Custom LODs, level groups ("LOD 0-300") or level nodes: its files
  // are then written by convertWithData.
  bool carriesData(Node& node);
  // With Custom LODs and no level groups, the node and the root's nodes named after it with a
  // number of metres ("Body_200"), by number (CustomLevelNodes); empty when there are none.
  std::vector<LevelNode> levelNodes(Node& node);
  // One pass over the node that writes its animations, items, drawing states and levels
  // around the geometry they govern, as the files' command sections; true when something was
  // found.
  bool convertWithData(Node& node);
  struct DataPass;  // what the pass met, in order
  // Walks a node whose frame maps into the current animation's by `toFrame` (row vectors,
  // scene units); `path` holds the animations around it, `level` its level (-1: none).
  void gatherData(Node& node, const Mat4& toFrame, DataPass& pass, size_t path, int32_t level);
  void gatherShapes(Node& node, const Mat4& toFrame, DataPass& pass, size_t path, int32_t level);
  // Adds the triangle of record r to its object as a run of the pass, or to the run before.
  void addRun(const MeshData& data, const Look& look, int64_t r, std::vector<Seen>& seen,
              DataPass& pass, size_t path, int32_t level);
  // Each object's command section from the pass's events.
  void writeData(DataPass& pass);

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
  // The OBJ8 field's slots in the document (below 0 when it has none).
  int32_t nodeField_ = -1, materialField_ = -1;
  std::vector<std::string> tooSmall_;  // shapes the gather under way leaves out as too small
};

// The vertex the last corner at a position became, with that corner's normal and texture
// coordinate: a corner with the same three indices has the same values, so it becomes the same
// vertex without rounding and looking them up again. Values with a NaN are never equal, so they
// are not remembered.
struct WingformExport::Seen {
  int32_t normal = -1, textureCoordinate = -1, vertex = -1, object = -1;
};

// Triangles of one material usually follow each other, so the material's object is looked up
// once per run of them.
template <typename Visit>
void WingformExport::walkTriangles(const MeshData& data, Visit visit) {
  const int64_t n = static_cast<int64_t>(data.corners.size());
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
}

}  // namespace vlm::wingform
