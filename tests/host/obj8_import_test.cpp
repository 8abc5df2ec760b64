// Reading OBJ8 files of other makers and damaged ones (host/exchange/obj8_file, obj8_import).

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "exchange/model_import.h"
#include "exchange/obj8_file.h"
#include "exchange/obj8_import.h"
#include "scene/document.h"
#include "vlm/error.h"

namespace vlm {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// Files of other makers: LF or CR LF line ends, comments, blank lines, the culling switched
// on and off, and keywords the importer does not use, which are counted once per file; a
// damaged file is named with its line.
TEST(ModelImport, Obj8FilesOfOtherMakersAndDamagedOnes) {
  const std::string sound =
      "A\n800  # comment\nOBJ\n\nTEXTURE  tex/wall.png\nTEXTURE_LIT wall_lit.png\n"
      "POINT_COUNTS 4 0 0 12\n"
      "VT 0 0 0 0 1 0 0 0\nVT 1 0 0 0 1 0 1 0\nVT 1 0 -1 0 1 0 1 1\nVT 0 0 -1 0 1 0 0 1\n"
      "IDX10 0 1 2 0 2 3 1 2 3 0\nIDX 1\r\nIDX 2 # the last\n"
      "ATTR_LOD 0 250.5\nATTR_shiny_rat 0.5\nTRIS 0 3\r\nATTR_no_cull\nTRIS 3 3\n"
      "ANIM_begin\nATTR_LOD 250.5 1000\nTRIS 6 3\nANIM_end\n";
  std::string miscounted = sound;
  miscounted.replace(miscounted.find("0 0 12"), 6, "0 0 6 ");
  struct Case {
    std::string text;
    std::string problem;  // "" for a file that is read
  };
  const Case cases[] = {
      {miscounted,
       "fuzz.obj: line 7: POINT_COUNTS declares 6 indices, the IDX10 and IDX lines hold 12"},
      {"I\n800\nOBJ\nPOINT_COUNTS 1 0 0 0\nVT 0 0 0 0 1 0 0 nan\n",
       "line 5: VT: \"nan\" is not a finite"},
      {"I\n800\nOBJ\nPOINT_COUNTS 1 0 0 0\nVT 0 0 0 0 1 0 0\n",
       "line 5: VT takes 8 values, the line has 7"},
      {"I\n800\nOBJ\nPOINT_COUNTS 2 0 0 0\nVT 0 0 0 0 1 0 0 0\n",
       "line 4: POINT_COUNTS declares 2 vertices"},
      {"I\n800\nOBJ\nPOINT_COUNTS 1 0 0 1\nVT 0 0 0 0 1 0 0 0\nIDX 1\n",
       "line 6: index 1 is outside"},
      {"I\n800\nOBJ\nPOINT_COUNTS 1 0 0 1\nVT 0 0 0 0 1 0 0 0\nIDX -1\n",
       "line 6: IDX: \"-1\" is below 0"},
      {"I\n800\nOBJ\nPOINT_COUNTS 1 0 0 1\nVT 0 0 0 0 1 0 0 0\nIDX 0\nTRIS 0 3\n",
       "line 7: TRIS 0 3 reaches past"},
      {"I\n800\nOBJ\nTRIS 0 2\n", "line 4: TRIS: 2 indices are not whole triangles"},
      {"I\n800\nOBJ\nATTR_LOD 300 x\n", "line 4: ATTR_LOD: \"x\" is not a number"},
  };
  EXPECT_THROW(host::ReadObj8("I\n700\nOBJ\n", "x.obj"), Error);
  EXPECT_FALSE(host::IsObj8("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"));
  for (const Case& c : cases)
    try {
      host::ImportModelFromMemory(c.text, "obj", "fuzz.obj");
      ADD_FAILURE() << c.problem;
    } catch (const Error& e) {
      EXPECT_THAT(e.Description(), HasSubstr(c.problem));
    }

  const host::ImportedModel model = host::ImportModelFromMemory(sound, "obj", "x/wall.obj");
  const host::HostNode& top = *model.document->Root().children.at(0);
  EXPECT_EQ(top.name, "wall");
  ASSERT_EQ(top.children.size(), 2u);
  EXPECT_EQ(top.children[0]->name, "LOD 0-250.5");
  EXPECT_EQ(top.children[1]->name, "LOD 250.5-1000");
  // The level drawn with and without culling: one object each, materials apart.
  ASSERT_EQ(top.children[0]->meshes.size(), 2u);
  const int32_t cull = model.document->FindMaterialField(host::kObj8CullField);
  std::vector<std::string> states;
  for (const auto& mesh : top.children[0]->meshes) {
    EXPECT_EQ(mesh->name, "wall");
    EXPECT_EQ(mesh->FaceCount(), 1u);
    host::HostMaterial* m = mesh->FaceMaterial(0);
    EXPECT_EQ(m->diffuseMap, "tex/wall.png");
    EXPECT_EQ(m->bumpMap, "wall_lit.png");
    states.push_back(m->GetCustomField(cull));
  }
  EXPECT_THAT(states, ElementsAre("ATTR_cull", "ATTR_no_cull"));
  // The z mirror and the v flip undone: the file's (1, 0, -1) at (1, 1) is the scene's
  // (1, 0, 1) at (1, 0).
  const host::HostMesh& far = *top.children[1]->meshes.at(0);
  EXPECT_THAT(far.vertices, ElementsAre(Vec3{1, 0, 0}, Vec3{1, 0, 1}, Vec3{0, 0, 1}));
  EXPECT_THAT(far.uvs, ElementsAre(Vec2{1, 1}, Vec2{1, 0}, Vec2{0, 0}));
  EXPECT_THAT(model.log, ElementsAre("x/wall.obj: left out lines the importer does not use: "
                                     "ANIM_begin (1), ANIM_end (1), ATTR_shiny_rat (1)"));
}

}  // namespace
}  // namespace vlm
