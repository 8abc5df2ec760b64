#include "shrink/shrink.h"

#include <cmath>
#include <vector>

#include "vlm/forms.h"
#include "vlm/plugin_folder.h"
#include "vlm/refusal.h"

namespace vlm {
namespace {

// The address that tells which library this is (for the help file beside it).
void helpAnchor() {}

}  // namespace

frmShrink::frmShrink() : NumericDialog("frmShrink", "shrink", {"0.1"}), lbl(*this, "lbl") {
  SetCaption("Shrink Value");
  lbl.SetCaption("Inset");
  lbl.SetBuddy(&txt(0));
}

std::string frmShrink::fieldLabel(int) const {
  return lbl.Caption();
}

Shrink::Shrink()
    : PluginBase({.name = "Shrink",
                  .author = "Ardo Venmark \u00a9 2008",
                  .cost = 0,
                  .pluginClass = 0,
                  .validation = PluginDescription::Counts{1, 999, 0, 999}}) {}

void Shrink::Apply(vlm::Scene& scene, vlm::SceneGraph&, int32_t) {
  SetPluginHelpFile(reinterpret_cast<const void*>(&helpAnchor));
  frmShrink dialog;
  dialog.sscale = ToSingle(scene.UnitScaleText(1.0f));

  const int32_t mode =
      scene.SelectedObjectCount() > 0 ? scene.SelectedObject(0)->SelectionMode() : -1;
  if (mode != 0 && mode != 1) {
    RefuseRun("Please select one or more objects or faces before running this plugin",
              mb::OKOnly | mb::Critical, "Shrink");
    return;
  }

  dialog.ShowModal();
  if (!dialog.bCancel) {
    Amount = dialog.ReadSingle(0);
    dialog.namingFieldsOnOverflow([&] {
      for (int32_t i = 0; i < scene.SelectedObjectCount(); ++i)
        shrinkObject(*scene.SelectedObject(i));
    });
  }
  object_ = nullptr;
  vertices_.clear();
  dialog.Unload();
}

void Shrink::shrinkObject(vlm::Object& object) {
  object_ = &object;
  vertices_.assign(static_cast<size_t>(object.VertexCount()), ShrinkVertex{});
  for (size_t j = 0; j < vertices_.size(); ++j)
    vertices_[j].position = object.GetVertex(static_cast<int32_t>(j));

  // Objects after the first were not tested: one in another selection mode gives no faces.
  if (object.SelectionMode() == 1) {
    for (int32_t m = 0; m < object.SelectedFaceCount(); ++m)
      addFace(object.SelectedFace(m));
  } else if (object.SelectionMode() == 0) {
    for (int32_t f = 0; f < object.FaceCount(); ++f)
      addFace(f);
  }

  for (size_t j = 0; j < vertices_.size(); ++j) {
    const ShrinkVertex& v = vertices_[j];
    // A vertex whose normals cancel out has no inward direction: it stays where it is.
    const Vec3 inward = Direction(v.normalSum);
    if (v.uses == 0 || inward == Vec3{}) continue;
    const Vec3 moved = v.position - inward * Amount;
    if (!std::isfinite(moved.x) || !std::isfinite(moved.y) || !std::isfinite(moved.z))
      Raise(err::Overflow);
    object.SetVertex(static_cast<int32_t>(j), moved);
  }
}

Vec3 Shrink::planeNormal(int32_t face) {
  const Vec3 normal = object_->GetFaceNormal(face);
  if (IsUsableNormal(normal)) return normal;
  // The host works it out in floats, whose products overflow for edges near 1e19: worked out
  // again in double.
  std::vector<Vec3> outline;
  for (const FacePoint& p : points_) {
    const int32_t v = p.vertex;
    if (v < 0 || static_cast<size_t>(v) >= vertices_.size()) Raise(err::SubscriptOutOfRange);
    outline.push_back(vertices_[static_cast<size_t>(v)].position);
  }
  return PolygonNormal(outline);
}

void Shrink::addFace(int32_t face) {
  object_->GetFacePoints(face, points_);
  for (const FacePoint& p : points_) {
    const int32_t v = p.vertex;
    const int32_t k = p.normal;
    if (v < 0 || static_cast<size_t>(v) >= vertices_.size()) Raise(err::SubscriptOutOfRange);
    // A point without a normal counts with its face's plane normal, as the host shows it.
    const Vec3 normal = k < 0 ? planeNormal(face) : object_->GetNormal(k);
    vertices_[static_cast<size_t>(v)].normalSum += normal;
    vertices_[static_cast<size_t>(v)].uses += 1;
  }
}

std::vector<CatalogForm> Shrink::CatalogForms() const {
  return {MakeCatalogForm<frmShrink>("frmShrink")};
}

}  // namespace vlm
