// The 3D view (see scene_view.h).
#include "workbench/scene_view.h"

namespace vlm::workbench {

struct SceneView::State {
  const host::HostDocument* document = nullptr;
};

SceneView::SceneView(QWidget* parent) : QOpenGLWidget(parent), state_(std::make_unique<State>()) {}
SceneView::~SceneView() = default;

void SceneView::SetDocument(const host::HostDocument* document) {
  state_->document = document;
  update();
}
void SceneView::SetSelectedFaces(const std::vector<FaceRef>&) {
  update();
}
void SceneView::SetChangedFaces(const std::vector<FaceRef>&) {
  update();
}
void SceneView::SetWireframe(bool) {
  update();
}
void SceneView::SetBackFaces(bool) {
  update();
}
void SceneView::SetBoxThrough(bool) {}
void SceneView::FrameAll() {
  update();
}
void SceneView::FrameSelected() {
  update();
}
void SceneView::ViewFrom(ViewDirection) {
  update();
}
std::optional<FaceRef> SceneView::FaceAt(QPoint) const {
  return std::nullopt;
}
std::vector<FaceRef> SceneView::FacesIn(QRect, bool) const {
  return {};
}
QPointF SceneView::Project(Vec3) const {
  return {};
}

void SceneView::initializeGL() {}
void SceneView::paintGL() {}
void SceneView::resizeGL(int, int) {}

}  // namespace vlm::workbench
