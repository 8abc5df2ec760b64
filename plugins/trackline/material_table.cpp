#include "trackline/material_table.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <string_view>

#include "trackline/texts.h"
#include "vlm/export_support.h"
#include "vlm/model/graph_material.h"
#include "vlm/named_files.h"
#include "vlm/text.h"

namespace vlm::igs {
namespace {

IgsTextureStage NewStage(float miplodbias) {
  IgsTextureStage stage{};
  stage.filtermode = 3;
  stage.fps = 20;
  stage.miplodbias = miplodbias;
  return stage;
}

// A text field up to its first 0 byte.
template <size_t N>
std::string_view FieldText(const char (&field)[N]) {
  return std::string_view(field, strnlen(field, N));
}

template <size_t N>
bool Near(const float (&a)[N], const float (&b)[N], float tolerance) {
  for (size_t i = 0; i < N; ++i)
    if (!(std::fabs(a[i] - b[i]) <= tolerance)) return false;
  return true;
}

bool SameStage(const IgsTextureStage& a, const IgsTextureStage& b) {
  if (a.texture != b.texture || a.reserved40 != b.reserved40 || a.AnimateUV != b.AnimateUV ||
      a.filtermode != b.filtermode || a.ScrollUVs != b.ScrollUVs || a.miplodbias != b.miplodbias ||
      a.arg[0] != b.arg[0] || a.arg[1] != b.arg[1] || a.arg[2] != b.arg[2])
    return false;
  // The animation values count only when the stage animates.
  if (a.AnimateUV != 0 || a.ScrollUVs != 0)
    return a.fps == b.fps && a.frames == b.frames && a.scrollu == b.scrollu &&
           a.scrollv == b.scrollv;
  return true;
}

// The material's colours, and the diffuse colour again where the record keeps a copy.
void SetColours(IgsMaterial& m, GraphMaterial& material) {
  const Rgb ambient = material.GetAmbient();
  m.ambient[0] = ambient.r, m.ambient[1] = ambient.g, m.ambient[2] = ambient.b, m.ambient[3] = 1;
  const Rgb emissive = material.GetEmissive();
  // Faint glows are dropped: they would only grey the texture.
  auto glow = [](float c) { return c < 0.04f ? 0.0f : c; };
  m.emissive[0] = glow(emissive.r), m.emissive[1] = glow(emissive.g);
  m.emissive[2] = glow(emissive.b), m.emissive[3] = 1;
  m.value1444 = 1;
  const Rgba diffuse = material.GetDiffuse();
  m.diffuse[0] = diffuse.r, m.diffuse[1] = diffuse.g, m.diffuse[2] = diffuse.b;
  m.diffuse[3] = diffuse.a > 0.949f ? 1.0f : diffuse.a;
  std::memcpy(m.diffuseCopy, m.diffuse, sizeof m.diffuse);
}

// The values every record holds, and the faces' culling before the parameters change it.
void SetFixedValues(IgsMaterial& m) {
  m.value1468 = 1, m.value1472 = 1, m.value1476 = 0, m.value1480 = 4.0f;
  m.BackFacecull = 1, m.TwoSided = 0;
  StoreText(m.collide, "NO COLLIDE", "The collision text");
  StoreText(m.headlamp, "HEADLAMP", "The headlamp text");
  StoreText(m.traffic, "TRAFFIC", "The traffic text");
  m.values1300[0] = m.values1300[1] = std::bit_cast<float>(0x3F48C8CAu);
  m.values1308[0] = m.values1308[1] = 1.0f;
  const float values1324[6] = {5, 1, 1, 5, 1, 5};
  std::memcpy(m.values1324, values1324, sizeof values1324);
}

}  // namespace

void MaterialTable::Reset() {
  records.clear();
  textures.clear();
  textureFiles.clear();
  parameters_.clear();
}

void MaterialTable::parseParameters(const std::string& text) {
  parameters_.clear();
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(';', start);
    if (end == std::string::npos) end = text.size();
    const std::string_view item = std::string_view(text).substr(start, end - start);
    const size_t eq = item.find('=');
    if (eq != std::string_view::npos) {
      // The value runs to a second "=" when there is one.
      std::string_view value = item.substr(eq + 1);
      value = value.substr(0, value.find('='));
      parameters_.emplace_back(ToLower(item.substr(0, eq)), std::string(value));
    }
    start = end + 1;
  }
}

std::string MaterialTable::Parameter(const std::string& key) const {
  const std::string wanted = ToLower(key);
  for (const auto& [k, v] : parameters_)
    if (k == wanted) return v;
  return {};
}

void MaterialTable::setInteger(int32_t& field, const std::string& key) const {
  const std::string value = Parameter(key);
  if (!value.empty()) field = ReadInteger(value, "The RailSimX parameter " + key);
}

void MaterialTable::setFloat(float& field, const std::string& key) const {
  const std::string value = Parameter(key);
  if (!value.empty()) field = ReadFloat(value, "The RailSimX parameter " + key);
}

void MaterialTable::readStageParameters(IgsTextureStage& stage, int32_t n) const {
  const std::string r = "r" + std::to_string(n);
  setInteger(stage.AnimateUV, r + "AnimateUV");
  setInteger(stage.filtermode, r + "filtermode");
  setInteger(stage.fps, r + "fps");
  setInteger(stage.frames, r + "frames");
  setInteger(stage.ScrollUVs, r + "ScrollUVs");
  setFloat(stage.scrollu, r + "scrollu");
  setFloat(stage.scrollv, r + "scrollv");
  setFloat(stage.miplodbias, r + "miplodbias");
  for (int32_t k = 0; k < 5; ++k)
    setFloat(stage.arg[k], r + "arg" + std::to_string(k));
}

void MaterialTable::checkText(std::string_view what, std::string_view text) const {
  const std::string problem = ControlCharacterProblem(what, text);
  if (!problem.empty())
    throw ExportStopped(
        err::InvalidProcedureCall,
        (where_.empty() ? std::string("A material") : where_) + ": its " + problem + ".");
}

void MaterialTable::addStage(IgsMaterial& record, const std::string& file) {
  if (record.stageCount >= MaxStages) Raise(err::SubscriptOutOfRange);
  const int32_t n = record.stageCount++;
  IgsTextureStage& stage = record.stages[n];
  stage = NewStage(-1.0f);
  if (ToAnsi(file).size() > 4) {
    checkText("texture name", file);
    stage.texture = TextureReference(file, Parameter("texturepath"));
  }
  readStageParameters(stage, n);
}

IgsMaterial MaterialTable::BuildMaterial(GraphMaterial& material, std::string_view where) {
  IgsMaterial m{};
  where_ = where;
  const std::string railSim = material.GetCustomField(slots[0]);
  const std::string alphaMode = ToLower(material.GetCustomField(slots[1]));
  const std::string alphaPriority = material.GetCustomField(slots[2]);
  parseParameters(material.GetCustomField(slots[3]));
  // The shader and the folder of the textures are written into the file as they are.
  checkText("shader name (Rail Sim)", railSim);
  checkText("texture folder (texturepath)", Parameter("texturepath"));

  const std::string shader = railSim.empty() ? "TexDiff" : railSim;
  StoreText(m.shader, shader, "The shader name (Rail Sim)");

  m.value1108 = 128;
  m.transparency = alphaMode == "transparency" ? 1 : 0;
  if (NumberIn(alphaPriority)) m.alphaPriority = ReadInteger(alphaPriority, "The Alpha Pr text");
  SetColours(m, material);
  SetFixedValues(m);
  const float gloss = material.Gloss();
  m.specular = gloss >= 0.001f ? 1.0f : 0.0f;
  readDrawingParameters(m, shader, alphaMode);

  m.stageCount = 1;
  m.stages[0] = NewStage(-2.0f);
  if (Contains(shader, "Spec") && m.specular > 0)
    m.stages[0].arg[0] = (250 - gloss) / 2;
  else
    m.specular = 0;
  addTextureStages(m, material.Textures(), shader);
  readStageParameters(m.stages[0], 0);
  return m;
}

void MaterialTable::readDrawingParameters(IgsMaterial& m, const std::string& shader,
                                          const std::string& alphaMode) const {
  m.zbuffermode = alphaMode == "translucency" ? 3 : 1;
  m.vismod = 100;
  m.viewfacing = 0;
  if (Contains(shader, "ViewFacing")) m.viewfacing = Contains(shader, "Upright") ? 2 : 1;
  m.neverocclude = 0, m.zbias = 0;

  setInteger(m.zbias, "zbias");
  setInteger(m.zbuffermode, "zbuffermode");
  setInteger(m.vismod, "vismod");
  setInteger(m.viewfacing, "viewfacing");
  setInteger(m.neverocclude, "neverocclude");
  setFloat(m.specular, "specularpower");
  setInteger(m.TwoSided, "TwoSided");
  setInteger(m.BackFacecull, "BackFacecull");
}

void MaterialTable::addTextureStages(IgsMaterial& m, TextureSet* set, const std::string& shader) {
  if (!defaultTexture.empty() && (!set || ToAnsi(set->DiffuseMap()).size() <= 4)) {
    // A material without a texture of its own shows the default one in its first stage.
    checkText("default texture name", defaultTexture);
    m.stages[0].texture = TextureReference(defaultTexture, Parameter("texturepath"));
    if (Contains(shader, "Shadow")) m.stages[0].miplodbias = 0;
    return;
  }
  if (!set) return;
  const std::string diffuseMap = set->DiffuseMap();
  if (ToAnsi(diffuseMap).size() > 4) {
    checkText("texture name", diffuseMap);
    m.stages[0].texture = TextureReference(diffuseMap, Parameter("texturepath"));
  }
  if (Contains(shader, "Shadow")) m.stages[0].miplodbias = 0;
  if (Contains(shader, "WeatherEffects")) {
    // The weather layer draws the diffuse texture again.
    const int32_t n = m.stageCount++;
    m.stages[n] = NewStage(-1.0f);
    m.stages[n].texture = m.stages[0].texture;
    readStageParameters(m.stages[n], n);
  }
  if (Contains(shader, "Bump") || Contains(shader, "WeatherEffects")) addStage(m, set->BumpMap());
  if (Contains(shader, "Specular")) addStage(m, set->SpecularMap());
  if (Contains(shader, "LightMap")) addStage(m, set->DetailMap());
  if (Contains(shader, "Water") || Contains(shader, "Env") || Contains(shader, "Glass"))
    addStage(m, set->EnvironmentMap());
}

int32_t MaterialTable::TextureReference(const std::string& file, const std::string& folder) {
  std::string reference = folder.empty() ? "textures\\" : folder;
  if (reference.back() != '\\') reference += '\\';
  // A name without an extension is used whole.
  const std::string name = CopyNamedFiles() ? BareFileName(file) : file;
  const size_t dot = name.rfind('.');
  reference += ToLower(dot == std::string::npos ? name : name.substr(0, dot));
  for (size_t i = 0; i < textures.size(); ++i)
    if (textures[i] == reference) return static_cast<int32_t>(i) + 1;
  if (static_cast<int32_t>(textures.size()) >= MaxTextures)
    throw ExportStopped(err::SubscriptOutOfRange,
                        "The texture \"" + reference + "\" would be distinct texture number " +
                            std::to_string(textures.size() + 1) + "; the limit is " +
                            std::to_string(MaxTextures) + ".");
  textures.push_back(reference);
  textureFiles.push_back(file);
  return static_cast<int32_t>(textures.size());
}

bool MaterialTable::SameMaterial(const IgsMaterial& a, const IgsMaterial& b) {
  if (a.transparency != b.transparency || a.BackFacecull != b.BackFacecull ||
      a.neverocclude != b.neverocclude || a.stageCount != b.stageCount ||
      FieldText(a.shader) != FieldText(b.shader) || a.specular != b.specular ||
      a.TwoSided != b.TwoSided || a.viewfacing != b.viewfacing || a.zbias != b.zbias ||
      a.zbuffermode != b.zbuffermode || a.value1108 != b.value1108 || a.value1444 != b.value1444 ||
      a.alphaPriority != b.alphaPriority)
    return false;
  constexpr float colourTolerance = 0.0039f;
  if (!Near(a.ambient, b.ambient, colourTolerance) ||
      !Near(a.diffuse, b.diffuse, colourTolerance) ||
      !Near(a.emissive, b.emissive, colourTolerance) ||
      !Near(a.diffuseCopy, b.diffuseCopy, colourTolerance))
    return false;
  if (FieldText(a.collide) != FieldText(b.collide)) return false;
  for (int32_t j = 0; j < a.stageCount && j < MaxStages; ++j)
    if (!SameStage(a.stages[j], b.stages[j])) return false;
  return true;
}

int32_t MaterialTable::AddMaterial(const IgsMaterial& record, std::string_view where) {
  for (size_t i = 0; i < records.size(); ++i)
    if (SameMaterial(records[i], record)) return static_cast<int32_t>(i);
  const int32_t n = static_cast<int32_t>(records.size());
  if (n >= MaxMaterials) {
    const std::string shader = "the shader \"" + std::string(FieldText(record.shader)) + "\"";
    throw ExportStopped(err::SubscriptOutOfRange,
                        (where.empty() ? "A material with " + shader
                                       : std::string(where) + ", with " + shader + ",") +
                            " would be distinct material number " + std::to_string(n + 1) +
                            "; the limit is " + std::to_string(MaxMaterials) + ".");
  }
  const std::string shader = ToLower(FieldText(record.shader));
  std::string name = "material" + std::to_string(n);
  if (shader == "stencilshadow.fx")
    name = "shadow_material" + std::to_string(n);
  else if (shader == "trainglassweathereffects.fx")
    name = "weatherglass_1";
  records.push_back(record);
  StoreText(records.back().name, name, "The material name");
  return n;
}

}  // namespace vlm::igs
