// One row per kind of control: everything a back-end needs to know about a kind beyond the
// control's own properties.
#include "vlm/control_kinds.h"

#include <algorithm>

#include "dialog_text.h"

namespace vlm {

namespace {

using dialog_text::ParseInt;
using dialog_text::Quote;
using dialog_text::QuotedList;

template <class T>
const T& As(const Control& control) {
  return static_cast<const T&>(control);
}
template <class T>
T& As(Control& control) {
  return static_cast<T&>(control);
}

struct KindTraits {
  ControlKind kind;
  const char* name;  // as messages name the kind
  bool takesFocus = true;
  std::optional<ControlValue> (*value)(const Control&) = nullptr;
  std::optional<std::vector<std::string>> (*entries)(const Control&) = nullptr;
  std::optional<std::pair<int, int>> (*range)(const Control&) = nullptr;
  // Returns the problem, or "". nullptr: the kind cannot be set.
  std::string (*set)(Control&, const std::string&) = nullptr;
  std::optional<std::string> (*clicked)(const Control&) = nullptr;
  // nullptr: changes are not reported.
  ChangeReport (*report)(const Control&, const std::string& typed) = nullptr;
};

// A change reported as the value the control holds now.
ChangeReport ReportValue(const Control& control, const std::string&) {
  const ControlValue value = *ValueOf(control);
  const std::string text = ValueText(value);
  return {std::holds_alternative<int>(value) ? text : ScriptQuoted(text), std::nullopt};
}

// Picks the entry equal to `text` with `pick`, or names the entries when there is none.
template <class F>
std::string PickEntry(const ListControl& list, const std::string& text, F pick) {
  int found = list.FindItem(text);
  if (found < 0) {
    return list.FullName() + " has no entry " + Quote(text) + "; " +
           (list.ListCount() == 0 ? "it is empty" : "its entries: " + QuotedList(list.Items()));
  }
  pick(found);
  return {};
}

// A list box and a drop-down list differ only in how an entry is picked.
constexpr KindTraits ListTraits(ControlKind kind, const char* name,
                                std::string (*set)(Control&, const std::string&)) {
  return {.kind = kind,
          .name = name,
          .value = [](const Control& c) -> std::optional<ControlValue> {
            return As<ListControl>(c).Text();
          },
          .entries = [](const Control& c) -> std::optional<std::vector<std::string>> {
            return As<ListControl>(c).Items();
          },
          .set = set,
          .report = ReportValue};
}

std::optional<std::vector<std::string>> TabCaptions(const Control& control) {
  const auto& tabs = As<TabStrip>(control);
  std::vector<std::string> captions;
  for (int i = 1; i <= tabs.TabCount(); ++i)
    captions.push_back(tabs.TabAt(i).caption);
  return captions;
}

constexpr KindTraits kKinds[] = {
    {
        .kind = ControlKind::TextBox,
        .name = "text box",
        .value = [](const Control& c) -> std::optional<ControlValue> {
          return As<TextBox>(c).Text();
        },
        .set = [](Control& c, const std::string& text) -> std::string {
          auto& box = As<TextBox>(c);
          box.ForgetReading();
          box.SetText(text);
          return {};
        },
        // What was typed, then what the dialog made of it.
        .report = [](const Control& c, const std::string& typed) -> ChangeReport {
          const auto& box = As<TextBox>(c);
          ChangeReport report{ScriptQuoted(typed), std::nullopt};
          if (box.Reading()) {
            report.value += " -> " + *box.Reading();
          } else if (box.Text() != typed) {
            report.value += " -> " + ScriptQuoted(box.Text());
          }
          if (box.ReadingFailed()) {
            report.warning = ScriptQuoted(typed) +
                             " is not a number the dialog can read; it was read as " +
                             *box.Reading();
          }
          return report;
        },
    },
    {
        .kind = ControlKind::CheckBox,
        .name = "check box",
        .value = [](const Control& c) -> std::optional<ControlValue> {
          return As<CheckBox>(c).Value();
        },
        .set = [](Control& c, const std::string& text) -> std::string {
          if (text != "0" && text != "1" && text != "2")
            return "a check box takes 0 (unticked), 1 (ticked) or 2 (greyed)";
          As<CheckBox>(c).SetValue(text[0] - '0');
          return {};
        },
        .clicked = [](const Control& c) -> std::optional<std::string> {
          return As<CheckBox>(c).Value() == 0 ? "1" : "0";
        },
        .report = ReportValue,
    },
    {
        .kind = ControlKind::OptionButton,
        .name = "option button",
        .value = [](const Control& c) -> std::optional<ControlValue> {
          return As<OptionButton>(c).Value() ? 1 : 0;
        },
        .set = [](Control& c, const std::string& text) -> std::string {
          if (text != "1")
            return "an option button can only be set to 1; choose another option of its group "
                   "to clear it";
          As<OptionButton>(c).SetValue(true);
          return {};
        },
        .clicked = [](const Control&) -> std::optional<std::string> { return "1"; },
    },
    ListTraits(ControlKind::ListBox, "list box",
               [](Control& c, const std::string& text) -> std::string {
                 auto& list = As<ListBox>(c);
                 return PickEntry(list, text, [&list](int found) { list.SetListIndex(found); });
               }),
    // The text is set, not the index: it selects the entry and clears any free text.
    ListTraits(ControlKind::ComboBox, "drop-down list",
               [](Control& c, const std::string& text) -> std::string {
                 auto& list = As<ComboBox>(c);
                 return PickEntry(list, text, [&list, &text](int) { list.SetText(text); });
               }),
    {
        .kind = ControlKind::Slider,
        .name = "slider",
        .value = [](const Control& c) -> std::optional<ControlValue> {
          return As<Slider>(c).Value();
        },
        .range = [](const Control& c) -> std::optional<std::pair<int, int>> {
          return std::pair{As<Slider>(c).Min(), As<Slider>(c).Max()};
        },
        // A person drags it: Change, then Scroll.
        .set = [](Control& c, const std::string& text) -> std::string {
          auto& slider = As<Slider>(c);
          std::string range = std::to_string(slider.Min()) + ".." + std::to_string(slider.Max());
          int number = 0;
          if (!ParseInt(text, number)) return "a slider takes a whole number " + range;
          if (number < slider.Min() || number > slider.Max())
            return text + " is outside the slider's range " + range;
          slider.SetValue(number);
          if (slider.Scroll) slider.Scroll();
          return {};
        },
    },
    {
        .kind = ControlKind::TabStrip,
        .name = "tab strip",
        .value = [](const Control& c) -> std::optional<ControlValue> {
          const auto& tabs = As<TabStrip>(c);
          return tabs.SelectedIndex() > 0 ? tabs.TabAt(tabs.SelectedIndex()).caption : "";
        },
        .entries = TabCaptions,
        .set = [](Control& c, const std::string& text) -> std::string {
          auto& tabs = As<TabStrip>(c);
          int found = tabs.FindTab(text);
          if (found == 0) {
            std::vector<std::string> captions = *TabCaptions(c);
            return c.FullName() + " has no tab " + Quote(text) + "; " +
                   (captions.empty() ? "it has no tabs" : "its tabs: " + QuotedList(captions));
          }
          tabs.SetSelectedIndex(found);
          return {};
        },
    },
    {.kind = ControlKind::Label, .name = "label", .takesFocus = false},
    {
        .kind = ControlKind::CommandButton,
        .name = "command button",
        .set = [](Control&, const std::string&) -> std::string {
          return "cannot set a command button (click it instead)";
        },
    },
    {.kind = ControlKind::Frame, .name = "frame", .takesFocus = false},
    {.kind = ControlKind::PictureBox, .name = "picture box"},
    {.kind = ControlKind::CommonDialog, .name = "common dialog", .takesFocus = false},
};

const KindTraits* Find(ControlKind kind) {
  auto it = std::find_if(std::begin(kKinds), std::end(kKinds),
                         [kind](const KindTraits& t) { return t.kind == kind; });
  return it == std::end(kKinds) ? nullptr : &*it;
}

// An unknown kind behaves as a plain control: it takes the focus and has no value.
const KindTraits& TraitsOf(const Control& control) {
  static constexpr KindTraits kPlain{.kind = ControlKind::Label, .name = "control"};
  const KindTraits* traits = Find(control.Kind());
  return traits ? *traits : kPlain;
}

}  // namespace

const char* ControlKindName(ControlKind kind) {
  const KindTraits* traits = Find(kind);
  return traits ? traits->name : "control";
}

bool TakesFocus(const Control& control) {
  return TraitsOf(control).takesFocus;
}

namespace {

// "&Help" -> "Help", "Params :" -> "Params", "Fish && Chips" -> "Fish & Chips".
std::string Readable(const std::string& caption) {
  std::string text;
  for (size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&' && i + 1 < caption.size()) ++i;  // the mark goes, the next stays
    text += caption[i];
  }
  for (char& c : text)
    if (c == '\r' || c == '\n') c = ' ';
  while (!text.empty() && (text.back() == ' ' || text.back() == ':'))
    text.pop_back();
  while (!text.empty() && text.front() == ' ')
    text.erase(text.begin());
  return text;
}

}  // namespace

std::string LabelOf(const Control& control) {
  if (control.Kind() == ControlKind::Label || !control.Caption().empty())
    return Readable(control.Caption());
  const auto& controls = control.Parent().Controls();
  for (const Control* c : controls)
    if (c->Kind() == ControlKind::Label && static_cast<const Label*>(c)->Buddy() == &control)
      return Readable(c->Caption());
  const Control* before = nullptr;
  for (const Control* c : controls) {
    if (c == &control) break;
    if (c->Container() == control.Container()) before = c;
  }
  if (before && before->Kind() == ControlKind::Label && TakesFocus(control) &&
      !static_cast<const Label*>(before)->Buddy())
    return Readable(before->Caption());
  return "";
}

std::optional<ControlValue> ValueOf(const Control& control) {
  const KindTraits& traits = TraitsOf(control);
  return traits.value ? traits.value(control) : std::nullopt;
}

std::string ValueText(const ControlValue& value) {
  if (const int* number = std::get_if<int>(&value)) return std::to_string(*number);
  return std::get<std::string>(value);
}

std::optional<std::vector<std::string>> EntriesOf(const Control& control) {
  const KindTraits& traits = TraitsOf(control);
  return traits.entries ? traits.entries(control) : std::nullopt;
}

std::optional<std::pair<int, int>> RangeOf(const Control& control) {
  const KindTraits& traits = TraitsOf(control);
  return traits.range ? traits.range(control) : std::nullopt;
}

std::string SetValueFromText(Control& control, const std::string& text) {
  const KindTraits& traits = TraitsOf(control);
  if (!traits.set) return std::string("cannot set a ") + ControlKindName(control.Kind());
  return traits.set(control, text);
}

std::optional<std::string> ClickedValue(const Control& control) {
  const KindTraits& traits = TraitsOf(control);
  return traits.clicked ? traits.clicked(control) : std::nullopt;
}

bool ReportsChanges(const Control& control) {
  return TraitsOf(control).report != nullptr;
}

ChangeReport ReportChange(const Control& control, const std::string& typed) {
  const KindTraits& traits = TraitsOf(control);
  return traits.report ? traits.report(control, typed) : ChangeReport{};
}

}  // namespace vlm
