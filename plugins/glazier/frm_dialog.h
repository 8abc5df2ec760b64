// frmDialog, "Multi-Material Edit": the picker that asks which of several materials to edit.
#pragma once

#include <vector>

#include "vlm/forms.h"
#include "vlm/model.h"

namespace vlm::glazier {

class frmDialog : public Form {
 public:
  frmDialog();

  // Appends a material and its line "position diffuse-texture" (1-based). The first material
  // added is selected at once.
  void Add(vlm::Material* mat);

  // Read after the dialog closes: OK is true when it closed with OK, SelMaterial the material
  // chosen.
  bool OK = false;
  vlm::Material* SelMaterial = nullptr;

  ListBox lstMat{*this, "lstMat"};
  CheckBox chkCopy{*this, "chkCopy"};
  Frame Frame1{*this, "Frame1"};
  PictureBox picCol{*this, "picCol"};
  // Diffuse, specular and ambient levels, translucency, and the texture names.
  ControlArray<Label> lbl{*this, "lbl", 5};
  Label Label1{*this, "Label1"};
  Label Label2{*this, "Label2"};
  CommandButton OKButton{*this, "OKButton"};
  CommandButton CancelButton{*this, "CancelButton"};

 private:
  void lstMat_Click();
  void OKButton_Click();

  std::vector<vlm::Material*> materials_;
};

}  // namespace vlm::glazier
