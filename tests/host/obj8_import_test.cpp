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
// on and off; a damaged file is named with its line.
TEST(ModelImport, Obj8FilesOfOtherMakersAndDamagedOnes) {
  const std::string sound =
      "A\n800  # comment\nOBJ\n\nTEXTURE  tex/wall.png\nTEXTURE_LIT wall_lit.png\n"
      "POINT_COUNTS 4 0 0 12\n"
      "VT 0 0 0 0 1 0 0 0\nVT 1 0 0 0 1 0 1 0\nVT 1 0 -1 0 1 0 1 1\nVT 0 0 -1 0 1 0 0 1\n"
      "IDX10 0 1 2 0 2 3 1 2 3 0\nIDX 1\r\nIDX 2 # the last\n"
      "ATTR_LOD 0 250.5\nATTR_shiny_rat 0.5# glued to its number, as X-Plane reads it\n"
      "TRIS 0 3\r\nATTR_no_cull\nTRIS 3 3\n"
      "ATTR_LOD 250.5 1000\nTRIS 6 3\n";
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
      {"I\n800\nOBJ\nATTR_LOD 0 300 9\n", "line 4: ATTR_LOD takes 2 values, the line has 3"},
      {"I\n800\nOBJ\nANIM_begin\nATTR_LOD 0 300\nANIM_end\n",
       "line 5: ATTR_LOD inside an animation"},
      {"I\n800\nOBJ\nANIM_end\n", "line 4: ANIM_end without its ANIM_begin"},
      {"I\n800\nOBJ\nANIM_begin\n", "line 4: 1 ANIM_begin without ANIM_end"},
      {"I\n800\nOBJ\nANIM_rotate 0 1 0 0 90 0 1 x\n", "line 4: ANIM_rotate outside an animation"},
      {"I\n800\nOBJ\nANIM_begin\nANIM_rotate 0 1 0 0 ninety 0 1 x\nANIM_end\n",
       "line 5: ANIM_rotate: \"ninety\" is not a number"},
      {"I\n800\nOBJ\nANIM_begin\nANIM_trans_key 0 1 2 3\nANIM_end\n",
       "line 5: ANIM_trans_key outside a table that ANIM_trans_begin begins"},
      {"I\n800\nOBJ\nANIM_begin\nANIM_rotate_begin 1 0 0 x\nTRIS 0 0\n",
       "line 6: TRIS inside the keyed table that ANIM_rotate_begin begins"},
      {"I\n800\nOBJ\nLIGHT_NAMED beacon 0 1\n", "line 4: LIGHT_NAMED takes 4 values"},
      {"I\n800\nOBJ\nPOINT_COUNTS 0 1 0 1\nVLINE 0 0 0 1 1 1\nIDX 0\nLINES 0 1\n",
       "line 7: LINES: 1 indices are not whole segments"},
      {"I\n800\nOBJ\nPOINT_COUNTS 0 0 1 0\nVLIGHT 0 0 0 1 1 1\nLIGHTS 0 2\n",
       "line 6: LIGHTS 0 2 reaches past the 1 lights"},
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
  const int32_t cull = model.document->FindMaterialField(host::kObj8Field);
  std::vector<std::string> states;
  for (const auto& mesh : top.children[0]->meshes) {
    EXPECT_EQ(mesh->name, "wall");
    EXPECT_EQ(mesh->FaceCount(), 1u);
    host::HostMaterial* m = mesh->FaceMaterial(0);
    EXPECT_EQ(m->diffuseMap, "tex/wall.png");
    EXPECT_EQ(m->bumpMap, "wall_lit.png");
    states.push_back(m->GetCustomField(cull));
  }
  EXPECT_THAT(states,
              ElementsAre("ATTR_cull\nATTR_shiny_rat 0.5", "ATTR_no_cull\nATTR_shiny_rat 0.5"));
  // The z mirror and the v flip undone: the file's (1, 0, -1) at (1, 1) is the scene's
  // (1, 0, 1) at (1, 0).
  const host::HostMesh& far = *top.children[1]->meshes.at(0);
  EXPECT_THAT(far.vertices, ElementsAre(Vec3{1, 0, 0}, Vec3{1, 0, 1}, Vec3{0, 0, 1}));
  EXPECT_THAT(far.uvs, ElementsAre(Vec2{1, 1}, Vec2{1, 0}, Vec2{0, 0}));
  EXPECT_THAT(model.log, ElementsAre());

  // A texture name with a blank: X-Plane reads it only as far as the blank.
  std::string blank = sound;
  blank.replace(blank.find("tex/wall.png"), 12, "tex/my wall.png");
  EXPECT_THAT(host::ImportModelFromMemory(blank, "obj", "x/wall.obj").log,
              ElementsAre("x/wall.obj: line 5: the texture name \"tex/my wall.png\" has a blank: "
                          "X-Plane reads it only as far as \"tex/my\""));
}

}  // namespace
}  // namespace vlm
