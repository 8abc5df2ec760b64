// The one export of Trackline, shared by the files that build it: its class and limits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "trackline/igs_file.h"
#include "trackline/igs_records.h"
#include "trackline/material_table.h"
#include "trackline/texts.h"
#include "trackline/trackline.h"
#include "trackline/vertex_index.h"
#include "vlm/export_support.h"
#include "vlm/model.h"

namespace vlm::trackline {

using igs::Contains;
using igs::ExportStopped;

// A shape's materials, asked for once: the host may work each one out anew.
std::vector<GraphMaterial*> MaterialsOf(Shape& shape);

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
  // Builds the block of `record` at `index` (its mesh has the same index: built when the file
  // is written), then its children's blocks depth first; returns the index after the last
  // block built.
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

  // A mesh that is built when the file is written: the shapes merged into it, whether it is
  // a shadow, and its block's name.
  struct UnbuiltMesh {
    std::vector<Shape*> parts;
    bool shadow = false;
    std::string block;
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
  std::map<const selGroup*, UnbuiltMesh> unbuilt_;  // by block, as collected
  std::vector<UnbuiltMesh> toBuild_;                // by mesh index, once the blocks are built
};

}  // namespace vlm::trackline
