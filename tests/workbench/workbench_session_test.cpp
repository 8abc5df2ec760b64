// The workbench's session without a window: its runs, undo and redo give back the documents
// they should; the properties panel's view of the picks, the plug-ins the picks do not suit,
// and the session's own edits.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>

#include "prep/prep_names.h"
#include "run/run_request.h"
#include "scene/builder.h"
#include "scene/document.h"
#include "support/cli_fixture.h"
#include "vlm/error.h"
#include "vlm/files.h"
#include "workbench/pick_properties.h"
#include "workbench/view_picks.h"
#include "workbench/workbench_session.h"

namespace vlm {
namespace {

// A run through the session replaces the document with what the command line writes; undo
// gives back the text before it, redo the text after; a refused run changes nothing.
using WorkbenchSession = test::Cli;

TEST_F(WorkbenchSession, RunsUndoAndRedoGiveBackTheirDocuments) {
  workbench::Session session;
  session.Open(std::string(VLM_TEST_EXAMPLES_DIR) + "/hangar.json");
  const std::string opened = session.Text();
  host::RunRequest request;
  request.progId = "VLMPlugin9.Obverse";
  request.selections = {"group:Hangar/Wing"};
  request.ui = "input X";
  request.fresh = true;

  std::vector<std::string> logged;
  const host::RunOutcome done =
      session.Run(request, {[&](const std::string& l) { logged.push_back(l); }, {}});
  ASSERT_TRUE(done.Done()) << (done.messages.empty() ? "" : done.messages[0].Line());
  ASSERT_TRUE(done.items);
  EXPECT_FALSE(done.items->created.empty()) << "the mirrored copy is a new group";
  EXPECT_EQ(logged, done.log);
  const std::string after = session.Text();
  EXPECT_NE(after, opened);
  EXPECT_TRUE(session.Dirty());
  EXPECT_EQ(session.UndoLabel(), "VLMPlugin9.Obverse (4 made)");

  session.Undo();
  EXPECT_EQ(session.Text(), opened);
  EXPECT_FALSE(session.Dirty());
  session.Redo();
  EXPECT_EQ(session.Text(), after);

  request.selections = {"group:Hangar/Nowhere"};
  const host::RunOutcome refused = session.Run(request);
  EXPECT_EQ(refused.kind, host::RunKind::BadInput);
  ASSERT_FALSE(refused.messages.empty());
  EXPECT_NE(refused.messages[0].text.find("Nowhere"), std::string::npos);
  EXPECT_EQ(session.Text(), after) << "a refused run leaves the document as it was";
  EXPECT_TRUE(session.CanUndo());
  EXPECT_FALSE(session.CanRedo());
}

// A run on an imported model not saved yet names files from the model's folder, as the view
// draws its textures from there and a save takes its names along from there: a texture given
// from the current folder is named as the file beside the model.
TEST_F(WorkbenchSession, ARunOnAnImportedModelNamesFilesFromTheModelsFolder) {
  namespace fs = std::filesystem;
  const fs::path model = fs::path(VLM_TEST_MODELS_DIR) / "glTF2/BoxTextured-glTF/BoxTextured.gltf";
  workbench::Session session;
  std::ostringstream log;
  session.Import(model, {}, log);
  ASSERT_EQ(session.TextureFolder(), model.parent_path());
  host::RunRequest request;
  request.prepStep = "materials";
  // (Renamed too: the texture beside the model is the material's already.)
  request.prepOptions = {
      "texture=" + fs::relative(model.parent_path() / "CesiumLogoFlat.png").generic_string(),
      "rename=box"};
  const host::RunOutcome outcome = session.Run(request);
  ASSERT_EQ(outcome.kind, host::RunKind::Done)
      << (outcome.messages.empty() ? "" : outcome.messages[0].Line());
  ASSERT_FALSE(session.Document().Materials().empty());
  for (const auto& material : session.Document().Materials())
    EXPECT_EQ(material->diffuseMap, "CesiumLogoFlat.png") << material->name;
  EXPECT_TRUE(session.UndoLabel().starts_with("materials (")) << session.UndoLabel();
}

// The properties panel's view of the picks: one group with its frame, one object with its
// group, some faces with the vertices they use, several items with what they share; the
// materials of the picked faces with their textures found or not, and the node fields (OBJ8's
// lines read as lines) of the picked group or of the group holding the picked object.
TEST(WorkbenchProperties, ShowWhatIsPickedAndWhatSeveralPicksShare) {
  using Kind = workbench::PickProperties::Kind;
  const std::filesystem::path examples = VLM_TEST_EXAMPLES_DIR;
  workbench::Session session;
  session.Open(examples / "hangar.json");
  host::HostDocument& document = session.Document();
  std::string problem;
  const int32_t obj8 = document.DefineNodeField("OBJ8");
  const int32_t tether = document.FindNodeField("TetherData");
  document.FindGroup("Hangar/Wing", &problem)
      ->SetField(obj8,
                 "ANIM_rotate 0 1 0 0 90 0 1 flap\n"
                 "ANIM_hide 0 0 gear");
  document.FindGroup("Hangar/Wing", &problem)->SetField(tether, "mark");
  document.FindGroup("Hangar", &problem)->SetField(tether, "mark");
  document.FindMaterial("Glass")->diffuseMap = "nowhere.bmp";

  struct Case {
    std::vector<std::string> picks;
    Kind kind;
    std::string heading;
    std::optional<std::string> name, group;
    std::string path;
    bool frame;
    size_t objects, vertices, faces;
    std::vector<std::string> materials;  // "NAME:faces:texture found (yes/no)"
    std::vector<std::string> fields;     // "NAME" or "NAME (lines)"
    std::string fieldsOf;
  };
  const Case cases[] = {
      {{}, Kind::Nothing, "Nothing picked", {}, {}, "", false, 0, 0, 0, {}, {}, ""},
      {{"group:Hangar/Wing"},
       Kind::Group,
       "Group Wing",
       "Wing",
       "Hangar",
       "Hangar/Wing",
       true,
       2,
       16,
       12,
       {"Glass:6:no", "Paint:6:yes"},
       {"TetherData", "OBJ8 (lines)"},
       "Hangar/Wing"},
      {{"object:Hangar/Wing/Spar"},
       Kind::Object,
       "Object Spar",
       "Spar",
       "Hangar/Wing",
       "Hangar/Wing/Spar",
       false,
       1,
       8,
       6,
       {"Paint:6:yes"},
       {"TetherData", "OBJ8 (lines)"},
       "Hangar/Wing"},
      // Two faces that share an edge use six corners of the box.
      {{"faces:Hangar/Wing/Spar:0,2"},
       Kind::Faces,
       "2 faces of Spar",
       "Spar",
       "Hangar/Wing",
       "Hangar/Wing/Spar",
       false,
       1,
       6,
       2,
       {"Paint:2:yes"},
       {"TetherData", "OBJ8 (lines)"},
       "Hangar/Wing"},
      // Different names and groups: none shown; only the field both groups hold alike.
      {{"object:Hangar/Wing/Spar", "object:Hangar/Shell"},
       Kind::Several,
       "2 items: 2 objects; 12 faces in all",
       std::nullopt,
       std::nullopt,
       "",
       false,
       2,
       16,
       12,
       {"Aluminium:6:yes", "Paint:6:yes"},
       {"TetherData"},
       ""},
      {{"group:Hangar/Door", "group:Hangar/Sign"},
       Kind::Several,
       "2 items: 2 groups (2 objects); 12 faces in all",
       std::nullopt,
       "Hangar",
       "",
       false,
       2,
       16,
       12,
       {"Door:6:yes", "Sign:6:yes"},
       {},
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.picks.empty() ? "nothing" : c.picks[0]);
    const host::PickedItems picked = host::SelectByTexts(document, c.picks);
    const workbench::PickProperties p =
        workbench::PropertiesOf(document, picked, session.TextureFolder());
    EXPECT_EQ(p.kind, c.kind);
    EXPECT_EQ(p.heading, c.heading);
    EXPECT_EQ(p.name, c.name);
    EXPECT_EQ(p.path, c.path);
    if (!c.picks.empty()) {
      EXPECT_EQ(p.group, c.group);
    }
    EXPECT_EQ(p.selectText, host::SelectCommandLine(host::SelectTexts(picked)));
    EXPECT_EQ(p.frame.has_value(), c.frame);
    if (c.frame) {
      EXPECT_EQ(p.frame->position, (Vec3{3, 1.5f, 0}));
      EXPECT_NEAR(p.frame->forward.x, 0.258819f, 1e-6f);
    }
    EXPECT_EQ(p.objects, c.objects);
    EXPECT_EQ(p.vertices, c.vertices);
    EXPECT_EQ(p.faces, c.faces);
    std::vector<std::string> materials, fields;
    for (const auto& m : p.materials) {
      materials.push_back(m.name + ":" + std::to_string(m.faces) + ":" +
                          (m.textureFound ? "yes" : "no"));
      EXPECT_EQ(m.textureFile.parent_path(), examples) << m.name;
      EXPECT_EQ(m.fields.size(), 4u) << m.name << ": its four material fields";
    }
    for (const auto& f : p.fields)
      fields.push_back(f.name + (f.lines ? " (lines)" : ""));
    EXPECT_EQ(materials, c.materials);
    EXPECT_EQ(fields, c.fields);
    EXPECT_EQ(p.fieldsOf, c.fieldsOf);
  }
}

// A plug-in's menu entry is greyed out, saying why, when the picks are not of a kind it works
// on or are more than it takes; the keys that pick in a mode are named where there are some.
TEST(WorkbenchProperties, PluginsSayWhyThePicksDoNotSuitThem) {
  workbench::Session session;
  session.Open(std::string(VLM_TEST_EXAMPLES_DIR) + "/hangar.json");
  const std::map<host::PickMode, std::string> keys = {{host::PickMode::Faces, "Alt+F"}};
  struct Case {
    const char* progId;
    std::vector<std::string> picks;
    std::string why;  // "" fits
  };
  const Case cases[] = {
      {"VLMPlugin9.Ridgepull",
       {"group:Hangar/Wing"},
       "Ridgepull works on objects or faces: pick objects or faces (Alt+F) first"},
      {"VLMPlugin9.Ridgepull", {"faces:Hangar/Shell:2"}, ""},
      {"VLMPlugin9.Ridgepull", {"group:Hangar/Wing", "object:Hangar/Shell"}, ""},
      {"VLMOperation9.Flare",
       {"object:Hangar/Shell"},
       "Flare works on faces: pick faces (Alt+F) first"},
      {"VLMOperation9.Flare", {"faces:Hangar/Shell:1,2"}, ""},
      {"VLMPlugin9.Glazier",
       {"object:Hangar/Shell", "object:Hangar/Wing/Spar"},
       "Glazier works on one object: pick only one"},
      {"VLMPlugin9.Tether", {"faces:Hangar/Shell:1,2"}, ""},
      {"VLMPlugin9.Obverse",
       {},
       "Obverse works on one group or object: pick groups, objects or faces (Alt+F) first"},
      {"VLMPlugin9.Motive", {"object:Hangar/Shell"}, "Motive works on groups: pick groups first"},
      {"VLMPlugin9.Stairwright", {"faces:Hangar/Shell:1"}, ""},
      {"VLMPluginImportExport9.Wingform", {}, ""},
      {"VLMPluginImportExport9.Wingform",
       {"group:Hangar/Door", "group:Hangar/Sign"},
       "Wingform works on one group: pick only one (or nothing, for the whole scene)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.progId) + (c.picks.empty() ? "" : " " + c.picks[0]));
    const host::PluginInput* input = host::InputOf(c.progId);
    ASSERT_TRUE(input);
    EXPECT_EQ(host::SelectionOf(c.progId), input->text);
    const host::PickedItems picked = host::SelectByTexts(session.Document(), c.picks);
    const std::string id = c.progId;
    EXPECT_EQ(workbench::PluginMisfit(id.substr(id.find('.') + 1), *input, picked, keys), c.why);
  }
  EXPECT_FALSE(host::InputOf("VLMPlugin9.Nobody")) << "a plug-in the host does not know fits all";
}

// The session's own edits: a rename of one item (a group's object of the same name keeps its
// name, as a pattern rename would not), a material for picked faces; each undone to the byte and
// redone. What cannot be done is refused with the document as it was, and an edit that changes
// nothing leaves no step to undo.
TEST(WorkbenchProperties, RenameAndMaterialAreUndoableEditsOfTheSession) {
  workbench::Session session;
  session.Open(std::string(VLM_TEST_EXAMPLES_DIR) + "/hangar.json");
  struct Case {
    std::vector<std::string> picks;
    std::function<workbench::Session::Edited(workbench::Session&, const host::PickedItems&)> edit;
    std::string line;   // what the log says; "" refused
    std::string check;  // a path that names the changed item afterwards
  };
  using Session = workbench::Session;
  const Case cases[] = {
      {{"group:Hangar/Wing/Flap"},
       [](Session& s, const host::PickedItems& p) { return s.Rename(p, "Aileron"); },
       "renamed group Hangar/Wing/Flap to \"Aileron\"",
       "Hangar/Wing/Aileron/Flap"},
      {{"faces:Hangar/Fittings/Lamp2:1"},
       [](Session& s, const host::PickedItems& p) { return s.Rename(p, "Beam/1"); },
       "renamed object Hangar/Fittings/Lamp2 to \"Beam/1\"",
       "Hangar/Fittings/Beam\\/1"},
      {{"faces:Hangar/Wing/Spar:0,2"},
       [](Session& s, const host::PickedItems& p) { return s.AssignMaterial(p, "Glass"); },
       "gave 2 of the 2 faces of 1 object material \"Glass\" (--select faces:Hangar/Wing/Spar:0,2 "
       "--select polygons:Hangar/Wing/Spar:0,2)",
       "Hangar/Wing/Spar"},
      {{"group:Hangar/Wing"},
       [](Session& s, const host::PickedItems& p) { return s.AssignMaterial(p, "Canvas"); },
       "gave 12 of the 12 faces of 2 objects material \"Canvas\" (--select group:Hangar/Wing "
       "--select node:Hangar/Wing)",
       "Hangar/Wing/Aileron/Flap"},
      {{"object:Hangar/Shell", "object:Hangar/Wing/Spar"},
       [](Session& s, const host::PickedItems& p) { return s.Rename(p, "Both"); },
       "",
       ""},
      {{"object:Hangar/Shell"},
       [](Session& s, const host::PickedItems& p) { return s.Rename(p, ""); },
       "",
       ""},
      {{"object:Hangar/Shell"},
       [](Session& s, const host::PickedItems& p) { return s.Rename(p, "bad\xff"); },
       "",
       ""},
      {{"object:Hangar/Shell"},
       [](Session& s, const host::PickedItems& p) { return s.AssignMaterial(p, "Nowhere"); },
       "",
       ""},
      {{},
       [](Session& s, const host::PickedItems& p) { return s.AssignMaterial(p, "Glass"); },
       "",
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.picks.empty() ? "nothing" : c.picks[0]);
    // (Each edit replaces the document: the picks are found in the one there is now.)
    const host::PickedItems picked = host::SelectByTexts(session.Document(), c.picks);
    const std::string before = session.Text();
    const bool couldUndo = session.CanUndo();
    if (c.line.empty()) {
      EXPECT_THROW(c.edit(session, picked), Error);
      EXPECT_EQ(session.Text(), before);
      EXPECT_EQ(session.CanUndo(), couldUndo);
      continue;
    }
    const Session::Edited edited = c.edit(session, picked);
    EXPECT_TRUE(edited.changed);
    EXPECT_EQ(edited.line, c.line);
    std::string problem;
    EXPECT_TRUE(session.Document().FindMesh(c.check, &problem) ||
                session.Document().FindGroup(c.check, &problem))
        << problem;
    const std::string after = session.Text();
    session.Undo();
    EXPECT_EQ(session.Text(), before);
    session.Redo();
    EXPECT_EQ(session.Text(), after);
    // Again: nothing changes, nothing to undo.
    const Session::Edited again =
        c.edit(session, host::SelectByTexts(session.Document(),
                                            host::SelectTexts(host::PickedIn(session.Document()))));
    EXPECT_FALSE(again.changed) << again.line;
    EXPECT_EQ(session.Text(), after);
    session.Undo();
    EXPECT_EQ(session.Text(), before) << "the edit made again left no step of its own";
    session.Redo();
  }
}

// A material's name given to a pattern option fits that material alone, whatever characters
// it holds.
TEST(WorkbenchProperties, AMaterialNameIsAPatternOfItselfAlone) {
  const std::pair<std::string, std::string> names[] = {
      {"Door[2]", "Door2"}, {"a*b", "axxb"}, {"what?", "whats"}, {"back\\slash", "backslash"}};
  for (const auto& [name, other] : names) {
    EXPECT_TRUE(host::FitsWildcard(name, workbench::WildcardFor(name))) << name;
    EXPECT_FALSE(host::FitsWildcard(other, workbench::WildcardFor(name))) << name;
  }
}

}  // namespace
}  // namespace vlm
