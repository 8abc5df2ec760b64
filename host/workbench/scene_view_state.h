// What the 3D view keeps between calls (see scene_view.h), shared by its two halves:
// scene_view.cpp (the document, the camera, picking, the mouse and keys) and
// scene_view_drawing.cpp (the graphics card's objects and the frame).
#pragma once

#include <QOpenGLShaderProgram>
#include <QPointF>
#include <QRect>
#include <QTimer>
#include <array>
#include <cstdint>
#include <filesystem>
#include <future>
#include <map>
#include <memory>
#include <vector>

#include "workbench/pick_tree.h"
#include "workbench/scene_view.h"
#include "workbench/stand_in.h"

namespace vlm::workbench {

// What the byte of a triangle corner in the state buffer says of its face, bit by bit (a face
// both selected and changed shows as selected); the face shader reads the same bits.
enum FaceState : uint8_t { kPlain = 0, kSelected = 1, kChanged = 2, kHidden = 4 };

struct SceneView::State {
  ~State() { Settle(); }
  // The pick tree: built after the first frame beside what follows, or here when a pick
  // comes first.
  const PickTree& Tree() {
    if (building.valid())
      building.get();
    else if (!treeBuilt)
      tree = PickTree(mesh);
    treeBuilt = true;
    return tree;
  }
  // Waits for the work that reads the mesh.
  void Settle() {
    Tree();
    if (standInBuilding.valid()) standInBuilding.wait();
  }
  const host::HostDocument* document = nullptr;
  std::filesystem::path textureFolder;
  SceneMesh mesh;
  PickTree tree;
  bool treeBuilt = false;
  std::future<void> building;
  // The stand-in drawn while the camera moves (large meshes only), made beside the frames
  // for the faces hidden at `standInHidden` (hiddenVersion counts the changes).
  StandIn standIn;
  bool standInMade = false;
  std::future<StandIn> standInBuilding;
  uint64_t hiddenVersion = 0, standInHidden = 0, buildingHidden = 0;
  // The camera is being moved (a drag, the wheel, the keys): the stand-in is drawn until a
  // moment after the last move.
  bool moving = false;
  // Only the selection or the box being dragged changed since the last frame: the model's
  // picture is reused.
  bool overlayOnly = false;
  FrameDrawn lastFrame;
  Camera camera;
  bool framed = false;
  // Everything framed and the camera not moved since: framed again when the size changes
  // (the first document often comes before the window has its size).
  bool autoFramed = false;
  std::vector<host::FaceHit> selected, changed, hidden;
  // The pose (SetPose): the faces it hides, its lights, and the triangles it moved since they
  // were last written to the card, [movedFirst, movedEnd).
  std::vector<host::FaceHit> poseHidden;
  std::vector<LightPoint> lights;
  uint32_t movedFirst = 0, movedEnd = 0;
  std::vector<uint8_t> cornerState;  // per triangle corner
  std::vector<uint8_t> hiddenFace;   // per scene face, for the pick tree (empty: none hidden)
  bool wireframe = false, backFaces = true, boxThrough = false, xray = false;
  // The polygon edges, and whether the person chose them (else each document's size does).
  bool edges = true, edgesChosen = false;
  // The grid's half size and spacing, on y = 0 around the origin.
  float gridHalf = 5, gridStep = 1;
  // The mouse: where the press was, the last place seen, and a box being dragged.
  Qt::MouseButton button = Qt::NoButton;
  QPointF pressAt, lastAt;
  bool banding = false;
  QRect band;
  QTimer settle;  // the camera stopped moving
};

struct SceneView::Gpu {
  bool ready = false;
  bool gles = false;
  std::unique_ptr<QOpenGLShaderProgram> faces, lines;
  GLuint faceArray = 0, vertexBuffer = 0, stateBuffer = 0;
  GLuint lineArray = 0, lineBuffer = 0;
  GLuint bandArray = 0, bandBuffer = 0;
  GLint gridVertices = 0;
  bool meshStale = true, stateStale = true, linesStale = true;
  // The pose's lights, drawn as points.
  std::unique_ptr<QOpenGLShaderProgram> points;
  GLuint pointArray = 0, pointBuffer = 0;
  bool pointsStale = true;
  // The selected faces' triangles as an index list, batch by batch (index offset and count),
  // drawn over the model's picture.
  GLuint overlayBuffer = 0;
  std::vector<std::pair<size_t, size_t>> overlayBatches;
  bool overlayStale = true;
  // The stand-in on the card, when it is the one made for the faces hidden at `standInHidden`.
  GLuint standInArray = 0, standInBuffer = 0;
  bool standInStale = true;
  // The last full frame's picture and depth (the model and the grid, without the selection),
  // what it was drawn for, and whether copying it works here at all.
  GLuint cacheFramebuffer = 0, cacheColour = 0, cacheDepth = 0;
  int cacheWidth = 0, cacheHeight = 0;
  bool cacheValid = false, cacheWorks = true;
  std::array<float, 16> cachedView{};
  bool cachedWireframe = false, cachedBackFaces = false, cachedEdges = false;
  // A texture file as last read: its texture (the warning pattern's when the file is missing
  // or cannot be read), and the file's time and size then, so a file changed since is read
  // again.
  struct Texture {
    GLuint id = 0;
    bool exists = false;
    std::filesystem::file_time_type time;
    uintmax_t size = 0;
    bool used = false;  // by the mesh drawn
  };
  std::map<std::filesystem::path, Texture> textures;  // by file
  GLuint warningTexture = 0;                          // made when first needed
  std::vector<GLuint> batchTextures;                  // by batch of the mesh; 0: none
};

}  // namespace vlm::workbench
