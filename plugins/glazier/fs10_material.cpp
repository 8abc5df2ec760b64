#include "glazier/fs10_material.h"

#include <array>
#include <cctype>
#include <cmath>
#include <variant>

#include "glazier/frm_options.h"
#include "glazier/fs10_parameters.h"
#include "glazier/number_forms.h"
#include "vlm/error.h"
#include "vlm/text.h"
#include "vlm/warnings.h"

namespace vlm {

using glazier::ColorValue;
using glazier::formatReal;
using glazier::FormatSingle;
using glazier::PrintNumber;

namespace {}  // namespace

FS10Material::FS10Material() {
  for (const glazier::FS10Parameter& p : Parameters()) {
    std::visit(
        [&](auto member) {
          auto& target = this->*member;
          using T = std::decay_t<decltype(target)>;
          if constexpr (std::is_same_v<T, std::string>)
            target = p.defaultText;
          else
            target = static_cast<T>(p.defaultNumber);
        },
        p.member);
  }
}

// ---- string form ----------------------------------------------------------------------------

std::string FS10Material::toString() const {
  std::string text;
  for (const std::string& item : toItems()) {
    if (!text.empty()) text += ';';
    text += item;
  }
  return text;
}

std::vector<std::string> FS10Material::toItems() const {
  std::vector<std::string> items(glazier::kStringItems);
  for (const glazier::FS10Parameter& p : Parameters()) {
    if (!p.key) continue;
    std::string& item = items[static_cast<size_t>(p.slot)];
    item = std::string(p.key) + '=';
    std::visit(
        [&](auto member) {
          const auto& value = this->*member;
          using T = std::decay_t<decltype(value)>;
          if constexpr (std::is_same_v<T, float>)
            item += FormatSingle(value);
          else if constexpr (std::is_same_v<T, int16_t>)
            item += std::to_string(value);
          else
            item += value;
        },
        p.member);
  }
  return items;
}

void FS10Material::loadString(const std::string& sField) {
  std::vector<std::string> items;
  for (size_t start = 0; !sField.empty();) {
    const size_t end = sField.find(';', start);
    items.push_back(sField.substr(start, end == std::string::npos ? end : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  loadItems(std::move(items));
}

void FS10Material::loadItems(std::vector<std::string> items) {
  if (!items.empty()) {
    Parts = std::move(items);
    // Each key is read on its own: a number that does not read keeps its member. A colour
    // component outside 0..1 (which no colour value can show) is brought to the nearer end.
    for (const glazier::FS10Parameter& p : Parameters()) {
      if (!p.key) continue;
      const std::string value = lookupValue(p.key);
      std::visit(
          [&](auto member) {
            auto& target = this->*member;
            using T = std::decay_t<decltype(target)>;
            if constexpr (std::is_same_v<T, float>) {
              if (glazier::ParseSingle(value, target) && p.kind == glazier::ParameterKind::Colour &&
                  !(target >= 0 && target <= 1)) {
                target = target > 0 ? 1.0f : 0.0f;
                Warn("the material's " + std::string(p.key) + "=" + value + " is outside 0 to 1; " +
                     FormatSingle(target) + " is used");
              }
            } else if constexpr (std::is_same_v<T, int16_t>)
              glazier::ParseInteger16(value, target);
            else
              target = value;
          },
          p.member);
    }
  }
  if (Power < 3) {
    SpecularRed = SpecularGreen = SpecularBlue = 0;
    BaseMaterialSpecular = 0;
  }
}

std::string FS10Material::lookupValue(const std::string& key) const {
  if (key.empty()) return {};
  const std::string prefix = key + "=";
  for (const std::string& part : Parts) {
    if (StartsWithNoCase(part, prefix)) return part.substr(prefix.size());
  }
  return {};
}

// ---- colours --------------------------------------------------------------------------------

int32_t FS10Material::getDiffColor() const {
  return ColorValue(DiffuseRed, DiffuseGreen, DiffuseBlue);
}

int32_t FS10Material::getSpecColor() const {
  return ColorValue(SpecularRed, SpecularGreen, SpecularBlue);
}

void FS10Material::setSpecular(int32_t l) {
  SpecularBlue = static_cast<float>(l / 65536) / 255.0f;
  SpecularGreen = static_cast<float>((l / 256) % 256) / 255.0f;
  SpecularRed = static_cast<float>(l % 256) / 255.0f;
  if (BoundMaterial) BoundMaterial->SetSpecular(SpecularRed, SpecularGreen, SpecularBlue);
}

// ---- filling from the scene -----------------------------------------------------------------

void FS10Material::Create(vlm::Material& material, int32_t fieldId) {
  const Rgb diffuse = material.GetDiffuseColor();
  DiffuseRed = diffuse.r;
  DiffuseGreen = diffuse.g;
  DiffuseBlue = diffuse.b;

  const int32_t t = material.Translucency();
  const bool translucent = t >= 2;
  DiffuseAlpha = translucent ? static_cast<float>(t) / 100.0f : 1.0f;

  bUseGlobalEnv = 0;
  Power = static_cast<float>(material.SpecularLevel()) * 2.5f;

  BumpTextureFileName = material.BumpTexture();
  DetailTextureFileName = material.DetailTexture();
  SpecularTextureFileName = material.SpecularTexture();
  DiffuseTextureFileName = material.DiffuseTexture();
  if (material.EnvironmentTexture().size() > 2) bUseGlobalEnv = 1;

  SrcBlend = translucent ? "SrcAlpha" : "One";
  DstBlend = translucent ? "InvSrcAlpha" : "Zero";

  loadString(material.GetCustomField(fieldId));
}

void FS10Material::CreateCSG(vlm::GraphMaterial& material, int32_t fieldId) {
  BoundMaterial = &material;

  const Rgba diffuse = material.GetDiffuse();
  DiffuseRed = diffuse.r;
  DiffuseGreen = diffuse.g;
  DiffuseBlue = diffuse.b;
  DiffuseAlpha = diffuse.a;
  const bool translucent = DiffuseAlpha < 0.97f;
  if (!translucent) DiffuseAlpha = 1.0f;

  const Rgb specular = material.GetSpecular();
  SpecularRed = specular.r;
  SpecularGreen = specular.g;
  SpecularBlue = specular.b;

  const float g = material.Gloss();
  Power = g != 0 ? 250.0f - g : 0.0f;

  bUseGlobalEnv = 0;
  if (TextureSet* textures = material.Textures()) {
    auto name = [](std::string map) { return map == "." ? std::string() : map; };
    BumpTextureFileName = name(textures->BumpMap());
    DetailTextureFileName = name(textures->DetailMap());
    SpecularTextureFileName = name(textures->SpecularMap());
    DiffuseTextureFileName = textures->DiffuseMap();
    if (textures->EnvironmentMap().size() > 2) bUseGlobalEnv = 1;
  }

  SrcBlend = translucent ? "SrcAlpha" : "One";
  DstBlend = translucent ? "InvSrcAlpha" : "Zero";

  loadString(material.GetCustomField(fieldId));
}

bool FS10Material::Edit(const std::filesystem::path& pluginFolder) {
  glazier::frmOptions dialog;
  dialog.fx = this;
  dialog.PluginFolder = pluginFolder;
  dialog.ShowModal();
  return dialog.Stored();
}

// ---- the FS10 material block ----------------------------------------------------------------

std::string FS10Material::ddsTextureName(const std::string& name, std::string& warnings) const {
  std::string result = name;
  if (bIsVCTexture == 1) {
    const size_t dot = result.rfind('.');
    if (dot != std::string::npos) result.erase(dot);
  }
  // Names come from Windows ("\"), but a name picked on this machine may use "/".
  const size_t slash = result.find_last_of("\\/");
  if (slash != std::string::npos) result.erase(0, slash + 1);
  result = ToUpper(result);
  if (bIsVCTexture != 1 &&
      (result.size() < 3 || result.compare(result.size() - 3, 3, "DDS") != 0)) {
    const std::string line =
        "Warning - " + result + " is not a DDS file and will need converting\r";
    // Each line ends with its carriage return, so a line is known by "\r" + line.
    if (("\r" + warnings).find("\r" + line) == std::string::npos) warnings += line;
    if (result.size() >= 3)
      result.replace(result.size() - 3, 3, "DDS");
    else
      result += ".DDS";  // too short to hold an extension: keep the name
  }
  return result;
}

std::string FS10Material::Output(std::ostream& file) {
  using glazier::LineEnd;
  using glazier::Print;
  std::string w;
  const char* eol = "\r\n";
  file << "FS10Material {" << eol;
  for (const glazier::FS10Parameter& p : Parameters()) {
    const glazier::OutputPlace& out = p.output;
    if (out.form == Print::None) continue;
    std::string value;
    std::visit(
        [&](auto member) {
          const auto& v = this->*member;
          using T = std::decay_t<decltype(v)>;
          if constexpr (std::is_same_v<T, std::string>) {
            if (out.form == Print::Texture && !v.empty())
              value = "\"" + ddsTextureName(v, w) + "\"";
            else if (out.form == Print::Quoted)
              value = "\"" + v + "\"";
          } else {
            if (out.onlyWhenOne && v != 1) return;
            if constexpr (std::is_same_v<T, float>)
              value = out.form == Print::Real ? formatReal(v) : PrintNumber(v);
            else
              value = PrintNumber(v);
          }
        },
        p.member);
    // A texture without a name and a value shown only when it is 1 leave no trace.
    if (value.empty()) continue;
    if (out.opens) file << out.opens << eol;
    file << value << out.after;
    if (out.end != LineEnd::Continue) file << eol;
    if (out.end == LineEnd::Block) file << "}" << eol;
  }
  file << "}  // FS10Material end" << eol;

  file.flush();
  if (!file) Raise(err::PathFileAccess, "the FS10 material block could not be written");
  return w;
}

}  // namespace vlm
