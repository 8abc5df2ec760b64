// Wingform's triangles into the objects of their materials' textures, fitted to X-Plane's tiles.
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <unordered_map>
#include <vector>

#include "vlm/error.h"
#include "vlm/named_files.h"
#include "wingform/wingform_export.h"

namespace vlm::wingform {
namespace {

Vec3 Triple(const std::vector<float>& list, int32_t index, const char* what) {
  const size_t at = static_cast<size_t>(index) * 3;
  if (index < 0 || at + 3 > list.size())
    Raise(err::SubscriptOutOfRange, "the mesh data names " + std::string(what) + " " +
                                        std::to_string(index) + ", which it does not hold");
  return {list[at], list[at + 1], list[at + 2]};
}

Vec2 Pair(const std::vector<float>& list, int32_t index) {
  const size_t at = static_cast<size_t>(index) * 2;
  if (index < 0 || at + 2 > list.size())
    Raise(err::SubscriptOutOfRange, "the mesh data names texture coordinate " +
                                        std::to_string(index) + ", which it does not hold");
  return {list[at], list[at + 1]};
}

// Where a triangle's coordinates sample a clamped or mirrored texture the way X-Plane, which
// repeats every texture, does: `moved` when they were brought into another tile, `shown`
// false when no coordinates can (the triangle reaches past a clamped edge, or across the edge
// of a mirrored tile).
struct TileFit {
  bool moved = false, shown = true;
};

void FitAxis(std::array<Vec2, 3>& t, float Vec2::*axis, TextureWrap wrap, TileFit& fit) {
  if (wrap == TextureWrap::Repeat) return;
  const float lo = std::min({t[0].*axis, t[1].*axis, t[2].*axis});
  const float hi = std::max({t[0].*axis, t[1].*axis, t[2].*axis});
  if (!(lo <= hi)) return;        // a NaN is written as it is
  constexpr float slack = 1e-5f;  // the file's rounding
  if (wrap == TextureWrap::Clamp) {
    // Inside 0..1 the repeated texture is the clamped one; past its edges it is not.
    if (lo < -slack || hi > 1 + slack) fit.shown = false;
    return;
  }
  // Mirrored: tile n holds the image turned over when n is odd. A triangle within one tile
  // samples what the first tile shows at the coordinates folded back into it.
  const float tile = std::floor(lo + slack);
  if (!(hi <= tile + 1 + slack)) {
    fit.shown = false;
    return;
  }
  if (tile == 0) return;
  const bool odd = std::fmod(tile, 2.0f) != 0;
  for (Vec2& c : t)
    c.*axis = odd ? tile + 1 - c.*axis : c.*axis - tile;
  fit.moved = true;
}

TileFit FitToTile(std::array<Vec2, 3>& t, TextureWrap wrapU, TextureWrap wrapV) {
  TileFit fit;
  FitAxis(t, &Vec2::u, wrapU, fit);
  FitAxis(t, &Vec2::v, wrapV, fit);
  return fit;
}

}  // namespace

const WingformExport::Look& WingformExport::lookOf(GraphMaterial* material) {
  auto [cached, added] = materialObjects_.try_emplace(material);
  Look& look = cached->second;
  if (!added) return look;
  std::array<std::string, 3> named;
  if (TextureSet* set = material ? material->Textures() : nullptr) {
    named = {set->DiffuseMap(), set->BumpMap(), set->DetailMap()};
    look.wrapU = set->WrapU();
    look.wrapV = set->WrapV();
  }
  // Textures the host copies beside the files are named there without their folders.
  std::array<std::string, 3> names = named;
  if (CopyNamedFiles())
    for (std::string& name : names)
      name = BareFileName(name);
  XObj& obj = objects_.GetObj(names[0], names[1], names[2]);
  const int16_t choice = options_.TextureChoice();
  if (choice == DdsChoice)
    obj.Extension = "dds";
  else if (choice == PngChoice)
    obj.Extension = "png";
  objectTextures_.try_emplace(&obj, ObjectTextures{named});
  look.obj = &obj;
  look.number = 0;
  for (const XObj& held : objects_) {
    if (&held == &obj) break;
    ++look.number;
  }
  return look;
}

void WingformExport::convertShape(const std::vector<MeshData>& pieces, int32_t lod, int32_t dist) {
  for (auto piece = pieces.rbegin(); piece != pieces.rend(); ++piece)
    convertPiece(*piece, lod, dist);
}

void WingformExport::convertPiece(const MeshData& data, int32_t lod, int32_t dist) {
  prepareObjects(data, lod, dist);
  std::vector<Seen> seen(data.positions.size() / 3);
  walkTriangles(data, [&](const Look& look, int64_t r) { addTriangle(data, look, r, lod, seen); });
}

void WingformExport::prepareObjects(const MeshData& data, int32_t lod, int32_t dist) {
  // First the triangles each object receives, so that its lists are sized once.
  std::unordered_map<XObj*, int64_t> counts;
  XObj* last = nullptr;
  int64_t* lastCount = nullptr;
  walkTriangles(data, [&](const Look& look, int64_t) {
    if (look.obj != last) lastCount = &counts[last = look.obj];
    ++*lastCount;
  });
  const int64_t positionCount = static_cast<int64_t>(data.positions.size() / 3);
  const int64_t totalTriangles = static_cast<int64_t>(data.materials.size());
  for (const auto& [obj, triangles] : counts) {
    if (obj->IndexCount() < 0) {
      // Corners share vertices: at most one per corner, and about the object's share of the
      // positions (a table reserved too small only grows).
      const int64_t share = positionCount * triangles / std::max<int64_t>(totalTriangles, 1) + 1;
      obj->Vertices().Reserve(static_cast<int32_t>(
          std::min<int64_t>({3 * triangles, share, std::numeric_limits<int32_t>::max()})));
      obj->InitIndices(static_cast<int32_t>(
          std::min<int64_t>(triangles, std::numeric_limits<int32_t>::max() / 3)));
    }
    obj->SetDist(lod, dist);
  }
}

void WingformExport::addTriangle(const MeshData& data, const Look& look, int64_t r, int32_t lod,
                                 std::vector<Seen>& seen) {
  const std::vector<int32_t>& corners = data.corners;
  const int64_t positionCount = static_cast<int64_t>(data.positions.size() / 3);
  const float s = unitScale_;
  XObj& obj = *look.obj;
  // A clamped or mirrored texture: the triangle's coordinates, brought where X-Plane's
  // repeating shows what the source shows. Such a triangle's corners are not remembered.
  std::array<Vec2, 3> fitted;
  bool moved = false;
  if (look.wrapU != TextureWrap::Repeat || look.wrapV != TextureWrap::Repeat) {
    for (size_t k = 0; k < 3; ++k)
      fitted[k] = Pair(data.textureCoordinates,
                       corners[static_cast<size_t>(r + FirstCorner + CornerLength * k + 2)]);
    const TileFit fit = FitToTile(fitted, look.wrapU, look.wrapV);
    moved = fit.moved;
    if (!fit.shown && lod == 0) ++objectTextures_[&obj].outsideTile;
  }
  for (int64_t k = 0; k < 3; ++k) {
    const int64_t c = r + FirstCorner + CornerLength * k;
    const int32_t position = corners[static_cast<size_t>(c)];
    const int32_t normal = corners[static_cast<size_t>(c + 1)];
    const int32_t coordinate = corners[static_cast<size_t>(c + 2)];
    Seen* last = !moved && position >= 0 && position < positionCount
                     ? &seen[static_cast<size_t>(position)]
                     : nullptr;
    if (last && last->object == look.number && last->normal == normal &&
        last->textureCoordinate == coordinate) {
      obj.AddIndex(last->vertex, lod);
      continue;
    }
    const Vec3 p = Triple(data.positions, position, "position");
    const Vec3 m = Triple(data.normals, normal, "normal");
    const Vec2 t =
        moved ? fitted[static_cast<size_t>(k)] : Pair(data.textureCoordinates, coordinate);
    // OBJ8 looks down the other z axis and counts v from the bottom edge of the image: 1 - v
    // reaches the texel the host's v reaches from the top, whatever the texture's wrap.
    const std::array<float, 8> values{p.x * s, p.y * s, -p.z * s, m.x, m.y, -m.z, t.u, 1.0f - t.v};
    const int32_t index = obj.AddVert(values[0], values[1], values[2], values[3], values[4],
                                      values[5], values[6], values[7]);
    obj.AddIndex(index, lod);
    if (last && std::none_of(values.begin(), values.end(), [](float v) { return v != v; }))
      *last = {normal, coordinate, index, look.number};
  }
}

}  // namespace vlm::wingform
