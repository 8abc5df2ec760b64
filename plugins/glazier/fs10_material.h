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
#include <span>
#include <string>
#include <vector>

#include "vlm/model.h"

namespace vlm {

namespace glazier {
struct FS10Parameter;
}

class FS10Material {
 public:
  // A record with every parameter at its default.
  FS10Material();

  // The parameters, one descriptor each, in the order of the FS10 material block: the one
  // place that gives each member its default, its item in the string, its line in the block
  // and its control in the options dialog (fs10_parameters.h).
  static std::span<const glazier::FS10Parameter> Parameters();

  // The members, in their declared order; their defaults are in Parameters().
  float Power{};  // specular power; from the scene material, never part of the string
  float DetailScale{}, BumpScale{}, EnvironmentLevelScale{};
  int16_t bUseGlobalEnv{}, bModEnvInvDiffuseAlpha{}, bModEnvSpecularMapAlpha{};
  int16_t bFresnelDiffuse{}, bFresnelSpecular{}, bFresnelEnvironment{};
  int16_t bUsePrecipitation{}, bPrecipOffset{};
  float PrecipOffset{}, SpecMapPowerScale{};
  std::string SrcBlend, DstBlend;
  int16_t BlendDiffuseByBaseAlpha{}, BlendDiffuseByInverseSpecularMapAlpha{}, AllowBloom{};
  float SpecularBloomFloor{};
  std::string EmissiveData;
  int16_t BaseMaterialSkin{}, DoubleSidedMaterial{}, BlendConstantSetting{};
  int16_t ForceTextureAddressWrapSetting{}, ForceTextureAddressClampSetting{};
  int16_t BaseMaterialSpecular{}, NoSpecularBloom{}, EmissiveBloom{};
  int16_t ZTestAlpha{};
  float AlphaTestValue{};
  int16_t FinalAlpha{};
  float FinalAlphaValue{};
  std::string AlphaTestFunction;
  float AmbientLightScale{};
  // The diffuse, specular, bump and detail names come from the scene material only.
  std::string DiffuseTextureFileName, SpecularTextureFileName, EmissiveTextureFileName;
  std::string ReflectionTextureFileName, BumpTextureFileName, DetailTextureFileName;
  std::string FresnelTextureFileName;
  int16_t EPAssumeVerticalNormal{}, EPZWriteAlpha{}, EPNoZWrite{}, EPVolumeShadow{};
  int16_t EPNoShadow{}, EPPrelitVertices{};
  int16_t BloomCopy{}, BloomModAlpha{};
  int16_t bIsNNumber{}, bIsVCTexture{};

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
  // ignored, a number that does not read keeps the member, a missing text becomes empty, a
  // colour component outside 0..1 becomes 0 or 1 with a warning (vlm::Warn) naming it.
  // Then, with Power below 3, the specular colour and BaseMaterialSpecular become 0.
  void loadString(const std::string& sField);
  // The parameter string: the 50 items in their fixed order.
  std::string toString() const;
  // The same items ("key=value") one by one; toString joins them with ";".
  std::vector<std::string> toItems() const;
  // Fills the record from items as loadString does from the items of a string (no items: as
  // from an empty string).
  void loadItems(std::vector<std::string> items);
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
  float DiffuseRed{}, DiffuseGreen{}, DiffuseBlue{}, DiffuseAlpha{};
  float SpecularRed{}, SpecularGreen{}, SpecularBlue{};
  vlm::GraphMaterial* BoundMaterial = nullptr;
  std::vector<std::string> Parts;
};

}  // namespace vlm
