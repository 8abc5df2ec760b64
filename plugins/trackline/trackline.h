// Trackline: exports a group of the scene as one rail-sim IGS geometry file.
//
// The export shows the options dialog ("Export Options"); each press of Start Export runs
// one export with the chosen levels of detail and logs its progress in the dialog:
// - collect: the chosen node's tree is walked once per level of detail; every node with
//   exported geometry below it becomes a block, named after its level and distance, its own
//   textured meshes chosen to be merged into one shape, and their materials enter the
//   material table;
// - build: the blocks are numbered depth first, each gets its transform and one mesh;
// - write: each mesh is merged, and its vertices and triangles made, as the file reaches it;
//   its vertices are written at once (a later level's repeat of a mesh copies the bytes
//   already written), and the references become file offsets as their records are placed.
// The blocks and the material table are built and checked before the file is begun, and the
// file is replaced only when it is complete: an export that stops (a limit of the format, a
// bad parameter) logs why and changes no file. When the dialog closes with no file written,
// the export fails with the reason the last stopped run gave.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "vlm/contracts/form_catalog.h"
#include "vlm/export_support.h"
#include "vlm/format_limits.h"
#include "vlm/plugin_bases.h"

namespace vlm {

namespace trackline {

// The export options: the levels of detail, a texture for materials that have none (empty:
// their shapes are left out) and whether over-long block names are shortened. Nothing is
// remembered once the dialog closes.
class frmOptions final : public ExportOptionsForm {
 public:
  frmOptions();

  Label lblDefTex{*this, "lblDefTex"};
  TextBox txtDefTex{*this, "txtDefTex"};
  CheckBox chkShortNames{*this, "chkShortNames"};
};

}  // namespace trackline

class Trackline final : public ImportExportBase, public FormCatalogBase {
 public:
  static constexpr std::string_view ClassDescription = "Rail Sim Export Plugin for VLM";
  // The title of the exporter's message boxes.
  static constexpr const char* Title = "Trackline";
  // The most custom level nodes (the chosen node included).
  static constexpr size_t MaxLevelNodes = igs::MaxLevelNodes;

  Trackline();

 protected:
  // The dialogs the tool can show, as a first run shows them.
  std::vector<CatalogForm> CatalogForms() const override;
  // One export (an ExportSession) with the options dialog (Start Export runs one).
  void Export(const std::string& exportFileName, Node* exportGroup,
              vlm::SceneGraph& sceneGraph) override;
};

}  // namespace vlm
