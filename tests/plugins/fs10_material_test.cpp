#include "glazier/fs10_material.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "glazier/number_forms.h"
#include "scene/document.h"
#include "vlm/error.h"
#include "vlm/warnings.h"

namespace vlm {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

// Items of a parameter string, split at ";".
std::vector<std::string> Items(const std::string& s) {
  std::vector<std::string> out;
  std::stringstream in(s);
  for (std::string item; std::getline(in, item, ';');)
    out.push_back(item);
  return out;
}

FS10Material WithPower(float power) {
  FS10Material m;
  m.Power = power;
  return m;
}

TEST(FS10MaterialString, DefaultRecordWritesFiftyItemsInOrder) {
  const std::string s = FS10Material().toString();
  EXPECT_THAT(s, StartsWith("SpecRed=0.9;SpecGreen=0.9;SpecBlue=0.9;DetailScale=1;BumpScale=1;"
                            "EnvLevelScale=0.3;UseGlobalEnv=0;"));
  EXPECT_THAT(s, ::testing::EndsWith(
                     ";EmissiveTexture=;ReflectionTexture=;FresnelTexture=;BloomCopy=0;"
                     "BloomModAlpha=0;IsNNumber=0;IsVCTexture=0;FinalAlpha=0;FinalAlphaValue=255"));
  EXPECT_EQ(Items(s).size(), 50u);
  EXPECT_THAT(s, HasSubstr(";PreLitVertices=0;"));
  EXPECT_THAT(s, HasSubstr(";SpecMapPowerScale=202;SrcBlend=One;DstBlend=Zero;"));
}

// Records as the dialog makes them: values with at most seven significant digits, texts
// without ";".
TEST(FS10MaterialString, RandomRecordsSurviveTheRoundTrip) {
  std::mt19937 random(20240611);
  std::uniform_real_distribution<float> number(-1000, 1000);
  std::uniform_int_distribution<int> flag(-2, 3);
  const char* texts[] = {"", "One", "x=y", "C:\\tex\\a b.dds", "Blend"};
  std::uniform_int_distribution<int> text(0, 4);
  auto seven = [](float f) {
    float g = 0;
    glazier::ParseSingle(glazier::FormatSingle(f), g);
    return g;
  };
  for (int round = 0; round < 200; ++round) {
    FS10Material a = WithPower(3);
    for (float* f : {&a.DetailScale, &a.BumpScale, &a.EnvironmentLevelScale, &a.PrecipOffset,
                     &a.SpecMapPowerScale, &a.SpecularBloomFloor, &a.AlphaTestValue,
                     &a.FinalAlphaValue, &a.AmbientLightScale})
      *f = seven(number(random));
    for (int16_t* b : {&a.bUseGlobalEnv,
                       &a.bModEnvInvDiffuseAlpha,
                       &a.bModEnvSpecularMapAlpha,
                       &a.bFresnelDiffuse,
                       &a.bFresnelSpecular,
                       &a.bFresnelEnvironment,
                       &a.bUsePrecipitation,
                       &a.bPrecipOffset,
                       &a.BlendDiffuseByBaseAlpha,
                       &a.BlendDiffuseByInverseSpecularMapAlpha,
                       &a.AllowBloom,
                       &a.BaseMaterialSkin,
                       &a.DoubleSidedMaterial,
                       &a.BlendConstantSetting,
                       &a.ForceTextureAddressWrapSetting,
                       &a.ForceTextureAddressClampSetting,
                       &a.BaseMaterialSpecular,
                       &a.NoSpecularBloom,
                       &a.EmissiveBloom,
                       &a.ZTestAlpha,
                       &a.FinalAlpha,
                       &a.EPAssumeVerticalNormal,
                       &a.EPZWriteAlpha,
                       &a.EPNoZWrite,
                       &a.EPVolumeShadow,
                       &a.EPNoShadow,
                       &a.EPPrelitVertices,
                       &a.BloomCopy,
                       &a.BloomModAlpha,
                       &a.bIsNNumber,
                       &a.bIsVCTexture})
      *b = static_cast<int16_t>(flag(random));
    for (std::string* t :
         {&a.SrcBlend, &a.DstBlend, &a.EmissiveData, &a.AlphaTestFunction,
          &a.EmissiveTextureFileName, &a.ReflectionTextureFileName, &a.FresnelTextureFileName})
      *t = texts[text(random)];
    a.setSpecular(static_cast<int32_t>(random() % 0x1000000));

    FS10Material b = WithPower(3);
    b.loadString(a.toString());
    ASSERT_EQ(b.toString(), a.toString()) << "round " << round;
    EXPECT_EQ(b.SpecularBloomFloor, a.SpecularBloomFloor);
    EXPECT_EQ(b.EPPrelitVertices, a.EPPrelitVertices);
    EXPECT_EQ(b.getSpecColor(), a.getSpecColor());
  }
}

TEST(FS10MaterialString, MalformedStringsNeverFailAndKeepWhatDoesNotRead) {
  {  // a number that does not read keeps the member; a missing text becomes empty
    FS10Material m = WithPower(10);
    m.EmissiveTextureFileName = "night.dds";
    m.loadString("SpecRed=abc;SpecGreen=0.5");
    EXPECT_THAT(m.toString(), StartsWith("SpecRed=0.9;SpecGreen=0.5;SpecBlue=0.9;"));
    EXPECT_EQ(m.SrcBlend, "");
    EXPECT_EQ(m.DstBlend, "");
    EXPECT_EQ(m.EmissiveData, "");
    EXPECT_EQ(m.AlphaTestFunction, "");
    EXPECT_EQ(m.EmissiveTextureFileName, "");
    EXPECT_EQ(m.DetailScale, 1.0f);
    EXPECT_EQ(m.BaseMaterialSpecular, 1);
  }
  {  // keys ignore case; the first of a repeated key wins; "=" stays in a value
    FS10Material m = WithPower(10);
    m.loadString("srcblend=SrcAlpha;DetailScale=2;DETAILSCALE=3;EmissiveTexture=a=b.dds");
    EXPECT_EQ(m.SrcBlend, "SrcAlpha");
    EXPECT_EQ(m.DetailScale, 2.0f);
    EXPECT_EQ(m.EmissiveTextureFileName, "a=b.dds");
    EXPECT_EQ(m.lookupValue("EMISSIVETEXTURE"), "a=b.dds");
    EXPECT_EQ(m.lookupValue(""), "");
    EXPECT_EQ(m.lookupValue("Detail"), "");  // a prefix of a key is not the key
  }
  {  // empty items, unknown keys, huge and non-finite numbers, a flag out of 16 bits
    FS10Material m = WithPower(10);
    m.loadString(
        ";;BumpScale=1e999;DetailScale=;Nonsense=1;=5;AllowBloom=70000;"
        "ZTestAlpha=2;AlphaTestValue=nan;FinalAlphaValue= 128 ;;");
    EXPECT_EQ(m.BumpScale, 1.0f);
    EXPECT_EQ(m.DetailScale, 1.0f);
    EXPECT_EQ(m.AllowBloom, 1);
    EXPECT_EQ(m.ZTestAlpha, 2);  // stored as read
    EXPECT_EQ(m.AlphaTestValue, 0.1f);
    EXPECT_EQ(m.FinalAlphaValue, 128.0f);
  }
  {  // "PreLitVertices" as written reads back under its reading key
    FS10Material m = WithPower(10);
    m.loadString("PreLitVertices=1");
    EXPECT_EQ(m.EPPrelitVertices, 1);
  }
}

TEST(FS10MaterialString, LowPowerClearsSpecularEvenForAnEmptyString) {
  FS10Material m = WithPower(2.5f);
  m.DetailScale = 4;
  m.loadString("");
  EXPECT_EQ(m.getSpecColor(), 0);
  EXPECT_EQ(m.BaseMaterialSpecular, 0);
  EXPECT_EQ(m.DetailScale, 4.0f);
  EXPECT_EQ(m.SrcBlend, "One");  // nothing else changes

  FS10Material stored = WithPower(2.5f);
  stored.loadString("SpecRed=1;SpecGreen=1;SpecBlue=1;BaseMaterialSpec=1");
  EXPECT_EQ(stored.getSpecColor(), 0);
  EXPECT_EQ(stored.BaseMaterialSpecular, 0);
}

// A stored component outside 0..1 is brought to the nearer end with a warning naming it, so
// the specular swatch (and the dialog that shows it) can always show the colour.
TEST(FS10MaterialColours, SpecularValueRoundTripsAndStoredComponentsOutOfRangeAreClamped) {
  FS10Material m;
  m.setSpecular(0 + 256 * 128 + 65536 * 255);
  EXPECT_EQ(m.getSpecColor(), 0 + 256 * 128 + 65536 * 255);
  EXPECT_THAT(m.toString(), StartsWith("SpecRed=0;SpecGreen=0.5019608;SpecBlue=1;"));

  m.loadString("SpecRed=1e30");  // Power 0 clears the specular colour again
  EXPECT_EQ(m.getSpecColor(), 0);
  const struct {
    const char* stored;
    int32_t colour;
    const char* warned;  // the item the warning names, or nullptr
  } cases[] = {
      {"SpecRed=1e30;SpecGreen=0;SpecBlue=0", 255, "SpecRed=1e30"},
      {"SpecRed=0;SpecGreen=-3e38;SpecBlue=1", 65536 * 255, "SpecGreen=-3e38"},
      {"SpecRed=1;SpecGreen=0;SpecBlue=0", 255, nullptr},
  };
  for (const auto& c : cases) {
    std::vector<std::string> warnings;
    SetWarningSink([&](const std::string& w) { warnings.push_back(w); });
    FS10Material big = WithPower(10);
    big.loadString(c.stored);
    SetWarningSink(nullptr);
    EXPECT_EQ(big.getSpecColor(), c.colour) << c.stored;
    ASSERT_EQ(warnings.size(), c.warned ? 1u : 0u) << c.stored;
    if (c.warned) {
      EXPECT_THAT(warnings[0], HasSubstr(c.warned));
    }
  }
}

struct Materials {
  host::HostDocument doc;
  host::HostMaterial& mat = doc.NewMaterial("Body");
  int32_t field = doc.DefineMaterialField("FS10");
};

TEST(FS10MaterialCreate, TakesColourBlendsPowerAndTexturesFromTheMaterial) {
  struct Case {
    int32_t translucency;
    const char* src;
    const char* dst;
    const char* alpha;
  };
  for (const Case& c : {Case{0, "One", "Zero", "1.0"}, Case{1, "One", "Zero", "1.0"},
                        Case{2, "SrcAlpha", "InvSrcAlpha", "0.02"}}) {
    Materials s;
    s.mat.translucency = c.translucency;
    s.mat.diffuse = {1, 0.5f, 0};
    s.mat.specularLevel = 40;
    s.mat.diffuseMap = "C:\\tex\\Body.bmp";
    FS10Material m;
    m.Create(s.mat, s.field);
    EXPECT_EQ(m.SrcBlend, c.src) << c.translucency;
    EXPECT_EQ(m.DstBlend, c.dst) << c.translucency;
    EXPECT_EQ(m.Power, 100.0f);
    EXPECT_EQ(m.getDiffColor(), 255 + 256 * 128);
    EXPECT_EQ(m.DiffuseTextureFileName, "C:\\tex\\Body.bmp");
    std::ostringstream out;
    m.Output(out);
    EXPECT_THAT(out.str(), HasSubstr("\r\n1.0;0.5;0.0;" + std::string(c.alpha) + ";;\r\n"));
  }

  Materials s;
  s.mat.translucency = 50;
  s.mat.specularLevel = 1;  // power 2.5: the specular rule applies
  s.mat.fields[s.field] = "SrcBlend=One;SpecRed=1;BaseMaterialSpec=1";
  FS10Material m;
  m.Create(s.mat, s.field);
  EXPECT_EQ(m.Power, 2.5f);
  EXPECT_EQ(m.SrcBlend, "One");  // the stored value overrides the translucent default
  EXPECT_EQ(m.DstBlend, "");     // not stored: emptied
  EXPECT_EQ(m.getSpecColor(), 0);
  EXPECT_EQ(m.BaseMaterialSpecular, 0);

  for (auto [name, global] : {std::pair{"ab", 0}, std::pair{"abc", 1}}) {
    Materials e;
    e.mat.environmentMap = name;
    FS10Material r;
    r.Create(e.mat, e.field);
    EXPECT_EQ(r.bUseGlobalEnv, global) << name;
  }
}

TEST(FS10MaterialCreate, GraphMaterialIsReadAndBound) {
  Materials s;
  s.mat.translucency = 3;  // alpha 0.97: opaque
  s.mat.specular = {0.2f, 0.4f, 0.6f};
  s.mat.gloss = 50;
  s.mat.hasTextures = true;
  s.mat.bumpMap = ".";
  s.mat.detailMap = "detail.bmp";
  s.mat.diffuseMap = ".";
  s.mat.environmentMap = "env";
  FS10Material m;
  m.CreateCSG(s.mat, s.field);
  EXPECT_EQ(m.SrcBlend, "One");
  EXPECT_EQ(m.Power, 200.0f);
  EXPECT_EQ(m.BumpTextureFileName, "");
  EXPECT_EQ(m.DetailTextureFileName, "detail.bmp");
  EXPECT_EQ(m.DiffuseTextureFileName, ".");  // the diffuse map is taken as given
  EXPECT_EQ(m.bUseGlobalEnv, 1);
  EXPECT_EQ(m.getSpecColor(), 51 + 256 * 102 + 65536 * 153);
  std::ostringstream out;
  m.Output(out);
  EXPECT_THAT(out.str(), HasSubstr(";1.0;;\r\n"));  // alpha exactly 1

  m.setSpecular(255);  // bound: the scene material follows
  EXPECT_EQ(s.mat.specular, (Rgb{1, 0, 0}));

  Materials g;
  g.mat.gloss = 0;
  g.mat.translucency = 10;
  FS10Material r;
  r.CreateCSG(g.mat, g.field);
  EXPECT_EQ(r.Power, 0.0f);
  EXPECT_EQ(r.SrcBlend, "SrcAlpha");
  EXPECT_EQ(r.getSpecColor(), 0);  // power 0 < 3
}

TEST(FS10MaterialOutput, DefaultRecordBlockIsExact) {
  FS10Material m;
  std::ostringstream out;
  EXPECT_EQ(m.Output(out), "");
  const std::string expected =
      "FS10Material {\r\n"
      "0.0;0.0;0.0;0.0;;\r\n"
      "0.9;0.9;0.9;;\r\n"
      "0.0;  // Spec power\r\n"
      "1.0;1.0;  // detail and bump scales\r\n"
      "0.3;  // scale env level\r\n"
      " 0 ; // use global env\r\n"
      " 0 ; // mod env inv diff alpha\r\n"
      " 0 ; // mod env spec alpha\r\n"
      " 0 ; 0 ; 0 ; // fresnel diff, spec, env\r\n"
      " 0 ; 0 ;0.0; // precip use, offset, offset val\r\n"
      "202.0; // specmap power\r\n"
      "\"One\"; \"Zero\"; // blend\r\n"
      "BlendDiffuseByBaseAlpha {\r\n 0 ;\r\n}\r\n"
      "BlendDiffuseByInverseSpecularMapAlpha {\r\n 0 ;\r\n}\r\n"
      "AllowBloom {\r\n 1 ;\r\n}\r\n"
      "SpecularBloomFloor {\r\n0.9;\r\n}\r\n"
      "EmissiveData {\r\n\"Blend\";\r\n}\r\n"
      "AlphaData  {\r\n"
      " 0 ;  // ZTest Alpha\r\n"
      " .1 ;  // Alpha test threshold\r\n"
      "\"Never\";  // Alpha test function\r\n"
      " 0 ;  // Perform final alpha write\r\n"
      "255.0;  // Final alpha value\r\n"
      "}\r\n"
      "EnhancedParameters  {\r\n"
      " 0 ;  // Assume vertical normal\r\n"
      " 0 ;  // Z-Write alpha\r\n"
      " 0 ;  // No Z-Write\r\n"
      " 0 ;  // Volume shadow\r\n"
      " 0 ;  // No shadow\r\n"
      " 0 ;  // PRelit vertices\r\n"
      "}\r\n"
      "BaseMaterialSkin {\r\n 0 ;\r\n}\r\n"
      "DoubleSidedMaterial {\r\n 0 ;\r\n}\r\n"
      "BlendConstantSetting {\r\n 0 ;\r\n}\r\n"
      "ForceTextureAddressWrapSetting {\r\n 1 ;\r\n}\r\n"
      "ForceTextureAddressClampSetting {\r\n 0 ; \r\n}\r\n"
      "BaseMaterialSpecular {\r\n 1 ;\r\n}\r\n"
      "NoSpecularBloom {\r\n 0 ;\r\n}\r\n"
      "EmissiveBloom {\r\n 0 ;\r\n}\r\n"
      "BloomData {\r\n 0 ; 0 ;\r\n}\r\n"
      "AmbientLightScale {\r\n1.0;\r\n}\r\n"
      "}  // FS10Material end\r\n";
  EXPECT_EQ(out.str(), expected);
}

TEST(FS10MaterialOutput, TexturesBecomeDdsNamesWithOneWarningEach) {
  FS10Material m;
  m.DiffuseTextureFileName = "C:\\tex\\Body.bmp";
  m.SpecularTextureFileName = "D:\\other\\body.BMP";  // the same texture name again
  m.BumpTextureFileName = "bump.dds";
  m.FresnelTextureFileName = "ramp.tga";
  m.bIsNNumber = 1;
  std::ostringstream out;
  const std::string w = m.Output(out);
  EXPECT_EQ(w,
            "Warning - RAMP.TGA is not a DDS file and will need converting\r"
            "Warning - BODY.BMP is not a DDS file and will need converting\r");
  const std::string s = out.str();
  EXPECT_THAT(s, HasSubstr("DiffuseTextureFileName {\r\n\"BODY.DDS\";\r\n}\r\n"));
  EXPECT_THAT(s, HasSubstr("SpecularTextureFileName {\r\n\"BODY.DDS\";\r\n}\r\n"));
  EXPECT_THAT(s, HasSubstr("AmbientLightScale {\r\n1.0;\r\n}\r\nNNumberTexture {\r\n 1 ;\r\n}\r\n"
                           "BumpTextureFileName {\r\n\"BUMP.DDS\";\r\n}\r\nFresnelTexture"));

  FS10Material vc;
  vc.bIsVCTexture = 1;
  std::string none;
  EXPECT_EQ(vc.ddsTextureName("C:\\panels\\panel.bmp", none), "PANEL");
  EXPECT_EQ(vc.ddsTextureName("panel", none), "PANEL");
  EXPECT_EQ(none, "");
  EXPECT_EQ(FS10Material().ddsTextureName("a", none), "A.DDS");
}

TEST(FS10MaterialOutput, UnwritableStreamIsAnError) {
  std::ostringstream out;
  out.setstate(std::ios::badbit);
  try {
    FS10Material().Output(out);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), err::PathFileAccess);
  }
}

}  // namespace
}  // namespace vlm
