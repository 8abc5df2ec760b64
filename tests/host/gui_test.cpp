// The windows: every form of every plug-in laid out so that a person can use it, and the
// README's examples played by clicks and key presses giving the same result as the scripted
// run.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include <QTest>
#include "cli/run_command.h"
#include "gui/form_window.h"
#include "gui/qt_dialogs.h"
#include "gui/screenshots.h"
#include "plugins/tether_files.h"
#include "support/temp_home.h"
#include "support/widget_driver.h"
#include "vlm/component.h"
#include "vlm/contracts/form_catalog.h"
#include "vlm/run_context.h"
#include "vlm/settings.h"

// What Qt, fontconfig and GLib keep until the process ends (font caches, the platform
// plug-in) is theirs, not a leak of the project's: the leak checker leaves it out.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libQt6Core\nleak:libQt6Gui\nleak:libQt6Widgets\nleak:libfontconfig\n"
         "leak:libglib-2.0\n";
}

namespace vlm {
namespace {

const std::filesystem::path Examples = VLM_TEST_EXAMPLES_DIR;

// Every plug-in with forms, registered in a fresh home that points at the examples.
class Gui : public ::testing::Test {
 protected:
  void SetUp() override {
    test::UseExamples(home, "libglazier.so");
    std::vector<std::string> args = {"register"};
    for (const char* library :
         {"libridgepull.so", "libstairwright.so", "libshrink.so", "libobverse.so", "libwingform.so",
          "libtrackline.so", "libtether.so", "libmotive.so"})
      args.push_back(std::string(VLM_TEST_PLUGIN_DIR) + "/" + library);
    ASSERT_EQ(test::Vlmhost(args).status, 0);
    gui::EnsureApplication();
    UseFreshSettings(true);
    setenv("SOURCE_DATE_EPOCH", "1700000000", 1);  // exports stamped alike
  }
  void TearDown() override {
    UseFreshSettings(false);
    unsetenv("SOURCE_DATE_EPOCH");
  }
  test::TempHome home;
};

const char* const kWithForms[] = {"VLMPlugin9.Ridgepull",
                                  "VLMPlugin9.Stairwright",
                                  "VLMPlugin9.Shrink",
                                  "VLMPluginImportExport9.Wingform",
                                  "VLMPluginImportExport9.Trackline",
                                  "VLMPlugin9.Glazier",
                                  "VLMPlugin9.Tether",
                                  "VLMPlugin9.Motive"};

// Whether the control is on the page the window shows: on no tab, or on the selected one.
bool OnShownPage(const Form& form, const Control& control) {
  for (const Control* c : form.Controls()) {
    if (c->Kind() != ControlKind::TabStrip) continue;
    const auto& tabs = static_cast<const TabStrip&>(*c);
    int tab = tabs.TabOf(control);
    for (int i = 1; i <= tabs.TabCount() && !tab; ++i)
      if (tabs.TabAt(i).page == &control) tab = i;
    if (tab && tab != tabs.SelectedIndex()) return false;
  }
  return true;
}

// What a caption needs that its widget does not give it, or "".
std::string CaptionProblem(QWidget& widget) {
  const QFontMetrics metrics(widget.font());
  QString text;
  int room = widget.width();
  if (auto* label = qobject_cast<QLabel*>(&widget)) {
    if (label->wordWrap()) {
      const QRect needed = metrics.boundingRect(QRect(0, 0, label->contentsRect().width(), 10000),
                                                Qt::TextWordWrap, label->text());
      return needed.height() <= label->contentsRect().height() ? "" : "wrapped text is cut";
    }
    for (const QString& line : label->text().split('\n'))
      if (metrics.horizontalAdvance(line) > label->contentsRect().width()) text = line;
    if (metrics.lineSpacing() * label->text().count('\n') + metrics.height() > label->height())
      return "lines are cut";
    room = label->contentsRect().width();
  } else if (auto* button = qobject_cast<QAbstractButton*>(&widget)) {
    if (button->width() < button->sizeHint().width()) text = button->text();
  } else if (auto* group = qobject_cast<QGroupBox*>(&widget)) {
    if (metrics.horizontalAdvance(group->title()) > group->width()) text = group->title();
  }
  if (text.isEmpty()) return "";
  return "\"" + text.toStdString() + "\" needs " + std::to_string(metrics.horizontalAdvance(text)) +
         " pixels, has " + std::to_string(room);
}

TEST_F(Gui, EveryControlIsShownWholeInsideItsWindowAndNoneOverlap) {
  int pages = 0;
  for (const char* progId : kWithForms) {
    gui::VisitForms(progId, [&](gui::FormWindow& window, const std::string& page) {
      ++pages;
      const std::string where = std::string(progId) + " " + window.Model().Name() + " " + page;
      std::vector<std::pair<const Control*, QWidget*>> shown;
      for (const Control* c : window.Model().Controls()) {
        QWidget* widget = window.WidgetOf(*c);
        if (!widget || !c->Visible() || !OnShownPage(window.Model(), *c)) continue;
        if (!window.isAncestorOf(widget)) {
          ADD_FAILURE() << where << ": " << c->FullName() << " is not in the window";
          continue;
        }
        const QRect place(widget->mapTo(&window, QPoint(0, 0)), widget->size());
        EXPECT_TRUE(widget->isVisible() && !place.isEmpty()) << where << ": " << c->FullName();
        EXPECT_TRUE(window.rect().contains(place)) << where << ": " << c->FullName();
        EXPECT_EQ(CaptionProblem(*widget), "") << where << ": " << c->FullName();
        for (const auto& [other, otherWidget] : shown) {
          if (widget->isAncestorOf(otherWidget) || otherWidget->isAncestorOf(widget)) continue;
          const QRect otherPlace(otherWidget->mapTo(&window, QPoint(0, 0)), otherWidget->size());
          EXPECT_FALSE(place.intersects(otherPlace))
              << where << ": " << c->FullName() << " overlaps " << other->FullName();
        }
        shown.emplace_back(c, widget);
      }
    });
  }
  // Glazier's picker and eleven tabs, Tether's five, three number dialogs, two exporters, Motive.
  EXPECT_EQ(pages, 1 + 11 + 5 + 3 + 2 + 1);
}

std::string ReadAll(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The README's examples, played by the script and by a person's clicks and keys on the
// windows: the files written are the same to the byte.
TEST_F(Gui, ClicksAndKeysOnTheWindowsGiveWhatTheScriptGives) {
  struct Replay {
    const char* progId;
    const char* selection;
    const char* ui;
    const char* output;
  };
  const Replay replays[] = {
      {"VLMPlugin9.Obverse", "group:Hangar/Wing", "input X", "mirrored.json"},
      {"VLMPlugin9.Ridgepull", "faces:Hangar/Shell:2",
       "txt(0)=0.3; txt(1)=0.2; chkInside=1; click OKButton", "moulding.json"},
      {"VLMPlugin9.Stairwright", nullptr, "txt(0)=3; txt(5)=10; click OKButton", "steps.json"},
      {"VLMPlugin9.Shrink", "object:Hangar/Wing/Spar", "txt(0)=0.05; click OKButton",
       "shrunk.json"},
      {"VLMPluginImportExport9.Wingform", "group:Hangar",
       "optLOD(1)=1; txtDist=3000; click cmdOK; click cmdCancel", "hangar-lod.obj"},
      {"VLMPluginImportExport9.Trackline", "group:Hangar",
       "optLOD(1)=1; click cmdOK; click cmdCancel", "hangar-lods.igs"},
      {"VLMPlugin9.Glazier", "object:Hangar/Wing/Spar",
       "tbsOptions=Bloom; chkBloom(1)=1; click cmdOK", "glazed.json"},
      // The colour and file dialogs: a specular colour, Chrome, saved as a user preset.
      {"VLMPlugin9.Glazier", "object:Hangar/Wing/Spar",
       "click picSpec; color 10,20,30; click cmdStd(3); click cmdUSave; file Shiny; click cmdOK",
       "glazed-shiny.json"},
      {"VLMPlugin9.Tether", "faces:Hangar/Shell:2",
       "txtName=beacon; chk(0)=1; lstEffect=fx_beacon_red.fx; sldDist=150; chk(4)=1; "
       "lstPlatform=CONCRETE; click OKButton",
       "tether.json"},
      {"VLMPlugin9.Motive", "node:Hangar/Wing", "cmbAnim=flap; txtName=left; click OKButton",
       "motive.json"},
  };
  for (const Replay& r : replays) {
    host::RunCommandLine line;
    host::RunRequest& options = line.request;
    options.progId = r.progId;
    options.scene = Examples / "hangar.json";
    options.fresh = true;
    if (r.selection) options.selections = {r.selection};
    std::ostringstream out, err;
    options.ui = r.ui;
    options.output = home.Path() / "scripted" / r.output;
    std::filesystem::create_directories(options.output->parent_path());
    ASSERT_EQ(host::RunCommand(line, out, err), 0) << r.progId << ": " << err.str();

    auto windows = std::make_shared<gui::QtDialogs>();
    test::WidgetDriver driver(*windows, ParseDialogScript(r.ui));
    options.ui.reset();
    options.windows = windows;
    options.output = home.Path() / "clicked" / r.output;
    std::filesystem::create_directories(options.output->parent_path());
    EXPECT_EQ(host::RunCommand(line, out, err), 0) << r.progId << ": " << err.str();
    EXPECT_EQ(driver.Problem(), "") << r.progId;
    EXPECT_TRUE(driver.Remaining().empty()) << r.progId << ": " << driver.Remaining().front().text;
    // Compared whole, not printed: a scene is thousands of lines.
    const std::string clicked = ReadAll(*options.output);
    EXPECT_FALSE(clicked.empty()) << r.progId;
    EXPECT_TRUE(clicked == ReadAll(home.Path() / "scripted" / r.output))
        << r.progId << ": the files differ";
    // What the person did, as the windows wrote it down, replays to the same file.
    const std::optional<std::string> typed = windows->TakeScript();
    ASSERT_TRUE(typed) << r.progId;
    options.windows.reset();
    options.ui = *typed;
    options.output = home.Path() / "replayed" / r.output;
    std::filesystem::create_directories(options.output->parent_path());
    EXPECT_EQ(host::RunCommand(line, out, err), 0)
        << r.progId << ": " << *typed << ": " << err.str();
    EXPECT_TRUE(ReadAll(*options.output) == clicked) << r.progId << ": " << *typed;
  }
}

// Without a display --gui says so and changes nothing; --gui and a script do not mix.
TEST_F(Gui, WindowsNeedADisplayAndNoScript) {
  const std::string scene = (Examples / "hangar.json").string();
  const std::string out = (home.Path() / "out.json").string();
  auto r = test::Vlmhost({"run", "VLMPlugin9.Shrink", scene, "--gui", "-o", out},
                         "unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM; ");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.output.find("--gui needs a display"), std::string::npos) << r.output;
  host::RunCommandLine line;
  host::RunRequest& options = line.request;
  options.progId = "VLMPlugin9.Shrink";
  options.scene = scene;
  options.output = out;
  options.ui = "enter";
  options.windows = std::make_shared<gui::QtDialogs>();
  std::ostringstream output, err;
  EXPECT_EQ(host::RunCommand(line, output, err), 2);
  EXPECT_NE(err.str().find("give no --ui"), std::string::npos) << err.str();
  EXPECT_FALSE(std::filesystem::exists(out));
}

// The pictures are for people: checked only loosely, each page a picture of a dialog's size
// with more than one colour.
TEST_F(Gui, ScreenshotsDrawEveryPageOfEveryForm) {
  std::ostringstream out, err;
  const auto dir = home.Path() / "pictures";
  ASSERT_EQ(
      gui::ScreenshotsCommand(dir, {"VLMPlugin9.Glazier", "VLMPlugin9.Shrink"}, 1, false, out, err),
      0)
      << err.str();
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    ++count;
    QImage image(QString::fromStdString(entry.path().string()));
    EXPECT_GE(image.width(), 150) << entry.path();
    EXPECT_GE(image.height(), 60) << entry.path();
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); y += 7)
      for (int x = 0; x < image.width(); x += 7)
        colours.insert(image.pixel(x, y));
    EXPECT_GE(colours.size(), 5u) << entry.path();
  }
  EXPECT_EQ(count, 1 + 11 + 1);  // Glazier's picker, its eleven pages, Shrink
}

// A form that writes down every event it receives, in order.
class EventForm : public Form {
 public:
  EventForm(std::vector<std::string>& log, bool preview) : Form("frmEvents"), log_(log) {
    SetCaption("Events");
    KeyPreview = preview;
    chk.SetCaption("Tick");
    cmdOK.SetCaption("OK");
    cmdOK.Default = true;
    cmdCancel.SetCaption("Cancel");
    cmdCancel.Cancel = true;
    for (const char* entry : {"One", "Two"})
      lst.AddItem(entry);
    tabs.AddTab("First");
    tabs.AddTab("Second");
    txt.OnChange([this](int i) { Note("change txt" + std::to_string(i) + " " + txt(i).Text()); });
    txt.OnLostFocus([this](int i) { Note("lost focus txt" + std::to_string(i)); });
    chk.Click = [this] { Note("click chk " + std::to_string(chk.Value())); };
    lst.Click = [this] { Note("click lst " + lst.Text()); };
    tabs.Click = [this] { Note("click tabs " + std::to_string(tabs.SelectedIndex())); };
    cmdOK.Click = [this] { Note("click OK"), Unload(); };
    cmdCancel.Click = [this] { Note("click Cancel"), Unload(); };
    KeyDown = [this](int code, int shiftState) {
      Note("key " + std::to_string(code) + " " + std::to_string(shiftState));
    };
  }
  ControlArray<TextBox> txt{*this, "txt", 2};
  CheckBox chk{*this, "chk"};
  ListBox lst{*this, "lst"};
  TabStrip tabs{*this, "tabs"};
  CommandButton cmdOK{*this, "cmdOK"};
  CommandButton cmdCancel{*this, "cmdCancel"};

 private:
  void Note(const std::string& event) { log_.push_back(event); }
  std::vector<std::string>& log_;
};

// Help shown, noted in the same log; everything else goes to the back-end behind it.
class NotingHelp : public DialogBackend {
 public:
  NotingHelp(std::shared_ptr<DialogBackend> inner, std::vector<std::string>& log)
      : inner_(std::move(inner)), log_(log) {}
  void RunModal(Form& form) override { inner_->RunModal(form); }
  int MessageBox(const MessageBoxRequest& r) override { return inner_->MessageBox(r); }
  std::optional<std::string> InputBox(const InputBoxRequest& r) override {
    return inner_->InputBox(r);
  }
  std::optional<std::string> FileDialog(const FileDialogRequest& r) override {
    return inner_->FileDialog(r);
  }
  std::optional<int32_t> ColorDialog(int32_t initial) override {
    return inner_->ColorDialog(initial);
  }
  void ShowHelp(const std::string& file) override {
    log_.push_back("help");
    inner_->ShowHelp(file);
  }
  void Repaint(const Control& control) override { inner_->Repaint(control); }

 private:
  std::shared_ptr<DialogBackend> inner_;
  std::vector<std::string>& log_;
};

// The focus rule, the keys and the buttons: a person at the window raises the events the
// script raises, in the same order.
TEST(Windows, EventsComeInTheOrderTheScriptRaisesThem) {
  gui::EnsureApplication();
  struct Case {
    bool preview;
    const char* ui;
  };
  const Case cases[] = {
      {false, "txt(0)=a; txt(1)=b; click cmdOK"},  // lost focus before the next control
      {false, "txt(0)=a; enter"},                  // Enter moves no focus
      {false, "chk=1; lst=Two; tabs=Second; txt(1)=c; escape"},
      {false, "txt(0)=a; key F1; click chk; click cmdCancel"},  // help, then an answer
      {true, "txt(0)=a; key ctrl+Tab; key Enter"},              // the form sees the keys first
      {true, "key F1; txt(1)=x; key Escape"},                   // and takes F1 itself
  };
  for (const Case& c : cases) {
    std::vector<std::string> scripted, clicked;
    {
      EventForm form(scripted, c.preview);
      auto previous = SetDialogBackend(std::make_shared<NotingHelp>(
          std::make_shared<ScriptedDialogs>(ParseDialogScript(c.ui)), scripted));
      form.ShowModal();
      SetDialogBackend(previous);
    }
    {
      EventForm form(clicked, c.preview);
      auto windows = std::make_shared<gui::QtDialogs>();
      test::WidgetDriver driver(*windows, ParseDialogScript(c.ui));
      auto previous = SetDialogBackend(std::make_shared<NotingHelp>(windows, clicked));
      form.ShowModal();
      SetDialogBackend(previous);
      EXPECT_EQ(driver.Problem(), "") << c.ui;
    }
    EXPECT_EQ(clicked, scripted) << c.ui;
  }
}

// Opens each form of the plug-in as a run shows it and hands its window, once shown, to
// `look`; the window is then closed without an answer.
void ShowEachForm(const std::string& progId, const std::function<void(gui::FormWindow&)>& look) {
  RunContext context;
  context.UseFreshSettings(true);
  auto windows = std::make_shared<gui::QtDialogs>();
  context.SetDialogBackend(windows);
  RunContext::Scope scope(context);
  Instance instance = CreateObject(progId);
  auto* catalog = instance.As<FormCatalog>(FormCatalog::InterfaceName);
  std::vector<std::string> names;
  ASSERT_TRUE(catalog && !Failed(catalog->FormCatalog_Names(names))) << progId;
  for (const std::string& name : names) {
    std::unique_ptr<Form> form;
    ASSERT_FALSE(Failed(catalog->FormCatalog_Create(name, form))) << progId << " " << name;
    windows->SetShownObserver([&look](gui::FormWindow& window) {
      EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
      look(window);
      window.done(0);
    });
    form->ShowModal();
    form.reset();  // before the instance whose library holds its code
  }
}

// The keys go to the first field in tab order as the window opens; the form hears of it only
// once the person uses it.
TEST_F(Gui, TheFirstFieldHasTheKeysWhenAWindowOpens) {
  const std::map<std::string, std::string> expected = {{"frmEEx", "txt(0)"},
                                                       {"frmStep", "txt(0)"},
                                                       {"frmShrink", "txt(0)"},
                                                       {"Wingform frmOptions", "optLOD(0)"},
                                                       {"Trackline frmOptions", "optLOD(0)"},
                                                       {"Glazier frmDialog", "lstMat"},
                                                       {"Glazier frmOptions", "tbsOptions"},
                                                       {"Tether frmDialog", "chk(0)"},
                                                       {"Motive frmDialog", "cmbAnim"}};
  int seen = 0;
  for (const std::string progId : kWithForms) {
    ShowEachForm(progId, [&](gui::FormWindow& window) {
      const std::string form = window.Model().Name();
      auto it = expected.find(form);
      if (it == expected.end())
        it = expected.find(progId.substr(progId.find('.') + 1) + " " + form);
      ASSERT_NE(it, expected.end()) << progId << " " << form;
      const Control* control = window.ControlOf(QApplication::focusWidget());
      EXPECT_EQ(control ? control->FullName() : "nothing", it->second) << progId << " " << form;
      ++seen;
    });
  }
  EXPECT_EQ(seen, 9);
}

// Every window opens inside the screen it is on, its buttons in reach: on a small screen at
// 200 % (a test of its own runs this under such a display) as on any other.
TEST_F(Gui, EveryWindowFitsItsScreen) {
  int seen = 0;
  for (const std::string progId : kWithForms) {
    ShowEachForm(progId, [&](gui::FormWindow& window) {
      const std::string form = progId + " " + window.Model().Name();
      ASSERT_NE(window.screen(), nullptr) << form;
      const QRect screen = window.screen()->availableGeometry();
      EXPECT_TRUE(screen.contains(window.frameGeometry())) << form;
      for (const QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
        if (!button->isVisible() || button->text().isEmpty()) continue;
        const QRect place(button->mapToGlobal(QPoint(0, 0)), button->size());
        EXPECT_TRUE(screen.contains(place)) << form << ": " << button->text().toStdString();
      }
      ++seen;
    });
  }
  EXPECT_EQ(seen, 9);
}

// A window opens at the size of its picture (the first page's, for a form with tabs).
TEST_F(Gui, WindowsOpenAtTheSizeOfTheirPictures) {
  for (const std::string progId : kWithForms) {
    std::map<std::string, std::string> pictured, opened;
    auto size = [](const QWidget& w) {
      return std::to_string(w.width()) + "x" + std::to_string(w.height());
    };
    gui::VisitForms(progId, [&](gui::FormWindow& window, const std::string&) {
      pictured.emplace(window.Model().Name(), size(window));
    });
    ShowEachForm(progId, [&](gui::FormWindow& window) {
      opened.emplace(window.Model().Name(), size(window));
    });
    for (const auto& [form, picture] : pictured)
      EXPECT_EQ(opened[form], picture) << progId << " " << form;
  }
}

// A window with a list lets a person make it larger, and the lists (or the pages that hold
// them) take the room, the fields
// the width, the buttons stay at the bottom; a window of fields and buttons keeps its size.
TEST_F(Gui, LargerWindowsGiveTheRoomToTheirListsAndFields) {
  const std::set<std::string> fixed = {"frmEEx", "frmStep", "frmShrink"};
  int sizable = 0;
  for (const std::string progId : kWithForms) {
    ShowEachForm(progId, [&](gui::FormWindow& window) {
      const std::string form = window.Model().Name();
      const std::string where = progId + " " + form;
      const bool isFixed = fixed.count(form);
      EXPECT_EQ(window.minimumSize() == window.maximumSize(), isFixed) << where;
      if (isFixed) return;
      ++sizable;
      std::map<const Control*, QRect> before;
      for (const Control* c : window.Model().Controls())
        if (QWidget* w = window.WidgetOf(*c); w && w->isVisible())
          before[c] = QRect(w->mapTo(&window, QPoint(0, 0)), w->size());
      window.resize(window.size() + QSize(200, 200));
      QApplication::processEvents();
      int listsGrown = 0;
      for (const auto& [c, was] : before) {
        QWidget* w = window.WidgetOf(*c);
        const QRect now(w->mapTo(&window, QPoint(0, 0)), w->size());
        if (c->Kind() == ControlKind::ListBox || c->Kind() == ControlKind::TabStrip)
          listsGrown += now.height() > was.height();
        if (c->Kind() == ControlKind::TextBox || c->Kind() == ControlKind::ComboBox) {
          EXPECT_GT(now.width(), was.width()) << where << " " << c->FullName();
        }
        // The form's own buttons, in their row at the bottom, keep to the bottom.
        if (c->Kind() == ControlKind::CommandButton && !c->Container() &&
            was.bottom() + 30 > window.height() - 200) {
          EXPECT_EQ(now.bottom(), was.bottom() + 200) << where << " " << c->FullName();
        }
      }
      EXPECT_GT(listsGrown, 0) << where;
    });
  }
  EXPECT_EQ(sizable, 6);
}

// A log line longer than the list is wide wraps: it is read without scrolling sideways.
TEST(Windows, LongListLinesWrapAtTheListsWidth) {
  gui::EnsureApplication();
  Form form("frmLog");
  ListBox lst(form, "lst");
  const std::string line =
      "Writing /home/someone/scenery/objects/hangar/hangar-with-a-long-name_LOD1.obj: 1234 "
      "vertices, 2345 triangles";
  for (const std::string& entry : {std::string("short"), line, std::string("after")})
    lst.AddItem(entry);
  auto windows = std::make_shared<gui::QtDialogs>();
  windows->SetShownObserver([&](gui::FormWindow& window) {
    auto* list = qobject_cast<QListWidget*>(window.WidgetOf(lst));
    ASSERT_NE(list, nullptr);
    QApplication::processEvents();
    const int width = list->viewport()->width();
    ASSERT_GT(list->fontMetrics().horizontalAdvance(QString::fromStdString(line)), width);
    EXPECT_EQ(list->horizontalScrollBar()->maximum(), 0);
    const QRect rect = list->visualItemRect(list->item(1));
    EXPECT_LE(rect.right(), width);
    EXPECT_GE(rect.height(), 2 * list->fontMetrics().lineSpacing());
    window.done(0);
  });
  auto previous = SetDialogBackend(windows);
  form.ShowModal();
  SetDialogBackend(previous);
}

// Lines alike (two materials with one texture, or none) are told apart by the notes beside
// them; a click on a line chooses its entry, whatever the note (the widget driver finds the
// line by its entry).
TEST(Windows, ListLinesShowTheirNotesBesideThem) {
  gui::EnsureApplication();
  Form form("frmPick");
  ListBox lst(form, "lst");
  CommandButton cmdOK(form, "cmdOK");
  cmdOK.Click = [&form] { form.Unload(); };
  const std::pair<const char*, const char*> lines[] = {
      {"1 truck.png", "Body"}, {"2 truck.png", "Wheels"}, {"3 ", "Glass"}};
  for (const auto& [entry, note] : lines) {
    lst.AddItem(entry);
    lst.SetItemNote(lst.ListCount() - 1, note);
  }
  auto windows = std::make_shared<gui::QtDialogs>();
  std::vector<std::string> shown;
  windows->SetShownObserver([&](gui::FormWindow& window) {
    auto* list = qobject_cast<QListWidget*>(window.WidgetOf(lst));
    for (int i = 0; list && i < list->count(); ++i)
      shown.push_back(list->item(i)->text().toStdString());
    if (list)
      QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                        list->visualItemRect(list->item(1)).center());
    QTest::mouseClick(window.WidgetOf(cmdOK), Qt::LeftButton);
  });
  auto previous = SetDialogBackend(windows);
  form.ShowModal();
  SetDialogBackend(previous);
  EXPECT_EQ(lst.ListIndex(), 1);
  const std::vector<std::string> expected = {"1 truck.png  \u2014  Body",
                                             "2 truck.png  \u2014  Wheels", "3   \u2014  Glass"};
  EXPECT_EQ(shown, expected);
}

// F1 shows the help the host gives for the file the plug-in asked for, not the file's name.
TEST(Windows, HelpShowsTheTextTheHostGivesForTheHelpFile) {
  gui::EnsureApplication();
  gui::QtDialogs windows;
  std::string asked;
  windows.SetHelp([&asked](const std::string& file) {
    asked = file;
    return std::string("ridgepull (VLMPlugin9.Ridgepull)\n\nExtrudes a moulding.\n");
  });
  QString shown;
  QTimer::singleShot(0, [&shown] {
    for (QWidget* w = nullptr; !w;) {
      w = QApplication::activeModalWidget();
      if (!w) QApplication::processEvents(QEventLoop::AllEvents, 10);
      if (w && w->objectName() == "help") {
        if (auto* text = w->findChild<QPlainTextEdit*>()) shown = text->toPlainText();
        static_cast<QDialog*>(w)->reject();
      }
    }
  });
  windows.ShowHelp("C:\\plugins\\vlmplugins.chm");
  EXPECT_EQ(asked, "C:\\plugins\\vlmplugins.chm");
  EXPECT_EQ(shown.toStdString(), "ridgepull (VLMPlugin9.Ridgepull)\n\nExtrudes a moulding.\n");
}

TEST(QtFilter, FileDialogFiltersAreWrittenAsQtWritesThem) {
  const std::pair<const char*, const char*> cases[] = {
      {"Glazed (*.Glazed)|*.Glazed", "Glazed (*.Glazed) (*.Glazed)"},
      {"Images|*.bmp;*.dds|All|*.*", "Images (*.bmp *.dds);;All (*.*)"},
      {"", ""},
      {"Odd|", "Odd ()"},
  };
  for (const auto& [filter, expected] : cases)
    EXPECT_EQ(gui::QtFilter(filter), expected) << filter;
}

}  // namespace
}  // namespace vlm
