#include "scene/document.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>

#include "scene/builder.h"
#include "scene/scene_diff.h"
#include "scene/scene_file.h"
#include "support/errors.h"
#include "support/expect_near.h"
#include "vlm/error.h"

namespace vlm::host {
namespace {

using test::ExpectNear;

using ::testing::ElementsAre;
using ::testing::HasSubstr;

using test::Failure;
using test::FailureOf;

// ---- one tree behind both views --------------------------------------------------------------

TEST(SceneDocumentViews, GroupAndNodeAreTheSameItem) {
  HostDocument doc;
  HostNode& hangar = AddGroup(doc.Root(), "Hangar");
  Group& group = hangar.AsGroup();
  Node& node = hangar.AsNode();
  EXPECT_EQ(doc.RootGroup()->ChildGroup(0), &group);
  EXPECT_EQ(doc.RootNode()->Children()->Item(0), &node);

  group.SetName("Shed");
  EXPECT_EQ(node.Name(), "Shed");
  node.SetName("Barn");
  EXPECT_EQ(group.Name(), "Barn");

  // Fields are defined through a node and written through either view.
  int32_t slot = doc.RootNode()->AddCustomField("TetherData");
  EXPECT_EQ(node.FindCustomField("TetherData"), slot);
  EXPECT_EQ(node.AddCustomField("TetherData"), slot);
  EXPECT_LT(node.FindCustomField("MotiveData"), 0);
  group.SetCustomField(slot, "1;2;3");
  EXPECT_EQ(node.GetCustomField(slot), "1;2;3");
  node.SetCustomField(slot, "");
  EXPECT_EQ(group.GetCustomField(slot), "");
  EXPECT_EQ(FailureOf([&] { group.GetCustomField(slot + 1); }).number, err::SubscriptOutOfRange);

  // An object and its shape share their geometry.
  HostMesh& mesh = doc.NewMesh(hangar, "Wall");
  mesh.AsObject().AddVertex({1, 2, 3});
  EXPECT_EQ(mesh.AsShape().GetPositions(), (std::vector<Vec3>{{1, 2, 3}}));
  EXPECT_EQ(node.Shapes()->Item(0), &mesh.AsShape());
  EXPECT_EQ(group.Object(0), &mesh.AsObject());
}

TEST(SceneDocumentViews, MaterialAndGraphMaterialAreTheSameItem) {
  HostDocument doc;
  int32_t slot = doc.RootNode()->AddMaterialCustomField("FS10");
  Material* material = doc.CreateMaterial();
  HostMaterial* host = doc.MaterialOf(material);
  ASSERT_NE(host, nullptr);
  GraphMaterial& graph = *host;

  material->SetCustomField(slot, "0.5;1");
  EXPECT_EQ(graph.GetCustomField(slot), "0.5;1");
  graph.SetCustomField(slot, "2");
  EXPECT_EQ(material->GetCustomField(slot), "2");

  material->SetDiffuseColor(0.1f, 0.2f, 0.3f);
  material->SetTranslucency(25);
  EXPECT_EQ(graph.GetDiffuse(), (Rgba{0.1f, 0.2f, 0.3f, 0.75f}));
  EXPECT_EQ(FailureOf([&] { material->SetTranslucency(101); }).number, err::InvalidProcedureCall);

  // The texture set appears with the first texture name.
  EXPECT_EQ(graph.Textures(), nullptr);
  material->SetBumpTexture("bump.bmp");
  ASSERT_NE(graph.Textures(), nullptr);
  EXPECT_EQ(graph.Textures()->BumpMap(), "bump.bmp");
  EXPECT_EQ(graph.Textures()->DiffuseMap(), "");
}

// ---- frames ----------------------------------------------------------------------------------

TEST(SceneDocumentFrames, PositionAndOrientationRelativeToParentWorldAndOtherGroups) {
  HostDocument doc;
  // Turned a quarter about +y: the parent's +z is the world's +x and its +x the world's -z.
  HostNode& parent = AddGroup(doc.Root(), "Parent", {10, 0, 0}, {1, 0, 0});
  HostNode& child = AddGroup(parent, "Child", {0, 0, 2});
  // Turned half about +y.
  HostNode& other = AddGroup(doc.Root(), "Other", {0, 5, 0}, {0, 0, -1});
  Group& c = child.AsGroup();

  ExpectNear(c.GetPosition(&parent.AsGroup(), 0), {0, 0, 2});
  ExpectNear(c.GetPosition(nullptr, 0), {12, 0, 0});
  ExpectNear(c.GetPosition(&other.AsGroup(), 0), {-12, -5, 0});
  Orientation world = c.GetOrientation(nullptr, 0);
  ExpectNear(world.forward, {1, 0, 0});
  ExpectNear(world.up, {0, 1, 0});

  // Set relative to one group, read back relative to it, stored relative to the parent.
  c.SetPosition(&other.AsGroup(), 0, {1, 2, 3});
  ExpectNear(c.GetPosition(&other.AsGroup(), 0), {1, 2, 3});
  ExpectNear(c.GetPosition(nullptr, 0), {-1, 7, -3});
  ExpectNear(child.position, {3, 7, -11});

  c.SetOrientation(&other.AsGroup(), 0, {0, 0, 1}, {0, 1, 0});
  Orientation relative = c.GetOrientation(&other.AsGroup(), 0);
  ExpectNear(relative.forward, {0, 0, 1});
  ExpectNear(relative.up, {0, 1, 0});
  ExpectNear(c.GetOrientation(nullptr, 0).forward, {0, 0, -1});
  ExpectNear(child.forward, {1, 0, 0});

  // A vertex of the child's object follows both groups.
  HostMesh& mesh = doc.NewMesh(child, "Dot");
  mesh.vertices.push_back({0, 0, 1});
  ExpectNear(WorldVertices(mesh).at(0), {-1, 7, -4});

  // up is made perpendicular to forward; a zero forward is refused.
  c.SetOrientation(nullptr, 0, {0, 0, 2}, {0, 1, 1});
  ExpectNear(c.GetOrientation(nullptr, 0).up, {0, 1, 0});
  EXPECT_EQ(FailureOf([&] {
              c.SetOrientation(nullptr, 0, {}, {0, 1, 0});
            }).number,
            err::InvalidProcedureCall);
}

TEST(SceneDocumentFrames, GetMatrixIsInColumnVectorForm) {
  HostDocument doc;
  HostNode& parent = AddGroup(doc.Root(), "Parent", {1, 2, 3}, {1, 0, 0});
  HostNode& child = AddGroup(parent, "Child", {0, 0, 2});

  // Relative to the parent: the translation is in column 3, the bottom row is 0 0 0 1.
  Mat4 local = child.AsNode().GetMatrix(&parent.AsNode(), 0);
  ExpectNear({local(0, 3), local(1, 3), local(2, 3)}, {0, 0, 2});
  ExpectNear({local(3, 0), local(3, 1), local(3, 2)}, {0, 0, 0});
  EXPECT_FLOAT_EQ(local(3, 3), 1.0f);

  // M x p maps a local point to the world; column 2 is the world direction of local +z.
  Mat4 m = child.AsNode().GetMatrix(nullptr, 0);
  auto apply = [&](Vec3 p) {
    return Vec3{m(0, 0) * p.x + m(0, 1) * p.y + m(0, 2) * p.z + m(0, 3),
                m(1, 0) * p.x + m(1, 1) * p.y + m(1, 2) * p.z + m(1, 3),
                m(2, 0) * p.x + m(2, 1) * p.y + m(2, 2) * p.z + m(2, 3)};
  };
  ExpectNear(apply({0, 0, 0}), {3, 2, 3});
  ExpectNear(apply({0, 0, 1}), {4, 2, 3});
  ExpectNear({m(0, 2), m(1, 2), m(2, 2)}, {1, 0, 0});
}

// ---- triangles -------------------------------------------------------------------------------

// A quad with neither normals nor texture coordinates and a material, then a pentagon with a
// given normal and no material.
HostMesh& QuadAndPentagon(HostDocument& doc, HostMaterial* material) {
  HostMesh& mesh = doc.NewMesh(doc.Root(), "Shapes");
  mesh.vertices = {{0, 0, 0}, {0, 0, 1}, {1, 0, 1},       {1, 0, 0},  // quad, facing +y
                   {0, 1, 0}, {1, 1, 0}, {1.5f, 1.5f, 0}, {0.5f, 2, 0}, {-0.5f, 1.5f, 0}};
  mesh.normals = {{0, 0, 1}};
  const size_t quad = mesh.AddFace(material);
  for (int32_t v : {0, 1, 2, 3})
    mesh.AddPoint(quad, {v, -1, -1});
  const size_t pentagon = mesh.AddFace();
  for (int32_t v : {4, 5, 6, 7, 8})
    mesh.AddPoint(pentagon, {v, 0, -1});
  return mesh;
}

TEST(SceneDocumentTriangles, MeshDataHoldsOneTenEntryRecordPerFanTriangle) {
  HostDocument doc;
  HostMaterial& red = doc.NewMaterial("Red");
  MeshData data = QuadAndPentagon(doc, &red).AsShape().GetMeshData(0);

  ASSERT_EQ(data.corners.size(), 10u * 5 + 1);
  EXPECT_EQ(data.corners.back(), 0);
  EXPECT_EQ(data.polygonCount, 2);
  std::vector<std::array<int32_t, 3>> positions;
  for (size_t r = 0; r + 1 < data.corners.size(); r += 10) {
    EXPECT_EQ(data.corners[r], 3) << r;
    positions.push_back({data.corners[r + 1], data.corners[r + 4], data.corners[r + 7]});
  }
  EXPECT_THAT(positions, ElementsAre(std::array{0, 1, 2}, std::array{0, 2, 3}, std::array{4, 5, 6},
                                     std::array{4, 6, 7}, std::array{4, 7, 8}));
  GraphMaterial* none = &doc.DefaultMaterial();
  EXPECT_THAT(data.materials, ElementsAre(&red, &red, none, none, none));

  // The quad's corners get its plane normal, appended after the given one; every corner
  // without a texture coordinate gets one shared (0, 0).
  EXPECT_EQ(data.normals, (std::vector<float>{0, 0, 1, 0, 1, 0}));
  EXPECT_EQ(data.textureCoordinates, (std::vector<float>{0, 0}));
  for (size_t r = 0; r < 50; r += 10)
    for (size_t c = r + 1; c < r + 10; c += 3) {
      EXPECT_EQ(data.corners[c + 1], r < 20 ? 1 : 0) << c;
      EXPECT_EQ(data.corners[c + 2], 0) << c;
    }
  EXPECT_EQ(data.positions.size(), 27u);
}

TEST(SceneDocumentTriangles, TriangleDataMatchesMeshDataAndSkipsRemovedPolygons) {
  HostDocument doc;
  HostMaterial& red = doc.NewMaterial("Red");
  HostMesh& mesh = QuadAndPentagon(doc, &red);
  MeshData flat = mesh.AsShape().GetMeshData(0);
  TriangleData data = mesh.AsShape().GetTriangleData();

  ASSERT_EQ(data.triangles.size(), 5u);
  GraphMaterial* none = &doc.DefaultMaterial();
  EXPECT_THAT(data.materials, ElementsAre(&red, none));
  for (size_t t = 0; t < 5; ++t) {
    EXPECT_EQ(data.triangles[t].material, t < 2 ? 0 : 1);
    for (size_t k = 0; k < 3; ++k) {
      size_t at = 10 * t + 1 + 3 * k;
      EXPECT_EQ(data.triangles[t].corners[k],
                (TriangleCorner{flat.corners[at], flat.corners[at + 1], flat.corners[at + 2]}));
    }
  }

  mesh.AsShape().RemovePolygon(0);
  EXPECT_EQ(mesh.AsShape().GetTriangleData().triangles.size(), 3u);
  EXPECT_EQ(mesh.AsShape().GetMeshData(0).polygonCount, 1);
  EXPECT_EQ(mesh.AsShape().MaterialCount(), 1);  // only the default material is left
}

TEST(SceneDocumentTriangles, TriangleCountIsWhatTriangleDataGivesWithoutMakingIt) {
  // Polygons by their point counts; a negative count is a removed polygon of that many.
  const struct {
    const char* name;
    std::vector<int> polygons;
    int64_t triangles;
  } cases[] = {
      {"no polygons", {}, 0},
      {"too few points make nothing", {0, 1, 2}, 0},
      {"a triangle, a quad and a pentagon", {3, 4, 5}, 1 + 2 + 3},
      {"removed polygons count for nothing", {-4, 3, -5, 6}, 1 + 4},
  };
  for (const auto& c : cases) {
    HostDocument doc;
    HostMesh& mesh = doc.NewMesh(doc.Root(), "Fans");
    for (int k = 0; k < 6; ++k)
      mesh.vertices.push_back({float(k), float(k * k), 0});
    for (const int n : c.polygons) {
      const size_t face = mesh.AddFace();
      for (int k = 0; k < std::abs(n); ++k)
        mesh.AddPoint(face, {k, -1, -1});
      if (n < 0) mesh.AsShape().RemovePolygon(static_cast<int32_t>(face));
    }
    EXPECT_EQ(mesh.AsShape().TriangleCount(), c.triangles) << c.name;
    EXPECT_EQ(static_cast<int64_t>(mesh.AsShape().GetTriangleData().triangles.size()), c.triangles)
        << c.name;
  }
}

TEST(SceneDocumentNormals, SmoothingAngleDecidesWhichFacesBlend) {
  HostDocument doc;
  HostMesh& box = AddBox(doc.Root(), "Box", {}, {1, 2, 3});
  Object& object = box.AsObject();

  // The sides meet at 90 degrees: with 30 every side stays flat.
  object.SetSmoothingAngle(30);
  object.GenerateNormals();
  EXPECT_EQ(box.normals.size(), 6u);
  for (size_t face = 0; face < box.FaceCount(); ++face)
    for (const HostPoint& p : box.Points(face))
      EXPECT_EQ(box.normals.at(static_cast<size_t>(p.normal)), box.FaceNormal(face));

  // With 100 the three sides at each corner blend.
  object.SetSmoothingAngle(100);
  object.GenerateNormals();
  EXPECT_EQ(box.normals.size(), 8u);
  const float third = 1 / std::sqrt(3.0f);
  for (size_t face = 0; face < box.FaceCount(); ++face)
    for (const HostPoint& p : box.Points(face)) {
      Vec3 corner = box.vertices[static_cast<size_t>(p.vertex)];
      Vec3 expected{std::copysign(third, corner.x), std::copysign(third, corner.y),
                    std::copysign(third, corner.z)};
      ExpectNear(box.normals.at(static_cast<size_t>(p.normal)), expected);
    }
}

// A face's normal is a finite unit vector at any scale a float holds, and zero only for a
// face that encloses no area.
TEST(SceneDocumentNormals, FaceNormalsHoldAtEveryScale) {
  struct Case {
    float scale;
    Vec3 shift;
  };
  const Case cases[] = {{1, {}},     {1e-20f, {}}, {1e10f, {}},         {3e19f, {}},
                        {1e30f, {}}, {1e38f, {}},  {1e-30f, {1, 1, 1}}, {1e10f, {-1e10f, 0, 0}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.scale);
    HostDocument doc;
    std::vector<Vec3> quad;
    for (Vec3 p : {Vec3{0, 0, 0}, Vec3{1, 0, 0}, Vec3{1, 1, 0}, Vec3{0, 1, 0}})
      quad.push_back(p * c.scale + c.shift);
    HostMesh& mesh = AddPolygonMesh(doc.Root(), "Quad", quad);
    Vec3 n = mesh.FaceNormal(0);
    if (c.shift == Vec3{1, 1, 1}) {
      EXPECT_EQ(n, Vec3{});  // the corners round to one point
      continue;
    }
    ExpectNear(n, {0, 0, 1});
    mesh.AsObject().GenerateNormals();
    ExpectNear(mesh.normals.at(0), {0, 0, 1});
  }
}

// ---- polygons --------------------------------------------------------------------------------

TEST(SceneDocumentPolygons, CompactDropsRemovedPolygonsAndKeepsSelectionsInStep) {
  HostDocument doc;
  HostMesh& grid = AddGrid(doc.Root(), "Grid", 4, 1);
  doc.graphSelection.shapes = {{&grid, {0, 1, 3}}};
  doc.scriptingSelection.objects = {{&grid, 1, {3, 2, 1}}};
  Shape& shape = grid.AsShape();

  shape.RemovePolygon(1);
  EXPECT_EQ(shape.PolygonCount(), 4);  // indices hold until Compact
  vlm::Polygon* third = shape.Polygon(2);
  shape.Compact();
  EXPECT_EQ(shape.PolygonCount(), 3);
  EXPECT_EQ(shape.Polygon(1), third);
  EXPECT_THAT(shape.GetSelectedPolygons(0), ElementsAre(0, 2));
  Object& object = grid.AsObject();
  EXPECT_EQ(object.SelectionMode(), 1);
  ASSERT_EQ(object.SelectedFaceCount(), 2);
  EXPECT_EQ(object.SelectedFace(0), 2);
  EXPECT_EQ(object.SelectedFace(1), 1);
  EXPECT_EQ(FailureOf([&] { shape.RemovePolygon(3); }).number, err::SubscriptOutOfRange);
}

TEST(SceneDocumentPolygons, MergeAppendsEverythingWithoutATransform) {
  HostDocument doc;
  HostMaterial& red = doc.NewMaterial("Red");
  HostMesh& tri = AddPolygonMesh(doc.Root(), "Tri", {{0, 0, 0}, {0, 0, 1}, {1, 0, 0}}, &red);
  HostNode& moved = AddGroup(doc.Root(), "Moved", {100, 0, 0});
  HostMesh& box = AddBox(moved, "Box", {}, {1, 1, 1});
  box.AsShape().RemovePolygon(5);

  std::unique_ptr<Shape> sum = doc.NewShape();
  sum->Merge(tri.AsShape());
  sum->Merge(box.AsShape());
  HostMesh* merged = doc.MeshOf(sum.get());
  ASSERT_NE(merged, nullptr);
  EXPECT_EQ(sum->VertexCount(), 3 + 8);
  EXPECT_EQ(sum->PolygonCount(), 1 + 5);
  EXPECT_EQ(sum->GetPosition(3), box.vertices[0]);  // not moved by the group
  const HostPoint& first = box.Points(0)[0];
  EXPECT_EQ(merged->Points(1)[0], (HostPoint{first.vertex + 3, first.normal + 1, first.uv + 3}));
  EXPECT_EQ(merged->FaceMaterial(0), &red);
  EXPECT_EQ(merged->FaceMaterial(1), nullptr);

  EXPECT_EQ(FailureOf([&] { tri.AsShape().Merge(tri.AsShape()); }).number,
            err::InvalidProcedureCall);
}

// Asked after every change, both views list the materials in first-use order (the shape's
// with the default material standing for faces that have none).
TEST(SceneDocumentMaterials, TheListFollowsEveryChangeToTheFaces) {
  HostDocument doc;
  HostMaterial &red = doc.NewMaterial("Red"), &blue = doc.NewMaterial("Blue");
  HostMaterial* none = &doc.DefaultMaterial();
  HostMesh& grid = AddGrid(doc.Root(), "Grid", 4, 1);
  Object& object = grid.AsObject();
  Shape& shape = grid.AsShape();
  struct Step {
    std::function<void()> change;
    std::vector<HostMaterial*> objectList, shapeList;
  };
  const Step steps[] = {
      {[] {}, {}, {none}},
      {[&] { object.Face(0)->SetMaterial(&red); }, {&red}, {&red, none}},
      {[&] { grid.SetFaceMaterial(1, &blue); }, {&red, &blue}, {&red, &blue, none}},
      {[&] { shape.RemovePolygon(0); }, {&blue}, {&blue, none}},
      {[&] { object.AddFace()->SetMaterial(&red); }, {&blue, &red}, {&blue, none, &red}},
      {[&] { object.Face(4)->SetMaterial(nullptr); }, {&blue}, {&blue, none}},
      {[&] { grid.ClearFaces(); }, {}, {}},
  };
  for (size_t i = 0; i < std::size(steps); ++i) {
    steps[i].change();
    std::vector<HostMaterial*> objectList, shapeList;
    for (int32_t k = 0; k < object.MaterialCount(); ++k)
      objectList.push_back(doc.MaterialOf(object.Material(k)));
    for (int32_t k = 0; k < shape.MaterialCount(); ++k)
      shapeList.push_back(static_cast<HostMaterial*>(shape.Material(k)));
    EXPECT_EQ(objectList, steps[i].objectList) << "step " << i;
    EXPECT_EQ(shapeList, steps[i].shapeList) << "step " << i;
  }
}

// ---- items made by plug-ins --------------------------------------------------------------------

TEST(SceneDocumentOwnership, CreatedItemsJoinTheTreeOnce) {
  HostDocument doc;
  Scene& scene = doc;
  Group* group = scene.CreateGroup();
  vlm::Object* object = scene.CreateObject();
  EXPECT_EQ(FailureOf([&] { group->Parent(); }).number, err::ObjectVariableNotSet);
  EXPECT_EQ(FailureOf([&] { object->Parent(); }).number, err::ObjectVariableNotSet);

  group->SetName("New");
  group->AddObject(object);
  scene.RootGroup()->AddGroup(group);
  EXPECT_EQ(scene.RootGroup()->GroupCount(), 1);
  EXPECT_EQ(scene.RootGroup()->ChildGroup(0), group);
  EXPECT_EQ(group->Parent(), scene.RootGroup());
  EXPECT_EQ(object->Parent(), group);
  EXPECT_EQ(doc.FindGroup("New", nullptr), doc.NodeOf(group));

  // Adding an item twice, or a group into itself or into a group it holds, is refused.
  Failure twice = FailureOf([&] { scene.RootGroup()->AddGroup(group); });
  EXPECT_EQ(twice.number, err::InvalidProcedureCall);
  EXPECT_THAT(twice.description, HasSubstr("already in the scene"));
  EXPECT_EQ(FailureOf([&] { group->AddObject(object); }).number, err::InvalidProcedureCall);
  Group* outer = scene.CreateGroup();
  Group* inner = scene.CreateGroup();
  EXPECT_EQ(FailureOf([&] { outer->AddGroup(outer); }).number, err::InvalidProcedureCall);
  outer->AddGroup(inner);
  EXPECT_EQ(FailureOf([&] { inner->AddGroup(outer); }).number, err::InvalidProcedureCall);
  scene.RootGroup()->AddGroup(outer);
  EXPECT_EQ(inner->Parent(), outer);
  EXPECT_EQ(outer->Parent(), scene.RootGroup());

  // Another document's group is not ours to add.
  HostDocument other;
  EXPECT_EQ(FailureOf([&] { other.RootGroup()->AddGroup(scene.CreateGroup()); }).number,
            err::InvalidProcedureCall);

  // The root group has no parent; the root node says so with null.
  Failure root = FailureOf([&] { scene.RootGroup()->Parent(); });
  EXPECT_EQ(root.number, err::ObjectVariableNotSet);
  EXPECT_EQ(doc.RootNode()->Parent(), nullptr);
}

TEST(SceneDocumentOwnership, RemovingAGroupTakesEverythingInsideOutOfTreeSelectionAndViews) {
  HostDocument doc;
  HostNode& hangar = AddGroup(doc.Root(), "Hangar");
  HostNode& door = AddGroup(hangar, "Door");
  HostNode& panel = AddGroup(door, "Panel");
  HostMesh& wall = AddBox(hangar, "Wall", {}, {1, 1, 1});
  HostMesh& leaf = AddBox(panel, "Leaf", {}, {1, 1, 1});
  Group* doorGroup = &door.AsGroup();
  Node* panelNode = &panel.AsNode();
  vlm::Object* leafObject = &leaf.AsObject();
  Shape* leafShape = &leaf.AsShape();
  doc.scriptingSelection.groups = {&panel, &hangar};
  doc.graphSelection.nodes = {&door};
  doc.SelectObject(leaf, 1, {0, 2});
  doc.SelectObject(wall, 0, {});
  doc.SelectShape(leaf, {1});

  doc.RemoveNode(door);
  EXPECT_TRUE(hangar.children.empty());
  EXPECT_EQ(hangar.meshes.size(), 1u);
  EXPECT_THAT(doc.scriptingSelection.groups, ElementsAre(&hangar));
  EXPECT_TRUE(doc.graphSelection.nodes.empty());
  ASSERT_EQ(doc.scriptingSelection.objects.size(), 1u);
  EXPECT_EQ(doc.scriptingSelection.objects[0].mesh, &wall);
  EXPECT_TRUE(doc.graphSelection.shapes.empty());
  EXPECT_EQ(doc.NodeOf(doorGroup), nullptr);
  EXPECT_EQ(doc.NodeOf(panelNode), nullptr);
  EXPECT_EQ(doc.MeshOf(leafObject), nullptr);
  EXPECT_EQ(doc.MeshOf(leafShape), nullptr);
  EXPECT_EQ(doc.FindGroup("Hangar/Door", nullptr), nullptr);
  EXPECT_EQ(doc.RootGroup()->ChildGroup(0)->GroupCount(), 0);

  // A group made but never placed goes too; the root stays.
  Group* loose = doc.CreateGroup();
  doc.RemoveNode(*doc.NodeOf(loose));
  EXPECT_EQ(doc.NodeOf(loose), nullptr);
  EXPECT_EQ(FailureOf([&] { doc.RemoveNode(doc.Root()); }).number, err::InvalidProcedureCall);
  EXPECT_EQ(doc.Root().children.size(), 1u);
}

TEST(SceneDocumentScene, SelectionAndUnitsThroughBothViews) {
  HostDocument doc;
  HostNode& hangar = AddGroup(doc.Root(), "Hangar");
  HostMesh& wall = AddBox(hangar, "Wall", {}, {1, 1, 1});
  doc.scriptingSelection.groups = {&hangar};
  doc.scriptingSelection.objects = {{&wall, 0, {}}};
  doc.graphSelection.shapes = {{&wall, {4}}};

  EXPECT_EQ(doc.SelectedGroup(0), &hangar.AsGroup());
  EXPECT_EQ(doc.SelectedObject(0)->SelectionMode(), 0);
  EXPECT_EQ(doc.SelectedObject(0)->SelectedFaceCount(), 0);
  EXPECT_EQ(doc.SelectedShape(7, 0), &wall.AsShape());  // every device names the one view
  EXPECT_EQ(doc.SelectedNodeCount(0), 0);
  EXPECT_EQ(FailureOf([&] { doc.SelectedObject(1); }).number, err::SubscriptOutOfRange);

  doc.units = 2;
  EXPECT_EQ(doc.Units(), 2);
  EXPECT_EQ(doc.UnitScaleText(1.0f), "0.3048");
  doc.units = 7;  // unknown codes count as metres
  EXPECT_EQ(doc.UnitScaleText(1.0f), "1");
}

}  // namespace
}  // namespace vlm::host
