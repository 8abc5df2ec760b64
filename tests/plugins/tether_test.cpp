#include "tether/tether.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <pugixml.hpp>

#include "plugins/tether_files.h"
#include "scene/builder.h"
#include "scene/scene_file.h"
#include "support/dialogs.h"
#include "support/expect_near.h"
#include "support/stated_values.h"
#include "tether/tether_dialog.h"
#include "vlm/registry.h"
#include "vlm/warnings.h"

namespace vlm {
namespace {

using test::ExpectNear;

using host::HostDocument;
using host::HostMesh;
using host::HostNode;
using test::Unwrapped;
using test::Vlmhost;
using test::Wrapped;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// A scripted back-end that also hands every dialog to `inspect` as it is shown.
class Inspecting : public ScriptedDialogs {
 public:
  Inspecting(const std::string& script, std::function<void(Form&)> inspect)
      : ScriptedDialogs(ParseDialogScript(script)), inspect_(std::move(inspect)) {}
  void RunModal(Form& form) override {
    inspect_(form);
    ScriptedDialogs::RunModal(form);
  }

 private:
  std::function<void(Form&)> inspect_;
};

// Group "Part" holding a box; the box, a top face (normal +y) and a tilted face.
struct Scene {
  HostDocument doc;
  HostNode* part;
  HostMesh* box;
  int32_t slot;
  Scene() {
    part = &host::AddGroup(doc.Root(), "Part", {10, 0, 0});
    box = &host::AddBox(*part, "Box", {0, 1, 0}, {1, 1, 2});
    slot = doc.DefineNodeField("TetherData");
  }
  int32_t FaceFacing(Vec3 normal) {
    for (size_t f = 0; f < box->FaceCount(); ++f)
      if (Length(box->FaceNormal(f) - normal) < 1e-4f) return static_cast<int32_t>(f);
    return -1;
  }
  void SelectObject() { doc.scriptingSelection.objects = {{box, 0, {}}}; }
  void SelectFaces(std::vector<int32_t> faces) {
    doc.scriptingSelection.objects = {{box, 1, std::move(faces)}};
  }
  std::vector<HostNode*> Marks() {
    std::vector<HostNode*> out;
    for (auto& c : part->children)
      if (c->name == "TetherMark") out.push_back(c.get());
    return out;
  }
};

struct Outcome {
  Status status;
  std::vector<std::string> messages;
  std::optional<std::string> scriptFailure;
};

Outcome RunTether(Scene& s, const test::TetherFiles& files, const std::string& script) {
  test::ScriptedScope dialogs(script);
  Tether tool(files.plugins);
  Status status = tool.Plugin_Apply(&s.doc, &s.doc, 0, {}, {}, "");
  return {status, dialogs.Messages(), dialogs.Backend().Failure()};
}

TEST(TetherDescription, StatesItsValues) {
  test::TetherFiles files;
  Tether tool(files.plugins);
  EXPECT_EQ(test::ReadStated(tool),
            (test::Stated{"Tether Tool", "Ardo Venmark", 3, 0, {7, 8, 1, 1, 0, 1}}));
}

// ---- the attachment text ----------------------------------------------------------------------

struct TextCase {
  const char* what;
  std::string script;
  std::string text;  // the attachment text; "" stores the empty text
};

class TetherText : public ::testing::TestWithParam<TextCase> {};

TEST_P(TetherText, IsBuiltInItsOrderAndStoredOnTheObjectsGroup) {
  const TextCase& c = GetParam();
  test::TetherFiles files;
  Scene s;
  s.SelectObject();
  s.part->SetField(s.slot, "earlier");
  Outcome r = RunTether(s, files, c.script + "; click OKButton");
  ASSERT_EQ(r.status, StatusOk);
  EXPECT_THAT(r.messages, IsEmpty());
  EXPECT_FALSE(r.scriptFailure) << *r.scriptFailure;
  EXPECT_THAT(s.Marks(), IsEmpty());
  const std::string stored = s.part->Field(s.slot);
  if (c.text.empty()) {
    EXPECT_EQ(stored, "");
  } else {
    EXPECT_EQ(Unwrapped(stored), c.text);
    pugi::xml_document doc;
    EXPECT_TRUE(doc.load_string(stored.c_str())) << stored;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Combinations, TetherText,
    ::testing::Values(
        TextCase{"effect with effect and GUID",
                 "txtName=nav; chk(0)=1; lstEffect=smoke.fx; txtEffect=Intensity=5; txtGuid={1-2}",
                 "<Attachpoint name=\"attachpt_nav\"><AttachedObject> <Effect "
                 "effectName=\"smoke.fx\" effectParams=\"Intensity=5\"/> </AttachedObject>"
                 "<AttachedObject> <LibraryObject name=\"{1-2}\" scale=\"1.0\"/> "
                 "</AttachedObject></Attachpoint>"},
        TextCase{"effect without effect or GUID", "txtName=nav; chk(0)=1",
                 "<Attachpoint name=\"attachpt_nav\"></Attachpoint>"},
        TextCase{"library object with an effect chosen",
                 "txtName=x; chk(1)=1; lstEffect=landing.fx; txtGuid=G",
                 "<Attachpoint name=\"attachpt_x\"><AttachedObject> <Effect "
                 "effectName=\"landing.fx\" effectParams=\"\"/> </AttachedObject>"
                 "<AttachedObject> <LibraryObject name=\"G\" scale=\"1.0\"/> "
                 "</AttachedObject></Attachpoint>"},
        TextCase{"everything else",
                 "txtName=p; chk(2)=1; lstVis=beacon; chk(3)=1; lstMouseR=handle; chk(4)=1; "
                 "lstPlatform=GRASS; chkNoCrash=1",
                 "<Visibility name=\"beacon\" > </Visibility> <MouseRect name=\"handle\"> "
                 "</MouseRect> <Platform name=\"platform_p\" surfaceType=\"GRASS\" > </Platform> "
                 "<NoCrash/>"},
        TextCase{"checked with nothing chosen", "chk(2)=1; chk(3)=1; chk(4)=1", ""},
        TextCase{"chosen but not checked", "txtGuid=G; lstVis=gear; lstPlatform=WATER", ""},
        TextCase{"empty clears the field",
                 "chk(0)=1; chk(2)=1; lstVis=gear; chkNoCrash=1; chkEmpty=1", ""}),
    [](const auto& info) {
      std::string name;
      for (const char* p = info.param.what; *p; ++p)
        if (std::isalnum(static_cast<unsigned char>(*p))) name += *p;
      return name;
    });

TEST(Tether, HostileTextStillMakesWellFormedXml) {
  test::TetherFiles files;
  files.WriteTetherXml(
      std::string(test::kTetherXml)
          .replace(std::string(test::kTetherXml).find("CONCRETE"), 8, "a&quot;b&lt;c&amp;"));
  files.WriteModelDef(
      "<ModelInfo><PartInfo><Name>v\"&lt;'&amp;</Name><Visibility/></PartInfo>"
      "</ModelInfo>");
  test::WriteText(files.sim / "effects" / "x&\"<y>.fx", "");
  const std::string hostile = "a\"b<c>d&e'f\tg\nhi";
  Scene s;
  s.SelectObject();
  Outcome r = RunTether(
      s, files,
      "txtName=" + hostile +
          "; chk(0)=1; lstEffect=x&\"<y>.fx; txtEffect=\"/><Evil/>; "
          "txtGuid=]]>&#0; chk(2)=1; lstVis=v\"<'&; chk(4)=1; lstPlatform=a\"b<c&; click OKButton");
  ASSERT_EQ(r.status, StatusOk);
  ASSERT_FALSE(r.scriptFailure) << *r.scriptFailure;
  const std::string stored = s.part->Field(s.slot);
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(stored.c_str())) << stored;
  pugi::xml_node data = doc.child("FSMakeMdlData");
  EXPECT_STREQ(data.child("Attachpoint").attribute("name").value(), "attachpt_a\"b<c>d&e'f\tg\nhi");
  pugi::xml_node effect = data.child("Attachpoint").child("AttachedObject").child("Effect");
  EXPECT_STREQ(effect.attribute("effectName").value(), "x&\"<y>.fx");
  EXPECT_STREQ(effect.attribute("effectParams").value(), "\"/><Evil/>");
  std::vector<pugi::xml_node> attached;
  for (pugi::xml_node a : data.child("Attachpoint").children("AttachedObject"))
    attached.push_back(a);
  ASSERT_EQ(attached.size(), 2u);
  EXPECT_STREQ(attached[1].child("LibraryObject").attribute("name").value(), "]]>&#0");
  EXPECT_STREQ(data.child("Visibility").attribute("name").value(), "v\"<'&");
  EXPECT_STREQ(data.child("Platform").attribute("surfaceType").value(), "a\"b<c&");
  EXPECT_FALSE(doc.find_node([](pugi::xml_node n) { return std::string(n.name()) == "Evil"; }));
}

// A character XML cannot hold at all is refused at OK, naming its field; the dialog stays
// open and takes the mended text.
TEST(Tether, TextXmlCannotHoldIsRefusedNamingItsField) {
  test::TetherFiles files;
  const std::pair<std::string, std::string> cases[] = {
      {"txtName=a\xEF\xBF\xBF; chk(4)=1; lstPlatform=GRASS",
       "txtName (Name) holds U+FFFF (character 2)"},
      {"chk(0)=1; lstEffect=landing.fx; txtEffect=\xEF\xBF\xBE",
       "txtEffect (Params) holds U+FFFE (character 1)"},
      {"chk(1)=1; txtGuid=g\x01", "txtGuid (GUID) holds U+0001 (character 2)"},
      {"chk(1)=1; txtGuid=g\x1F", "txtGuid (GUID) holds U+001F (character 2)"},
  };
  for (const auto& [entries, named] : cases) {
    Scene s;
    s.SelectObject();
    Outcome r = RunTether(s, files,
                          entries +
                              "; click OKButton; txtName=n; txtEffect=e; txtGuid=g; "
                              "click OKButton");
    ASSERT_EQ(r.status, StatusOk) << named;
    EXPECT_FALSE(r.scriptFailure) << *r.scriptFailure;
    ASSERT_EQ(r.messages.size(), 1u) << named;
    EXPECT_THAT(r.messages[0], HasSubstr(named));
    const std::string stored = s.part->Field(s.slot);
    pugi::xml_document doc;
    EXPECT_TRUE(doc.load_string(stored.c_str())) << stored;
    EXPECT_EQ(stored.find("&#6553"), std::string::npos) << stored;
    EXPECT_EQ(stored.find('\x01'), std::string::npos) << stored;
  }
}

// ---- the dialog
// ----------------------------------------------------------------------------------

TEST(TetherDialog, ListsComeFromTheConfiguration) {
  test::TetherFiles files;
  tether::frmDialog dialog(files.plugins);
  dialog.Load();
  EXPECT_EQ(dialog.Caption(), "Attach Tool");
  EXPECT_THAT(dialog.lstPlatform.Items(), ElementsAre("CONCRETE", "GRASS", "WATER"));
  EXPECT_THAT(dialog.lstEffect.Items(), ElementsAre("beacon.FX", "landing.fx", "smoke.fx"));
  EXPECT_THAT(dialog.lstVis.Items(), ElementsAre("gear", "beacon"));
  EXPECT_THAT(dialog.lstMouseR.Items(), ElementsAre("beacon", "beacon", "handle"));
  EXPECT_EQ(dialog.lblSlide.Caption(), "Offset from Geometry : 0.0");
  EXPECT_EQ(dialog.lblMessage.Caption(), "Adding New Attachment to Selected Face");
  EXPECT_EQ(dialog.sldDist.Min(), -1000);
  EXPECT_EQ(dialog.sldDist.Max(), 1000);
}

TEST(TetherDialog, MissingOrDamagedFilesLeaveListsEmpty) {
  std::vector<std::string> warnings;
  SetWarningSink([&](const std::string& m) { warnings.push_back(m); });
  {  // registry values missing: effects and parts unresolved, each named in a warning, and
     // platforms still read
    test::TetherFiles files;
    test::WriteText(files.home.Path() / "machine.reg", "Windows Registry Editor Version 5.00\n");
    tether::frmDialog dialog(files.plugins);
    dialog.Load();
    EXPECT_EQ(dialog.lstPlatform.ListCount(), 3);
    EXPECT_EQ(dialog.lstEffect.ListCount() + dialog.lstVis.ListCount(), 0);
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_THAT(warnings[0],
                HasSubstr("\"SetupPath\" under HKEY_LOCAL_MACHINE\\SOFTWARE\\Test\\Sim ("));
    EXPECT_THAT(warnings[1],
                HasSubstr("\"SDKPath\" under HKEY_LOCAL_MACHINE\\SOFTWARE\\Test\\Sim SDK"));
    warnings.clear();
  }
  {  // damaged part definitions file: named in a warning
    test::TetherFiles files;
    files.WriteModelDef("<ModelInfo>");
    tether::frmDialog dialog(files.plugins);
    dialog.Load();
    EXPECT_EQ(dialog.lstVis.ListCount() + dialog.lstMouseR.ListCount(), 0);
    EXPECT_EQ(dialog.lstEffect.ListCount(), 3);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_THAT(warnings[0], HasSubstr("modeldef.xml"));
  }
  {  // damaged tether.xml: named in a warning; no tether.xml: silent
    test::TetherFiles files;
    files.WriteTetherXml("<tether><platforms>");
    tether::frmDialog damaged(files.plugins);
    damaged.Load();
    EXPECT_EQ(damaged.lstPlatform.ListCount(), 0);
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_THAT(warnings[1], HasSubstr("tether.xml"));
    std::filesystem::remove(files.plugins / "tether.xml");
    tether::frmDialog missing(files.plugins);
    missing.Load();
    EXPECT_EQ(warnings.size(), 2u);
  }
  SetWarningSink(nullptr);
}

TEST(TetherDialog, CheckBoxesTabsAndSlider) {
  test::TetherFiles files;
  tether::frmDialog d(files.plugins);
  d.Load();
  auto shownPanels = [&] {
    std::vector<int> shown;
    for (int i = 0; i < d.pic.Count(); ++i) {
      EXPECT_EQ(d.pic(i).Visible(), d.pic(i).Left() == 180) << i;
      if (d.pic(i).Visible())
        shown.push_back(i);
      else
        EXPECT_EQ(d.pic(i).Left(), -20000);
    }
    return shown;
  };
  EXPECT_THAT(shownPanels(), ElementsAre(0));

  d.chkEmpty.SetValue(1);
  d.chk(3).SetEnabled(true);  // a ticked box selects its tab and unticks Empty
  d.chk(3).SetValue(1);
  EXPECT_EQ(d.tabs1.SelectedIndex(), 4);
  EXPECT_THAT(shownPanels(), ElementsAre(3));
  EXPECT_EQ(d.chkEmpty.Value(), 0);
  EXPECT_TRUE(d.chkNoCrash.Enabled());

  d.chkNoCrash.SetValue(1);
  d.chkEmpty.SetValue(1);  // Empty unticks and disables everything
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(d.chk(i).Value(), 0);
    EXPECT_FALSE(d.chk(i).Enabled());
  }
  EXPECT_EQ(d.chkNoCrash.Value(), 0);
  EXPECT_FALSE(d.chkNoCrash.Enabled());
  d.chkEmpty.SetValue(0);
  EXPECT_TRUE(d.chk(0).Enabled() && d.chkNoCrash.Enabled());

  d.tabs1.SetSelectedIndex(2);
  EXPECT_THAT(shownPanels(), ElementsAre(1));

  for (auto [value, caption] :
       {std::pair{150, "1.50"}, {-5, "-0.05"}, {-1000, "-10.00"}, {7, "0.07"}, {0, "0.00"}}) {
    d.sldDist.SetValue(value == 0 ? 1 : 0);
    d.sldDist.SetValue(value);
    EXPECT_EQ(d.lblSlide.Caption(), std::string("Offset from Geometry : ") + caption);
  }
}

// ---- the attachment group --------------------------------------------------------------------

TEST(Tether, OneFaceGetsAMarkedGroupAlongItsNormal) {
  test::TetherFiles files;
  Scene s;
  const int32_t top = s.FaceFacing({0, 1, 0});
  s.SelectFaces({top});
  Outcome r = RunTether(s, files, "sldDist=150; chk(2)=1; lstVis=gear; click OKButton");
  ASSERT_EQ(r.status, StatusOk);
  ASSERT_THAT(r.messages, IsEmpty());

  auto marks = s.Marks();
  ASSERT_EQ(marks.size(), 1u);
  HostNode& g = *marks[0];
  // The top face's centre is (0, 2, 0) in Part's frame; 1.5 units up from it.
  ExpectNear(g.position, {0, 3.5f, 0});
  ExpectNear(g.forward, {0, 0, 1});
  ExpectNear(g.up, {0, 1, 0});
  EXPECT_EQ(Unwrapped(g.Field(s.slot)), "<Visibility name=\"gear\" > </Visibility> ");
  EXPECT_EQ(s.part->Field(s.slot), "");  // the object's group is left alone

  ASSERT_EQ(g.meshes.size(), 1u);
  HostMesh& m = *g.meshes[0];
  EXPECT_EQ(m.name, "TetherMark");
  EXPECT_EQ(m.vertices, (std::vector<Vec3>{{0, 0.1f, 0},
                                           {0.05f, 0, 0.05f},
                                           {0.05f, 0, -0.05f},
                                           {-0.05f, 0, -0.05f},
                                           {-0.05f, 0, 0.05f}}));
  EXPECT_EQ(m.uvs, (std::vector<Vec2>{{0, 0}}));
  EXPECT_EQ(m.smoothingAngle, 60);
  const std::vector<std::vector<int32_t>> corners = {
      {3, 2, 1}, {1, 2, 0}, {2, 3, 0}, {3, 4, 0}, {4, 1, 0}};
  ASSERT_EQ(m.FaceCount(), corners.size());
  for (size_t f = 0; f < corners.size(); ++f) {
    std::vector<int32_t> got;
    for (const auto& p : m.Points(f))
      got.push_back(p.vertex);
    EXPECT_EQ(got, corners[f]) << f;
    EXPECT_EQ(m.FaceMaterial(f), m.FaceMaterial(0));
  }
  host::HostMaterial& mat = *m.FaceMaterial(0);
  EXPECT_EQ(mat.ambientLevel, 50);
  EXPECT_EQ(mat.translucency, 50);
  EXPECT_EQ(mat.diffuseMap + mat.bumpMap + mat.detailMap, "");
  EXPECT_NEAR(mat.diffuse.r * 255, 247, 1e-3);
  EXPECT_NEAR(mat.diffuse.g * 255, 7, 1e-3);
  EXPECT_NEAR(mat.diffuse.b * 255, 255, 1e-3);
}

TEST(Tether, MarkerStandsOnTheFaceWhateverItsDirection) {
  // A face whose normal has nx = -nz: the up axis must still be the normal.
  test::TetherFiles files;
  HostDocument doc;
  HostNode& g = host::AddGroup(doc.Root(), "G");
  const float h = std::sqrt(0.5f);
  // A square in the plane x = z, facing (h, 0, -h).
  HostMesh& wall = host::AddPolygonMesh(g, "Wall", {{0, 0, 0}, {0, 1, 0}, {h, 1, h}, {h, 0, h}});
  Vec3 n = wall.FaceNormal(0);
  ASSERT_NEAR(n.x + n.z, 0, 1e-6f);
  ASSERT_GT(std::abs(n.x), 0.5f);
  doc.scriptingSelection.objects = {{&wall, 1, {0}}};
  test::ScriptedScope dialogs("sldDist=100; click OKButton");
  Tether tool(files.plugins);
  ASSERT_EQ(tool.Plugin_Apply(&doc, &doc, 0, {}, {}, ""), StatusOk);
  ASSERT_EQ(g.children.size(), 1u);
  HostNode& mark = *g.children[0];
  ExpectNear(mark.up, n);
  EXPECT_NEAR(Dot(mark.forward, n), 0, 1e-6f);
  ExpectNear(mark.position, Vec3{h / 2, 0.5f, h / 2} + n);
}

TEST(Tether, TwoFacesOrAWholeObjectUseTheObjectsGroup) {
  test::TetherFiles files;
  Scene s;
  s.SelectFaces({0, 1});
  std::vector<std::pair<std::string, bool>> seen;  // message, slider visible
  auto scope = std::make_shared<Inspecting>("chkNoCrash=1; click OKButton", [&](Form& f) {
    auto& d = dynamic_cast<tether::frmDialog&>(f);
    seen.emplace_back(d.lblMessage.Caption(), d.sldDist.Visible() || d.lblSlide.Visible());
  });
  auto previous = SetDialogBackend(scope);
  Tether tool(files.plugins);
  Status status = tool.Plugin_Apply(&s.doc, &s.doc, 0, {}, {}, "");
  SetDialogBackend(previous);
  ASSERT_EQ(status, StatusOk);
  EXPECT_THAT(seen,
              ElementsAre(std::pair{std::string("Applying Changes to Active Shape - Box"), false}));
  EXPECT_THAT(s.Marks(), IsEmpty());
  EXPECT_EQ(Unwrapped(s.part->Field(s.slot)), "<NoCrash/>");
}

// ---- nothing selected, Cancel, errors
// ------------------------------------------------------------

TEST(Tether, NothingSelectedOrCancelChangesNothing) {
  test::TetherFiles files;
  {
    Scene s;
    s.doc.scriptingSelection.groups = {s.part};  // a group alone is not enough
    Outcome r = RunTether(s, files, "");
    EXPECT_EQ(r.status, StatusOk);
    EXPECT_THAT(r.messages,
                ElementsAre("Please select an Shape or a face for the Attachment tool"));
    EXPECT_FALSE(r.scriptFailure);
  }
  {
    Scene s;
    s.SelectFaces({s.FaceFacing({0, 1, 0})});
    s.part->SetField(s.slot, "kept");
    Outcome r = RunTether(s, files, "chkNoCrash=1; click CancelButton");
    EXPECT_EQ(r.status, StatusOk);
    EXPECT_THAT(r.messages, IsEmpty());
    EXPECT_THAT(s.Marks(), IsEmpty());
    EXPECT_EQ(s.part->Field(s.slot), "kept");
  }
}

TEST(Tether, DefinesTheFieldAndSetsTheHelpFile) {
  test::TetherFiles files;
  HostDocument doc;
  HostNode& g = host::AddGroup(doc.Root(), "G");
  HostMesh& box = host::AddBox(g, "B", {}, {1, 1, 1});
  doc.scriptingSelection.objects = {{&box, 0, {}}};
  test::ScriptedScope dialogs("chkNoCrash=1; click OKButton");
  Tether tool(files.plugins);
  ASSERT_EQ(tool.Plugin_Apply(&doc, &doc, 0, {}, {}, ""), StatusOk);
  const int32_t slot = doc.FindNodeField("TetherData");
  ASSERT_GE(slot, 0);
  EXPECT_EQ(Unwrapped(g.Field(slot)), "<NoCrash/>");
  EXPECT_EQ(HelpFile(), files.plugins.string() + "\\vlmplugins.chm");
}

TEST(Tether, HostErrorsAreReportedAsPluginError) {
  test::TetherFiles files;
  Scene s;
  s.box->AddFace();  // a face without points has no centre: 0 / 0, an overflow
  s.SelectFaces({static_cast<int32_t>(s.box->FaceCount() - 1)});
  test::ScriptedScope dialogs("click OKButton");
  Tether tool(files.plugins);
  ASSERT_EQ(tool.Plugin_Apply(&s.doc, &s.doc, 0, {}, {}, ""), StatusOk);
  ASSERT_EQ(dialogs.Backend().Transcript().back().kind, TranscriptEntry::Kind::MessageBox);
  EXPECT_EQ(dialogs.Backend().Transcript().back().title, "Plugin Error");
  EXPECT_EQ(dialogs.Backend().Transcript().back().text, "6\rOverflow");
  EXPECT_THAT(s.Marks(), IsEmpty());
}

// ---- the program
// -----------------------------------------------------------------------------------

TEST(TetherProgram, AttachesAnEffectOnTheExampleScene) {
  test::TempHome home;
  test::UseExamples(home, "libtether.so");
  const std::string out = (home.Path() / "out.json").string();
  auto r = Vlmhost({"run", "VLMPlugin9.Tether", std::string(VLM_TEST_EXAMPLES_DIR) + "/hangar.json",
                    "--select", "faces:Hangar/Shell:2", "--ui",
                    "txtName=beacon; chk(0)=1; lstEffect=fx_beacon_red.fx; sldDist=50; "
                    "chk(4)=1; lstPlatform=CONCRETE; click OKButton",
                    "-o", out});
  ASSERT_EQ(r.status, 0) << r.output;
  auto doc = host::LoadScene(out);
  std::string problem;
  HostNode* mark = doc->FindGroup("Hangar/TetherMark", &problem);
  ASSERT_NE(mark, nullptr) << problem;
  ExpectNear(mark->position, {0, 4.5f, 0});
  EXPECT_EQ(Unwrapped(mark->Field(doc->FindNodeField("TetherData"))),
            "<Attachpoint name=\"attachpt_beacon\"><AttachedObject> <Effect "
            "effectName=\"fx_beacon_red.fx\" effectParams=\"\"/> </AttachedObject></Attachpoint>"
            "<Platform name=\"platform_beacon\" surfaceType=\"CONCRETE\" > </Platform> ");
}

}  // namespace
}  // namespace vlm
