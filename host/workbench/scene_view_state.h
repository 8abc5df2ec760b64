// What the 3D view keeps between calls (see scene_view.h), shared by its two halves:
// scene_view.cpp (the document, the camera, picking, the mouse and keys) and
// scene_view_drawing.cpp (the graphics card's objects and the frame).
#pragma once

#include <QOpenGLShaderProgram>
#include <QPointF>
#include <QRect>
#include <cstdint>
#include <filesystem>
#include <future>
#include <map>
#include <memory>
#include <vector>

#include "workbench/pick_tree.h"
#include "workbench/scene_view.h"

namespace vlm::workbench {

// What the byte of a triangle corner in the state buffer says of its face; the face shader
// reads the same numbers.
enum FaceState : uint8_t { kPlain = 0, kSelected = 1, kChanged = 2, kHidden = 3 };

struct SceneView::State {
  ~State() { Tree(); }
  // The pick tree, once built: it is built beside the first frame, which does not need it.
  const PickTree& Tree() {
    if (building.valid()) building.get();
    return tree;
  }
  const host::HostDocument* document = nullptr;
  std::filesystem::path textureFolder;
  SceneMesh mesh;
  PickTree tree;
  std::future<void> building;
  Camera camera;
  bool framed = false;
  // Everything framed and the camera not moved since: framed again when the size changes
  // (the first document often comes before the window has its size).
  bool autoFramed = false;
  std::vector<host::FaceHit> selected, changed, hidden;
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
