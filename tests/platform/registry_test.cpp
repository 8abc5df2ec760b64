#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/temp_home.h"
#include "vlm/component.h"
#include "vlm/error.h"
#include "vlm/files.h"
#include "vlm/registry.h"

namespace vlm {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
  return std::vector<uint8_t>(values.begin(), values.end());
}

const RegistryValue& ValueAt(const RegistryFile& reg, const std::string& key,
                             const std::string& name) {
  const RegistryKey* found = reg.FindKey(key);
  if (!found) throw std::runtime_error("no key " + key);
  return found->values.at(name);
}

TEST(RegistryParseTest, ReadsEveryKindOfValueLine) {
  const std::string text =
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
      "\r\n"
      "; the plug-in settings\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vellum]\r\n"
      "@=\"default text\"\r\n"
      "\"Path\"=\"C:\\\\Program Files\\\\Vellum \\\"9\\\"\"\r\n"
      "  \"Count\" = dword:0000012c\r\n"
      "\"Small\"=dword:7\r\n"
      "\"Blob\"=hex:de,ad,\\\r\n"
      "  be,ef\r\n"
      "\"Expand\"=hex(2):41,00,00,00\r\n"
      "\"Empty\"=hex:\r\n"
      "\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vellum\\Plugins]\r\n";
  RegistryFile reg = RegistryFile::Parse(text, "machine.reg");
  const std::string key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vellum";

  EXPECT_EQ(ValueAt(reg, key, "").AsString(), "default text");
  const RegistryValue& path = ValueAt(reg, key, "Path");
  EXPECT_EQ(path.type, RegistryType::String);
  EXPECT_EQ(path.AsString(), "C:\\Program Files\\Vellum \"9\"");
  EXPECT_EQ(path.data.back(), 0);

  EXPECT_EQ(ValueAt(reg, key, "Count").type, RegistryType::Dword);
  EXPECT_EQ(ValueAt(reg, key, "Count").data, Bytes({0x2c, 0x01, 0, 0}));
  EXPECT_EQ(ValueAt(reg, key, "Count").AsString(), "300");
  EXPECT_EQ(ValueAt(reg, key, "Small").data, Bytes({7, 0, 0, 0}));

  EXPECT_EQ(ValueAt(reg, key, "Blob").type, RegistryType::Binary);
  EXPECT_EQ(ValueAt(reg, key, "Blob").data, Bytes({0xde, 0xad, 0xbe, 0xef}));
  EXPECT_EQ(ValueAt(reg, key, "Expand").type, RegistryType::ExpandString);
  EXPECT_EQ(ValueAt(reg, key, "Expand").AsString(), std::string("A\0\0", 3));
  EXPECT_TRUE(ValueAt(reg, key, "Empty").data.empty());

  ASSERT_NE(reg.FindKey(key + "\\Plugins"), nullptr);
  EXPECT_TRUE(reg.FindKey(key + "\\Plugins")->values.empty());
}

TEST(RegistryParseTest, DamagedFilesNameTheLineAndTheProblem) {
  struct Case {
    std::string text;
    std::string message;
  };
  const std::string header = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\A]\n";
  const std::vector<Case> cases = {
      {"\"x\"=\"y\"\n", "m.reg:1: value line outside any [key] section"},
      {header + "[HKEY_LOCAL_MACHINE\\B\n", "m.reg:4: key line without a closing \"]\""},
      {header + "\"n\"=dword:xyz\n", "m.reg:4: bad dword value \"xyz\""},
      {header + "\"n\"=dword:123456789\n", "m.reg:4: bad dword value"},
      {header + "\n\"n\"=\"open\n", "m.reg:5: unterminated string"},
      {header + "\"open=1\n", "m.reg:4: unterminated value name"},
      {header + "\"n\"=\"C:\\Temp\"\n", "m.reg:4: unknown escape \"\\T\""},
      {header + "\"n\"=hex:0g\n", "m.reg:4: bad byte \"0g\""},
      {header + "\"n\"=hex:01,\\\n", "m.reg:4: the file ends in the middle"},
      {header + "\"n\" \"y\"\n", "m.reg:4: expected \"=\""},
      {header + "\"n\"=yes\n", "m.reg:4: unrecognised value data \"yes\""},
      {header + "[-HKEY_LOCAL_MACHINE\\A]\n", "m.reg:4: deleting a key"},
      {header + "name=1\n", "m.reg:4: unrecognised line"},
      {"Windows Registry Editor Version 4.00\n", "m.reg:1: unrecognised line"},
      // What the file cannot hold again is refused rather than changed on the way in.
      {header + "[ HKEY_LOCAL_MACHINE\\B]\n",
       "m.reg:4: key name \" HKEY_LOCAL_MACHINE\" begins or ends with a blank"},
      {header + "[HKEY_LOCAL_MACHINE\\B\t]\n", "m.reg:4: key name \"B\t\" begins"},
      {header + "[HKEY_LOCAL_MACHINE\\A \\B]\n", "m.reg:4: key name \"A \" begins"},
      {header + "\"a\rb\"=\"x\"\n", "m.reg:4: value name \"a\rb\" has a line break"},
  };
  for (const Case& c : cases) {
    try {
      RegistryFile::Parse(c.text, "m.reg");
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const Error& e) {
      EXPECT_EQ(e.Number(), err::InvalidProcedureCall);
      EXPECT_EQ(e.Description().rfind(c.message, 0), 0u)
          << "got: " << e.Description() << "\nwanted: " << c.message;
    }
  }
}

TEST(RegistryFileTest, SerializeReadsBackTheSameValues) {
  RegistryFile reg;
  RegistryKey& key = reg.CreateKey("HKEY_CURRENT_USER\\Software\\Classes\\VLMPlugin9.Obverse");
  key.values[""] = RegistryValue::FromString("Obverse");
  key.values["Path \"quoted\""] = RegistryValue::FromString("C:\\a\\b \"c\"");
  key.values["Lines"] = RegistryValue::FromString("one\ntwo");  // cannot be a "..." line
  key.values["Nul"] = RegistryValue::FromString(std::string("a\0b", 3));
  key.values["Number"] = RegistryValue::FromDword(0xfedcba98);
  RegistryValue blob{RegistryType::Binary, {}};
  for (int i = 0; i < 100; ++i)
    blob.data.push_back(static_cast<uint8_t>(i * 7));
  key.values["Blob"] = blob;
  key.values["Expand"] = RegistryValue{RegistryType::ExpandString, Bytes({'%', 'X', '%', 0})};
  key.values["Short"] = RegistryValue{RegistryType::Dword, Bytes({1, 2})};

  const std::string text = reg.Serialize();
  EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER]\n", 0), 0u);
  EXPECT_NE(text.find("\n@=\"Obverse\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\n\"Number\"=dword:fedcba98\n"), std::string::npos) << text;

  RegistryFile back = RegistryFile::Parse(text, "round trip");
  const RegistryKey* copy =
      back.FindKey("HKEY_CURRENT_USER\\Software\\Classes\\VLMPlugin9.Obverse");
  ASSERT_NE(copy, nullptr);
  ASSERT_EQ(copy->values.size(), key.values.size());
  for (const auto& [name, value] : key.values) {
    const RegistryValue& other = copy->values.at(name);
    EXPECT_EQ(other.type, value.type) << name;
    EXPECT_EQ(other.data, value.data) << name;
  }
  EXPECT_EQ(back.Serialize(), text);
}

TEST(RegistryFileTest, NothingIsWrittenThatWouldReadBackOtherwise) {
  // Blanks inside a key's name are kept; at its ends, or a leading "-", it cannot be written.
  RegistryFile reg;
  reg.CreateKey("HKEY_CURRENT_USER\\A  B\\C D").values["Name"] = RegistryValue::FromString("v");
  RegistryFile back = RegistryFile::Parse(reg.Serialize(), "round trip");
  ASSERT_NE(back.FindKey("HKEY_CURRENT_USER\\A  B\\C D"), nullptr);
  EXPECT_EQ(back.Serialize(), reg.Serialize());
  for (const char* path :
       {" HKEY_CURRENT_USER\\A", "HKEY_CURRENT_USER\\A ", "A \\B", "\\ A", "-A"}) {
    try {
      reg.CreateKey(path);
      ADD_FAILURE() << "created \"" << path << "\"";
    } catch (const Error& e) {
      EXPECT_EQ(e.Number(), err::InvalidProcedureCall) << path;
    }
  }
  // Two values whose names differ only in case would read back as one.
  reg.CreateKey("HKEY_CURRENT_USER\\A").values["name"] = RegistryValue::FromString("v");
  reg.CreateKey("HKEY_CURRENT_USER\\A").values["NAME"] = RegistryValue::FromString("w");
  EXPECT_THROW(reg.Serialize(), Error);
}

TEST(RegistryFileTest, KeysIgnoreCaseAndDeleteRecursively) {
  RegistryFile reg;
  reg.CreateKey("HKEY_CURRENT_USER\\Software\\B\\Deep").values["v"] = RegistryValue::FromDword(1);
  reg.CreateKey("HKEY_CURRENT_USER\\Software\\a");
  reg.CreateKey("HKEY_CURRENT_USER\\Software\\BC");

  // Creating a key creates the keys above it; a different case finds the same key.
  ASSERT_NE(reg.FindKey("hkey_current_user\\SOFTWARE"), nullptr);
  EXPECT_EQ(&reg.CreateKey("hkey_current_user\\software\\b\\deep"),
            reg.FindKey("HKEY_CURRENT_USER\\Software\\B\\Deep"));
  EXPECT_EQ(reg.FindKey("HKEY_CURRENT_USER\\Software\\B\\Deep\\")->values.size(), 1u);

  EXPECT_EQ(
      reg.SubKeys("HKEY_CURRENT_USER\\software"),
      (std::vector<std::string>{"HKEY_CURRENT_USER\\Software\\a", "HKEY_CURRENT_USER\\Software\\B",
                                "HKEY_CURRENT_USER\\Software\\BC"}));

  EXPECT_TRUE(reg.DeleteKey("HKEY_CURRENT_USER\\SOFTWARE\\b"));
  EXPECT_EQ(reg.FindKey("HKEY_CURRENT_USER\\Software\\B"), nullptr);
  EXPECT_EQ(reg.FindKey("HKEY_CURRENT_USER\\Software\\B\\Deep"), nullptr);
  EXPECT_NE(reg.FindKey("HKEY_CURRENT_USER\\Software\\BC"), nullptr);  // only a name prefix
  EXPECT_FALSE(reg.DeleteKey("HKEY_CURRENT_USER\\Software\\B"));

  EXPECT_THROW(reg.CreateKey("A\\\\B"), Error);
  EXPECT_THROW(reg.CreateKey(""), Error);
}

// A key is read in time and space in proportion to its length, however many parts it has:
// the keys above it are found through it, not stored and written one by one.
TEST(RegistryFileTest, AKeyOfTwentyThousandPartsReadsAndWritesInProportionToItsLength) {
  test::TempHome home;
  std::string deep = "HKEY_CURRENT_USER\\Software\\Classes";
  for (int i = 0; i < 20000; ++i)
    deep += "\\k";
  std::ofstream(home.Path() / "user.reg") << "REGEDIT4\n\n[" << deep << "]\n\"v\"=\"deep\"\n\n"
                                          << "[HKEY_CURRENT_USER\\Software\\Classes\\Tool]\n";
  const RegistryFile reg = RegistryFile::Load(home.Path() / "user.reg");
  EXPECT_EQ(ValueAt(reg, deep, "v").AsString(), "deep");
  const std::string middle = deep.substr(0, deep.size() / 2 + 1);  // ends in a whole part
  ASSERT_NE(reg.FindKey(middle), nullptr);
  EXPECT_TRUE(reg.FindKey(middle)->values.empty());
  EXPECT_EQ(reg.SubKeys(middle), std::vector<std::string>{middle + "\\k"});
  EXPECT_EQ(reg.SubKeys("HKEY_CURRENT_USER\\Software\\Classes"),
            (std::vector<std::string>{"HKEY_CURRENT_USER\\Software\\Classes\\k",
                                      "HKEY_CURRENT_USER\\Software\\Classes\\Tool"}));
  EXPECT_EQ(reg.FindKey(deep + "\\k"), nullptr);
  EXPECT_EQ(reg.FindKey("HKEY_CURRENT_USER\\Software\\Classes\\k\\x"), nullptr);
  const std::string written = reg.Serialize();
  EXPECT_LT(written.size(), 2 * deep.size());
  EXPECT_EQ(RegistryFile::Parse(written, "again").Serialize(), written);
  // Deleting the deep key keeps the key above it, which the file named only through it.
  RegistryFile changed = reg;
  EXPECT_TRUE(changed.DeleteKey(deep));
  EXPECT_NE(changed.FindKey(deep.substr(0, deep.size() - 2)), nullptr);
  EXPECT_EQ(changed.FindKey(deep), nullptr);
  // The classes listed by the user registry, through the same reading.
  EXPECT_EQ(RegisteredClasses().size(), 0u);
}

TEST(RegistryFileTest, QueriesReadTheMachineAndUserFiles) {
  test::TempHome home;
  std::ofstream(home.Path() / "machine.reg") << "Windows Registry Editor Version 5.00\n\n"
                                                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vellum\\9.0]\n"
                                                "\"InstallDir\"=\"/opt/vellum\"\n"
                                                "\"Build\"=dword:00000010\n";

  auto dir = QueryRegistryValue("HKEY_LOCAL_MACHINE", "SOFTWARE\\Vellum\\9.0", "InstallDir");
  ASSERT_TRUE(dir.has_value());
  EXPECT_EQ(dir->AsString(), "/opt/vellum");
  EXPECT_EQ(QueryRegistryValue("HKLM", "software\\vellum\\9.0", "build")->AsString(), "16");
  EXPECT_FALSE(QueryRegistryValue("HKLM", "SOFTWARE\\Vellum\\9.0", "Missing").has_value());
  EXPECT_FALSE(QueryRegistryValue("HKLM", "SOFTWARE\\Other", "InstallDir").has_value());
  EXPECT_TRUE(RegistryKeyExists("HKLM", "SOFTWARE\\Vellum"));
  EXPECT_FALSE(RegistryKeyExists("HKCU", "SOFTWARE\\Vellum"));  // no user file yet
  EXPECT_THROW(QueryRegistryValue("HKEY_USERS", "x", "y"), Error);

  UpdateUserRegistry([](RegistryFile& reg) {
    reg.CreateKey("HKEY_CURRENT_USER\\Software\\Classes\\VLMPlugin9.Flare").values[""] =
        RegistryValue::FromString("/plugins/libflare.so");
  });
  UpdateUserRegistry([](RegistryFile& reg) { reg.CreateKey("HKEY_CURRENT_USER\\Software\\X"); });
  EXPECT_EQ(QueryRegistryValue("HKCU", "Software\\Classes\\VLMPlugin9.Flare", "")->AsString(),
            "/plugins/libflare.so");
  EXPECT_TRUE(RegistryKeyExists("HKEY_CURRENT_USER", "Software\\X"));

  // A change that fails leaves the file as it was.
  const std::string before = ReadFile(UserRegistryFile());
  EXPECT_THROW(UpdateUserRegistry([](RegistryFile& reg) {
                 reg.DeleteKey("HKEY_CURRENT_USER");
                 throw Error(err::ObjectRequired);
               }),
               Error);
  EXPECT_EQ(ReadFile(UserRegistryFile()), before);

  // A damaged file is an error naming it, never an empty registry.
  std::ofstream(home.Path() / "machine.reg", std::ios::app) << "\"Broken\"=dword:\n";
  try {
    QueryRegistryValue("HKLM", "SOFTWARE\\Vellum\\9.0", "InstallDir");
    ADD_FAILURE() << "a damaged machine registry was read";
  } catch (const Error& e) {
    EXPECT_EQ(e.Description().rfind((home.Path() / "machine.reg").string() + ":6: ", 0), 0u)
        << e.Description();
  }
}

}  // namespace
}  // namespace vlm
