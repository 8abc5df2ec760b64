// The workbench's parts that need no window: the camera's rays go through what it projects,
// picking finds the face seen first from every view, in perspective and orthographically,
// hidden faces and picks of everything shown, and the session's runs, undo and redo give back
// the documents they should.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>

#include "exchange/model_import.h"
#include "prep/prep_names.h"
#include "run/run_request.h"
#include "scene/builder.h"
#include "scene/document.h"
#include "support/cli_fixture.h"
#include "support/expect_near.h"
#include "vlm/error.h"
#include "vlm/files.h"
#include "workbench/animation_preview.h"
#include "workbench/camera.h"
#include "workbench/pick_properties.h"
#include "workbench/pick_tree.h"
#include "workbench/scene_mesh.h"
#include "workbench/view_picks.h"
#include "workbench/workbench_session.h"

namespace vlm {
namespace {

using workbench::Camera;
using workbench::CameraView;

// How far the point lies from the ray's line (through its cross product, which keeps the
// digits a difference of squares would lose).
double DistanceToRay(Vec3 p, const workbench::Ray& ray) {
  const Vec3 c = Cross(p - ray.origin, ray.direction);
  return std::sqrt(double(Dot(c, c)));
}

// From the front, the top and the side, in perspective and orthographically, a click on the
// middle of the box's face towards the eye picks that face, not the one behind it, whose
// centre is hidden; beside the box there is nothing to pick; with that face hidden, the one
// behind it. Orthographic rays all run along the view.
TEST(WorkbenchCore, EachViewPicksTheFaceSeenFirst) {
  host::HostDocument document;
  host::AddBox(document.Root(), "Box", {1, 2, 3}, {1, 1.5f, 2});
  const workbench::SceneMesh mesh(document);
  const workbench::PickTree tree(mesh);
  ASSERT_EQ(mesh.faces.size(), 6u);
  struct Case {
    CameraView view;
    Vec3 towardEye;  // the axis the eye looks back along
  };
  for (const bool orthographic : {false, true})
    for (const Case& c :
         {Case{CameraView::Front, {0, 0, 1}}, Case{CameraView::Top, {0, 1, 0}},
          Case{CameraView::Side, {1, 0, 0}}, Case{CameraView::Back, {0, 0, -1}},
          Case{CameraView::Bottom, {0, -1, 0}}, Case{CameraView::OtherSide, {-1, 0, 0}}}) {
      Camera camera;
      camera.SetViewport(640, 480);
      camera.SetSceneBounds(mesh.min, mesh.max);
      camera.Frame(mesh.min, mesh.max);
      camera.SetOrthographic(orthographic);
      camera.ViewFrom(c.view);
      const std::string what = "view " + std::to_string(static_cast<int>(c.view)) +
                               (orthographic ? ", orthographic" : "");
      ASSERT_GT(Dot(camera.Back(), c.towardEye), 0.99) << what;
      // The face whose centre lies furthest towards the eye, and the one opposite.
      uint32_t front = 0, back = 0;
      for (uint32_t f = 0; f < mesh.faces.size(); ++f) {
        if (Dot(mesh.faces[f].centre, c.towardEye) > Dot(mesh.faces[front].centre, c.towardEye))
          front = f;
        if (Dot(mesh.faces[f].centre, c.towardEye) < Dot(mesh.faces[back].centre, c.towardEye))
          back = f;
      }
      const workbench::Projected at = camera.Project(mesh.faces[front].centre);
      ASSERT_TRUE(at.inFront) << what;
      const workbench::Ray ray = camera.RayAt(at.x, at.y);
      EXPECT_LT(DistanceToRay(mesh.faces[front].centre, ray), 1e-3) << what;
      const auto hit = tree.Nearest(ray, true);
      ASSERT_TRUE(hit) << what;
      EXPECT_EQ(mesh.triangleFace[hit->triangle], front) << what;
      EXPECT_EQ(mesh.FaceIndex(mesh.faces[front].ref), front) << what;
      // The back face's centre is behind the front face, seen or looked through.
      const workbench::Projected behind = camera.Project(mesh.faces[back].centre);
      const workbench::Ray toBack = camera.RayAt(behind.x, behind.y);
      float distance = 0;
      const workbench::Ray straight = camera.RayTo(mesh.faces[back].centre, distance);
      EXPECT_LT(Length(straight.direction - toBack.direction), 1e-4f) << what;
      EXPECT_LT(Length(straight.origin + straight.direction * distance - mesh.faces[back].centre),
                1e-3f)
          << what;
      EXPECT_TRUE(tree.Blocked(straight, distance, back, false)) << what;
      EXPECT_FALSE(tree.Nearest(camera.RayAt(2, 2), false)) << what << ": a corner of the view";
      // With the front face hidden the ray goes on to the back face, seen from inside.
      std::vector<uint8_t> hidden(mesh.faces.size(), 0);
      hidden[front] = 1;
      const auto through = tree.Nearest(ray, false, hidden);
      ASSERT_TRUE(through) << what;
      EXPECT_EQ(mesh.triangleFace[through->triangle], back) << what;
      EXPECT_FALSE(tree.Blocked(straight, distance, back, false, hidden)) << what;
      const std::vector<workbench::PickTree::Hit> all = tree.AllHits(ray, false);
      ASSERT_GE(all.size(), 2u) << what;
      EXPECT_EQ(mesh.triangleFace[all.front().triangle], front) << what;
      EXPECT_EQ(mesh.triangleFace[all.back().triangle], back) << what;
      // Orthographic rays from two corners run side by side; perspective ones spread.
      const Vec3 spread = camera.RayAt(0, 0).direction - camera.RayAt(640, 480).direction;
      EXPECT_EQ(Length(spread) < 1e-6f, orthographic) << what;
    }
}

// The framed box stays the same size on screen when the view turns orthographic.
TEST(WorkbenchCore, OrthographicKeepsTheFramedSize) {
  Camera camera;
  camera.SetViewport(640, 480);
  camera.SetSceneBounds({-1, -1, -1}, {1, 1, 1});
  camera.Frame({-1, -1, -1}, {1, 1, 1});
  camera.ViewFrom(CameraView::Front);
  // Points in the plane of the target keep their place.
  const workbench::Projected before = camera.Project({1, 1, 0});
  camera.SetOrthographic(true);
  const workbench::Projected after = camera.Project({1, 1, 0});
  EXPECT_NEAR(after.x, before.x, 1e-3);
  EXPECT_NEAR(after.y, before.y, 1e-3);
  // Nearer and further corners land together, inside the depth range.
  const workbench::Projected nearer = camera.Project({1, 1, 1}),
                             further = camera.Project({1, 1, -1});
  EXPECT_NEAR(nearer.x, further.x, 1e-3);
  EXPECT_LT(nearer.depth, further.depth);
  EXPECT_GT(nearer.depth, 0);
  EXPECT_LT(further.depth, 1);
}

// Select all and Invert selection in each pick mode, with faces hidden, as counts of what
// they pick; Hide and Isolate as the faces they hide, found again in a new document by path.
TEST(WorkbenchCore, PicksOfWhatIsShownAndHiddenFaces) {
  host::HostDocument document;
  host::HostNode& left = host::AddGroup(document.Root(), "Left");
  host::HostNode& right = host::AddGroup(document.Root(), "Right");
  const host::HostMesh& a = host::AddBox(left, "A", {0, 0, 0}, {1, 1, 1});
  const host::HostMesh& b = host::AddBox(left, "B", {3, 0, 0}, {1, 1, 1});
  host::AddBox(right, "C", {6, 0, 0}, {1, 1, 1});
  using host::PickMode;
  const auto counts = [](const host::PickedItems& p) {
    size_t faces = 0;
    for (const auto& o : p.objects)
      faces += o.faces.size();
    return std::to_string(p.groups.size()) + " groups, " + std::to_string(p.objects.size()) +
           " objects, " + std::to_string(faces) + " faces";
  };
  host::PickedItems oneFaceOfA, objectB;
  oneFaceOfA.objects.push_back({&a, {2}});
  objectB.objects.push_back({&b, {}});
  const struct {
    const char* name;
    std::function<void(workbench::HiddenFaces&)> hide;
    size_t hidden;  // faces
    PickMode mode;
    host::PickedItems picked;
    std::string all, inverse;
  } cases[] = {
      {"faces, none hidden", [](auto&) {}, 0, PickMode::Faces, oneFaceOfA,
       "0 groups, 3 objects, 18 faces", "0 groups, 3 objects, 17 faces"},
      {"objects", [](auto&) {}, 0, PickMode::Objects, oneFaceOfA, "0 groups, 3 objects, 0 faces",
       "0 groups, 2 objects, 0 faces"},
      {"groups",
       [](auto&) {},
       0,
       PickMode::Groups,
       {{&left}, {}},
       "2 groups, 0 objects, 0 faces",
       "1 groups, 0 objects, 0 faces"},
      {"B hidden", [&](auto& h) { h.Hide(objectB); }, 6, PickMode::Faces, oneFaceOfA,
       "0 groups, 2 objects, 12 faces", "0 groups, 2 objects, 11 faces"},
      {"a face of A hidden, objects", [&](auto& h) { h.Hide(oneFaceOfA); }, 1, PickMode::Objects,
       objectB, "0 groups, 3 objects, 0 faces", "0 groups, 2 objects, 0 faces"},
      {"Right hidden as a group",
       [&](auto& h) {
         h.Hide({{&right}, {}});
       },
       6,
       PickMode::Groups,
       {},
       "1 groups, 0 objects, 0 faces",
       "1 groups, 0 objects, 0 faces"},
      {"a face of A isolated",
       [&](auto& h) { h.Isolate(document, oneFaceOfA); },
       17,
       PickMode::Faces,
       {},
       "0 groups, 1 objects, 1 faces",
       "0 groups, 1 objects, 1 faces"},
      {"B isolated", [&](auto& h) { h.Isolate(document, objectB); }, 12, PickMode::Faces, objectB,
       "0 groups, 1 objects, 6 faces", "0 groups, 0 objects, 0 faces"},
  };
  for (const auto& t : cases) {
    workbench::HiddenFaces hidden;
    t.hide(hidden);
    std::vector<host::FaceHit> faces = hidden.Faces(document);
    EXPECT_EQ(faces.size(), t.hidden) << t.name;
    std::sort(faces.begin(), faces.end());
    const std::vector<host::FaceHit> shown = workbench::ShownFaces(document, faces);
    EXPECT_EQ(shown.size() + faces.size(), 18u) << t.name;
    EXPECT_EQ(counts(workbench::PickAll(shown, t.mode)), t.all) << t.name;
    EXPECT_EQ(counts(workbench::InvertPicks(t.picked, shown, t.mode)), t.inverse) << t.name;
  }
  // A document read again (a run, undo) hides the same faces, by path.
  workbench::HiddenFaces hidden;
  hidden.Hide(oneFaceOfA);
  hidden.Hide(objectB);
  host::HostDocument again;
  host::AddBox(host::AddGroup(again.Root(), "Left"), "A", {0, 0, 0}, {1, 1, 1});
  EXPECT_EQ(hidden.Faces(again).size(), 1u);
  hidden.Clear();
  EXPECT_TRUE(hidden.Faces(document).empty());
}

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

// ---- an imported X-Plane object posed for dataref values ----

const std::filesystem::path Obj8Data = std::filesystem::path(VLM_TEST_DATA_DIR) / "obj8";

// The corner of an object (by its group's path) that the document puts at `rest` (world
// space): where the pose draws it, or nothing when the pose hides the object.
std::optional<Vec3> Drawn(const host::HostDocument& document, const workbench::ScenePose& pose,
                          const std::string& group, Vec3 rest) {
  const host::HostNode* node = document.FindGroup(group, nullptr);
  EXPECT_TRUE(node && !node->meshes.empty()) << group;
  if (!node || node->meshes.empty()) return std::nullopt;
  const host::HostMesh* mesh = node->meshes.front().get();
  if (pose.hidden.contains(mesh)) return std::nullopt;
  const auto moved = pose.moved.find(mesh);
  for (const Vec3& v : mesh->vertices) {
    const Vec3 world = TransformPoint(v, node->WorldMatrix());
    if (Length(world - rest) < 1e-4f)
      return moved == pose.moved.end() ? world : TransformPoint(world, moved->second);
  }
  ADD_FAILURE() << group << " has no corner at " << rest.x << " " << rest.y << " " << rest.z;
  return std::nullopt;
}

// Worked out by hand from the files' lines (OBJ8's z is the scene's -z): the door turns from
// 30 degrees at rest to 120 at 1 about its hinge at x = 2; the gear's keyed translation and
// looped turn (wrapped past its loop of 2), its show and hide ranges (the last line that holds
// the value decides); the flap's turn carries the part inside it, which its hide range hides
// below 0.5, and the outer translation carries both; a level out of the distance is hidden.
// The scene's triangles follow the pose and go back without it.
TEST(WorkbenchAnimation, PosesPutCornersWhereXPlaneDrawsThem) {
  const float h = std::sqrt(0.5f);
  const std::string door = "door/anim door", gear = "gear/anim gear";
  const std::string outer = "nested/LOD 0-1000/anim", flap = outer + "/anim flap";
  const std::string inner = flap + "/anim flap", far = "nested/LOD 1000-5000";
  const std::string opened = "sim/cockpit/door", wheels = "sim/aircraft/gear";
  const std::string deploy = "sim/aircraft/gear_deploy", flaps = "sim/flightmodel/flap";
  const Vec3 ajar{2 + std::cos(0.5236f), 0, 0.5f};  // the door's far corner, 30 degrees open
  const struct {
    const char* file;
    workbench::DatarefValues values;
    std::optional<double> distance;
    std::string group;
    Vec3 rest;
    std::optional<Vec3> drawn;  // nothing: hidden
  } cases[] = {
      {"door", {}, {}, door, ajar, ajar},
      {"door", {{opened, 1}}, {}, door, ajar, Vec3{1.5f, 0, std::sin(2.0944f)}},
      {"door", {{opened, 0.5}}, {}, door, {2, 2, 0}, Vec3{2, 2, 0}},
      {"gear", {{wheels, 0.75}}, {}, gear, {1, 1, 2}, Vec3{1, 1.75f + 2 * h, 2 * h}},
      {"gear", {{wheels, 2.75}}, {}, gear, {1, 1, 2}, Vec3{1, 2 + 2 * h, 2 * h}},
      {"gear", {{deploy, 0.5}}, {}, gear, {1, 1, 2}, Vec3{1, 1, 2}},
      {"gear", {{deploy, 1}}, {}, gear, {1, 1, 2}, {}},
      {"gear", {{deploy, 3}}, {}, gear, {1, 1, 2}, Vec3{1, 1, 2}},
      {"nested", {}, {}, inner, {0, 3, 0}, {}},
      {"nested", {{flaps, 1}}, {}, inner, {0, 3, 0}, Vec3{0, 1, -2}},
      {"nested", {{flaps, 1}}, {}, flap, {0, 3, 0}, Vec3{0, 1, -2}},
      {"nested", {{flaps, 1}}, {}, outer, {1, 3, 0}, Vec3{1, 3, 0}},
      {"nested", {}, 999.0, outer, {1, 3, 0}, Vec3{1, 3, 0}},
      {"nested", {}, 1000.0, outer, {1, 3, 0}, {}},
      {"nested", {}, 1000.0, far, {1, 2, 0}, Vec3{1, 2, 0}},
      {"additive_lods", {}, 2000.0, "additive_lods/LOD 0-1000", {1, 0, 0}, {}},
      {"additive_lods", {}, 2000.0, "additive_lods/LOD 0-4000", {1, 2, 0}, Vec3{1, 2, 0}},
  };
  for (const auto& c : cases) {
    const std::string where = std::string(c.file) + " " + c.group;
    const host::ImportedModel model = host::ImportModel(Obj8Data / (std::string(c.file) + ".obj"));
    const workbench::AnimationPreview preview(*model.document);
    EXPECT_TRUE(preview.Problems().empty()) << where;
    const workbench::ScenePose pose = preview.Pose(c.values, c.distance);
    const std::optional<Vec3> drawn = Drawn(*model.document, pose, c.group, c.rest);
    ASSERT_EQ(drawn.has_value(), c.drawn.has_value()) << where;
    if (!drawn) continue;
    test::ExpectNear(*drawn, *c.drawn, where, 1e-4f);
    // The view's triangles: a corner where the pose draws it, and back where it rests.
    workbench::SceneMesh mesh(*model.document);
    const auto near = [&](Vec3 p) {
      return std::any_of(mesh.corners.begin(), mesh.corners.end(),
                         [&](Vec3 q) { return Length(q - p) < 1e-4f; });
    };
    mesh.Move(pose.moved);
    EXPECT_TRUE(near(*c.drawn)) << where;
    mesh.Move({});
    EXPECT_EQ(mesh.corners, workbench::SceneMesh(*model.document).corners) << where;
  }
}

// The datarefs each object reads, with the span of values their lines name (0, the rest
// frame, always in it); its levels; its lights, each in its colour (a named one in the
// neutral colour) and carried by the animation it lies in: the turn of 360 degrees in 10
// seconds has turned the light at (1, 2, 3) a quarter at 2.5.
TEST(WorkbenchAnimation, DatarefsLevelsAndLightsOfAnObject) {
  using Spans = std::vector<std::tuple<std::string, double, double>>;
  const Vec3 named = workbench::kNamedLightColour;
  const struct {
    const char* file;
    Spans datarefs;
    std::vector<std::pair<double, double>> levels;
    workbench::DatarefValues values;
    std::vector<workbench::LightPoint> lights;
  } cases[] = {
      {"door", {{"sim/cockpit/door", 0, 1}}, {}, {}, {}},
      {"gear", {{"sim/aircraft/gear", -1, 2}, {"sim/aircraft/gear_deploy", 0, 2}}, {}, {}, {}},
      {"nested", {{"sim/flightmodel/flap", 0, 1}}, {{0, 1000}, {1000, 5000}}, {}, {}},
      {"additive_lods", {}, {{0, 1000}, {0, 4000}}, {}, {}},
      {"lights",
       {{"sim/time/total_running_time_sec", 0, 10}},
       {},
       {{"sim/time/total_running_time_sec", 2.5}},
       {{{0, 3, 0}, named},
        {{3, 2, 1}, named},
        {{0, 1, 0}, {1, 1, 1}},
        {{0, 1, 0}, {1, 1, 1}},
        {{0, 5, 0}, {1, 0, 0}},
        {{0, 6, 0}, {0, 1, 0}}}},
  };
  for (const auto& c : cases) {
    const host::ImportedModel model = host::ImportModel(Obj8Data / (std::string(c.file) + ".obj"));
    const workbench::AnimationPreview preview(*model.document);
    EXPECT_FALSE(preview.Empty()) << c.file;
    Spans spans;
    for (const workbench::DatarefSpan& s : preview.Datarefs())
      spans.emplace_back(s.name, s.low, s.high);
    EXPECT_EQ(spans, c.datarefs) << c.file;
    std::vector<std::pair<double, double>> levels;
    for (const workbench::LevelOfDetail& l : preview.Levels())
      levels.emplace_back(l.nearDistance, l.farDistance);
    EXPECT_EQ(levels, c.levels) << c.file;
    const std::vector<workbench::LightPoint> lights = preview.Pose(c.values, {}).lights;
    ASSERT_EQ(lights.size(), c.lights.size()) << c.file;
    for (size_t i = 0; i < lights.size(); ++i) {
      test::ExpectNear(lights[i].position, c.lights[i].position, c.file, 1e-4f);
      EXPECT_EQ(lights[i].colour, c.lights[i].colour) << c.file << " light " << i;
    }
  }
}

// The exporters' Custom LOD level nodes: the group and the top groups named after it with a
// whole number of metres, each seen from its number to the next; a name whose number is not
// whole, or another group's, makes no level. A scene without OBJ8 data has nothing to preview.
TEST(WorkbenchAnimation, CustomLevelNodesAreLevelsByTheirNumbers) {
  host::HostDocument document;
  for (const char* name : {"Body", "Body_500", "body-200", "Body_2.5", "Wheel_300", "Other"})
    document.NewMesh(document.NewNode(document.Root(), name), "part");
  const workbench::AnimationPreview preview(document);
  std::vector<std::tuple<std::string, double, double>> levels;
  for (const workbench::LevelOfDetail& l : preview.Levels())
    levels.emplace_back(l.node->name, l.nearDistance, l.farDistance);
  const double far = std::numeric_limits<double>::infinity();
  EXPECT_EQ(levels, (std::vector<std::tuple<std::string, double, double>>{
                        {"Body", 0, 200}, {"body-200", 200, 500}, {"Body_500", 500, far}}));
  const workbench::ScenePose pose = preview.Pose({}, 350.0);
  EXPECT_EQ(pose.hidden.size(), 2u);
  EXPECT_FALSE(pose.hidden.contains(document.FindGroup("body-200", nullptr)->meshes[0].get()));
  EXPECT_TRUE(pose.hidden.contains(document.FindGroup("Body", nullptr)->meshes[0].get()));

  host::HostDocument plain;
  document.NewNode(plain.Root(), "Body");
  EXPECT_TRUE(workbench::AnimationPreview(plain).Empty());
}

}  // namespace
}  // namespace vlm
