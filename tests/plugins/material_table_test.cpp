#include "trackline/material_table.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <bit>

#include "scene/builder.h"

namespace vlm::igs {
namespace {

using host::HostMaterial;
using ::testing::ElementsAre;

// A document whose materials carry the four texts, and a table that reads them.
struct Materials {
  host::HostDocument doc;
  MaterialTable table;
  Materials() {
    for (size_t i = 0; i < 4; ++i)
      table.slots[i] = doc.DefineMaterialField(MaterialTable::FieldNames[i]);
  }
  HostMaterial& Make(const std::string& railSim = {}, const std::string& railSimX = {},
                     const std::string& diffuse = "Body.BMP") {
    HostMaterial& m = doc.NewMaterial("");
    m.hasTextures = true;
    m.diffuseMap = diffuse;
    m.SetCustomField(table.slots[0], railSim);
    m.SetCustomField(table.slots[3], railSimX);
    return m;
  }
};

std::vector<int32_t> StageTextures(const IgsMaterial& m) {
  std::vector<int32_t> out;
  for (int32_t j = 0; j < m.stageCount; ++j)
    out.push_back(m.stages[j].texture);
  return out;
}
std::vector<float> Biases(const IgsMaterial& m) {
  std::vector<float> out;
  for (int32_t j = 0; j < m.stageCount; ++j)
    out.push_back(m.stages[j].miplodbias);
  return out;
}

TEST(MaterialRecord, AnEmptyShaderGivesTexDiffWithOneStageAndTheFixedValues) {
  Materials s;
  HostMaterial& m = s.Make();
  m.ambient = {0.1f, 0.2f, 0.3f};
  m.emissive = {0.03f, 0.5f, 0.04f};  // faint glows are dropped
  m.diffuse = {0.4f, 0.5f, 0.6f};
  m.translucency = 4;  // alpha 0.96: counts as opaque
  const IgsMaterial r = s.table.BuildMaterial(m);
  EXPECT_STREQ(r.shader, "TexDiff");
  EXPECT_EQ(r.stageCount, 1);
  EXPECT_EQ(r.stages[0].texture, 1);
  EXPECT_EQ(r.stages[0].filtermode, 3);
  EXPECT_EQ(r.stages[0].fps, 20);
  EXPECT_EQ(r.stages[0].miplodbias, -2.0f);
  EXPECT_THAT(s.table.textures, ElementsAre("textures\\body"));

  EXPECT_THAT(r.ambient, ElementsAre(0.1f, 0.2f, 0.3f, 1.0f));
  EXPECT_THAT(r.emissive, ElementsAre(0.0f, 0.5f, 0.04f, 1.0f));
  EXPECT_THAT(r.diffuse, ElementsAre(0.4f, 0.5f, 0.6f, 1.0f));
  EXPECT_THAT(r.diffuseCopy, ElementsAre(0.4f, 0.5f, 0.6f, 1.0f));
  EXPECT_EQ(r.value1444, 1.0f);
  EXPECT_EQ(r.value1108, 128);
  EXPECT_EQ(r.transparency, 0);
  EXPECT_EQ(r.zbuffermode, 1);
  EXPECT_EQ(r.BackFacecull, 1);
  EXPECT_EQ(r.TwoSided, 0);
  EXPECT_EQ(r.vismod, 100);
  EXPECT_EQ(r.viewfacing, 0);
  EXPECT_EQ(r.specular, 0.0f);
  EXPECT_STREQ(r.collide, "NO COLLIDE");
  EXPECT_STREQ(r.headlamp, "HEADLAMP");
  EXPECT_STREQ(r.traffic, "TRAFFIC");
  EXPECT_EQ(std::bit_cast<uint32_t>(r.values1300[1]), 0x3F48C8CAu);
  EXPECT_THAT(r.values1324, ElementsAre(5.0f, 1.0f, 1.0f, 5.0f, 1.0f, 5.0f));
  EXPECT_EQ(r.value1468, 1);
  EXPECT_EQ(r.value1472, 1);
  EXPECT_EQ(r.value1480, 4.0f);

  m.translucency = 60;  // a see-through material keeps its alpha
  EXPECT_FLOAT_EQ(s.table.BuildMaterial(m).diffuse[3], 0.4f);
}

TEST(MaterialRecord, ShaderKeywordsAddStages) {
  Materials s;
  HostMaterial& bump = s.Make("TrainBumpSpecular.fx");
  bump.bumpMap = "body_n.bmp";
  bump.specularMap = "body_s.bmp";
  bump.environmentMap = "sky.bmp";  // no environment keyword: not used
  bump.gloss = 20;
  IgsMaterial r = s.table.BuildMaterial(bump);
  EXPECT_THAT(StageTextures(r), ElementsAre(1, 2, 3));
  EXPECT_THAT(Biases(r), ElementsAre(-2.0f, -1.0f, -1.0f));
  EXPECT_EQ(r.specular, 1.0f);
  EXPECT_EQ(r.stages[0].arg[0], 115.0f);  // (250 - gloss) / 2

  HostMaterial& glass = s.Make("TrainGlassWeatherEffects.fx");
  glass.bumpMap = "glass_n.bmp";
  glass.environmentMap = "sky.bmp";
  r = s.table.BuildMaterial(glass);
  EXPECT_THAT(StageTextures(r), ElementsAre(1, 1, 4, 5));  // diffuse twice, bump, environment
  EXPECT_EQ(s.table.records.size(), 0u);
  EXPECT_EQ(s.table.AddMaterial(r), 0);
  EXPECT_STREQ(s.table.records[0].name, "weatherglass_1");

  HostMaterial& shadow = s.Make("StencilShadow.fx");
  r = s.table.BuildMaterial(shadow);
  EXPECT_EQ(r.stages[0].miplodbias, 0.0f);
  EXPECT_EQ(s.table.AddMaterial(r), 1);
  EXPECT_STREQ(s.table.records[1].name, "shadow_material1");

  // A keyword stage whose texture name is too short keeps no texture.
  HostMaterial& light = s.Make("LightMap.fx");
  light.detailMap = "a.bm";
  r = s.table.BuildMaterial(light);
  EXPECT_THAT(StageTextures(r), ElementsAre(1, 0));

  HostMaterial& facing = s.Make("ViewFacingUpright.fx");
  EXPECT_EQ(s.table.BuildMaterial(facing).viewfacing, 2);
  EXPECT_EQ(s.table.BuildMaterial(s.Make("ViewFacing.fx")).viewfacing, 1);
  EXPECT_EQ(s.table.BuildMaterial(s.Make("viewfacing.fx")).viewfacing, 0);  // case matters
}

TEST(MaterialRecord, TheUserTextsSetAlphaAndParameters) {
  Materials s;
  HostMaterial& m = s.Make("", "r0filtermode=1;vismod=2;ZBias=3;r0ScrollU=0.5=9;novalue;r0fps=");
  m.SetCustomField(s.table.slots[1], "Transparency");
  m.SetCustomField(s.table.slots[2], "2.5");  // halves go to the even neighbour
  IgsMaterial r = s.table.BuildMaterial(m);
  EXPECT_EQ(r.stages[0].filtermode, 1);
  EXPECT_EQ(r.vismod, 2);
  EXPECT_EQ(r.zbias, 3);
  EXPECT_EQ(r.stages[0].scrollu, 0.5f);  // the value ends at a second "="
  EXPECT_EQ(r.stages[0].fps, 20);        // an empty value changes nothing
  EXPECT_EQ(r.transparency, 1);
  EXPECT_EQ(r.zbuffermode, 1);
  EXPECT_EQ(r.alphaPriority, 2);

  m.SetCustomField(s.table.slots[1], "TRANSLUCENCY");
  m.SetCustomField(s.table.slots[2], "high");  // not a number: left at 0
  m.SetCustomField(s.table.slots[3], "specularpower=0.5;TwoSided=1;BackFacecull=0");
  r = s.table.BuildMaterial(m);
  EXPECT_EQ(r.transparency, 0);
  EXPECT_EQ(r.zbuffermode, 3);
  EXPECT_EQ(r.alphaPriority, 0);
  EXPECT_EQ(r.specular, 0.0f);  // a shader without "Spec" has no specular value
  EXPECT_EQ(r.TwoSided, 1);
  EXPECT_EQ(r.BackFacecull, 0);

  m.SetCustomField(s.table.slots[3], "zbias=near");
  try {
    s.table.BuildMaterial(m);
    FAIL() << "a parameter that is not a number was taken";
  } catch (const ExportStopped& e) {
    EXPECT_EQ(e.Description(), "The RailSimX parameter zbias \"near\" is not a number.");
  }
}

TEST(TextureReferences, AreLowerCaseWithoutExtensionInTheirFolder) {
  MaterialTable t;
  EXPECT_EQ(t.TextureReference("Body.Side.BMP", ""), 1);
  EXPECT_EQ(t.TextureReference("body.side.tga", ""), 1);  // the same reference
  EXPECT_EQ(t.TextureReference("Rust.bmp", "mytex"), 2);
  EXPECT_EQ(t.TextureReference("Rust.bmp", "mytex\\"), 2);
  EXPECT_EQ(t.TextureReference("NOEXTENSION", ""), 3);  // used whole
  EXPECT_THAT(t.textures,
              ElementsAre("textures\\body.side", "mytex\\rust", "textures\\noextension"));

  for (int i = 3; i < MaxTextures; ++i)
    t.TextureReference("t" + std::to_string(i) + ".bmp", "");
  EXPECT_EQ(t.textures.size(), 51u);
  EXPECT_EQ(t.TextureReference("t3.bmp", ""), 4);  // a known one still resolves
  try {
    t.TextureReference("extra.bmp", "");
    FAIL() << "a 52nd texture was taken";
  } catch (const ExportStopped& e) {
    EXPECT_EQ(
        e.Description(),
        "The texture \"textures\\extra\" would be distinct texture number 52; the limit is 51.");
  }
}

TEST(TextureReferences, TheTexturePathParameterNamesTheFolder) {
  Materials s;
  IgsMaterial r = s.table.BuildMaterial(s.Make("", "texturepath=mytex"));
  EXPECT_EQ(r.stages[0].texture, 1);
  EXPECT_THAT(s.table.textures, ElementsAre("mytex\\body"));
}

TEST(MaterialTableEntries, EqualRecordsAreKeptOnce) {
  Materials s;
  HostMaterial& a = s.Make();
  HostMaterial& b = s.Make();
  EXPECT_EQ(s.table.Register(a), 0);
  EXPECT_EQ(s.table.Register(b), 0);
  b.diffuse.r = a.diffuse.r + 0.003f;  // within the colour tolerance
  EXPECT_EQ(s.table.Register(b), 0);
  b.diffuse.r = a.diffuse.r + 0.004f;
  EXPECT_EQ(s.table.Register(b), 1);
  EXPECT_EQ(s.table.Register(s.Make("", "r0filtermode=2")), 2);
  EXPECT_EQ(s.table.Register(s.Make("", {}, "other.bmp")), 3);
  ASSERT_EQ(s.table.records.size(), 4u);
  EXPECT_STREQ(s.table.records[0].name, "material0");
  EXPECT_STREQ(s.table.records[3].name, "material3");

  // Animation values count only when the stage animates.
  IgsMaterial x = s.table.records[0];
  x.stages[0].fps = 5;
  EXPECT_TRUE(MaterialTable::SameMaterial(x, s.table.records[0]));
  x.stages[0].AnimateUV = 1;
  IgsMaterial y = x;
  y.stages[0].fps = 6;
  EXPECT_FALSE(MaterialTable::SameMaterial(x, y));
}

TEST(MaterialTableEntries, AFiftySecondMaterialStops) {
  Materials s;
  HostMaterial& m = s.Make();
  for (int i = 0; i < MaxMaterials; ++i) {
    m.SetCustomField(s.table.slots[2], std::to_string(i));  // alpha priorities differ
    EXPECT_EQ(s.table.Register(m), i);
  }
  m.SetCustomField(s.table.slots[2], "99");
  try {
    s.table.Register(m);
    FAIL() << "a 52nd material was taken";
  } catch (const ExportStopped& e) {
    EXPECT_EQ(e.Description(),
              "A material with the shader \"TexDiff\" would be distinct material number 52; the "
              "limit is 51.");
  }
  EXPECT_EQ(s.table.records.size(), 51u);
}

}  // namespace
}  // namespace vlm::igs
