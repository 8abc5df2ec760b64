#include "frm_options.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <initializer_list>
#include <system_error>

#include "number_forms.h"
#include "vlm/error.h"
#include "vlm/settings.h"
#include "vlm/text_encoding.h"

namespace vlm::glazier {
namespace {

constexpr int kShownLeft = 120;
constexpr int kHiddenLeft = -20000;
constexpr const char* kNone = "<< None >>";

const char* const kBlendNames[] = {"Zero",      "One",         "SrcColor",  "InvSrcColor",
                                   "SrcAlpha",  "InvSrcAlpha", "DestAlpha", "InvDestAlpha",
                                   "DestColor", "InvDestColor"};
const char* const kEmissiveModes[] = {"Additive",
                                      "AdditiveNightOnly",
                                      "Blend",
                                      "MultiplyBlend",
                                      "AdditiveUserControlled",
                                      "AdditiveNightOnlyUserControlled",
                                      "BlendUserControlled",
                                      "MultiplyBlendUserControlled"};
const char* const kAlphaTestFunctions[] = {"Never",   "Less",     "Equal",        "LessEqual",
                                           "Greater", "NotEqual", "GreaterEqual", "Always"};

std::string LowerCase(std::string text) {
  for (char& c : text)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The file name part of a path: after the last "\" (or "/", for a path picked here).
std::string FileNamePart(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool EndsWithGlazed(const std::string& name) {
  return name.size() >= 6 && LowerCase(name.substr(name.size() - 6)) == "glazed";
}

// The presets of a folder: the names of its regular files that end in "glazed" (any case).
void AddPresets(const std::filesystem::path& folder, std::vector<std::string>& names) {
  if (folder.empty()) return;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    std::error_code typeError;
    if (EndsWithGlazed(name) && it->is_regular_file(typeError)) names.push_back(name);
  }
}

template <size_t N>
void Fill(ComboBox& box, const char* const (&entries)[N]) {
  for (const char* entry : entries)
    box.AddItem(entry);
}

}  // namespace

std::filesystem::path UserLibraryFolder() {
  return ConfigFolder() / "glazier";
}

frmOptions::frmOptions() : Form("frmOptions") {
  SetCaption("FSX Extended Parameters");
  KeyPreview = true;

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

  Label1(5).SetCaption("Diffuse");
  Label1(9).SetCaption("Specular (Click to change)");
  Label1(10).SetCaption("Base Material");
  Label1(11).SetCaption("Source Blend");
  Label1(12).SetCaption("Destination Blend");
  Label1(14).SetCaption("Emissive Texture");
  Label1(15).SetCaption("Emissive Mode");
  Label1(16).SetCaption("Alpha Test Mode");
  Label1(17).SetCaption(
      "Use the mouse over tooltip to get more information anout these material settings. They "
      "are taken from the new aircraft procedures  file in the Modeling SDK.");
  Label1(13).SetCaption("Alpha Test Level: 0.0");
  Label1(18).SetCaption("Final Alpha Value: 255");
  cmdOK.SetCaption("OK");
  cmdOK.Default = true;
  cmdCancel.SetCaption("Cancel");
  cmdCancel.Cancel = true;

  sDetailMap.SetToolTipText("Number of times the detail texture is tiled");
  sBumpMap.SetToolTipText("Number of times the bump map is tiled.");
  cmdFR.SetCaption(kNone);
  cmdFR.SetToolTipText("Click here to select the fresnel ramp dds file");
  chkFRDiff.SetCaption("Diffuse");
  chkFRDiff.SetToolTipText("Fresnel affects diffuse texture");
  chkFRRef.SetCaption("Reflection");
  chkFRRef.SetToolTipText("Fresnel affects reflection texture");
  chkFRSpec.SetCaption("Specular");
  chkFRSpec.SetToolTipText("Fresnel affects specular map");
  chkPrecip.SetCaption("Take into account");
  chkPrecip.SetToolTipText(
      "Will cause Specular and reflection only to show when there is precipitation");
  chkOffset.SetCaption("Apply offset to start");
  chkOffset.SetToolTipText("Delay appearance of specular and reflection");
  sPrecipOff.SetToolTipText("Offset time of delay");
  chkSF(0).SetCaption("Blend environment by inverse of diffuse alpha");
  chkSF(1).SetCaption("Blend environment by specular alpha map");
  chkSF(2).SetCaption("Blend diffuse color by diffuse alpha");
  chkSF(3).SetCaption("Blend diffuse by inverse of specular map alpha");
  chkSF(4).SetCaption("Use Global Environment Map as reflection");
  sRefScale.SetToolTipText("Mulitplier for enviroment map power");
  sSpecPower.SetToolTipText("Multiplier for specular map power");
  chkBloom(0).SetCaption("Allow Bloom");
  chkBloom(0).SetToolTipText("Turn on bloom (specular by default)");
  chkBloom(1).SetCaption("Bloom material by copying");
  chkBloom(2).SetCaption("Bloom material modulating by alpha");
  chkBloom(3).SetCaption("No Specular bloom");
  chkBloom(3).SetToolTipText("Turn off specular bloom");
  chkBloom(4).SetCaption("Allow emissive bloom");
  chkBloom(4).SetToolTipText("Bloom using emissive (night) texture.");
  slBFloor.SetToolTipText("Value above which the specular component will bloom");
  slAmbScale.SetToolTipText("Adjustment to the ambient light on the material.");
  Fill(cmbSrc, kBlendNames);
  Fill(cmbDest, kBlendNames);
  cmd1.SetCaption("Set Default Opaque");
  cmd2.SetCaption("Set Default Transparent");
  cmdET.SetCaption(kNone);
  Fill(cmbEmissive, kEmissiveModes);
  chkZAlpha.SetCaption("Z-Test Alpha");
  Fill(cmbATestMode, kAlphaTestFunctions);
  chkFinal.SetCaption("Final Alpha Write");

  const std::pair<const char*, const char*> standard[] = {
      {"General Material",
       "used for the main parts of an aircraft, where there is no alpha component"},
      {"Propeller", "This is used for propeller discs that have partial transparency"},
      {"Gloss", "Gloss is used for painted surfaces"},
      {"Chrome", "Chrome is used for propeller spinners and landing gear sliders"},
      {"Tail Number", "Tail numbers are used for ATC identification decals"},
  };
  for (int i = 0; i < cmdStd.Count(); ++i) {
    cmdStd(i).SetCaption(standard[i].first);
    cmdStd(i).SetToolTipText(standard[i].second);
  }
  lstUser.SetToolTipText("User Saved Materials");
  cmdULoad.SetCaption("Load");
  cmdUSave.SetCaption("Save");
  cmdUDelete.SetCaption("Delete");

  const std::pair<const char*, const char*> enhanced[] = {
      {"Assume vertical normal", "Used for flat shading e.g. trees"},
      {"Z-write alpha", "Write alpha to scene depth buffer (alpha sorting)"},
      {"No Z-write", "Disable depth sorting"},
      {"Volume shadow", "Turn on volume shadow (object must be manifold)"},
      {"No shadow", "Turn off self shadow"},
      {"Prelit vertices", ""},
      {"No base material specular", "Turn off specular lighting for the material"},
      {"Skinned mesh", "Enable skin and bone animations"},
      {"Double sided", "Render both sides of the polygon"},
      {"Blend constant", "Internal use"},
      {"Force Texture Address Wrap", ""},
      {"Force Texture Address Clamp", ""},
  };
  for (int i = 0; i < chkEP.Count(); ++i) {
    chkEP(i).SetCaption(enhanced[i].first);
    chkEP(i).SetToolTipText(enhanced[i].second);
  }
  chkAirMat(0).SetCaption("Is virtual cockpit panel texture");
  chkAirMat(1).SetCaption("Is N-Number texture");

  using M = FS10Material;
  sliders_ = {
      {&sDetailMap, &M::DetailScale, 10, 1, "Detail: "},
      {&sBumpMap, &M::BumpScale, 10, 2, "Bump: "},
      {&sSpecPower, &M::SpecMapPowerScale, 1, 3, "Specular Map Power Scale: "},
      {&sPrecipOff, &M::PrecipOffset, 10, 4, "Offset: "},
      {&sRefScale, &M::EnvironmentLevelScale, 100, 6, "Reflection Scale: "},
      {&slBFloor, &M::SpecularBloomFloor, 100, 7, "Specular Bloom Floor : "},
      {&slAmbScale, &M::AmbientLightScale, 100, 8, "Ambient Scale : "},
      {&sAlphaTest, &M::AlphaTestValue, 100, 13, "Alpha Test Level : "},
      {&sFinal, &M::FinalAlphaValue, 1, 18, "Final Alpha Value: "},
  };
  sDetailMap.SetRange(1, 200);
  sBumpMap.SetRange(1, 200);
  sPrecipOff.SetRange(1, 100);
  sRefScale.SetRange(0, 100);
  sSpecPower.SetRange(0, 255);
  slBFloor.SetRange(0, 100);
  slAmbScale.SetRange(0, 100);
  sAlphaTest.SetRange(0, 100);
  sFinal.SetRange(0, 255);
  for (const SliderField& field : sliders_) {
    auto changed = [this, field] {
      ShowSliderValue(field);
      if (!loading_) untouched_.erase(field.slider);
    };
    field.slider->Change = changed;
    field.slider->Scroll = changed;
    field.slider->Click = [this, field] { ShowSliderValue(field); };
  }

  checks_ = {
      {&chkFRDiff, &M::bFresnelDiffuse},
      {&chkFRRef, &M::bFresnelEnvironment},
      {&chkFRSpec, &M::bFresnelSpecular},
      {&chkPrecip, &M::bUsePrecipitation},
      {&chkOffset, &M::bPrecipOffset},
      {&chkSF(0), &M::bModEnvInvDiffuseAlpha},
      {&chkSF(1), &M::bModEnvSpecularMapAlpha},
      {&chkSF(2), &M::BlendDiffuseByBaseAlpha},
      {&chkSF(3), &M::BlendDiffuseByInverseSpecularMapAlpha},
      {&chkSF(4), &M::bUseGlobalEnv},
      {&chkBloom(0), &M::AllowBloom},
      {&chkBloom(1), &M::BloomCopy},
      {&chkBloom(2), &M::BloomModAlpha},
      {&chkBloom(3), &M::NoSpecularBloom},
      {&chkBloom(4), &M::EmissiveBloom},
      {&chkZAlpha, &M::ZTestAlpha},
      {&chkFinal, &M::FinalAlpha},
      {&chkEP(0), &M::EPAssumeVerticalNormal},
      {&chkEP(1), &M::EPZWriteAlpha},
      {&chkEP(2), &M::EPNoZWrite},
      {&chkEP(3), &M::EPVolumeShadow},
      {&chkEP(4), &M::EPNoShadow},
      {&chkEP(5), &M::EPPrelitVertices},
      // chkEP(6) is the inverted box of BaseMaterialSpecular, handled on its own.
      {&chkEP(7), &M::BaseMaterialSkin},
      {&chkEP(8), &M::DoubleSidedMaterial},
      {&chkEP(9), &M::BlendConstantSetting},
      {&chkEP(10), &M::ForceTextureAddressWrapSetting},
      {&chkEP(11), &M::ForceTextureAddressClampSetting},
      {&chkAirMat(0), &M::bIsVCTexture},
      {&chkAirMat(1), &M::bIsNNumber},
  };

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
  PlaceOnTabs();
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
    for (const SliderField& field : sliders_) {
      const float value = record.*field.member;
      // The nearest position; rounding half to even as the slider takes whole numbers.
      double position = static_cast<double>(value * static_cast<float>(field.scale));
      if (std::isnan(position)) position = field.slider->Min();
      position = std::clamp(position, static_cast<double>(field.slider->Min()),
                            static_cast<double>(field.slider->Max()));
      field.slider->SetValue(static_cast<int>(std::nearbyint(position)));
      ShowSliderValue(field);
      untouched_[field.slider] = value;
    }
    for (const CheckField& field : checks_)
      field.box->SetValue(record.*field.member != 0 ? 1 : 0);
    chkEP(6).SetValue(record.BaseMaterialSpecular == 0 ? 1 : 0);

    cmbSrc.SetText(record.SrcBlend);
    cmbDest.SetText(record.DstBlend);
    cmbEmissive.SetText(record.EmissiveData);
    cmbATestMode.SetText(record.AlphaTestFunction);

    ShowTextureButton(cmdFR, record.FresnelTextureFileName);
    ShowPreview(Picture2, record.FresnelTextureFileName);
    ShowTextureButton(cmdET, record.EmissiveTextureFileName);
    ShowPreview(Picture3, record.EmissiveTextureFileName);
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

void frmOptions::StoreToRecord(FS10Material& record) {
  for (const SliderField& field : sliders_) {
    auto kept = untouched_.find(field.slider);
    record.*field.member = kept != untouched_.end()
                               ? kept->second
                               : static_cast<float>(field.slider->Value() / field.scale);
  }
  for (const CheckField& field : checks_)
    record.*field.member = field.box->Value() != 0 ? 1 : 0;
  record.BaseMaterialSpecular = chkEP(6).Value() != 0 ? 0 : 1;

  record.SrcBlend = cmbSrc.Text();
  record.DstBlend = cmbDest.Text();
  record.EmissiveData = cmbEmissive.Text();
  record.AlphaTestFunction = cmbATestMode.Text();

  record.FresnelTextureFileName = cmdFR.Tag();
  record.EmissiveTextureFileName = cmdET.Tag();

  if (picSpec.BackColor() != record.getSpecColor()) record.setSpecular(picSpec.BackColor());
}

void frmOptions::ShowSliderValue(const SliderField& field) {
  Label1(field.label)
      .SetCaption(field.prefix + glazier::FormatCaptionNumber(field.slider->Value() / field.scale));
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
  const std::string name = LowerCase(FileNamePart(path));
  const size_t dot = name.rfind('.');
  const std::string extension = dot == std::string::npos ? "" : name.substr(dot + 1);
  std::error_code ec;
  const bool drawable = extension == "bmp" || extension == "jpg" || extension == "gif";
  preview.SetPicture(drawable && std::filesystem::is_regular_file(path, ec) ? path : "");
}

void frmOptions::ChooseTexture(CommandButton& button, PictureBox& preview) {
  cdlg.Flags_ = CommonDialog::FileMustExist;
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
  cdlg.Flags_ = CommonDialog::RgbInit;
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
  auto bloomAndAmbient = [this] {
    chkBloom(0).SetValue(1);
    SetSlider(slBFloor, 90);
    SetSlider(slAmbScale, 100);
  };
  auto fresnelReflectionAndSpecular = [this] {
    chkFRRef.SetValue(1);
    chkFRSpec.SetValue(1);
  };
  auto setFresnelTexture = [this](const std::string& path) {
    ShowTextureButton(cmdFR, path);
    ShowPreview(Picture2, path);
  };
  switch (index) {
    case 0:  // General Material
      fresnelReflectionAndSpecular();
      SetSlider(sRefScale, 30);
      SetSlider(sSpecPower, 202);
      bloomAndAmbient();
      break;
    case 1:  // Propeller
      setFresnelTexture("");
      SetSlider(sRefScale, 30);
      SetSlider(sSpecPower, 202);
      bloomAndAmbient();
      chkEP(4).SetValue(1);
      SetDefaultTransparent();
      break;
    case 2:  // Gloss
      fresnelReflectionAndSpecular();
      setFresnelTexture("fresnel_ramp.dds");
      chkSF(0).SetValue(1);
      chkSF(4).SetValue(1);
      bloomAndAmbient();
      SetSlider(sRefScale, 30);
      SetSlider(sSpecPower, 202);
      SetDefaultOpaque();
      break;
    case 3:  // Chrome
      fresnelReflectionAndSpecular();
      setFresnelTexture("");
      chkSF(0).SetValue(1);
      chkSF(2).SetValue(1);
      chkSF(4).SetValue(1);
      bloomAndAmbient();
      SetSlider(sRefScale, 40);
      SetSlider(sSpecPower, 202);
      SetDefaultOpaque();
      break;
    case 4:  // Tail Number
      chkAirMat(1).SetValue(1);
      fresnelReflectionAndSpecular();
      bloomAndAmbient();
      SetDefaultTransparent();
      break;
    default:
      break;
  }
}

// ---- the user library -----------------------------------------------------------------------

void frmOptions::RefreshUserList() {
  std::vector<std::string> names;
  AddPresets(UserFolder, names);
  if (PluginFolder != UserFolder) AddPresets(PluginFolder, names);
  // A stable order whatever the file system's, and a name that both folders hold once.
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  lstUser.Clear();
  for (std::string& name : names)
    lstUser.AddItem(std::move(name));
  const bool any = lstUser.ListCount() > 0;
  cmdULoad.SetEnabled(any);
  cmdUDelete.SetEnabled(any);
}

std::filesystem::path frmOptions::LibraryFile(const std::string& entry) const {
  std::error_code ec;
  if (!UserFolder.empty() && std::filesystem::is_regular_file(UserFolder / entry, ec))
    return UserFolder / entry;
  return PluginFolder / entry;
}

FS10Material frmOptions::LibraryRecord() const {
  FS10Material record;
  record.DiffuseTextureFileName = fx->DiffuseTextureFileName;
  record.SpecularTextureFileName = fx->SpecularTextureFileName;
  record.BumpTextureFileName = fx->BumpTextureFileName;
  record.DetailTextureFileName = fx->DetailTextureFileName;
  record.setSpecular(fx->getSpecColor());
  return record;
}

void frmOptions::cmdUSave_Click() {
  if (UserFolder.empty()) {
    MsgBox("The material could not be saved: there is no folder for user materials.",
           mb::Exclamation | mb::OKOnly, "User Saved Materials");
    return;
  }
  std::error_code ec;
  std::filesystem::create_directories(UserFolder, ec);  // a failure shows at the write
  cdlg.Flags_ = 0;
  cdlg.FileName = (UserFolder / "*.Glazed").string();
  cdlg.Flags_ = CommonDialog::NoChangeDir;
  cdlg.Filter = "FS10 Material (Glazed)|*.Glazed|All Files|*.*";
  cdlg.DefaultExt = "Glazed";
  cdlg.DialogTitle.clear();
  if (cdlg.ShowSave()) {
    // As the dialog opened in the user's folder, a bare name lands there, and a name
    // without an extension takes the default one.
    std::filesystem::path file = cdlg.FileName;
    if (file.is_relative()) file = UserFolder / file;
    if (!file.has_extension()) file += ".Glazed";
    FS10Material record = LibraryRecord();
    StoreToRecord(record);
    try {
      WriteFileAtomically(file, record.toString() + "\r\n");
    } catch (const Error& e) {
      MsgBox("The material could not be saved.\r" + e.Description(), mb::Exclamation | mb::OKOnly,
             "User Saved Materials");
    }
  }
  RefreshUserList();
}

void frmOptions::cmdULoad_Click() {
  const std::string entry = lstUser.Text();
  if (entry.empty()) return;
  const std::filesystem::path file = LibraryFile(entry);

  FS10Material record = LibraryRecord();
  // With the edited material's power, the specular rule works on the preset as it would on
  // the material itself.
  record.Power = fx->Power;
  std::string text;
  try {
    text = ReadFile(file);
  } catch (const Error& e) {
    MsgBox("The material preset " + file.string() + " could not be read.\r" + e.Description(),
           mb::Exclamation | mb::OKOnly, "User Saved Materials");
    RefreshUserList();
    return;
  }
  // A preset written by another tool may be 8-bit text; the scene takes UTF-8 only.
  text = text::DecodeText(text);
  record.loadString(text.substr(0, text.find_first_of("\r\n")));

  LoadFromRecord(record);
  Picture1.SetBackColor(fx->getDiffColor());
  picSpec.SetBackColor(fx->getSpecColor());
  RefreshUserList();
}

void frmOptions::cmdUDelete_Click() {
  const std::string entry = lstUser.Text();
  if (entry.empty()) return;
  // Only the user's own presets go; those of the plug-in's folder come with it.
  const std::filesystem::path file = LibraryFile(entry);
  std::error_code ec;
  if ((UserFolder.empty() || file != UserFolder / entry) && std::filesystem::exists(file, ec)) {
    MsgBox("The material " + entry + " comes with the plug-in and is not deleted.",
           mb::Information | mb::OKOnly, "User Saved Materials");
    return;
  }
  if (!UserFolder.empty()) std::filesystem::remove(UserFolder / entry, ec);  // or it stays
  RefreshUserList();
}

}  // namespace vlm::glazier
