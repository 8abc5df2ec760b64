// The forms a plug-in can open, as a first run shows them: asks the plug-in's form catalogue
// for each form, loads it and lists its controls in reading order: the controls outside any tab
// first, then each tab's in tab order, each group in the order the form made them.
#include "run/plugin_forms.h"

#include <algorithm>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <variant>

#include "run/exit_status.h"
#include "vlm/component.h"
#include "vlm/contracts/form_catalog.h"
#include "vlm/control_kinds.h"
#include "vlm/error.h"
#include "vlm/forms.h"
#include "vlm/run_context.h"
#include "vlm/scripted_dialogs.h"

namespace vlm::host {
namespace {

using nlohmann::json;

// The tab caption of the page that holds the control, "" outside the tabs.
std::string TabCaption(const Form& form, const Control& control, int& order) {
  order = 0;
  for (const Control* c : form.Controls()) {
    if (c->Kind() != ControlKind::TabStrip) continue;
    const auto& tabs = static_cast<const TabStrip&>(*c);
    if (int tab = tabs.TabOf(control)) {
      order = tab;
      return tabs.TabAt(tab).caption;
    }
  }
  return {};
}

json DescribeControl(const Form& form, const Control& c) {
  int order = 0;
  json d = {{"name", c.FullName()},       {"kind", ControlKindName(c.Kind())},
            {"caption", c.Caption()},     {"label", LabelOf(c)},
            {"toolTip", c.ToolTipText()}, {"tab", TabCaption(form, c, order)},
            {"enabled", c.Enabled()},     {"visible", c.Visible()}};
  if (std::optional<ControlValue> value = ValueOf(c))
    std::visit([&d](const auto& v) { d["value"] = v; }, *value);
  if (std::optional<std::pair<int, int>> range = RangeOf(c)) {
    d["min"] = range->first;
    d["max"] = range->second;
  }
  if (std::optional<std::vector<std::string>> entries = EntriesOf(c)) d["entries"] = *entries;
  return d;
}

json DescribeForm(const Form& form) {
  std::vector<std::pair<int, const Control*>> ordered;
  for (const Control* c : form.Controls()) {
    int order = 0;
    TabCaption(form, *c, order);
    ordered.emplace_back(order, c);
  }
  std::stable_sort(ordered.begin(), ordered.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  json controls = json::array();
  for (const auto& [order, c] : ordered)
    controls.push_back(DescribeControl(form, *c));
  return {{"name", form.Name()}, {"caption", form.Caption()}, {"controls", controls}};
}

}  // namespace

json DescribeForms(const std::string& progId, std::ostream& err, int& status) {
  // As a first run shows them: nothing remembered is read, nothing is stored.
  RunContext context;
  context.UseFreshSettings(true);
  // A form that shows a message while it loads is answered as it opens; say what it said.
  auto dialogs = std::make_shared<ScriptedDialogs>();
  dialogs->SetObserver([&err](const TranscriptEntry& e) {
    if (e.kind == TranscriptEntry::Kind::MessageBox) err << "note: " << e.text << "\n";
  });
  context.SetDialogBackend(dialogs);
  RunContext::Scope scope(context);

  Instance instance = CreateObject(progId);
  json result = {{"progId", progId}, {"forms", json::array()}};
  auto* catalog = instance.As<FormCatalog>(FormCatalog::InterfaceName);
  std::vector<std::string> names;
  status = ExitOk;
  if (catalog && Failed(catalog->FormCatalog_Names(names))) {
    err << "error: " << progId << ": cannot list its forms: " << context.LastError().description
        << "\n";
    status = ExitRunFailed;
    return result;
  }
  for (const std::string& name : names) {
    std::unique_ptr<Form> form;
    if (Failed(catalog->FormCatalog_Create(name, form)) || !form) {
      err << "error: " << progId << ": cannot make the form " << name << ": "
          << context.LastError().description << "\n";
      status = ExitRunFailed;
      continue;
    }
    result["forms"].push_back(DescribeForm(*form));
    form.reset();  // before the instance whose library holds its code
  }
  return result;
}

}  // namespace vlm::host
