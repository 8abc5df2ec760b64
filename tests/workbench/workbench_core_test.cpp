// The workbench's parts that need no window: the camera's rays go through what it projects,
// picking finds the face seen first from every view, in perspective and orthographically,
// hidden faces and picks of everything shown, and the session's runs, undo and redo give back
// the documents they should.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>

#include "run/run_request.h"
#include "scene/builder.h"
#include "scene/document.h"
#include "support/cli_fixture.h"
#include "vlm/files.h"
#include "workbench/camera.h"
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
  EXPECT_EQ(session.UndoLabel(), "VLMPlugin9.Obverse");

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
  EXPECT_EQ(session.UndoLabel(), "materials");
}

}  // namespace
}  // namespace vlm
