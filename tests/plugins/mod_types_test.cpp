#include "fs10/mod_types.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugins/tether_files.h"
#include "vlm/registry.h"
#include "vlm/warnings.h"

namespace vlm {
namespace {

using modTypes::GetKeyValue;

class GetKeyValueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::WriteText(home.Path() / "machine.reg",
                    "Windows Registry Editor Version 5.00\n\n"
                    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Sim]\n"
                    "\"Path\"=\"C:\\\\Sim\\\\10\"\n"
                    "\"Empty\"=\"\"\n"
                    "\"Number\"=dword:12345678\n"
                    "\"Gaps\"=dword:0a000b0c\n"
                    "\"Small\"=dword:00000005\n"
                    "\"Blob\"=hex:de,ad\n"
                    "\"Long\"=\"" +
                        std::string(100000, 'x') +
                        "\"\n"
                        "\"Fits\"=\"" +
                        std::string(1023, 'y') + "\"\n");
  }
  // Runs the lookup with `value` as the caller's text.
  std::pair<bool, std::string> Get(const std::string& key, const std::string& name,
                                   std::string value = "caller") {
    bool found = GetKeyValue("HKEY_LOCAL_MACHINE", key, name, value);
    return {found, value};
  }
  test::TempHome home;
};

TEST_F(GetKeyValueTest, StringGivesItsText) {
  EXPECT_EQ(Get("SOFTWARE\\Sim", "Path"), std::make_pair(true, std::string("C:\\Sim\\10")));
  EXPECT_EQ(Get("software\\sim", "path").second, "C:\\Sim\\10");  // keys ignore case
  EXPECT_EQ(Get("SOFTWARE\\Sim", "Empty"), std::make_pair(true, std::string()));
}

TEST_F(GetKeyValueTest, NumberGivesHexBytesFromLastToFirst) {
  EXPECT_EQ(Get("SOFTWARE\\Sim", "Number"), std::make_pair(true, std::string("&h12345678")));
  // Each byte is written without its leading zero.
  EXPECT_EQ(Get("SOFTWARE\\Sim", "Gaps").second, "&hA0BC");
  // A top byte of 0 is taken for a trailing NUL and dropped.
  EXPECT_EQ(Get("SOFTWARE\\Sim", "Small").second, "&h005");
}

TEST_F(GetKeyValueTest, OtherTypesLeaveTheCallersText) {
  EXPECT_EQ(Get("SOFTWARE\\Sim", "Blob"), std::make_pair(true, std::string("caller")));
}

TEST_F(GetKeyValueTest, MissingKeyValueOrRegistryGivesFalseAndEmptyText) {
  EXPECT_EQ(Get("SOFTWARE\\Nothing", "Path"), std::make_pair(false, std::string()));
  EXPECT_EQ(Get("SOFTWARE\\Sim", "Nothing"), std::make_pair(false, std::string()));
  EXPECT_EQ(Get("SOFTWARE", "Path"), std::make_pair(false, std::string()));
  std::filesystem::remove(home.Path() / "machine.reg");
  EXPECT_EQ(Get("SOFTWARE\\Sim", "Path"), std::make_pair(false, std::string()));
}

// A long path is as much a value as a short one.
TEST_F(GetKeyValueTest, ValuesOfAnyLengthAreReadWhole) {
  EXPECT_EQ(Get("SOFTWARE\\Sim", "Long"), std::make_pair(true, std::string(100000, 'x')));
  EXPECT_EQ(Get("SOFTWARE\\Sim", "Fits").second, std::string(1023, 'y'));  // 1024 with its NUL
}

TEST_F(GetKeyValueTest, DamagedRegistryIsAFailureReportedAsAWarning) {
  test::WriteText(home.Path() / "machine.reg",
                  "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Sim\n\"Path\"=\"x\"\n");
  std::vector<std::string> warnings;
  SetWarningSink([&](const std::string& m) { warnings.push_back(m); });
  auto result = Get("SOFTWARE\\Sim", "Path");
  SetWarningSink(nullptr);
  EXPECT_EQ(result, std::make_pair(false, std::string()));
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("machine.reg"), std::string::npos) << warnings[0];
}

}  // namespace
}  // namespace vlm
