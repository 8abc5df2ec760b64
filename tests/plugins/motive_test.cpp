#include "motive/motive.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <functional>

#include <pugixml.hpp>

#include "motive/motive_dialog.h"
#include "plugins/tether_files.h"
#include "scene/builder.h"
#include "scene/scene_file.h"
#include "support/dialogs.h"
#include "support/stated_values.h"
#include "tether/tether.h"
#include "vlm/contracts/form_catalog.h"
#include "vlm/registry.h"
#include "vlm/run_outcome.h"
#include "vlm/warnings.h"

namespace vlm {
namespace {

using host::HostDocument;
using host::HostNode;
using test::Unwrapped;
using test::Vlmhost;
using test::Wrapped;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// Three top-level groups A, B, C, selected in the scene-graph view in that order.
struct Nodes {
  HostDocument doc;
  std::vector<HostNode*> nodes;
  int32_t slot;
  Nodes() {
    for (const char* name : {"A", "B", "C"})
      nodes.push_back(&host::AddGroup(doc.Root(), name));
    doc.graphSelection.nodes = nodes;
    slot = doc.DefineNodeField("TetherData");
    for (HostNode* n : nodes)
      n->SetField(slot, "old " + n->name);
  }
};

struct Outcome {
  Status status;
  std::vector<std::string> messages;
  std::vector<TranscriptEntry> transcript;
};

Outcome RunMotive(HostDocument& doc, const test::TetherFiles& files, const std::string& script) {
  test::ScriptedScope dialogs(script);
  Motive tool(files.plugins);
  Status status = tool.Plugin_Apply(&doc, &doc, 0, {}, {}, "");
  return {status, dialogs.Messages(), dialogs.Backend().Transcript()};
}

TEST(MotiveDescription, StatesItsValues) {
  test::TetherFiles files;
  Motive tool(files.plugins);
  EXPECT_EQ(test::ReadStated(tool),
            (test::Stated{"Motive Helper", "Ardo Venmark", 3, 0, {7, 8, 1, 999, 0, 999}}));
}

// ---- the dialog
// ----------------------------------------------------------------------------------

TEST(MotiveDialog, ListsAnimationsAndVisibilityParts) {
  test::TetherFiles files;
  motive::frmDialog d(files.plugins);
  d.Load();
  EXPECT_EQ(d.Caption(), "Animation Assistant");
  EXPECT_THAT(d.cmbAnim.Items(), ElementsAre("gear", "flap"));
  EXPECT_THAT(d.lstVis.Items(), ElementsAre("gear", "beacon"));
  EXPECT_EQ(d.Label2.Caption() + d.Label3.Caption() + d.Label4.Caption() + d.Label5.Caption(),
            "Type :Length :Param 1:Param 2:");
  EXPECT_EQ(d.lblMessage.Caption(), "Rename group for animation");
}

TEST(MotiveDialog, ChoosingAnAnimationShowsItAndSelectsItsVisibilityPart) {
  test::TetherFiles files;
  files.WriteModelDef(
      "<ModelInfo><Animation name=\"gear\" type=\"Sim\" length=\"200\" typeParam=\"AutoPlay\" "
      "typeParam2=\"pos\"/><Animation name=\"it's\" length=\"5\"/>"
      "<Animation name=\"Beacon\"/>"
      "<PartInfo><Name>beacon</Name><Visibility/></PartInfo>"
      "<PartInfo><Name>it's</Name><Visibility/></PartInfo>"
      "<PartInfo><Name>gear</Name><Visibility/></PartInfo></ModelInfo>");
  motive::frmDialog d(files.plugins);
  d.Load();
  d.cmbAnim.SetText("gear");
  EXPECT_EQ(d.Label2.Caption(), "Type : Sim");
  EXPECT_EQ(d.Label3.Caption(), "Length : 200");
  EXPECT_EQ(d.Label4.Caption(), "Param 1: AutoPlay");
  EXPECT_EQ(d.Label5.Caption(), "Param 2: pos");
  EXPECT_EQ(d.lstVis.Text(), "gear");

  // A name holding a quote is found; the attributes it lacks leave their labels alone.
  d.cmbAnim.SetText("it's");
  EXPECT_EQ(d.Label2.Caption(), "Type : Sim");
  EXPECT_EQ(d.Label3.Caption(), "Length : 5");
  EXPECT_EQ(d.lstVis.Text(), "it's");

  // Matching is case-sensitive: no part is selected.
  d.cmbAnim.SetText("Beacon");
  EXPECT_EQ(d.lstVis.ListIndex(), -1);
}

TEST(MotiveDialog, RegistryMissGoesToModeldefInThePluginFolder) {
  test::TetherFiles files;
  test::WriteText(files.home.Path() / "machine.reg", "Windows Registry Editor Version 5.00\n");
  test::WriteText(files.plugins / "modeldef.xml",
                  "<ModelInfo><Animation name=\"local\"/></ModelInfo>");
  motive::frmDialog d(files.plugins);
  d.Load();
  EXPECT_THAT(d.cmbAnim.Items(), ElementsAre("local"));
}

TEST(MotiveDialog, WithoutPartsInTheConfigurationListsStayEmpty) {
  test::TetherFiles files;
  files.WriteTetherXml("<tether><platforms/></tether>");
  motive::frmDialog withoutParts(files.plugins);
  withoutParts.Load();
  EXPECT_EQ(withoutParts.cmbAnim.ListCount() + withoutParts.lstVis.ListCount(), 0);
  std::filesystem::remove(files.plugins / "tether.xml");
  motive::frmDialog withoutFile(files.plugins);
  withoutFile.Load();
  EXPECT_EQ(withoutFile.cmbAnim.ListCount() + withoutFile.lstVis.ListCount(), 0);
}

// ---- the run
// ---------------------------------------------------------------------------------------

TEST(Motive, RenamesAndStoresTheVisibilityTag) {
  test::TetherFiles files;
  Nodes s;
  Outcome r = RunMotive(s.doc, files,
                        "cmbAnim=gear; txtName=left; click OKButton;"  // A: tag follows the name
                        "cmbAnim=flap; click OKButton;"                // B: no tag, empty suffix
                        "click OKButton");                             // C: nothing chosen
  ASSERT_EQ(r.status, StatusOk);
  EXPECT_THAT(r.messages, IsEmpty());
  EXPECT_EQ(s.nodes[0]->name, "gear_left");
  EXPECT_EQ(s.nodes[0]->Field(s.slot), Wrapped("<Visibility name=\"gear\" > </Visibility> "));
  EXPECT_EQ(s.nodes[1]->name, "flap_");
  EXPECT_EQ(s.nodes[1]->Field(s.slot), "");
  EXPECT_EQ(s.nodes[2]->name, "C");
  EXPECT_EQ(s.nodes[2]->Field(s.slot), "");
}

TEST(Motive, CancelOnTheSecondOfThreeNodesLeavesItAlone) {
  test::TetherFiles files;
  Nodes s;
  Outcome r = RunMotive(s.doc, files,
                        "cmbAnim=gear; click OKButton; cmbAnim=flap; click CancelButton;"
                        "lstVis=beacon; txtName=x; click OKButton");
  ASSERT_EQ(r.status, StatusOk);
  int dialogs = 0;
  for (const auto& e : r.transcript)
    dialogs += e.kind == TranscriptEntry::Kind::Dialog && e.title == "Animation Assistant";
  EXPECT_EQ(dialogs, 3);
  EXPECT_EQ(s.nodes[0]->name, "gear_");
  EXPECT_EQ(s.nodes[1]->name, "B");
  EXPECT_EQ(s.nodes[1]->Field(s.slot), "old B");
  EXPECT_EQ(s.nodes[2]->name, "C");  // a suffix without an animation renames nothing
  EXPECT_EQ(s.nodes[2]->Field(s.slot), Wrapped("<Visibility name=\"beacon\" > </Visibility> "));
}

// The refusal names what the selection holds instead of a node.
TEST(Motive, NoNodeSelectedIsReportedWithWhatIsSelected) {
  test::TetherFiles files;
  const std::pair<std::function<void(Nodes&)>, std::string> cases[] = {
      {[](Nodes&) {}, "the selection holds nothing"},
      {[](Nodes& s) { s.doc.scriptingSelection.groups = {s.nodes[0]}; },
       "the selection holds 1 group of the group hierarchy"},
      {[](Nodes& s) {
         s.doc.scriptingSelection.objects = {
             {&host::AddBox(*s.nodes[1], "Box", {}, {1, 1, 1}), 0, {}}};
       },
       "the selection holds 1 object"},
  };
  for (const auto& [select, holds] : cases) {
    Nodes s;
    s.doc.graphSelection.nodes.clear();
    select(s);
    ClearRunOutcome();
    Outcome r = RunMotive(s.doc, files, "");
    EXPECT_EQ(r.status, StatusOk);
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_THAT(r.messages[0],
                HasSubstr("Please select a group for the FSX Animation tool as a node"));
    EXPECT_THAT(r.messages[0], HasSubstr(holds));
    EXPECT_TRUE(NothingDoneReason().has_value());
    EXPECT_EQ(s.nodes[0]->Field(s.slot), "old A");
  }
  ClearRunOutcome();
}

// Described without the part definitions file, the dialog has empty lists and a warning that
// names the file; a run still fails on it.
TEST(MotiveCatalog, UnreadablePartDefinitionsLeaveTheListsEmptyWithAWarning) {
  for (const char* damage : {"missing", "damaged"}) {
    test::TetherFiles files;
    const auto file = files.sim / "parts" / "modeldef.xml";
    if (std::string(damage) == "missing")
      std::filesystem::remove(file);
    else
      files.WriteModelDef("<ModelInfo><Animation");
    std::vector<std::string> warnings;
    SetWarningSink([&](const std::string& w) { warnings.push_back(w); });
    Motive tool(files.plugins);
    auto* catalog = dynamic_cast<FormCatalog*>(&tool);
    ASSERT_NE(catalog, nullptr);
    std::unique_ptr<Form> form;
    const Status status = catalog->FormCatalog_Create("frmDialog", form);
    SetWarningSink(nullptr);
    ASSERT_EQ(status, StatusOk) << damage << ": " << LastError().description;
    auto& dialog = static_cast<motive::frmDialog&>(*form);
    EXPECT_EQ(dialog.cmbAnim.ListCount() + dialog.lstVis.ListCount(), 0) << damage;
    ASSERT_EQ(warnings.size(), 1u) << damage;
    EXPECT_THAT(warnings[0], HasSubstr(file.string()));
  }
}

TEST(Motive, UnreadablePartDefinitionsArePluginErrorsNamingTheFile) {
  test::TetherFiles files;
  Nodes s;
  const auto file = files.sim / "parts" / "modeldef.xml";
  files.WriteModelDef("<ModelInfo><Animation name='x'>");
  Outcome damaged = RunMotive(s.doc, files, "");
  EXPECT_EQ(damaged.status, StatusOk);
  ASSERT_EQ(damaged.messages.size(), 1u);
  EXPECT_THAT(damaged.messages[0], HasSubstr("75\r"));
  EXPECT_THAT(damaged.messages[0], HasSubstr(file.string()));
  EXPECT_EQ(damaged.transcript.back().title, "Plugin Error");

  std::filesystem::remove(file);
  Outcome missing = RunMotive(s.doc, files, "");
  ASSERT_EQ(missing.messages.size(), 1u);
  EXPECT_THAT(missing.messages[0], HasSubstr("53\r"));
  EXPECT_THAT(missing.messages[0], HasSubstr(file.string()));
  EXPECT_EQ(s.nodes[0]->name, "A");
  EXPECT_EQ(s.nodes[0]->Field(s.slot), "old A");
}

TEST(Motive, HostileVisibilityNameStaysWellFormed) {
  test::TetherFiles files;
  files.WriteModelDef(
      "<ModelInfo><Animation name=\"a&quot;&lt;&amp;\"/>"
      "<PartInfo><Name>a\"&lt;&amp;</Name><Visibility/></PartInfo></ModelInfo>");
  HostDocument doc;
  HostNode& n = host::AddGroup(doc.Root(), "N");
  doc.graphSelection.nodes = {&n};
  Outcome r = RunMotive(doc, files, "cmbAnim=a\"<&; txtName=1; click OKButton");
  ASSERT_EQ(r.status, StatusOk);
  EXPECT_EQ(n.name, "a\"<&_1");  // a node name is no XML: kept as chosen
  EXPECT_EQ(n.Field(doc.FindNodeField("TetherData")),
            Wrapped("<Visibility name=\"a&quot;&lt;&amp;\" > </Visibility> "));
}

// The simulator reads the stored text by its ISO-8859-1 declaration and must find the very
// name its own Latin-1 part definitions file gives.
TEST(Motive, StoredNameMatchesThePartDefinitionsUnderTheirDeclaration) {
  test::TetherFiles files;
  const std::string modelDef =
      "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"
      "<ModelInfo><PartInfo><Name>caf\xE9</Name><Visibility/></PartInfo></ModelInfo>";
  files.WriteModelDef(modelDef);
  HostDocument doc;
  HostNode& n = host::AddGroup(doc.Root(), "N");
  doc.graphSelection.nodes = {&n};
  Outcome r = RunMotive(doc, files, "lstVis=caf\xC3\xA9; click OKButton");
  ASSERT_EQ(r.status, StatusOk);
  const std::string stored = n.Field(doc.FindNodeField("TetherData"));
  pugi::xml_document simulator, parts;
  ASSERT_TRUE(parts.load_buffer(modelDef.data(), modelDef.size(), pugi::parse_default,
                                pugi::encoding_latin1));
  ASSERT_TRUE(simulator.load_buffer(stored.data(), stored.size(), pugi::parse_default,
                                    pugi::encoding_latin1))
      << stored;
  EXPECT_STREQ(simulator.child("FSMakeMdlData").child("Visibility").attribute("name").value(),
               parts.child("ModelInfo").child("PartInfo").child_value("Name"));
}

// ---- Tether and Motive on the same group ------------------------------------------------------

TEST(MotiveAndTether, EachReplacesTheOthersData) {
  test::TetherFiles files;
  HostDocument doc;
  HostNode& g = host::AddGroup(doc.Root(), "Door");
  host::HostMesh& panel = host::AddBox(g, "Panel", {}, {1, 1, 0.1f});
  doc.scriptingSelection.objects = {{&panel, 0, {}}};
  doc.graphSelection.nodes = {&g};
  auto tether = [&] {
    test::ScriptedScope dialogs("chkNoCrash=1; click OKButton");
    Tether tool(files.plugins);
    ASSERT_EQ(tool.Plugin_Apply(&doc, &doc, 0, {}, {}, ""), StatusOk);
  };
  auto motive = [&] {
    test::ScriptedScope dialogs("lstVis=beacon; click OKButton");
    Motive tool(files.plugins);
    ASSERT_EQ(tool.Plugin_Apply(&doc, &doc, 0, {}, {}, ""), StatusOk);
  };
  const std::string tethered = Wrapped("<NoCrash/>");
  const std::string motivated = Wrapped("<Visibility name=\"beacon\" > </Visibility> ");

  tether();
  const int32_t slot = doc.RootNode()->FindCustomField("TetherData");
  EXPECT_EQ(g.AsNode().GetCustomField(slot), tethered);  // seen through the node view
  motive();
  EXPECT_EQ(g.AsGroup().GetCustomField(slot), motivated);  // seen through the group view
  tether();
  EXPECT_EQ(g.AsNode().GetCustomField(slot), tethered);
  EXPECT_EQ(doc.NodeFieldNames(), std::vector<std::string>{"TetherData"});  // one field
}

// ---- the program
// ---------------------------------------------------------------------------------

TEST(MotiveProgram, RenamesTheWingOfTheExampleScene) {
  test::TempHome home;
  test::UseExamples(home, "libmotive.so");
  const std::string out = (home.Path() / "out.json").string();
  auto r = Vlmhost({"run", "VLMPlugin9.Motive", std::string(VLM_TEST_EXAMPLES_DIR) + "/hangar.json",
                    "--select", "node:Hangar/Wing", "--ui",
                    "cmbAnim=flap; txtName=left; click OKButton", "-o", out});
  ASSERT_EQ(r.status, 0) << r.output;
  auto doc = host::LoadScene(out);
  std::string problem;
  HostNode* wing = doc->FindGroup("Hangar/flap_left", &problem);
  ASSERT_NE(wing, nullptr) << problem;
  EXPECT_EQ(wing->Field(doc->FindNodeField("TetherData")),
            Wrapped("<Visibility name=\"flap\" > </Visibility> "));
}

}  // namespace
}  // namespace vlm
