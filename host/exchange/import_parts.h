// The pieces of ImportModel: the frame of a node, the cutting of polygons a fan would draw
// wrongly, and the materials of a model.
#pragma once

#include <assimp/scene.h>

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "exchange/model_import.h"
#include "scene/document.h"

namespace vlm::host::exchange {

// A 3 x 3 matrix in doubles, column-vector convention: rows[r][c].
struct Linear {
  std::array<std::array<double, 3>, 3> rows{};
  Vec3 Apply(Vec3 v) const;
  Linear Times(const Linear& b) const;
  Linear Transposed() const;
  Linear InverseTransposed() const;  // for normals; the identity when singular
  double Determinant() const;
};

// A node's world transform split in two: a rigid frame (rotation and translation, in host
// axes) and what is left (scale, shear, mirroring), which goes into the vertices.
struct SplitTransform {
  Linear rotation;  // columns: the frame's x, up and forward axes
  Vec3 origin;
  Linear rest;  // rotation x rest = the transform's linear part
};
SplitTransform SplitWorld(const aiMatrix4x4& world);

// Triangles, as corner indices wound like the polygon, that cover a polygon a fan from its
// first corner would draw wrongly: one that is concave (in the plane that fits it best), or
// whose corners stray from that plane by more than kFlatness of its size. Empty for a polygon
// the fan draws right and for one that encloses no area. Corners on a straight line and
// corners that repeat the one before are allowed; no area is lost.
constexpr double kFlatness = 1e-3;
std::vector<std::array<uint32_t, 3>> CutPolygon(const std::vector<Vec3>& corners);

// Materials made on first use, by the model's material index; embedded textures written once.
class MaterialMaker {
 public:
  MaterialMaker(const aiScene& scene, HostDocument& document, std::string textureStem,
                std::vector<EmbeddedTexture>& textures);
  HostMaterial& Get(unsigned index);

 private:
  std::string TextureName(const aiString& path);
  const aiScene& scene_;
  HostDocument& document_;
  std::string stem_;
  std::vector<EmbeddedTexture>& textures_;
  std::map<unsigned, HostMaterial*> made_;
  std::map<int, std::string> embedded_;  // texture index -> file name
};

// Text from the model as UTF-8 (older formats write Windows-1252).
std::string Text(const aiString& s);

}  // namespace vlm::host::exchange
