#include "vlm/numeric_dialog.h"

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include "support/dialogs.h"
#include "support/temp_home.h"
#include "vlm/error.h"
#include "vlm/files.h"
#include "vlm/settings.h"
#include "vlm/warnings.h"

namespace vlm {
namespace {

int ErrorNumber(const std::function<void()>& f) {
  try {
    f();
  } catch (const Error& e) {
    return e.Number();
  }
  return 0;
}

TEST(xCsng, ReadsWholeNumbersAndLeadingNumbers) {
  EXPECT_EQ(xCsng(""), 0.0f);
  EXPECT_EQ(xCsng("2.5"), 2.5f);
  EXPECT_EQ(xCsng(" 7 "), 7.0f);
  EXPECT_EQ(xCsng("-0.25"), -0.25f);
  EXPECT_EQ(xCsng("1e5"), 100000.0f);
  EXPECT_EQ(xCsng("2.5m"), 2.5f);
  EXPECT_EQ(xCsng("-5'6"), -5.0f);
  EXPECT_EQ(xCsng("6\""), 6.0f);
  EXPECT_EQ(xCsng("12abc"), 12.0f);
}

TEST(xCsng, HostileTextGivesNought) {
  for (const char* text : {"abc", "'6", "--1", "1.2.3", "-", ".", "-.", "1-2", "inf", "nan", "0x10",
                           "1e99", "-1e99", "9999999999999999999999999999999999999999"})
    EXPECT_EQ(xCsng(text), 0.0f) << text;
  // Tiny numbers are nought too, not an error.
  EXPECT_EQ(xCsng("1e-99"), 0.0f);
}

TEST(fnVal, FeetAndInchesBecomeMetresInAMetreScene) {
  EXPECT_FLOAT_EQ(fnVal("5'6", 1.0f), 1.676f);
  EXPECT_FLOAT_EQ(fnVal("-5'6", 1.0f), -1.676f);
  EXPECT_FLOAT_EQ(fnVal("6\"", 1.0f), 0.152f);
  EXPECT_FLOAT_EQ(fnVal("'6", 1.0f), 0.152f);  // half a foot
  EXPECT_FLOAT_EQ(fnVal("5'", 1.0f), 1.524f);
  // Minus nought feet six inches is as negative as it reads.
  EXPECT_FLOAT_EQ(fnVal("-0'6", 1.0f), -0.152f);
}

TEST(fnVal, OtherScalesKeepFeetAndPlainNumbersKeepTheirValue) {
  EXPECT_FLOAT_EQ(fnVal("5'6", 2.0f), 5.5f);
  EXPECT_FLOAT_EQ(fnVal("'6", 0.3048f), 0.5f);
  EXPECT_FLOAT_EQ(fnVal("6\"", 0.01f), 0.5f);
  for (float scale : {1.0f, 2.0f, 0.01f})
    EXPECT_FLOAT_EQ(fnVal("2.5m", scale), 2.5f) << scale;
}

TEST(fnVal, RoundsToThreeDecimalsHalfToEven) {
  // Both are exact in binary, so the half is a true half.
  EXPECT_FLOAT_EQ(fnVal("0.0625", 2.0f), 0.062f);
  EXPECT_FLOAT_EQ(fnVal("0.1875", 2.0f), 0.188f);
  EXPECT_FLOAT_EQ(fnVal("-0.0625", 2.0f), -0.062f);
  EXPECT_FLOAT_EQ(fnVal("1.23456", 2.0f), 1.235f);
}

TEST(fnVal, HostileTextNeverRaises) {
  for (const char* text : {"", "abc", "--1", "1.2.3", "''", "\"", "'\"'", "-'-"})
    EXPECT_EQ(fnVal(text, 1.0f), 0.0f) << text;
  // Beyond the float range the value cannot be shown: nought, not an infinity.
  const std::string nearLimit = "34" + std::string(37, '0');  // 3.4e38 feet
  EXPECT_EQ(fnVal(nearLimit + "'" + nearLimit, 2.0f), 0.0f);
  EXPECT_FLOAT_EQ(fnVal("3e38", 2.0f), 3e38f);
}

TEST(NumberText, IsTheShortestPlainText) {
  EXPECT_EQ(NumberText(1.676f), "1.676");
  EXPECT_EQ(NumberText(0.05f), "0.05");
  EXPECT_EQ(NumberText(-1.5f), "-1.5");
  EXPECT_EQ(NumberText(8.0f), "8");
  EXPECT_EQ(NumberText(-0.0f), "0");
}

TEST(PlainConversions, RaiseTypeMismatchAndOverflow) {
  EXPECT_EQ(ToSingle("1.5"), 1.5f);
  EXPECT_EQ(ToSingle(" +2e1 "), 20.0f);
  EXPECT_EQ(ToSingle("1e-60"), 0.0f);
  EXPECT_EQ(ToSingle("1."), 1.0f);
  for (const char* text : {"", "abc", "5'6", "1,5", "inf", "nan", "0x10", "1e", "+-1"})
    EXPECT_EQ(ErrorNumber([&] { ToSingle(text); }), err::TypeMismatch) << text;
  EXPECT_EQ(ErrorNumber([] { ToSingle("1e39"); }), err::Overflow);
  EXPECT_EQ(ToInteger("8"), 8);
  EXPECT_EQ(ToInteger("2.5"), 2);
  EXPECT_EQ(ToInteger("3.5"), 4);
  EXPECT_EQ(ErrorNumber([] { ToInteger("40000"); }), err::Overflow);
  EXPECT_EQ(ErrorNumber([] { ToInteger("x"); }), err::TypeMismatch);
}

// The dialog core, shown with scripted input against a fresh settings store.
struct Dialog {
  test::TempHome home;
  Status run(NumericDialog& dialog, const std::string& script) {
    test::ScriptedScope scope(script);
    return Guard([&] { dialog.ShowModal(); });
  }
};

TEST(NumericDialog, LoadsDefaultsOverTheSceneScale) {
  Dialog d;
  NumericDialog dialog("frmTest", "Test", {"0.1", "8", "0.0"});
  dialog.sscale = 2;
  ASSERT_EQ(d.run(dialog, "click CancelButton"), StatusOk);
  EXPECT_EQ(dialog.txt(0).Text(), "0.05");
  EXPECT_EQ(dialog.txt(1).Text(), "4");
  EXPECT_EQ(dialog.txt(2).Text(), "0");
  EXPECT_TRUE(dialog.bCancel);

  NumericDialog feet("frmTest", "Test", {"0.1"});
  feet.sscale = 0.3048f;
  ASSERT_EQ(d.run(feet, "click CancelButton"), StatusOk);
  EXPECT_EQ(feet.txt(0).Text(), "0.328");

  NumericDialog broken("frmTest", "Test", {"0.1"});
  broken.sscale = 0;
  EXPECT_EQ(d.run(broken, "click CancelButton"), StatusFromError(err::DivisionByZero));
}

TEST(NumericDialog, TidiesAFieldWhenItLosesFocusAndRemembersOnOK) {
  Dialog d;
  NumericDialog dialog("frmTest", "Test", {"0.1", "0.2"});
  dialog.sscale = 1;
  ASSERT_EQ(d.run(dialog, "txt(0)=5'6; txt(1)=abc; click OKButton"), StatusOk);
  EXPECT_FALSE(dialog.bCancel);
  EXPECT_EQ(dialog.txt(0).Text(), "1.676");
  EXPECT_EQ(dialog.txt(1).Text(), "0");
  EXPECT_EQ(GetSetting("VLMPlugin", "Test", "txt0"), "1.676");
  EXPECT_EQ(GetSetting("VLMPlugin", "Test", "txt1"), "0");

  // A second run shows the stored texts as stored, whatever the scale.
  NumericDialog again("frmTest", "Test", {"0.1", "0.2"});
  again.sscale = 2;
  ASSERT_EQ(d.run(again, "click CancelButton"), StatusOk);
  EXPECT_EQ(again.txt(0).Text(), "1.676");
  EXPECT_EQ(again.txt(1).Text(), "0");
}

TEST(NumericDialog, CancelStoresNothing) {
  Dialog d;
  SaveSetting("VLMPlugin", "Test", "txt0", "0.75");
  NumericDialog dialog("frmTest", "Test", {"0.1", "0.2"});
  ASSERT_EQ(d.run(dialog, "txt(0)=9; txt(1)=3; click CancelButton"), StatusOk);
  EXPECT_TRUE(dialog.bCancel);
  EXPECT_EQ(GetSetting("VLMPlugin", "Test", "txt0"), "0.75");
  EXPECT_EQ(GetSetting("VLMPlugin", "Test", "txt1", "none"), "none");
}

TEST(NumericDialog, EnterKeepsTheTextOfTheFieldThatNeverLostFocus) {
  Dialog d;
  NumericDialog dialog("frmTest", "Test", {"0.1"});
  ASSERT_EQ(d.run(dialog, "txt(0)=5'6; enter"), StatusOk);
  EXPECT_FALSE(dialog.bCancel);
  EXPECT_EQ(dialog.txt(0).Text(), "5'6");
  EXPECT_EQ(ErrorNumber([&] { ToSingle(dialog.txt(0).Text()); }), err::TypeMismatch);
}

TEST(NumericDialog, RemembersTheTidiedTextOfAFieldThatNeverLostFocus) {
  const std::pair<const char*, const char*> cases[] = {
      {"txt(0)=5'6; enter", "1.676"},
      {"txt(0)=6\"; enter", "0.152"},
      {"txt(0)=abc; enter", "0"},
      {"txt(0)=-0'6; click OKButton", "-0.152"},
  };
  for (auto [script, stored] : cases) {
    Dialog d;
    NumericDialog dialog("frmTest", "Test", {"0.1"});
    ASSERT_EQ(d.run(dialog, script), StatusOk) << script;
    EXPECT_EQ(GetSetting("VLMPlugin", "Test", "txt0"), stored) << script;
  }
}

TEST(NumericDialog, ADamagedSettingsFileGivesDefaultsWithOneWarningAndStaysAsItIs) {
  Dialog d;
  std::vector<std::string> warnings;
  SetWarningSink([&](const std::string& message) { warnings.push_back(message); });
  const std::string damaged = "{\"VLMPlugin\": {\"Test\": {\"txt0\": \"3\",,";
  WriteFileAtomically(SettingsFile(), damaged);
  NumericDialog dialog("frmTest", "Test", {"0.1", "0.2"});
  dialog.sscale = 2;
  EXPECT_EQ(d.run(dialog, "txt(1)=7; click OKButton"), StatusOk);
  SetWarningSink(nullptr);
  EXPECT_FALSE(dialog.bCancel);
  EXPECT_EQ(dialog.txt(0).Text(), "0.05");
  EXPECT_EQ(dialog.txt(1).Text(), "7");
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find(SettingsFile().string() + " is damaged"), std::string::npos)
      << warnings[0];
  EXPECT_NE(warnings[0].find("will not be remembered until the file is mended"), std::string::npos)
      << warnings[0];
  EXPECT_EQ(ReadFile(SettingsFile()), damaged);
}

// A remembered text the tool could not read is dropped with a warning naming it, and the field
// starts from its default; a readable one is kept without a word.
TEST(NumericDialog, ARememberedTextThatCannotBeReadGivesTheDefaultWithAWarning) {
  const std::pair<const char*, bool> cases[] = {{"abc", false}, {"1e60", false},  {"5'6", false},
                                                {"", false},    {" 0.75 ", true}, {"-2", true}};
  for (auto [stored, kept] : cases) {
    Dialog d;
    std::vector<std::string> warnings;
    SetWarningSink([&](const std::string& message) { warnings.push_back(message); });
    SaveSetting("VLMPlugin", "Test", "txt0", stored);
    NumericDialog dialog("frmTest", "Test", {"0.1"});
    const Status status = d.run(dialog, "click OKButton");
    SetWarningSink(nullptr);
    ASSERT_EQ(status, StatusOk) << stored;
    EXPECT_EQ(dialog.txt(0).Text(), kept ? std::string(stored) : "0.1") << stored;
    ASSERT_EQ(warnings.size(), kept ? 0u : 1u) << stored;
    if (!kept) {
      EXPECT_NE(warnings[0].find("VLMPlugin/Test/txt0"), std::string::npos) << warnings[0];
      EXPECT_NE(warnings[0].find("\"" + std::string(stored) + "\""), std::string::npos)
          << warnings[0];
    }
  }
}

// A default beyond the float range at the scene's scale names its field.
TEST(NumericDialog, AnOverflowNamesTheField) {
  Dialog d;
  NumericDialog dialog("frmTest", "Test", {"0.1", "8"});
  dialog.sscale = 1e-38f;
  EXPECT_EQ(d.run(dialog, "click CancelButton"), StatusFromError(err::Overflow));
  EXPECT_NE(LastError().description.find("txt(1)"), std::string::npos) << LastError().description;
}

// OK saves the dialog's values as one set, in one write of the settings file, so that runs
// ending at the same time leave one run's set whole.
TEST(NumericDialog, OKSavesTheValuesInOneWrite) {
  Dialog d;
  SaveSetting("VLMPlugin", "Test", "txt0", "1");
  const int watch = inotify_init1(IN_NONBLOCK);
  ASSERT_GE(watch, 0);
  ASSERT_GE(inotify_add_watch(watch, d.home.Path().c_str(), IN_MOVED_TO), 0);
  NumericDialog dialog("frmTest", "Test", {"0.1", "0.2", "0.3"});
  ASSERT_EQ(d.run(dialog, "txt(0)=4; txt(1)=5; txt(2)=6; click OKButton"), StatusOk);
  int writes = 0;
  alignas(inotify_event) char buffer[4096];
  for (ssize_t got; (got = read(watch, buffer, sizeof buffer)) > 0;) {
    for (char* at = buffer; at < buffer + got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(at);
      if (event->len && std::string(event->name) == "settings.json") ++writes;
      at += sizeof(inotify_event) + event->len;
    }
  }
  close(watch);
  EXPECT_EQ(writes, 1);
  EXPECT_EQ(GetSetting("VLMPlugin", "Test", "txt2"), "6");
}

}  // namespace
}  // namespace vlm
