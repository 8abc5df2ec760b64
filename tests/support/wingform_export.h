// Wingform's exports as its tests run them: a document, a scripted dialog, a fixed clock and
// the files written into a folder of their own, read back with the host's OBJ8 reader.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "scene/document.h"
#include "support/dialogs.h"
#include "support/obj8_checks.h"
#include "support/temp_home.h"
#include "wingform/wingform.h"

namespace vlm::test {

inline std::tm FixedTime() {
  std::tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 5;
  t.tm_mday = 12;
  t.tm_hour = 22;
  return t;
}

class WingformExport : public ::testing::Test {
 protected:
  void SetUp() override {
    out = home.Path() / "out";
    std::filesystem::create_directories(out);
    wingform.SetClock(FixedTime);
  }
  // Runs one export through the dialog script; `group` null exports the root (the "main"
  // rule chooses).
  Status Export(const std::string& script, const std::string& file = "house.obj",
                host::HostNode* group = nullptr) {
    dialogs.reset();  // the earlier scope puts its predecessor back first
    dialogs = std::make_unique<ScriptedScope>(script);
    Node* node = group ? &group->AsNode() : &doc.Root().AsNode();
    const Status s =
        wingform.PluginImportExport_Export((out / file).string(), node, &doc, nullptr, {}, {}, "");
    EXPECT_FALSE(dialogs->Backend().Failure()) << *dialogs->Backend().Failure();
    EXPECT_TRUE(mayFail || s == StatusOk) << LastError().description;
    return s;
  }
  std::vector<std::string> Log() const { return dialogs->Texts(TranscriptEntry::Kind::Log); }
  Obj8Written Read(const std::string& file) const {
    auto f = ReadObj8File(out / file);
    EXPECT_THAT(f.problems, ::testing::IsEmpty()) << file;
    return f;
  }
  std::vector<std::string> WrittenFiles() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(out))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  host::HostMaterial& Textured(const std::string& name, const std::string& diffuse,
                               const std::string& bump = "", const std::string& detail = "") {
    host::HostMaterial& m = doc.NewMaterial(name);
    m.hasTextures = true;
    m.diffuseMap = diffuse;
    m.bumpMap = bump;
    m.detailMap = detail;
    return m;
  }

  TempHome home;
  std::filesystem::path out;
  host::HostDocument doc;
  Wingform wingform;
  std::unique_ptr<ScriptedScope> dialogs;
  bool mayFail = false;  // the export may return a failure
};

}  // namespace vlm::test
