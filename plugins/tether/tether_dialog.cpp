#include "tether/tether_dialog.h"

#include <cstdlib>
#include <vector>

#include "fs10/attachment.h"
#include "fs10/tether_config.h"
#include "vlm/error.h"
#include "vlm/forms.h"
#include "vlm/warnings.h"

namespace vlm::tether {
namespace {

using attachment::EscapeXml;

constexpr int kPanelLeft = 180;
constexpr int kPanelAway = -20000;

// Hundredths as text with two decimals and a "." whatever the locale: 150 -> "1.50".
std::string Hundredths(int value) {
  const int magnitude = std::abs(value);
  std::string fraction = std::to_string(magnitude % 100);
  if (fraction.size() < 2) fraction.insert(0, "0");
  return (value < 0 ? "-" : "") + std::to_string(magnitude / 100) + "." + fraction;
}

// Where a location of "tether.xml" cannot be resolved, the user learns which registry value
// was missing (a fresh machine without the simulator has none).
void WarnUnresolved(const tetherconfig::TetherConfig& config, const char* element,
                    const tetherconfig::Location& location, const char* lists) {
  Warn("the registry has no value \"" + location.subkey + "\" under HKEY_LOCAL_MACHINE\\" +
       location.key + " (looked up for tether/" + element + " in " + config.File().string() +
       "); " + lists);
}

}  // namespace

frmDialog::frmDialog(std::filesystem::path pluginFolder)
    : Form("frmDialog"), pluginFolder_(std::move(pluginFolder)) {
  SetCaption("Attach Tool");
  const char* kinds[] = {"Effect", "Library Object", "Visibility", "Mouse Rect", "Platform"};
  for (int i = 0; i < chk.Count(); ++i) {
    chk(i).SetCaption(kinds[i]);
    tabs1.AddTab(kinds[i]);
  }
  chkNoCrash.SetCaption("No Crash");
  chkEmpty.SetCaption("Empty");
  Label1.SetCaption("Name");
  Label2.SetCaption("Params : ");
  Label3.SetCaption("GUID");
  sldDist.SetRange(-1000, 1000);
  sldDist.SetValue(0);
  lblSlide.SetCaption("Offset from Geometry : 0.0");
  for (auto [label, buddy] : {std::pair<Label*, Control*>{&Label1, &txtName},
                              {&Label2, &txtEffect},
                              {&Label3, &txtGuid},
                              {&lblSlide, &sldDist}})
    label->SetBuddy(buddy);
  lblMessage.SetCaption("Adding New Attachment to Selected Face");
  OKButton.SetCaption("OK");
  OKButton.Default = true;
  CancelButton.SetCaption("Cancel");
  CancelButton.Cancel = true;

  OnLoad = [this] { formLoad(); };
  chk.OnClick([this](int i) { chkClick(i); });
  chkEmpty.Click = [this] { chkEmptyClick(); };
  tabs1.Click = [this] { tabs1Click(); };
  sldDist.Change = [this] { sldDistChange(); };
  sldDist.Scroll = [this] { sldDistChange(); };
  placeOnTabs();
  CancelButton.Click = [this] {
    OK = false;
    Hide();
  };
  // A text XML cannot hold is refused, naming its field, and the dialog stays open to mend it.
  OKButton.Click = [this] {
    std::string problem;
    std::string text = buildAttachText(problem);
    if (!problem.empty()) {
      MsgBox(problem, mb::Exclamation | mb::OKOnly, "Attach Tool");
      return;
    }
    attachText = std::move(text);
    OK = true;
    Hide();
  };
}

// The lists come from "tether.xml" and the places it names. Whatever cannot be found leaves
// its list empty; a damaged file, or a registry value that is not there, is also reported as
// a warning that names it.
void frmDialog::formLoad() {
  tabs1Click();
  const auto config = tetherconfig::TetherConfig::Load(pluginFolder_);
  if (!config.Problem().empty()) Warn(config.Problem());

  for (const std::string& name : config.Platforms())
    lstPlatform.AddItem(name);

  if (auto effects = config.Effects()) {
    if (auto location = tetherconfig::Resolve(*effects)) {
      for (const std::string& file :
           tetherconfig::EffectFiles(tetherconfig::FileSystemPath(*location)))
        lstEffect.AddItem(file);
    } else {
      WarnUnresolved(config, "effects", *effects, "the effect list stays empty");
    }
  }

  if (auto parts = config.Parts()) {
    if (auto location = tetherconfig::Resolve(*parts)) {
      try {
        auto definitions =
            tetherconfig::PartDefinitions::Load(tetherconfig::FileSystemPath(*location));
        for (const std::string& name : definitions.VisibilityParts())
          lstVis.AddItem(name);
        for (const std::string& name : definitions.MouseRectParts())
          lstMouseR.AddItem(name);
      } catch (const Error& e) {
        Warn(e.Description());
      }
    } else {
      WarnUnresolved(config, "parts", *parts,
                     "the visibility and mouse rectangle lists stay empty");
    }
  }
}

void frmDialog::chkClick(int index) {
  if (chk(index).Value() != 1) return;
  tabs1.SetSelectedIndex(index + 1);
  chkEmpty.SetValue(0);
}

void frmDialog::chkEmptyClick() {
  const bool empty = chkEmpty.Value() == 1;
  if (empty) chkNoCrash.SetValue(0);
  chkNoCrash.SetEnabled(!empty);
  for (int i = 0; i < chk.Count(); ++i) {
    if (empty) chk(i).SetValue(0);
    chk(i).SetEnabled(!empty);
  }
}

// Each tab's panel holds what that kind of attachment needs.
void frmDialog::placeOnTabs() {
  const std::vector<std::vector<Control*>> pages = {{&lstEffect, &Label2, &txtEffect},
                                                    {&Label3, &txtGuid},
                                                    {&lstVis},
                                                    {&lstMouseR},
                                                    {&lstPlatform}};
  for (int i = 0; i < pic.Count(); ++i) {
    tabs1.SetPage(i + 1, pic(i));
    for (Control* control : pages[static_cast<size_t>(i)])
      control->SetContainer(&pic(i));
  }
}

void frmDialog::tabs1Click() {
  for (int i = 0; i < pic.Count(); ++i) {
    const bool shown = i + 1 == tabs1.SelectedIndex();
    pic(i).SetLeft(shown ? kPanelLeft : kPanelAway);
    pic(i).SetVisible(shown);
  }
}

void frmDialog::sldDistChange() {
  lblSlide.SetCaption("Offset from Geometry : " + Hundredths(sldDist.Value()));
}

// Every user text is escaped, so the stored text is always well-formed XML. The first field
// used that holds a character XML cannot hold at all is named in `problem`.
std::string frmDialog::buildAttachText(std::string& problem) const {
  auto field = [&problem](const auto& control, const char* label) {
    const std::string& value = control.Text();
    if (auto bad = attachment::CharacterXmlCannotHold(value); bad && problem.empty())
      problem = control.FullName() + " (" + label + ") holds " + *bad +
                ", which the stored XML cannot hold; remove it.";
    return EscapeXml(value);
  };
  std::string text;
  const bool named = checkedAndEnabled(chk(1)) || checkedAndEnabled(chk(0)) ||
                     (checkedAndEnabled(chk(4)) && !lstPlatform.Text().empty());
  const std::string name = named ? field(txtName, "Name") : std::string();
  if (checkedAndEnabled(chk(1)) || checkedAndEnabled(chk(0))) {
    text += "<Attachpoint name=\"attachpt_" + name + "\">";
    if (!lstEffect.Text().empty() && chk(0).Enabled()) {
      text += "<AttachedObject> <Effect effectName=\"" + field(lstEffect, "Effect") +
              "\" effectParams=\"" + field(txtEffect, "Params") + "\"/> </AttachedObject>";
    }
    if (!txtGuid.Text().empty() && chk(1).Enabled()) {
      text += "<AttachedObject> <LibraryObject name=\"" + field(txtGuid, "GUID") +
              "\" scale=\"1.0\"/> </AttachedObject>";
    }
    text += "</Attachpoint>";
  }
  if (checkedAndEnabled(chk(2)) && !lstVis.Text().empty())
    text += "<Visibility name=\"" + field(lstVis, "Visibility") + "\" > </Visibility> ";
  if (checkedAndEnabled(chk(3)) && !lstMouseR.Text().empty())
    text += "<MouseRect name=\"" + field(lstMouseR, "Mouse Rect") + "\"> </MouseRect> ";
  if (checkedAndEnabled(chk(4)) && !lstPlatform.Text().empty()) {
    text += "<Platform name=\"platform_" + name + "\" surfaceType=\"" +
            field(lstPlatform, "Platform") + "\" > </Platform> ";
  }
  if (checkedAndEnabled(chkNoCrash)) text += "<NoCrash/>";
  return text;
}

}  // namespace vlm::tether
