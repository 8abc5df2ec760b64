#include "glazier/frm_dialog.h"

#include <string>

#include "glazier/number_forms.h"

namespace vlm::glazier {

frmDialog::frmDialog() : Form("frmDialog") {
  SetCaption("Multi-Material Edit");
  chkCopy.SetCaption("Copy FSX parameters to other materials  on saving.");
  Frame1.SetCaption("Selected Material");
  Label1.SetCaption("Base Material");
  Label2.SetCaption("Select Material to Edit:");
  // The chosen material's colour and levels sit in the frame, the list under its caption.
  Label2.SetBuddy(&lstMat);
  Label1.SetBuddy(&picCol);
  for (Control* c : std::initializer_list<Control*>{&picCol, &Label1, &lbl(0), &lbl(1), &lbl(2),
                                                    &lbl(3), &lbl(4)})
    c->SetContainer(&Frame1);
  OKButton.SetCaption("OK");
  OKButton.Default = true;
  CancelButton.SetCaption("Cancel");
  CancelButton.Cancel = true;

  lstMat.Click = [this] { lstMat_Click(); };
  OKButton.Click = [this] { OKButton_Click(); };
  CancelButton.Click = [this] {
    OK = false;
    Hide();
  };
}

void frmDialog::Add(vlm::Material* mat) {
  materials_.push_back(mat);
  lstMat.AddItem(std::to_string(materials_.size()) + " " + mat->DiffuseTexture());
  // The line names the texture, which two materials may share or lack: the material's own
  // name beside it tells them apart.
  lstMat.SetItemNote(lstMat.ListCount() - 1, mat->Name());
  if (lstMat.ListCount() == 1) lstMat.SetListIndex(0);
}

void frmDialog::lstMat_Click() {
  const int index = lstMat.ListIndex();
  if (index < 0 || static_cast<size_t>(index) >= materials_.size()) return;
  SelMaterial = materials_[static_cast<size_t>(index)];
  vlm::Material& m = *SelMaterial;
  lbl(0).SetCaption("Diffuse " + std::to_string(m.DiffuseLevel()));
  lbl(1).SetCaption("Specular " + std::to_string(m.SpecularLevel()));
  lbl(2).SetCaption("Ambient " + std::to_string(m.AmbientLevel()));
  lbl(3).SetCaption("Transucent " + std::to_string(m.Translucency()));
  lbl(4).SetCaption(m.DiffuseTexture() + "\r" + m.DetailTexture() + "\r" + m.BumpTexture() + "\r" +
                    m.EnvironmentTexture());
  const Rgb c = m.GetDiffuseColor();
  picCol.SetBackColor(glazier::ColorValue(c.r, c.g, c.b));
}

void frmDialog::OKButton_Click() {
  // OK means "edit this one": without a chosen material there is nothing to edit yet.
  if (!SelMaterial) {
    MsgBox("Please select the material to edit.", mb::Information | mb::OKOnly);
    return;
  }
  OK = true;
  Hide();
}

}  // namespace vlm::glazier
