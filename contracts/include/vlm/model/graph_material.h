// A material of the scene-graph view (the same material is a Material of the scripting view)
// and its texture set.
#pragma once

#include <cstdint>
#include <string>

#include "vlm/model/types.h"

namespace vlm {

// How a texture is sampled at coordinates outside 0..1, along one axis: repeated, its edge
// texels stretched (clamp), or repeated with every other copy mirrored.
enum class TextureWrap : int32_t { Repeat = 0, Clamp = 1, Mirror = 2 };

class TextureSet {
 public:
  virtual ~TextureSet() = default;
  // File names as the user gave them; "" for none.
  virtual std::string DiffuseMap() = 0;
  virtual std::string BumpMap() = 0;
  virtual std::string DetailMap() = 0;
  virtual std::string SpecularMap() = 0;
  virtual std::string EnvironmentMap() = 0;
  // How the set's textures wrap along u and along v; a set that does not say repeats.
  virtual TextureWrap WrapU() { return TextureWrap::Repeat; }
  virtual TextureWrap WrapV() { return TextureWrap::Repeat; }
};

class GraphMaterial {
 public:
  virtual ~GraphMaterial() = default;

  // Diffuse colour; alpha is the opacity (1 - translucency / 100).
  virtual Rgba GetDiffuse() = 0;
  virtual Rgb GetAmbient() = 0;
  virtual Rgb GetEmissive() = 0;
  virtual Rgb GetSpecular() = 0;
  virtual void SetSpecular(float red, float green, float blue) = 0;
  virtual float Gloss() = 0;

  // The texture set, or nullptr when the material has none.
  virtual TextureSet* Textures() = 0;

  virtual std::string GetCustomField(int32_t slot) = 0;
  virtual void SetCustomField(int32_t slot, const std::string& text) = 0;
};

}  // namespace vlm
