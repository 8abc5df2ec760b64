// The workbench's 3D view: the document drawn shaded (material colours, textures where the
// files exist, a warning pattern where they are missing or cannot be read), with wireframe,
// back-face, polygon-edge and X-ray toggles, faces hidden from view, a grid and axes (+y up),
// a camera that orbits, pans and zooms in perspective or orthographically, and picking of the
// faces under the cursor or under a dragged box.
//
// The view draws what it is given and says what the mouse picked; what a pick means (faces,
// objects or groups; replace, add or toggle) is for its owner to decide.
#pragma once

#include <QOpenGLWidget>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "vlm/math.h"
#include "workbench/animation_preview.h"
#include "workbench/camera.h"
#include "workbench/scene_mesh.h"

namespace vlm::host {
class HostDocument;
class HostMesh;
}  // namespace vlm::host

namespace vlm::workbench {

// host::FaceHit (one face of one object of the document shown) and host::PickCombine (how a
// pick combines with what is selected) are in run/selection_text.h.

// The colours the view draws in (red, green, blue from 0 to 1). A face seen square on is
// drawn in exactly its colour; one seen at a slant darker. A selected face is its own colour
// (its texture) tinted towards the selection colour by kSelectedTint, its polygon's edges
// drawn in the selection colour; a face the last run made or changed likewise, without the
// edges.
inline constexpr Vec3 kBackgroundColour{0.16f, 0.17f, 0.19f};
inline constexpr Vec3 kSelectedColour{1.0f, 0.55f, 0.0f};
inline constexpr Vec3 kChangedColour{0.2f, 0.85f, 0.35f};
inline constexpr float kSelectedTint = 0.4f, kChangedTint = 0.35f;
// X-ray draws every face at this opacity (the selected ones over them at kXraySelected).
inline constexpr float kXrayOpacity = 0.35f, kXraySelected = 0.75f;
// Polygon edges are drawn from the start on meshes of fewer triangles than this; on larger
// ones they start off (a million-triangle grid would be all edges). Either way they fade out
// on faces only a few pixels across.
inline constexpr size_t kEdgesUpTo = 200000;
// While the camera moves, a model of more than kStandInAbove triangles (stand_in.h) is drawn
// as its lighter stand-in; the camera counts as stopped this long (ms) after its last move.
inline constexpr int kSettleMs = 250;
// Faces without a material.
inline constexpr Vec3 kNoMaterialColour{0.8f, 0.8f, 0.8f};

class SceneView : public QOpenGLWidget {
  Q_OBJECT
 public:
  explicit SceneView(QWidget* parent = nullptr);
  ~SceneView() override;

  // Draws `document` from now on (null: nothing). Called after every change to the document
  // (open, a run, undo): the view keeps nothing of an earlier document. The document must
  // outlive the view or the next call. The selected and changed faces are cleared (they were
  // faces of the earlier document): set them again after it.
  void SetDocument(const host::HostDocument* document);
  // The folder relative texture names start from: the scene file's (a name that reaches
  // nothing there is looked for by its own file name in that folder). Takes effect at the next
  // SetDocument.
  void SetTextureFolder(const std::filesystem::path& folder);

  // The faces drawn in the selection colour, and those drawn in the colour of what the last
  // run made or changed.
  void SetSelectedFaces(const std::vector<host::FaceHit>& faces);
  void SetChangedFaces(const std::vector<host::FaceHit>& faces);
  // The faces not drawn and not picked (faces of another document are left out). Like the
  // selection, cleared by SetDocument.
  void SetHiddenFaces(const std::vector<host::FaceHit>& faces);
  // The document posed as X-Plane would draw it (the Animation panel's pose,
  // animation_preview.h): the objects of animation groups moved, the faces an animation or a
  // level of detail hides neither drawn nor picked, the lights drawn as round points in their
  // colours. Picking follows what is drawn. Cleared by SetDocument, like the selection.
  void SetPose(const ScenePose& pose);
  const std::vector<LightPoint>& Lights() const;

  void SetWireframe(bool on);
  void SetBackFaces(bool shown);
  // The polygons' own edges (never the diagonals that cut a polygon into triangles). Until
  // this is called, each document starts with them on below kEdgesUpTo triangles when it has
  // faces of more than three corners (a model of triangles alone starts without).
  void SetEdges(bool shown);
  bool EdgesShown() const;
  // X-ray: every face see-through, the selected ones over the rest, and picking through
  // faces (see FaceAt and FacesIn).
  void SetXray(bool on);
  void SetOrthographic(bool on);
  // Box selection through the model (every face whose centre is in the box) or of the visible
  // faces only (default).
  void SetBoxThrough(bool through);

  // The camera: the whole scene, the selected faces, or a view along an axis.
  void FrameAll();
  void FrameSelected();
  void ViewFrom(CameraView direction);

  // Picking, also for tests: the face drawn at a point of the widget (logical pixels), the
  // faces whose centres project into a rectangle (visible ones only unless `through` or
  // X-ray), and where a world point lands in the widget. Hidden faces are never picked.
  //
  // With X-ray a click goes through: of the faces under the cursor, nearest first, it takes
  // the one after the deepest that is selected (the nearest when none is, the nearest again
  // after the last). Clicking again and again steps one face deeper each time and comes
  // round; Shift-clicks add each deeper face to the selection.
  std::optional<host::FaceHit> FaceAt(QPoint point) const;
  std::vector<host::FaceHit> FacesIn(QRect rect, bool through) const;
  QPointF Project(Vec3 world) const;

  // The camera, to read and to place (tests, saved views). The first document shown with
  // faces is framed whole.
  const Camera& ViewCamera() const;
  void SetCamera(const Camera& camera);
  // The geometry drawn, as SetDocument last built it.
  const SceneMesh& Mesh() const;

  // What the last frame drew (tests, benchmarks): a lighter stand-in of a large model while
  // the camera moved, or the model's picture kept from the frame before with only the
  // selection drawn anew.
  struct FrameDrawn {
    bool standIn = false, reused = false;
  };
  FrameDrawn LastFrame() const;
  // Waits for what the view makes beside its first frames (the pick tree, the stand-in).
  void FinishBackgroundWork();

 signals:
  // A click (one face or none) or a dragged box (its faces), with the modifiers held; Escape
  // in the view picks nothing (Replace).
  void FacesPicked(const std::vector<host::FaceHit>& faces, host::PickCombine op);
  // A texture file of the document shown is missing or cannot be read, and its faces are drawn
  // in the warning pattern (magenta and black squares): one line for the log, "warning: ...".
  // Said once for each such file while it stays as it is, when the view next draws.
  void TextureProblem(const std::string& line);

 protected:
  void initializeGL() override;
  void paintGL() override;
  void resizeGL(int w, int h) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  struct State;
  struct Gpu;
  void UpdateViewport() const;
  void ReleaseGpu();
  void UploadMesh();
  void UploadState();
  void UploadLines();
  void UploadMoved();
  void DrawLights(const Mat4& viewProjection);
  void ReleaseLights();
  void UploadOverlay();
  void UploadStandIn();
  bool CacheFrame();
  void StartMoving();
  void StartBackgroundWork();
  enum class Faces { kModel, kModelPlain, kStandIn, kSelection };
  void DrawFaces(const Mat4& viewProjection, Faces which);
  void DrawBand();
  unsigned TextureFor(const host::HostMaterial* material, std::vector<std::string>& problems);
  unsigned WarningTexture();
  void UpdateFaceStates();
  std::unique_ptr<State> state_;
  std::unique_ptr<Gpu> gpu_;
};

}  // namespace vlm::workbench
