// The 3D view (see scene_view.h).
//
// The document's triangles go to the graphics card once per SetDocument, in one vertex buffer
// ordered by material; a second buffer of one byte per corner says whether the corner's face
// is selected or changed, so a new selection rewrites only that. Flat shading with a light
// from the eye: a face seen square on shows exactly its colour. Polygon edges (not the fan's
// diagonals) are found in the fragment shader from each corner's barycentric coordinate;
// wireframe draws only them.
#include "workbench/scene_view.h"

#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QOpenGLExtraFunctions>
#include <QOpenGLShaderProgram>
#include <QSurfaceFormat>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <future>
#include <map>
#include <string>

#include "scene/document.h"
#include "workbench/pick_tree.h"

namespace vlm::workbench {
namespace {

namespace fs = std::filesystem;

// A drag shorter than this (in pixels, along either axis) is a click.
constexpr int kDragThreshold = 4;
// Pixels of drag a key press stands for.
constexpr double kKeyOrbit = 37.5, kKeyPan = 20;
constexpr double kKeyZoom = 0.8;

struct GpuVertex {
  float position[3];
  float uv[2];
  uint8_t bary[4];  // the corner's barycentric coordinate, raised where an edge is a diagonal
};
static_assert(sizeof(GpuVertex) == 24);

enum FaceState : uint8_t { kPlain = 0, kSelected = 1, kChanged = 2 };

const char* kFaceVertex = R"(
layout(location = 0) in vec3 position;
layout(location = 2) in vec2 uv;
layout(location = 3) in vec3 bary;
layout(location = 4) in float state;
uniform mat4 viewProjection;
out vec3 vPosition;
out vec2 vUv;
out vec3 vBary;
flat out int vState;
void main() {
  gl_Position = viewProjection * vec4(position, 1.0);
  vPosition = position;
  vUv = uv;
  vBary = bary;
  vState = int(state + 0.5);
}
)";

const char* kFaceFragment = R"(
in vec3 vPosition;
in vec2 vUv;
in vec3 vBary;
flat in int vState;
uniform vec3 colour;
uniform vec3 selectedColour;
uniform vec3 changedColour;
uniform vec3 towardsEye;
uniform int textured;
uniform int wireframe;
uniform sampler2D image;
out vec4 fragment;
void main() {
  vec3 width = fwidth(vBary);
  vec3 near = smoothstep(vec3(0.0), width * 1.2, vBary);
  float edge = 1.0 - min(min(near.x, near.y), near.z);
  vec3 base = vState == 1 ? selectedColour
            : vState == 2 ? changedColour
            : textured != 0 ? texture(image, vUv).rgb * colour
            : colour;
  if (wireframe != 0) {
    if (edge < 0.5) discard;
    fragment = vec4(base, 1.0);
    return;
  }
  // The triangle's own normal, from how the position changes across the screen.
  vec3 normal = normalize(cross(dFdx(vPosition), dFdy(vPosition)));
  float light = 0.35 + 0.65 * abs(dot(normal, towardsEye));
  vec3 lit = base * light;
  fragment = vec4(mix(lit, lit * 0.6, edge), 1.0);
}
)";

const char* kLineVertex = R"(
layout(location = 0) in vec3 position;
layout(location = 1) in vec3 colour;
uniform mat4 viewProjection;
out vec3 vColour;
void main() {
  gl_Position = viewProjection * vec4(position, 1.0);
  vColour = colour;
}
)";

const char* kLineFragment = R"(
in vec3 vColour;
out vec4 fragment;
void main() { fragment = vec4(vColour, 1.0); }
)";

struct LineVertex {
  Vec3 position, colour;
};

// Where a texture named in the scene is: relative to the scene's folder or absolute, else
// its own file name in the scene's folder (a path from another machine, D:\maps\wood.png).
std::optional<fs::path> FindTexture(const std::string& name, const fs::path& folder) {
  if (name.empty()) return std::nullopt;
  std::error_code ec;
  const fs::path given(name);
  const fs::path first = given.is_absolute() ? given : folder / given;
  if (fs::is_regular_file(first, ec)) return first;
  const size_t slash = name.find_last_of("/\\");
  const fs::path own = folder / (slash == std::string::npos ? name : name.substr(slash + 1));
  if (fs::is_regular_file(own, ec)) return own;
  return std::nullopt;
}

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

void SetMatrix(QOpenGLExtraFunctions& gl, QOpenGLShaderProgram& p, const Mat4& m) {
  gl.glUniformMatrix4fv(p.uniformLocation("viewProjection"), 1, GL_FALSE, m.m.data());
}

// One material's triangles, in its colour or with its texture (0: none). `colour` and
// `textured` are the face program's uniforms.
void DrawBatch(QOpenGLExtraFunctions& gl, const MaterialBatch& batch, GLuint texture, GLint colour,
               GLint textured) {
  Vec3 c = kNoMaterialColour;
  if (batch.material) {
    const Rgb d = batch.material->diffuse;
    // A textured face shows its image as it is.
    c = texture ? Vec3{1, 1, 1} : Vec3{d.r, d.g, d.b};
  }
  gl.glUniform3f(colour, c.x, c.y, c.z);
  gl.glUniform1i(textured, texture ? 1 : 0);
  if (texture) {
    gl.glBindTexture(GL_TEXTURE_2D, texture);
    const auto wrap = [](TextureWrap w) {
      return w == TextureWrap::Clamp    ? GL_CLAMP_TO_EDGE
             : w == TextureWrap::Mirror ? GL_MIRRORED_REPEAT
                                        : GL_REPEAT;
    };
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap(batch.material->wrapU));
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap(batch.material->wrapV));
  }
  gl.glDrawArrays(GL_TRIANGLES, static_cast<GLint>(batch.firstTriangle * 3),
                  static_cast<GLsizei>(batch.triangleCount * 3));
}

}  // namespace

struct SceneView::State {
  ~State() { Tree(); }
  // The pick tree, once built: it is built beside the first frame, which does not need it.
  const PickTree& Tree() {
    if (building.valid()) building.get();
    return tree;
  }
  const host::HostDocument* document = nullptr;
  fs::path textureFolder;
  SceneMesh mesh;
  PickTree tree;
  std::future<void> building;
  Camera camera;
  bool framed = false;
  // Everything framed and the camera not moved since: framed again when the size changes
  // (the first document often comes before the window has its size).
  bool autoFramed = false;
  std::vector<host::FaceHit> selected, changed;
  std::vector<uint8_t> cornerState;  // per triangle corner
  bool wireframe = false, backFaces = true, boxThrough = false;
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
  std::map<fs::path, GLuint> textures;  // by file; 0 for one that could not be read
  std::vector<GLuint> batchTextures;    // by batch of the mesh
};

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
  s.Tree();  // the tree being built reads the mesh about to be replaced
  s.document = document;
  s.tree = PickTree();
  s.mesh = document ? SceneMesh(*document) : SceneMesh();
  if (s.mesh.TriangleCount() < 100000)
    s.tree = PickTree(s.mesh);
  else
    s.building = std::async(std::launch::async, [&s] { s.tree = PickTree(s.mesh); });
  // The selection and changes named faces of the earlier document; the owner sets them anew.
  s.selected.clear();
  s.changed.clear();
  s.cornerState.assign(s.mesh.corners.size(), kPlain);
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
  gpu_->stateStale = true;
  update();
}

void SceneView::SetSelectedFaces(const std::vector<host::FaceHit>& faces) {
  state_->selected = faces;
  UpdateFaceStates();
}

void SceneView::SetChangedFaces(const std::vector<host::FaceHit>& faces) {
  state_->changed = faces;
  UpdateFaceStates();
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

void SceneView::ViewFrom(ViewDirection direction) {
  state_->autoFramed = false;
  switch (direction) {
    case ViewDirection::Front:
      state_->camera.ViewFrom(CameraView::Front);
      break;
    case ViewDirection::Top:
      state_->camera.ViewFrom(CameraView::Top);
      break;
    case ViewDirection::Side:
      state_->camera.ViewFrom(CameraView::Side);
      break;
  }
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
  const std::optional<PickTree::Hit> hit =
      s.Tree().Nearest(s.camera.RayAt(point.x(), point.y()), !s.backFaces);
  if (!hit) return std::nullopt;
  return s.mesh.faces[s.mesh.triangleFace[hit->triangle]].ref;
}

std::vector<host::FaceHit> SceneView::FacesIn(QRect rect, bool through) const {
  State& s = *state_;
  UpdateViewport();
  const PickTree& tree = s.Tree();
  std::vector<host::FaceHit> out;
  const Vec3 eye = s.camera.Eye();
  const double left = rect.left(), top = rect.top();
  const double right = left + rect.width(), bottom = top + rect.height();
  for (size_t f = 0; f < s.mesh.faces.size(); ++f) {
    const SceneFace& face = s.mesh.faces[f];
    if (face.triangleCount == 0) continue;
    const Projected p = s.camera.Project(face.centre);
    if (!p.inFront || p.x < left || p.x >= right || p.y < top || p.y >= bottom) continue;
    if (!through) {
      const Vec3 towards = face.centre - eye;
      // A face turned away is not drawn when back faces are hidden.
      if (!s.backFaces && Dot(s.mesh.normals[face.firstTriangle], towards) >= 0) continue;
      const float distance = Length(towards);
      const Ray ray{eye, Normalize(towards)};
      if (tree.Blocked(ray, distance * (1 - 1e-4f), static_cast<uint32_t>(f), !s.backFaces))
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
    update();
  } else if (s.button == Qt::MiddleButton) {
    UpdateViewport();
    s.camera.Pan(delta.x(), delta.y());
    update();
  } else if (s.button == Qt::LeftButton) {
    const QPointF moved = at - s.pressAt;
    if (!s.banding &&
        (std::abs(moved.x()) >= kDragThreshold || std::abs(moved.y()) >= kDragThreshold))
      s.banding = true;
    if (s.banding) {
      s.band = QRectF(s.pressAt, at).normalized().toRect();
      update();
    }
  }
}

void SceneView::mouseReleaseEvent(QMouseEvent* event) {
  State& s = *state_;
  if (event->button() != s.button) return;
  const bool picking = s.button == Qt::LeftButton && !(event->modifiers() & Qt::AltModifier);
  s.button = Qt::NoButton;
  if (!picking) return;
  const host::PickCombine op = OpFor(event->modifiers());
  if (s.banding) {
    s.banding = false;
    const QRect box = QRectF(s.pressAt, event->position()).normalized().toRect();
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
  update();
  event->accept();
}

void SceneView::keyPressEvent(QKeyEvent* event) {
  Camera& camera = state_->camera;
  UpdateViewport();
  state_->autoFramed = false;
  const bool shift = event->modifiers() & Qt::ShiftModifier;
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
    case Qt::Key_1:
      return ViewFrom(ViewDirection::Front);
    case Qt::Key_3:
      return ViewFrom(ViewDirection::Side);
    case Qt::Key_7:
      return ViewFrom(ViewDirection::Top);
    default:
      return QOpenGLWidget::keyPressEvent(event);
  }
  update();
}

// ---- drawing ----------------------------------------------------------------------------------

void SceneView::initializeGL() {
  // A new context (the first, or after the widget moved to another window): everything is
  // made again in it.
  *gpu_ = Gpu{};
  connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, [this] {
    makeCurrent();
    ReleaseGpu();
    doneCurrent();
  });
  QOpenGLExtraFunctions& gl = *context()->extraFunctions();
  gl.initializeOpenGLFunctions();
  Gpu& g = *gpu_;
  g.gles = context()->isOpenGLES();
  const QByteArray header =
      g.gles ? "#version 300 es\nprecision highp float;\n" : "#version 330 core\n";
  const auto program = [&](const char* vertex, const char* fragment) {
    auto p = std::make_unique<QOpenGLShaderProgram>();
    if (!p->addShaderFromSourceCode(QOpenGLShader::Vertex, header + vertex) ||
        !p->addShaderFromSourceCode(QOpenGLShader::Fragment, header + fragment) || !p->link()) {
      qWarning("The 3D view's shaders do not build: %s", qPrintable(p->log()));
      return std::unique_ptr<QOpenGLShaderProgram>();
    }
    return p;
  };
  g.faces = program(kFaceVertex, kFaceFragment);
  g.lines = program(kLineVertex, kLineFragment);
  gl.glGenVertexArrays(1, &g.faceArray);
  gl.glGenVertexArrays(1, &g.lineArray);
  gl.glGenVertexArrays(1, &g.bandArray);
  GLuint buffers[4];
  gl.glGenBuffers(4, buffers);
  g.vertexBuffer = buffers[0], g.stateBuffer = buffers[1], g.lineBuffer = buffers[2];
  g.bandBuffer = buffers[3];

  gl.glBindVertexArray(g.faceArray);
  gl.glBindBuffer(GL_ARRAY_BUFFER, g.vertexBuffer);
  const auto at = [](size_t offset) { return reinterpret_cast<const void*>(offset); };
  gl.glEnableVertexAttribArray(0);
  gl.glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(GpuVertex),
                           at(offsetof(GpuVertex, position)));
  gl.glEnableVertexAttribArray(2);
  gl.glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, sizeof(GpuVertex),
                           at(offsetof(GpuVertex, uv)));
  gl.glEnableVertexAttribArray(3);
  gl.glVertexAttribPointer(3, 3, GL_UNSIGNED_BYTE, GL_FALSE, sizeof(GpuVertex),
                           at(offsetof(GpuVertex, bary)));
  gl.glBindBuffer(GL_ARRAY_BUFFER, g.stateBuffer);
  gl.glEnableVertexAttribArray(4);
  gl.glVertexAttribPointer(4, 1, GL_UNSIGNED_BYTE, GL_FALSE, 1, at(0));

  for (GLuint array : {g.lineArray, g.bandArray}) {
    gl.glBindVertexArray(array);
    gl.glBindBuffer(GL_ARRAY_BUFFER, array == g.lineArray ? g.lineBuffer : g.bandBuffer);
    gl.glEnableVertexAttribArray(0);
    gl.glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(LineVertex),
                             at(offsetof(LineVertex, position)));
    gl.glEnableVertexAttribArray(1);
    gl.glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, sizeof(LineVertex),
                             at(offsetof(LineVertex, colour)));
  }
  gl.glBindVertexArray(0);
  gl.glBindBuffer(GL_ARRAY_BUFFER, 0);
  g.ready = true;
}

void SceneView::ReleaseGpu() {
  Gpu& g = *gpu_;
  if (!g.ready) return;
  QOpenGLExtraFunctions& gl = *context()->extraFunctions();
  const GLuint arrays[] = {g.faceArray, g.lineArray, g.bandArray};
  gl.glDeleteVertexArrays(3, arrays);
  const GLuint buffers[] = {g.vertexBuffer, g.stateBuffer, g.lineBuffer, g.bandBuffer};
  gl.glDeleteBuffers(4, buffers);
  for (const auto& [file, id] : g.textures)
    if (id) gl.glDeleteTextures(1, &id);
  g.faces.reset();
  g.lines.reset();
  g.textures.clear();
  g.ready = false;
}

GLuint SceneView::TextureFor(const host::HostMaterial* material) {
  if (!material) return 0;
  const std::optional<fs::path> file = FindTexture(material->diffuseMap, state_->textureFolder);
  if (!file) return 0;
  Gpu& g = *gpu_;
  auto [it, added] = g.textures.emplace(*file, 0);
  if (!added) return it->second;
  QImage image(QString::fromStdString(file->string()));
  if (image.isNull()) return 0;
  image = image.convertToFormat(QImage::Format_RGBA8888);
  QOpenGLExtraFunctions& gl = *context()->extraFunctions();
  gl.glGenTextures(1, &it->second);
  gl.glBindTexture(GL_TEXTURE_2D, it->second);
  gl.glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  // The image's first row is the top, where the scene's texture coordinates have v = 0.
  gl.glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, image.width(), image.height(), 0, GL_RGBA,
                  GL_UNSIGNED_BYTE, image.constBits());
  gl.glGenerateMipmap(GL_TEXTURE_2D);
  gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
  gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  return it->second;
}

void SceneView::UploadMesh() {
  const SceneMesh& mesh = state_->mesh;
  Gpu& g = *gpu_;
  QOpenGLExtraFunctions& gl = *context()->extraFunctions();
  // Written straight into the buffer the driver keeps, not through a copy of our own.
  const GLsizeiptr bytes = static_cast<GLsizeiptr>(mesh.corners.size() * sizeof(GpuVertex));
  gl.glBindBuffer(GL_ARRAY_BUFFER, g.vertexBuffer);
  gl.glBufferData(GL_ARRAY_BUFFER, bytes, nullptr, GL_STATIC_DRAW);
  auto* vertices =
      bytes == 0 ? nullptr
                 : static_cast<GpuVertex*>(gl.glMapBufferRange(
                       GL_ARRAY_BUFFER, 0, bytes, GL_MAP_WRITE_BIT | GL_MAP_INVALIDATE_BUFFER_BIT));
  if (vertices) {
    for (size_t t = 0; t < mesh.TriangleCount(); ++t) {
      const uint8_t edges = mesh.edges[t];
      for (size_t k = 0; k < 3; ++k) {
        GpuVertex v;
        const Vec3 p = mesh.corners[3 * t + k];
        const Vec2 uv = mesh.uvs[3 * t + k];
        v.position[0] = p.x, v.position[1] = p.y, v.position[2] = p.z;
        v.uv[0] = uv.u, v.uv[1] = uv.v;
        // Coordinate j is 0 along the edge opposite corner j, the edge from corner j + 1 to
        // corner j + 2; raised by one on all corners, that edge is never drawn.
        for (size_t j = 0; j < 3; ++j)
          v.bary[j] =
              static_cast<uint8_t>((j == k ? 1 : 0) + ((edges >> ((j + 1) % 3)) & 1 ? 0 : 1));
        v.bary[3] = 0;
        vertices[3 * t + k] = v;
      }
    }
    gl.glUnmapBuffer(GL_ARRAY_BUFFER);
  }
  gl.glBindBuffer(GL_ARRAY_BUFFER, g.stateBuffer);
  gl.glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(state_->cornerState.size()),
                  state_->cornerState.data(), GL_DYNAMIC_DRAW);
  gl.glBindBuffer(GL_ARRAY_BUFFER, 0);
  g.batchTextures.clear();
  for (const MaterialBatch& batch : mesh.batches)
    g.batchTextures.push_back(TextureFor(batch.material));
  g.meshStale = false;
  g.stateStale = false;
}

void SceneView::UploadState() {
  QOpenGLExtraFunctions& gl = *context()->extraFunctions();
  gl.glBindBuffer(GL_ARRAY_BUFFER, gpu_->stateBuffer);
  gl.glBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(state_->cornerState.size()),
                     state_->cornerState.data());
  gl.glBindBuffer(GL_ARRAY_BUFFER, 0);
  gpu_->stateStale = false;
}

void SceneView::UploadLines() {
  const State& s = *state_;
  std::vector<LineVertex> lines;
  const Vec3 grid{0.36f, 0.37f, 0.40f};
  const float h = s.gridHalf;
  const int steps = static_cast<int>(std::lround(h / s.gridStep));
  for (int i = -steps; i <= steps; ++i) {
    if (i == 0) continue;  // the axes take the middle lines
    const float at = static_cast<float>(i) * s.gridStep;
    lines.push_back({{at, 0, -h}, grid});
    lines.push_back({{at, 0, h}, grid});
    lines.push_back({{-h, 0, at}, grid});
    lines.push_back({{h, 0, at}, grid});
  }
  // The axes from the origin: x red, y green, z blue; their negative halves in grid colour.
  lines.push_back({{-h, 0, 0}, grid});
  lines.push_back({{0, 0, 0}, grid});
  lines.push_back({{0, 0, -h}, grid});
  lines.push_back({{0, 0, 0}, grid});
  const Vec3 axes[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  const Vec3 colours[3] = {{0.9f, 0.25f, 0.25f}, {0.3f, 0.85f, 0.3f}, {0.3f, 0.45f, 1.0f}};
  for (int a = 0; a < 3; ++a) {
    lines.push_back({{0, 0, 0}, colours[a]});
    lines.push_back({axes[a] * h, colours[a]});
  }
  QOpenGLExtraFunctions& gl = *context()->extraFunctions();
  gl.glBindBuffer(GL_ARRAY_BUFFER, gpu_->lineBuffer);
  gl.glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(lines.size() * sizeof(LineVertex)),
                  lines.data(), GL_STATIC_DRAW);
  gl.glBindBuffer(GL_ARRAY_BUFFER, 0);
  gpu_->gridVertices = static_cast<GLint>(lines.size());
  gpu_->linesStale = false;
}

void SceneView::paintGL() {
  State& s = *state_;
  Gpu& g = *gpu_;
  QOpenGLExtraFunctions& gl = *context()->extraFunctions();
  const qreal ratio = devicePixelRatioF();
  gl.glViewport(0, 0, static_cast<GLsizei>(std::lround(width() * ratio)),
                static_cast<GLsizei>(std::lround(height() * ratio)));
  gl.glClearColor(kBackgroundColour.x, kBackgroundColour.y, kBackgroundColour.z, 1);
  gl.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  if (!g.ready || !g.faces || !g.lines) return;
  if (g.meshStale) UploadMesh();
  if (g.stateStale) UploadState();
  if (g.linesStale) UploadLines();
  UpdateViewport();
  const Mat4 viewProjection = s.camera.ViewProjection();
  gl.glEnable(GL_DEPTH_TEST);
  gl.glDepthFunc(GL_LEQUAL);
  gl.glDisable(GL_BLEND);
  if (!s.mesh.Empty()) DrawFaces(viewProjection);

  QOpenGLShaderProgram& lines = *g.lines;
  lines.bind();
  SetMatrix(gl, lines, viewProjection);
  gl.glBindVertexArray(g.lineArray);
  gl.glDrawArrays(GL_LINES, 0, g.gridVertices);
  if (s.banding) DrawBand();
  gl.glBindVertexArray(0);
  lines.release();
}

void SceneView::DrawFaces(const Mat4& viewProjection) {
  const State& s = *state_;
  const Gpu& g = *gpu_;
  QOpenGLExtraFunctions& gl = *context()->extraFunctions();
  if (s.backFaces)
    gl.glDisable(GL_CULL_FACE);
  else
    gl.glEnable(GL_CULL_FACE);
  gl.glFrontFace(GL_CCW);
  gl.glCullFace(GL_BACK);
  // Faces lie a little behind lines drawn on them (the grid on a floor at y = 0).
  gl.glEnable(GL_POLYGON_OFFSET_FILL);
  gl.glPolygonOffset(1, 1);
  QOpenGLShaderProgram& p = *g.faces;
  p.bind();
  SetMatrix(gl, p, viewProjection);
  const Vec3 back = s.camera.Back();
  gl.glUniform3f(p.uniformLocation("towardsEye"), back.x, back.y, back.z);
  gl.glUniform3f(p.uniformLocation("selectedColour"), kSelectedColour.x, kSelectedColour.y,
                 kSelectedColour.z);
  gl.glUniform3f(p.uniformLocation("changedColour"), kChangedColour.x, kChangedColour.y,
                 kChangedColour.z);
  gl.glUniform1i(p.uniformLocation("wireframe"), s.wireframe ? 1 : 0);
  gl.glUniform1i(p.uniformLocation("image"), 0);
  const GLint colour = p.uniformLocation("colour"), textured = p.uniformLocation("textured");
  gl.glActiveTexture(GL_TEXTURE0);
  gl.glBindVertexArray(g.faceArray);
  for (size_t b = 0; b < s.mesh.batches.size(); ++b)
    DrawBatch(gl, s.mesh.batches[b], b < g.batchTextures.size() ? g.batchTextures[b] : 0, colour,
              textured);
  gl.glBindTexture(GL_TEXTURE_2D, 0);
  gl.glDisable(GL_POLYGON_OFFSET_FILL);
  gl.glDisable(GL_CULL_FACE);
}

// The rubber band, in normalised device coordinates over everything.
void SceneView::DrawBand() {
  const Gpu& g = *gpu_;
  QOpenGLExtraFunctions& gl = *context()->extraFunctions();
  const double w = std::max(width(), 1), h = std::max(height(), 1);
  const auto ndc = [&](double x, double y) {
    return Vec3{static_cast<float>(2 * x / w - 1), static_cast<float>(1 - 2 * y / h), 0};
  };
  const QRect r = state_->band;
  const Vec3 white{1, 1, 1};
  // Through the middles of the box's outermost pixels.
  const double left = r.left() + 0.5, top = r.top() + 0.5;
  const double right = left + std::max(r.width() - 1, 0),
               bottom = top + std::max(r.height() - 1, 0);
  const Vec3 a = ndc(left, top), b = ndc(right, top), c = ndc(right, bottom), d = ndc(left, bottom);
  const LineVertex band[8] = {{a, white}, {b, white}, {b, white}, {c, white},
                              {c, white}, {d, white}, {d, white}, {a, white}};
  gl.glDisable(GL_DEPTH_TEST);
  gl.glBindBuffer(GL_ARRAY_BUFFER, g.bandBuffer);
  gl.glBufferData(GL_ARRAY_BUFFER, sizeof band, band, GL_STREAM_DRAW);
  gl.glBindBuffer(GL_ARRAY_BUFFER, 0);
  SetMatrix(gl, *g.lines, Mat4::Identity());
  gl.glBindVertexArray(g.bandArray);
  gl.glDrawArrays(GL_LINES, 0, 8);
  gl.glEnable(GL_DEPTH_TEST);
}

void SceneView::resizeGL(int, int) {
  UpdateViewport();
  if (state_->autoFramed && !state_->mesh.Empty())
    state_->camera.Frame(state_->mesh.min, state_->mesh.max);
}

}  // namespace vlm::workbench
