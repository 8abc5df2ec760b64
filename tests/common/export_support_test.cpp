#include "vlm/export_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "scene/builder.h"
#include "support/dialogs.h"

namespace vlm {
namespace {

using ::testing::ElementsAre;

TEST(ExportSupport, UnitScaleFollowsTheDocumentUnits) {
  EXPECT_EQ(UnitScaleFor(0, 7.0f), 1.0f);
  EXPECT_EQ(UnitScaleFor(1, 7.0f), 0.01f);
  EXPECT_EQ(UnitScaleFor(2, 7.0f), 0.3048f);
  EXPECT_EQ(UnitScaleFor(9, 7.0f), 7.0f);  // unknown codes keep the previous scale
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
