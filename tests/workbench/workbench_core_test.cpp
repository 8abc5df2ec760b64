// The workbench's parts that need no window: the camera's rays go through what it projects,
// picking finds the face seen first from every view, in perspective and orthographically,
// hidden faces and picks of everything shown, and an imported X-Plane object posed for
// dataref values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>
#include <optional>
#include <string>

#include "exchange/model_import.h"
#include "scene/builder.h"
#include "scene/document.h"
#include "support/expect_near.h"
#include "workbench/animation_preview.h"
#include "workbench/camera.h"
#include "workbench/pick_tree.h"
#include "workbench/scene_mesh.h"
#include "workbench/view_picks.h"

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
