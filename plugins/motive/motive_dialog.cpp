#include "motive/motive_dialog.h"

#include "fs10/attachment.h"
#include "vlm/error.h"
#include "vlm/warnings.h"

namespace vlm::motive {

frmDialog::frmDialog(std::filesystem::path pluginFolder, bool described)
    : Form("frmDialog"), pluginFolder_(std::move(pluginFolder)), described_(described) {
  SetCaption("Animation Assistant");
  Label1.SetCaption("Suffix");
  Label6.SetCaption("Visibility Tag");
  Label2.SetCaption("Type :");
  Label3.SetCaption("Length :");
  Label4.SetCaption("Param 1:");
  Label5.SetCaption("Param 2:");
  lblMessage.SetCaption("Rename group for animation");
  OKButton.SetCaption("OK");
  OKButton.Default = true;
  CancelButton.SetCaption("Cancel");
  CancelButton.Cancel = true;

  OnLoad = [this] { formLoad(); };
  cmbAnim.Click = [this] { cmbAnimClick(); };
  OKButton.Click = [this] { okButtonClick(); };
  CancelButton.Click = [this] {
    OK = false;
    Hide();
  };
}

// Without tether/parts in "tether.xml" (or without the file) both lists stay empty; a damaged
// "tether.xml" is reported as a warning that names it. When the registry does not give the
// place of the part definitions file, "modeldef.xml" in the plug-in's folder is read.
void frmDialog::formLoad() {
  const auto config = tetherconfig::TetherConfig::Load(pluginFolder_);
  if (!config.Problem().empty()) Warn(config.Problem());
  const auto parts = config.Parts();
  if (!parts) return;

  const std::optional<std::string> location = tetherconfig::Resolve(*parts);
  const std::filesystem::path file =
      location ? tetherconfig::FileSystemPath(*location) : pluginFolder_ / "modeldef.xml";
  try {
    parts_ = tetherconfig::PartDefinitions::Load(file);
  } catch (const Error& e) {
    if (!described_) throw;
    Warn(e.Description() + "; the animation and visibility lists stay empty");
    return;
  }
  for (const std::string& name : parts_->VisibilityParts())
    lstVis.AddItem(name);
  for (const std::string& name : parts_->AnimationNames())
    cmbAnim.AddItem(name);
}

// Shows the chosen animation's attributes and selects the visibility part of the same name.
// The animation is found by comparing its name attribute, so any name (quotes included) works.
void frmDialog::cmbAnimClick() {
  const std::string chosen = cmbAnim.Text();
  if (parts_) {
    if (auto animation = parts_->FindAnimation(chosen)) {
      if (animation->type) Label2.SetCaption("Type : " + *animation->type);
      if (animation->length) Label3.SetCaption("Length : " + *animation->length);
      if (animation->typeParam) Label4.SetCaption("Param 1: " + *animation->typeParam);
      if (animation->typeParam2) Label5.SetCaption("Param 2: " + *animation->typeParam2);
    }
  }
  lstVis.SetListIndex(-1);
  lstVis.SetListIndex(lstVis.FindItem(chosen));
}

void frmDialog::okButtonClick() {
  attachText.clear();
  newName.clear();
  if (!cmbAnim.Text().empty()) newName = cmbAnim.Text() + "_" + txtName.Text();
  if (!lstVis.Text().empty())
    attachText =
        "<Visibility name=\"" + attachment::EscapeXml(lstVis.Text()) + "\" > </Visibility> ";
  OK = true;
  Hide();
}

}  // namespace vlm::motive
