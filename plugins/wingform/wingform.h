// Wingform: exports a group as X-Plane OBJ8 objects, one file per texture set.
//
// The export dialog collects the options; each press of "Start Export" walks the chosen node,
// merges its shapes in the node's frame, turns their triangles into the per-texture objects
// (with up to three levels of detail in automatic mode) and writes one file per object: the
// first under the chosen name, the next ones as house.1.obj, house.2.obj, ...
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "vlm/contracts/form_catalog.h"
#include "vlm/contracts/import_export.h"
#include "vlm/error.h"
#include "vlm/export_support.h"
#include "vlm/math.h"
#include "vlm/model/graph_material.h"
#include "vlm/model/types.h"
#include "wingform/xobj.h"

namespace vlm {

class GraphMaterial;
class Node;
class SceneGraph;
class Shape;

// The level-of-detail modes of the dialog (its optLOD index).
enum class lodType : int16_t { None = 0, Auto = 1, Custom = 2 };

namespace wingform {

// The export options: the "Export Options" dialog with the maximum visible distance and the
// texture extension choice, both remembered per user.
class frmOptions final : public ExportOptionsForm {
 public:
  frmOptions();

  // The selected optTex index, 0 when none is selected.
  int16_t TextureChoice() const;

  Label lblMax{*this, "lblMax"};
  TextBox txtDist{*this, "txtDist"};
  Frame Frame2{*this, "Frame2"};
  ControlArray<OptionButton> optTex{*this, "optTex", 3};
};

}  // namespace wingform

class Wingform final : public ImportExportBase, public FormCatalogBase, public ExportRunner {
 public:
  // The settings' application and section, and the title of the exporter's messages.
  static constexpr const char* SettingsApplication = "VLMPlugin";
  static constexpr const char* Title = "XP-OBJ8";

  Wingform();

  // One export with the dialog's current options; the dialog stays open. A failure is
  // reported in the dialog's log and takes back the files of the press; when the dialog
  // closes with no press written, the export itself fails with the last reason.
  void Run() override;

  // The clock of the files' date line (SystemClock unless replaced).
  void SetClock(Clock clock) { clock_ = std::move(clock); }

 protected:
  // The dialogs the tool can show, as a first run shows them.
  std::vector<CatalogForm> CatalogForms() const override;
  void Export(const std::string& exportFileName, Node* exportGroup,
              vlm::SceneGraph& sceneGraph) override;

 private:
  void runExport();
  // Exports one node: the levels of detail of the chosen mode, then one file per object.
  void exportMain(Node& node);
  // The triangles of one group, in the exported node's frame: the group's shapes merged (or
  // its only shape itself when the group lies in that frame, which `moved` then says).
  // Appends the triangles of the node's shapes, then those of its descendants before them
  // (children first), each group's in the exported node's frame; true when something was
  // found (or, in automatic mode, left out as too small). The pieces in order hold what one
  // shape merged from all of them would.
  bool gatherNode(Node& node, int32_t limit, std::vector<MeshData>& pieces);
  // The shapes' triangles in the exported node's frame, the group's frame being worldMatrix_.
  MeshData groupMeshData(const std::vector<Shape*>& shapes);
  // False when the shape is too small to be seen at `limit` metres.
  bool sizeCheck(Shape& sh, int32_t limit);
  // Stops the run (vlm::Error) when a texture name of the shape's materials holds a control
  // character, which would break the lines of the file.
  void checkTextureNames(Shape& shape);
  // The transform from the node's frame to the exported node's, kept in worldMatrix_.
  void computeWorldMatrix(Node& node);
  void transformShape(Shape& shape);
  // The object of a material's texture set, and how its textures wrap.
  struct Look {
    XObj* obj = nullptr;
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
  void log(const std::string& line);

  vlm::SceneGraph* sceneGraph_ = nullptr;
  Node* rootNode_ = nullptr;
  Node* exportNode_ = nullptr;
  Node* exportedNode_ = nullptr;
  std::string fileName_;
  std::unique_ptr<wingform::frmOptions> form_;
  // Metres per document unit; a units code the exporter does not know counts as metres.
  float unitScale_ = 1.0f;
  XObjCol objects_;
  // The object of each material met in this run, so that it is looked up once.
  std::unordered_map<GraphMaterial*, Look> materialObjects_;
  // Per object: its three texture names as the scene gives them, and its triangles (of the
  // first level) whose coordinates leave the part of a clamped or mirrored texture that
  // X-Plane, which repeats every texture, shows as the source does.
  struct ObjectTextures {
    std::array<std::string, 3> named;
    int64_t outsideTile = 0;
  };
  std::unordered_map<const XObj*, ObjectTextures> objectTextures_;
  lodType lodMode_ = lodType::None;
  int32_t maxDistance_ = 0;
  int32_t animationTimeLimit_ = 0;
  Mat4 worldMatrix_ = Mat4::Identity();
  Clock clock_ = SystemClock;
  // Whether a press of this dialog wrote its files, and the last press's failure.
  bool wroteFiles_ = false;
  std::optional<Error> failure_;
};

}  // namespace vlm
