#include "scene/scene_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <filesystem>
#include <limits>
#include <nlohmann/json.hpp>

#include "scene/builder.h"
#include "scene/scene_text.h"
#include "support/errors.h"
#include "support/scene_texts.h"
#include "support/temp_home.h"
#include "vlm/error.h"
#include "vlm/files.h"
#include "vlm/warnings.h"

namespace vlm::host {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

const std::filesystem::path DataDir = VLM_TEST_DATA_DIR;

using test::Failure;
using test::FailureOf;

// ---- round trip ------------------------------------------------------------------------------

// A scene that uses every part of the format: units, both kinds of custom field, materials
// with a texture set, with a set of empty names and without one, rotated nested groups,
// faces without a material or with the default one, a removed polygon and both selections.
std::unique_ptr<HostDocument> RichScene() {
  auto doc = std::make_unique<HostDocument>();
  doc->units = 2;
  int32_t tether = doc->DefineNodeField("TetherData");
  doc->DefineNodeField("Unused");
  int32_t fs10 = doc->DefineMaterialField("FS10");

  HostMaterial& brick = doc->NewMaterial("Brick");
  brick.diffuse = {0.7f, 0.3f, 0.2f};
  brick.gloss = 0.35f;
  brick.SetDiffuseTexture("textures\\brick.bmp");
  brick.SetBumpTexture("brick_bump.bmp");
  brick.SetCustomField(fs10, "0.2;1");
  brick.wrapU = TextureWrap::Mirror;
  brick.wrapV = TextureWrap::Clamp;
  HostMaterial& glass = doc->NewMaterial("Glass");
  glass.SetTranslucency(60);
  glass.specularLevel = 80;
  glass.emissive = {0.1f, 0.1f, 0.12f};
  HostMaterial& bare = doc->NewMaterial("Bare");
  bare.hasTextures = true;
  bare.wrapU = bare.wrapV = TextureWrap::Clamp;

  HostNode& root = doc->Root();
  root.SetField(tether, "root \"data\"\n");
  HostNode& hangar = AddGroup(root, "Hangar", {10, 0, -5});
  hangar.SetField(tether, "1;2;3");
  HostNode& wing = AddGroup(hangar, "Wing", {3, 1.5f, 0}, {0.258819f, 0, 0.965926f}, {0.1f, 1, 0});
  HostNode& flap =
      AddGroup(wing, "Flap", {2.5f, 0, -0.6f}, {0, -0.5f, 0.866025f}, {0, 0.866025f, 0.5f});
  flap.animationKeys = 4;

  HostMesh& wall = AddBox(hangar, "Wall", {0, 2, 0}, {5, 2, 0.1f}, &brick);
  wall.SetFaceMaterial(1, nullptr);
  wall.SetFaceMaterial(2, &doc->DefaultMaterial());
  HostMesh& pane = AddPolygonMesh(
      flap, "Pane", {{0, 0, 0}, {1, 0, 0}, {1.2f, 0, 1}, {0.5f, 0, 1.6f}, {-0.2f, 0, 1}}, &glass);
  pane.smoothingAngle = 45.5f;
  pane.kind = 12;
  HostMesh& floor = AddGrid(root, "Floor", 2, 2, 0.5f, &bare);
  floor.AsShape().RemovePolygon(1);

  doc->scriptingSelection.groups = {&wing};
  doc->scriptingSelection.objects = {{&wall, 1, {0, 2}}, {&pane, 0, {}}};
  doc->graphSelection.nodes = {&hangar, &flap};
  doc->graphSelection.shapes = {{&floor, {3, 1, 2}}};
  return doc;
}

uint32_t Bits(float f) {
  return std::bit_cast<uint32_t>(f);
}

TEST(SceneRoundTrip, SerializeParseSerializeGivesTheSameText) {
  auto original = RichScene();
  std::string first = SerializeScene(*original);
  auto copy = ParseScene(first, "first.json");
  EXPECT_EQ(SerializeScene(*copy), first);

  // What the text cannot show by itself.
  EXPECT_EQ(copy->units, 2);
  EXPECT_THAT(copy->NodeFieldNames(), ElementsAre("TetherData", "Unused"));
  ASSERT_EQ(copy->Materials().size(), 3u);
  HostMaterial& bare = *copy->Materials()[2];
  EXPECT_TRUE(bare.hasTextures);
  EXPECT_NE(bare.Textures(), nullptr);
  EXPECT_EQ(copy->Materials()[1]->Textures(), nullptr);
  EXPECT_EQ(copy->Materials()[0]->GetCustomField(0), "0.2;1");
  // Wrap modes: one per axis, one for both, and repeat where the file says none.
  const std::pair<TextureWrap, TextureWrap> wraps[] = {{TextureWrap::Mirror, TextureWrap::Clamp},
                                                       {TextureWrap::Repeat, TextureWrap::Repeat},
                                                       {TextureWrap::Clamp, TextureWrap::Clamp}};
  for (size_t i = 0; i < 3; ++i)
    EXPECT_EQ(std::pair(copy->Materials()[i]->wrapU, copy->Materials()[i]->wrapV), wraps[i]) << i;
  EXPECT_THAT(first, HasSubstr("\"wrap\": [\"mirror\", \"clamp\"]"));
  EXPECT_THAT(first, HasSubstr("\"wrap\": \"clamp\""));
  EXPECT_EQ(copy->Root().Field(0), "root \"data\"\n");

  HostNode* wing = copy->FindGroup("Hangar/Wing", nullptr);
  HostNode* wing0 = original->FindGroup("Hangar/Wing", nullptr);
  ASSERT_TRUE(wing && wing0);
  for (auto [a, b] : {std::pair{wing->forward, wing0->forward},
                      {wing->up, wing0->up},
                      {wing->position, wing0->position}}) {
    EXPECT_EQ(Bits(a.x), Bits(b.x));
    EXPECT_EQ(Bits(a.y), Bits(b.y));
    EXPECT_EQ(Bits(a.z), Bits(b.z));
  }

  // The removed polygon is gone, and the selection that named polygons after it follows.
  HostMesh* floor = copy->FindMesh("Floor", nullptr);
  ASSERT_NE(floor, nullptr);
  EXPECT_EQ(floor->FaceCount(), 3u);
  ASSERT_EQ(copy->graphSelection.shapes.size(), 1u);
  EXPECT_THAT(copy->graphSelection.shapes[0].polygons, ElementsAre(2, 1));

  // Faces without a material and with the default one both read back without one.
  HostMesh* wall = copy->FindMesh("Hangar/Wall", nullptr);
  ASSERT_NE(wall, nullptr);
  EXPECT_EQ(wall->FaceMaterial(1), nullptr);
  EXPECT_EQ(wall->FaceMaterial(2), nullptr);
  EXPECT_EQ(wall->FaceMaterial(0), copy->FindMaterial("Brick"));

  ASSERT_EQ(copy->scriptingSelection.objects.size(), 2u);
  EXPECT_EQ(copy->scriptingSelection.objects[0].mode, 1);
  EXPECT_THAT(copy->scriptingSelection.objects[0].faces, ElementsAre(0, 2));
  EXPECT_EQ(copy->scriptingSelection.objects[1].mode, 0);
  EXPECT_EQ(copy->scriptingSelection.objects[1].mesh,
            copy->FindMesh("Hangar/Wing/Flap/Pane", nullptr));
  EXPECT_EQ(copy->graphSelection.nodes[1], copy->FindGroup("Hangar/Wing/Flap", nullptr));
}

TEST(SceneRoundTrip, FloatsReadBackBitIdentical) {
  // 7.038531e-26 is a shortest text that lies on the midpoint between two floats when it
  // passes through a double.
  const float awkward[] = {0.1f,        1e-7f,         123456.789f,
                           -0.0f,       7.038531e-26f, FLT_MAX,
                           -FLT_MAX,    FLT_MIN,       std::numeric_limits<float>::denorm_min(),
                           16777216.0f, 1.0f / 3.0f,   -2.5f};
  HostDocument doc;
  HostMesh& mesh = doc.NewMesh(doc.Root(), "Numbers");
  for (size_t i = 0; i < std::size(awkward); i += 3)
    mesh.vertices.push_back({awkward[i], awkward[i + 1], awkward[i + 2]});
  mesh.smoothingAngle = 0.1f;

  std::string text = SerializeScene(doc);
  EXPECT_THAT(text, HasSubstr("[0.1, 1e-07, 123456.79]"));  // short, not 0.10000000149...
  auto copy = ParseScene(text, "numbers.json");
  const HostMesh& back = *copy->Root().meshes.at(0);
  ASSERT_EQ(back.vertices.size(), mesh.vertices.size());
  for (size_t i = 0; i < mesh.vertices.size(); ++i) {
    EXPECT_EQ(Bits(back.vertices[i].x), Bits(mesh.vertices[i].x)) << i;
    EXPECT_EQ(Bits(back.vertices[i].y), Bits(mesh.vertices[i].y)) << i;
    EXPECT_EQ(Bits(back.vertices[i].z), Bits(mesh.vertices[i].z)) << i;
  }
  EXPECT_EQ(Bits(back.smoothingAngle), Bits(0.1f));
}

// Numbers are laid out as the JSON library writes a double, so files read and written before
// keep their bytes; where its digits are not the shortest (4.6733744e+21 has a few more), the
// shorter text reads back as the same double.
// Every float comes back from the double its text denotes, those whose text lands on the
// midpoint between two floats (7.038531e-26) too; a midpoint no float's text gives rounds to
// even, as any reader would.
TEST(SceneLayout, NumbersReadBackAsTheFloatsWritten) {
  std::vector<float> values = {
      7.038531e-26f, FLT_MAX, -FLT_MAX, FLT_MIN, std::numeric_limits<float>::denorm_min(),
      0.1f,          -3.4e38f};
  uint32_t bits = 54321;
  while (values.size() < 2000000) {
    bits = bits * 1664525u + 1013904223u;
    if (float value = std::bit_cast<float>(bits); std::isfinite(value)) values.push_back(value);
  }
  size_t midpoints = 0;
  for (float value : values) {
    const double written = scene_text::WrittenValue(value);
    if (static_cast<float>(written) != value) ++midpoints;
    ASSERT_TRUE(scene_text::SameBits(scene_text::ReadValue(written), value)) << value;
  }
  EXPECT_GT(midpoints, 0u);
  const double between = (1.0 + static_cast<double>(std::nextafter(1.0f, 2.0f))) / 2;
  EXPECT_EQ(scene_text::ReadValue(between), 1.0f);
}

TEST(SceneLayout, NumbersAreWrittenAsTheJsonLibraryWritesTheirDoubles) {
  // 33554648 is a whole number whose text has every digit, not the shortest ones.
  std::vector<float> values = {0.0f,          -0.0f,
                               1.0f,          12.0f,
                               33554648.0f,   0.0001f,
                               0.00001f,      1e15f,
                               1e16f,         1.5e20f,
                               FLT_MAX,       FLT_MIN,
                               7.038531e-26f, std::numeric_limits<float>::denorm_min()};
  uint32_t bits = 12345;
  while (values.size() < 200000) {
    bits = bits * 1664525u + 1013904223u;
    if (float value = std::bit_cast<float>(bits); std::isfinite(value)) values.push_back(value);
  }
  for (float value : values) {
    char text[scene_text::kFloatRoom];
    const std::string written(text, scene_text::FloatText(text, value));
    const double expected = scene_text::WrittenValue(value);
    const std::string library = nlohmann::json(expected).dump();
    if (written != library) {
      ASSERT_LT(written.size(), library.size()) << written << " / " << library;
      ASSERT_EQ(nlohmann::json::parse(written).get<double>(), expected) << written;
    }
  }
}

TEST(SceneRoundTrip, ReadingNormalisesTheOrientation) {
  auto doc = ParseScene(
      SCENE(
          "\"root\": {\"groups\": [{\"name\": \"A\", \"forward\": [0, 0, 2], \"up\": [1, 1, 1]}]}"),
      "o.json");
  const HostNode& a = *doc->Root().children.at(0);
  EXPECT_EQ(a.forward, (Vec3{0, 0, 1}));
  EXPECT_NEAR(a.up.x, 1 / std::sqrt(2.0f), 1e-6f);
  EXPECT_NEAR(a.up.y, 1 / std::sqrt(2.0f), 1e-6f);
  EXPECT_EQ(a.up.z, 0.0f);
}

// Names that a path must escape or number: the selection of such groups, and of objects in
// them, reads back as the same items.
TEST(SceneRoundTrip, SelectionOfAnyNameReadsBack) {
  HostDocument doc;
  HostNode& ab = AddGroup(doc.Root(), "a/b");
  AddGroup(ab, "Door");
  HostNode& door2 = AddGroup(ab, "Door");
  HostNode& odd = AddGroup(ab, "x\\y[1]");
  HostNode& empty = AddGroup(doc.Root(), "");
  AddBox(door2, "Panel", {}, {1, 1, 1});
  HostMesh& panel2 = AddBox(door2, "Panel", {}, {1, 1, 1});
  HostMesh& nameless = AddBox(empty, "", {}, {1, 1, 1});
  doc.scriptingSelection.groups = {&door2, &odd};
  doc.scriptingSelection.objects = {{&panel2, 1, {3}}};
  doc.graphSelection.nodes = {&empty, &ab};
  doc.graphSelection.shapes = {{&nameless, {}}};

  auto selected = [](const HostDocument& d) {
    std::vector<std::string> paths;
    for (const HostNode* n : d.scriptingSelection.groups)
      paths.push_back(n->Path());
    for (const auto& e : d.scriptingSelection.objects)
      paths.push_back(e.mesh->Path());
    for (const HostNode* n : d.graphSelection.nodes)
      paths.push_back(n->Path());
    for (const auto& e : d.graphSelection.shapes)
      paths.push_back(e.mesh->Path());
    return paths;
  };
  std::string text = SerializeScene(doc);
  auto copy = ParseScene(text, "names.json");
  EXPECT_EQ(SerializeScene(*copy), text);
  EXPECT_THAT(selected(*copy), ElementsAre("a\\/b/Door[2]", "a\\/b/x\\\\y\\[1]",
                                           "a\\/b/Door[2]/Panel[2]", "[1]", "a\\/b", "[1]/[1]"));
  EXPECT_EQ(selected(*copy), selected(doc));
  EXPECT_THAT(copy->scriptingSelection.objects.at(0).faces, ElementsAre(3));

  // A file written before names were escaped holds such names as they are.
  auto older = ParseScene(
      SCENE("\"root\": {\"groups\": [{\"name\": \"C:\\\\dir\"}, {\"name\": \"Lamp[3]\"}]}, "
            "\"selection\": {\"groups\": [\"C:\\\\dir\", \"Lamp[3]\"]}"),
      "older.json");
  EXPECT_THAT(older->scriptingSelection.groups,
              ElementsAre(older->Root().children[0].get(), older->Root().children[1].get()));
}

// A face or polygon listed twice would be worked on twice: it is selected once, with a
// warning that names the file and the place.
TEST(SceneSelection, AFaceListedTwiceIsSelectedOnce) {
  struct Case {
    const char* selection;
    std::vector<int32_t> faces;  // of the one object or shape entry
    std::vector<std::string> warnings;
  };
  const Case cases[] = {
      {"\"objects\": [{\"path\": \"Box\", \"faces\": [4, 1, 4]}]",
       {4, 1},
       {"dup.json: /selection/objects/0/faces: face 4 is listed more than once; it is selected "
        "once"}},
      {"\"shapes\": [{\"path\": \"Box\", \"polygons\": [2, 2, 2]}]",
       {2},
       {"dup.json: /selection/shapes/0/polygons: 2 repeats (the first of polygon 2) are left out; "
        "each polygon is selected once"}},
      {"\"shapes\": [{\"path\": \"Box\", \"polygons\": [0]}, {\"path\": \"Box\", "
       "\"polygons\": [5, 0]}]",
       {0, 5},
       {"dup.json: /selection/shapes/1/polygons: polygon 0 is listed more than once; it is "
        "selected once"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> warnings;
    SetWarningSink([&](const std::string& w) { warnings.push_back(w); });
    HostDocument box;
    AddBox(box.Root(), "Box", {}, {1, 1, 1});
    std::string text = SerializeScene(box);
    text.replace(text.rfind('}'), 1, ", \"selection\": {" + std::string(c.selection) + "}}");
    auto doc = ParseScene(text, "dup.json");
    SetWarningSink(nullptr);
    const auto& objects = doc->scriptingSelection.objects;
    const auto& shapes = doc->graphSelection.shapes;
    ASSERT_EQ(objects.size() + shapes.size(), 1u) << c.selection;
    EXPECT_EQ(objects.empty() ? shapes[0].polygons : objects[0].faces, c.faces) << c.selection;
    EXPECT_EQ(warnings, c.warnings) << c.selection;
  }
}

// Every byte of a small scene, so that key order, defaults left out and layout stay put.
// The same text is the example of docs/scene-format.md.
TEST(SceneLayout, ExampleFileIsWrittenBackByteForByte) {
  std::string example = ReadFile(DataDir / "scene_example.json");
  auto doc = ParseScene(example, "scene_example.json");
  EXPECT_EQ(SerializeScene(*doc), example);
}

TEST(SceneLayout, MinimalDocument) {
  HostDocument doc;
  EXPECT_EQ(SerializeScene(doc),
            "{\n"
            "  \"format\": \"vellum-scene\",\n"
            "  \"version\": 1,\n"
            "  \"units\": 0,\n"
            "  \"materials\": [],\n"
            "  \"root\": {\n"
            "    \"groups\": [],\n"
            "    \"objects\": []\n"
            "  }\n"
            "}\n");
}

// ---- writing refuses what would not read back --------------------------------------------

TEST(SceneWriting, RefusesWhatWouldNotReadBack) {
  {
    HostDocument doc;
    HostNode& a = AddGroup(doc.Root(), "A");
    AddBox(a, "Box", {}, {1, 1, 1}).vertices[2].y = std::numeric_limits<float>::quiet_NaN();
    Failure f = FailureOf([&] { SerializeScene(doc); });
    EXPECT_EQ(f.number, 5);
    EXPECT_THAT(f.description,
                StartsWith("(unsaved scene): /root/groups/0/objects/0/vertices/2/1: the number "
                           "is not finite"));
  }
  {
    HostDocument doc;
    AddGroup(doc.Root(), "Caf\xe9");  // Latin-1, not UTF-8
    Failure f = FailureOf([&] { SerializeScene(doc); });
    EXPECT_THAT(f.description,
                StartsWith("(unsaved scene): /root/groups/0/name: the text is not valid UTF-8"));
  }
  // Groups nested as deep as the reader takes are written; one level more is refused.
  int written = 0, refused = 0;
  for (int depth = 245; depth <= 256; ++depth) {
    HostDocument doc;
    HostNode* node = &doc.Root();
    for (int i = 0; i < depth; ++i)
      node = &AddGroup(*node, "G");
    AddBox(*node, "Box", {}, {1, 1, 1});
    std::string text;
    Failure f = FailureOf([&] { text = SerializeScene(doc); });
    if (text.empty()) {
      EXPECT_THAT(f.description, HasSubstr("nested more than 512 levels deep")) << depth;
      ++refused;
    } else {
      EXPECT_EQ(FailureOf([&] { ParseScene(text, "deep.json"); }).number, 0) << depth;
      EXPECT_EQ(refused, 0) << depth;
      ++written;
    }
  }
  EXPECT_GT(written, 0);
  EXPECT_GT(refused, 0);
}

TEST(SceneWriting, SaveReplacesTheFileOnlyWhenComplete) {
  test::TempHome home;
  const auto file = home.Path() / "scene.json";
  auto doc = RichScene();
  SaveScene(*doc, file);
  const std::string saved = ReadFile(file);
  EXPECT_EQ(SerializeScene(*LoadScene(file)), saved);

  // A failed save names the file and leaves the earlier one, and nothing else, behind.
  doc->Root().children[0]->position.x = std::numeric_limits<float>::infinity();
  Failure f = FailureOf([&] { SaveScene(*doc, file); });
  EXPECT_THAT(f.description, StartsWith(file.string() + ": /root/groups/0/position/0: "));
  EXPECT_EQ(ReadFile(file), saved);
  size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(home.Path()))
    ++entries;
  EXPECT_EQ(entries, 1u);

  Failure missingFolder =
      FailureOf([&] { SaveScene(HostDocument(), home.Path() / "no" / "x.json"); });
  EXPECT_EQ(missingFolder.number, err::PathFileAccess);
  EXPECT_THAT(missingFolder.description, HasSubstr("x.json"));
  EXPECT_THAT(missingFolder.description, Not(HasSubstr("(unsaved scene)")));
}

}  // namespace
}  // namespace vlm::host
