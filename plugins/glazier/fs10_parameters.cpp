#include "glazier/fs10_parameters.h"

#include <array>
#include <string_view>

namespace vlm {

using glazier::DialogBinding;
using glazier::FS10Parameter;
using glazier::LineEnd;
using glazier::OutputPlace;
using glazier::Print;
using K = glazier::ParameterKind;

namespace {

// ---- the FS10 material block ----------------------------------------------------------------

// A value followed by ";" on a line that goes on.
constexpr OutputPlace Then(Print form) {
  return {form, nullptr, ";", LineEnd::Continue};
}
// A value and the rest of its line.
constexpr OutputPlace Line(Print form, const char* after, const char* opens = nullptr) {
  return {form, opens, after, LineEnd::Line};
}
// A block of its own: "Name {", the value and ";", "}".
constexpr OutputPlace Block(const char* opens, Print form, const char* after = ";") {
  return {form, opens, after, LineEnd::Block};
}

// ---- the options dialog ---------------------------------------------------------------------

constexpr const char* kBlendNames[] = {"Zero",      "One",         "SrcColor",  "InvSrcColor",
                                       "SrcAlpha",  "InvSrcAlpha", "DestAlpha", "InvDestAlpha",
                                       "DestColor", "InvDestColor"};
constexpr const char* kEmissiveModes[] = {"Additive",
                                          "AdditiveNightOnly",
                                          "Blend",
                                          "MultiplyBlend",
                                          "AdditiveUserControlled",
                                          "AdditiveNightOnlyUserControlled",
                                          "BlendUserControlled",
                                          "MultiplyBlendUserControlled"};
constexpr const char* kAlphaTestFunctions[] = {"Never",   "Less",     "Equal",        "LessEqual",
                                               "Greater", "NotEqual", "GreaterEqual", "Always"};

constexpr DialogBinding Check(const char* control, int index, const char* caption,
                              const char* toolTip = nullptr) {
  return {.control = control, .index = index, .caption = caption, .toolTip = toolTip};
}
// A slider that shows member x scale, its value captioned in Label1(label) after `prefix`.
constexpr DialogBinding Slide(const char* control, const char* toolTip, int label,
                              const char* prefix, int min, int max, double scale) {
  return {.control = control,
          .toolTip = toolTip,
          .label = label,
          .labelText = prefix,
          .min = min,
          .max = max,
          .scale = scale};
}
constexpr DialogBinding List(const char* control, int label, const char* labelText,
                             std::span<const char* const> entries) {
  return {.control = control, .label = label, .labelText = labelText, .entries = entries};
}

// What the code that walks the table relies on: each kind has its member type, and the keyed
// parameters fill the items of the string once each.
template <class T>
constexpr bool Holds(const FS10Parameter& p) {
  return std::holds_alternative<T FS10Material::*>(p.member);
}

template <size_t N>
constexpr bool TableIsConsistent(const FS10Parameter (&parameters)[N]) {
  std::array<int, glazier::kStringItems> filled{};
  for (const FS10Parameter& p : parameters) {
    const bool typed = p.kind == K::Flag                            ? Holds<int16_t>(p)
                       : p.kind == K::Number || p.kind == K::Colour ? Holds<float>(p)
                                                                    : Holds<std::string>(p);
    if (!typed || (p.key == nullptr) != (p.slot < 0)) return false;
    if (p.output.form == Print::Real && !Holds<float>(p)) return false;
    if ((p.output.form == Print::Quoted || p.output.form == Print::Texture) &&
        !Holds<std::string>(p))
      return false;
    if (p.slot >= glazier::kStringItems || (p.slot >= 0 && filled[p.slot]++ != 0)) return false;
  }
  for (int count : filled)
    if (count != 1) return false;
  return true;
}
}  // namespace

std::span<const FS10Parameter> FS10Material::Parameters() {
  // Every member of the record, in the order of the FS10 material block.
  static constexpr FS10Parameter kParameters[] = {
      // clang-format off
      {.name = "DiffuseRed", .kind = K::Colour, .member = &FS10Material::DiffuseRed,
       .output = Then(Print::Real)},
      {.name = "DiffuseGreen", .kind = K::Colour, .member = &FS10Material::DiffuseGreen,
       .output = Then(Print::Real)},
      {.name = "DiffuseBlue", .kind = K::Colour, .member = &FS10Material::DiffuseBlue,
       .output = Then(Print::Real)},
      {.name = "DiffuseAlpha", .kind = K::Colour, .member = &FS10Material::DiffuseAlpha,
       .output = Line(Print::Real, ";;")},
      {.name = "SpecularRed", .kind = K::Colour, .member = &FS10Material::SpecularRed,
       .defaultNumber = 0.9f, .key = "SpecRed", .slot = 0, .output = Then(Print::Real)},
      {.name = "SpecularGreen", .kind = K::Colour, .member = &FS10Material::SpecularGreen,
       .defaultNumber = 0.9f, .key = "SpecGreen", .slot = 1, .output = Then(Print::Real)},
      {.name = "SpecularBlue", .kind = K::Colour, .member = &FS10Material::SpecularBlue,
       .defaultNumber = 0.9f, .key = "SpecBlue", .slot = 2, .output = Line(Print::Real, ";;")},
      {.name = "Power", .kind = K::Number, .member = &FS10Material::Power,
       .output = Line(Print::Real, ";  // Spec power")},
      {.name = "DetailScale", .kind = K::Number, .member = &FS10Material::DetailScale,
       .defaultNumber = 1, .key = "DetailScale", .slot = 3, .output = Then(Print::Real),
       .dialog = Slide("sDetailMap", "Number of times the detail texture is tiled", 1, "Detail: ",
                       1, 200, 10)},
      {.name = "BumpScale", .kind = K::Number, .member = &FS10Material::BumpScale,
       .defaultNumber = 1, .key = "BumpScale", .slot = 4,
       .output = Line(Print::Real, ";  // detail and bump scales"),
       .dialog = Slide("sBumpMap", "Number of times the bump map is tiled.", 2, "Bump: ", 1, 200,
                       10)},
      {.name = "EnvironmentLevelScale", .kind = K::Number,
       .member = &FS10Material::EnvironmentLevelScale, .defaultNumber = 0.3f,
       .key = "EnvLevelScale", .slot = 5, .output = Line(Print::Real, ";  // scale env level"),
       .dialog = Slide("sRefScale", "Mulitplier for enviroment map power", 6,
                       "Reflection Scale: ", 0, 100, 100)},
      {.name = "bUseGlobalEnv", .kind = K::Flag, .member = &FS10Material::bUseGlobalEnv,
       .key = "UseGlobalEnv", .slot = 6, .output = Line(Print::Number, "; // use global env"),
       .dialog = Check("chkSF", 4, "Use Global Environment Map as reflection")},
      {.name = "bModEnvInvDiffuseAlpha", .kind = K::Flag,
       .member = &FS10Material::bModEnvInvDiffuseAlpha, .key = "ModEnvInvDiffAlpha", .slot = 7,
       .output = Line(Print::Number, "; // mod env inv diff alpha"),
       .dialog = Check("chkSF", 0, "Blend environment by inverse of diffuse alpha")},
      {.name = "bModEnvSpecularMapAlpha", .kind = K::Flag,
       .member = &FS10Material::bModEnvSpecularMapAlpha, .key = "ModEnvSpecAlpha", .slot = 8,
       .output = Line(Print::Number, "; // mod env spec alpha"),
       .dialog = Check("chkSF", 1, "Blend environment by specular alpha map")},
      {.name = "bFresnelDiffuse", .kind = K::Flag, .member = &FS10Material::bFresnelDiffuse,
       .key = "FresnelDiff", .slot = 9, .output = Then(Print::Number),
       .dialog = Check("chkFRDiff", -1, "Diffuse", "Fresnel affects diffuse texture")},
      {.name = "bFresnelSpecular", .kind = K::Flag, .member = &FS10Material::bFresnelSpecular,
       .key = "FresnelSpec", .slot = 10, .output = Then(Print::Number),
       .dialog = Check("chkFRSpec", -1, "Specular", "Fresnel affects specular map")},
      {.name = "bFresnelEnvironment", .kind = K::Flag,
       .member = &FS10Material::bFresnelEnvironment, .key = "FresnelEnv", .slot = 11,
       .output = Line(Print::Number, "; // fresnel diff, spec, env"),
       .dialog = Check("chkFRRef", -1, "Reflection", "Fresnel affects reflection texture")},
      {.name = "bUsePrecipitation", .kind = K::Flag, .member = &FS10Material::bUsePrecipitation,
       .key = "UsePrecip", .slot = 12, .output = Then(Print::Number),
       .dialog = Check("chkPrecip", -1, "Take into account",
                       "Will cause Specular and reflection only to show when there is "
                       "precipitation")},
      {.name = "bPrecipOffset", .kind = K::Flag, .member = &FS10Material::bPrecipOffset,
       .key = "UsePrecipOffset", .slot = 13, .output = Then(Print::Number),
       .dialog = Check("chkOffset", -1, "Apply offset to start",
                       "Delay appearance of specular and reflection")},
      {.name = "PrecipOffset", .kind = K::Number, .member = &FS10Material::PrecipOffset,
       .key = "PrecipOffset", .slot = 14,
       .output = Line(Print::Real, "; // precip use, offset, offset val"),
       .dialog = Slide("sPrecipOff", "Offset time of delay", 4, "Offset: ", 1, 100, 10)},
      {.name = "SpecMapPowerScale", .kind = K::Number, .member = &FS10Material::SpecMapPowerScale,
       .defaultNumber = 202, .key = "SpecMapPowerScale", .slot = 15,
       .output = Line(Print::Real, "; // specmap power"),
       .dialog = Slide("sSpecPower", "Multiplier for specular map power", 3,
                       "Specular Map Power Scale: ", 0, 255, 1)},
      {.name = "SrcBlend", .kind = K::Enum, .member = &FS10Material::SrcBlend,
       .defaultText = "One", .key = "SrcBlend", .slot = 16,
       .output = {Print::Quoted, nullptr, "; ", LineEnd::Continue},
       .dialog = List("cmbSrc", 11, "Source Blend", kBlendNames)},
      {.name = "DstBlend", .kind = K::Enum, .member = &FS10Material::DstBlend,
       .defaultText = "Zero", .key = "DstBlend", .slot = 17,
       .output = Line(Print::Quoted, "; // blend"),
       .dialog = List("cmbDest", 12, "Destination Blend", kBlendNames)},
      {.name = "BlendDiffuseByBaseAlpha", .kind = K::Flag,
       .member = &FS10Material::BlendDiffuseByBaseAlpha, .key = "BlendDiffBaseAlpha", .slot = 18,
       .output = Block("BlendDiffuseByBaseAlpha {", Print::Number),
       .dialog = Check("chkSF", 2, "Blend diffuse color by diffuse alpha")},
      {.name = "BlendDiffuseByInverseSpecularMapAlpha", .kind = K::Flag,
       .member = &FS10Material::BlendDiffuseByInverseSpecularMapAlpha,
       .key = "BlendDiffInvSpecMapAlpha", .slot = 19,
       .output = Block("BlendDiffuseByInverseSpecularMapAlpha {", Print::Number),
       .dialog = Check("chkSF", 3, "Blend diffuse by inverse of specular map alpha")},
      {.name = "AllowBloom", .kind = K::Flag, .member = &FS10Material::AllowBloom,
       .defaultNumber = 1, .key = "AllowBloom", .slot = 20,
       .output = Block("AllowBloom {", Print::Number),
       .dialog = Check("chkBloom", 0, "Allow Bloom", "Turn on bloom (specular by default)")},
      {.name = "SpecularBloomFloor", .kind = K::Number,
       .member = &FS10Material::SpecularBloomFloor, .defaultNumber = 0.9f,
       .key = "SpecBloomFloor", .slot = 21, .output = Block("SpecularBloomFloor {", Print::Real),
       .dialog = Slide("slBFloor", "Value above which the specular component will bloom", 7,
                       "Specular Bloom Floor : ", 0, 100, 100)},
      {.name = "EmissiveData", .kind = K::Enum, .member = &FS10Material::EmissiveData,
       .defaultText = "Blend", .key = "EmissiveData", .slot = 22,
       .output = Block("EmissiveData {", Print::Quoted),
       .dialog = List("cmbEmissive", 15, "Emissive Mode", kEmissiveModes)},
      {.name = "ZTestAlpha", .kind = K::Flag, .member = &FS10Material::ZTestAlpha,
       .key = "ZTestAlpha", .slot = 25,
       .output = Line(Print::Number, ";  // ZTest Alpha", "AlphaData  {"),
       .dialog = Check("chkZAlpha", -1, "Z-Test Alpha")},
      {.name = "AlphaTestValue", .kind = K::Number, .member = &FS10Material::AlphaTestValue,
       .defaultNumber = 0.1f, .key = "AlphaTestValue", .slot = 24,
       .output = Line(Print::Number, ";  // Alpha test threshold"),
       .dialog = Slide("sAlphaTest", nullptr, 13, "Alpha Test Level : ", 0, 100, 100)},
      {.name = "AlphaTestFunction", .kind = K::Enum, .member = &FS10Material::AlphaTestFunction,
       .defaultText = "Never", .key = "AlphaTestFunction", .slot = 23,
       .output = Line(Print::Quoted, ";  // Alpha test function"),
       .dialog = List("cmbATestMode", 16, "Alpha Test Mode", kAlphaTestFunctions)},
      {.name = "FinalAlpha", .kind = K::Flag, .member = &FS10Material::FinalAlpha,
       .key = "FinalAlpha", .slot = 48, .output = Line(Print::Number, ";  // Perform final alpha write"),
       .dialog = Check("chkFinal", -1, "Final Alpha Write")},
      {.name = "FinalAlphaValue", .kind = K::Number, .member = &FS10Material::FinalAlphaValue,
       .defaultNumber = 255, .key = "FinalAlphaValue", .slot = 49,
       .output = {Print::Real, nullptr, ";  // Final alpha value", LineEnd::Block},
       .dialog = Slide("sFinal", nullptr, 18, "Final Alpha Value: ", 0, 255, 1)},
      {.name = "EPAssumeVerticalNormal", .kind = K::Flag,
       .member = &FS10Material::EPAssumeVerticalNormal, .key = "AssumeVerticalNormal", .slot = 26,
       .output = Line(Print::Number, ";  // Assume vertical normal", "EnhancedParameters  {"),
       .dialog = Check("chkEP", 0, "Assume vertical normal", "Used for flat shading e.g. trees")},
      {.name = "EPZWriteAlpha", .kind = K::Flag, .member = &FS10Material::EPZWriteAlpha,
       .key = "ZWriteAlpha", .slot = 31, .output = Line(Print::Number, ";  // Z-Write alpha"),
       .dialog = Check("chkEP", 1, "Z-write alpha",
                       "Write alpha to scene depth buffer (alpha sorting)")},
      {.name = "EPNoZWrite", .kind = K::Flag, .member = &FS10Material::EPNoZWrite,
       .key = "NoZWrite", .slot = 28, .output = Line(Print::Number, ";  // No Z-Write"),
       .dialog = Check("chkEP", 2, "No Z-write", "Disable depth sorting")},
      {.name = "EPVolumeShadow", .kind = K::Flag, .member = &FS10Material::EPVolumeShadow,
       .key = "VolumeShadow", .slot = 30, .output = Line(Print::Number, ";  // Volume shadow"),
       .dialog = Check("chkEP", 3, "Volume shadow",
                       "Turn on volume shadow (object must be manifold)")},
      {.name = "EPNoShadow", .kind = K::Flag, .member = &FS10Material::EPNoShadow,
       .key = "NoShadow", .slot = 27, .output = Line(Print::Number, ";  // No shadow"),
       .dialog = Check("chkEP", 4, "No shadow", "Turn off self shadow")},
      // Read back by any letter case, as every key is, so also as "PrelitVertices".
      {.name = "EPPrelitVertices", .kind = K::Flag, .member = &FS10Material::EPPrelitVertices,
       .key = "PreLitVertices", .slot = 29,
       .output = {Print::Number, nullptr, ";  // PRelit vertices", LineEnd::Block},
       .dialog = Check("chkEP", 5, "Prelit vertices", "")},
      {.name = "BaseMaterialSkin", .kind = K::Flag, .member = &FS10Material::BaseMaterialSkin,
       .key = "BaseMaterialSkin", .slot = 32, .output = Block("BaseMaterialSkin {", Print::Number),
       .dialog = Check("chkEP", 7, "Skinned mesh", "Enable skin and bone animations")},
      {.name = "DoubleSidedMaterial", .kind = K::Flag,
       .member = &FS10Material::DoubleSidedMaterial, .key = "DoubleSided", .slot = 33,
       .output = Block("DoubleSidedMaterial {", Print::Number),
       .dialog = Check("chkEP", 8, "Double sided", "Render both sides of the polygon")},
      {.name = "BlendConstantSetting", .kind = K::Flag,
       .member = &FS10Material::BlendConstantSetting, .key = "BlendConstantSetting", .slot = 34,
       .output = Block("BlendConstantSetting {", Print::Number),
       .dialog = Check("chkEP", 9, "Blend constant", "Internal use")},
      {.name = "ForceTextureAddressWrapSetting", .kind = K::Flag,
       .member = &FS10Material::ForceTextureAddressWrapSetting, .defaultNumber = 1,
       .key = "ForceTextureWrap", .slot = 35,
       .output = Block("ForceTextureAddressWrapSetting {", Print::Number),
       .dialog = Check("chkEP", 10, "Force Texture Address Wrap", "")},
      {.name = "ForceTextureAddressClampSetting", .kind = K::Flag,
       .member = &FS10Material::ForceTextureAddressClampSetting, .key = "ForceTextureClamp",
       .slot = 36, .output = Block("ForceTextureAddressClampSetting {", Print::Number, "; "),
       .dialog = Check("chkEP", 11, "Force Texture Address Clamp", "")},
      {.name = "BaseMaterialSpecular", .kind = K::Flag,
       .member = &FS10Material::BaseMaterialSpecular, .defaultNumber = 1,
       .key = "BaseMaterialSpec", .slot = 37,
       .output = Block("BaseMaterialSpecular {", Print::Number),
       .dialog = {.control = "chkEP", .index = 6, .caption = "No base material specular",
                  .toolTip = "Turn off specular lighting for the material", .inverted = true}},
      {.name = "NoSpecularBloom", .kind = K::Flag, .member = &FS10Material::NoSpecularBloom,
       .key = "NoSpecBloom", .slot = 38, .output = Block("NoSpecularBloom {", Print::Number),
       .dialog = Check("chkBloom", 3, "No Specular bloom", "Turn off specular bloom")},
      {.name = "EmissiveBloom", .kind = K::Flag, .member = &FS10Material::EmissiveBloom,
       .key = "EmissiveBloom", .slot = 39, .output = Block("EmissiveBloom {", Print::Number),
       .dialog = Check("chkBloom", 4, "Allow emissive bloom",
                       "Bloom using emissive (night) texture.")},
      {.name = "BloomCopy", .kind = K::Flag, .member = &FS10Material::BloomCopy,
       .key = "BloomCopy", .slot = 44, .output = {Print::Number, "BloomData {", ";",
       LineEnd::Continue}, .dialog = Check("chkBloom", 1, "Bloom material by copying")},
      {.name = "BloomModAlpha", .kind = K::Flag, .member = &FS10Material::BloomModAlpha,
       .key = "BloomModAlpha", .slot = 45, .output = {Print::Number, nullptr, ";", LineEnd::Block},
       .dialog = Check("chkBloom", 2, "Bloom material modulating by alpha")},
      {.name = "AmbientLightScale", .kind = K::Number, .member = &FS10Material::AmbientLightScale,
       .defaultNumber = 1, .key = "AmbientLightScale", .slot = 40,
       .output = Block("AmbientLightScale {", Print::Real),
       .dialog = Slide("slAmbScale", "Adjustment to the ambient light on the material.", 8,
                       "Ambient Scale : ", 0, 100, 100)},
      {.name = "bIsNNumber", .kind = K::Flag, .member = &FS10Material::bIsNNumber,
       .key = "IsNNumber", .slot = 46,
       .output = {Print::Number, "NNumberTexture {", ";", LineEnd::Block, true},
       .dialog = Check("chkAirMat", 1, "Is N-Number texture")},
      {.name = "bIsVCTexture", .kind = K::Flag, .member = &FS10Material::bIsVCTexture,
       .key = "IsVCTexture", .slot = 47,
       .dialog = Check("chkAirMat", 0, "Is virtual cockpit panel texture")},
      // The diffuse, specular, bump and detail textures come from the scene material only.
      {.name = "BumpTextureFileName", .kind = K::Text, .member = &FS10Material::BumpTextureFileName,
       .output = Block("BumpTextureFileName {", Print::Texture)},
      {.name = "DetailTextureFileName", .kind = K::Text,
       .member = &FS10Material::DetailTextureFileName,
       .output = Block("DetailTextureFileName {", Print::Texture)},
      {.name = "FresnelTextureFileName", .kind = K::Text,
       .member = &FS10Material::FresnelTextureFileName, .key = "FresnelTexture", .slot = 43,
       .output = Block("FresnelTextureFileName {", Print::Texture),
       .dialog = {.control = "cmdFR", .toolTip = "Click here to select the fresnel ramp dds file",
                  .preview = "Picture2"}},
      {.name = "DiffuseTextureFileName", .kind = K::Text,
       .member = &FS10Material::DiffuseTextureFileName,
       .output = Block("DiffuseTextureFileName {", Print::Texture)},
      {.name = "SpecularTextureFileName", .kind = K::Text,
       .member = &FS10Material::SpecularTextureFileName,
       .output = Block("SpecularTextureFileName {", Print::Texture)},
      {.name = "ReflectionTextureFileName", .kind = K::Text,
       .member = &FS10Material::ReflectionTextureFileName, .key = "ReflectionTexture", .slot = 42,
       .output = Block("ReflectionTextureFileName {", Print::Texture)},
      {.name = "EmissiveTextureFileName", .kind = K::Text,
       .member = &FS10Material::EmissiveTextureFileName, .key = "EmissiveTexture", .slot = 41,
       .output = Block("EmissiveTextureFileName {", Print::Texture),
       .dialog = {.control = "cmdET", .label = 14, .labelText = "Emissive Texture",
                  .preview = "Picture3"}},
      // clang-format on
  };
  static_assert(TableIsConsistent(kParameters));
  return kParameters;
}

}  // namespace vlm
