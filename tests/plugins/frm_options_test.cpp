#include "glazier/frm_options.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <utility>

#include "glazier/fs10_parameters.h"
#include "support/dialogs.h"
#include "support/temp_home.h"
#include "vlm/files.h"
#include "vlm/run_outcome.h"

namespace vlm {
namespace {

using glazier::frmOptions;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

FS10Material Record(float power = 10) {
  FS10Material m;
  m.Power = power;
  m.loadString("");  // the power rule, as Create leaves a record
  return m;
}

// The dialog loaded on a record, driven directly.
struct Dialog {
  explicit Dialog(FS10Material& record, std::filesystem::path folder = {}) {
    form.fx = &record;
    form.PluginFolder = std::move(folder);
    form.Load();
  }
  frmOptions form;
};

void WriteText(const std::filesystem::path& file, const std::string& text) {
  std::ofstream(file, std::ios::binary) << text;
}

TEST(frmOptionsLoad, ControlsShowTheRecord) {
  FS10Material m = Record();
  m.loadString(
      "DetailScale=1;BumpScale=2.5;EnvLevelScale=0.3;SpecMapPowerScale=100;PrecipOffset=0.5;"
      "AlphaTestValue=0.25;FinalAlphaValue=128;SpecBloomFloor=0.8;AmbientLightScale=0.5;"
      "SrcBlend=SrcAlpha;DstBlend=InvSrcAlpha;EmissiveData=Additive;AlphaTestFunction=Greater;"
      "FresnelDiff=1;BloomCopy=1;BaseMaterialSpec=0;IsNNumber=1;ForceTextureWrap=0;"
      "FresnelTexture=C:\\tex\\ramp.dds;EmissiveTexture=");
  m.DiffuseTextureFileName = "body.bmp";
  m.BumpTextureFileName = "bump.bmp";
  Dialog d(m);
  frmOptions& f = d.form;
  EXPECT_EQ(f.Caption(), "FSX Extended Parameters");
  EXPECT_EQ(f.sDetailMap.Value(), 10);
  EXPECT_EQ(f.Label1(1).Caption(), "Detail: 1");
  EXPECT_EQ(f.sBumpMap.Value(), 25);
  EXPECT_EQ(f.Label1(2).Caption(), "Bump: 2.5");
  EXPECT_EQ(f.sRefScale.Value(), 30);
  EXPECT_EQ(f.Label1(6).Caption(), "Reflection Scale: 0.3");
  EXPECT_EQ(f.Label1(3).Caption(), "Specular Map Power Scale: 100");
  EXPECT_EQ(f.Label1(4).Caption(), "Offset: 0.5");
  EXPECT_EQ(f.Label1(7).Caption(), "Specular Bloom Floor : 0.8");
  EXPECT_EQ(f.Label1(8).Caption(), "Ambient Scale : 0.5");
  EXPECT_EQ(f.Label1(13).Caption(), "Alpha Test Level : 0.25");
  EXPECT_EQ(f.Label1(18).Caption(), "Final Alpha Value: 128");
  EXPECT_EQ(f.Label1(0).Caption(), "Diffuse\rDetail\rBump\rSpecular");
  EXPECT_EQ(f.lblTex.Caption(), "body.bmp\r\rbump.bmp\r");
  EXPECT_EQ(f.cmbSrc.Text(), "SrcAlpha");
  EXPECT_EQ(f.cmbATestMode.Text(), "Greater");
  EXPECT_EQ(f.cmbEmissive.Text(), "Additive");
  EXPECT_EQ(f.chkFRDiff.Value(), 1);
  EXPECT_EQ(f.chkBloom(1).Value(), 1);
  EXPECT_EQ(f.chkEP(6).Value(), 1);  // inverted: specular off
  EXPECT_EQ(f.chkEP(10).Value(), 0);
  EXPECT_EQ(f.chkAirMat(1).Value(), 1);
  EXPECT_EQ(f.cmdFR.Caption(), "ramp.dds");
  EXPECT_EQ(f.cmdFR.Tag(), "C:\\tex\\ramp.dds");
  EXPECT_EQ(f.cmdET.Caption(), "<< None >>");
  EXPECT_EQ(f.picSpec.BackColor(), m.getSpecColor());
  EXPECT_EQ(f.Picture1.BackColor(), m.getDiffColor());
  EXPECT_EQ(f.tbsOptions.TabCount(), 11);
  EXPECT_EQ(f.tbsOptions.TabAt(9).toolTip, "Settings from SDK");
  EXPECT_EQ(f.cmbSrc.ListCount(), 10);
  EXPECT_EQ(f.cmbEmissive.ListCount(), 8);
  EXPECT_EQ(f.cmbATestMode.ListCount(), 8);
}

// Opening the dialog and pressing OK never changes a value, even one no control can show.
TEST(frmOptionsStore, OkWithoutChangesKeepsEveryValue) {
  FS10Material m = Record();
  m.loadString(
      "DetailScale=50;BumpScale=0.05;PrecipOffset=0;SpecMapPowerScale=300.5;EnvLevelScale=0.304;"
      "AlphaTestValue=-1;FinalAlphaValue=1000;SpecBloomFloor=0.123;AmbientLightScale=2;"
      "SrcBlend=srcalpha;DstBlend=Weird;EmissiveData=;AlphaTestFunction=Sometimes;"
      "BloomCopy=1;BloomModAlpha=1;ModEnvInvDiffAlpha=1;ModEnvSpecAlpha=1;BaseMaterialSpec=1;"
      "SpecRed=0.2;SpecGreen=0.4;SpecBlue=0.6;EmissiveTexture=n.dds;FresnelTexture=f.dds");
  const std::string before = m.toString();
  test::ScriptedScope dialogs("click cmdOK");
  EXPECT_TRUE(m.Edit({}));
  EXPECT_EQ(m.toString(), before);
}

TEST(frmOptionsStore, ChangedControlsStoreWhatTheyShow) {
  FS10Material m = Record();
  m.loadString("DetailScale=50;BaseMaterialSpec=0;SrcBlend=Weird;ZTestAlpha=1");
  test::ScriptedScope dialogs(
      "sRefScale=45; sDetailMap=200; tbsOptions=Framebuffer Blend; cmbSrc=SrcAlpha; chkEP(6)=0; "
      "chkZAlpha=0; sFinal=0; click cmdOK");
  EXPECT_TRUE(m.Edit({}));
  EXPECT_EQ(m.EnvironmentLevelScale, 0.45f);
  EXPECT_EQ(m.DetailScale, 20.0f);
  EXPECT_EQ(m.SrcBlend, "SrcAlpha");
  EXPECT_EQ(m.BaseMaterialSpecular, 1);
  EXPECT_EQ(m.ZTestAlpha, 0);
  EXPECT_EQ(m.FinalAlphaValue, 0.0f);
}

TEST(frmOptionsStore, ExclusiveBoxesAndSpecularColour) {
  FS10Material m = Record();
  test::ScriptedScope dialogs(
      "chkBloom(2)=1; chkBloom(1)=1; chkSF(1)=1; chkSF(0)=1; click picSpec; color 0,128,255; "
      "click cmdOK");
  EXPECT_TRUE(m.Edit({}));
  EXPECT_EQ(m.BloomCopy, 1);
  EXPECT_EQ(m.BloomModAlpha, 0);
  EXPECT_EQ(m.bModEnvInvDiffuseAlpha, 1);
  EXPECT_EQ(m.bModEnvSpecularMapAlpha, 0);
  EXPECT_EQ(m.getSpecColor(), 128 * 256 + 255 * 65536);
  EXPECT_THAT(dialogs.Texts(TranscriptEntry::Kind::ColorDialog),
              ElementsAre("0,128,255 (it showed 230,230,230)"));
}

TEST(frmOptionsStore, CancelLeavesTheRecordAsItWas) {
  FS10Material m = Record();
  const std::string before = m.toString();
  test::ScriptedScope dialogs(
      "click picSpec; color 0,128,255; sRefScale=45; chkBloom(1)=1; click cmdFR; file x.dds; "
      "click cmdCancel");
  EXPECT_FALSE(m.Edit({}));
  EXPECT_EQ(m.toString(), before);
}

TEST(frmOptionsTextures, ChoosingAndCancellingTheFileDialog) {
  test::TempHome folder;
  const auto bmp = folder.Path() / "ramp.bmp";
  WriteText(bmp, "BM");
  FS10Material m = Record();
  m.EmissiveTextureFileName = "night.dds";
  test::ScriptedScope dialogs;  // no answers: the file dialogs are cancelled
  Dialog d(m);
  frmOptions& f = d.form;
  {
    test::ScriptedScope chosen("file " + bmp.string());
    f.cmdFR.Click();
    EXPECT_EQ(f.cmdFR.Caption(), "ramp.bmp");
    EXPECT_EQ(f.Picture2.Picture(), bmp.string());
  }
  f.cmdET.Click();  // cancelled: the texture goes
  EXPECT_EQ(f.cmdET.Caption(), "<< None >>");
  EXPECT_EQ(f.cdlg.Filter, "Graphics|*.tga;*.bmp;*.dds|DDS files|*.dds|BMP|*.bmp|TGA|*.tga");
  EXPECT_EQ(f.cdlg.DefaultExt, "dds");
  f.cmdOK.Click();
  EXPECT_EQ(m.FresnelTextureFileName, bmp.string());
  EXPECT_EQ(m.EmissiveTextureFileName, "");
}

TEST(frmOptionsPresets, StandardMaterialsSetOnlyTheirControls) {
  FS10Material m = Record();
  m.loadString("ModEnvSpecAlpha=1;EnvLevelScale=0.404;SpecMapPowerScale=202.4;DetailScale=3");
  {  // Chrome: checking chkSF(0) clears chkSF(1)
    Dialog d(m);
    frmOptions& f = d.form;
    f.cmdStd(3).Click();
    EXPECT_EQ(f.cmdStd(3).Caption(), "Chrome");
    EXPECT_EQ(f.chkSF(0).Value(), 1);
    EXPECT_EQ(f.chkSF(1).Value(), 0);
    EXPECT_EQ(f.chkSF(2).Value(), 1);
    EXPECT_EQ(f.sRefScale.Value(), 40);
    EXPECT_EQ(f.cmbSrc.Text(), "One");
    FS10Material out = Record();
    f.StoreToRecord(out);
    EXPECT_EQ(out.EnvironmentLevelScale, 0.4f);  // set by the preset, though the slider
    EXPECT_EQ(out.SpecMapPowerScale, 202.0f);    // already showed 40 and 202
    EXPECT_EQ(out.DetailScale, 3.0f);            // not the preset's: kept
    EXPECT_EQ(out.bModEnvSpecularMapAlpha, 0);
  }
  {  // Gloss names the fresnel ramp; Propeller clears it and goes transparent
    Dialog d(m);
    frmOptions& f = d.form;
    f.cmdStd(2).Click();
    EXPECT_EQ(f.cmdFR.Tag(), "fresnel_ramp.dds");
    EXPECT_EQ(f.Picture2.Picture(), "");
    f.cmdStd(1).Click();
    EXPECT_EQ(f.cmdFR.Tag(), "");
    EXPECT_EQ(f.chkEP(4).Value(), 1);
    EXPECT_EQ(f.cmbDest.Text(), "InvSrcAlpha");
    EXPECT_EQ(f.chkZAlpha.Value(), 1);
    EXPECT_EQ(f.cmbATestMode.Text(), "Greater");
    f.cmdStd(4).Click();
    EXPECT_EQ(f.chkAirMat(1).Value(), 1);
    f.cmd1.Click();
    EXPECT_EQ(f.cmbSrc.Text(), "One");
    EXPECT_EQ(f.chkZAlpha.Value(), 0);
  }
}

TEST(frmOptionsTabs, ClickPlacesPanelsAndCtrlTabWraps) {
  FS10Material m = Record();
  Dialog d(m);
  frmOptions& f = d.form;
  auto shown = [&f] {
    std::vector<int> out;
    for (int i = 0; i < f.picOptions.Count(); ++i) {
      if (f.picOptions(i).Left() == 120)
        out.push_back(i);
      else
        EXPECT_EQ(f.picOptions(i).Left(), -20000);
    }
    return out;
  };
  EXPECT_THAT(shown(), ElementsAre(0));
  f.tbsOptions.SetSelectedIndex(11);
  EXPECT_THAT(shown(), ElementsAre(10));
  f.KeyDown(key::Tab, shift::Ctrl);
  EXPECT_EQ(f.tbsOptions.SelectedIndex(), 1);
  f.KeyDown(key::Tab, 0);  // without Ctrl: nothing
  EXPECT_EQ(f.tbsOptions.SelectedIndex(), 1);

  SetHelpFile("C:\\plugins\\vlmplugins.chm");
  test::ScriptedScope dialogs("key ctrl+Tab; key ctrl+Tab; key F1; click cmdOK");
  EXPECT_TRUE(m.Edit({}));
  EXPECT_THAT(dialogs.Texts(TranscriptEntry::Kind::Help), ElementsAre(HelpFile()));
}

// The plug-in's folder doubles as the user's configuration folder ($VLM_HOME), whose
// "glazier" folder holds the user's presets.
class UserLibrary : public ::testing::Test {
 protected:
  const std::filesystem::path& Folder() const { return folder.Path(); }
  std::filesystem::path UserFolder() const { return folder.Path() / "glazier"; }
  test::TempHome folder;
};

TEST_F(UserLibrary, ListsOnlyGlazedFiles) {
  FS10Material m = Record();
  {
    Dialog d(m, Folder());
    EXPECT_THAT(d.form.lstUser.Items(), IsEmpty());
    EXPECT_FALSE(d.form.cmdULoad.Enabled());
    EXPECT_FALSE(d.form.cmdUDelete.Enabled());
  }
  for (const char* name : {"notes.txt", "b.GLAZED", "a.Glazed", "cglazed"})
    WriteText(Folder() / name, "");
  std::filesystem::create_directory(Folder() / "folder.Glazed");
  Dialog d(m, Folder());
  EXPECT_THAT(d.form.lstUser.Items(), ElementsAre("a.Glazed", "b.GLAZED", "cglazed"));
  EXPECT_TRUE(d.form.cmdULoad.Enabled());
  EXPECT_TRUE(d.form.cmdUDelete.Enabled());
}

TEST_F(UserLibrary, SaveWritesOneLineAndLoadBringsItBack) {
  FS10Material m = Record();
  const std::string before = m.toString();
  const auto file = Folder() / "Shiny.Glazed";
  {
    test::ScriptedScope dialogs("chkBloom(1)=1; sRefScale=45; click cmdUSave; file " +
                                file.string() + "; click cmdUSave; file Plain; click cmdCancel");
    EXPECT_FALSE(m.Edit(Folder()));
    EXPECT_THAT(dialogs.Texts(TranscriptEntry::Kind::FileDialog),
                ElementsAre("save " + (UserFolder() / "*.Glazed").string(),
                            "save " + (UserFolder() / "*.Glazed").string()));
  }
  EXPECT_EQ(m.toString(), before);  // saving is not OK
  const std::string text = ReadFile(file);
  ASSERT_GE(text.size(), 2u);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  EXPECT_EQ(text.find('\n'), text.size() - 1);
  FS10Material saved = Record();
  saved.loadString(text.substr(0, text.size() - 2));
  EXPECT_EQ(saved.BloomCopy, 1);
  EXPECT_EQ(saved.EnvironmentLevelScale, 0.45f);
  EXPECT_TRUE(std::filesystem::exists(UserFolder() / "Plain.Glazed"));

  {
    test::ScriptedScope dialogs("lstUser=Shiny.Glazed; click cmdULoad; click cmdOK");
    EXPECT_TRUE(m.Edit(Folder()));
    EXPECT_EQ(m.BloomCopy, 1);
    EXPECT_EQ(m.EnvironmentLevelScale, 0.45f);
  }
  {  // saving over it replaces it, and the list shows it once
    test::ScriptedScope dialogs("chkBloom(2)=1; click cmdUSave; file " + file.string() +
                                "; click cmdCancel");
    m.Edit(Folder());
  }
  FS10Material fresh = Record();
  Dialog d(fresh, Folder());
  EXPECT_THAT(d.form.lstUser.Items(), ElementsAre("Plain.Glazed", "Shiny.Glazed"));
  d.form.lstUser.SetListIndex(1);
  d.form.cmdULoad.Click();
  EXPECT_EQ(d.form.chkBloom(1).Value(), 0);
  EXPECT_EQ(d.form.chkBloom(2).Value(), 1);
}

TEST_F(UserLibrary, LoadKeepsSwatchesAndAppliesTheSpecularRuleWithTheMaterialsPower) {
  WriteText(Folder() / "shine.Glazed",
            "SpecRed=1;SpecGreen=0;SpecBlue=0;BaseMaterialSpec=1;BloomCopy=1\r\nignored=1\r\n");
  for (float power : {10.0f, 0.0f}) {
    FS10Material m = Record(power);
    m.loadString("SpecRed=0.5;SpecGreen=0.5;SpecBlue=0.5;BaseMaterialSpec=0");
    Dialog d(m, Folder());
    frmOptions& f = d.form;
    const int32_t diffuse = f.Picture1.BackColor(), specular = f.picSpec.BackColor();
    f.lstUser.SetListIndex(0);
    f.cmdULoad.Click();
    EXPECT_EQ(f.Picture1.BackColor(), diffuse);
    EXPECT_EQ(f.picSpec.BackColor(), specular);
    EXPECT_EQ(f.chkBloom(1).Value(), 1);
    // With the material's power the preset's "specular on" holds; with power 0 it cannot.
    EXPECT_EQ(f.chkEP(6).Value(), power >= 3 ? 0 : 1) << power;
    EXPECT_THAT(f.lstUser.Items(), ElementsAre("shine.Glazed"));
  }
}

TEST_F(UserLibrary, UnreadablePresetIsReportedAndTheDialogKeepsItsState) {
  WriteText(Folder() / "gone.Glazed", "BloomCopy=0");
  FS10Material m = Record();
  Dialog d(m, Folder());
  frmOptions& f = d.form;
  f.chkBloom(1).SetValue(1);
  f.lstUser.SetListIndex(0);
  std::filesystem::remove(Folder() / "gone.Glazed");
  test::ScriptedScope dialogs;
  f.cmdULoad.Click();
  ASSERT_EQ(dialogs.Messages().size(), 1u);
  EXPECT_THAT(dialogs.Messages()[0], HasSubstr((Folder() / "gone.Glazed").string()));
  EXPECT_EQ(f.chkBloom(1).Value(), 1);
  EXPECT_THAT(f.lstUser.Items(), IsEmpty());
}

TEST_F(UserLibrary, DeleteRemovesTheSelectedFileAndNothingWithoutASelection) {
  std::filesystem::create_directory(UserFolder());
  WriteText(UserFolder() / "a.Glazed", "");
  WriteText(UserFolder() / "b.Glazed", "");
  FS10Material m = Record();
  Dialog d(m, Folder());
  frmOptions& f = d.form;
  f.cmdUDelete.Click();  // nothing selected
  EXPECT_EQ(f.lstUser.ListCount(), 2);
  f.lstUser.SetListIndex(1);
  f.cmdUDelete.Click();
  EXPECT_THAT(f.lstUser.Items(), ElementsAre("a.Glazed"));
  EXPECT_FALSE(std::filesystem::exists(UserFolder() / "b.Glazed"));
}

// The user's presets live outside the plug-in's folder, which a build replaces; the list
// shows both, the user's preset winning a shared name, and only the user's can be deleted.
TEST_F(UserLibrary, UserPresetsSitBesideThoseOfThePlugin) {
  const auto plugins = Folder() / "plugins";
  std::filesystem::create_directories(plugins);
  std::filesystem::create_directories(UserFolder());
  WriteText(plugins / "Chrome.Glazed", "BloomCopy=1\r\n");
  WriteText(plugins / "Gloss.Glazed", "");
  WriteText(UserFolder() / "Chrome.Glazed", "BloomModAlpha=1\r\n");
  FS10Material m = Record();
  Dialog d(m, plugins);
  frmOptions& f = d.form;
  EXPECT_THAT(f.lstUser.Items(), ElementsAre("Chrome.Glazed", "Gloss.Glazed"));
  const struct {
    std::string entry;
    int copying, modulating;  // chkBloom(1) and (2) after loading the entry
    bool userFile;            // the user's Chrome is there after deleting the entry
    size_t messages;
  } steps[] = {
      {"Chrome.Glazed", 0, 1, false, 0},  // the user's Chrome, then deleted
      {"Chrome.Glazed", 1, 0, false, 1},  // now the plug-in's, which stays
      {"Gloss.Glazed", 0, 0, false, 1},
  };
  for (const auto& step : steps) {
    test::ScriptedScope dialogs;
    f.lstUser.SetListIndex(f.lstUser.FindItem(step.entry));
    f.cmdULoad.Click();
    EXPECT_EQ(f.chkBloom(1).Value(), step.copying) << step.entry;
    EXPECT_EQ(f.chkBloom(2).Value(), step.modulating) << step.entry;
    f.lstUser.SetListIndex(f.lstUser.FindItem(step.entry));
    f.cmdUDelete.Click();
    EXPECT_EQ(std::filesystem::exists(UserFolder() / "Chrome.Glazed"), step.userFile);
    EXPECT_EQ(dialogs.Messages().size(), step.messages) << step.entry;
    EXPECT_THAT(f.lstUser.Items(), ElementsAre("Chrome.Glazed", "Gloss.Glazed"));
  }
  EXPECT_TRUE(std::filesystem::exists(plugins / "Chrome.Glazed"));
  EXPECT_TRUE(std::filesystem::exists(plugins / "Gloss.Glazed"));
}

// A preset another tool wrote in an 8-bit code page reaches the record as UTF-8; one this
// dialog wrote reads back as it was.
TEST_F(UserLibrary, EightBitPresetsLoadAsUtf8) {
  const std::pair<std::string, std::string> cases[] = {
      {"EmissiveTexture=caf\xE9\x80.dds\r\n", "caf\xC3\xA9\xE2\x82\xAC.dds"},
      {"EmissiveTexture=caf\xC3\xA9.dds\r\n", "caf\xC3\xA9.dds"},
      {"\xEF\xBB\xBF"
       "EmissiveTexture=x.dds",
       "x.dds"},
  };
  for (const auto& [bytes, texture] : cases) {
    WriteText(Folder() / "old.Glazed", bytes);
    FS10Material m = Record();
    test::ScriptedScope dialogs("lstUser=old.Glazed; click cmdULoad; click cmdOK");
    EXPECT_TRUE(m.Edit(Folder()));
    EXPECT_EQ(m.EmissiveTextureFileName, texture) << bytes;
  }
}

// Every text member comes back from a preset exactly, whatever it holds; a preset without
// ";" or line breaks in its texts stays the one plain line that older tools read.
TEST(GlazierPresets, EveryTextMemberRoundTrips) {
  const std::pair<std::string, bool> texts[] = {
      {"C:\\tex\\plain.dds", true},
      {"a%3Bb 100%", true},
      {"two\r\nlines", false},
      {"cr\ronly", false},
      {"lf\nonly", false},
      {"semi;colon", false},
      {"%0A;%", false},
      {"caf\xC3\xA9\n", false},
  };
  for (const auto& [value, plain] : texts) {
    for (const glazier::FS10Parameter& p : FS10Material::Parameters()) {
      auto member = std::get_if<std::string FS10Material::*>(&p.member);
      if (!p.key || !member) continue;
      FS10Material written = Record();
      written.*(*member) = value;
      const std::string text = glazier::PresetText(written);
      EXPECT_EQ(text.find_first_of("\r\n"), text.size() - 2) << p.name << " " << value;
      if (plain) {
        EXPECT_EQ(text, written.toString() + "\r\n");
      }
      FS10Material read = Record();
      glazier::LoadPreset(text, read);
      EXPECT_EQ(read.*(*member), value) << p.name;
      EXPECT_EQ(read.toItems(), written.toItems()) << p.name << " " << value;
    }
  }
  // An escaped byte that is no UTF-8 is a Windows-1252 letter, as in an 8-bit preset.
  FS10Material read = Record();
  glazier::LoadPreset("GlazedEscapes=1;EmissiveTexture=caf%E9%3B.dds\r\n", read);
  EXPECT_EQ(read.EmissiveTextureFileName, "caf\xC3\xA9;.dds");
}

// A preset that cannot be written fails the run, though the dialog goes on.
TEST_F(UserLibrary, FailedSaveIsReportedAndFailsTheRun) {
  FS10Material m = Record();
  ClearRunOutcome();
  test::ScriptedScope dialogs("click cmdUSave; file " + (Folder() / "no/such/x.Glazed").string() +
                              "; click cmdCancel");
  m.Edit(Folder());
  ASSERT_EQ(dialogs.Messages().size(), 1u);
  EXPECT_THAT(dialogs.Messages()[0], HasSubstr("could not be saved"));
  ASSERT_TRUE(RunFailure().has_value());
  EXPECT_THAT(*RunFailure(), HasSubstr("no/such"));
  ClearRunOutcome();
}

// Every parameter's descriptor carries it through the string form and through its control.
TEST(FS10Parameters, EveryParameterRoundTrips) {
  for (const glazier::FS10Parameter& p : FS10Material::Parameters()) {
    SCOPED_TRACE(p.name);
    const glazier::DialogBinding& d = p.dialog;
    FS10Material a = Record();
    // A value other than the default that the parameter's control can show.
    std::visit(
        [&](auto member) {
          auto& value = a.*member;
          using T = std::decay_t<decltype(value)>;
          if constexpr (std::is_same_v<T, std::string>)
            value = d.entries.empty() ? "x.dds" : d.entries.back();
          else if constexpr (std::is_same_v<T, int16_t>)
            value = p.defaultNumber == 0 ? 1 : 0;
          else
            value = d.control ? static_cast<float>((d.min + d.max) / 2 / d.scale) : 0.25f;
        },
        p.member);
    auto same = [&](const FS10Material& b) {
      return std::visit([&](auto member) { return b.*member == a.*member; }, p.member);
    };
    if (p.key) {
      FS10Material b = Record();
      b.loadString(a.toString());
      EXPECT_TRUE(same(b)) << "string form";
    }
    if (d.control) {
      FS10Material c = Record();
      Dialog dialog(a);
      if (p.kind == glazier::ParameterKind::Number) {  // moved there and back: stored as shown
        auto& slider = static_cast<Slider&>(*dialog.form.FindControl(d.control, d.index));
        slider.SetValue(slider.Value() + 1);
        slider.SetValue(slider.Value() - 1);
      }
      dialog.form.StoreToRecord(c);
      EXPECT_TRUE(same(c)) << "dialog";
    }
  }
}

}  // namespace
}  // namespace vlm
