// The 3D view (see scene_view.h): the document it shows, the faces it marks, the camera,
// picking, and the mouse and keys. What it keeps is in scene_view_state.h, its drawing in
// scene_view_drawing.cpp.
#include "workbench/scene_view.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QSurfaceFormat>
#include <QWheelEvent>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <future>

#include "scene/document.h"
#include "workbench/pick_tree.h"
#include "workbench/scene_view_state.h"

namespace vlm::workbench {
namespace {

namespace fs = std::filesystem;

// A drag shorter than this (in pixels, along either axis) is a click.
constexpr int kDragThreshold = 4;
// Pixels of drag a key press stands for.
constexpr double kKeyOrbit = 37.5, kKeyPan = 20;
constexpr double kKeyZoom = 0.8;

Vec3 Lower(Vec3 a, Vec3 b) {
  return {std::min(a.x, b.x), std::min(a.y, b.y), std::min(a.z, b.z)};
}
Vec3 Upper(Vec3 a, Vec3 b) {
  return {std::max(a.x, b.x), std::max(a.y, b.y), std::max(a.z, b.z)};
}

host::PickCombine OpFor(Qt::KeyboardModifiers modifiers) {
  if (modifiers & Qt::ControlModifier) return host::PickCombine::Toggle;
  if (modifiers & Qt::ShiftModifier) return host::PickCombine::Add;
  return host::PickCombine::Replace;
}

}  // namespace

SceneView::SceneView(QWidget* parent)
    : QOpenGLWidget(parent), state_(std::make_unique<State>()), gpu_(std::make_unique<Gpu>()) {
  QSurfaceFormat format = QSurfaceFormat::defaultFormat();
  if (QOpenGLContext::openGLModuleType() == QOpenGLContext::LibGL) {
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
  }
  format.setDepthBufferSize(24);
  setFormat(format);
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(false);
  setMinimumSize(64, 64);
  state_->settle.setSingleShot(true);
  state_->settle.setInterval(kSettleMs);
  connect(&state_->settle, &QTimer::timeout, this, [this] {
    state_->moving = false;
    update();
  });
}

SceneView::~SceneView() {
  // The base class destroys the context after this class is gone: nothing of it may answer.
  if (context()) disconnect(context(), nullptr, this, nullptr);
  if (gpu_->ready && context()) {
    makeCurrent();
    ReleaseGpu();
    doneCurrent();
  }
}

void SceneView::SetTextureFolder(const fs::path& folder) {
  state_->textureFolder = folder;
}

void SceneView::SetDocument(const host::HostDocument* document) {
  State& s = *state_;
  s.Settle();  // the tree and stand-in being made read the mesh about to be replaced
  if (s.standInBuilding.valid()) s.standInBuilding.get();
  s.document = document;
  s.tree = PickTree();
  s.standIn = StandIn();
  s.standInMade = false;
  ++s.hiddenVersion;
  s.mesh = document ? SceneMesh(*document) : SceneMesh();
  // A large mesh's tree is made after the first frame (see StartBackgroundWork).
  s.treeBuilt = false;
  if (s.mesh.TriangleCount() < 100000) s.Tree();
  // The selection, changes and hidden faces named faces of the earlier document; the owner
  // sets them anew.
  s.selected.clear();
  s.changed.clear();
  s.hidden.clear();
  s.poseHidden.clear();
  s.lights.clear();
  s.movedFirst = s.movedEnd = 0;
  s.hiddenFace.clear();
  s.cornerState.assign(s.mesh.corners.size(), kPlain);
  // Edges outline polygons: a model made of triangles alone (as imports are) would show every
  // triangle's, so it starts without them, as does a large one.
  if (!s.edgesChosen) {
    size_t drawn = 0;
    for (const SceneFace& face : s.mesh.faces)
      drawn += face.triangleCount > 0;
    s.edges = s.mesh.TriangleCount() < kEdgesUpTo && s.mesh.TriangleCount() > drawn;
  }
  // The grid reaches past the scene on every side, in round steps.
  float reach = 1;
  if (!s.mesh.Empty())
    for (float v : {s.mesh.min.x, s.mesh.max.x, s.mesh.min.z, s.mesh.max.z})
      if (std::isfinite(v)) reach = std::max(reach, std::fabs(v));
  s.gridStep = std::pow(10.0f, std::floor(std::log10(reach / 2)));
  s.gridHalf = std::ceil(reach * 1.2f / s.gridStep) * s.gridStep;
  if (!s.framed && !s.mesh.Empty()) {
    UpdateViewport();
    s.camera.Frame(s.mesh.min, s.mesh.max);
    s.framed = s.autoFramed = true;
  }
  gpu_->meshStale = gpu_->stateStale = gpu_->linesStale = true;
  gpu_->overlayStale = gpu_->standInStale = true;
  gpu_->cacheValid = false;
  update();
}

void SceneView::UpdateFaceStates() {
  State& s = *state_;
  std::fill(s.cornerState.begin(), s.cornerState.end(), kPlain);
  const auto mark = [&](const std::vector<host::FaceHit>& faces, uint8_t value) {
    for (const host::FaceHit& ref : faces) {
      const std::optional<uint32_t> index = s.mesh.FaceIndex(ref);
      if (!index) continue;
      const SceneFace& face = s.mesh.faces[*index];
      std::fill_n(s.cornerState.begin() + 3 * std::ptrdiff_t{face.firstTriangle},
                  3 * std::ptrdiff_t{face.triangleCount}, value);
    }
  };
  mark(s.changed, kChanged);
  mark(s.selected, kSelected);
  mark(s.hidden, kHidden);
  mark(s.poseHidden, kHidden);
  s.hiddenFace.clear();
  if (!s.hidden.empty() || !s.poseHidden.empty()) {
    s.hiddenFace.assign(s.mesh.faces.size(), 0);
    for (const auto* faces : {&s.hidden, &s.poseHidden})
      for (const host::FaceHit& ref : *faces)
        if (const std::optional<uint32_t> index = s.mesh.FaceIndex(ref)) s.hiddenFace[*index] = 1;
  }
  gpu_->stateStale = true;
  update();
}

// The model's picture does not show the selection: a new one is drawn over the picture kept.
void SceneView::SetSelectedFaces(const std::vector<host::FaceHit>& faces) {
  state_->selected = faces;
  UpdateFaceStates();
  gpu_->overlayStale = true;
  state_->overlayOnly = true;
}

void SceneView::SetChangedFaces(const std::vector<host::FaceHit>& faces) {
  state_->changed = faces;
  UpdateFaceStates();
  gpu_->cacheValid = false;
}

void SceneView::SetHiddenFaces(const std::vector<host::FaceHit>& faces) {
  state_->hidden = faces;
  ++state_->hiddenVersion;  // the stand-in left out the faces hidden before
  UpdateFaceStates();
  gpu_->cacheValid = false;
}

void SceneView::SetEdges(bool shown) {
  state_->edges = shown;
  state_->edgesChosen = true;
  update();
}

bool SceneView::EdgesShown() const {
  return state_->edges;
}

void SceneView::SetXray(bool on) {
  state_->xray = on;
  update();
}

void SceneView::SetOrthographic(bool on) {
  state_->camera.SetOrthographic(on);
  update();
}

void SceneView::SetWireframe(bool on) {
  state_->wireframe = on;
  update();
}

void SceneView::SetBackFaces(bool shown) {
  state_->backFaces = shown;
  update();
}

void SceneView::SetBoxThrough(bool through) {
  state_->boxThrough = through;
}

void SceneView::FrameAll() {
  State& s = *state_;
  UpdateViewport();
  // Kept whole when the size changes, until the camera is moved.
  s.autoFramed = true;
  if (s.mesh.Empty())
    s.camera.Frame({-1, -1, -1}, {1, 1, 1});
  else
    s.camera.Frame(s.mesh.min, s.mesh.max);
  update();
}

void SceneView::FrameSelected() {
  State& s = *state_;
  bool any = false;
  Vec3 lo{}, hi{};
  for (const host::FaceHit& ref : s.selected) {
    const std::optional<uint32_t> index = s.mesh.FaceIndex(ref);
    if (!index) continue;
    const SceneFace& face = s.mesh.faces[*index];
    for (size_t c = 3 * size_t{face.firstTriangle};
         c < 3 * (size_t{face.firstTriangle} + face.triangleCount); ++c) {
      const Vec3 p = s.mesh.corners[c];
      lo = any ? Lower(lo, p) : p;
      hi = any ? Upper(hi, p) : p;
      any = true;
    }
  }
  if (!any) return FrameAll();
  UpdateViewport();
  s.autoFramed = false;
  s.camera.Frame(lo, hi);
  update();
}

void SceneView::ViewFrom(CameraView direction) {
  state_->autoFramed = false;
  state_->camera.ViewFrom(direction);
  update();
}

const Camera& SceneView::ViewCamera() const {
  UpdateViewport();
  return state_->camera;
}

void SceneView::SetCamera(const Camera& camera) {
  state_->camera = camera;
  state_->framed = true;
  state_->autoFramed = false;
  UpdateViewport();
  update();
}

const SceneMesh& SceneView::Mesh() const {
  return state_->mesh;
}

SceneView::FrameDrawn SceneView::LastFrame() const {
  return state_->lastFrame;
}

void SceneView::FinishBackgroundWork() {
  StartBackgroundWork();
  state_->Settle();
  StartBackgroundWork();  // takes the stand-in made
}

// After a frame: the pick tree and, for a large mesh, the stand-in (again when the hidden
// faces changed), each in a thread of its own.
void SceneView::StartBackgroundWork() {
  State& s = *state_;
  if (!s.treeBuilt && !s.building.valid())
    s.building = std::async(std::launch::async, [&s] { s.tree = PickTree(s.mesh); });
  if (s.mesh.TriangleCount() <= kStandInAbove) return;
  if (s.standInBuilding.valid()) {
    if (s.standInBuilding.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return;
    s.standIn = s.standInBuilding.get();
    s.standInHidden = s.buildingHidden;
    s.standInMade = true;
    gpu_->standInStale = true;
  }
  if (s.standInMade && s.standInHidden == s.hiddenVersion) return;
  s.buildingHidden = s.hiddenVersion;
  s.standInBuilding = std::async(std::launch::async, [&s, hidden = s.hiddenFace] {
    return MakeStandIn(s.mesh, kStandInTriangles, hidden);
  });
}

// A move of the camera by the person: the stand-in is drawn until it stops.
void SceneView::StartMoving() {
  State& s = *state_;
  s.moving = true;
  s.settle.start();
  update();
}

void SceneView::UpdateViewport() const {
  State& s = *state_;
  s.camera.SetViewport(width(), height());
  Vec3 lo{-s.gridHalf, 0, -s.gridHalf}, hi{s.gridHalf, 0, s.gridHalf};
  if (!s.mesh.Empty()) lo = Lower(lo, s.mesh.min), hi = Upper(hi, s.mesh.max);
  s.camera.SetSceneBounds(lo, hi);
}

// ---- picking ----------------------------------------------------------------------------------

std::optional<host::FaceHit> SceneView::FaceAt(QPoint point) const {
  State& s = *state_;
  UpdateViewport();
  const Ray ray = s.camera.RayAt(point.x(), point.y());
  if (!s.xray) {
    const std::optional<PickTree::Hit> hit = s.Tree().Nearest(ray, !s.backFaces, s.hiddenFace);
    if (!hit) return std::nullopt;
    return s.mesh.faces[s.mesh.triangleFace[hit->triangle]].ref;
  }
  // X-ray: the faces along the ray, each once, nearest first (a face's second triangle or a
  // hit on its edge counts once); the one after the deepest selected.
  std::vector<uint32_t> faces;
  for (const PickTree::Hit& hit : s.Tree().AllHits(ray, false, s.hiddenFace)) {
    const uint32_t face = s.mesh.triangleFace[hit.triangle];
    if (std::find(faces.begin(), faces.end(), face) == faces.end()) faces.push_back(face);
  }
  if (faces.empty()) return std::nullopt;
  size_t next = 0;
  for (size_t i = 0; i < faces.size(); ++i) {
    const host::FaceHit ref = s.mesh.faces[faces[i]].ref;
    if (std::find(s.selected.begin(), s.selected.end(), ref) != s.selected.end())
      next = (i + 1) % faces.size();
  }
  return s.mesh.faces[faces[next]].ref;
}

std::vector<host::FaceHit> SceneView::FacesIn(QRect rect, bool through) const {
  State& s = *state_;
  UpdateViewport();
  const PickTree& tree = s.Tree();
  through = through || s.xray;
  std::vector<host::FaceHit> out;
  const double left = rect.left(), top = rect.top();
  const double right = left + rect.width(), bottom = top + rect.height();
  for (size_t f = 0; f < s.mesh.faces.size(); ++f) {
    const SceneFace& face = s.mesh.faces[f];
    if (face.triangleCount == 0 || (!s.hiddenFace.empty() && s.hiddenFace[f])) continue;
    const Projected p = s.camera.Project(face.centre);
    if (!p.inFront || p.x < left || p.x >= right || p.y < top || p.y >= bottom) continue;
    if (!through) {
      float distance = 0;
      const Ray ray = s.camera.RayTo(face.centre, distance);
      // A face turned away is not drawn when back faces are hidden.
      if (!s.backFaces && Dot(s.mesh.normals[face.firstTriangle], ray.direction) >= 0) continue;
      if (tree.Blocked(ray, distance * (1 - 1e-4f), static_cast<uint32_t>(f), !s.backFaces,
                       s.hiddenFace))
        continue;
    }
    out.push_back(face.ref);
  }
  return out;
}

QPointF SceneView::Project(Vec3 world) const {
  UpdateViewport();
  const Projected p = state_->camera.Project(world);
  return {p.x, p.y};
}

// ---- mouse and keys ---------------------------------------------------------------------------

void SceneView::mousePressEvent(QMouseEvent* event) {
  State& s = *state_;
  if (s.button != Qt::NoButton) return;  // a second button during a drag
  s.button = event->button();
  s.autoFramed = false;
  s.pressAt = s.lastAt = event->position();
  s.banding = false;
  setFocus(Qt::MouseFocusReason);
}

void SceneView::mouseMoveEvent(QMouseEvent* event) {
  State& s = *state_;
  const QPointF at = event->position();
  const QPointF delta = at - s.lastAt;
  s.lastAt = at;
  const bool orbit = s.button == Qt::RightButton ||
                     (s.button == Qt::LeftButton && (event->modifiers() & Qt::AltModifier));
  if (orbit) {
    s.camera.Orbit(delta.x(), delta.y());
    StartMoving();
  } else if (s.button == Qt::MiddleButton) {
    UpdateViewport();
    s.camera.Pan(delta.x(), delta.y());
    StartMoving();
  } else if (s.button == Qt::LeftButton) {
    const QPointF moved = at - s.pressAt;
    if (!s.banding &&
        (std::abs(moved.x()) >= kDragThreshold || std::abs(moved.y()) >= kDragThreshold))
      s.banding = true;
    if (s.banding) {
      s.band = QRectF(s.pressAt, at).normalized().toRect();
      s.overlayOnly = true;
      update();
    }
  }
}

void SceneView::mouseReleaseEvent(QMouseEvent* event) {
  State& s = *state_;
  if (event->button() != s.button) return;
  const bool picking = s.button == Qt::LeftButton && !(event->modifiers() & Qt::AltModifier);
  s.button = Qt::NoButton;
  if (s.moving) {
    // The drag ended: the full model at once.
    s.moving = false;
    s.settle.stop();
    update();
  }
  if (!picking) return;
  const host::PickCombine op = OpFor(event->modifiers());
  if (s.banding) {
    s.banding = false;
    const QRect box = QRectF(s.pressAt, event->position()).normalized().toRect();
    s.overlayOnly = true;
    update();
    emit FacesPicked(FacesIn(box, s.boxThrough), op);
    return;
  }
  std::vector<host::FaceHit> picked;
  if (const std::optional<host::FaceHit> face = FaceAt(event->position().toPoint()))
    picked.push_back(*face);
  emit FacesPicked(picked, op);
}

void SceneView::wheelEvent(QWheelEvent* event) {
  UpdateViewport();
  state_->autoFramed = false;
  // One notch (120) comes about 11 % nearer.
  state_->camera.Zoom(std::pow(0.999, event->angleDelta().y()));
  StartMoving();
  event->accept();
}

void SceneView::keyPressEvent(QKeyEvent* event) {
  Camera& camera = state_->camera;
  UpdateViewport();
  state_->autoFramed = false;
  const bool shift = event->modifiers() & Qt::ShiftModifier;
  const bool control = event->modifiers() & Qt::ControlModifier;
  const auto move = [&](double dx, double dy) {
    if (shift)
      camera.Pan(dx * kKeyPan / kKeyOrbit, dy * kKeyPan / kKeyOrbit);
    else
      camera.Orbit(dx, dy);
  };
  switch (event->key()) {
    case Qt::Key_Left:
      move(-kKeyOrbit, 0);
      break;
    case Qt::Key_Right:
      move(kKeyOrbit, 0);
      break;
    case Qt::Key_Up:
      move(0, -kKeyOrbit);
      break;
    case Qt::Key_Down:
      move(0, kKeyOrbit);
      break;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
    case Qt::Key_PageUp:
      camera.Zoom(kKeyZoom);
      break;
    case Qt::Key_Minus:
    case Qt::Key_PageDown:
      camera.Zoom(1 / kKeyZoom);
      break;
    case Qt::Key_F:
      return FrameSelected();
    case Qt::Key_A:
    case Qt::Key_Home:
      return FrameAll();
    // With Ctrl, from the other way.
    case Qt::Key_1:
      return ViewFrom(control ? CameraView::Back : CameraView::Front);
    case Qt::Key_3:
      return ViewFrom(control ? CameraView::OtherSide : CameraView::Side);
    case Qt::Key_7:
      return ViewFrom(control ? CameraView::Bottom : CameraView::Top);
    case Qt::Key_5:
      return SetOrthographic(!camera.Orthographic());
    case Qt::Key_Escape:
      if (state_->banding) {
        state_->banding = false;
        state_->button = Qt::NoButton;
        state_->overlayOnly = true;
        update();
        return;
      }
      emit FacesPicked({}, host::PickCombine::Replace);
      return;
    default:
      return QOpenGLWidget::keyPressEvent(event);
  }
  // A key held down repeats: it moves the camera as a drag does.
  StartMoving();
}

}  // namespace vlm::workbench
