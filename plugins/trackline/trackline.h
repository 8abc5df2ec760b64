// Trackline: exports a group of the scene as one rail-sim IGS geometry file.
//
// The export shows the options dialog ("Export Options"); each press of Start Export runs
// one export with the chosen levels of detail and logs its progress in the dialog:
// - collect: the chosen node's tree is walked once per level of detail; every node with
//   exported geometry below it becomes a block, named after its level and distance, its own
//   textured meshes merged into one shape, and their materials enter the material table;
// - build: the blocks are numbered depth first, each gets its transform and one mesh of
//   vertices and triangles;
// - write: references become file offsets and the file is written in one piece.
// Every record is built and checked in memory first, and the file is replaced only when it
// is complete: an export that stops (a limit of the format, a bad parameter) logs why and
// changes no file. When the dialog closes with no file written, the export fails with the
// reason the last stopped run gave.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "trackline/igs_file.h"
#include "trackline/material_table.h"
#include "trackline/vertex_index.h"
#include "vlm/contracts/form_catalog.h"
#include "vlm/contracts/import_export.h"
#include "vlm/export_support.h"
#include "vlm/model.h"

namespace vlm {

class Trackline final : public ImportExportBase, public FormCatalogBase, public ExportRunner {
 public:
  static constexpr std::string_view ClassDescription = "Rail Sim Export Plugin for VLM";
  // The title of the exporter's message boxes.
  static constexpr const char* Title = "Trackline";
  // The most custom level nodes (the chosen node included).
  static constexpr size_t MaxLevelNodes = 10;

  Trackline();

  // One export with the dialog's current options (Start Export).
  void Run() override;

 protected:
  // The dialogs the tool can show, as a first run shows them.
  std::vector<CatalogForm> CatalogForms() const override;
  void Export(const std::string& exportFileName, Node* exportGroup,
              vlm::SceneGraph& sceneGraph) override;

 private:
  struct LevelNode {
    Node* node;
    int32_t number;  // the number after the chosen node's name; 0 for the chosen node
  };
  // The walk of the node tree for one level of detail, and what every walk of a run gathered.
  struct Gathering {
    int32_t level = 0;
    int32_t distance = 0;
    int32_t blockCount = 0;  // blocks added by every walk so far
  };

  void exportNode(Node& chosen);
  // The chosen node first, then the root's nodes named after it with a number, by number.
  std::vector<LevelNode> customLevels(Node& chosen);
  // Adds `node` and its subtree under `parent` for the walk's level; true when it has
  // geometry.
  bool collect(Node& node, selGroup& parent, Gathering& gathering);
  bool passesSizeCheck(Shape& shape, int32_t distance) const;
  // The first of a shape's materials without a usable texture (1-based), or 0 when all have
  // one.
  static int32_t untexturedMaterial(const std::vector<GraphMaterial*>& materials);
  std::string baseName(Node& node);
  std::string blockName(const std::string& base, int32_t level, int32_t distance) const;
  // Builds the block of `record` at `index` (its mesh has the same index), then its
  // children's blocks depth first; returns the index after the last block built.
  igs::RecordIndex buildBlock(selGroup& record, igs::RecordIndex index, igs::RecordIndex parent);
  void buildMesh(Shape* shape, const std::string& block, igs::MeshRecords& out);
  void releaseTables();
  void log(const std::string& text);

  // Kept between the dialog's button clicks.
  int16_t levelMode_ = 0;  // the chosen option: 0 none, 1 automatic, 2 custom level nodes
  float scale_ = 0;
  vlm::SceneGraph* sceneGraph_ = nullptr;
  Node* rootNode_ = nullptr;
  Node* exportGroup_ = nullptr;
  std::string exportFileName_;
  ExportOptionsForm* frm_ = nullptr;
  int32_t nodeSlot_ = -1;  // the node text "Rail Sim"
  // The reason the last stopped run gave, and whether any run of the dialog wrote the file.
  std::optional<Error> failure_;
  bool wroteFile_ = false;

  // Rebuilt by every run.
  igs::MaterialTable materials_;
  igs::IgsFile file_;
  igs::VertexIndex vertexIndex_;
};

}  // namespace vlm
