// Forms and controls: events raised by code-side setters, option groups, lists, drawing, the
// form's life cycle and what goes to the dialog back-end.
#include "vlm/forms.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "vlm/error.h"
#include "vlm/scripted_dialogs.h"

namespace vlm {
namespace {

using ::testing::HasSubstr;

// Runs f, which must throw vlm::Error with this number, and returns its description.
template <class F>
std::string ErrorOf(F&& f, int number = err::InvalidProcedureCall) {
  try {
    f();
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), number) << e.Description();
    return e.Description();
  }
  ADD_FAILURE() << "no error raised";
  return {};
}

// A back-end that records what reaches it and answers from its fields.
struct FakeBackend : DialogBackend {
  std::vector<std::string> calls;
  std::optional<std::string> input, file;
  std::optional<int32_t> color;
  std::function<void(Form&)> run = [](Form& f) { f.Hide(); };
  void RunModal(Form& form) override {
    calls.push_back("modal " + form.Name());
    run(form);
  }
  int MessageBox(const MessageBoxRequest& r) override {
    calls.push_back("msg " + r.title + ": " + r.prompt);
    return mb::No;
  }
  std::optional<std::string> InputBox(const InputBoxRequest& r) override {
    calls.push_back("input " + r.prompt + " [" + r.defaultAnswer + "]");
    return input;
  }
  std::optional<std::string> FileDialog(const FileDialogRequest& r) override {
    calls.push_back(std::string(r.save ? "save " : "open ") + r.fileName + " " + r.filter);
    return file;
  }
  std::optional<int32_t> ColorDialog(int32_t initial) override {
    calls.push_back("color " + std::to_string(initial));
    return color;
  }
  void ShowHelp(const std::string& file) override { calls.push_back("help " + file); }
  void Repaint(const Control& c) override { calls.push_back("repaint " + c.FullName()); }
};

class WithFakeBackend : public ::testing::Test {
 protected:
  void SetUp() override { previous_ = SetDialogBackend(fake_); }
  void TearDown() override { SetDialogBackend(previous_); }
  std::shared_ptr<FakeBackend> fake_ = std::make_shared<FakeBackend>();
  std::shared_ptr<DialogBackend> previous_;
};

TEST(FormControls, RegisterFindAndLeaveTheirForm) {
  Form form("frmTest");
  ControlArray<TextBox> txt(form, "txt", 2);
  CommandButton cmdOK(form, "cmdOK");
  EXPECT_EQ(txt(1).FullName(), "txt(1)");
  EXPECT_EQ(form.FindControl("TXT", 1), &txt(1));  // names ignore case
  EXPECT_EQ(form.FindControl("cmdok"), &cmdOK);
  EXPECT_EQ(form.FindControl("txt"), nullptr);  // the array has no index -1
  EXPECT_THAT(ErrorOf([&] { TextBox again(form, "cmdOK"); }),
              HasSubstr("already has a control named cmdOK"));
  {
    Label passing(form, "lblPassing");
    EXPECT_EQ(form.Controls().size(), 4u);
  }
  EXPECT_EQ(form.Controls().size(), 3u);
  EXPECT_EQ(form.FindControl("lblPassing"), nullptr);
}

TEST(FormControls, SettersRaiseTheirEventOnlyWhenTheValueChanges) {
  Form form("frmTest");
  TextBox txt(form, "txt");
  CheckBox chk(form, "chk");
  Slider sld(form, "sld");
  int changes = 0, clicks = 0, slides = 0;
  txt.Change = [&] { ++changes; };
  chk.Click = [&] { ++clicks; };
  sld.Change = [&] { ++slides; };

  txt.SetText("a");
  txt.SetText("a");
  chk.SetValue(1);
  chk.SetValue(1);
  chk.SetValue(2);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(clicks, 2);
  EXPECT_THAT(ErrorOf([&] { chk.SetValue(3); }), HasSubstr("frmTest.chk"));

  sld.SetRange(0, 20);
  sld.SetValue(50);  // clamped to the maximum
  EXPECT_EQ(sld.Value(), 20);
  sld.SetValue(25);  // clamped to the same value: no event
  EXPECT_EQ(slides, 1);
  sld.SetRange(0, 5);  // the value follows the range quietly
  EXPECT_EQ(sld.Value(), 5);
  EXPECT_EQ(slides, 1);
  EXPECT_THAT(ErrorOf([&] { sld.SetRange(3, 2); }), HasSubstr("3..2"));
}

TEST(FormControls, OptionButtonsClearTheOthersOfTheirGroupOnly) {
  Form form("frmTest");
  ControlArray<OptionButton> optLOD(form, "optLOD", 3);
  OptionButton optA(form, "optA"), optB(form, "optB"), optX(form, "optX");
  optX.SetGroup("other");
  std::vector<int> clicked;
  optLOD.OnClick([&](int i) { clicked.push_back(i); });

  optLOD(0).SetValue(true);
  optLOD(2).SetValue(true);
  optLOD(2).SetValue(true);  // already selected: no second Click
  EXPECT_EQ(clicked, (std::vector<int>{0, 2}));
  EXPECT_FALSE(optLOD(0).Value());

  optA.SetValue(true);
  optX.SetValue(true);
  optB.SetValue(true);  // the ungrouped buttons are one group; the array and "other" are not
  EXPECT_FALSE(optA.Value());
  EXPECT_TRUE(optB.Value() && optX.Value() && optLOD(2).Value());
}

TEST(FormControls, ListsKeepTheirSelectionInRange) {
  Form form("frmTest");
  ListBox lst(form, "lstMat");
  for (const char* s : {"Steel", "Glass", "Wood"})
    lst.AddItem(s);
  int clicks = 0;
  lst.Click = [&] { ++clicks; };
  lst.SetListIndex(2);
  lst.SetListIndex(2);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(lst.Text(), "Wood");
  lst.RemoveItem(0);  // the selection follows its entry
  EXPECT_EQ(lst.ListIndex(), 1);
  lst.RemoveItem(1);
  EXPECT_EQ(lst.ListIndex(), -1);
  EXPECT_EQ(lst.Text(), "");
  EXPECT_THAT(ErrorOf([&] { lst.SetListIndex(1); }),
              HasSubstr("frmTest.lstMat: list index 1 is outside -1..0"));
  EXPECT_THAT(ErrorOf([&] { lst.List(-1); }, err::SubscriptOutOfRange), HasSubstr("lstMat"));
  ErrorOf([&] { lst.RemoveItem(5); });

  ComboBox cbo(form, "cboUnits");
  cbo.AddItem("mm");
  cbo.AddItem("inch");
  cbo.SetText("inch");
  EXPECT_EQ(cbo.ListIndex(), 1);
  cbo.SetText("3 cubits");  // no such entry: shown as typed, nothing selected
  EXPECT_EQ(cbo.ListIndex(), -1);
  EXPECT_EQ(cbo.Text(), "3 cubits");
  const ListControl& asList = cbo;
  EXPECT_EQ(asList.Text(), "3 cubits");
}

TEST(FormControls, TabStripSelectsItsFirstTabAndCountsFromOne) {
  Form form("frmTest");
  TabStrip tbs(form, "tbsOptions");
  EXPECT_EQ(tbs.SelectedIndex(), 0);
  int clicks = 0;
  tbs.Click = [&] { ++clicks; };
  tbs.AddTab("General");
  tbs.AddTab("Advanced", "More settings");
  EXPECT_EQ(tbs.SelectedIndex(), 1);
  EXPECT_EQ(clicks, 0);
  tbs.SetSelectedIndex(tbs.FindTab("Advanced"));
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(tbs.TabAt(2).toolTip, "More settings");
  EXPECT_EQ(tbs.FindTab("Missing"), 0);
  ErrorOf([&] { tbs.SetSelectedIndex(3); });
  ErrorOf([&] { tbs.TabAt(0); }, err::SubscriptOutOfRange);
}

TEST(FormControls, PictureBoxRecordsDrawingAndClsKeepsTheScale) {
  Form form("frmTest");
  PictureBox pic(form, "picBuf");
  pic.Scale(0, 10, 100, -10);
  pic.SetForeColor(0xFF);
  pic.Line(0, 0, 5, 5);
  pic.SetFillColor(0x00FF00);
  pic.Box(1, 1, 2, 2);
  ASSERT_EQ(pic.Commands().size(), 5u);
  EXPECT_EQ(pic.Commands()[4].op, DrawCommand::Op::Rectangle);
  EXPECT_EQ(pic.Commands()[3].color, 0x00FF00);
  pic.Cls();
  ASSERT_EQ(pic.Commands().size(), 2u);
  EXPECT_EQ(pic.Commands()[0].op, DrawCommand::Op::Scale);
  EXPECT_EQ(pic.Commands()[0].y2, -10);
  EXPECT_EQ(pic.Commands()[1].op, DrawCommand::Op::Clear);
  ErrorOf([&] { pic.Scale(0, 0, 0, 1); });
}

TEST_F(WithFakeBackend, ShowModalLoadsOnceAndReturnsHidden) {
  Form form("frmTest");
  int loads = 0, unloads = 0;
  form.OnLoad = [&] { ++loads; };
  form.OnUnload = [&] { ++unloads; };
  bool shownDuringRun = false;
  fake_->run = [&](Form& f) {
    shownDuringRun = f.IsShown();
    EXPECT_THAT(ErrorOf([&] { f.ShowModal(); }), HasSubstr("frmTest is already shown"));
    f.Hide();
  };
  form.ShowModal();
  form.ShowModal();
  EXPECT_TRUE(shownDuringRun);
  EXPECT_EQ(loads, 1);
  EXPECT_FALSE(form.IsShown());
  form.Unload();
  form.Unload();
  EXPECT_EQ(unloads, 1);
  EXPECT_FALSE(form.IsLoaded());

  fake_->run = [](Form&) { throw Error(err::InvalidProcedureCall, "back-end failed"); };
  ErrorOf([&] { form.ShowModal(); });
  EXPECT_FALSE(form.IsShown());  // a failed show leaves the form hidden
  EXPECT_EQ(loads, 2);
}

TEST_F(WithFakeBackend, DialogsGoToTheCurrentBackend) {
  Form form("frmTest");
  ListBox lst(form, "lstLog");
  CommonDialog dlg(form, "dlgFile");
  EXPECT_EQ(MsgBox("Overwrite?", mb::YesNo, "Export"), mb::No);
  EXPECT_EQ(InputBox("Name?", "", "obj"), "");  // cancelled
  fake_->input = "cube";
  EXPECT_EQ(InputBox("Name?"), "cube");
  SetHelpFile("/p/vlmplugins.chm");
  ShowHelp();
  lst.Refresh();

  dlg.FileName = "old.igs";
  dlg.Filter = "IGS|*.igs";
  EXPECT_FALSE(dlg.ShowSave());
  EXPECT_EQ(dlg.FileName, "old.igs");
  fake_->file = "new.igs";
  EXPECT_TRUE(dlg.ShowOpen());
  EXPECT_EQ(dlg.FileName, "new.igs");
  dlg.Color = 7;
  EXPECT_FALSE(dlg.ShowColor());
  fake_->color = 0x123456;
  EXPECT_TRUE(dlg.ShowColor());
  EXPECT_EQ(dlg.Color, 0x123456);

  EXPECT_EQ(fake_->calls, (std::vector<std::string>{
                              "msg Export: Overwrite?", "input Name? [obj]", "input Name? []",
                              "help /p/vlmplugins.chm", "repaint lstLog", "save old.igs IGS|*.igs",
                              "open old.igs IGS|*.igs", "color 7", "color 7"}));
}

TEST(DialogBackendChoice, TheDefaultAcceptsFormsAndSetReturnsThePrevious) {
  auto mine = std::make_shared<ScriptedDialogs>();
  auto before = SetDialogBackend(mine);
  EXPECT_EQ(&CurrentDialogBackend(), mine.get());
  EXPECT_EQ(SetDialogBackend(nullptr), mine);
  Form form("frmTest");
  CommandButton cmdOK(form, "cmdOK");
  cmdOK.Default = true;
  cmdOK.Click = [&] { form.Hide(); };
  form.ShowModal();  // the fresh default back-end presses the default button
  EXPECT_FALSE(form.IsShown());
  SetDialogBackend(before);
}

}  // namespace
}  // namespace vlm
