// The workbench's parts that need no window: the camera's rays go through what it projects,
// picking finds the face seen first from every view, and the session's runs, undo and redo
// give back the documents they should.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
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

// From the front, the top and the side, a click on the middle of the box's face towards the
// eye picks that face, not the one behind it, whose centre is hidden; beside the box there is
// nothing to pick.
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
  for (const Case& c :
       {Case{CameraView::Front, {0, 0, 1}}, Case{CameraView::Top, {0, 1, 0}},
        Case{CameraView::Side, {1, 0, 0}}, Case{CameraView::Back, {0, 0, -1}},
        Case{CameraView::Bottom, {0, -1, 0}}, Case{CameraView::OtherSide, {-1, 0, 0}}}) {
    Camera camera;
    camera.SetViewport(640, 480);
    camera.SetSceneBounds(mesh.min, mesh.max);
    camera.Frame(mesh.min, mesh.max);
    camera.ViewFrom(c.view);
    const std::string what = "view " + std::to_string(static_cast<int>(c.view));
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
    const Vec3 d = mesh.faces[back].centre - toBack.origin;
    EXPECT_TRUE(tree.Blocked(toBack, std::sqrt(Dot(d, d)), back, false)) << what;
    EXPECT_FALSE(tree.Nearest(camera.RayAt(2, 2), false)) << what << ": a corner of the view";
  }
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
