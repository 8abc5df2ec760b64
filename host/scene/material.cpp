#include "scene/material.h"

#include "scene/checked.h"
#include "scene/document.h"

namespace vlm::host {
namespace {

constexpr TextureWrap kWraps[] = {TextureWrap::Repeat, TextureWrap::Clamp, TextureWrap::Mirror};

}  // namespace

const char* WrapName(TextureWrap wrap) {
  switch (wrap) {
    case TextureWrap::Clamp:
      return "clamp";
    case TextureWrap::Mirror:
      return "mirror";
    default:
      return "repeat";
  }
}

std::optional<TextureWrap> WrapFromName(std::string_view name) {
  for (TextureWrap wrap : kWraps)
    if (name == WrapName(wrap)) return wrap;
  return std::nullopt;
}

std::vector<std::string> WrapNames() {
  std::vector<std::string> names;
  for (TextureWrap wrap : kWraps)
    names.emplace_back(WrapName(wrap));
  return names;
}

HostMaterial::HostMaterial(HostDocument& document, std::string name)
    : name(std::move(name)), document_(document) {}

void HostMaterial::SetDiffuseColor(float red, float green, float blue) {
  diffuse = {red, green, blue};
}

void HostMaterial::SetTranslucency(int32_t percent) {
  if (percent < 0 || percent > 100)
    Raise(err::InvalidProcedureCall,
          "translucency " + std::to_string(percent) + " is outside 0..100");
  translucency = percent;
}

void HostMaterial::SetMap(std::string& map, const std::string& file) {
  map = file;
  hasTextures = hasTextures || !file.empty();
}

std::string HostMaterial::GetCustomField(int32_t slot) {
  return FieldText(fields, document_.MaterialFieldNames(), slot, "material custom field");
}

void HostMaterial::SetCustomField(int32_t slot, const std::string& text) {
  SetFieldText(fields, document_.MaterialFieldNames(), slot, text, "material custom field");
}

Rgba HostMaterial::GetDiffuse() {
  return {diffuse.r, diffuse.g, diffuse.b, 1.0f - static_cast<float>(translucency) / 100.0f};
}

void HostMaterial::SetSpecular(float red, float green, float blue) {
  specular = {red, green, blue};
}

}  // namespace vlm::host
