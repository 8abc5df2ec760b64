// A material of the scripting view. The same material is a GraphMaterial in the scene-graph
// view; the two share colours, texture names and custom fields.
#pragma once

#include <cstdint>
#include <string>

#include "vlm/model/types.h"

namespace vlm {

class Material {
 public:
  virtual ~Material() = default;

  // The name a person knows the material by, to tell materials apart; "" where the host has
  // none.
  virtual std::string Name() { return {}; }

  virtual Rgb GetDiffuseColor() = 0;  // components 0..1
  virtual void SetDiffuseColor(float red, float green, float blue) = 0;

  // Levels and translucency are whole percentages.
  virtual int32_t DiffuseLevel() = 0;
  virtual void SetDiffuseLevel(int32_t level) = 0;
  virtual int32_t AmbientLevel() = 0;
  virtual void SetAmbientLevel(int32_t level) = 0;
  virtual int32_t SpecularLevel() = 0;
  virtual void SetSpecularLevel(int32_t level) = 0;
  virtual int32_t Translucency() = 0;  // 0 opaque .. 100
  virtual void SetTranslucency(int32_t percent) = 0;

  // Texture file names; "" for none.
  virtual std::string DiffuseTexture() = 0;
  virtual void SetDiffuseTexture(const std::string& file) = 0;
  virtual std::string BumpTexture() = 0;
  virtual void SetBumpTexture(const std::string& file) = 0;
  virtual std::string DetailTexture() = 0;
  virtual void SetDetailTexture(const std::string& file) = 0;
  virtual std::string SpecularTexture() = 0;
  virtual void SetSpecularTexture(const std::string& file) = 0;
  virtual std::string EnvironmentTexture() = 0;
  virtual void SetEnvironmentTexture(const std::string& file) = 0;

  // Material custom fields by slot (Node::FindMaterialCustomField gives the slot).
  virtual std::string GetCustomField(int32_t slot) = 0;
  virtual void SetCustomField(int32_t slot, const std::string& text) = 0;
};

}  // namespace vlm
