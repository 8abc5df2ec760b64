// Reading scene files that are not what they should be (host/scene/scene_reader): every
// message names the file, the place and the problem.
#include "scene/scene_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "scene/builder.h"
#include "support/errors.h"
#include "support/scene_texts.h"
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

struct BadInput {
  const char* name;  // a file in the data folder, or the name of an inline case
  const char* text;  // inline scene text; null for a file
  int32_t number;
  const char* place;    // the place the message must give
  const char* problem;  // a part of the problem it must describe
};

const BadInput kBadFiles[] = {
    {"bad_not_json.json", nullptr, 5, "line 4, column 23", "syntax error while parsing value"},
    {"bad_top_level.json", nullptr, 13, "top level", "a scene file holds an object, not an array"},
    // The version is checked before anything else: the unknown key after it is not reported.
    {"bad_version.json", nullptr, 5, "/version", "version 2 is not known; known versions: 1"},
    {"bad_missing_version.json", nullptr, 5, "top level", "the key \"version\" is missing"},
    {"bad_types.json", nullptr, 13, "/root/groups/0/objects/0/vertices/1/2",
     "expected a number, found a string"},
    {"bad_whole_number.json", nullptr, 13, "/materials/0/translucency",
     "expected a whole number, found the number 12.5"},
    {"bad_index.json", nullptr, 5, "/root/objects/0/faces/1/points/1",
     "normal index 1 is out of range: the object has one normal, 0; -1 for none"},
    {"bad_material.json", nullptr, 5, "/root/objects/0/faces/0/material",
     "no material is named \"Brik\"; the materials are \"Brick\", \"Glass\""},
    {"bad_duplicate_material.json", nullptr, 5, "/materials/1/name",
     "the material name \"Brick\" is taken by /materials/0"},
    {"bad_duplicate_key.json", nullptr, 5, "/materials/0/name", "the key \"name\" is given twice"},
    {"bad_unknown_key.json", nullptr, 5, "/root/groups/0/groups/0/postion",
     "unknown key \"postion\"; the keys here are \"name\", \"position\""},
    {"bad_field.json", nullptr, 5, "/root/groups/0/fields/TetherDat",
     "the node custom field \"TetherDat\" is not declared in /customFields/node; declared: "
     "\"TetherData\""},
    {"bad_selection_path.json", nullptr, 5, "/selection/groups/1",
     "no group \"Door\" in group \"Hangar\"; its groups: \"Wall\""},
    {"bad_selection_face.json", nullptr, 5, "/selection/objects/0/faces/1",
     "face index 6 is out of range: \"Hangar/Wall\" has 1 face"},
    {"bad_non_finite.json", nullptr, 5, "line 5, column 55", "number overflow parsing '1e400'"},
    {"bad_float_range.json", nullptr, 5, "/root/groups/0/position/1",
     "the number 1e+39 is outside the range of a 32-bit float"},
    {"bad_orientation.json", nullptr, 5, "/root/groups/0/up",
     "the up vector is parallel to the forward vector"},
};

#define TRIANGLE "\"vertices\": [[0, 0, 0], [1, 0, 0], [0, 0, 1]]"

const BadInput kBadTexts[] = {
    {"NotAScene", "{\"format\": \"vellum-model\", \"version\": 1}", 5, "/format",
     "this is not a Vellum scene: \"format\" is \"vellum-model\", not \"vellum-scene\""},
    {"VersionAsText", "{\"format\": \"vellum-scene\", \"version\": \"1\"}", 13, "/version",
     "expected a whole number, found a string"},
    {"RootMissing", SCENE("\"units\": 1"), 5, "top level", "the key \"root\" is missing"},
    {"RootHasNoName", SCENE("\"root\": {\"name\": \"World\"}"), 5, "/root/name",
     "unknown key \"name\"; the keys here are \"fields\", \"groups\", \"objects\""},
    {"ShortVector", SCENE("\"root\": {\"groups\": [{\"name\": \"A\", \"position\": [1, 2]}]}"), 5,
     "/root/groups/0/position", "expected 3 numbers, found 2"},
    {"HugeWholeNumber", SCENE("\"units\": 4294967296, \"root\": {}"), 5, "/units",
     "the whole number 4294967296 is outside the 32-bit range"},
    {"FieldDeclaredTwice",
     SCENE("\"customFields\": {\"material\": [\"FS10\", \"FS10\"]}, \"root\": {}"), 5,
     "/customFields/material/1",
     "the custom field \"FS10\" is declared twice (also at /customFields/material/0)"},
    {"NoMaterialFieldsDeclared",
     SCENE("\"materials\": [{\"name\": \"M\", \"fields\": {\"FS10\": \"x\"}}], \"root\": {}"), 5,
     "/materials/0/fields/FS10", "(no material fields are declared)"},
    {"FieldValueNotText",
     SCENE("\"customFields\": {\"node\": [\"T\"]}, \"root\": {\"fields\": {\"T\": 5}}"), 13,
     "/root/fields/T", "expected a string, found the whole number 5"},
    // Pointer tokens escape "/" as "~1".
    {"SlashInKey", SCENE("\"root\": {\"fields\": {\"a/b\": \"x\"}}"), 5, "/root/fields/a~1b",
     "the node custom field \"a/b\" is not declared"},
    {"UnnamedMaterial", SCENE("\"materials\": [{\"name\": \"\"}], \"root\": {}"), 5,
     "/materials/0/name", "a material name must not be empty"},
    {"Translucency",
     SCENE("\"materials\": [{\"name\": \"M\", \"translucency\": 150}], \"root\": {}"), 5,
     "/materials/0/translucency", "translucency 150 is outside 0..100"},
    {"UnknownTextureSlot",
     SCENE(
         "\"materials\": [{\"name\": \"M\", \"textures\": {\"normal\": \"n.bmp\"}}], \"root\": {}"),
     5, "/materials/0/textures/normal", "unknown key \"normal\""},
    {"NegativeAnimationKeys",
     SCENE("\"root\": {\"groups\": [{\"name\": \"A\", \"animationKeys\": -1}]}"), 5,
     "/root/groups/0/animationKeys", "cannot be negative"},
    {"ZeroForward", SCENE("\"root\": {\"groups\": [{\"name\": \"A\", \"forward\": [0, 0, 0]}]}"), 5,
     "/root/groups/0/forward", "the forward vector must have a length"},
    {"ForwardAlongDefaultUp",
     SCENE("\"root\": {\"groups\": [{\"name\": \"A\", \"forward\": [0, 5, 0]}]}"), 5,
     "/root/groups/0/forward", "the up vector is parallel to the forward vector"},
    {"ShortPoint",
     SCENE("\"root\": {\"objects\": [{\"name\": \"T\", " TRIANGLE
           ", \"faces\": [{\"points\": [[0, -1]]}]}]}"),
     5, "/root/objects/0/faces/0/points/0",
     "a point is [vertex, normal, texture coordinate]; found 2 numbers"},
    {"NoVertexIsNone",
     SCENE("\"root\": {\"objects\": [{\"name\": \"T\", " TRIANGLE
           ", \"faces\": [{\"points\": [[-1, -1, -1]]}]}]}"),
     5, "/root/objects/0/faces/0/points/0",
     "vertex index -1 is out of range: the object has 3 vertices, 0..2"},
    {"UvWithoutUvs",
     SCENE("\"root\": {\"objects\": [{\"name\": \"T\", " TRIANGLE
           ", \"faces\": [{\"points\": [[0, -1, 0]]}]}]}"),
     5, "/root/objects/0/faces/0/points/0",
     "texture coordinate index 0 is out of range: the object has no texture coordinates; -1 "
     "for none"},
    {"FacesWithoutPoints", SCENE("\"root\": {\"objects\": [{\"name\": \"T\", \"faces\": [{}]}]}"),
     5, "/root/objects/0/faces/0", "the key \"points\" is missing"},
    // A mesh's lists are checked against each other whatever their order in the text, and
    // against materials defined after the root.
    {"FacesBeforeVertices",
     SCENE("\"root\": {\"objects\": [{\"name\": \"T\", \"faces\": [{\"points\": [[0, -1, "
           "-1]]}, {\"points\": [[2, -1, -1], [3, -1, -1]]}], " TRIANGLE "}]}"),
     5, "/root/objects/0/faces/1/points/1",
     "vertex index 3 is out of range: the object has 3 vertices, 0..2"},
    {"MaterialsAfterTheRoot",
     SCENE("\"root\": {\"groups\": [{\"name\": \"A\", \"groups\": [{\"name\": \"B\", "
           "\"objects\": [{\"name\": \"T\", " TRIANGLE
           ", \"faces\": [{\"material\": \"M\", \"points\": [[0, -1, -1]]}, {\"material\": "
           "\"N\", \"points\": [[0, -1, -1]]}]}]}]}]}, \"materials\": [{\"name\": \"M\"}]"),
     5, "/root/groups/0/groups/0/objects/0/faces/1/material",
     "no material is named \"N\"; the materials are \"M\""},
    {"FaceKeyMisspelt",
     SCENE("\"root\": {\"objects\": [{\"name\": \"T\", " TRIANGLE
           ", \"faces\": [{\"points\": [[0, -1, -1]]}, {\"point\": []}]}]}"),
     5, "/root/objects/0/faces/1/point", "unknown key \"point\""},
    {"FractionalIndex",
     SCENE("\"root\": {\"objects\": [{\"name\": \"T\", " TRIANGLE
           ", \"faces\": [{\"points\": [[0, 1.5, -1]]}]}]}"),
     13, "/root/objects/0/faces/0/points/0/1", "expected a whole number, found the number 1.5"},
    {"SelectedObjectMissing",
     SCENE("\"root\": {\"groups\": [{\"name\": \"Hangar\"}]}, "
           "\"selection\": {\"objects\": [{\"path\": \"Hangar/Roof\"}]}"),
     5, "/selection/objects/0/path", "no object \"Roof\" in group \"Hangar\" (it has no objects)"},
    {"SelectionKeyMisspelt",
     SCENE("\"root\": {\"objects\": [{\"name\": \"T\"}]}, "
           "\"selection\": {\"objects\": [{\"path\": \"T\", \"face\": [0]}]}"),
     5, "/selection/objects/0/face", "unknown key \"face\""},
    {"SelectedPolygonMissing",
     SCENE("\"root\": {\"objects\": [{\"name\": \"T\", " TRIANGLE
           ", \"faces\": [{\"points\": [[0, -1, -1], [1, -1, -1], [2, -1, -1]]}]}]}, "
           "\"selection\": {\"shapes\": [{\"path\": \"T\", \"polygons\": [3]}]}"),
     5, "/selection/shapes/0/polygons/0", "polygon index 3 is out of range: \"T\" has 1 polygon"},
    {"UnknownWrap",
     SCENE("\"materials\": [{\"name\": \"M\", \"wrap\": \"wrapped\"}], \"root\": {}"), 5,
     "/materials/0/wrap",
     "unknown wrap mode \"wrapped\"; the wrap modes are \"repeat\", \"clamp\", \"mirror\""},
    {"UnknownWrapOfV",
     SCENE("\"materials\": [{\"name\": \"M\", \"wrap\": [\"clamp\", \"Clamp\"]}], \"root\": {}"), 5,
     "/materials/0/wrap/1", "unknown wrap mode \"Clamp\""},
    {"WrapOfThreeAxes",
     SCENE("\"materials\": [{\"name\": \"M\", \"wrap\": [\"clamp\", \"clamp\", \"clamp\"]}], "
           "\"root\": {}"),
     5, "/materials/0/wrap", "expected a wrap mode for u and one for v, found 3 values"},
    {"WrapAsNumber", SCENE("\"materials\": [{\"name\": \"M\", \"wrap\": 1}], \"root\": {}"), 13,
     "/materials/0/wrap", "expected a string or an array, found the whole number 1"},
    // Columns count characters: the two-byte "é" is one column.
    {"ColumnsCountCharacters", "{\"format\": \"é\", x}", 5, "line 1, column 17", "syntax error"},
    {"BadUtf8", "{\"format\": \"\xff\"}", 5, "line 1, column 13", "ill-formed UTF-8"},
    {"TrailingText", SCENE("\"root\": {}") " {}", 5, "line 1, column 54", "expected end of input"},
    {"Empty", "", 5, "line 1, column 1", "unexpected end of input"},
};

void PrintTo(const BadInput& c, std::ostream* out) {
  *out << c.name;
}

class BadScene : public ::testing::TestWithParam<BadInput> {};

TEST_P(BadScene, MessageNamesTheFileThePlaceAndTheProblem) {
  const BadInput& c = GetParam();
  std::string origin;
  Failure failure;
  if (c.text) {
    origin = "inline.json";
    failure = FailureOf([&] { ParseScene(c.text, origin); });
  } else {
    origin = (DataDir / c.name).string();
    failure = FailureOf([&] { LoadScene(DataDir / c.name); });
  }
  EXPECT_EQ(failure.number, c.number) << failure.description;
  EXPECT_THAT(failure.description, StartsWith(origin + ": " + c.place + ": "));
  EXPECT_THAT(failure.description, HasSubstr(c.problem));
}

std::string CaseName(const ::testing::TestParamInfo<BadInput>& info) {
  std::string name = std::filesystem::path(info.param.name).stem().string();
  for (char& ch : name)
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Files, BadScene, ::testing::ValuesIn(kBadFiles), CaseName);
INSTANTIATE_TEST_SUITE_P(Texts, BadScene, ::testing::ValuesIn(kBadTexts), CaseName);

TEST(BadSceneNesting, DeepNestingIsRefusedNotRecursedInto) {
  std::string text =
      "{\"format\": \"vellum-scene\", \"version\": 1, \"root\": " + std::string(100000, '[');
  Failure failure = FailureOf([&] { ParseScene(text, "deep.json"); });
  EXPECT_EQ(failure.number, 5);
  EXPECT_THAT(failure.description, StartsWith("deep.json: /root/0/0/0/"));
  EXPECT_THAT(failure.description, HasSubstr("nested more than 512 levels deep"));
}

TEST(BadSceneNesting, MissingFileIsNamed) {
  Failure failure = FailureOf([] { LoadScene(DataDir / "no_such_scene.json"); });
  EXPECT_EQ(failure.number, err::FileNotFound);
  EXPECT_THAT(failure.description, HasSubstr("no_such_scene.json"));
}

// A pipe is read once: a text the quick reader leaves to the JSON library (here one with a
// byte-order mark) is not read a second time from it, and neither is one it reads itself.
TEST(SceneReading, APipeIsReadOnceWhateverReadsItsText) {
  const std::string scene = ReadFile(VLM_TEST_EXAMPLES_DIR "/hangar.json");
  const std::string expected = SerializeScene(*ParseScene(scene, "hangar.json"));
  const auto fifo = std::filesystem::path(testing::TempDir()) / "scene.fifo";
  for (const std::string& text : {scene, "\xEF\xBB\xBF" + scene}) {
    std::filesystem::remove(fifo);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Should the pipe be opened again, an empty second writing lets the test fail, not hang.
    std::atomic<bool> done = false;
    std::thread writer([&] {
      std::ofstream(fifo, std::ios::binary) << text;
      for (int i = 0; i < 100 && !done; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      if (!done) std::ofstream{fifo};
    });
    std::unique_ptr<HostDocument> read;
    const Failure failure = FailureOf([&] { read = LoadScene(fifo); });
    done = true;
    writer.join();
    ASSERT_TRUE(read) << failure.description;
    EXPECT_EQ(SerializeScene(*read), expected);
  }
  std::filesystem::remove(fifo);
}

}  // namespace
}  // namespace vlm::host
