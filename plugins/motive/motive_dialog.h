// The dialog of Motive, "Animation Assistant": one animation and visibility tag for a node.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "fs10/tether_config.h"
#include "vlm/forms.h"

namespace vlm::motive {

class frmDialog final : public Form {
 public:
  // Reads "tether.xml" and the part definitions file it names from `pluginFolder` when it
  // loads; a part definitions file that cannot be read fails the load (vlm::Error naming it).
  // A dialog made only to be described (`described`) shows it with empty lists and a warning.
  explicit frmDialog(std::filesystem::path pluginFolder, bool described = false);

  bool OK = false;
  std::string attachText;  // the visibility tag, or ""
  std::string newName;     // animation + "_" + suffix, or ""

  ComboBox cmbAnim{*this, "cmbAnim"};
  Label Label1{*this, "Label1"};
  TextBox txtName{*this, "txtName"};
  Label Label6{*this, "Label6"};
  ListBox lstVis{*this, "lstVis"};
  Label Label2{*this, "Label2"};
  Label Label3{*this, "Label3"};
  Label Label4{*this, "Label4"};
  Label Label5{*this, "Label5"};
  Label lblMessage{*this, "lblMessage"};
  CommandButton OKButton{*this, "OKButton"};
  CommandButton CancelButton{*this, "CancelButton"};

 private:
  void formLoad();
  void cmbAnimClick();
  void okButtonClick();

  std::filesystem::path pluginFolder_;
  bool described_;
  std::optional<tetherconfig::PartDefinitions> parts_;
};

}  // namespace vlm::motive
