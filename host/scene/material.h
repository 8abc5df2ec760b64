// A material of the scene document: a Material of the scripting view and a GraphMaterial of
// the scene-graph view at once.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vlm/model.h"

namespace vlm::host {

class HostDocument;

// The wrap modes as the scene file names them: "repeat", "clamp", "mirror".
const char* WrapName(TextureWrap wrap);
std::optional<TextureWrap> WrapFromName(std::string_view name);
std::vector<std::string> WrapNames();

class HostMaterial final : public Material, public GraphMaterial, private TextureSet {
 public:
  HostMaterial(HostDocument& document, std::string name);

  // Host-side state (the file format's fields).
  std::string name;
  Rgb diffuse{0.8f, 0.8f, 0.8f};
  Rgb ambient{0.2f, 0.2f, 0.2f};
  Rgb emissive{0, 0, 0};
  Rgb specular{1, 1, 1};
  float gloss = 0;
  int32_t diffuseLevel = 100, ambientLevel = 20, specularLevel = 0, translucency = 0;
  bool hasTextures = false;  // a texture set exists (it may hold only empty names)
  std::string diffuseMap, bumpMap, detailMap, specularMap, environmentMap;
  TextureWrap wrapU = TextureWrap::Repeat, wrapV = TextureWrap::Repeat;
  std::map<int32_t, std::string> fields;  // material custom fields by slot

  // Material
  std::string Name() override { return name; }
  Rgb GetDiffuseColor() override { return diffuse; }
  void SetDiffuseColor(float red, float green, float blue) override;
  int32_t DiffuseLevel() override { return diffuseLevel; }
  void SetDiffuseLevel(int32_t level) override { diffuseLevel = level; }
  int32_t AmbientLevel() override { return ambientLevel; }
  void SetAmbientLevel(int32_t level) override { ambientLevel = level; }
  int32_t SpecularLevel() override { return specularLevel; }
  void SetSpecularLevel(int32_t level) override { specularLevel = level; }
  int32_t Translucency() override { return translucency; }
  void SetTranslucency(int32_t percent) override;
  std::string DiffuseTexture() override { return diffuseMap; }
  void SetDiffuseTexture(const std::string& file) override { SetMap(diffuseMap, file); }
  std::string BumpTexture() override { return bumpMap; }
  void SetBumpTexture(const std::string& file) override { SetMap(bumpMap, file); }
  std::string DetailTexture() override { return detailMap; }
  void SetDetailTexture(const std::string& file) override { SetMap(detailMap, file); }
  std::string SpecularTexture() override { return specularMap; }
  void SetSpecularTexture(const std::string& file) override { SetMap(specularMap, file); }
  std::string EnvironmentTexture() override { return environmentMap; }
  void SetEnvironmentTexture(const std::string& file) override { SetMap(environmentMap, file); }
  // Material and GraphMaterial
  std::string GetCustomField(int32_t slot) override;
  void SetCustomField(int32_t slot, const std::string& text) override;
  // GraphMaterial
  Rgba GetDiffuse() override;
  Rgb GetAmbient() override { return ambient; }
  Rgb GetEmissive() override { return emissive; }
  Rgb GetSpecular() override { return specular; }
  void SetSpecular(float red, float green, float blue) override;
  float Gloss() override { return gloss; }
  TextureSet* Textures() override { return hasTextures ? this : nullptr; }

 private:
  // Setting a file name that is not empty gives the material a texture set.
  void SetMap(std::string& map, const std::string& file);
  // TextureSet
  std::string DiffuseMap() override { return diffuseMap; }
  std::string BumpMap() override { return bumpMap; }
  std::string DetailMap() override { return detailMap; }
  std::string SpecularMap() override { return specularMap; }
  std::string EnvironmentMap() override { return environmentMap; }
  TextureWrap WrapU() override { return wrapU; }
  TextureWrap WrapV() override { return wrapV; }
  HostDocument& document_;
};

}  // namespace vlm::host
