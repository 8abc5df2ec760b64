// The IGS import's materials: the custom fields and parameters that build each record again.
#include "exchange/igs_materials.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <filesystem>

#include "vlm/text.h"
#include "vlm/text_encoding.h"

namespace vlm::host::igs {
namespace {

bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

}  // namespace

// The file's 8-bit text as UTF-8.
std::string FromAnsi(std::string_view bytes) {
  std::string out;
  for (char c : bytes)
    text::AppendUtf8(out, static_cast<unsigned char>(c));
  return out;
}

namespace {

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

// A float as a parameter value that reads back as the same float.
std::string FloatText(float value) {
  char buffer[64];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(value));
  return std::string(buffer, end);
}

bool SameBits(float a, float b) {
  return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b);
}

// The texture stages a shader gives a material, after stage 0: which map each shows.
enum class Map { Diffuse, Bump, Specular, Detail, Environment };
std::vector<Map> StagesOf(const std::string& shader) {
  std::vector<Map> maps{Map::Diffuse};
  if (Contains(shader, "WeatherEffects")) maps.push_back(Map::Diffuse);
  if (Contains(shader, "Bump") || Contains(shader, "WeatherEffects")) maps.push_back(Map::Bump);
  if (Contains(shader, "Specular")) maps.push_back(Map::Specular);
  if (Contains(shader, "LightMap")) maps.push_back(Map::Detail);
  if (Contains(shader, "Water") || Contains(shader, "Env") || Contains(shader, "Glass"))
    maps.push_back(Map::Environment);
  return maps;
}

void SetColours(HostMaterial& m, const IgsMaterialRecord& r) {
  m.ambient = {r.ambient[0], r.ambient[1], r.ambient[2]};
  m.emissive = {r.emissive[0], r.emissive[1], r.emissive[2]};
  m.diffuse = {r.diffuse[0], r.diffuse[1], r.diffuse[2]};
  if (r.diffuse[3] < 1.0f && r.diffuse[3] >= 0.0f)
    m.translucency = static_cast<int32_t>(std::lround((1.0f - r.diffuse[3]) * 100.0f));
}

// The texture folder, from the first stage's reference: "textures\wood".
std::string TextureFolder(const IgsMaterialRecord& r) {
  if (r.stages.empty() || r.stages[0].textureName.empty()) return "textures\\";
  const std::string& name = r.stages[0].textureName;
  const size_t slash = name.rfind('\\');
  return slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
}

void SetMap(HostMaterial& m, Map map, const std::string& file) {
  switch (map) {
    case Map::Diffuse:
      m.diffuseMap = file;
      break;
    case Map::Bump:
      m.bumpMap = file;
      break;
    case Map::Specular:
      m.specularMap = file;
      break;
    case Map::Detail:
      m.detailMap = file;
      break;
    case Map::Environment:
      m.environmentMap = file;
      break;
  }
}

}  // namespace

HostMaterial& MaterialMaker::Make(const IgsMaterialRecord& r) {
  HostMaterial& m = doc_.NewMaterial(FromAnsi(r.name));
  params_.clear();
  const std::string shader = FromAnsi(r.shader);
  const int32_t zbuffermode = SetShaderFields(m, r, shader);
  SetColours(m, r);
  DrawingParams(r, shader, zbuffermode);
  const float arg0 = GlossParams(m, r, shader);
  IntParam("TwoSided", r.twoSided, 0);
  IntParam("BackFacecull", r.backFacecull, 1);
  Stages(m, r, shader, arg0);
  std::string extra;
  for (const std::string& p : params_)
    extra += (extra.empty() ? "" : ";") + p;
  if (!extra.empty()) m.SetCustomField(slots_.extra, extra);
  return m;
}

// The shader, the alpha mode and the alpha priority as custom fields; the z-buffer mode the
// alpha mode gives, which the record's is a parameter against.
int32_t MaterialMaker::SetShaderFields(HostMaterial& m, const IgsMaterialRecord& r,
                                       const std::string& shader) {
  if (shader != "TexDiff") m.SetCustomField(slots_.railSim, shader);
  std::string alpha;
  int32_t zbuffermode = 1;
  if (r.transparency == 1) {
    alpha = "transparency";
  } else if (r.zbuffermode == 3) {
    alpha = "translucency";
    zbuffermode = 3;
  }
  if (!alpha.empty()) m.SetCustomField(slots_.alpha, alpha);
  if (r.alphaPriority != 0) m.SetCustomField(slots_.priority, std::to_string(r.alphaPriority));
  return zbuffermode;
}

// The texture folder and how the material is drawn, where they differ from what its fields
// give.
void MaterialMaker::DrawingParams(const IgsMaterialRecord& r, const std::string& shader,
                                  int32_t zbuffermode) {
  const std::string textureFolder = TextureFolder(r);
  if (textureFolder != "textures\\") Param("texturepath", FromAnsi(textureFolder));
  IntParam("zbias", r.zbias, 0);
  IntParam("zbuffermode", r.zbuffermode, zbuffermode);
  IntParam("vismod", r.vismod, 100);
  const int32_t viewfacing =
      Contains(shader, "ViewFacing") ? (Contains(shader, "Upright") ? 2 : 1) : 0;
  IntParam("viewfacing", r.viewfacing, viewfacing);
  IntParam("neverocclude", r.neverocclude, 0);
}

// Gloss gives the specular value 1 and stage 0's arg0 = (250 - gloss) / 2 with a shader that
// names "Spec"; other values come as parameters. The arg0 that the gloss gives stage 0.
float MaterialMaker::GlossParams(HostMaterial& m, const IgsMaterialRecord& r,
                                 const std::string& shader) {
  if (!Contains(shader, "Spec") || !(r.specular > 0)) return 0;
  float arg0 = 0;
  const float wanted = r.stages.empty() ? 0.0f : r.stages[0].arg[0];
  const float gloss = 250.0f - 2.0f * wanted;
  if (gloss >= 0.001f && SameBits((250.0f - gloss) / 2.0f, wanted)) {
    m.gloss = gloss;
    arg0 = wanted;
  } else {
    m.gloss = 1.0f;
    arg0 = (250.0f - 1.0f) / 2.0f;
  }
  if (r.specular != 1.0f) Param("specularpower", FloatText(r.specular));
  return arg0;
}

// The stages: their textures and the parameters that differ from a new stage's.
void MaterialMaker::Stages(HostMaterial& m, const IgsMaterialRecord& r, const std::string& shader,
                           float arg0) {
  const std::vector<Map> maps = StagesOf(shader);
  if (r.stages.size() != maps.size())
    log_.push_back("material \"" + m.name + "\": " + std::to_string(r.stages.size()) +
                   " texture stages where its shader gives " + std::to_string(maps.size()) +
                   "; it will not be written back the same");
  m.hasTextures = true;
  for (size_t n = 0; n < r.stages.size(); ++n) {
    const IgsStageRecord& s = r.stages[n];
    const float bias = n == 0 ? (Contains(shader, "Shadow") ? 0.0f : -2.0f) : -1.0f;
    StageParams("r" + std::to_string(n), s, bias, n == 0 ? arg0 : 0.0f);
    if (n >= maps.size() || s.textureName.empty() || (n == 1 && maps[n] == Map::Diffuse)) continue;
    SetMap(m, maps[n], TextureFile(s.textureName));
  }
}

// One stage's parameters under the prefix `k`, against a new stage's with the given mip-map
// bias and first argument.
void MaterialMaker::StageParams(const std::string& k, const IgsStageRecord& s, float bias,
                                float arg0) {
  IntParam(k + "AnimateUV", s.animateUV, 0);
  IntParam(k + "filtermode", s.filtermode, 3);
  IntParam(k + "fps", s.fps, 20);
  IntParam(k + "frames", s.frames, 0);
  IntParam(k + "ScrollUVs", s.scrollUVs, 0);
  FloatParam(k + "scrollu", s.scrollu, 0);
  FloatParam(k + "scrollv", s.scrollv, 0);
  FloatParam(k + "miplodbias", s.miplodbias, bias);
  for (size_t a = 0; a < 5; ++a)
    FloatParam(k + "arg" + std::to_string(a), s.arg[a], a == 0 ? arg0 : 0.0f);
}

void MaterialMaker::Param(const std::string& key, const std::string& value) {
  params_.push_back(key + "=" + value);
}
void MaterialMaker::IntParam(const std::string& key, int32_t value, int32_t standard) {
  if (value != standard) Param(key, std::to_string(value));
}
void MaterialMaker::FloatParam(const std::string& key, float value, float standard) {
  if (!SameBits(value, standard) && std::isfinite(value)) Param(key, FloatText(value));
}

// The texture file a reference stands for: the file of that name with any extension in the
// reference's folder below the IGS file, or the name with ".dds". The exporter makes the
// reference again from the name without its extension.
std::string MaterialMaker::TextureFile(const std::string& reference) {
  const size_t slash = reference.rfind('\\');
  const std::string name =
      FromAnsi(slash == std::string::npos ? reference : reference.substr(slash + 1));
  if (!folder_.empty()) {
    std::string sub = slash == std::string::npos ? std::string() : reference.substr(0, slash);
    std::replace(sub.begin(), sub.end(), '\\', '/');
    std::error_code ec;
    const std::filesystem::path dir = std::filesystem::path(folder_) / FromAnsi(sub);
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
      const std::filesystem::path p = it->path();
      if (p.has_extension() && Lower(p.stem().string()) == Lower(name) &&
          Lower(p.filename().string()) != Lower(name))
        return p.filename().string();
    }
  }
  return name + ".dds";
}

}  // namespace vlm::host::igs
