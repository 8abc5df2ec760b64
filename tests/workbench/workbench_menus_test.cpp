// The workbench's menus as a person uses them: every menu action, a preparation step from
// the Prepare menu run as its logged command line does, and the properties panel's picks and
// edits.
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

}  // namespace
}  // namespace vlm
