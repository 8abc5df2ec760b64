// The workbench window on screen for its tests: every plug-in registered in a fresh home that
// points at the examples, and the window's questions answered in order.
#pragma once

#include <gtest/gtest.h>

#include <QTest>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "gui/qt_dialogs.h"
#include "scene/document.h"
#include "support/temp_home.h"
#include "support/vlmhost.h"
#include "workbench/scene_view.h"
#include "workbench/workbench_window.h"

namespace vlm::test {

namespace fs = std::filesystem;

inline const fs::path Examples = VLM_TEST_EXAMPLES_DIR;

inline std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Answers what the window asks, in order, and keeps the problems it shows.
struct TestAsker : workbench::Asker {
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
    window = std::make_unique<workbench::WorkbenchWindow>(asker);
    window->UseFreshSettings(true);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  }
  void TearDown() override {
    window.reset();
    unsetenv("SOURCE_DATE_EPOCH");
  }
  // The mouse's picks as the view reports them.
  void Pick(const char* mode, std::vector<std::pair<const char*, int32_t>> faces,
            host::PickCombine op) {
    window->Action(QString("pick") + mode)->trigger();
    std::vector<host::FaceHit> refs;
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
  std::unique_ptr<workbench::WorkbenchWindow> window;
};

}  // namespace vlm::test
