// Wingform: exports a group as X-Plane OBJ8 objects, one file per texture set.
//
// The export dialog collects the options; each press of "Start Export" walks the chosen node,
// merges its shapes in the node's frame, turns their triangles into the per-texture objects
// (with up to three levels of detail in automatic mode) and writes one file per object: the
// first under the chosen name, the next ones as house.1.obj, house.2.obj, ...
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vlm/contracts/form_catalog.h"
#include "vlm/export_support.h"
#include "vlm/plugin_bases.h"
#include "wingform/xobj.h"

namespace vlm {

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

class Wingform final : public ImportExportBase, public FormCatalogBase {
 public:
  // The settings' application and section, and the title of the exporter's messages.
  static constexpr const char* SettingsApplication = "VLMPlugin";
  static constexpr const char* Title = "XP-OBJ8";

  Wingform();

  // The clock of the files' date line (SystemClock unless replaced).
  void SetClock(Clock clock) { clock_ = std::move(clock); }

 protected:
  // The dialogs the tool can show, as a first run shows them.
  std::vector<CatalogForm> CatalogForms() const override;
  // One export (an ExportSession) with the options dialog; each press of Start Export writes
  // the files anew. A failure is reported in the dialog's log and takes back the files of the
  // press; when the dialog closes with no press written, the export fails with the last reason.
  void Export(const std::string& exportFileName, Node* exportGroup,
              vlm::SceneGraph& sceneGraph) override;

 private:
  Clock clock_ = SystemClock;
};

}  // namespace vlm
