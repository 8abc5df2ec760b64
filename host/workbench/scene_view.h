// The workbench's 3D view: the document drawn shaded (material colours, textures where the
// files exist), with wireframe and back-face toggles, a grid and axes (+y up), a camera that
// orbits, pans and zooms, and picking of the faces under the cursor or under a dragged box.
//
// The view draws what it is given and says what the mouse picked; what a pick means (faces,
// objects or groups; replace, add or toggle) is for its owner to decide.
#pragma once

#include <QOpenGLWidget>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "vlm/math.h"

namespace vlm::host {
class HostDocument;
class HostMesh;
}  // namespace vlm::host

namespace vlm::workbench {

// One face of one object of the document shown.
struct FaceRef {
  const host::HostMesh* mesh = nullptr;
  int32_t face = 0;
  friend bool operator==(const FaceRef&, const FaceRef&) = default;
  friend auto operator<=>(const FaceRef&, const FaceRef&) = default;
};

// How a pick combines with what is selected: a plain click replaces, Shift adds, Ctrl toggles.
enum class PickOp { Replace, Add, Toggle };

enum class ViewDirection { Front, Top, Side };

class SceneView : public QOpenGLWidget {
  Q_OBJECT
 public:
  explicit SceneView(QWidget* parent = nullptr);
  ~SceneView() override;

  // Draws `document` from now on (null: nothing). Called after every change to the document
  // (open, a run, undo): the view keeps nothing of an earlier document. The document must
  // outlive the view or the next call.
  void SetDocument(const host::HostDocument* document);

  // The faces drawn in the selection colour, and those drawn in the colour of what the last
  // run made or changed.
  void SetSelectedFaces(const std::vector<FaceRef>& faces);
  void SetChangedFaces(const std::vector<FaceRef>& faces);

  void SetWireframe(bool on);
  void SetBackFaces(bool shown);
  // Box selection through the model (every face whose centre is in the box) or of the visible
  // faces only (default).
  void SetBoxThrough(bool through);

  // The camera: the whole scene, the selected faces, or a view along an axis.
  void FrameAll();
  void FrameSelected();
  void ViewFrom(ViewDirection direction);

  // Picking, also for tests: the face drawn at a point of the widget (logical pixels), the
  // faces whose centres project into a rectangle (visible ones only unless `through`), and
  // where a world point lands in the widget.
  std::optional<FaceRef> FaceAt(QPoint point) const;
  std::vector<FaceRef> FacesIn(QRect rect, bool through) const;
  QPointF Project(Vec3 world) const;

 signals:
  // A click (one face or none) or a dragged box (its faces), with the modifiers held.
  void FacesPicked(const std::vector<FaceRef>& faces, PickOp op);

 protected:
  void initializeGL() override;
  void paintGL() override;
  void resizeGL(int w, int h) override;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace vlm::workbench
