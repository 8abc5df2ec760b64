#include "obverse/obverse.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "scene/builder.h"
#include "support/dialogs.h"
#include "support/expect_near.h"

namespace vlm {
namespace {

using test::ExpectNear;

using host::HostDocument;
using host::HostMesh;
using host::HostNode;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

Status Apply(Obverse& tool, HostDocument& doc) {
  return tool.Plugin_Apply(&doc, &doc, 0, {}, {}, "");
}

Vec3 Reflect(Vec3 v, char axis) {
  if (axis == 'X') v.x = -v.x;
  if (axis == 'Y') v.y = -v.y;
  if (axis == 'Z') v.z = -v.z;
  return v;
}

HostNode* Child(HostNode& node, const std::string& name) {
  for (auto& c : node.children)
    if (c->name == name) return c.get();
  return nullptr;
}

// Hangar holds Wing (moved, turned about y) which holds Flap (moved, tilted about x and z).
struct Hierarchy {
  HostDocument doc;
  HostNode* hangar;
  HostNode* wing;
  HostNode* flap;
  Hierarchy() {
    hangar = &host::AddGroup(doc.Root(), "Hangar", {1, 2, 3});
    wing = &host::AddGroup(*hangar, "Wing", {3, 1.5f, -1}, {0.258819f, 0, 0.965926f});
    host::AddBox(*wing, "Spar", {1.5f, 0, 0}, {1.5f, 0.1f, 0.4f});
    flap = &host::AddGroup(*wing, "Flap", {2.5f, 0.2f, -0.6f}, {0.3f, -0.5f, 0.8f},
                           {0.1f, 0.9f, 0.4f});
    host::AddPolygonMesh(*flap, "Tab", {{0, 0, 0}, {1, 0, 0}, {1.2f, 0.3f, 1}, {0, 0.1f, 1}});
    flap->meshes.back()->smoothingAngle = 45;
    doc.scriptingSelection.groups.push_back(wing);
  }
};

TEST(ObverseDescription, StatesItsValuesAndLeavesValidationAlone) {
  Obverse tool;
  for (int pass = 0; pass < 2; ++pass) {
    std::string name, author;
    int32_t cost = -5, pluginClass = -5;
    EXPECT_EQ(tool.Plugin_Name(name), StatusOk);
    EXPECT_EQ(name, "Mirror Select Group and hierarchy");
    EXPECT_EQ(tool.Plugin_Author(author), StatusOk);
    EXPECT_EQ(author, "Ardo Venmark");
    EXPECT_EQ(tool.Plugin_Cost(cost), StatusOk);
    EXPECT_EQ(cost, 0);
    EXPECT_EQ(tool.Plugin_PluginClass(pluginClass), StatusOk);
    EXPECT_EQ(pluginClass, 0);
    ValidationRecord r{7, 8, 9, 10, 11, 12};
    EXPECT_EQ(tool.Plugin_GetValidation(r), StatusOk);
    EXPECT_EQ(r.ValidMinComponents, 9);
    EXPECT_EQ(r.ValidMaxComponents, 10);
    EXPECT_EQ(r.ValidMinShapeSubSelection, 11);
    EXPECT_EQ(r.ValidMaxShapeSubSelection, 12);
    Picture icon{1, 1, {0, 0, 0}};
    EXPECT_EQ(tool.Plugin_Icon(icon), StatusOk);
    EXPECT_TRUE(icon.Empty());
  }
}

// For every axis: each world-space vertex of the copy is the mirror image of the source's,
// and every face of the copy faces the mirror image of the source face's direction.
class ObverseAxis : public ::testing::TestWithParam<char> {};

TEST_P(ObverseAxis, CopyIsTheMirrorImageInWorldSpace) {
  const char axis = GetParam();
  Hierarchy h;
  test::ScriptedScope dialogs(std::string("input ") + static_cast<char>(std::tolower(axis)));
  Obverse tool;
  ASSERT_EQ(Apply(tool, h.doc), StatusOk);

  const std::string suffix(1, axis);
  HostNode* wingCopy = Child(*h.hangar, "Wing" + suffix);
  ASSERT_NE(wingCopy, nullptr);
  HostNode* flapCopy = Child(*wingCopy, "Flap" + suffix);
  ASSERT_NE(flapCopy, nullptr);
  ASSERT_EQ(wingCopy->meshes.size(), 1u);
  EXPECT_EQ(wingCopy->meshes[0]->name, "Spar");  // objects keep their names

  // The mirror plane lies in the frame of the source's parent (Hangar): points and
  // directions are compared there.
  const Mat4 hangarWorld = h.hangar->WorldMatrix();
  const Mat4 worldToHangar = Transpose(hangarWorld);  // its rotation part undoes Hangar's
  const Vec3 hangarOrigin{hangarWorld(3, 0), hangarWorld(3, 1), hangarWorld(3, 2)};
  auto inHangar = [&](Vec3 world) {
    return TransformDirection(world - hangarOrigin, worldToHangar);
  };
  auto dirInHangar = [&](Vec3 d) { return TransformDirection(d, worldToHangar); };

  for (auto [source, copy] : {std::pair{h.wing, wingCopy}, std::pair{h.flap, flapCopy}}) {
    ASSERT_EQ(source->meshes.size(), copy->meshes.size());
    for (size_t m = 0; m < source->meshes.size(); ++m) {
      HostMesh& s = *source->meshes[m];
      HostMesh& c = *copy->meshes[m];
      auto sv = host::WorldVertices(s);
      auto cv = host::WorldVertices(c);
      ASSERT_EQ(sv.size(), cv.size());
      for (size_t i = 0; i < sv.size(); ++i)
        ExpectNear(inHangar(cv[i]), Reflect(inHangar(sv[i]), axis),
                   s.name + " vertex " + std::to_string(i), 1e-4f);
      ASSERT_EQ(s.FaceCount(), c.FaceCount());
      const Mat4 sw = source->WorldMatrix(), cw = copy->WorldMatrix();
      for (size_t f = 0; f < s.FaceCount(); ++f) {
        Vec3 sn = TransformDirection(s.FaceNormal(f), sw);
        Vec3 cn = TransformDirection(c.FaceNormal(f), cw);
        ExpectNear(dirInHangar(cn), Reflect(dirInHangar(sn), axis),
                   s.name + " face " + std::to_string(f), 1e-4f);
      }
      EXPECT_EQ(c.smoothingAngle, s.smoothingAngle);
      EXPECT_EQ(c.uvs, s.uvs);
    }
  }
  // The source is untouched and the copy sits beside it.
  EXPECT_EQ(h.hangar->children.size(), 2u);
  EXPECT_EQ(h.wing->children.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Axes, ObverseAxis, ::testing::Values('X', 'Y', 'Z'));

TEST(Obverse, FacesAreRewoundKeepingTheFirstPoint) {
  HostDocument doc;
  HostNode& g = host::AddGroup(doc.Root(), "G");
  HostMesh& quad = host::AddPolygonMesh(g, "Quad", {{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}});
  // Give the quad distinct normals per point so the translation of every index shows.
  quad.normals = {{0, 1, 0}, {0, 0.9f, 0.1f}, {0, 0.8f, 0.2f}, {0, 0.7f, 0.3f}};
  for (int i = 0; i < 4; ++i)
    quad.Points(0)[static_cast<size_t>(i)].normal = i;
  doc.scriptingSelection.objects.push_back({&quad, 0, {}});

  test::ScriptedScope dialogs("input x");
  Obverse tool;
  ASSERT_EQ(Apply(tool, doc), StatusOk);
  HostNode* copy = Child(doc.Root(), "GX");
  ASSERT_NE(copy, nullptr);
  const auto& points = copy->meshes[0]->Points(0);
  ASSERT_EQ(points.size(), 4u);
  // (A, B, C, D) becomes (A, D, C, B), each point carrying its own indices.
  EXPECT_EQ(points[0], (host::HostPoint{0, 0, 0}));
  EXPECT_EQ(points[1], (host::HostPoint{3, 3, 3}));
  EXPECT_EQ(points[2], (host::HostPoint{2, 2, 2}));
  EXPECT_EQ(points[3], (host::HostPoint{1, 1, 1}));
  EXPECT_EQ(copy->meshes[0]->normals[1], (Vec3{0, 0.9f, 0.1f}));  // x was already 0
  EXPECT_EQ(copy->meshes[0]->vertices[1], (Vec3{-1, 0, 0}));
}

TEST(Obverse, SelectionDecidesTheSourceGroup) {
  HostDocument doc;
  HostNode& a = host::AddGroup(doc.Root(), "A");
  HostNode& b = host::AddGroup(doc.Root(), "B");
  HostMesh& inB = host::AddBox(b, "Box", {}, {1, 1, 1});
  HostMesh& inA = host::AddBox(a, "Box", {}, {1, 1, 1});

  {  // one group and several objects: the group
    doc.scriptingSelection.groups = {&a};
    doc.scriptingSelection.objects = {{&inB, 0, {}}, {&inA, 0, {}}};
    test::ScriptedScope dialogs("input X");
    Obverse tool;
    ASSERT_EQ(Apply(tool, doc), StatusOk);
    EXPECT_NE(Child(doc.Root(), "AX"), nullptr);
    EXPECT_EQ(Child(doc.Root(), "BX"), nullptr);
  }
  {  // two groups and one object: the object's group
    doc.scriptingSelection.groups = {&a, &b};
    doc.scriptingSelection.objects = {{&inB, 0, {}}};
    test::ScriptedScope dialogs("input Z");
    Obverse tool;
    ASSERT_EQ(Apply(tool, doc), StatusOk);
    EXPECT_NE(Child(doc.Root(), "BZ"), nullptr);
    EXPECT_EQ(Child(doc.Root(), "AZ"), nullptr);
  }
}

TEST(Obverse, UnsuitableSelectionOrAnswerCreatesNothing) {
  struct Case {
    const char* what;
    int groups;
    std::string script;
    std::vector<std::string> messages;
  };
  const std::vector<Case> cases = {
      {"no selection", 0, "", {"Please select a single group or an object within a group."}},
      {"two groups", 2, "", {"Please select a single group or an object within a group."}},
      {"cancelled input box", 1, "input ", {}},
      {"not an axis", 1, "input w", {"Mirror Direction must be X, Y or Z."}},
      {"two letters", 1, "input XY", {"Mirror Direction must be X, Y or Z."}},
  };
  for (const Case& c : cases) {
    HostDocument doc;
    HostNode& a = host::AddGroup(doc.Root(), "A");
    HostNode& b = host::AddGroup(doc.Root(), "B");
    if (c.groups >= 1) doc.scriptingSelection.groups.push_back(&a);
    if (c.groups >= 2) doc.scriptingSelection.groups.push_back(&b);
    test::ScriptedScope dialogs(c.script);
    Obverse tool;
    EXPECT_EQ(Apply(tool, doc), StatusOk) << c.what;
    EXPECT_EQ(doc.Root().children.size(), 2u) << c.what;
    EXPECT_EQ(dialogs.Messages(), c.messages) << c.what;
  }
}

TEST(Obverse, EmptyGroupGetsSuffixAndMirroredPlacement) {
  HostDocument doc;
  HostNode& g = host::AddGroup(doc.Root(), "Empty", {2, 3, 4});
  doc.scriptingSelection.groups = {&g};
  test::ScriptedScope dialogs("input Y");
  Obverse tool;
  ASSERT_EQ(Apply(tool, doc), StatusOk);
  HostNode* copy = Child(doc.Root(), "EmptyY");
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->position, (Vec3{2, -3, 4}));
  EXPECT_THAT(copy->meshes, IsEmpty());
  EXPECT_THAT(copy->children, IsEmpty());
}

TEST(Obverse, TopLevelRootSelectionFailsWithHostError) {
  HostDocument doc;
  doc.scriptingSelection.groups = {&doc.Root()};
  test::ScriptedScope dialogs("input X");
  Obverse tool;
  Status s = Apply(tool, doc);
  EXPECT_EQ(s, StatusFromError(err::ObjectVariableNotSet));
  EXPECT_THAT(LastError().description, ::testing::HasSubstr("no parent"));
}

TEST(Obverse, NoAnswerQueuedTakesTheDefaultX) {
  Hierarchy h;
  test::ScriptedScope dialogs;  // accepts every dialog: the input box gives its default
  Obverse tool;
  ASSERT_EQ(Apply(tool, h.doc), StatusOk);
  EXPECT_NE(Child(*h.hangar, "WingX"), nullptr);
  EXPECT_THAT(dialogs.Messages(), ElementsAre());
}

}  // namespace
}  // namespace vlm
