// The workbench as a person uses it: a scene opened, faces picked, a plug-in run from the menu
// with its dialogs answered, undo, redo and save, compared byte for byte with what the
// command line writes for the --select text the status bar shows; and every menu action.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QValidator>
#include <algorithm>
#include <cmath>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "gui/qt_dialogs.h"
#include "plugins/tether_files.h"
#include "run/selection_text.h"
#include "scene/document.h"
#include "support/temp_home.h"
#include "support/vlmhost.h"
#include "support/widget_driver.h"
#include "workbench/outliner.h"
#include "workbench/properties_panel.h"
#include "workbench/scene_view.h"
#include "workbench/view_picks.h"
#include "workbench/workbench_window.h"

// What Qt, fontconfig, GLib and Mesa keep until the process ends is theirs, not a leak of the
// project's: the leak checker leaves it out.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libQt6Core\nleak:libQt6Gui\nleak:libQt6Widgets\nleak:libQt6OpenGL\n"
         "leak:libfontconfig\nleak:libglib-2.0\nleak:libGLX\nleak:libGL\nleak:dri\n"
         "leak:libX11\nleak:libxcb\nleak:libdbus-1\n";
}

namespace vlm {
namespace {

namespace fs = std::filesystem;
using host::FaceHit;
using host::PickCombine;
using workbench::Asker;
using workbench::WorkbenchWindow;

const fs::path Examples = VLM_TEST_EXAMPLES_DIR;

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Answers what the window asks, in order, and keeps the problems it shows.
struct TestAsker : Asker {
  std::deque<std::optional<fs::path>> files;
  Unsaved unsaved = Unsaved::Cancel;
  std::map<std::string, std::string> params;  // NAME -> VALUE; others as the dialog has them
  std::vector<std::string> problems;
  int savePrompts = 0;

  std::optional<fs::path> Next() {
    if (files.empty()) {
      ADD_FAILURE() << "the window asked for a file no test gave";
      return std::nullopt;
    }
    auto f = files.front();
    files.pop_front();
    return f;
  }
  std::optional<fs::path> FileToOpen(QWidget*, const QString&, const QString&) override {
    return Next();
  }
  std::optional<fs::path> FileToWrite(QWidget*, const QString&, const QString& filter,
                                      const fs::path& suggested) override {
    lastFilter = filter.toStdString();
    lastSuggested = suggested;
    return Next();
  }
  Unsaved SaveChanges(QWidget*, const QString&) override {
    ++savePrompts;
    return unsaved;
  }
  std::optional<std::vector<std::string>> Parameters(
      QWidget*, const QString&, const std::vector<OperationParameter>& given) override {
    std::vector<std::string> out;
    for (const OperationParameter& p : given) {
      auto set = params.find(p.Name);
      out.push_back(p.Name + "=" + (set != params.end() ? set->second : std::to_string(p.Value)));
    }
    return out;
  }
  std::string lastFilter;  // of the last file to write asked for, and the name suggested
  fs::path lastSuggested;
  void Problem(QWidget*, const QString& text) override { problems.push_back(text.toStdString()); }
};

// Every plug-in registered in a fresh home that points at the examples; a window on screen.
class Workbench : public ::testing::Test {
 protected:
  void SetUp() override {
    test::UseExamples(home, "libglazier.so");
    ASSERT_EQ(test::Vlmhost({"register"}).status, 0);
    setenv("SOURCE_DATE_EPOCH", "1700000000", 1);  // exports stamped alike
    gui::EnsureApplication();
    asker = std::make_shared<TestAsker>();
    window = std::make_unique<WorkbenchWindow>(asker);
    window->UseFreshSettings(true);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  }
  void TearDown() override {
    window.reset();
    unsetenv("SOURCE_DATE_EPOCH");
  }
  // The mouse's picks as the view reports them.
  void Pick(const char* mode, std::vector<std::pair<const char*, int32_t>> faces, PickCombine op) {
    window->Action(QString("pick") + mode)->trigger();
    std::vector<FaceHit> refs;
    for (const auto& [path, face] : faces) {
      std::string problem;
      const host::HostMesh* mesh = window->CurrentSession().Document().FindMesh(path, &problem);
      ASSERT_TRUE(mesh) << problem;
      refs.push_back({mesh, face});
    }
    emit window->View().FacesPicked(refs, op);
  }
  fs::path Saved(const std::string& name) {
    const fs::path file = home.Path() / name;
    EXPECT_TRUE(window->SaveAs(file)) << name;
    return file;
  }

  test::TempHome home;
  std::shared_ptr<TestAsker> asker;
  std::unique_ptr<WorkbenchWindow> window;
};

// Open the hangar, pick, run from the Plug-ins menu with the dialogs answered by clicks and
// keys, save: the file is the one `vlmhost run` writes with the --select text the status bar
// showed. Undo gives back the document before, to the byte; redo the run's again. A run that
// refuses or fails leaves the document as it was.
TEST_F(Workbench, RunsSaveWhatTheCommandLineWritesAndUndoGivesBackTheDocumentBefore) {
  struct Flow {
    const char* progId;
    const char* mode;
    std::vector<std::pair<const char*, int32_t>> faces;
    const char* ui;  // the dialogs' answers, played on the windows
    std::map<std::string, std::string> params;
    const char* cliParams;
    const char* exportName;  // an exporter's file
    int status;
    bool changes = true;
  };
  const Flow flows[] = {
      {"VLMOperation9.Flare",
       "Faces",
       {{"Hangar/Shell", 2}, {"Hangar/Shell", 4}},
       "",
       {{"Extrude", "0.75"}, {"Step", "3"}},
       " --param Extrude=0.75 --param Step=3",
       nullptr,
       0},
      {"VLMPlugin9.Ridgepull",
       "Faces",
       {{"Hangar/Shell", 2}},
       "txt(0)=0.3; txt(1)=0.2; chkInside=1; click OKButton",
       {},
       "",
       nullptr,
       0},
      {"VLMPlugin9.Obverse", "Groups", {{"Hangar/Wing/Spar", 1}}, "input X", {}, "", nullptr, 0},
      {"VLMPluginImportExport9.Wingform",
       "Groups",
       {{"Hangar/Shell", 0}},
       "optLOD(1)=1; txtDist=3000; click cmdOK; click cmdCancel",
       {},
       "",
       "hangar.obj",
       0},
      // Flare refuses whole objects; Ridgepull cancelled changes nothing.
      {"VLMOperation9.Flare", "Objects", {{"Hangar/Shell", 2}}, "", {}, "", nullptr, 3, false},
      {"VLMPlugin9.Ridgepull",
       "Faces",
       {{"Hangar/Shell", 2}},
       "click CancelButton",
       {},
       "",
       nullptr,
       0,
       false},
  };
  int n = 0;
  for (const Flow& f : flows) {
    const std::string name = std::to_string(n++) + "-" + f.progId;
    SCOPED_TRACE(name);
    ASSERT_TRUE(window->OpenFile(Examples / "hangar.json"));
    Pick(f.mode, f.faces, PickCombine::Replace);
    const std::string select = window->SelectText();
    const fs::path before = Saved(name + ".before.json");
    asker->params = f.params;
    if (f.exportName) asker->files.push_back(home.Path() / "workbench" / f.exportName);
    fs::create_directories(home.Path() / "workbench");
    fs::create_directories(home.Path() / "cli");
    test::WidgetDriver driver(window->Dialogs(), ParseDialogScript(f.ui));
    EXPECT_EQ(window->RunPlugin(f.progId), f.status) << window->LogText().toStdString();
    EXPECT_EQ(driver.Problem(), "");

    // A scene beside the workbench's, so that its texture names lead from the same folder.
    const fs::path cliOut =
        f.exportName ? home.Path() / "cli" / f.exportName : home.Path() / (name + ".cli.json");
    const test::ProgramResult cli = test::Vlmhost(
        {"run", "--fresh", f.progId, before.string(), "--ui", f.ui, "-o", cliOut.string()}, "",
        std::string(f.cliParams) + " " + select + " 2>&1");
    EXPECT_EQ(cli.status, f.status) << cli.output;
    if (!f.changes) {
      EXPECT_FALSE(window->CurrentSession().CanUndo());
      if (f.status == 0) {
        EXPECT_TRUE(window->LogText().contains("nothing changed")) << "a cancelled dialog";
      }
      EXPECT_TRUE(ReadAll(Saved(name + ".unchanged.json")) == ReadAll(before));
      continue;
    }
    if (f.exportName) {
      EXPECT_TRUE(ReadAll(home.Path() / "workbench" / f.exportName) == ReadAll(cliOut));
      // Either case of the exporter's extension is offered, a new name gets it in lower case.
      EXPECT_NE(asker->lastFilter.find("*.obj *.OBJ"), std::string::npos) << asker->lastFilter;
      EXPECT_EQ(asker->lastSuggested.extension(), ".obj");
      EXPECT_FALSE(window->CurrentSession().CanUndo()) << "an export leaves the scene alone";
      continue;
    }
    const std::string after = ReadAll(Saved(name + ".after.json"));
    // Compared whole, not printed: a scene is thousands of lines.
    EXPECT_TRUE(after == ReadAll(cliOut)) << select;
    EXPECT_FALSE(after == ReadAll(before));
    EXPECT_TRUE(window->LogText().contains("changed object")) << "the changes are listed";
    EXPECT_FALSE(window->CurrentSession().UndoLabel().starts_with("VLM"))
        << "Undo names the plug-in as its menu does";
    EXPECT_TRUE(window->CurrentSession().UndoLabel().ends_with(")"))
        << "and what it changed: " << window->CurrentSession().UndoLabel();
    window->Action("editUndo")->trigger();
    EXPECT_TRUE(ReadAll(Saved(name + ".undone.json")) == ReadAll(before));
    window->Action("editRedo")->trigger();
    EXPECT_TRUE(ReadAll(Saved(name + ".redone.json")) == after);
  }
}

// Each menu action does its work, or says plainly why it cannot, in the log and to the person.
TEST_F(Workbench, EveryMenuActionWorksOrSaysWhy) {
  const fs::path model = fs::path(VLM_TEST_MODELS_DIR) / "glTF2/BoxTextured-glTF/BoxTextured.gltf";
  const fs::path bad = fs::path(VLM_TEST_DATA_DIR) / "bad_not_json.json";
  struct Step {
    const char* action;
    std::vector<std::optional<fs::path>> files;  // the answers to its file dialogs
    std::string problem;                         // what the person is told ("": nothing)
  };
  const fs::path out = home.Path();
  const Step steps[] = {
      {"fileOpen", {bad}, "Cannot open " + bad.string() + ": " + bad.string()},
      {"fileOpen", {out / "missing.json"}, "missing.json"},
      {"fileOpen", {std::nullopt}, ""},
      {"fileOpen", {Examples / "hangar.json"}, ""},
      {"viewWireframe", {}, ""},
      {"viewBackFaces", {}, ""},
      {"viewFrameAll", {}, ""},
      {"viewFrameSelected", {}, ""},
      {"viewFront", {}, ""},
      {"viewTop", {}, ""},
      {"viewSide", {}, ""},
      {"viewBack", {}, ""},
      {"viewBottom", {}, ""},
      {"viewOtherSide", {}, ""},
      {"pickObjects", {}, ""},
      {"pickThrough", {}, ""},
      {"editSelectNone", {}, ""},
      {"fileImport", {out / "broken.glb"}, "Cannot import " + (out / "broken.glb").string()},
      {"fileImport", {model}, ""},
      {"fileExportModel", {out / "box.xyz"}, "the extension names no format"},
      {"fileExportModel", {out / "box.glb"}, ""},
      {"fileSaveAs", {out / "no-such-folder" / "box.json"}, "Cannot save"},
      {"fileSave", {out / "box.json"}, ""},  // an import has no file yet: Save asks
      {"editUndo", {}, ""},
      {"editRedo", {}, ""},
  };
  std::ofstream(out / "broken.glb") << "glTF not really";
  for (const Step& step : steps) {
    SCOPED_TRACE(step.action);
    asker->problems.clear();
    asker->files.assign(step.files.begin(), step.files.end());
    QAction* action = window->Action(step.action);
    ASSERT_TRUE(action);
    action->trigger();
    EXPECT_TRUE(asker->files.empty()) << "a file dialog was not shown";
    if (step.problem.empty()) {
      EXPECT_TRUE(asker->problems.empty()) << asker->problems.front();
    } else {
      ASSERT_EQ(asker->problems.size(), 1u);
      EXPECT_NE(asker->problems[0].find(step.problem), std::string::npos) << asker->problems[0];
      EXPECT_TRUE(window->LogText().contains(QString::fromStdString(asker->problems[0])));
    }
  }
  EXPECT_TRUE(fs::is_regular_file(out / "box.glb"));
  EXPECT_EQ(ReadAll(out / "box.json").substr(0, 1), "{");
  EXPECT_EQ(window->CurrentSession().RedoLabel(), "") << "redo brought the import back";
  EXPECT_TRUE(window->windowTitle().startsWith("box.json"));
  EXPECT_FALSE(window->isWindowModified()) << "undone and redone back to what was saved";
  window->Action("editUndo")->trigger();
  EXPECT_TRUE(window->isWindowModified());
  // Recent files live in the user's settings, under $VLM_HOME.
  const auto recent = window->RecentFiles();
  ASSERT_GE(recent.size(), 2u);
  EXPECT_EQ(fs::path(recent[0]).filename(), "box.json");
  EXPECT_TRUE(fs::is_regular_file(home.Path() / "workbench.ini"));

  // Closing with changes asks first; Cancel keeps the window, Discard lets it close.
  QCloseEvent close;
  asker->unsaved = Asker::Unsaved::Cancel;
  QApplication::sendEvent(window.get(), &close);
  EXPECT_FALSE(close.isAccepted());
  asker->unsaved = Asker::Unsaved::Discard;
  QCloseEvent again;
  QApplication::sendEvent(window.get(), &again);
  EXPECT_TRUE(again.isAccepted());
  EXPECT_EQ(asker->savePrompts, 2);
}

// The outliner names items as the paths do and picks both ways with the view.
TEST_F(Workbench, OutlinerAndViewPickTheSameItems) {
  ASSERT_TRUE(window->OpenFile(Examples / "hangar.json"));
  workbench::Outliner& tree = window->Tree();
  std::string problem;
  const host::HostDocument& document = window->CurrentSession().Document();
  QTreeWidgetItem* shell = tree.ItemOf(document.FindMesh("Hangar/Shell", &problem));
  QTreeWidgetItem* wing = tree.ItemOf(document.FindGroup("Hangar/Wing", &problem));
  ASSERT_TRUE(shell && wing);
  EXPECT_EQ(wing->text(0), "Wing");
  shell->setSelected(true);
  wing->setSelected(true);
  EXPECT_EQ(window->SelectText(),
            "--select group:Hangar/Wing --select object:Hangar/Shell --select node:Hangar/Wing "
            "--select shape:Hangar/Shell");
  Pick("Faces", {{"Hangar/Fittings/Lamp2", 3}}, PickCombine::Replace);
  EXPECT_EQ(window->SelectText(),
            "--select faces:Hangar/Fittings/Lamp2:3 --select polygons:Hangar/Fittings/Lamp2:3");
  EXPECT_EQ(tree.selectedItems().size(), 1);
  EXPECT_EQ(tree.selectedItems()[0]->text(0), "Lamp2");

  // Copy --select, in the Edit menu and in the menu of the status bar's text (which is cut
  // short when long), puts the whole text on the clipboard.
  QAction* copy = window->Action("editCopySelect");
  ASSERT_TRUE(copy);
  copy->trigger();
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), window->SelectText());
  const auto labels = window->statusBar()->findChildren<QLabel*>();
  EXPECT_TRUE(std::any_of(labels.begin(), labels.end(),
                          [&](QLabel* label) { return label->actions().contains(copy); }));
}

// The Edit and View menus' keys, pressed with the focus in the outliner as in the view:
// select all, invert and none in each pick mode; hide, isolate and show all (the view and the
// outliner leave hidden items out, the document stays as it was); the view's toggles.
TEST_F(Workbench, SelectionAndHidingKeysWorkWhereverTheFocusIs) {
  ASSERT_TRUE(window->OpenFile(Examples / "hangar.json"));
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  const host::HostDocument& document = window->CurrentSession().Document();
  size_t faces = 0, objects = 0;
  for (const host::FaceHit& face : workbench::ShownFaces(document, {}))
    faces += 1, objects += face.face == 0;
  std::string problem;
  const host::HostMesh* shell = document.FindMesh("Hangar/Shell", &problem);
  const host::HostMesh* lamp = document.FindMesh("Hangar/Fittings/Lamp2", &problem);
  ASSERT_TRUE(shell && lamp) << problem;
  workbench::Outliner& tree = window->Tree();
  const auto described = [&] { return host::DescribePicks(window->Picks()); };
  const auto press = [&](QWidget* focus, const char* keys) {
    focus->setFocus();
    QTest::keySequence(focus, QKeySequence(keys));
  };
  const std::string all =
      std::to_string(faces) + " faces of " + std::to_string(objects) + " objects";
  const struct {
    const char* name;
    std::function<void()> act;
    std::string picks;        // DescribePicks after it ("": not checked)
    size_t hidden;            // faces
    QTreeWidgetItem* greyed;  // an item then greyed
  } steps[] = {
      {"Ctrl+A in the outliner: every face", [&] { press(&tree, "Ctrl+A"); }, all, 0, nullptr},
      {"Ctrl+I: none", [&] { press(&tree, "Ctrl+I"); }, "nothing", 0, nullptr},
      {"Ctrl+I again: all", [&] { press(&window->View(), "Ctrl+I"); }, all, 0, nullptr},
      {"Escape in the view: none", [&] { press(&window->View(), "Esc"); }, "nothing", 0, nullptr},
      {"objects: Ctrl+A",
       [&] {
         window->Action("pickObjects")->trigger();
         press(&tree, "Ctrl+A");
       },
       std::to_string(objects) + " objects; " + std::to_string(faces) + " faces in all", 0,
       nullptr},
      {"Ctrl+Shift+A: none", [&] { press(&tree, "Ctrl+Shift+A"); }, "nothing", 0, nullptr},
      {"the shell picked and hidden with H: no longer picked",
       [&] {
         window->SetPicks({{}, {{shell, {}}}});
         press(&tree, "H");
       },
       "nothing", shell->FaceCount(), tree.ItemOf(shell)},
      {"Ctrl+I leaves the hidden shell out", [&] { press(&tree, "Ctrl+I"); },
       std::to_string(objects - 1) + " objects; " + std::to_string(faces - shell->FaceCount()) +
           " faces in all",
       shell->FaceCount(), tree.ItemOf(shell)},
      {"the lamp isolated with Shift+H",
       [&] {
         window->SetPicks({{}, {{lamp, {}}}});
         press(&window->View(), "Shift+H");
       },
       "", faces - lamp->FaceCount(), tree.ItemOf(document.FindGroup("Hangar/Wing", &problem))},
      {"Ctrl+A picks only the lamp", [&] { press(&tree, "Ctrl+A"); },
       "1 object; " + std::to_string(lamp->FaceCount()) + " faces in all",
       faces - lamp->FaceCount(), tree.ItemOf(shell)},
      {"Alt+H shows everything", [&] { press(&tree, "Alt+H"); }, "", 0, nullptr},
  };
  for (const auto& step : steps) {
    step.act();
    if (!step.picks.empty()) {
      EXPECT_EQ(described(), step.picks) << step.name;
    }
    EXPECT_EQ(window->HiddenFaceList().size(), step.hidden) << step.name;
    EXPECT_EQ(window->SelectText(), host::SelectCommandLine(host::SelectTexts(window->Picks())))
        << step.name;
    if (step.greyed) {
      EXPECT_EQ(step.greyed->foreground(0).color(),
                tree.palette().color(QPalette::Disabled, QPalette::Text))
          << step.name;
    } else {
      EXPECT_EQ(tree.ItemOf(shell)->foreground(0).style(), Qt::NoBrush) << step.name;
    }
  }
  EXPECT_FALSE(window->CurrentSession().CanUndo()) << "hiding is not a change of the document";
  EXPECT_FALSE(window->isWindowModified());
  // The view's toggles, by their keys.
  const struct {
    const char* keys;
    const char* action;
    std::function<bool()> on;
  } toggles[] = {
      {"5", "viewOrthographic", [&] { return window->View().ViewCamera().Orthographic(); }},
      {"E", "viewEdges", [&] { return window->View().EdgesShown(); }},
      {"Alt+Z", "viewXray", [] { return true; }},
  };
  for (const auto& t : toggles) {
    const bool was = window->Action(t.action)->isChecked();
    press(&tree, t.keys);
    EXPECT_NE(window->Action(t.action)->isChecked(), was) << t.keys;
    EXPECT_EQ(t.on(), window->Action(t.action)->isChecked()) << t.keys;
  }
}

// A preparation step from the Prepare menu, its options typed into its dialog as a person
// types them: the log shows the `vlmhost prep` line, and that line, run, writes the scene the
// workbench shows; undo gives back the scene before. A value the step refuses is in the log
// with the document as it was; Escape runs nothing. The dialog stays inside the screen (CTest
// runs this at 200 % too).
TEST_F(Workbench, PrepareMenuRunsAStepAsItsLoggedCommandLineDoes) {
  struct Flow {
    std::vector<std::string> picks;  // --select texts; none: the whole scene
    // What is typed into each field (a check box: clicked), and the key that closes the dialog.
    std::vector<std::pair<const char*, const char*>> typed;
    Qt::Key close;
    const char* logged;  // the logged line's options; null: nothing run
    int status;
  };
  const Flow flows[] = {
      {{"group:Hangar/Wing"}, {{"ground", ""}}, Qt::Key_Return, " --ground", 0},
      // A repeatable option's values split at ";", blanks around a value dropped, a word
      // chosen from its list; the options in the order the step lists them.
      {{},
       {{"pivot", "centre"}, {"rotate", "y:90 ;x:45; "}, {"scale", " 2 "}},
       Qt::Key_Return,
       " --rotate y:90 --rotate x:45 --scale 2 --pivot centre",
       0},
      {{"group:Hangar/Wing", "group:Hangar/Fittings"},
       {{"scale", "abc"}},
       Qt::Key_Return,
       " --scale abc",
       2},
      {{}, {{"ground", ""}, {"move", "0,1,0"}}, Qt::Key_Escape, nullptr, 3},
  };
  for (size_t n = 0; n < std::size(flows); ++n) {
    const Flow& f = flows[n];
    SCOPED_TRACE(n);
    ASSERT_TRUE(window->OpenFile(Examples / "hangar.json"));
    window->SetPicks(host::SelectByTexts(window->CurrentSession().Document(), f.picks));
    const fs::path before = Saved(std::to_string(n) + ".before.json");
    const std::string beforeText = ReadAll(before);
    const qsizetype logAt = window->LogText().size();
    // The picks as the status bar shows them.
    const std::string select = window->SelectText();
    EXPECT_EQ(select.empty(), f.picks.empty());

    // The dialog, once it is open, filled in as a person would.
    std::string problem = "the dialog did not open";
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (!dialog || dialog->objectName() != "prep transform") return;
      problem.clear();
      const QSize screen = dialog->screen()->availableSize();
      if (dialog->frameGeometry().width() > screen.width() || dialog->height() > screen.height())
        problem = "the dialog is larger than the screen";
      for (const auto& [name, text] : f.typed) {
        QWidget* field = dialog->findChild<QWidget*>(name);
        if (!field) {
          problem = std::string("no field ") + name;
          break;
        }
        if (auto* box = qobject_cast<QCheckBox*>(field))
          QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
        else if (auto* words = qobject_cast<QComboBox*>(field))
          words->setCurrentIndex(words->findText(text));
        else
          QTest::keyClicks(field, text);
      }
      QTest::keyClick(dialog->focusWidget() ? dialog->focusWidget() : dialog, f.close);
    });
    window->Action("prep transform")->trigger();
    EXPECT_EQ(problem, "");
    const std::string log = window->LogText().mid(logAt).toStdString();
    if (!f.logged) {
      EXPECT_EQ(log.find("vlmhost prep"), std::string::npos) << log;
      EXPECT_FALSE(window->CurrentSession().CanUndo());
      continue;
    }
    const std::string line = "vlmhost prep transform " + host::ShellQuoted(before.string()) +
                             (select.empty() ? "" : " " + select) + f.logged;
    EXPECT_NE(log.find("$ " + line + "\n"), std::string::npos) << log;
    EXPECT_NE(log.find("(exit status " + std::to_string(f.status) + ")"), std::string::npos) << log;
    // The logged line, run, does what the workbench did.
    const fs::path cliOut = home.Path() / (std::to_string(n) + ".cli.json");
    const test::ProgramResult cli =
        test::Shell(host::ShellQuoted(VLM_TEST_VLMHOST) + line.substr(7) + " -o " +
                    host::ShellQuoted(cliOut.string()));
    EXPECT_EQ(cli.status, f.status) << cli.output;
    if (f.status != 0) {
      EXPECT_NE(log.find("error: transform: --scale abc"), std::string::npos) << log;
      EXPECT_FALSE(window->CurrentSession().CanUndo());
      EXPECT_TRUE(ReadAll(Saved(std::to_string(n) + ".unchanged.json")) == beforeText);
      continue;
    }
    const std::string after = ReadAll(Saved(std::to_string(n) + ".after.json"));
    EXPECT_TRUE(after == ReadAll(cliOut));
    EXPECT_FALSE(after == beforeText);
    EXPECT_TRUE(window->CurrentSession().UndoLabel().starts_with("Prepare: transform ("))
        << window->CurrentSession().UndoLabel();
    window->Action("editUndo")->trigger();
    EXPECT_TRUE(ReadAll(Saved(std::to_string(n) + ".undone.json")) == beforeText);
  }
}

// The window opens inside the screen, at any scale (CTest runs this at 200 % too).
TEST_F(Workbench, OpensInsideTheScreen) {
  ASSERT_TRUE(window->screen());
  const QSize screen = window->screen()->availableSize();
  EXPECT_LE(window->width(), screen.width());
  EXPECT_LE(window->height(), screen.height());
}

// The properties panel shows the object picked (name, path, material with its texture, the
// material's fields), its buttons whole in a narrow dock, and greys out the plug-ins it does
// not suit, saying why. Each edit made
// from it is logged (a step as its `vlmhost prep` line) and undone back to the scene before.
TEST_F(Workbench, PropertiesPanelShowsThePickAndUndoesItsEdits) {
  ASSERT_TRUE(window->OpenFile(Examples / "hangar.json"));
  workbench::PropertiesPanel& panel = window->Properties();
  const auto text = [&](const char* name) {
    QWidget* w = panel.findChild<QWidget*>(name);
    if (auto* line = qobject_cast<QLineEdit*>(w)) return line->text().toStdString();
    if (auto* label = qobject_cast<QLabel*>(w)) return label->text().toStdString();
    if (auto* box = qobject_cast<QPlainTextEdit*>(w)) return box->toPlainText().toStdString();
    return std::string("(no ") + name + ")";
  };
  const auto click = [&](QWidget* within, const char* name) {
    auto* button = within ? within->findChild<QAbstractButton*>(name) : nullptr;
    ASSERT_TRUE(button) << name;
    panel.ensureWidgetVisible(button);  // scrolled to, as a person would
    QTest::mouseClick(button, Qt::LeftButton);
  };
  struct Edit {
    const char* what;
    std::function<void()> make;
    std::string logged;  // a line the log shows
  };
  const fs::path texture = Examples / "grey.png";
  const Edit edits[] = {
      {"rename",
       [&] {
         auto* name = panel.findChild<QLineEdit*>("propertiesName");
         name->selectAll();
         QTest::keyClicks(name, "Beam");
         click(&panel, "propertiesRename");
       },
       "renamed object Hangar/Wing/Spar to \"Beam\""},
      {"ground", [&] { click(&panel, "transformGround"); },
       " --select object:Hangar/Wing/Spar --select shape:Hangar/Wing/Spar --ground\n"},
      {"turn",
       [&] {
         auto* turn = panel.findChild<QLineEdit*>("transformRotateBy");
         turn->selectAll();
         QTest::keyClicks(turn, "x:45; y:90");
         panel.findChild<QCheckBox*>("transformAboutCentre")->setChecked(true);
         click(&panel, "transformRotate");
       },
       " --rotate x:45 --rotate y:90 --pivot centre\n"},
      {"material",
       [&] {
         auto* choice = panel.findChild<QComboBox*>("propertiesMaterialChoice");
         choice->setCurrentIndex(choice->findText("Glass"));
         click(&panel, "propertiesAssignMaterial");
       },
       "gave 6 of the 6 faces of 1 object material \"Glass\""},
      {"texture",
       [&] {
         asker->files.push_back(texture);
         click(panel.findChild<QWidget*>("material Paint"), "chooseTexture");
       },
       " --material Paint --texture " + texture.lexically_normal().string() + "\n"},
  };
  for (const Edit& e : edits) {
    SCOPED_TRACE(e.what);
    Pick("Objects", {{"Hangar/Wing/Spar", 2}}, PickCombine::Replace);
    QCoreApplication::processEvents();  // the panel laid out, as a person sees it
    EXPECT_EQ(text("propertiesHeading"), "Object Spar");
    EXPECT_EQ(text("propertiesName"), "Spar");
    EXPECT_EQ(text("propertiesPath"), "Hangar/Wing/Spar");
    EXPECT_EQ(text("propertiesGroup"), "Hangar/Wing");
    QWidget* paint = panel.findChild<QWidget*>("material Paint");
    ASSERT_TRUE(paint);
    EXPECT_EQ(paint->findChild<QLineEdit*>("texture")->text(), "paint.bmp");
    EXPECT_EQ(paint->findChild<QLineEdit*>("field RailSimX")->text(),
              "texturepath=hangar;vismod=90");
    // Every button is shown whole across the panel, at any scale (CTest runs this at 200 %
    // too); the panel scrolls only up and down.
    for (QAbstractButton* b : panel.widget()->findChildren<QAbstractButton*>()) {
      if (!b->isVisibleTo(&panel)) continue;
      const QPoint left = b->mapTo(panel.widget(), QPoint(0, 0));
      EXPECT_GE(left.x(), 0) << b->objectName().toStdString();
      EXPECT_LE(left.x() + b->width(), panel.viewport()->width()) << b->objectName().toStdString();
    }
    // Flare works on faces, Ridgepull on objects too.
    QAction* flare = window->Action("run VLMOperation9.Flare");
    ASSERT_TRUE(flare);
    EXPECT_FALSE(flare->isEnabled());
    EXPECT_TRUE(flare->toolTip().contains("pick faces")) << flare->toolTip().toStdString();
    EXPECT_TRUE(window->Action("run VLMPlugin9.Ridgepull")->isEnabled());

    const std::string before = window->CurrentSession().Text();
    const qsizetype logAt = window->LogText().size();
    e.make();
    const std::string log = window->LogText().mid(logAt).toStdString();
    EXPECT_NE(log.find(e.logged), std::string::npos) << log;
    EXPECT_EQ(log.find("error"), std::string::npos) << log;
    EXPECT_TRUE(window->CurrentSession().Text() != before) << "the edit changed nothing";
    window->Action("editUndo")->trigger();
    EXPECT_EQ(window->CurrentSession().Text(), before);
    EXPECT_FALSE(window->CurrentSession().CanUndo());
  }
}

// An operation's parameters are edited with their own decimals: a count (Flare's Step) as a
// whole number, which a typed 3.7 cannot make a fraction of; a length with four.
TEST(WorkbenchParameters, ACountIsEditedAsAWholeNumber) {
  gui::EnsureApplication();
  QWidget parent;
  OperationParameter step{"Step", 4, 1, 99, 0, "", 5, 5, 2, 1};
  OperationParameter extrude{"Extrude", 4, -999999, 999999, 3, "", 1, 1, 0, 0.1f};
  QDoubleSpinBox* steps = workbench::ParameterBox(step, &parent);
  QDoubleSpinBox* length = workbench::ParameterBox(extrude, &parent);
  EXPECT_EQ(steps->decimals(), 0);
  EXPECT_EQ(length->decimals(), 4);
  QString typed = "3.7";
  int at = 0;
  EXPECT_NE(steps->validate(typed, at), QValidator::Acceptable);
  EXPECT_EQ(length->validate(typed, at), QValidator::Acceptable);
  EXPECT_EQ(steps->text(), "5");
}

// Without a display the workbench says so and stops at once, as for a file that is not there.
TEST(WorkbenchCommand, SaysWhatItNeedsBeforeItOpens) {
  const struct {
    std::string env;
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {"unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM; ",
       {"gui", (Examples / "hangar.json").string()},
       "error: the workbench (vlmhost gui) needs a display"},
      {"QT_QPA_PLATFORM=offscreen ",
       {"gui", (Examples / "hangar.json").string()},
       "error: the workbench (vlmhost gui) draws its view with OpenGL, which Qt's \"offscreen\""},
      {"", {"gui", "/no/such/scene.json"}, "error: /no/such/scene.json: no such file"},
  };
  for (const auto& c : cases) {
    const test::ProgramResult r = test::Vlmhost(c.args, c.env);
    EXPECT_EQ(r.status, 2) << r.output;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
  }
}

}  // namespace
}  // namespace vlm
