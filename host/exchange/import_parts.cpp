#include "exchange/import_parts.h"

#include <assimp/material.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <numbers>

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

// ---- polygons ---------------------------------------------------------------------------------

namespace {

struct P2 {
  double x, y;
};

// (b - a) x (c - a): positive when a, b, c turn the polygon's way.
double Turn(P2 a, P2 b, P2 c) {
  return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}
double Distance(P2 a, P2 b) {
  return std::hypot(b.x - a.x, b.y - a.y);
}

// Whether every corner turns the polygon's way (or goes straight on) and the turns add up to
// one full turn, not two (a star): then a fan from any corner covers it once.
bool Convex(const std::vector<P2>& q, double same) {
  std::vector<P2> ring;
  for (P2 p : q)
    if (ring.empty() || Distance(ring.back(), p) > same) ring.push_back(p);
  while (ring.size() > 1 && Distance(ring.front(), ring.back()) <= same)
    ring.pop_back();
  const size_t n = ring.size();
  if (n < 3) return true;
  double turning = 0;
  for (size_t i = 0; i < n; ++i) {
    const P2 a = ring[(i + n - 1) % n], b = ring[i], c = ring[(i + 1) % n];
    const double e1x = b.x - a.x, e1y = b.y - a.y, e2x = c.x - b.x, e2y = c.y - b.y;
    const double cross = e1x * e2y - e1y * e2x, dot = e1x * e2x + e1y * e2y;
    if (cross < -1e-9 * Distance(a, b) * Distance(b, c)) return false;
    turning += std::atan2(cross, dot);
  }
  return std::abs(turning - 2 * std::numbers::pi) < 0.5;
}

// A polygon in its best-fit plane: its corners in the plane's axes, its size (its bounding
// box's diagonal) and how far its farthest corner lies off the plane.
struct Projected {
  std::vector<P2> q;
  double size = 0, off = 0;
};

// Projects the polygon onto its best-fit plane, Newell's normal through the mean corner;
// false when it has no normal.
bool Project(const std::vector<Vec3>& corners, Projected& out) {
  const size_t n = corners.size();
  D3 normal{0, 0, 0}, centre{0, 0, 0}, low{corners[0].x, corners[0].y, corners[0].z}, high = low;
  for (size_t i = 0; i < n; ++i) {
    const Vec3 a = corners[i], b = corners[(i + 1) % n];
    normal[0] += (double{a.y} - b.y) * (double{a.z} + b.z);
    normal[1] += (double{a.z} - b.z) * (double{a.x} + b.x);
    normal[2] += (double{a.x} - b.x) * (double{a.y} + b.y);
    const D3 p{a.x, a.y, a.z};
    for (int k = 0; k < 3; ++k) {
      centre[k] += p[k] / static_cast<double>(n);
      low[k] = std::min(low[k], p[k]), high[k] = std::max(high[k], p[k]);
    }
  }
  if (!Normalise(normal)) return false;
  out.size = std::hypot(high[0] - low[0], high[1] - low[1], high[2] - low[2]);
  // Axes in the plane with u x v = normal, so the polygon runs counter-clockwise in them.
  D3 u = std::abs(normal[0]) < 0.9 ? Cross({1, 0, 0}, normal) : Cross({0, 1, 0}, normal);
  Normalise(u);
  const D3 v = Cross(normal, u);
  out.q.resize(n);
  out.off = 0;
  for (size_t i = 0; i < n; ++i) {
    const D3 d{corners[i].x - centre[0], corners[i].y - centre[1], corners[i].z - centre[2]};
    out.q[i] = {Dot(d, u), Dot(d, v)};
    out.off = std::max(out.off, std::abs(Dot(d, normal)));
  }
  return true;
}

// The sine of the turn at ring[at], positive when it turns the polygon's way.
double TurnAt(const std::vector<P2>& q, const std::vector<uint32_t>& ring, size_t at) {
  const size_t m = ring.size();
  const P2 a = q[ring[(at + m - 1) % m]], b = q[ring[at]], c = q[ring[(at + 1) % m]];
  return Turn(a, b, c) / std::max(Distance(a, b) * Distance(b, c), 1e-300);
}

// Whether the tip at ring[at] is an ear: no other corner that points inward lies in it or on
// its edges.
bool IsEar(const std::vector<P2>& q, const std::vector<uint32_t>& ring, size_t at, double same) {
  const size_t m = ring.size();
  const P2 a = q[ring[(at + m - 1) % m]], b = q[ring[at]], c = q[ring[(at + 1) % m]];
  auto coincides = [&](P2 p, P2 corner) { return Distance(p, corner) <= same; };
  for (size_t j = 0; j < m; ++j) {
    const P2 p = q[ring[j]];
    if (j == at || coincides(p, a) || coincides(p, b) || coincides(p, c) ||
        TurnAt(q, ring, j) > 1e-9)
      continue;
    if (Turn(a, b, p) >= 0 && Turn(b, c, p) >= 0 && Turn(c, a, p) >= 0) return false;
  }
  return true;
}

// The corner to cut off next, looking from `start` on: the first ear, or else the first
// corner on a straight line, or else the sharpest corner that turns the polygon's way (a
// polygon that crosses itself may leave no clean ear); size() for none.
struct Cut {
  size_t ear, straight, sharpest;
};
Cut NextCut(const std::vector<P2>& q, const std::vector<uint32_t>& ring, size_t start,
            double same) {
  const size_t m = ring.size();
  Cut cut{m, m, m};
  for (size_t k = 0; k < m && cut.ear == m; ++k) {
    const size_t at = (start + k) % m;
    const double turn = TurnAt(q, ring, at);
    if (std::abs(turn) <= 1e-9) {
      if (cut.straight == m) cut.straight = at;
      continue;
    }
    if (turn < 0) continue;
    if (cut.sharpest == m || turn > TurnAt(q, ring, cut.sharpest)) cut.sharpest = at;
    if (IsEar(q, ring, at, same)) cut.ear = at;
  }
  return cut;
}

// Ear clipping. Corners that repeat the one before are passed over.
std::vector<std::array<uint32_t, 3>> ClipEars(const std::vector<P2>& q, double same) {
  const size_t n = q.size();
  std::vector<uint32_t> ring;
  for (uint32_t i = 0; i < n; ++i)
    if (ring.empty() || Distance(q[ring.back()], q[i]) > same) ring.push_back(i);
  while (ring.size() > 1 && Distance(q[ring.front()], q[ring.back()]) <= same)
    ring.pop_back();
  std::vector<std::array<uint32_t, 3>> out;
  size_t start = 0;
  while (ring.size() > 3) {
    const size_t m = ring.size();
    const Cut cut = NextCut(q, ring, start, same);
    // A corner on a straight line encloses nothing with its neighbours.
    const size_t at = cut.ear != m        ? cut.ear
                      : cut.straight != m ? cut.straight
                      : cut.sharpest != m ? cut.sharpest
                                          : 0;
    if (cut.ear != m || cut.straight == m)
      out.push_back({ring[(at + m - 1) % m], ring[at], ring[(at + 1) % m]});
    ring.erase(ring.begin() + static_cast<std::ptrdiff_t>(at));
    start = at == 0 ? 0 : at - 1;
  }
  if (ring.size() == 3 && Turn(q[ring[0]], q[ring[1]], q[ring[2]]) != 0)
    out.push_back({ring[0], ring[1], ring[2]});
  return out;
}

}  // namespace

std::vector<std::array<uint32_t, 3>> CutPolygon(const std::vector<Vec3>& corners) {
  if (corners.size() < 4) return {};
  Projected flat;
  if (!Project(corners, flat)) return {};
  const double same = 1e-12 * flat.size;
  if (flat.off <= kFlatness * flat.size && Convex(flat.q, same)) return {};
  return ClipEars(flat.q, same);
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
