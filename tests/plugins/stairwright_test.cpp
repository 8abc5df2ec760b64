#include "stairwright/stairwright.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "scene/builder.h"
#include "support/dialogs.h"
#include "support/stated_values.h"
#include "support/temp_home.h"
#include "vlm/settings.h"

namespace vlm {
namespace {

using host::HostDocument;
using host::HostMesh;
using host::HostNode;
using ::testing::ElementsAre;

struct Fixture {
  test::TempHome home;
  HostDocument doc;
  std::vector<std::string> messages, help;

  Status run(const std::string& script = {}) {
    test::ScriptedScope scope(script);
    Stairwright tool;
    Status s = tool.Plugin_Apply(&doc, &doc, 0, {}, {}, "");
    messages = scope.Messages();
    help = scope.Texts(TranscriptEntry::Kind::Help);
    return s;
  }
  HostNode* steps() {
    for (auto& c : doc.Root().children)
      if (c->name == "Steps") return c.get();
    return nullptr;
  }
  std::vector<std::string> names() {
    std::vector<std::string> out;
    if (HostNode* g = steps())
      for (auto& m : g->meshes)
        out.push_back(m->name);
    return out;
  }
};

Vec3 Min(const HostMesh& m) {
  Vec3 r = m.vertices.at(0);
  for (Vec3 v : m.vertices)
    r = {std::min(r.x, v.x), std::min(r.y, v.y), std::min(r.z, v.z)};
  return r;
}
Vec3 Max(const HostMesh& m) {
  Vec3 r = m.vertices.at(0);
  for (Vec3 v : m.vertices)
    r = {std::max(r.x, v.x), std::max(r.y, v.y), std::max(r.z, v.z)};
  return r;
}

TEST(StairwrightDescription, StatesItsValues) {
  Stairwright tool;
  EXPECT_EQ(test::ReadStated(tool),
            (test::Stated{"Step Maker", "\u00a9 2008 Ardo Venmark", 3, 2, {7, 8, 0, 999, 0, 999}}));
}

TEST(Stairwright, DefaultsBuildEightBoardsBetweenTwoSupports) {
  Fixture f;
  ASSERT_EQ(f.run(), StatusOk);
  EXPECT_THAT(f.messages, ::testing::IsEmpty());
  EXPECT_THAT(f.names(), ElementsAre("LeftSupport", "RightSupport", "Step1", "Step2", "Step3",
                                     "Step4", "Step5", "Step6", "Step7", "Step8"));
  HostNode& g = *f.steps();
  EXPECT_EQ(g.position, (Vec3{0, 0, 0}));

  const float r = 2.6f / 9;
  const HostMesh& left = *g.meshes[0];
  const HostMesh& right = *g.meshes[1];
  EXPECT_NEAR(Max(left).x, 0.75f, 1e-6f);
  EXPECT_NEAR(Min(left).x, 0.70f, 1e-6f);
  EXPECT_NEAR(Min(right).x, -0.75f, 1e-6f);
  EXPECT_NEAR(Max(left).y, 2.6f, 1e-6f);
  EXPECT_EQ(left.FaceCount(), 6u);
  // The top of a support is moved by the run: it rises from z = 0 to z = 1.6.
  const float halfDepth = (0.03f * 1.6f / 2.6f + 0.3f) / 2;
  EXPECT_NEAR(left.vertices[0].z, -halfDepth + 1.6f, 1e-6f);
  EXPECT_NEAR(left.vertices[7].z, -halfDepth, 1e-6f);

  for (int k = 1; k <= 8; ++k) {
    const HostMesh& board = *g.meshes[static_cast<size_t>(k + 1)];
    const std::string where = board.name;
    EXPECT_EQ(board.FaceCount(), 4u) << where;
    EXPECT_NEAR(Max(board).x - Min(board).x, 1.4f, 1e-6f) << where;
    EXPECT_NEAR((Max(board).y + Min(board).y) / 2, k * r, 1e-5f) << where;
    // The first vertex is the corner (+x, +y, -z).
    EXPECT_NEAR(board.vertices[0].x, 0.7f, 1e-6f) << where;
    EXPECT_NEAR(board.vertices[0].y, k * r + 0.015f, 1e-5f) << where;
    EXPECT_NEAR(board.vertices[0].z, k * r * 1.6f / 2.6f - 0.15f, 1e-5f) << where;
    EXPECT_EQ(board.smoothingAngle, 70.0f) << where;
  }
}

TEST(Stairwright, BoxFacesFollowTheMask) {
  HostDocument doc;
  for (int mask : {boxface::All, 57, boxface::Top, 0}) {
    Object* box = doc.CreateObject();
    Stairwright::makeBox(*box, {1, 2, 3}, {0.5f, 1, 2}, mask);
    EXPECT_EQ(box->VertexCount(), 8);
    EXPECT_EQ(box->NormalCount(), 6);
    EXPECT_EQ(box->GetVertex(0), (Vec3{1.5f, 3, 1}));
    EXPECT_EQ(box->GetVertex(6), (Vec3{0.5f, 1, 1}));
    int faces = 0;
    for (int bit = 1; bit < 64; bit <<= 1)
      faces += (mask & bit) != 0;
    ASSERT_EQ(box->FaceCount(), faces) << mask;
    // Every face faces the way of its normal.
    for (int32_t i = 0; i < box->FaceCount(); ++i) {
      Face* face = box->Face(i);
      Vec3 n = box->GetNormal(face->PointNormal(0));
      EXPECT_GT(Dot(face->GetNormal(), n), 0.99f) << mask << " face " << i;
    }
  }
}

TEST(Stairwright, NoStepsGivesOnlyTheSupports) {
  Fixture f;
  ASSERT_EQ(f.run("txt(5)=0; click OKButton"), StatusOk);
  EXPECT_THAT(f.names(), ElementsAre("LeftSupport", "RightSupport"));
}

TEST(Stairwright, AFlightThatCannotBeBuiltIsReportedAndCreatesNothing) {
  const std::pair<const char*, const char*> cases[] = {
      {"txt(0)=0; click OKButton", "11 - Division by zero\r"},
      {"txt(5)=-1; click OKButton", "11 - Division by zero\r"},
      {"txt(1)=abc; enter", "13 - Type mismatch: the field \"Base\" (txt(1)) holds \"abc\"\r"},
      {"txt(5)=99999; click OKButton",
       "6 - Overflow: the field \"Steps\" (txt(5)) holds \"99999\"\r"},
      {"txt(0)=3e38; txt(1)=3e38; txt(4)=3e38; click OKButton", "6 - Overflow\r"},
  };
  for (auto [script, message] : cases) {
    Fixture f;
    ASSERT_EQ(f.run(script), StatusOk) << script;
    EXPECT_THAT(f.messages, ElementsAre(message)) << script;
    EXPECT_EQ(f.steps(), nullptr) << script;
  }
}

TEST(Stairwright, AFirstRunBuildsEightStepsInEveryUnit) {
  for (int32_t units : {0, 1, 2}) {
    Fixture f;
    f.doc.units = units;
    ASSERT_EQ(f.run(), StatusOk) << units;
    EXPECT_EQ(f.names().size(), 2u + 8u) << units;
    EXPECT_EQ(GetSetting("VLMPlugin", "Stairwright", "txt5"), "8") << units;
  }
}

TEST(Stairwright, CancelCreatesNothingAndHelpOpensTheHelpFile) {
  Fixture f;
  ASSERT_EQ(f.run("click cmdHelp; click CancelButton"), StatusOk);
  EXPECT_EQ(f.steps(), nullptr);
  ASSERT_EQ(f.help.size(), 1u);
  EXPECT_THAT(f.help[0], ::testing::EndsWith("\\vlmplugins.chm"));
}

TEST(frmStep, TheStepCountIsNotReadAsFeetAndInches) {
  test::TempHome home;
  test::ScriptedScope scope("txt(5)=7.0; txt(0)=5'6; txt(1)=2.0; click CancelButton");
  frmStep dialog;
  dialog.ShowModal();
  EXPECT_EQ(dialog.txt(5).Text(), "7.0");
  EXPECT_EQ(dialog.txt(0).Text(), "1.676");
  EXPECT_EQ(dialog.txt(1).Text(), "2");
}

TEST(frmStep, PreviewIsASideViewOfTheFlight) {
  test::TempHome home;
  frmStep dialog;
  dialog.Load();
  const auto& c = dialog.picBuf.Commands();
  using Op = DrawCommand::Op;
  ASSERT_EQ(c.size(), 2u + 4u + 8u);
  ASSERT_EQ(c[0].op, Op::Scale);
  const double H = 2.6f, B = 1.6f, T = 0.3f, D = 0.03f;
  EXPECT_NEAR(c[0].x1, -T / 2, 1e-6);
  EXPECT_NEAR(c[0].y1, -1.01 * H, 1e-6);
  EXPECT_NEAR(c[0].x2, 320.0 / 200.0 * H * 1.02, 1e-6);
  EXPECT_NEAR(c[0].y2, H * 1.02, 1e-6);
  EXPECT_EQ(c[1].op, Op::Clear);
  EXPECT_EQ(c[2].op, Op::Line);
  EXPECT_NEAR(c[3].x2, B - T / 2, 1e-6);
  EXPECT_NEAR(c[3].y2, -H, 1e-6);
  const double r = H / 9;
  for (int k = 1; k <= 8; ++k) {
    const DrawCommand& box = c[static_cast<size_t>(5 + k)];
    ASSERT_EQ(box.op, Op::Rectangle) << k;
    EXPECT_NEAR(box.x1, k * r * B / H - T / 2, 1e-5) << k;
    EXPECT_NEAR(box.y1, -k * r, 1e-5) << k;
    EXPECT_NEAR(box.x2 - box.x1, T, 1e-5) << k;
    EXPECT_NEAR(box.y2 - box.y1, D, 1e-5) << k;
  }

  // A field that cannot be read leaves out only what needs it: with no height there is no
  // scale to set and no rise, but the outline is still drawn.
  dialog.txt(0).SetText("abc");
  dialog.drawPreview();
  EXPECT_EQ(dialog.picBuf.Commands().size(), 2u + 4u);
  EXPECT_NEAR(dialog.picBuf.Commands()[0].y1, -1.01 * H, 1e-6);
}

// Every line and board of the preview lies inside the picture, however low or long the
// flight: a low one gets a flatter picture, not a cut view.
TEST(frmStep, PreviewShowsTheWholeFlight) {
  test::TempHome home;
  const std::vector<std::vector<const char*>> flights = {
      {"2.6", "1.6", "0.3"}, {"0.6", "1.6", "0.3"}, {"0.3", "1.6", "0.3"}, {"5", "0.5", "0.2"}};
  for (const auto& flight : flights) {
    frmStep dialog;
    dialog.Load();
    for (int i : {0, 1, 3})
      dialog.txt(i).SetText(flight[i == 3 ? 2 : static_cast<size_t>(i)]);
    const auto& c = dialog.picBuf.Commands();
    ASSERT_EQ(c.size(), 2u + 4u + 8u) << flight[0];
    const double left = c[0].x1, top = c[0].y1;
    // The scale's width follows the picture's proportions.
    EXPECT_NEAR(c[0].x2 / c[0].y2,
                static_cast<double>(dialog.picBuf.Width()) / dialog.picBuf.Height(), 1e-6);
    for (size_t i = 2; i < c.size(); ++i)
      for (double x : {c[i].x1, c[i].x2})
        EXPECT_TRUE(x >= left - 1e-6 && x <= left + c[0].x2 + 1e-6) << flight[0] << " " << i;
    for (size_t i = 2; i < c.size(); ++i)
      for (double y : {c[i].y1, c[i].y2})
        EXPECT_TRUE(y >= top - 1e-6 && y <= top + c[0].y2 + 1e-6) << flight[0] << " " << i;
  }
}

}  // namespace
}  // namespace vlm
