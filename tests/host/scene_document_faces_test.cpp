// The faces of a mesh as plug-ins reach them: one point at a time through a face they hold,
// or whole faces and polygons at once.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "scene/builder.h"
#include "scene/document.h"
#include "support/errors.h"
#include "vlm/error.h"

namespace vlm::host {
namespace {

using ::testing::ElementsAre;

using test::Failure;
using test::FailureOf;

TEST(SceneDocumentFaces, AddPointChecksEveryIndex) {
  HostDocument doc;
  vlm::Object& object = *doc.CreateObject();
  for (Vec3 v : {Vec3{0, 0, 0}, Vec3{1, 0, 0}, Vec3{0, 0, 1}})
    object.AddVertex(v);
  Face& face = *object.AddFace();

  face.AddPoint(0, 0, 0);  // no normals or texture coordinates yet: 0 means none
  EXPECT_EQ(face.PointNormal(0), -1);
  EXPECT_EQ(face.PointTextureCoordinate(0), -1);

  Failure vertex = FailureOf([&] { face.AddPoint(3, -1, -1); });
  EXPECT_EQ(vertex.number, err::SubscriptOutOfRange);
  EXPECT_EQ(vertex.description, "vertex index 3 is outside 0..2");
  EXPECT_EQ(FailureOf([&] { face.AddPoint(0, 1, -1); }).number, err::SubscriptOutOfRange);
  EXPECT_EQ(FailureOf([&] { face.AddPoint(0, -1, -2); }).number, err::SubscriptOutOfRange);
  EXPECT_EQ(face.PointCount(), 1);  // a refused point is not added

  object.AddNormal({0, 1, 0});
  face.AddPoint(1, 0, -1);  // now 0 is the first normal
  EXPECT_EQ(face.PointNormal(1), 0);
  EXPECT_EQ(FailureOf([&] { face.PointVertex(2); }).number, err::SubscriptOutOfRange);
}

// Whole faces and polygons (and the room asked for them) are checked before anything is
// added: a refusal leaves the mesh as it was.
TEST(SceneDocumentFaces, WholeFacesAreCheckedBeforeAnythingIsAdded) {
  HostDocument doc;
  HostMesh& mesh = doc.NewMesh(doc.Root(), "Mesh");
  mesh.vertices.assign(3, Vec3{});
  mesh.normals.assign(1, Vec3{0, 1, 0});
  mesh.AddFace(std::vector<HostPoint>{{0, -1, -1}, {1, -1, -1}, {2, 0, -1}});
  Object& object = mesh.AsObject();
  Shape& shape = mesh.AsShape();
  HostDocument other;
  vlm::Material* stranger = other.CreateMaterial();
  std::vector<int32_t> read;
  std::vector<FacePoint> readPoints;
  const struct {
    const char* what;
    std::function<void()> call;
    int32_t error;
  } cases[] = {
      {"a polygon's position past the last",
       [&] {
         shape.AddPolygons(std::vector{3}, std::vector{0, 1, 3});
       },
       err::SubscriptOutOfRange},
      {"a negative position in the second polygon",
       [&] {
         shape.AddPolygons(std::vector{3, 3}, std::vector{0, 1, 2, 0, -1, 2});
       },
       err::SubscriptOutOfRange},
      {"counts short of the positions",
       [&] {
         shape.AddPolygons(std::vector{3}, std::vector{0, 1, 2, 0});
       },
       err::InvalidProcedureCall},
      {"a negative count",
       [&] {
         shape.AddPolygons(std::vector{4, -1}, std::vector{0, 1, 2});
       },
       err::InvalidProcedureCall},
      {"negative room", [&] { shape.Reserve(0, -1, 0); }, err::InvalidProcedureCall},
      {"negative room for vertices", [&] { object.Reserve(-5, 0, 0); }, err::InvalidProcedureCall},
      {"a face's vertex past the last",
       [&] {
         object.AddFaceOfPoints(std::vector<FacePoint>{{0, -1, -1}, {3, -1, -1}}, nullptr);
       },
       err::SubscriptOutOfRange},
      {"a face's normal past the last",
       [&] {
         object.AddFaceOfPoints(std::vector<FacePoint>{{0, 1, -1}}, nullptr);
       },
       err::SubscriptOutOfRange},
      {"a face's texture coordinate below -1",
       [&] {
         object.AddFaceOfPoints(std::vector<FacePoint>{{0, -1, -2}}, nullptr);
       },
       err::SubscriptOutOfRange},
      {"a material of another scene",
       [&] {
         object.AddFaceOfPoints(std::vector<FacePoint>{{0, -1, -1}}, stranger);
       },
       err::InvalidProcedureCall},
      {"points of a polygon past the last", [&] { shape.GetPolygonPoints(1, read); },
       err::SubscriptOutOfRange},
      {"points of a negative face", [&] { object.GetFacePoints(-1, readPoints); },
       err::SubscriptOutOfRange},
      {"the normal of a face past the last", [&] { object.GetFaceNormal(1); },
       err::SubscriptOutOfRange},
      {"the material of a polygon past the last", [&] { object.FaceMaterial(1); },
       err::SubscriptOutOfRange},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(FailureOf(c.call).number, c.error);
    EXPECT_EQ(mesh.FaceCount(), 1u);
    EXPECT_EQ(mesh.TotalPoints(), 3u);
  }

  // What is accepted reads back through the views as it went in.
  EXPECT_EQ(shape.AddPositions(std::vector<Vec3>{{1, 2, 3}}), 3);
  EXPECT_EQ(shape.AddPolygons(std::vector{3, 0}, std::vector{3, 1, 0}), 1);
  shape.GetPolygonPoints(1, read);
  EXPECT_THAT(read, ElementsAre(3, 1, 0));
  object.GetFacePoints(0, readPoints);
  EXPECT_THAT(readPoints,
              ElementsAre(FacePoint{0, -1, -1}, FacePoint{1, -1, -1}, FacePoint{2, 0, -1}));
  EXPECT_EQ(object.AddFaceOfPoints(std::vector<FacePoint>{{2, 0, 0}}, nullptr), 3);
  object.GetFacePoints(3, readPoints);
  EXPECT_THAT(readPoints, ElementsAre(FacePoint{2, 0, -1}));  // 0: no texture coordinates yet
  EXPECT_EQ(mesh.FaceCount(), 4u);
}

// A face a plug-in holds stays the same object while faces are added and points go into
// earlier faces, follows its face when Compact moves it down, and refuses every call once
// its face is gone.
TEST(SceneDocumentFaces, HeldFacesKeepToTheirFaces) {
  HostDocument doc;
  HostMesh& mesh = doc.NewMesh(doc.Root(), "Mesh");
  mesh.vertices.assign(5, Vec3{});
  Object& object = mesh.AsObject();
  Shape& shape = mesh.AsShape();
  std::vector<Face*> held;
  struct Step {
    const char* what;
    std::function<void()> change;
    size_t faces;
    std::vector<std::vector<int32_t>> first;  // the vertices of the first faces
    std::vector<int> heldAt;                  // each held face's index now; -1 gone
  };
  const Step steps[] = {
      {"a face, filled through its pointer",
       [&] {
         held.push_back(object.AddFace());
         held[0]->AddPoint(0, -1, -1);
       },
       1,
       {{0}},
       {0}},
      {"a second face, then a point for the first",
       [&] {
         held.push_back(object.AddFace());
         held[1]->AddPoint(1, -1, -1);
         held[0]->AddPoint(2, -1, -1);
       },
       2,
       {{0, 2}, {1}},
       {0, 1}},
      {"a hundred faces more, then a point for the second",
       [&] {
         for (int i = 0; i < 100; ++i)
           shape.AddPolygon()->AddPoint(3, -1, -1);
         held[1]->AddPoint(4, -1, -1);
       },
       102,
       {{0, 2}, {1, 4}, {3}},
       {0, 1}},
      {"a thousand polygons added whole after room for them, then a point for the first",
       [&] {
         shape.Reserve(0, 1000, 3000);
         const std::vector<int32_t> counts(1000, 3), positions(3000, 2);
         shape.AddPolygons(counts, positions);
         const FacePoint point{4, -1, -1};
         object.AddFaceOfPoints({&point, 1}, nullptr);
         held[0]->AddPoint(3, -1, -1);
       },
       1103,
       {{0, 2, 3}, {1, 4}, {3}},
       {0, 1}},
      {"the first removed and compacted",
       [&] {
         held.push_back(object.Face(2));
         shape.RemovePolygon(0);
         shape.Compact();
       },
       1102,
       {{1, 4}, {3}},
       {-1, 0, 1}},
      {"every face cleared", [&] { mesh.ClearFaces(); }, 0, {}, {-1, -1, -1}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    step.change();
    ASSERT_EQ(mesh.FaceCount(), step.faces);
    for (size_t f = 0; f < step.first.size(); ++f) {
      std::vector<int32_t> vertices;
      for (const HostPoint& p : mesh.Points(f))
        vertices.push_back(p.vertex);
      EXPECT_EQ(vertices, step.first[f]) << "face " << f;
    }
    for (size_t h = 0; h < held.size(); ++h) {
      auto* face = static_cast<HostFace*>(held[h]);
      if (step.heldAt[h] < 0) {
        EXPECT_EQ(FailureOf([&] { face->PointCount(); }).number, err::ObjectVariableNotSet);
        EXPECT_EQ(FailureOf([&] { face->AddPoint(0, -1, -1); }).number, err::ObjectVariableNotSet);
        continue;
      }
      EXPECT_EQ(object.Face(step.heldAt[h]), face) << "held face " << h;
      EXPECT_EQ(shape.Polygon(step.heldAt[h]), face) << "held face " << h;
      const auto points = mesh.Points(size_t(step.heldAt[h]));
      ASSERT_EQ(face->PointCount(), static_cast<int32_t>(points.size()));
      for (size_t k = 0; k < points.size(); ++k)
        EXPECT_EQ(face->PointVertex(int32_t(k)), points[k].vertex);
    }
  }
}

}  // namespace
}  // namespace vlm::host
