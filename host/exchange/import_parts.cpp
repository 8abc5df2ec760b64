#include "exchange/import_parts.h"

#include <assimp/material.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "exchange/conventions.h"
#include "vlm/text_encoding.h"

namespace vlm::host::exchange {

// ---- frames -----------------------------------------------------------------------------------

Vec3 Linear::Apply(Vec3 v) const {
  const double in[3] = {v.x, v.y, v.z};
  double out[3] = {};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c)
      out[r] += rows[r][c] * in[c];
  return {static_cast<float>(out[0]), static_cast<float>(out[1]), static_cast<float>(out[2])};
}

Linear Linear::Times(const Linear& b) const {
  Linear p;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c)
      for (int k = 0; k < 3; ++k)
        p.rows[r][c] += rows[r][k] * b.rows[k][c];
  return p;
}

Linear Linear::Transposed() const {
  Linear t;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c)
      t.rows[r][c] = rows[c][r];
  return t;
}

double Linear::Determinant() const {
  const auto& m = rows;
  return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
         m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
         m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

Linear Linear::InverseTransposed() const {
  const double det = Determinant();
  Linear r;
  if (det == 0 || !std::isfinite(det)) {
    for (int i = 0; i < 3; ++i)
      r.rows[i][i] = 1;
    return r;
  }
  // The cofactor matrix over the determinant is the inverse's transpose.
  const auto& m = rows;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      const int i1 = (i + 1) % 3, i2 = (i + 2) % 3, j1 = (j + 1) % 3, j2 = (j + 2) % 3;
      r.rows[i][j] = (m[i1][j1] * m[i2][j2] - m[i1][j2] * m[i2][j1]) / det;
    }
  return r;
}

namespace {

using D3 = std::array<double, 3>;

double Dot(const D3& a, const D3& b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
D3 Cross(const D3& a, const D3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
bool Normalise(D3& a) {
  const double length = std::sqrt(Dot(a, a));
  if (!(length > 1e-12) || !std::isfinite(length)) return false;
  for (double& x : a)
    x /= length;
  return true;
}

}  // namespace

SplitTransform SplitWorld(const aiMatrix4x4& world) {
  // In host axes: z mirrored on both sides of the transform.
  const double sign[3] = {1, 1, -1};
  Linear linear;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c)
      linear.rows[r][c] = sign[r] * sign[c] * world[r][c];
  SplitTransform split;
  split.origin = FromLibrary({world.a4, world.b4, world.c4});
  // The frame's forward is where the transform sends +z, its up the part of +y's image
  // square to it; a transform that flattens either leaves the frame unturned.
  D3 forward{linear.rows[0][2], linear.rows[1][2], linear.rows[2][2]};
  D3 up{linear.rows[0][1], linear.rows[1][1], linear.rows[2][1]};
  bool ok = Normalise(forward);
  if (ok) {
    const double along = Dot(up, forward);
    for (int i = 0; i < 3; ++i)
      up[i] -= along * forward[i];
    ok = Normalise(up);
  }
  if (!ok) forward = {0, 0, 1}, up = {0, 1, 0};
  const D3 x = Cross(up, forward);
  for (int r = 0; r < 3; ++r) {
    split.rotation.rows[r][0] = x[r];
    split.rotation.rows[r][1] = up[r];
    split.rotation.rows[r][2] = forward[r];
  }
  split.rest = split.rotation.Transposed().Times(linear);
  return split;
}

// ---- text -------------------------------------------------------------------------------------

std::string Text(const aiString& s) {
  return text::DecodeText({s.data, s.length});
}

// ---- materials --------------------------------------------------------------------------------

MaterialMaker::MaterialMaker(const aiScene& scene, HostDocument& document, std::string stem,
                             std::vector<EmbeddedTexture>& textures)
    : scene_(scene), document_(document), stem_(std::move(stem)), textures_(textures) {
  // The name of a file beside the scene, whatever the top group is called.
  for (char& c : stem_)
    if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 32) c = '_';
}

namespace {

void ReadColour(const aiMaterial& m, const char* key, unsigned type, unsigned index, Rgb& out) {
  aiColor3D c;
  if (m.Get(key, type, index, c) == AI_SUCCESS && std::isfinite(c.r) && std::isfinite(c.g) &&
      std::isfinite(c.b))
    out = {c.r, c.g, c.b};
}

float ReadFloat(const aiMaterial& m, const char* key, unsigned type, unsigned index,
                float otherwise) {
  float value = otherwise;
  if (m.Get(key, type, index, value) != AI_SUCCESS || !std::isfinite(value)) return otherwise;
  return value;
}

int32_t Percent(float fraction) {
  return static_cast<int32_t>(std::lround(std::clamp(fraction, 0.0f, 1.0f) * 100));
}

// The wrap mode the model sets for one axis of a texture; repeat when it sets none. A decal
// (nothing drawn outside 0..1) is the nearest to clamping.
TextureWrap Wrap(const aiMaterial& m, const char* key, unsigned type, unsigned index) {
  int mode = aiTextureMapMode_Wrap;
  if (m.Get(key, type, index, mode) != AI_SUCCESS) return TextureWrap::Repeat;
  switch (mode) {
    case aiTextureMapMode_Clamp:
    case aiTextureMapMode_Decal:
      return TextureWrap::Clamp;
    case aiTextureMapMode_Mirror:
      return TextureWrap::Mirror;
    default:
      return TextureWrap::Repeat;
  }
}

// A file extension made of letters and digits only.
std::string Extension(const char* hint) {
  std::string out;
  for (const char* p = hint; *p && out.size() < 8; ++p)
    if (std::isalnum(static_cast<unsigned char>(*p)))
      out += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
  return out.empty() ? "bin" : out;
}

// An uncompressed embedded texture as a 32-bit TGA with its first row at the top.
std::string Tga(const aiTexture& t) {
  std::string out(18, '\0');
  out[2] = 2;  // uncompressed true colour
  out[12] = static_cast<char>(t.mWidth & 0xFF), out[13] = static_cast<char>(t.mWidth >> 8);
  out[14] = static_cast<char>(t.mHeight & 0xFF), out[15] = static_cast<char>(t.mHeight >> 8);
  out[16] = 32, out[17] = 0x28;  // 8 alpha bits, top-left origin
  // aiTexel is b, g, r, a: the byte order of a TGA pixel.
  out.append(reinterpret_cast<const char*>(t.pcData),
             static_cast<size_t>(t.mWidth) * t.mHeight * sizeof(aiTexel));
  return out;
}

}  // namespace

std::string MaterialMaker::TextureName(const aiString& path) {
  const auto [texture, index] = scene_.GetEmbeddedTextureAndIndex(path.C_Str());
  if (!texture || !texture->pcData) return Text(path);
  if (auto it = embedded_.find(index); it != embedded_.end()) return it->second;
  const bool compressed = texture->mHeight == 0;
  if (!compressed && (texture->mWidth > 0xFFFF || texture->mHeight > 0xFFFF))
    return embedded_[index] = "";
  std::string name = stem_ + "_texture" + std::to_string(index) + "." +
                     (compressed ? Extension(texture->achFormatHint) : "tga");
  textures_.push_back(
      {name, compressed
                 ? std::string(reinterpret_cast<const char*>(texture->pcData), texture->mWidth)
                 : Tga(*texture)});
  return embedded_[index] = name;
}

HostMaterial& MaterialMaker::Get(unsigned index) {
  if (auto it = made_.find(index); it != made_.end()) return *it->second;
  const aiMaterial& m = *scene_.mMaterials[index];
  aiString name;
  m.Get(AI_MATKEY_NAME, name);
  std::string text = Text(name);
  if (text.empty()) text = "Material " + std::to_string(index + 1);
  HostMaterial& h = document_.NewMaterial(text);
  made_[index] = &h;

  ReadColour(m, AI_MATKEY_COLOR_DIFFUSE, h.diffuse);
  ReadColour(m, AI_MATKEY_COLOR_AMBIENT, h.ambient);
  ReadColour(m, AI_MATKEY_COLOR_SPECULAR, h.specular);
  ReadColour(m, AI_MATKEY_COLOR_EMISSIVE, h.emissive);
  // Shininess is a Phong exponent; 128, the classic largest one, is full gloss.
  const float shininess = ReadFloat(m, AI_MATKEY_SHININESS, 0);
  h.gloss = std::clamp(shininess / 128.0f, 0.0f, 1.0f);
  if (shininess > 0) h.specularLevel = Percent(ReadFloat(m, AI_MATKEY_SHININESS_STRENGTH, 1));
  h.translucency = 100 - Percent(ReadFloat(m, AI_MATKEY_OPACITY, 1));

  // The first texture of each kind that has a slot in the host's material.
  const struct {
    aiTextureType types[3];
    std::string* slot;
  } slots[] = {
      {{aiTextureType_DIFFUSE, aiTextureType_BASE_COLOR, aiTextureType_NONE}, &h.diffuseMap},
      {{aiTextureType_NORMALS, aiTextureType_HEIGHT, aiTextureType_NORMAL_CAMERA}, &h.bumpMap},
      {{aiTextureType_SPECULAR, aiTextureType_NONE, aiTextureType_NONE}, &h.specularMap},
      {{aiTextureType_REFLECTION, aiTextureType_NONE, aiTextureType_NONE}, &h.environmentMap}};
  for (const auto& [types, slot] : slots)
    for (aiTextureType type : types) {
      aiString path;
      if (type == aiTextureType_NONE || m.GetTextureCount(type) == 0 ||
          m.GetTexture(type, 0, &path) != AI_SUCCESS)
        continue;
      *slot = TextureName(path);
      h.hasTextures = h.hasTextures || !slot->empty();
      // The diffuse texture's wrap is the material's: its coordinates are the ones exported.
      if (slot == &h.diffuseMap) {
        h.wrapU = Wrap(m, AI_MATKEY_MAPPINGMODE_U(type, 0));
        h.wrapV = Wrap(m, AI_MATKEY_MAPPINGMODE_V(type, 0));
      }
      break;
    }
  return h;
}

}  // namespace vlm::host::exchange
