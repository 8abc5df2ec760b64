#include "stairwright/stairwright.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include "vlm/forms.h"
#include "vlm/plugin_folder.h"
#include "vlm/refusal.h"

namespace vlm {
namespace {

// The address that tells which library this is (for the help file beside it).
void helpAnchor() {}

// The preview draws what it can: a statement that fails is left out and the rest go on.
void quietly(const std::function<void()>& statement) {
  try {
    statement();
  } catch (const Error&) {
  }
}

// Floats do not trap: a coordinate beyond the float range is raised as the overflow it is.
Vec3 checked(Vec3 v) {
  if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z)) Raise(err::Overflow);
  return v;
}

constexpr int kStepsField = 5;
// The preview's size in pixels; a flight lower than it is long gets less height.
constexpr int kPreviewWidth = 320, kPreviewHeight = 200;

}  // namespace

frmStep::frmStep()
    : NumericDialog("frmStep", "Stairwright", {"2.6", "1.6", "1.5", "0.3", "0.03", "8", "0.05"}),
      frmOpt(*this, "frmOpt"),
      lbl(*this, "lbl", 7),
      picBuf(*this, "picBuf"),
      cmdHelp(*this, "cmdHelp") {
  SetCaption("Step Maker");
  frmOpt.SetCaption("Steps");
  const char* labels[] = {"Height",     "Base",  "Width",     "Step Width",
                          "Step Depth", "Steps", "Side Width"};
  for (int i = 0; i < 7; ++i) {
    lbl(i).SetCaption(labels[i]);
    lbl(i).SetBuddy(&txt(i));
  }
  picBuf.SetSize(kPreviewWidth, kPreviewHeight);
  picBuf.SetContainer(&frmOpt);  // the frame around the preview
  cmdHelp.SetCaption("&Help");
  // The help button does what F1 does: it opens the help file set for the run.
  cmdHelp.Click = [] { ShowHelp(); };
  txt.OnChange([this](int) { drawPreview(); });
}

void frmStep::txtLostFocus(int index) {
  if (!isCount(index)) NumericDialog::txtLostFocus(index);
  drawPreview();
}

// The step count is a whole number, not a length: it is neither scaled to the scene's unit
// nor read as feet and inches.
bool frmStep::isCount(int index) const {
  return index == kStepsField;
}

std::string frmStep::fieldLabel(int index) const {
  return lbl(index).Caption();
}

void frmStep::drawPreview() {
  float H = 0, B = 0, T = 0, D = 0, r = 0;
  int n = 0;
  quietly([&] { H = ToSingle(txt(0).Text()); });
  quietly([&] { B = ToSingle(txt(1).Text()); });
  quietly([&] { T = ToSingle(txt(3).Text()); });
  quietly([&] { D = ToSingle(txt(4).Text()); });
  quietly([&] { n = ToInteger(txt(kStepsField).Text()); });

  // A side view, z to the right and height upward: y = 0 is the floor near the bottom
  // edge, y = -H the top of the flight. The view is as wide as the picture's proportions make
  // it, so a low, long flight gets a flatter picture: one that shows it from the first support
  // end (-T/2) past the last (B + T/2). Only a flight more than six times longer than high
  // (a quarter of the usual height) is still cut at the right.
  quietly([&] {
    int height = kPreviewHeight;
    if (H > 0 && B + T > 0) {
      // A proportion past int's range (or not a number) has always given the flattest
      // picture, as x86 converts it to the lowest int; said here, as such a conversion is
      // undefined.
      const float tall = kPreviewWidth * H / (B + T);
      height = tall < 2147483648.0f
                   ? std::clamp(static_cast<int>(tall), kPreviewHeight / 4, kPreviewHeight)
                   : kPreviewHeight / 4;
    }
    picBuf.SetSize(kPreviewWidth, height);
  });
  quietly([&] {
    const double aspect = static_cast<double>(picBuf.Width()) / picBuf.Height();
    picBuf.Scale(-T / 2.0, -1.01 * H, aspect * H * 1.02, H * 1.02);
  });
  picBuf.Cls();

  picBuf.Line(-T / 2.0, 0, T / 2.0, 0);
  picBuf.Line(-T / 2.0, 0, B - T / 2.0, -H);
  picBuf.Line(T / 2.0, 0, B + T / 2.0, -H);
  picBuf.Line(B + T / 2.0, -H, B - T / 2.0, -H);

  quietly([&] { r = CheckedDivide(H, static_cast<float>(n + 1)); });
  for (int k = 1; k <= n; ++k) {
    quietly([&] {
      const double x = CheckedDivide(static_cast<float>(k) * r * B, H) - T / 2.0;
      const double y = -static_cast<double>(k) * r;
      picBuf.Box(x, y, x + T, y + D);
    });
  }
}

Stairwright::Stairwright()
    : PluginBase({.name = "Step Maker",
                  .author = "\u00a9 2008 Ardo Venmark",
                  .cost = 3,
                  .pluginClass = 2,
                  .validation = PluginDescription::Counts{0, 999, 0, 999}}) {}

void Stairwright::Apply(vlm::Scene& scene, vlm::SceneGraph&, int32_t) {
  SetPluginHelpFile(reinterpret_cast<const void*>(&helpAnchor));
  frmStep dialog;
  dialog.sscale = ToSingle(scene.UnitScaleText(1.0f));
  scene_ = &scene;

  try {
    dialog.ShowModal();
    if (!dialog.bCancel) {
      // Every field is read and checked first, so that a flight that cannot be built leaves
      // no empty "Steps" group behind.
      const Fields f = readFields(dialog);

      vlm::Group* root = scene.RootGroup();
      vlm::Group* group = scene.CreateGroup();
      root->AddGroup(group);
      group->SetPosition(root, 0, {0, 0, 0});
      group->SetName("Steps");

      // The supports are sheared by moving their top by B: they rise from z = 0 at the
      // floor to z = B at height H.
      const Vec3 supportHalf{f.S / 2, f.H / 2, (f.D * f.B / f.H + f.T) / 2};
      addBox(*group, "LeftSupport", {(f.W - f.S) / 2, f.H / 2, 0}, supportHalf, boxface::All, f.B);
      addBox(*group, "RightSupport", {-(f.W - f.S) / 2, f.H / 2, 0}, supportHalf, boxface::All,
             f.B);

      // The boards have no x sides: those touch the supports.
      const int boardMask = boxface::Top | boxface::PlusZ | boxface::MinusZ | boxface::Bottom;
      for (int k = 1; k <= f.n; ++k) {
        const float rise = static_cast<float>(k) * f.r;
        addBox(*group, "Step" + std::to_string(k), {0, rise, rise * f.B / f.H},
               {(f.W - 2 * f.S) / 2, f.D / 2, f.T / 2}, boardMask);
      }
    }
  } catch (const Error& e) {
    ReportRunError(e, std::to_string(e.Number()) + " - " + e.Description() + "\r", mb::OKOnly);
  }
  scene_ = nullptr;
  dialog.Unload();
}

Stairwright::Fields Stairwright::readFields(const frmStep& dialog) {
  Fields f{};
  f.H = dialog.ReadSingle(0);
  f.B = dialog.ReadSingle(1);
  f.W = dialog.ReadSingle(2);
  f.T = dialog.ReadSingle(3);
  f.D = dialog.ReadSingle(4);
  f.n = dialog.ReadInteger(kStepsField);
  f.S = dialog.ReadSingle(6);
  f.r = CheckedDivide(f.H, static_cast<float>(f.n) + 1);
  f.slope = CheckedDivide(f.B, f.H);
  // The farthest coordinates of the flight must be floats too.
  const float extremes[] = {f.W / 2 + f.S, f.H + f.D, f.B + (f.D * f.slope + f.T),
                            static_cast<float>(f.n) * f.r * f.slope + f.T};
  for (float v : extremes)
    if (!std::isfinite(v)) Raise(err::Overflow);
  return f;
}

void Stairwright::addBox(vlm::Group& group, const std::string& name, Vec3 centre, Vec3 half,
                         int mask, float shear) {
  vlm::Object* box = scene_->CreateObject();
  makeBox(*box, centre, half, mask);
  for (int32_t v = 0; v < 4 && shear != 0; ++v) {
    Vec3 p = box->GetVertex(v);
    p.z += shear;
    box->SetVertex(v, checked(p));
  }
  group.AddObject(box);
  box->SetName(name);
}

void Stairwright::makeBox(vlm::Object& box, Vec3 centre, Vec3 half, int mask) {
  const int32_t t = box.AddTextureCoordinate({0, 0});
  const Vec3 normals[6] = {{0, 1, 0}, {1, 0, 0}, {-1, 0, 0}, {0, 0, 1}, {0, 0, -1}, {0, -1, 0}};
  int32_t n[6];
  for (int i = 0; i < 6; ++i)
    n[i] = box.AddNormal(normals[i]);
  // Signs of the corners' offsets from the centre: the top four first, then the bottom.
  const float signs[8][3] = {{1, 1, -1}, {-1, 1, -1}, {-1, 1, 1},   {1, 1, 1},
                             {1, -1, 1}, {-1, -1, 1}, {-1, -1, -1}, {1, -1, -1}};
  int32_t v[8];
  for (int i = 0; i < 8; ++i) {
    const Vec3 corner{centre.x + signs[i][0] * half.x, centre.y + signs[i][1] * half.y,
                      centre.z + signs[i][2] * half.z};
    v[i] = box.AddVertex(checked(corner));
  }
  struct Side {
    int bit;
    int corners[4];
    int normal;
  };
  const Side sides[6] = {{boxface::Top, {0, 1, 2, 3}, 0},    {boxface::MinusX, {2, 1, 6, 5}, 2},
                         {boxface::PlusX, {0, 3, 4, 7}, 1},  {boxface::PlusZ, {2, 5, 4, 3}, 3},
                         {boxface::MinusZ, {1, 0, 7, 6}, 4}, {boxface::Bottom, {4, 5, 6, 7}, 5}};
  for (const Side& side : sides) {
    if (!(mask & side.bit)) continue;
    vlm::Face* face = box.AddFace();
    for (int c : side.corners)
      face->AddPoint(v[c], n[side.normal], t);
  }
  box.SetSmoothingAngle(70);
  box.Update();
}

std::vector<CatalogForm> Stairwright::CatalogForms() const {
  return {MakeCatalogForm<frmStep>("frmStep")};
}

}  // namespace vlm
