#include "flare/flare.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "flare/bitmap.h"
#include "vlm/refusal.h"
#include "vlm/settings.h"
#include "vlm/text.h"

namespace vlm {
namespace {

constexpr double Pi = 3.1415926536;

// Where the remembered parameter values live; Flare never writes them.
constexpr const char* Application = "Vellum 8";
constexpr const char* Section = "Flare7";

struct ParameterSpec {
  const char* name;
  float minimum, maximum;
  int32_t unitKind;
  float defaultValue, increment;
};
constexpr std::array<ParameterSpec, 4> Parameters = {{
    {"Extrude", -999999, 999999, 3, 1.0f, 0.1f},
    {"Bevel", -999999, 999999, 3, 0.5f, 0.1f},
    {"Step", 1, 99, 0, 5, 1},
    {"Scale", -99, 99, 2, 1.0f, 0.1f},
}};

// Two unit edge directions closer than this (or closer to opposite) count as parallel.
constexpr float ParallelTolerance = 1e-4f;

// A remembered value: the text of the settings store as a 32-bit float, with a "."
// decimal point whatever the locale. Blanks around it and a leading "+" are allowed.
std::optional<float> storedNumber(const std::string& stored) {
  const char* first = stored.data();
  const char* last = stored.data() + stored.size();
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (first < last && blank(*first))
    ++first;
  while (last > first && blank(last[-1]))
    --last;
  if (first < last && *first == '+') ++first;
  float value = 0;
  auto [end, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || end != last || first == last || !std::isfinite(value))
    return std::nullopt;
  return value;
}

// A remembered value that is not a number, or is beyond the range of a 32-bit float, is
// dropped with a warning and the default used: it would otherwise stop every run.
float settingValue(const OperationParameter& p) {
  const std::string stored = GetSetting(
      Application, Section, p.Name, ShortestText(p.Default), [](const std::string& text) {
        return storedNumber(text) ? std::string()
                                  : "not a number within the range of a 32-bit float";
      });
  return storedNumber(stored).value_or(p.Default);
}

// "1 shape", "2 shapes".
std::string Counted(int32_t count, const std::string& noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

int32_t Count(size_t n) {
  return static_cast<int32_t>(n);
}

std::string polygonName(Shape& shape, int32_t polygon) {
  return "polygon " + std::to_string(polygon) + " of the shape \"" + shape.Name() + "\"";
}

}  // namespace

Flare::Flare()
    : OperationBase(
          {.name = "Flare Extrude",
           .author = "Ardo Venmark",
           .toolTipText = "Perform several extrusions of faces with the bevel following a curve.",
           .layerClass = 3,
           .cost = 0,
           .multiShapeApplyMethod = 0,
           .version = 100,
           .isDestructive = true,
           .isStandardFeature = true}) {}

double Flare::AtnFromSinCos(double s, double c) {
  double angle;
  if (c != 0)
    angle = std::atan(s / c);
  else
    angle = (s > 0 ? 1 : s < 0 ? -1 : 0) * Pi / 2;
  if (c < 0) angle += Pi;
  return angle;
}

std::vector<OperationParameter> Flare::GetParameters() {
  std::vector<OperationParameter> result(Parameters.size());
  for (size_t i = 0; i < Parameters.size(); ++i) {
    const ParameterSpec& spec = Parameters[i];
    OperationParameter& p = result[i];
    p.Name = spec.name;
    p.ValueType = 4;
    p.Text.clear();
    p.Minimum = spec.minimum;
    p.Maximum = spec.maximum;
    p.UnitKind = spec.unitKind;
    p.Default = spec.defaultValue;
    p.Identifier = static_cast<int32_t>(i);
    p.Increment = spec.increment;
  }
  for (OperationParameter& p : result)
    p.Value = settingValue(p);
  return result;
}

Picture Flare::Icon() {
  // Bitmap resource 101: 14 x 16 pixels, 24-bit colour.
  static constexpr uint8_t Bitmap[] = {
#include "flare_bmp.inc"
  };
  return DecodeBitmap(Bitmap, "the Flare icon");
}

bool Flare::Apply(vlm::SceneGraph& sceneGraph, int32_t deviceId,
                  std::span<const float> userDataSingles) {
  auto shapeAt = [&](int32_t i) -> Shape& {
    Shape* shape = sceneGraph.SelectedShape(deviceId, i);
    if (!shape) Raise(err::ObjectRequired, "selected shape " + std::to_string(i) + " is missing");
    return *shape;
  };

  const int32_t shapeCount = sceneGraph.SelectedShapeCount(deviceId);
  std::vector<ShapeWork> work(static_cast<size_t>(shapeCount));
  size_t polygons = 0;
  for (int32_t i = 0; i < shapeCount; ++i) {
    ShapeWork& w = work[static_cast<size_t>(i)];
    w.shape = &shapeAt(i);
    w.polygons = w.shape->GetSelectedPolygons(deviceId);
    polygons += w.polygons.size();
  }
  if (polygons == 0) {
    const int32_t nodes = sceneGraph.SelectedNodeCount(deviceId);
    RefuseOperation(
        "Please select one or more polygons of a shape for Flare Extrude; the selection holds " +
        (shapeCount > 0 ? Counted(shapeCount, "shape") + " without selected polygons"
         : nodes > 0    ? Counted(nodes, "node") + " and no shape"
                        : std::string("no shape of the scene graph")));
    return false;
  }
  const Profile p = readProfile(userDataSingles);

  // Every selected polygon of every selected shape is worked out before the first change, so
  // a polygon that cannot be flared leaves every shape as it was.
  std::vector<int32_t> corners;
  for (ShapeWork& w : work) {
    // Sized once: the positions of a million polygons are not copied as they grow. A polygon
    // that is not there is left to computeRings, which names it in its turn.
    size_t rings = 0;
    const int32_t count = w.shape->PolygonCount();
    for (int32_t polygon : w.polygons)
      if (polygon >= 0 && polygon < count) {
        w.shape->GetPolygonPoints(polygon, corners);
        rings += corners.size();
      }
    w.positions.reserve(rings * static_cast<size_t>(p.N));
    for (int32_t polygon : w.polygons)
      computeRings(*w.shape, polygon, p, corners, w.positions);
  }

  for (ShapeWork& w : work)
    extrude(w, p);
  return true;
}

Flare::Profile Flare::readProfile(std::span<const float> userDataSingles) {
  if (userDataSingles.size() < 4)
    Raise(err::SubscriptOutOfRange,
          "Flare needs four values (Extrude, Bevel, Step, Scale); it was given " +
              std::to_string(userDataSingles.size()));
  for (size_t i : {0u, 1u, 3u})
    if (!std::isfinite(userDataSingles[i]))
      Raise(err::Overflow, std::string(Parameters[i].name) + " is " +
                               ShortestText(userDataSingles[i]) + "; it must be a finite number");
  Profile p;
  p.E = userDataSingles[0];
  p.B = userDataSingles[1];
  p.S = userDataSingles[3];

  // The step count is a 16-bit integer, rounded half to even.
  const float step = userDataSingles[2];
  const double rounded = std::isfinite(step) ? std::nearbyint(double{step}) : 0;
  if (!std::isfinite(step) || rounded < std::numeric_limits<int16_t>::min() ||
      rounded > std::numeric_limits<int16_t>::max())
    Raise(err::Overflow, "Step " + ShortestText(step) + " is outside the range of a step count");
  p.N = static_cast<int16_t>(rounded);

  // Refused here, before anything changes; left to the arithmetic these would fail half-way.
  if (p.N < 1)
    Raise(err::SubscriptOutOfRange,
          "Step is " + std::to_string(p.N) + "; the flare needs at least one step");
  if (p.E == 0)
    Raise(err::DivisionByZero, "Extrude is 0; the bevel profile is measured against the height");
  if (p.B != 0 && !std::isfinite(p.E / p.B))
    Raise(err::Overflow, "Extrude / Bevel (" + ShortestText(p.E) + " / " + ShortestText(p.B) +
                             ") is outside the range of a 32-bit float");

  // The rings' heights and offsets depend on the step alone.
  const int32_t N = p.N;
  for (int32_t k = 1; k <= N; ++k) {
    float r, ang;
    if (p.B != 0 && k != N) {
      const double t = std::tan(k * (Pi / 2) / N);
      ang = static_cast<float>(std::abs(std::atan(double{p.E / p.B} * t)));
      r = static_cast<float>(p.E * std::sin(double{ang}));
    } else {
      r = static_cast<float>(k) * p.E / static_cast<float>(N);
      ang = static_cast<float>(Pi / 2);
    }
    const double off =
        double{p.B} * (r / p.E) * (1 - double{p.S}) + (p.B - p.B * std::cos(double{ang})) * p.S;
    p.rise.push_back(r);
    p.spread.push_back(static_cast<float>(off));
  }
  return p;
}

void Flare::computeRings(vlm::Shape& shape, int32_t polygon, const Profile& p,
                         std::vector<int32_t>& corners, std::vector<Vec3>& positions) {
  shape.GetPolygonPoints(polygon, corners);
  const std::string refusal = "; nothing was changed";
  const int32_t h = Count(corners.size());
  if (h < 3)
    Raise(err::InvalidProcedureCall, polygonName(shape, polygon) + " has " + std::to_string(h) +
                                         (h == 1 ? " corner" : " corners") +
                                         ", too few to enclose a face" + refusal);

  std::array<Vec3, 8> few;
  std::vector<Vec3> many;
  std::span<Vec3> P(few.data(), corners.size());
  if (corners.size() > few.size()) {
    many.resize(corners.size());
    P = many;
  }
  for (size_t j = 0; j < corners.size(); ++j)
    P[j] = shape.GetPosition(corners[j]);
  for (int32_t j = 0; j < h; ++j)
    if (P[static_cast<size_t>(j)] == P[static_cast<size_t>((j + 1) % h)])
      Raise(err::DivisionByZero, polygonName(shape, polygon) +
                                     " has a zero-length edge from corner " + std::to_string(j) +
                                     " to corner " + std::to_string((j + 1) % h) + refusal);
  Vec3 n = shape.GetPolygonNormal(polygon);
  // The host works the normal out in floats, whose products overflow for edges near 1e19;
  // worked out again in double, only a polygon that encloses no area has none.
  if (!IsUsableNormal(n)) n = PolygonNormal(std::span<const Vec3>(P));
  if (n == Vec3{})
    Raise(err::InvalidProcedureCall,
          polygonName(shape, polygon) + " encloses no area, so it has no normal" + refusal);

  const int32_t N = p.N;
  for (int32_t j = 0; j < h; ++j) {
    // Named only when something is wrong: most corners never need it.
    auto where = [&] { return polygonName(shape, polygon) + " at corner " + std::to_string(j); };
    const Vec3 Pc = P[static_cast<size_t>(j)];
    const Vec3 d = miterVector(P[static_cast<size_t>((j + h - 1) % h)], Pc,
                               P[static_cast<size_t>((j + 1) % h)], n, where);
    for (int32_t k = 1; k <= N; ++k) {
      const Vec3 Q =
          n * p.rise[static_cast<size_t>(k - 1)] + Pc + d * p.spread[static_cast<size_t>(k - 1)];
      if (!std::isfinite(Q.x) || !std::isfinite(Q.y) || !std::isfinite(Q.z))
        Raise(err::Overflow, where() + ", step " + std::to_string(k) +
                                 ": the new position is outside the range of a 32-bit float" +
                                 refusal);
      positions.push_back(Q);
    }
  }
}

template <class Where>
Vec3 Flare::miterVector(Vec3 Pp, Vec3 P, Vec3 Pn, Vec3 n, const Where& where) {
  const Vec3 a = P - Pp;
  const Vec3 b = P - Pn;
  // Directions and the cosine are worked out in double where the squares of very long (or
  // very short) edges leave the float range; ordinary edges keep the float arithmetic.
  const Vec3 na = Direction(a), nb = Direction(b);
  if (Length(na + nb) < ParallelTolerance) {
    // Two collinear edges have no bisector: the corner moves at right angles to the edge, in
    // the face plane and away from the face, and the edges do not bend (h2 = 1).
    const Vec3 side = Cross(Pn - Pp, n);
    return HasFloatLength(side) ? Normalize(side) : Direction(Cross(Direction(Pn - Pp), n));
  }
  if (Length(na - nb) < ParallelTolerance)
    Raise(err::DivisionByZero,
          where() + " turns back on itself: its two edges run the same way; nothing was changed");

  // Rounding may take the cosine of a nearly straight corner just past -1.
  const double cosine = HasFloatLength(a) && HasFloatLength(b)
                            ? double{Dot(a, b)} / (double{Length(a)} * double{Length(b)})
                            : PreciseDot(a, b) / (PreciseLength(a) * PreciseLength(b));
  const double c = std::clamp(cosine, -1.0, 1.0);
  const double s = std::sqrt(1 - c * c);
  const double theta = AtnFromSinCos(s, c);
  const double h2 = std::sin(theta / 2);
  Vec3 d = Normalize(na + nb) * static_cast<float>(1 / h2);
  // At a reflex corner the bisector of the two edges points into the face; the edges move
  // outward only when the corner moves the other way.
  Vec3 turn = Cross(a, Pn - P);
  if (!HasFloatLength(turn)) turn = Cross(Direction(a), Direction(Pn - P));
  if (Dot(turn, n) < 0) d = -d;
  return d;
}

void Flare::extrude(ShapeWork& work, const Profile& p) {
  vlm::Shape& shape = *work.shape;
  const size_t N = static_cast<size_t>(p.N);
  // Each polygon of h corners becomes a cap of h points and N sides of 4 points per edge.
  const size_t rings = work.positions.size() / N;
  const size_t added = work.polygons.size() + N * rings, points = rings + 4 * N * rings;
  if (work.positions.size() > size_t{INT32_MAX} || added > size_t{INT32_MAX} ||
      points > size_t{INT32_MAX})
    Raise(err::OutOfMemory, "the flared shape \"" + shape.Name() + "\" would hold " +
                                std::to_string(added) + " new polygons of " +
                                std::to_string(points) + " points, more than a shape can");
  shape.Reserve(Count(work.positions.size()), Count(added), Count(points));
  int32_t next = shape.AddPositions(work.positions);
  std::vector<Vec3>().swap(work.positions);

  std::vector<int32_t> corners, counts, indices;
  for (int32_t polygon : work.polygons) {
    shape.GetPolygonPoints(polygon, corners);
    const size_t h = corners.size();
    // Ring k (1..N) of corner j is position next + N * j + k - 1; level l of a side runs from
    // the corner's ring l (its own position for l = 0) to ring l + 1.
    auto ring = [&](size_t j, size_t k) { return next + Count(N * j + k - 1); };
    auto bottom = [&](size_t j, size_t l) { return l == 0 ? corners[j] : ring(j, l); };
    counts.assign(1, Count(h));
    indices.clear();
    for (size_t j = 0; j < h; ++j)
      indices.push_back(ring(j, N));
    // The side from corner j0 to the next corner j1: bottom to bottom, then top to top
    // backwards, so that it faces outward as the polygon does.
    for (size_t j = 1; j <= h; ++j) {
      const size_t j0 = j - 1, j1 = j % h;
      for (size_t l = 0; l < N; ++l) {
        counts.push_back(4);
        indices.insert(indices.end(),
                       {bottom(j0, l), bottom(j1, l), ring(j1, l + 1), ring(j0, l + 1)});
      }
    }
    shape.AddPolygons(counts, indices);
    next += Count(N * h);
  }

  // Removal only marks, so the indices of the selection stay valid until Compact.
  for (int32_t polygon : work.polygons)
    shape.RemovePolygon(polygon);
  shape.Compact();
  shape.Update(-1);
}

}  // namespace vlm
