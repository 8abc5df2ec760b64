// Stairwright: builds a straight flight of steps.
//
// Two sloping side supports and a row of step boards between them, each a box object in a
// new group "Steps", from seven numbers. No selection is needed. The dialog shows a side
// view of the flight that follows the numbers as they are edited.
#pragma once

#include <cstdint>
#include <string>

#include "vlm/contracts/form_catalog.h"
#include "vlm/model.h"
#include "vlm/numeric_dialog.h"
#include "vlm/plugin_bases.h"

namespace vlm {

// The dialog: Height, Base, Width, Step Width, Step Depth, Steps, Side Width, with the side
// view in picBuf.
class frmStep final : public NumericDialog {
 public:
  frmStep();
  Frame frmOpt;
  ControlArray<Label> lbl;
  PictureBox picBuf;
  CommandButton cmdHelp;

  // Redraws the side view from the fields; a field that cannot be read leaves its part out.
  void drawPreview();

 protected:
  void txtLostFocus(int index) override;
  bool isCount(int index) const override;
  std::string fieldLabel(int index) const override;
  void loaded() override { drawPreview(); }
};

// The faces a box gets, by bit.
namespace boxface {
inline constexpr int Top = 1;
inline constexpr int MinusX = 2;
inline constexpr int PlusX = 4;
inline constexpr int PlusZ = 8;
inline constexpr int MinusZ = 16;
inline constexpr int Bottom = 32;
inline constexpr int All = 63;
}  // namespace boxface

class Stairwright final : public PluginBase, public FormCatalogBase {
 public:
  Stairwright();

  // Fills the empty object `box` with an axis-aligned box: one texture coordinate, six
  // normals, eight vertices, the faces of `mask`; then smoothing angle 70 and Update.
  static void makeBox(vlm::Object& box, Vec3 centre, Vec3 half, int mask);

 protected:
  // The dialogs the tool can show, as a first run shows them.
  std::vector<CatalogForm> CatalogForms() const override;
  void Apply(vlm::Scene& scene, vlm::SceneGraph& sceneGraph, int32_t deviceId) override;

 private:
  struct Fields {
    float H, B, W, T, D, S;
    int16_t n;
    float r;      // rise per step
    float slope;  // run per unit of height, B / H
  };
  // Reads the fields and checks that the flight can be built, before anything is created.
  static Fields readFields(const frmStep& dialog);
  void addBox(vlm::Group& group, const std::string& name, Vec3 centre, Vec3 half, int mask,
              float shear = 0);

  vlm::Scene* scene_ = nullptr;
};

}  // namespace vlm
