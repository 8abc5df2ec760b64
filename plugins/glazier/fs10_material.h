// FS10Material: the FS10 flight simulator's extended parameters of one scene material.
//
// The record lives for one edit: Create (or CreateCSG) fills it from a scene material and the
// parameter string stored in the material's "FS10" custom field, Edit lets the user change
// it, toString gives the string to store back. The string is "key=value" items joined by ";"
// (toString, loadString); Output writes the record as an FS10 material text block.
#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "vlm/model.h"

namespace vlm {

class FS10Material {
 public:
  // Specular power; from the scene material, never part of the string.
  float Power = 0;
  float DetailScale = 1.0f;
  float BumpScale = 1.0f;
  float EnvironmentLevelScale = 0.3f;
  int16_t bUseGlobalEnv = 0;
  int16_t bModEnvInvDiffuseAlpha = 0;
  int16_t bModEnvSpecularMapAlpha = 0;
  int16_t bFresnelDiffuse = 0;
  int16_t bFresnelSpecular = 0;
  int16_t bFresnelEnvironment = 0;
  int16_t bUsePrecipitation = 0;
  int16_t bPrecipOffset = 0;
  float PrecipOffset = 0;
  float SpecMapPowerScale = 202.0f;
  std::string SrcBlend = "One";
  std::string DstBlend = "Zero";
  int16_t BlendDiffuseByBaseAlpha = 0;
  int16_t BlendDiffuseByInverseSpecularMapAlpha = 0;
  int16_t AllowBloom = 1;
  float SpecularBloomFloor = 0.9f;
  std::string EmissiveData = "Blend";
  int16_t BaseMaterialSkin = 0;
  int16_t DoubleSidedMaterial = 0;
  int16_t BlendConstantSetting = 0;
  int16_t ForceTextureAddressWrapSetting = 1;
  int16_t ForceTextureAddressClampSetting = 0;
  int16_t BaseMaterialSpecular = 1;
  int16_t NoSpecularBloom = 0;
  int16_t EmissiveBloom = 0;
  int16_t ZTestAlpha = 0;
  float AlphaTestValue = 0.1f;
  int16_t FinalAlpha = 0;
  float FinalAlphaValue = 255.0f;
  std::string AlphaTestFunction = "Never";
  float AmbientLightScale = 1.0f;
  // The diffuse, specular, bump and detail names come from the scene material only.
  std::string DiffuseTextureFileName;
  std::string SpecularTextureFileName;
  std::string EmissiveTextureFileName;
  std::string ReflectionTextureFileName;
  std::string BumpTextureFileName;
  std::string DetailTextureFileName;
  std::string FresnelTextureFileName;
  int16_t EPAssumeVerticalNormal = 0;
  int16_t EPZWriteAlpha = 0;
  int16_t EPNoZWrite = 0;
  int16_t EPVolumeShadow = 0;
  int16_t EPNoShadow = 0;
  int16_t EPPrelitVertices = 0;
  int16_t BloomCopy = 0;
  int16_t BloomModAlpha = 0;
  int16_t bIsNNumber = 0;
  int16_t bIsVCTexture = 0;

  // Writes the FS10 material block (CR LF line ends) and returns the texture warnings, one
  // line per distinct texture that is not a DDS file ("" when there are none). vlm::Error (75)
  // when the stream cannot be written.
  std::string Output(std::ostream& file);
  // Fills the record from a material of the scripting view and its stored string.
  void Create(vlm::Material& material, int32_t fieldId);
  // Fills the record from a material of the scene-graph view and binds it: setSpecular then
  // also sets that material's specular colour.
  void CreateCSG(vlm::GraphMaterial& material, int32_t fieldId);

  // Fills the record from a parameter string. Never fails on content: unknown items are
  // ignored, a number that does not read keeps the member, a missing text becomes empty.
  // Then, with Power below 3, the specular colour and BaseMaterialSpecular become 0.
  void loadString(const std::string& sField);
  // The parameter string: the 50 items in their fixed order.
  std::string toString() const;
  // The value of the first item of the last loadString whose key matches (letter case
  // ignored): everything after "key=". "" when there is none.
  std::string lookupValue(const std::string& key) const;

  // Colour values R + 256 G + 65536 B. vlm::Error (6) when a component is so far outside 0..1
  // that the value leaves the 32-bit range.
  int32_t getDiffColor() const;
  int32_t getSpecColor() const;
  void setSpecular(int32_t l);

  // Opens the options dialog on this record, with the user library in `pluginFolder`.
  // True when the user pressed OK (the record then holds the dialog's values); on Cancel the
  // record is untouched.
  bool Edit(const std::filesystem::path& pluginFolder);

  // The texture name as FS10 wants it: the file name only, upper case, with a DDS extension
  // (a virtual cockpit texture loses its extension instead). A name that needed converting
  // adds its warning line to `warnings` once.
  std::string ddsTextureName(const std::string& name, std::string& warnings) const;

 private:
  struct Item;
  static const std::vector<Item>& WrittenItems();

  float DiffuseRed = 0, DiffuseGreen = 0, DiffuseBlue = 0, DiffuseAlpha = 0;
  float SpecularRed = 0.9f, SpecularGreen = 0.9f, SpecularBlue = 0.9f;
  vlm::GraphMaterial* BoundMaterial = nullptr;
  std::vector<std::string> Parts;
};

}  // namespace vlm
