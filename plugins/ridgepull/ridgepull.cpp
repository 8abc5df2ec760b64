#include "ridgepull/ridgepull.h"

#include <cmath>
#include <optional>
#include <string>
#include <utility>

#include "vlm/forms.h"
#include "vlm/plugin_folder.h"
#include "vlm/refusal.h"

namespace vlm {
namespace {

// The address that tells which library this is (for the help file beside it).
void helpAnchor() {}

// A corner whose edges, normals or angle give no direction to offset along: the offsets
// would divide by zero.
[[noreturn]] void degenerateCorner(int32_t vertexIndex, const char* why) {
  Raise(err::DivisionByZero, StandardDescription(err::DivisionByZero) + ": the corner at vertex " +
                                 std::to_string(vertexIndex) + " is degenerate (" + why + ")");
}

Vec3 unit(Vec3 v, int32_t vertexIndex, const char* why) {
  if (Length(v) == 0) degenerateCorner(vertexIndex, why);
  return Normalize(v);
}

// Floats do not trap: a coordinate beyond the float range is raised as the overflow it is.
Vec3 checked(Vec3 v) {
  if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z)) Raise(err::Overflow);
  return v;
}

}  // namespace

frmEEx::frmEEx()
    : NumericDialog("frmEEx", "Ridgepull", {"0.1", "0.1", "0.0"}),
      lbl(*this, "lbl", 3),
      chkInside(*this, "chkInside") {
  SetCaption("Edge Extrude");
  const char* labels[] = {"Inset", "Extrude", "Bevel"};
  for (int i = 0; i < 3; ++i) {
    lbl(i).SetCaption(labels[i]);
    lbl(i).SetBuddy(&txt(i));
  }
  chkInside.SetCaption("Inside Face");
}

void frmEEx::loadSettings() {
  // A check box takes 0, 1 or 2; anything else is dropped with a warning.
  auto state = [](const std::string& text) -> std::optional<int16_t> {
    try {
      const int16_t value = ToInteger(text);
      if (value >= 0 && value <= 2) return value;
    } catch (const Error&) {
    }
    return std::nullopt;
  };
  const std::string stored =
      getSetting("Inside", std::to_string(chkInside.Value()), [&](const std::string& text) {
        return state(text) ? std::string()
                           : "the check box \"" + chkInside.Caption() + "\" takes 0, 1 or 2";
      });
  chkInside.SetValue(state(stored).value_or(0));
}

std::string frmEEx::fieldLabel(int index) const {
  return lbl(index).Caption();
}

void frmEEx::saveSettings() {
  saveSetting("Inside", std::to_string(chkInside.Value()));
}

Ridgepull::Ridgepull()
    : PluginBase({.name = "Edge Extrude",
                  .author = "Ardo Venmark \u00a9 2009",
                  .cost = 0,
                  .pluginClass = 2,
                  .validation = PluginDescription::Counts{1, 999, 0, 999}}) {}

float Ridgepull::angleBetween(Vec3 a, Vec3 b) {
  if (!HasFloatLength(a) || !HasFloatLength(b)) {
    // Very long or very short edges: their squares leave the float range, not their angle.
    const double lengths = PreciseLength(a) * PreciseLength(b);
    if (lengths == 0) Raise(err::DivisionByZero);
    const double c = PreciseDot(a, b) / lengths;
    if (std::fabs(c) >= 1) return 0;
    return static_cast<float>(std::acos(c));
  }
  const float c = CheckedDivide(Dot(a, b), Length(a) * Length(b));
  if (std::fabs(c) >= 1) return 0;
  return std::acos(c);
}

void Ridgepull::Apply(vlm::Scene& scene, vlm::SceneGraph&, int32_t) {
  SetPluginHelpFile(reinterpret_cast<const void*>(&helpAnchor));
  frmEEx dialog;
  dialog.sscale = ToSingle(scene.UnitScaleText(1.0f));

  try {
    const int32_t mode =
        scene.SelectedObjectCount() > 0 ? scene.SelectedObject(0)->SelectionMode() : -1;
    if (mode != 0 && mode != 1) {
      RefuseRun("Please select an object or one or more faces before running this plugin",
                mb::OKOnly | mb::Critical, "Ridgepull");
      dialog.Unload();
      return;
    }

    dialog.ShowModal();
    if (!dialog.bCancel) {
      Inset = dialog.ReadSingle(0);
      Extrude = dialog.ReadSingle(1);
      Bevel = dialog.ReadSingle(2);
      Inside = dialog.chkInside.Value() == 1;
      dialog.namingFieldsOnOverflow([&] {
        for (int32_t i = 0; i < scene.SelectedObjectCount(); ++i) {
          target = scene.CreateObject();
          processObject(*scene.SelectedObject(i));
        }
      });
    }
  } catch (const Error& e) {
    ReportRunError(e, std::to_string(e.Number()) + " - " + e.Description(), mb::OKOnly);
  }
  release();
  dialog.Unload();
}

void Ridgepull::processObject(vlm::Object& object) {
  source = &object;
  vlm::Group* group = source->Parent();
  target->AddTextureCoordinate({0, 0});
  target->AddNormal({0, 1, 0});

  const auto vertexCount = static_cast<size_t>(source->VertexCount());
  vertexNormalSums.assign(vertexCount, Vec3{});
  vertexUseCounts.assign(vertexCount, 0);
  rings.clear();

  if (source->SelectionMode() == 1) {
    for (int32_t n = 0; n < source->SelectedFaceCount(); ++n)
      rings.push_back(buildRing(source->SelectedFace(n)));
  } else {
    for (int32_t f = 0; f < source->FaceCount(); ++f)
      rings.push_back(buildRing(f));
  }
  // Room for the moulding at once: four vertices per point, at most four sides per edge.
  size_t points = 0;
  for (const EdgeRing& ring : rings)
    points += ring.points.size();
  if (points > size_t{INT32_MAX} / 16) Raise(err::OutOfMemory);
  const auto room = static_cast<int32_t>(points);
  target->Reserve(4 * room, 4 * room, 16 * room);
  // The vertex normals cover every processed face, so the rings are finished only now.
  for (EdgeRing& ring : rings) {
    finishRing(ring);
    emitRing(ring);
  }

  // Only a complete moulding joins the scene.
  target->GenerateNormals();
  group->AddObject(target);
  target->SetName("Moulding");
  target->SetSmoothingAngle(source->SmoothingAngle());
  target->Update();

  vertexNormalSums.clear();
  vertexUseCounts.clear();
  rings.clear();
}

EdgeRing Ridgepull::buildRing(int32_t face) {
  source->GetFacePoints(face, facePoints);
  Vec3 normal = source->GetFaceNormal(face);
  EdgeRing ring;
  ring.pointCount = static_cast<int32_t>(facePoints.size());
  ring.points.resize(static_cast<size_t>(ring.pointCount));
  std::vector<Vec3> outline(ring.points.size());
  for (int32_t i = 0; i < ring.pointCount; ++i) {
    RingPoint& p = ring.points[static_cast<size_t>(i)];
    p.vertexIndex = facePoints[static_cast<size_t>(i)].vertex;
    if (p.vertexIndex < 0 || static_cast<size_t>(p.vertexIndex) >= vertexNormalSums.size())
      Raise(err::SubscriptOutOfRange);
    p.position = outline[static_cast<size_t>(i)] = source->GetVertex(p.vertexIndex);
  }
  // The host works the normal out in floats, whose products overflow for edges near 1e19;
  // worked out again in double, only a face that encloses no area has none.
  if (!IsUsableNormal(normal)) normal = PolygonNormal(outline);
  for (RingPoint& p : ring.points) {
    p.faceNormal = unit(normal, p.vertexIndex, "its face has no normal");
    vertexNormalSums[static_cast<size_t>(p.vertexIndex)] += p.faceNormal;
    vertexUseCounts[static_cast<size_t>(p.vertexIndex)] += 1;
  }
  const int32_t n = ring.pointCount;
  for (int32_t i = 0; i < n; ++i) {
    RingPoint& p = ring.points[static_cast<size_t>(i)];
    const auto [a, b] = edgesAt(ring, i);
    if (a == Vec3{} || b == Vec3{})
      degenerateCorner(p.vertexIndex, "two points of its face coincide");
    p.cornerAngle = angleBetween(a, b);
    p.bisector = unit(Direction(a) + Direction(b), p.vertexIndex, "its edges run in one line");
  }
  return ring;
}

std::pair<Vec3, Vec3> Ridgepull::edgesAt(const EdgeRing& ring, int32_t i) {
  const int32_t n = ring.pointCount;
  const Vec3 P = ring.points[static_cast<size_t>(i)].position;
  return {ring.points[static_cast<size_t>((i + n - 1) % n)].position - P,
          ring.points[static_cast<size_t>((i + 1) % n)].position - P};
}

void Ridgepull::finishRing(EdgeRing& ring) {
  for (RingPoint& p : ring.points) {
    const auto v = static_cast<size_t>(p.vertexIndex);
    p.shared = vertexUseCounts[v] > 2;
    p.vertexNormal = unit(vertexNormalSums[v], p.vertexIndex, "the face normals there cancel out");
  }
}

void Ridgepull::emitRing(const EdgeRing& ring) {
  const int32_t n = ring.pointCount;
  newVertexIndices.assign(static_cast<size_t>(4 * n), 0);
  for (int32_t i = 0; i < n; ++i) {
    const RingPoint& p = ring.points[static_cast<size_t>(i)];
    const Vec3 P = p.position, N = p.faceNormal, V = p.vertexNormal, D = p.bisector;
    const float s = std::sin(p.cornerAngle / 2);
    if (s == 0) {
      // The angle is 0 both where the edges fold back onto each other and where they run on
      // in a line that bends too little for a float cosine to tell from -1.
      const auto [a, b] = edgesAt(ring, i);
      degenerateCorner(p.vertexIndex, PreciseDot(a, b) < 0
                                          ? "its edges run on in an almost straight line"
                                          : "its edges meet at a zero angle");
    }
    const float k = Dot(V, N) / (Length(V) * Length(N));
    if (k == 0) degenerateCorner(p.vertexIndex, "its vertex normal lies in the face plane");
    // Dividing by k raises Q1 along the vertex normal until it stands Extrude above the face;
    // dividing by s makes the inset, measured square to both edges, the distance given.
    const Vec3 q[4] = {P, P + V * (Extrude / k), P + D * ((Inset - Bevel) / s) + N * Extrude,
                       P + D * (Inset / s)};
    for (int c = 0; c < 4; ++c)
      newVertexIndices[static_cast<size_t>(4 * i + c)] = target->AddVertex(checked(q[c]));
  }

  auto Q = [this](int c, int32_t point) {
    return newVertexIndices[static_cast<size_t>(4 * point + c)];
  };
  auto quad = [this](int32_t a, int32_t b, int32_t c, int32_t d) {
    const FacePoint points[] = {{a, 0, 0}, {b, 0, 0}, {c, 0, 0}, {d, 0, 0}};
    target->AddFaceOfPoints(points, nullptr);
  };
  for (int32_t i = 0; i < n; ++i) {
    const int32_t j = (i + 1) % n;
    // An edge between two shared vertices lies inside the processed region: no outer side.
    if (!(ring.points[static_cast<size_t>(i)].shared && ring.points[static_cast<size_t>(j)].shared))
      quad(Q(0, i), Q(0, j), Q(1, j), Q(1, i));
    quad(Q(1, i), Q(1, j), Q(2, j), Q(2, i));
    quad(Q(2, i), Q(2, j), Q(3, j), Q(3, i));
    if (Inside) quad(Q(3, i), Q(3, j), Q(0, j), Q(0, i));
  }
}

void Ridgepull::release() {
  source = nullptr;
  target = nullptr;
  vertexNormalSums.clear();
  vertexUseCounts.clear();
  rings.clear();
  newVertexIndices.clear();
}

std::vector<CatalogForm> Ridgepull::CatalogForms() const {
  return {MakeCatalogForm<frmEEx>("frmEEx")};
}

}  // namespace vlm
