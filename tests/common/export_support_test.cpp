#include "vlm/export_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "scene/builder.h"
#include "support/dialogs.h"

namespace vlm {
namespace {

using ::testing::ElementsAre;

TEST(ExportSupport, UnitScaleFollowsTheDocumentUnits) {
  const struct {
    int32_t code;
    float scale;
    std::vector<std::string> log;
  } cases[] = {
      {0, 1.0f, {}},
      {1, 0.01f, {}},
      {2, 0.3048f, {}},
      {9, 1.0f, {"The document's units code 9 is not known; lengths are written as metres."}},
      {-1, 1.0f, {"The document's units code -1 is not known; lengths are written as metres."}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> log;
    EXPECT_EQ(UnitScaleFor(c.code, [&](const std::string& line) { log.push_back(line); }), c.scale)
        << c.code;
    EXPECT_EQ(log, c.log) << c.code;
  }
}

TEST(ExportSupport, NamesWithControlCharactersAreRefusedWithTheCharacter) {
  const struct {
    std::string text, problem;
  } cases[] = {
      {"wall.png", ""},
      {"caf\xC3\xA9 \\textures\\x.png", ""},  // UTF-8 and folders are fine
      {"wall.png\r\nTRIS 0 999999",
       "the name \"wall.png\\r\\nTRIS 0 999999\" holds a carriage return (0x0D)"},
      {std::string("a\0b.png", 7), "the name \"a\\0b.png\" holds a NUL (0x00)"},
      {"a\tb", "the name \"a\\tb\" holds a tab (0x09)"},
      {"a\nb", "the name \"a\\nb\" holds a line feed (0x0A)"},
      {"a\x1b"
       "b",
       "the name \"a\\x1Bb\" holds a control character (0x1B)"},
      {"a\x7f", "the name \"a\\x7F\" holds a control character (0x7F)"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ControlCharacterProblem("the name", c.text),
              c.problem.empty() ? "" : c.problem + ", which the file cannot carry")
        << c.text;
}

TEST(ExportSupport, TheRootChoosesTheFirstGroupNamedMain) {
  host::HostDocument doc;
  host::AddGroup(doc.Root(), "Body");
  host::HostNode& upper = host::AddGroup(doc.Root(), "Main");
  host::AddGroup(doc.Root(), "main");
  Node* root = &doc.Root().AsNode();
  test::ScriptedScope dialogs;
  EXPECT_EQ(ChooseExportNode(root, root, "Exporter"), &upper.AsNode());
  // A group given by the host is exported as it is.
  Node* body = &doc.Root().children[0]->AsNode();
  EXPECT_EQ(ChooseExportNode(body, root, "Exporter"), body);
  EXPECT_TRUE(dialogs.Messages().empty());
}

TEST(ExportSupport, NoMainGroupIsReportedAndNothingChosen) {
  host::HostDocument doc;
  host::AddGroup(doc.Root(), "Body");
  Node* root = &doc.Root().AsNode();
  test::ScriptedScope dialogs;
  EXPECT_EQ(ChooseExportNode(root, root, "Exporter"), nullptr);
  EXPECT_THAT(dialogs.Messages(), ElementsAre("Select a group to export or name one group 'Main'"));
}

namespace {
class CountingRunner : public ExportRunner {
 public:
  explicit CountingRunner(ExportOptionsForm& form) : form_(form) {}
  void Run() override {
    form_.AddList("run " + std::to_string(++runs) + " LType " + std::to_string(form_.LType));
  }
  int runs = 0;

 private:
  ExportOptionsForm& form_;
};
}  // namespace

TEST(ExportSupport, OptionsDialogRunsAndLogsUntilClosed) {
  ExportOptionsForm form;
  CountingRunner runner(form);
  form.plug = &runner;
  test::ScriptedScope dialogs("click cmdOK; optLOD(2)=1; click cmdOK; click cmdCancel");
  form.ShowModal();
  EXPECT_EQ(runner.runs, 2);
  EXPECT_THAT(dialogs.Texts(TranscriptEntry::Kind::Log),
              ElementsAre("run 1 LType 0", "run 2 LType 2"));
  EXPECT_EQ(form.lst.ListIndex(), 1);  // the last line is selected
}

TEST(ExportSupport, AcceptedAsItOpensTheDialogExportsOnceThenCloses) {
  ExportOptionsForm form;
  CountingRunner runner(form);
  form.plug = &runner;
  test::ScriptedScope dialogs;
  form.ShowModal();
  EXPECT_EQ(runner.runs, 1);
  EXPECT_FALSE(form.IsShown());
}

}  // namespace
}  // namespace vlm
