// The scripted back-end: the action language, playing it against forms (focus, every control
// kind, nested forms, running out of actions), accepting forms as they open, the standard
// dialogs and log lines.
#include "vlm/scripted_dialogs.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/temp_home.h"
#include "vlm/error.h"
#include "vlm/settings.h"

namespace vlm {
namespace {

using ::testing::HasSubstr;
using Kind = TranscriptEntry::Kind;

// Installs a back-end for one test.
struct Ui {
  explicit Ui(std::shared_ptr<ScriptedDialogs> d)
      : dialogs(std::move(d)), previous(SetDialogBackend(dialogs)) {}
  explicit Ui(std::string_view script)
      : Ui(std::make_shared<ScriptedDialogs>(ParseDialogScript(script))) {}
  ~Ui() { SetDialogBackend(previous); }
  std::vector<std::string> Texts(Kind kind) const {
    std::vector<std::string> out;
    for (const auto& e : dialogs->Transcript())
      if (e.kind == kind) out.push_back(e.text);
    return out;
  }
  std::shared_ptr<ScriptedDialogs> dialogs;
  std::shared_ptr<DialogBackend> previous;
};

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), err::InvalidProcedureCall) << e.Description();
    return e.Description();
  }
  ADD_FAILURE() << "no error raised";
  return {};
}

// An export dialog with one control of every kind; every event is written to `events`.
struct ExportForm : Form {
  ControlArray<TextBox> txt{*this, "txt", 2};
  ControlArray<CheckBox> chk{*this, "chk", 2};
  ControlArray<OptionButton> opt{*this, "opt", 3};
  ListBox lstMat{*this, "lstMat"};
  ComboBox cboUnits{*this, "cboUnits"};
  Slider sScale{*this, "sScale"};
  TabStrip tbsOptions{*this, "tbsOptions"};
  Label lblInfo{*this, "lblInfo"};
  CommandButton cmdOK{*this, "cmdOK"}, cmdCancel{*this, "cmdCancel"};
  std::vector<std::string> events;

  ExportForm() : Form("frmExport") {
    SetCaption("Export");
    cmdOK.SetCaption("Start Export");
    cmdCancel.SetCaption("Close");
    cmdOK.Default = cmdCancel.Cancel = true;
    auto log = [this](std::string what) { return [this, what] { events.push_back(what); }; };
    auto logIndex = [this](std::string what) {
      return [this, what](int i) { events.push_back(what + std::to_string(i)); };
    };
    txt.OnChange(logIndex("change txt"));
    txt.OnLostFocus(logIndex("lost txt"));
    chk.OnClick(logIndex("click chk"));
    opt.OnClick(logIndex("click opt"));
    lstMat.Click = log("click lstMat");
    cboUnits.Click = log("click cboUnits");
    sScale.Change = log("change sScale");
    sScale.Scroll = log("scroll sScale");
    tbsOptions.Click = log("click tbsOptions");
    cmdOK.Click = [this] { events.push_back("ok"), Hide(); };
    cmdCancel.Click = [this] { events.push_back("cancel"), Hide(); };
    for (const char* m : {"Steel", "Glass"})
      lstMat.AddItem(m);
    for (const char* u : {"mm", "inch"})
      cboUnits.AddItem(u);
    sScale.SetRange(1, 10);
    tbsOptions.AddTab("General");
    tbsOptions.AddTab("Advanced");
  }
};

TEST(ParseDialogScript, ReadsEveryKindOfAction) {
  auto a = ParseDialogScript(
      " txt(0) = a=b ;; click CMDOK; enter; escape; key ctrl+Tab; input two words; file; "
      "file /tmp/x.igs; color 255,0,1; color; answer no; txt(1)=\"\"");
  ASSERT_EQ(a.size(), 12u);
  using K = DialogAction::Kind;
  EXPECT_EQ(a[0].kind, K::Set);
  EXPECT_EQ(a[0].name, "txt");
  EXPECT_EQ(a[0].index, 0);
  EXPECT_EQ(a[0].value, "a=b");
  EXPECT_EQ(a[1].kind, K::Click);
  EXPECT_EQ(a[1].index, -1);
  EXPECT_EQ(a[4].keyCode, key::Tab);
  EXPECT_EQ(a[4].shiftState, shift::Ctrl);
  EXPECT_EQ(a[5].value, "two words");
  EXPECT_TRUE(a[6].cancel);
  EXPECT_EQ(a[7].value, "/tmp/x.igs");
  EXPECT_EQ(a[8].color, 255 + 65536);
  EXPECT_TRUE(a[9].cancel);
  EXPECT_EQ(a[10].button, mb::No);
  EXPECT_EQ(a[11].value, "");
  EXPECT_EQ(ParseDialogScript("key F1")[0].keyCode, key::F1);
  EXPECT_EQ(ParseDialogScript("key shift+q")[0].keyCode, 'Q');
  EXPECT_TRUE(ParseDialogScript(" ; ").empty());
}

TEST(ParseDialogScript, NamesTheOriginTheActionAndTheProblem) {
  const std::pair<const char*, const char*> cases[] = {
      {"chk(1)=", "--ui: \"chk(1)=\" has no value"},
      {"clik cmdOK", "--ui: unknown action \"clik cmdOK\""},
      {"color 300,0,0", "--ui: \"color 300,0,0\": components must be 0..255"},
      {"color 1,2", "expected three components"},
      {"color 1,2,3,4", "expected three components"},
      {"chk(x)=1", "\"chk(x)\" is not a control name"},
      {"click", "needs the name of a control"},
      {"enter now", "takes nothing after it"},
      {"key hyper+A", "\"hyper\" is not ctrl, shift or alt"},
      {"key F13", "unknown key \"F13\""},
      {"key ctrl+", "no key after the modifiers"},
      {"answer Maybe", "unknown button \"Maybe\""},
  };
  for (const auto& [script, message] : cases) {
    const std::string_view text = script;  // clang 14 cannot capture a structured binding
    EXPECT_THAT(ErrorOf([&] { ParseDialogScript(text); }), HasSubstr(message)) << script;
  }
  EXPECT_THAT(ErrorOf([] { ParseDialogScript("enter; bogus", "ui.txt"); }),
              HasSubstr("ui.txt: unknown action \"bogus\""));
  // A value that is not UTF-8 is refused as the script is read, the action named.
  for (const char* script :
       {"txt(0)=a\xff", "input \"\xc3\"", "file /tmp/\xed\xa0\x80.igs", "lstMat=\xc0\xaf"}) {
    EXPECT_THAT(ErrorOf([&] { ParseDialogScript(script); }),
                HasSubstr("the value is not UTF-8 text"))
        << script;
  }
  EXPECT_THAT(ErrorOf([] { ParseDialogScript("enter; input x\xffy", "ui.txt"); }),
              HasSubstr("ui.txt: \"input x\\xFFy\": the value is not UTF-8"));
  EXPECT_EQ(ParseDialogScript("input \xc3\xa9t\xc3\xa9 \xf0\x9f\x99\x82")[0].value,
            "\xc3\xa9t\xc3\xa9 \xf0\x9f\x99\x82");
}

TEST(ParseDialogScript, QuotedValuesKeepSemicolonsBlanksAndEscapes) {
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      {R"(txtEffect="Rate=2;Delay=1"; enter)", {"Rate=2;Delay=1", ""}},
      {R"(lstMat="3 ")", {"3 "}},
      {R"(txt(0) = "say \"hi\" \\ C:\dir" )", {"say \"hi\" \\ C:\\dir"}},
      {R"(txt(0)=""; txt(1)=6")", {"", "6\""}},
      {R"(input "a; b"; file "x;y.dds"; answer "No")", {"a; b", "x;y.dds", "No"}},
      {"txt(0)=5'6\"; txt(1)=a", {"5'6\"", "a"}},
      // A quote that is not closed, or not at the end, is part of the value as written.
      {"txt(0)=\"open; txt(1)=x", {"\"open", "x"}},
      {"txt(0)=\"a\" b; txt(1)=\"c\"d", {"\"a\" b", "\"c\"d"}},
      // Outside a script file a line break is part of the value.
      {"txt(0)=a\nb; txt(1)=\"c\nd\"", {"a\nb", "c\nd"}},
      // ... and between words a blank: the value after "input" is the one quoted, not one
      // after an "=" inside it.
      {"\ninput\n\"a=\"\"; \ninput \"b=\"", {"\"a=\"\"", "b="}},
      // \n and \r inside quotes are line breaks, as a list entry may hold; unquoted, as written.
      {R"(lstMat="two\nlines"; input "a\r\nb"; file C:\new)", {"two\nlines", "a\r\nb", "C:\\new"}},
  };
  for (const auto& [script, values] : cases) {
    auto actions = ParseDialogScript(script);
    ASSERT_EQ(actions.size(), values.size()) << script;
    for (size_t i = 0; i < values.size(); ++i)
      EXPECT_EQ(actions[i].value, values[i]) << script;
  }
}

TEST(ParseDialogScript, ScriptFilesTakeOneActionPerLineAndNameTheLineOfAFault) {
  auto actions = ParseDialogScript(
      "# set the name\r\n  txtName=left\n\n   # and leave\ntxt(0)=\"1;2\"; click OKButton\n",
      "ui.txt", true);
  ASSERT_EQ(actions.size(), 3u);
  EXPECT_EQ(actions[0].value, "left");
  EXPECT_EQ(actions[1].value, "1;2");
  EXPECT_EQ(actions[2].kind, DialogAction::Kind::Click);
  // Every kind of line end counts a line, and a byte-order mark is not part of the first one.
  for (const char* script :
       {"enter\n# note\n\nbogus", "enter\r\n# note\r\n\r\nbogus", "enter\r# note\r\rbogus",
        "\xEF\xBB\xBF"
        "enter\n# note\n\nbogus"}) {
    EXPECT_THAT(ErrorOf([&] { ParseDialogScript(script, "ui.txt", true); }),
                HasSubstr("ui.txt:4: unknown action \"bogus\""))
        << script;
  }
  EXPECT_THAT(ErrorOf([] {
                ParseDialogScript(
                    "\xEF\xBB\xBF"
                    "bogus",
                    "ui.txt", true);
              }),
              HasSubstr("ui.txt:1: unknown action \"bogus\""));
  EXPECT_EQ(ParseDialogScript("\xEF\xBB\xBF"
                              "txt(0)=1\rtxt(1)=2",
                              "ui.txt", true)
                .size(),
            2u);
  // A fault met while playing names the line too.
  Ui ui(std::make_shared<ScriptedDialogs>(
      ParseDialogScript("txt(0)=1\nclick cmdNothing", "ui.txt", true)));
  ExportForm form;
  EXPECT_THAT(ErrorOf([&] { form.ShowModal(); }),
              HasSubstr("ui.txt:2: dialog \"Export\" (frmExport), action \"click cmdNothing\""));
}

// Every value the script gave is shown, also one the control already held (chk(0) = 0).
TEST(ScriptedPlay, AClosingDialogShowsEachValueTheScriptGaveAsTheDialogReadIt) {
  Ui ui("txt(0)=abc; txt(1)=7; chk(1)=1; chk(0)=0; lstMat=Glass; click cmdOK");
  ExportForm form;
  // A field that reads numbers: "abc" holds none and reads as 0.
  form.txt.OnLostFocus([&form](int i) {
    const std::string typed = form.txt(i).Text();
    const bool number = !typed.empty() && std::isdigit(static_cast<unsigned char>(typed[0]));
    form.txt(i).SetText(number ? typed : "0");
    form.txt(i).NoteReading(form.txt(i).Text(), number);
  });
  form.ShowModal();
  EXPECT_EQ(ui.Texts(Kind::Value),
            (std::vector<std::string>{"txt(0) = \"abc\" -> 0", "txt(1) = \"7\" -> 7", "chk(1) = 1",
                                      "chk(0) = 0", "lstMat = \"Glass\""}));
  // A value is shown as a script would quote it.
  Ui quoting(R"(txt(0)="say \"hi\"\nC:\\x"; lstMat="two\nlines"; click cmdOK)");
  ExportForm other;
  other.lstMat.AddItem("two\nlines");
  other.ShowModal();
  EXPECT_EQ(quoting.Texts(Kind::Value), (std::vector<std::string>{R"(txt(0) = "say \"hi\"\nC:\\x")",
                                                                  R"(lstMat = "two\nlines")"}));
  ASSERT_EQ(ui.Texts(Kind::Warning).size(), 1u);
  EXPECT_THAT(ui.Texts(Kind::Warning)[0], HasSubstr("txt(0) = \"abc\" is not a number"));
}

// A form that starts from remembered values shows each one as it opens, by the control it went
// into; fresh settings remember nothing, so nothing is shown.
TEST(ScriptedPlay, AFormShowsEachRememberedValueItStartsFrom) {
  test::TempHome home;
  SaveSettings("App", "Export",
               {{"txt1", "0.3"}, {"Mat", "Glass"}, {"Scale", "7"}, {"Info", "4"}, {"Odd", "a\"b"}});
  struct Case {
    bool fresh;
    std::vector<std::string> shown;
  };
  for (const Case& c :
       {Case{false,
             {R"(txt(1) = "0.3")", R"(lstMat = "Glass")", R"(sScale = "7")", R"(txt(0) = "4")",
              R"(Export/Odd = "a\"b")", R"(Export/Missing = "")"}},
        Case{true, {}}}) {
    UseFreshSettings(c.fresh);
    SaveSetting("App", "Export", "Missing", "");  // saved now: remembered only from the file
    Ui ui("enter");
    ExportForm form;
    form.OnLoad = [&form] {
      form.txt(1).SetText(GetSetting("App", "Export", "txt1", "1"));  // by its name
      form.lstMat.SetListIndex(form.lstMat.FindItem(GetSetting("App", "Export", "Mat")));
      form.sScale.SetValue(std::stoi(GetSetting("App", "Export", "Scale", "1")));  // by value
      form.txt(0).SetText(GetSetting("App", "Export", "Info"));  // not the label lblInfo
      GetSetting("App", "Export", "Odd");
      GetSetting("App", "Export", "Missing", "default");
      GetSetting("App", "Export", "Absent", "default");
    };
    form.ShowModal();
    EXPECT_EQ(ui.Texts(Kind::Remembered), c.shown) << c.fresh;
    UseFreshSettings(false);
  }
}

TEST(ScriptedFocus, ClickingAButtonRunsTheFieldsLostFocusFirstButEnterDoesNot) {
  {
    ExportForm form;
    Ui ui("txt(0)=5; click cmdOK");
    form.ShowModal();
    EXPECT_EQ(form.events, (std::vector<std::string>{"change txt0", "lost txt0", "ok"}));
  }
  {
    ExportForm form;
    Ui ui("txt(0)=5; enter");
    form.ShowModal();
    EXPECT_EQ(form.events, (std::vector<std::string>{"change txt0", "ok"}));
  }
  {
    // Setting the same field again keeps the focus; moving to the next field leaves it.
    ExportForm form;
    Ui ui("txt(0)=1; txt(0)=2; txt(1)=3; click lblInfo; escape");
    form.ShowModal();
    EXPECT_EQ(form.events, (std::vector<std::string>{"change txt0", "change txt0", "lost txt0",
                                                     "change txt1", "cancel"}));
  }
}

TEST(ScriptedPlay, DrivesEveryKindOfControl) {
  ExportForm form;
  Ui ui(
      "chk(1)=1; click chk(0); click chk(1); opt(2)=1; click opt(0); lstMat=Glass; "
      "cboUnits=inch; sScale=7; tbsOptions=Advanced; txt(1)=x; enter");
  form.ShowModal();
  EXPECT_EQ(form.events, (std::vector<std::string>{
                             "click chk1", "click chk0", "click chk1", "click opt2", "click opt0",
                             "click lstMat", "click cboUnits", "change sScale", "scroll sScale",
                             "click tbsOptions", "change txt1", "ok"}));
  EXPECT_EQ(form.chk(0).Value(), 1);
  EXPECT_EQ(form.chk(1).Value(), 0);
  EXPECT_TRUE(form.opt(0).Value());
  EXPECT_FALSE(form.opt(2).Value());
  EXPECT_EQ(form.lstMat.Text(), "Glass");
  EXPECT_EQ(form.cboUnits.ListIndex(), 1);
  EXPECT_EQ(form.sScale.Value(), 7);
  EXPECT_EQ(form.tbsOptions.SelectedIndex(), 2);
  EXPECT_EQ(form.txt(1).Text(), "x");
}

TEST(ScriptedPlay, RejectsWhatAPersonCouldNotDo) {
  const std::pair<const char*, const char*> cases[] = {
      // A slip of the keyboard: the nearest names; no name near: where to find them all.
      {"txt(7)=1", "there is no control txt(7); did you mean txt(0) or txt(1)?"},
      {"width=1", "there is no control width; it has 14 controls (vlmhost describe lists them)"},
      {"chk(0)=yes", "a check box takes 0 (unticked), 1 (ticked) or 2 (greyed)"},
      {"opt(1)=0", "an option button can only be set to 1"},
      {"sScale=11", "11 is outside the slider's range 1..10"},
      {"sScale=2.5", "a slider takes a whole number 1..10"},
      {"lstMat=Wood", "lstMat has no entry \"Wood\"; its entries: \"Steel\", \"Glass\""},
      {"tbsOptions=Hidden",
       "tbsOptions has no tab \"Hidden\"; its tabs: \"General\", \"Advanced\""},
      {"lblInfo=hi", "cannot set a label"},
      {"cmdOK=1", "cannot set a command button (click it instead)"},
      {"click chk(1)", "chk(1) is disabled"},
      {"click txt(1)", "txt(1) is hidden"},
      {"input yes", "it answers an input box, but none is open"},
      {"answer OK", "it answers a message box, but none is open"},
  };
  for (const auto& [script, message] : cases) {
    ExportForm form;
    form.chk(1).SetEnabled(false);
    form.txt(1).SetVisible(false);
    Ui ui(script);
    std::string error = ErrorOf([&] { form.ShowModal(); });
    EXPECT_THAT(error, HasSubstr("dialog \"Export\" (frmExport), action \"" + std::string(script) +
                                 "\": " + message));
    EXPECT_FALSE(form.IsShown());
  }
}

TEST(ScriptedPlay, AFormLeftOpenNamesItselfAndItsButtons) {
  ExportForm form;
  form.cmdCancel.SetEnabled(false);
  Ui ui("txt(0)=1");
  EXPECT_EQ(ErrorOf([&] { form.ShowModal(); }),
            "dialog \"Export\" (frmExport) is still open and the actions ran out; its buttons: "
            "cmdOK \"Start Export\", cmdCancel \"Close\" (disabled)");
  EXPECT_FALSE(form.IsShown());
}

TEST(ScriptedPlay, KeysReachTheFormsKeyDownThenHelpEnterAndEscape) {
  ExportForm form;
  SetHelpFile("/plugins/vlmplugins.chm");
  Ui ui("key F1; key ctrl+Tab; key Enter");
  form.ShowModal();
  EXPECT_EQ(ui.Texts(Kind::Help), std::vector<std::string>{"/plugins/vlmplugins.chm"});
  EXPECT_EQ(form.events.back(), "ok");

  std::vector<std::pair<int, int>> keys;
  form.KeyPreview = true;
  form.KeyDown = [&](int code, int state) { keys.emplace_back(code, state); };
  Ui again("key F1; key ctrl+Tab; key Escape");
  form.ShowModal();
  EXPECT_TRUE(again.Texts(Kind::Help).empty());  // KeyDown received F1
  EXPECT_EQ(keys, (std::vector<std::pair<int, int>>{
                      {key::F1, 0}, {key::Tab, shift::Ctrl}, {key::Escape, 0}}));
  EXPECT_EQ(form.events.back(), "cancel");
}

TEST(ScriptedPlay, NestedFormsTakeTheirActionsInTurn) {
  ExportForm outer;
  Form confirm("frmConfirm");
  confirm.SetCaption("Sure?");
  CheckBox chkSure(confirm, "chkSure");
  CommandButton cmdYes(confirm, "cmdYes");
  cmdYes.Click = [&] { confirm.Hide(); };
  outer.cmdOK.Click = [&] {
    confirm.ShowModal();
    outer.events.push_back(chkSure.Value() ? "sure" : "unsure");
    outer.Hide();
  };
  Ui ui("txt(0)=1; click cmdOK; chkSure=1; click cmdYes");
  outer.ShowModal();
  EXPECT_EQ(outer.events, (std::vector<std::string>{"change txt0", "lost txt0", "sure"}));
  EXPECT_EQ(ui.Texts(Kind::Dialog), (std::vector<std::string>{"frmExport", "frmConfirm"}));
  EXPECT_TRUE(ui.dialogs->Remaining().empty());
}

TEST(AcceptMode, PressesTheDefaultButtonThenTheCancelButton) {
  Ui ui(std::make_shared<ScriptedDialogs>());
  ExportForm form;
  form.ShowModal();
  EXPECT_EQ(form.events, std::vector<std::string>{"ok"});

  form.events.clear();
  form.cmdOK.SetEnabled(false);
  form.ShowModal();
  EXPECT_EQ(form.events, std::vector<std::string>{"cancel"});

  form.cmdCancel.Click = [] {};  // neither button closes it
  EXPECT_THAT(ErrorOf([&] { form.ShowModal(); }),
              HasSubstr("dialog \"Export\" (frmExport) is still open after pressing its default "
                        "and cancel buttons; its buttons: cmdOK"));
}

TEST(StandardDialogs, MessageBoxesTakeQueuedAnswersOrTheirFirstButton) {
  Ui ui("answer no; answer Retry");
  EXPECT_EQ(MsgBox("Replace it?", mb::YesNo | mb::Question, "Export"), mb::No);
  EXPECT_THAT(ErrorOf([] { MsgBox("Failed", mb::OKCancel); }),
              HasSubstr("action \"answer Retry\": the message box \"Failed\" offers OK, Cancel"));
  EXPECT_EQ(MsgBox("Save?", mb::YesNoCancel), mb::Yes);
  EXPECT_EQ(MsgBox("Disk", mb::AbortRetryIgnore), mb::Abort);
  EXPECT_EQ(ui.Texts(Kind::MessageBox),
            (std::vector<std::string>{"Replace it?", "Failed", "Save?", "Disk"}));
  EXPECT_EQ(ui.dialogs->Transcript()[0].title, "Export");
}

TEST(StandardDialogs, InputFileAndColourTakeQueuedAnswersOrFallBack) {
  Ui ui("input Cube 2; file /out/a.igs; file; color 1,2,3; color");
  EXPECT_EQ(InputBox("Name?", "Export", "Cube"), "Cube 2");
  EXPECT_EQ(InputBox("Name?", "Export", "Cube"), "Cube");  // nothing queued: the default

  Form form("frmTest");
  CommonDialog dlg(form, "dlg");
  dlg.FileName = "keep.igs";
  EXPECT_TRUE(dlg.ShowSave());
  EXPECT_EQ(dlg.FileName, "/out/a.igs");
  EXPECT_FALSE(dlg.ShowOpen());  // cancelled
  EXPECT_EQ(dlg.FileName, "/out/a.igs");
  EXPECT_TRUE(dlg.ShowColor());
  EXPECT_EQ(dlg.Color, 1 + 2 * 256 + 3 * 65536);
  EXPECT_FALSE(dlg.ShowColor());
  EXPECT_FALSE(dlg.ShowOpen());  // nothing queued: cancelled, with a note
  EXPECT_FALSE(dlg.ShowColor());
  // The colour dialog's line shows the answer, then what it started from.
  EXPECT_EQ(ui.Texts(Kind::ColorDialog),
            (std::vector<std::string>{"1,2,3 (it showed 0,0,0)", "cancelled (it showed 1,2,3)",
                                      "cancelled (it showed 1,2,3)"}));
  EXPECT_EQ(ui.Texts(Kind::Note),
            (std::vector<std::string>{"answered \"Cube 2\"",
                                      "input box \"Name?\": no answer given, taking the "
                                      "default answer \"Cube\"",
                                      "file dialog \"\": no answer given, cancelling it",
                                      "colour dialog: no answer given, cancelling it"}));
}

TEST(StandardDialogs, RepaintingALogListRecordsEachNewLineOnce) {
  Ui ui(std::make_shared<ScriptedDialogs>());
  std::vector<std::string> observed;
  ui.dialogs->SetObserver([&](const TranscriptEntry& e) { observed.push_back(e.text); });
  Form form("frmExport");
  form.SetCaption("Export");
  ListBox lstLog(form, "lstLog");
  lstLog.AddItem("writing a.igs");
  lstLog.AddItem("3 objects");
  lstLog.Refresh();
  lstLog.Refresh();
  lstLog.Clear();
  lstLog.AddItem("done");
  lstLog.Refresh();
  EXPECT_EQ(observed, (std::vector<std::string>{"writing a.igs", "3 objects", "done"}));
  EXPECT_EQ(ui.dialogs->Transcript().back().title, "Export");
}

}  // namespace
}  // namespace vlm
