#include "fs10_material.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <variant>

#include "frm_options.h"
#include "number_forms.h"
#include "vlm/error.h"

namespace vlm {

using glazier::ColorValue;
using glazier::formatReal;
using glazier::FormatSingle;
using glazier::PrintNumber;

// One item of the parameter string and the member it carries.
struct FS10Material::Item {
  const char* key;
  std::variant<float FS10Material::*, int16_t FS10Material::*, std::string FS10Material::*> member;
};

namespace {

bool StartsWithIgnoringCase(const std::string& text, const std::string& prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(text[i])) !=
        std::toupper(static_cast<unsigned char>(prefix[i])))
      return false;
  }
  return true;
}

std::string UpperCase(std::string text) {
  for (char& c : text)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// The keys in the order loadString reads them. "PrelitVertices" finds the item that toString
// writes as "PreLitVertices": keys are compared without regard to case.
constexpr const char* kReadOrder[] = {
    "SpecRed",
    "SpecGreen",
    "SpecBlue",
    "UseGlobalEnv",
    "SrcBlend",
    "DstBlend",
    "DetailScale",
    "BumpScale",
    "EnvLevelScale",
    "ModEnvInvDiffAlpha",
    "ModEnvSpecAlpha",
    "FresnelDiff",
    "FresnelSpec",
    "FresnelEnv",
    "UsePrecip",
    "UsePrecipOffset",
    "PrecipOffset",
    "SpecMapPowerScale",
    "BlendDiffBaseAlpha",
    "BlendDiffInvSpecMapAlpha",
    "AllowBloom",
    "SpecBloomFloor",
    "EmissiveData",
    "AlphaTestFunction",
    "AlphaTestValue",
    "ZTestAlpha",
    "FinalAlphaValue",
    "FinalAlpha",
    "AssumeVerticalNormal",
    "NoShadow",
    "NoZWrite",
    "PrelitVertices",
    "VolumeShadow",
    "ZWriteAlpha",
    "BaseMaterialSkin",
    "DoubleSided",
    "BlendConstantSetting",
    "ForceTextureWrap",
    "ForceTextureClamp",
    "BaseMaterialSpec",
    "NoSpecBloom",
    "EmissiveBloom",
    "AmbientLightScale",
    "EmissiveTexture",
    "ReflectionTexture",
    "FresnelTexture",
    "BloomCopy",
    "BloomModAlpha",
    "IsNNumber",
    "IsVCTexture",
};

}  // namespace

const std::vector<FS10Material::Item>& FS10Material::WrittenItems() {
  using M = FS10Material;
  static const std::vector<Item> items = {
      {"SpecRed", &M::SpecularRed},
      {"SpecGreen", &M::SpecularGreen},
      {"SpecBlue", &M::SpecularBlue},
      {"DetailScale", &M::DetailScale},
      {"BumpScale", &M::BumpScale},
      {"EnvLevelScale", &M::EnvironmentLevelScale},
      {"UseGlobalEnv", &M::bUseGlobalEnv},
      {"ModEnvInvDiffAlpha", &M::bModEnvInvDiffuseAlpha},
      {"ModEnvSpecAlpha", &M::bModEnvSpecularMapAlpha},
      {"FresnelDiff", &M::bFresnelDiffuse},
      {"FresnelSpec", &M::bFresnelSpecular},
      {"FresnelEnv", &M::bFresnelEnvironment},
      {"UsePrecip", &M::bUsePrecipitation},
      {"UsePrecipOffset", &M::bPrecipOffset},
      {"PrecipOffset", &M::PrecipOffset},
      {"SpecMapPowerScale", &M::SpecMapPowerScale},
      {"SrcBlend", &M::SrcBlend},
      {"DstBlend", &M::DstBlend},
      {"BlendDiffBaseAlpha", &M::BlendDiffuseByBaseAlpha},
      {"BlendDiffInvSpecMapAlpha", &M::BlendDiffuseByInverseSpecularMapAlpha},
      {"AllowBloom", &M::AllowBloom},
      {"SpecBloomFloor", &M::SpecularBloomFloor},
      {"EmissiveData", &M::EmissiveData},
      {"AlphaTestFunction", &M::AlphaTestFunction},
      {"AlphaTestValue", &M::AlphaTestValue},
      {"ZTestAlpha", &M::ZTestAlpha},
      {"AssumeVerticalNormal", &M::EPAssumeVerticalNormal},
      {"NoShadow", &M::EPNoShadow},
      {"NoZWrite", &M::EPNoZWrite},
      {"PreLitVertices", &M::EPPrelitVertices},
      {"VolumeShadow", &M::EPVolumeShadow},
      {"ZWriteAlpha", &M::EPZWriteAlpha},
      {"BaseMaterialSkin", &M::BaseMaterialSkin},
      {"DoubleSided", &M::DoubleSidedMaterial},
      {"BlendConstantSetting", &M::BlendConstantSetting},
      {"ForceTextureWrap", &M::ForceTextureAddressWrapSetting},
      {"ForceTextureClamp", &M::ForceTextureAddressClampSetting},
      {"BaseMaterialSpec", &M::BaseMaterialSpecular},
      {"NoSpecBloom", &M::NoSpecularBloom},
      {"EmissiveBloom", &M::EmissiveBloom},
      {"AmbientLightScale", &M::AmbientLightScale},
      {"EmissiveTexture", &M::EmissiveTextureFileName},
      {"ReflectionTexture", &M::ReflectionTextureFileName},
      {"FresnelTexture", &M::FresnelTextureFileName},
      {"BloomCopy", &M::BloomCopy},
      {"BloomModAlpha", &M::BloomModAlpha},
      {"IsNNumber", &M::bIsNNumber},
      {"IsVCTexture", &M::bIsVCTexture},
      {"FinalAlpha", &M::FinalAlpha},
      {"FinalAlphaValue", &M::FinalAlphaValue},
  };
  return items;
}

// ---- string form ----------------------------------------------------------------------------

std::string FS10Material::toString() const {
  std::string text;
  for (const Item& item : WrittenItems()) {
    if (!text.empty()) text += ';';
    text += item.key;
    text += '=';
    std::visit(
        [&](auto member) {
          const auto& value = this->*member;
          using T = std::decay_t<decltype(value)>;
          if constexpr (std::is_same_v<T, float>)
            text += FormatSingle(value);
          else if constexpr (std::is_same_v<T, int16_t>)
            text += std::to_string(value);
          else
            text += value;
        },
        item.member);
  }
  return text;
}

void FS10Material::loadString(const std::string& sField) {
  if (!sField.empty()) {
    Parts.clear();
    size_t start = 0;
    for (;;) {
      const size_t end = sField.find(';', start);
      Parts.push_back(sField.substr(start, end == std::string::npos ? end : end - start));
      if (end == std::string::npos) break;
      start = end + 1;
    }
    for (const char* key : kReadOrder) {
      const auto& items = WrittenItems();
      auto item = std::find_if(items.begin(), items.end(), [key](const Item& i) {
        return std::string_view(i.key).size() == std::string_view(key).size() &&
               StartsWithIgnoringCase(i.key, key);
      });
      if (item == items.end()) continue;
      const std::string value = lookupValue(key);
      std::visit(
          [&](auto member) {
            auto& target = this->*member;
            using T = std::decay_t<decltype(target)>;
            if constexpr (std::is_same_v<T, float>)
              glazier::ParseSingle(value, target);
            else if constexpr (std::is_same_v<T, int16_t>)
              glazier::ParseInteger16(value, target);
            else
              target = value;
          },
          item->member);
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
    if (StartsWithIgnoringCase(part, prefix)) return part.substr(prefix.size());
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
  result = UpperCase(std::move(result));
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
  std::string w;
  const char* eol = "\r\n";
  auto line = [&](const std::string& text) { file << text << eol; };
  auto F = [](float x) { return formatReal(x); };
  auto N = [](auto x) { return PrintNumber(x); };
  auto quoted = [](const std::string& text) { return "\"" + text + "\""; };

  line("FS10Material {");
  line(F(DiffuseRed) + ";" + F(DiffuseGreen) + ";" + F(DiffuseBlue) + ";" + F(DiffuseAlpha) + ";;");
  line(F(SpecularRed) + ";" + F(SpecularGreen) + ";" + F(SpecularBlue) + ";;");
  line(F(Power) + ";  // Spec power");
  line(F(DetailScale) + ";" + F(BumpScale) + ";  // detail and bump scales");
  line(F(EnvironmentLevelScale) + ";  // scale env level");
  line(N(bUseGlobalEnv) + "; // use global env");
  line(N(bModEnvInvDiffuseAlpha) + "; // mod env inv diff alpha");
  line(N(bModEnvSpecularMapAlpha) + "; // mod env spec alpha");
  line(N(bFresnelDiffuse) + ";" + N(bFresnelSpecular) + ";" + N(bFresnelEnvironment) +
       "; // fresnel diff, spec, env");
  line(N(bUsePrecipitation) + ";" + N(bPrecipOffset) + ";" + F(PrecipOffset) +
       "; // precip use, offset, offset val");
  line(F(SpecMapPowerScale) + "; // specmap power");
  line(quoted(SrcBlend) + "; " + quoted(DstBlend) + "; // blend");

  auto block = [&](const char* name, const std::string& body) {
    line(name);
    line(body);
    line("}");
  };
  block("BlendDiffuseByBaseAlpha {", N(BlendDiffuseByBaseAlpha) + ";");
  block("BlendDiffuseByInverseSpecularMapAlpha {", N(BlendDiffuseByInverseSpecularMapAlpha) + ";");
  block("AllowBloom {", N(AllowBloom) + ";");
  block("SpecularBloomFloor {", F(SpecularBloomFloor) + ";");
  block("EmissiveData {", quoted(EmissiveData) + ";");

  line("AlphaData  {");
  line(N(ZTestAlpha) + ";  // ZTest Alpha");
  line(N(AlphaTestValue) + ";  // Alpha test threshold");
  line(quoted(AlphaTestFunction) + ";  // Alpha test function");
  line(N(FinalAlpha) + ";  // Perform final alpha write");
  line(F(FinalAlphaValue) + ";  // Final alpha value");
  line("}");

  line("EnhancedParameters  {");
  line(N(EPAssumeVerticalNormal) + ";  // Assume vertical normal");
  line(N(EPZWriteAlpha) + ";  // Z-Write alpha");
  line(N(EPNoZWrite) + ";  // No Z-Write");
  line(N(EPVolumeShadow) + ";  // Volume shadow");
  line(N(EPNoShadow) + ";  // No shadow");
  line(N(EPPrelitVertices) + ";  // PRelit vertices");
  line("}");

  block("BaseMaterialSkin {", N(BaseMaterialSkin) + ";");
  block("DoubleSidedMaterial {", N(DoubleSidedMaterial) + ";");
  block("BlendConstantSetting {", N(BlendConstantSetting) + ";");
  block("ForceTextureAddressWrapSetting {", N(ForceTextureAddressWrapSetting) + ";");
  block("ForceTextureAddressClampSetting {", N(ForceTextureAddressClampSetting) + "; ");
  block("BaseMaterialSpecular {", N(BaseMaterialSpecular) + ";");
  block("NoSpecularBloom {", N(NoSpecularBloom) + ";");
  block("EmissiveBloom {", N(EmissiveBloom) + ";");
  block("BloomData {", N(BloomCopy) + ";" + N(BloomModAlpha) + ";");
  block("AmbientLightScale {", F(AmbientLightScale) + ";");
  if (bIsNNumber == 1) block("NNumberTexture {", N(bIsNNumber) + ";");

  const std::pair<const char*, const std::string*> textures[] = {
      {"BumpTextureFileName {", &BumpTextureFileName},
      {"DetailTextureFileName {", &DetailTextureFileName},
      {"FresnelTextureFileName {", &FresnelTextureFileName},
      {"DiffuseTextureFileName {", &DiffuseTextureFileName},
      {"SpecularTextureFileName {", &SpecularTextureFileName},
      {"ReflectionTextureFileName {", &ReflectionTextureFileName},
      {"EmissiveTextureFileName {", &EmissiveTextureFileName},
  };
  for (const auto& [name, texture] : textures) {
    if (!texture->empty()) block(name, quoted(ddsTextureName(*texture, w)) + ";");
  }
  line("}  // FS10Material end");

  file.flush();
  if (!file) Raise(err::PathFileAccess, "the FS10 material block could not be written");
  return w;
}

}  // namespace vlm
