#include "glazier/frm_options.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <initializer_list>
#include <system_error>

#include "glazier/fs10_parameters.h"
#include "glazier/number_forms.h"
#include "vlm/error.h"
#include "vlm/text.h"
#include "vlm/warnings.h"

namespace vlm::glazier {
namespace {

constexpr int kShownLeft = 120;
constexpr int kHiddenLeft = -20000;
constexpr const char* kNone = "<< None >>";

// The standard presets. Each checks chkBloom(0) and sets the bloom floor to 90 and the ambient
// scale to 100; the rest it sets only where it says so.
enum class Blend : uint8_t { Kept, Opaque, Transparent };
struct StandardMaterial {
  const char* caption;
  const char* toolTip;
  bool fresnel;                // checks chkFRRef and chkFRSpec
  const char* fresnelTexture;  // nullptr: kept
  unsigned specialChecks;      // bit i checks chkSF(i)
  int reflectionScale;         // sRefScale, -1: kept
  bool noShadow, tailNumber;   // check chkEP(4), chkAirMat(1)
  Blend blend;                 // then "Set Default Opaque" or "Set Default Transparent"
};
constexpr int kSpecularPower = 202;  // sSpecPower wherever a preset sets the reflection scale
constexpr StandardMaterial kStandardMaterials[] = {
    {"General Material",
     "used for the main parts of an aircraft, where there is no alpha component", true, nullptr, 0,
     30, false, false, Blend::Kept},
    {"Propeller", "This is used for propeller discs that have partial transparency", false, "", 0,
     30, true, false, Blend::Transparent},
    {"Gloss", "Gloss is used for painted surfaces", true, "fresnel_ramp.dds", 0b10001, 30, false,
     false, Blend::Opaque},
    {"Chrome", "Chrome is used for propeller spinners and landing gear sliders", true, "", 0b10101,
     40, false, false, Blend::Opaque},
    {"Tail Number", "Tail numbers are used for ATC identification decals", true, nullptr, 0, -1,
     false, true, Blend::Transparent},
};

// The kind of control that edits a parameter of each kind.
ControlKind ControlFor(ParameterKind kind) {
  switch (kind) {
    case ParameterKind::Flag:
      return ControlKind::CheckBox;
    case ParameterKind::Number:
      return ControlKind::Slider;
    case ParameterKind::Enum:
      return ControlKind::ComboBox;
    case ParameterKind::Text:
      return ControlKind::CommandButton;
    case ParameterKind::Colour:
      break;
  }
  return ControlKind::PictureBox;
}

// The file name part of a path: after the last "\" (or "/", for a path picked here).
std::string FileNamePart(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

frmOptions::frmOptions() : Form("frmOptions") {
  SetCaption("FSX Extended Parameters");
  KeyPreview = true;
  AddTabs();
  SetCaptions();
  Bind();
  ConnectEvents();
  PlaceOnTabs();
}

void frmOptions::AddTabs() {
  const std::pair<const char*, const char*> tabs[] = {
      {"Other Texture", "Other Texture Info"},
      {"Fresnel Ramp", ""},
      {"Precipitation", ""},
      {"Special Functionality", ""},
      {"Bloom", ""},
      {"Framebuffer Blend", ""},
      {"Emissive Properties", ""},
      {"Material Alpha Test", ""},
      {"Standard Materials", "Settings from SDK"},
      {"Enhanced Parameters", ""},
      {"Aircraft Material", ""},
  };
  for (const auto& [caption, tip] : tabs)
    tbsOptions.AddTab(caption, tip);
}

// The captions and tooltips of the controls that edit no parameter.
void frmOptions::SetCaptions() {
  Label1(5).SetCaption("Diffuse");
  Label1(9).SetCaption("Specular (Click to change)");
  Label1(10).SetCaption("Base Material");
  Label1(0).SetBuddy(&lblTex);
  Label1(5).SetBuddy(&Picture1);
  Label1(9).SetBuddy(&picSpec);
  Label1(17).SetCaption(
      "Use the mouse over tooltip to get more information anout these material settings. They "
      "are taken from the new aircraft procedures  file in the Modeling SDK.");
  Label1(13).SetCaption("Alpha Test Level: 0.0");
  Label1(18).SetCaption("Final Alpha Value: 255");
  cmdOK.SetCaption("OK");
  cmdOK.Default = true;
  cmdCancel.SetCaption("Cancel");
  cmdCancel.Cancel = true;

  cmd1.SetCaption("Set Default Opaque");
  cmd2.SetCaption("Set Default Transparent");

  for (int i = 0; i < cmdStd.Count(); ++i) {
    cmdStd(i).SetCaption(kStandardMaterials[i].caption);
    cmdStd(i).SetToolTipText(kStandardMaterials[i].toolTip);
  }
  lstUser.SetToolTipText("User Saved Materials");
  cmdULoad.SetCaption("Load");
  cmdUSave.SetCaption("Save");
  cmdUDelete.SetCaption("Delete");
}

void frmOptions::ConnectEvents() {
  // Pairs of boxes of which at most one is checked. A record that holds both is shown as it
  // is: the rule applies to the user's clicks, not to loading.
  chkBloom.OnClick([this](int i) {
    if (loading_) return;
    if (i == 1 && chkBloom(1).Value() != 0) chkBloom(2).SetValue(0);
    if (i == 2 && chkBloom(2).Value() != 0) chkBloom(1).SetValue(0);
  });
  chkSF.OnClick([this](int i) {
    if (loading_) return;
    if (i == 0 && chkSF(0).Value() != 0) chkSF(1).SetValue(0);
    if (i == 1 && chkSF(1).Value() != 0) chkSF(0).SetValue(0);
  });

  tbsOptions.Click = [this] { PlacePanels(); };
  KeyDown = [this](int keyCode, int shiftState) { Form_KeyDown(keyCode, shiftState); };
  OnLoad = [this] { Form_Load(); };
  cmdOK.Click = [this] {
    StoreToRecord(*fx);
    stored_ = true;
    Unload();
  };
  cmdCancel.Click = [this] { Unload(); };
  picSpec.Click = [this] { ChooseSpecularColor(); };
  cmdFR.Click = [this] { ChooseTexture(cmdFR, Picture2); };
  cmdET.Click = [this] { ChooseTexture(cmdET, Picture3); };
  cmd1.Click = [this] { SetDefaultOpaque(); };
  cmd2.Click = [this] { SetDefaultTransparent(); };
  cmdStd.OnClick([this](int i) { ApplyStandardMaterial(i); });
  cmdUSave.Click = [this] { cmdUSave_Click(); };
  cmdULoad.Click = [this] { cmdULoad_Click(); };
  cmdUDelete.Click = [this] { cmdUDelete_Click(); };
}

// Each parameter's control takes its captions, range or entries from the parameter's
// descriptor.
void frmOptions::Bind() {
  for (const FS10Parameter& p : FS10Material::Parameters()) {
    const DialogBinding& d = p.dialog;
    if (!d.control) continue;
    Control* control = FindControl(d.control, d.index);
    if (!control || control->Kind() != ControlFor(p.kind))
      Raise(err::InvalidProcedureCall, std::string("frmOptions: no control for ") + p.name);
    const Binding bound{&p, control,
                        d.preview ? static_cast<PictureBox*>(FindControl(d.preview)) : nullptr};
    if (d.caption) control->SetCaption(d.caption);
    if (d.toolTip) control->SetToolTipText(d.toolTip);
    if (d.label >= 0 && p.kind != ParameterKind::Number) Label1(d.label).SetCaption(d.labelText);
    if (d.label >= 0) Label1(d.label).SetBuddy(control);
    if (p.kind == ParameterKind::Number) {
      auto& slider = static_cast<Slider&>(*control);
      slider.SetRange(d.min, d.max);
      auto changed = [this, bound] {
        ShowSliderValue(bound);
        if (!loading_) untouched_.erase(bound.control);
      };
      slider.Change = changed;
      slider.Scroll = changed;
      slider.Click = [this, bound] { ShowSliderValue(bound); };
    } else if (p.kind == ParameterKind::Enum) {
      for (const char* entry : d.entries)
        static_cast<ComboBox&>(*control).AddItem(entry);
    } else if (p.kind == ParameterKind::Text) {
      control->SetCaption(kNone);
    }
    bindings_.push_back(bound);
  }
}

// Which panel holds which control; the swatches, the texture names, OK and Cancel are outside
// the tabs.
void frmOptions::PlaceOnTabs() {
  auto place = [this](int tab, std::initializer_list<Control*> controls) {
    tbsOptions.SetPage(tab + 1, picOptions(tab));
    for (Control* control : controls)
      control->SetContainer(&picOptions(tab));
  };
  place(0, {&sDetailMap, &sBumpMap, &Label1(1), &Label1(2)});
  place(1, {&cmdFR, &chkFRDiff, &chkFRRef, &chkFRSpec, &Picture2});
  place(2, {&chkPrecip, &chkOffset, &sPrecipOff, &Label1(4)});
  place(3, {&chkSF(0), &chkSF(1), &chkSF(2), &chkSF(3), &chkSF(4), &sRefScale, &sSpecPower,
            &Label1(3), &Label1(6)});
  place(4, {&chkBloom(0), &chkBloom(1), &chkBloom(2), &chkBloom(3), &chkBloom(4), &slBFloor,
            &slAmbScale, &Label1(7), &Label1(8)});
  place(5, {&cmbSrc, &cmbDest, &cmd1, &cmd2, &Label1(11), &Label1(12)});
  place(6, {&cmdET, &cmbEmissive, &Picture3, &Label1(14), &Label1(15)});
  place(7, {&chkZAlpha, &sAlphaTest, &cmbATestMode, &chkFinal, &sFinal, &Label1(13), &Label1(16),
            &Label1(18)});
  place(8, {&cmdStd(0), &cmdStd(1), &cmdStd(2), &cmdStd(3), &cmdStd(4), &lstUser, &cmdULoad,
            &cmdUSave, &cmdUDelete, &Label1(17)});
  place(9, {});
  for (int i = 0; i < chkEP.Count(); ++i)
    chkEP(i).SetContainer(&picOptions(9));
  place(10, {&chkAirMat(0), &chkAirMat(1)});
}

void frmOptions::Form_Load() {
  if (!fx) Raise(err::ObjectRequired, "frmOptions: no material record to edit");
  if (UserFolder.empty()) {
    try {
      UserFolder = UserLibraryFolder();
    } catch (const Error& e) {
      // Without a configuration folder the library has the plug-in's presets only.
      Warn(e.Description() + "; user materials cannot be saved");
    }
  }
  Label1(0).SetCaption("Diffuse\rDetail\rBump\rSpecular");
  LoadFromRecord(*fx);
  RefreshUserList();
  PlacePanels();
}

void frmOptions::PlacePanels() {
  const int selected = tbsOptions.SelectedIndex() - 1;
  for (int i = 0; i < picOptions.Count(); ++i)
    picOptions(i).SetLeft(i == selected ? kShownLeft : kHiddenLeft);
}

void frmOptions::Form_KeyDown(int keyCode, int shiftState) {
  // The dialog sees every key first, so it passes F1 on to the help itself.
  if (keyCode == key::F1 && shiftState == 0) {
    ShowHelp();
    return;
  }
  if (keyCode != key::Tab || shiftState != shift::Ctrl) return;
  tbsOptions.SetSelectedIndex(tbsOptions.SelectedIndex() % tbsOptions.TabCount() + 1);
}

// ---- record <-> controls --------------------------------------------------------------------

void frmOptions::LoadFromRecord(FS10Material& record) {
  loading_ = true;
  try {
    untouched_.clear();
    for (const Binding& bound : bindings_)
      LoadControl(bound, record);
    lblTex.SetCaption(record.DiffuseTextureFileName + "\r" + record.DetailTextureFileName + "\r" +
                      record.BumpTextureFileName + "\r" + record.SpecularTextureFileName);
    Picture1.SetBackColor(record.getDiffColor());
    picSpec.SetBackColor(record.getSpecColor());
  } catch (...) {
    loading_ = false;
    throw;
  }
  loading_ = false;
}

void frmOptions::LoadControl(const Binding& bound, const FS10Material& record) {
  const FS10Parameter& p = *bound.parameter;
  switch (p.kind) {
    case ParameterKind::Flag: {
      const bool set = record.*std::get<int16_t FS10Material::*>(p.member) != 0;
      static_cast<CheckBox*>(bound.control)->SetValue(set != p.dialog.inverted ? 1 : 0);
      break;
    }
    case ParameterKind::Number: {
      auto& slider = static_cast<Slider&>(*bound.control);
      const float value = record.*std::get<float FS10Material::*>(p.member);
      // The nearest position; rounding half to even as the slider takes whole numbers.
      double position = static_cast<double>(value * static_cast<float>(p.dialog.scale));
      if (std::isnan(position)) position = slider.Min();
      position = std::clamp(position, static_cast<double>(slider.Min()),
                            static_cast<double>(slider.Max()));
      slider.SetValue(static_cast<int>(std::nearbyint(position)));
      ShowSliderValue(bound);
      untouched_[&slider] = value;
      break;
    }
    case ParameterKind::Enum:
      static_cast<ComboBox*>(bound.control)
          ->SetText(record.*std::get<std::string FS10Material::*>(p.member));
      break;
    case ParameterKind::Text: {
      const std::string& path = record.*std::get<std::string FS10Material::*>(p.member);
      ShowTextureButton(static_cast<CommandButton&>(*bound.control), path);
      ShowPreview(*bound.preview, path);
      break;
    }
    case ParameterKind::Colour:
      break;
  }
}

void frmOptions::StoreToRecord(FS10Material& record) {
  for (const Binding& bound : bindings_) {
    const FS10Parameter& p = *bound.parameter;
    switch (p.kind) {
      case ParameterKind::Flag: {
        const bool set = static_cast<CheckBox*>(bound.control)->Value() != 0;
        record.*std::get<int16_t FS10Material::*>(p.member) = set != p.dialog.inverted ? 1 : 0;
        break;
      }
      case ParameterKind::Number: {
        auto kept = untouched_.find(bound.control);
        record.*std::get<float FS10Material::*>(p.member) =
            kept != untouched_.end()
                ? kept->second
                : static_cast<float>(static_cast<Slider*>(bound.control)->Value() / p.dialog.scale);
        break;
      }
      case ParameterKind::Enum:
        record.*std::get<std::string FS10Material::*>(p.member) =
            static_cast<ComboBox*>(bound.control)->Text();
        break;
      case ParameterKind::Text:
        record.*std::get<std::string FS10Material::*>(p.member) = bound.control->Tag();
        break;
      case ParameterKind::Colour:
        break;
    }
  }
  if (picSpec.BackColor() != record.getSpecColor()) record.setSpecular(picSpec.BackColor());
}

void frmOptions::ShowSliderValue(const Binding& bound) {
  const DialogBinding& d = bound.parameter->dialog;
  Label1(d.label).SetCaption(
      d.labelText +
      glazier::FormatCaptionNumber(static_cast<Slider*>(bound.control)->Value() / d.scale));
}

void frmOptions::SetSlider(Slider& slider, int value) {
  slider.SetValue(value);
  untouched_.erase(&slider);
}

// ---- textures and colour --------------------------------------------------------------------

void frmOptions::ShowTextureButton(CommandButton& button, const std::string& path) {
  button.SetTag(path);
  button.SetCaption(path.empty() ? kNone : FileNamePart(path));
}

void frmOptions::ShowPreview(PictureBox& preview, const std::string& path) {
  // Only the picture formats the panel can draw; a DDS or TGA texture leaves it empty.
  const std::string name = ToLower(FileNamePart(path));
  const size_t dot = name.rfind('.');
  const std::string extension = dot == std::string::npos ? "" : name.substr(dot + 1);
  std::error_code ec;
  const bool drawable = extension == "bmp" || extension == "jpg" || extension == "gif";
  preview.SetPicture(drawable && std::filesystem::is_regular_file(path, ec) ? path : "");
}

void frmOptions::ChooseTexture(CommandButton& button, PictureBox& preview) {
  cdlg.Flags = CommonDialog::FileMustExist;
  cdlg.FileName.clear();
  cdlg.Filter = "Graphics|*.tga;*.bmp;*.dds|DDS files|*.dds|BMP|*.bmp|TGA|*.tga";
  cdlg.DefaultExt = "dds";
  if (cdlg.ShowOpen()) {
    ShowTextureButton(button, cdlg.FileName);
    ShowPreview(preview, cdlg.FileName);
  } else {
    // Cancelling the dialog is how a texture is removed.
    preview.SetPicture("");
    ShowTextureButton(button, "");
  }
}

void frmOptions::ChooseSpecularColor() {
  cdlg.Flags = CommonDialog::RgbInit;
  cdlg.Color = picSpec.BackColor();
  if (cdlg.ShowColor()) picSpec.SetBackColor(cdlg.Color);
}

// ---- blend buttons and standard presets -----------------------------------------------------

void frmOptions::SetDefaultOpaque() {
  cmbSrc.SetText("One");
  cmbDest.SetText("Zero");
  chkZAlpha.SetValue(0);
  cmbATestMode.SetText("Never");
}

void frmOptions::SetDefaultTransparent() {
  cmbSrc.SetText("SrcAlpha");
  cmbDest.SetText("InvSrcAlpha");
  chkZAlpha.SetValue(1);
  cmbATestMode.SetText("Greater");
}

void frmOptions::ApplyStandardMaterial(int index) {
  if (index < 0 || index >= static_cast<int>(std::size(kStandardMaterials))) return;
  const StandardMaterial& preset = kStandardMaterials[index];
  if (preset.fresnel) {
    chkFRRef.SetValue(1);
    chkFRSpec.SetValue(1);
  }
  if (preset.fresnelTexture) {
    ShowTextureButton(cmdFR, preset.fresnelTexture);
    ShowPreview(Picture2, preset.fresnelTexture);
  }
  for (int i = 0; i < chkSF.Count(); ++i) {
    if (preset.specialChecks & (1u << i)) chkSF(i).SetValue(1);
  }
  chkBloom(0).SetValue(1);
  SetSlider(slBFloor, 90);
  SetSlider(slAmbScale, 100);
  if (preset.reflectionScale >= 0) {
    SetSlider(sRefScale, preset.reflectionScale);
    SetSlider(sSpecPower, kSpecularPower);
  }
  if (preset.noShadow) chkEP(4).SetValue(1);
  if (preset.tailNumber) chkAirMat(1).SetValue(1);
  if (preset.blend == Blend::Opaque) SetDefaultOpaque();
  if (preset.blend == Blend::Transparent) SetDefaultTransparent();
}

}  // namespace vlm::glazier
