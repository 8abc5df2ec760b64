// frmOptions, "FSX Extended Parameters": the dialog in which the user edits every FS10
// parameter of one FS10Material, with five standard presets and a library of "*.Glazed"
// presets: those that come with the plug-in (in its folder) and the user's own (in the
// user's configuration folder, where a new build of the plug-ins cannot delete them).
//
// The dialog writes into its record only at OK. A slider shows the nearest position to its
// member's value; when the user leaves it alone, OK stores the member's original value, so
// that opening the dialog and pressing OK never changes a value silently. A drop-down list
// shows a text that is none of its entries as it is, and keeps it.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "glazier/fs10_material.h"
#include "vlm/forms.h"

namespace vlm::glazier {

// The folder of the user's own presets: "glazier" in the user's configuration folder.
std::filesystem::path UserLibraryFolder();

// The text of a preset file: the record's parameter string on one line ending in CR LF. A
// text member holding ";" or a line break could not come back from that line, so such a
// preset starts with the item "GlazedEscapes=1" and writes ";", CR, LF and "%" as %3B, %0D,
// %0A and %25; any other preset is the plain string that older tools read and write.
std::string PresetText(const FS10Material& record);
// Loads the text of a preset file (UTF-8 or Windows-1252; its first line) into `record`.
void LoadPreset(const std::string& text, FS10Material& record);

class frmOptions : public Form {
 public:
  frmOptions();

  // The record being edited; set before the dialog is shown.
  FS10Material* fx = nullptr;
  // The plug-in's folder: its presets are listed and can be loaded, never deleted.
  std::filesystem::path PluginFolder;
  // The user's presets: Save writes here, Delete removes from here. A user preset hides a
  // preset of the plug-in's folder with the same name. Empty until the dialog loads, which
  // then takes UserLibraryFolder().
  std::filesystem::path UserFolder;
  // True once OK has stored the controls into fx.
  bool Stored() const { return stored_; }

  void LoadFromRecord(FS10Material& record);
  void StoreToRecord(FS10Material& record);
  // Rebuilds lstUser from the user's folder and the plug-in's folder (each name once); Load
  // and Delete are enabled when it lists something.
  void RefreshUserList();

  TabStrip tbsOptions{*this, "tbsOptions"};
  ControlArray<PictureBox> picOptions{*this, "picOptions", 11};
  // Captions: 0 the texture kinds, 1-4, 6-8, 13 and 18 the slider values, the rest the
  // fixed captions of the panels.
  ControlArray<Label> Label1{*this, "Label1", 19};
  PictureBox Picture1{*this, "Picture1"};  // diffuse swatch
  PictureBox picSpec{*this, "picSpec"};    // specular swatch, click to change
  PictureBox Picture2{*this, "Picture2"};  // fresnel texture preview
  PictureBox Picture3{*this, "Picture3"};  // emissive texture preview
  Label lblTex{*this, "lblTex"};
  CommandButton cmdOK{*this, "cmdOK"};
  CommandButton cmdCancel{*this, "cmdCancel"};
  CommonDialog cdlg{*this, "cdlg"};

  // Other Texture
  Slider sDetailMap{*this, "sDetailMap"};
  Slider sBumpMap{*this, "sBumpMap"};
  // Fresnel Ramp
  CommandButton cmdFR{*this, "cmdFR"};
  CheckBox chkFRDiff{*this, "chkFRDiff"};
  CheckBox chkFRRef{*this, "chkFRRef"};
  CheckBox chkFRSpec{*this, "chkFRSpec"};
  // Precipitation
  CheckBox chkPrecip{*this, "chkPrecip"};
  CheckBox chkOffset{*this, "chkOffset"};
  Slider sPrecipOff{*this, "sPrecipOff"};
  // Special Functionality
  ControlArray<CheckBox> chkSF{*this, "chkSF", 5};
  Slider sRefScale{*this, "sRefScale"};
  Slider sSpecPower{*this, "sSpecPower"};
  // Bloom
  ControlArray<CheckBox> chkBloom{*this, "chkBloom", 5};
  Slider slBFloor{*this, "slBFloor"};
  Slider slAmbScale{*this, "slAmbScale"};
  // Framebuffer Blend
  ComboBox cmbSrc{*this, "cmbSrc"};
  ComboBox cmbDest{*this, "cmbDest"};
  CommandButton cmd1{*this, "cmd1"};
  CommandButton cmd2{*this, "cmd2"};
  // Emissive Properties
  CommandButton cmdET{*this, "cmdET"};
  ComboBox cmbEmissive{*this, "cmbEmissive"};
  // Material Alpha Test
  CheckBox chkZAlpha{*this, "chkZAlpha"};
  Slider sAlphaTest{*this, "sAlphaTest"};
  ComboBox cmbATestMode{*this, "cmbATestMode"};
  CheckBox chkFinal{*this, "chkFinal"};
  Slider sFinal{*this, "sFinal"};
  // Standard Materials, with the user library
  ControlArray<CommandButton> cmdStd{*this, "cmdStd", 5};
  ListBox lstUser{*this, "lstUser"};
  CommandButton cmdULoad{*this, "cmdULoad"};
  CommandButton cmdUSave{*this, "cmdUSave"};
  CommandButton cmdUDelete{*this, "cmdUDelete"};
  // Enhanced Parameters
  ControlArray<CheckBox> chkEP{*this, "chkEP", 12};
  // Aircraft Material
  ControlArray<CheckBox> chkAirMat{*this, "chkAirMat", 2};

 private:
  // A parameter and the control that edits it.
  struct Binding {
    const FS10Parameter* parameter;
    Control* control;
    PictureBox* preview;  // a texture button's
  };

  void AddTabs();
  void SetCaptions();
  void Bind();
  // The controls' events, and the rule of the pairs of boxes of which one may be checked.
  void ConnectEvents();
  void Form_Load();
  void PlaceOnTabs();
  void PlacePanels();
  void Form_KeyDown(int keyCode, int shiftState);
  void LoadControl(const Binding& bound, const FS10Material& record);
  void ShowSliderValue(const Binding& bound);
  // Sets a slider from a preset or button: the user's doing, so OK stores what it shows.
  void SetSlider(Slider& slider, int value);
  void ShowTextureButton(CommandButton& button, const std::string& path);
  void ShowPreview(PictureBox& preview, const std::string& path);
  void ChooseTexture(CommandButton& button, PictureBox& preview);
  void ChooseSpecularColor();
  void SetDefaultOpaque();
  void SetDefaultTransparent();
  void ApplyStandardMaterial(int index);
  void cmdUSave_Click();
  void cmdULoad_Click();
  void cmdUDelete_Click();
  // A record to save to or load from the library: the defaults, with what the string does not
  // carry taken from fx.
  FS10Material LibraryRecord() const;
  // The file a listed preset is read from: the user's, else the plug-in's.
  std::filesystem::path LibraryFile(const std::string& entry) const;

  std::vector<Binding> bindings_;
  // The member values that untouched sliders stand for, by slider.
  std::map<const Control*, float> untouched_;
  bool loading_ = false;
  bool stored_ = false;
};

}  // namespace vlm::glazier
