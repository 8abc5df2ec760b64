// The dialog of Tether, "Attach Tool": what to attach, and where.
#pragma once

#include <filesystem>
#include <string>

#include "vlm/forms.h"

namespace vlm::tether {

class frmDialog final : public Form {
 public:
  // Reads "tether.xml" from `pluginFolder` when it loads.
  explicit frmDialog(std::filesystem::path pluginFolder);

  bool OK = false;         // closed with OKButton
  std::string attachText;  // the attachment text built by OKButton

  // Effect, Library Object, Visibility, Mouse Rect, Platform.
  ControlArray<CheckBox> chk{*this, "chk", 5};
  CheckBox chkNoCrash{*this, "chkNoCrash"};
  CheckBox chkEmpty{*this, "chkEmpty"};
  Label Label1{*this, "Label1"};
  TextBox txtName{*this, "txtName"};
  // One tab and one panel per chk entry, in the same order.
  TabStrip tabs1{*this, "tabs1"};
  ControlArray<PictureBox> pic{*this, "pic", 5};
  ComboBox lstEffect{*this, "lstEffect"};
  Label Label2{*this, "Label2"};
  TextBox txtEffect{*this, "txtEffect"};
  Label Label3{*this, "Label3"};
  TextBox txtGuid{*this, "txtGuid"};
  ListBox lstVis{*this, "lstVis"};
  ListBox lstMouseR{*this, "lstMouseR"};
  ListBox lstPlatform{*this, "lstPlatform"};
  // The offset from the face in hundredths of a unit.
  Slider sldDist{*this, "sldDist"};
  Label lblSlide{*this, "lblSlide"};
  Label lblMessage{*this, "lblMessage"};
  CommandButton OKButton{*this, "OKButton"};
  CommandButton CancelButton{*this, "CancelButton"};

 private:
  void formLoad();
  void chkClick(int index);
  void chkEmptyClick();
  void tabs1Click();
  void placeOnTabs();
  void sldDistChange();
  std::string buildAttachText(std::string& problem) const;
  bool checkedAndEnabled(const CheckBox& box) const { return box.Value() == 1 && box.Enabled(); }

  std::filesystem::path pluginFolder_;
};

}  // namespace vlm::tether
