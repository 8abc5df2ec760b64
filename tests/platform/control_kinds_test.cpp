// What each kind of control means to a back-end: every kind has its name, focus rule, value,
// entries and range, so a kind added without them shows up here.
#include "vlm/control_kinds.h"

#include <gtest/gtest.h>

namespace vlm {
namespace {

struct AllKinds : Form {
  TextBox txt{*this, "txt"};
  CheckBox chk{*this, "chk"};
  OptionButton opt{*this, "opt"};
  ListBox lst{*this, "lst"};
  ComboBox cbo{*this, "cbo"};
  Slider sld{*this, "sld"};
  TabStrip tbs{*this, "tbs"};
  Label lbl{*this, "lbl"};
  CommandButton cmd{*this, "cmd"};
  Frame fra{*this, "fra"};
  PictureBox pic{*this, "pic"};
  CommonDialog dlg{*this, "dlg"};
  AllKinds() : Form("frmAll") {
    txt.SetText("abc");
    chk.SetValue(2);
    lst.AddItem("Oak"), lst.AddItem("Ash"), lst.SetListIndex(1);
    cbo.SetText("free");
    sld.SetRange(-5, 5), sld.SetValue(3);
    tbs.AddTab("Main"), tbs.AddTab("More");
  }
};

TEST(ControlKinds, EveryKindHasItsNameFocusValueEntriesAndRange) {
  AllKinds form;
  struct Row {
    const char* control;
    const char* kind;
    bool focus;
    std::optional<std::string> value;  // as a script writes it
    int entries;                       // -1: none
    std::optional<std::pair<int, int>> range;
    bool reported;
  };
  using R = std::pair<int, int>;
  const Row rows[] = {
      {"txt", "text box", true, "abc", -1, {}, true},
      {"chk", "check box", true, "2", -1, {}, true},
      {"opt", "option button", true, "0", -1, {}, false},
      {"lst", "list box", true, "Ash", 2, {}, true},
      {"cbo", "drop-down list", true, "free", 0, {}, true},
      {"sld", "slider", true, "3", -1, R{-5, 5}, false},
      {"tbs", "tab strip", true, "Main", 2, {}, false},
      {"lbl", "label", false, {}, -1, {}, false},
      {"cmd", "command button", true, {}, -1, {}, false},
      {"fra", "frame", false, {}, -1, {}, false},
      {"pic", "picture box", true, {}, -1, {}, false},
      {"dlg", "common dialog", false, {}, -1, {}, false},
  };
  ASSERT_EQ(std::size(rows), form.Controls().size());
  for (const Row& row : rows) {
    SCOPED_TRACE(row.control);
    const Control& c = *form.FindControl(row.control);
    EXPECT_STREQ(ControlKindName(c.Kind()), row.kind);
    EXPECT_EQ(TakesFocus(c), row.focus);
    std::optional<ControlValue> value = ValueOf(c);
    EXPECT_EQ(value ? std::optional(ValueText(*value)) : std::nullopt, row.value);
    std::optional<std::vector<std::string>> entries = EntriesOf(c);
    EXPECT_EQ(entries ? static_cast<int>(entries->size()) : -1, row.entries);
    EXPECT_EQ(RangeOf(c), row.range);
    EXPECT_EQ(ReportsChanges(c), row.reported);
  }
}

}  // namespace
}  // namespace vlm
