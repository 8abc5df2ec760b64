// The workbench as a person uses it: a scene opened, faces picked, a plug-in run from the menu
// with its dialogs answered, undo, redo and save, compared byte for byte with what the
// command line writes for the --select text the status bar shows; the outliner and the keys
// that pick and hide.
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
#include "workbench/workbench_window_fixture.h"

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
using test::Examples;
using test::ReadAll;
using test::Workbench;
using workbench::Asker;
using workbench::WorkbenchWindow;

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

// The window opens inside the screen, at any scale (CTest runs this at 200 % too).
TEST_F(Workbench, OpensInsideTheScreen) {
  ASSERT_TRUE(window->screen());
  const QSize screen = window->screen()->availableSize();
  EXPECT_LE(window->width(), screen.width());
  EXPECT_LE(window->height(), screen.height());
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
