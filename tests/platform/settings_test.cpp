#include "vlm/settings.h"
#include "vlm/files.h"
#include "vlm/registry.h"
#include "vlm/run_context.h"
#include "vlm/warnings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "support/temp_home.h"
#include "vlm/error.h"

namespace vlm {
namespace {

namespace fs = std::filesystem;

void WriteText(const fs::path& file, const std::string& text) {
  std::ofstream(file, std::ios::binary) << text;
}

std::vector<std::string> FolderEntries(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Sets (or with nullptr unsets) an environment variable for one scope.
class EnvOverride {
 public:
  EnvOverride(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old, had_ = true;
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~EnvOverride() {
    if (had_) {
      setenv(name_.c_str(), old_.c_str(), 1);
    } else {
      unsetenv(name_.c_str());
    }
  }

 private:
  std::string name_, old_;
  bool had_ = false;
};

class SettingsTest : public ::testing::Test {
 protected:
  SettingsTest() {
    SetWarningSink([this](const std::string& message) { warnings_.push_back(message); });
  }
  ~SettingsTest() override { SetWarningSink(nullptr); }

  test::TempHome home_;
  std::vector<std::string> warnings_;
};

TEST_F(SettingsTest, FilesFollowTheEnvironmentOnEveryCall) {
  EXPECT_EQ(ConfigFolder(), home_.Path());
  EXPECT_EQ(SettingsFile(), home_.Path() / "settings.json");
  EXPECT_EQ(MachineRegistryFile(), home_.Path() / "machine.reg");
  EXPECT_EQ(UserRegistryFile(), home_.Path() / "user.reg");
  {
    EnvOverride machine("VLM_MACHINE_REGISTRY", "/etc/vlm/machine.reg");
    EXPECT_EQ(MachineRegistryFile(), "/etc/vlm/machine.reg");
  }
  EnvOverride noHome("VLM_HOME", nullptr);
  {
    EnvOverride xdg("XDG_CONFIG_HOME", "/x/config");
    EXPECT_EQ(ConfigFolder(), "/x/config/vlm");
  }
  EnvOverride noXdg("XDG_CONFIG_HOME", nullptr);
  EnvOverride user("HOME", "/home/someone");
  EXPECT_EQ(ConfigFolder(), "/home/someone/.config/vlm");
}

TEST_F(SettingsTest, SavedValuesReadBackAndMissingOnesGiveTheDefault) {
  EnvOverride nested("VLM_HOME", (home_.Path() / "a" / "b").c_str());  // not there yet
  EXPECT_EQ(GetSetting("VLMPlugin", "Ridgepull", "txt0", "0.5"), "0.5");

  SaveSetting("VLMPlugin", "Ridgepull", "txt0", "0.1");
  SaveSetting("VLMPlugin", "Ridgepull", "txt1", "quote \" and \\ and é");
  SaveSetting("VLMPlugin", "Tether", "txt0", "7");
  SaveSetting("VLMPlugin", "Ridgepull", "txt0", "0.25");  // replaces, keeps the others

  for (int read = 0; read < 2; ++read) {
    EXPECT_EQ(GetSetting("VLMPlugin", "Ridgepull", "txt0"), "0.25");
    EXPECT_EQ(GetSetting("VLMPlugin", "Ridgepull", "txt1"), "quote \" and \\ and é");
    EXPECT_EQ(GetSetting("VLMPlugin", "Tether", "txt0"), "7");
  }
  // Names match without regard to case, as in the registry.
  EXPECT_EQ(GetSetting("vlmplugin", "RIDGEPULL", "Txt0"), "0.25");
  EXPECT_EQ(GetSetting("VLMPlugin", "Ridgepull", "txt9", "none"), "none");
  EXPECT_EQ(GetSetting("VLMPlugin", "Shrink", "txt0"), "");

  DeleteSetting("VLMPlugin", "Ridgepull", "txt0");
  DeleteSetting("VLMPlugin", "Ridgepull", "txt0");  // already gone: no error
  DeleteSetting("Nobody", "Nothing", "nil");
  EXPECT_EQ(GetSetting("VLMPlugin", "Ridgepull", "txt0", "d"), "d");
  EXPECT_EQ(GetSetting("VLMPlugin", "Ridgepull", "txt1"), "quote \" and \\ and é");
  EXPECT_TRUE(warnings_.empty());
  EXPECT_TRUE(fs::is_regular_file(home_.Path() / "a" / "b" / "settings.json"));
}

// A run holds what it saves until it has succeeded: its own reads see the values, the file
// sees them only when stored, and a run that ends without storing leaves the file as it was.
TEST_F(SettingsTest, HeldSettingsReachTheFileOnlyWhenStored) {
  SaveSetting("VLMPlugin", "Ridgepull", "txt0", "0.1");
  SaveSetting("VLMPlugin", "Ridgepull", "txt1", "0.2");
  const std::string before = ReadFile(SettingsFile());
  for (const bool store : {false, true}) {
    SCOPED_TRACE(store ? "stored" : "dropped");
    {
      RunContext run;
      run.HoldSettings(true);
      RunContext::Scope scope(run);
      SaveSettings("VLMPlugin", "Ridgepull", {{"txt0", "0.9"}, {"txt2", "new"}});
      DeleteSetting("VLMPlugin", "Ridgepull", "txt1");
      EXPECT_EQ(GetSetting("VLMPlugin", "Ridgepull", "txt0"), "0.9");
      EXPECT_EQ(GetSetting("VLMPlugin", "Ridgepull", "txt1", "gone"), "gone");
      EXPECT_EQ(ReadFile(SettingsFile()), before);
      if (store) run.StoreHeldSettings();
    }
    if (!store) {
      EXPECT_EQ(ReadFile(SettingsFile()), before);
      continue;
    }
    EXPECT_EQ(GetSetting("VLMPlugin", "Ridgepull", "txt0"), "0.9");
    EXPECT_EQ(GetSetting("VLMPlugin", "Ridgepull", "txt1", "gone"), "gone");
    EXPECT_EQ(GetSetting("VLMPlugin", "Ridgepull", "txt2"), "new");
  }
}

TEST_F(SettingsTest, DamagedFileGivesDefaultsWithOneWarningAndIsNeverOverwritten) {
  const fs::path file = SettingsFile();
  const std::string damaged = "{\n  \"VLMPlugin\": {\n    \"Ridgepull\": {\"txt0\": \"0.1\",,\n";
  WriteText(file, damaged);

  EXPECT_EQ(GetSetting("VLMPlugin", "Ridgepull", "txt0", "def"), "def");
  EXPECT_EQ(GetSetting("VLMPlugin", "Ridgepull", "txt1", "def"), "def");
  ASSERT_EQ(warnings_.size(), 1u);
  EXPECT_NE(warnings_[0].find(file.string()), std::string::npos) << warnings_[0];
  EXPECT_NE(warnings_[0].find("damaged (line 3"), std::string::npos) << warnings_[0];

  try {
    SaveSetting("VLMPlugin", "Ridgepull", "txt0", "0.2");
    ADD_FAILURE() << "saving over a damaged file succeeded";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), err::PathFileAccess);
    EXPECT_NE(e.Description().find(file.string()), std::string::npos) << e.Description();
    EXPECT_NE(e.Description().find("damaged"), std::string::npos) << e.Description();
  }
  EXPECT_THROW(DeleteSetting("VLMPlugin", "Ridgepull", "txt0"), Error);
  EXPECT_EQ(ReadFile(file), damaged);

  // Sound JSON of the wrong shape is damaged too; the message points at the culprit, and
  // the new content is reported even though the file is the same.
  WriteText(file, R"({"VLMPlugin": {"Ridgepull": {"txt0": 0.1}}})");
  EXPECT_EQ(GetSetting("VLMPlugin", "Ridgepull", "txt0", "def"), "def");
  ASSERT_EQ(warnings_.size(), 2u);
  EXPECT_NE(warnings_[1].find("/VLMPlugin/Ridgepull/txt0 is a number"), std::string::npos)
      << warnings_[1];

  WriteText(file, "[1, 2]");
  EXPECT_EQ(GetSetting("VLMPlugin", "Ridgepull", "txt0", "def"), "def");
  EXPECT_EQ(warnings_.size(), 3u);
}

TEST_F(SettingsTest, NumbersBeyondADoubleAreDamageAtTheirPlace) {
  const fs::path file = SettingsFile();
  const std::pair<std::string, std::string> cases[] = {
      {"{\"VLMPlugin\": {\"Ridgepull\": {\"txt0\": 1e999}}}", "line 1, column 38"},
      {"{\n  \"a\": -1E+400\n}", "line 2, column 8"},
      {"[\n1,\n\n 2e308]", "line 4, column 2"},
  };
  for (const auto& [text, place] : cases) {
    WriteText(file, text);
    warnings_.clear();
    EXPECT_EQ(GetSetting("VLMPlugin", "Ridgepull", "txt0", "def"), "def") << text;
    ASSERT_EQ(warnings_.size(), 1u) << text;
    EXPECT_NE(warnings_[0].find(file.string() + " is damaged (" + place + ": number overflow"),
              std::string::npos)
        << warnings_[0];
    try {
      SaveSetting("VLMPlugin", "Ridgepull", "txt0", "0.2");
      ADD_FAILURE() << "saving over a damaged file succeeded: " << text;
    } catch (const Error& e) {
      EXPECT_EQ(e.Number(), err::PathFileAccess) << text;
      EXPECT_NE(e.Description().find(place), std::string::npos) << e.Description();
    }
    EXPECT_EQ(ReadFile(file), text);
  }
}

TEST_F(SettingsTest, DamageMessagesShowTheFileTextQuotedAndShort) {
  std::string tenDeletes;
  for (int i = 0; i < 10; ++i)
    tenDeletes += "\\u007f";
  const std::pair<std::string, std::string> cases[] = {
      // a stray byte that is not UTF-8 shows as the replacement character, in JSON quotes
      {"{\xff}",
       "(line 1, column 2: syntax error while parsing object key - invalid literal; "
       "last read: \"{\xEF\xBF\xBD\"; expected string literal)"},
      // a string that never ends is quoted by its last 40 bytes only
      {"{\"" + std::string(5000, 'a'), "last read: ...\"" + std::string(40, 'a') + "\""},
      // DEL and control characters are escaped, six characters each: fewer of them are shown
      {"{\"a\": \"" + std::string(300, '\x7f'), "last read: ...\"" + tenDeletes + "\""},
      {"{\"a\": \"" + std::string(50, '\x7f') + "\x01", "invalid string: control character"},
      // names in a place are escaped as in any JSON pointer; a control character is quoted
      {R"({"a/b~c": {"s": 1}})", "(/a~1b~0c/s is a number, not an object of keys)"},
      {R"({"a\nb": 1})", "(\"/a\\nb\" is a number, not an object of sections)"},
  };
  for (const auto& [text, expected] : cases) {
    WriteText(SettingsFile(), text);
    const std::string damage = SettingsDamage();
    EXPECT_NE(damage.find(expected), std::string::npos) << damage;
    EXPECT_LT(damage.size(), SettingsFile().string().size() + 250) << damage;
  }
}

TEST_F(SettingsTest, AtomicWriteKeepsTheOldFileWhenItFails) {
  const fs::path dir = home_.Path();
  const fs::path target = dir / "out.txt";
  WriteFileAtomically(target, "first");
  WriteFileAtomically(target, "second");
  EXPECT_EQ(ReadFile(target), "second");

  auto expectWriteError = [](const fs::path& file) {
    try {
      WriteFileAtomically(file, "new");
      ADD_FAILURE() << "writing " << file << " succeeded";
    } catch (const Error& e) {
      EXPECT_EQ(e.Number(), err::PathFileAccess);
      EXPECT_EQ(e.Description().rfind("cannot write " + file.string() + ": ", 0), 0u)
          << e.Description();
    }
  };
  fs::create_directory(dir / "folder");
  expectWriteError(dir / "folder");  // the target is a folder
  EXPECT_TRUE(fs::is_directory(dir / "folder"));
  expectWriteError(dir / "missing" / "out.txt");
  expectWriteError(target / "below-a-file.txt");
  EXPECT_EQ(FolderEntries(dir), (std::vector<std::string>{"folder", "out.txt"}));  // no temps

  if (geteuid() != 0) {  // permissions do not stop root
    chmod(dir.c_str(), 0555);
    expectWriteError(target);
    chmod(dir.c_str(), 0755);
    EXPECT_EQ(ReadFile(target), "second");
  }

  try {
    ReadFile(dir / "absent.txt");
    ADD_FAILURE() << "reading a missing file succeeded";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), err::FileNotFound);
    EXPECT_EQ(e.Description(), "file not found: " + (dir / "absent.txt").string());
  }
  EXPECT_THROW(
      try { ReadFile(dir / "folder"); } catch (const Error& e) {
        EXPECT_EQ(e.Number(), err::PathFileAccess);
        throw;
      },
      Error);
}

}  // namespace
}  // namespace vlm
