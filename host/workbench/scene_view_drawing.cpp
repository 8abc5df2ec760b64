// The 3D view's drawing (see scene_view.h).
//
// The document's triangles go to the graphics card once per SetDocument, in one vertex buffer
// ordered by material; a second buffer of one byte per corner says whether the corner's face
// is selected, changed or hidden, so a new selection rewrites only that. Flat shading with a
// light from the eye: a face seen square on shows exactly its colour. Polygon edges (not the
// fan's diagonals) are found in the fragment shader from each corner's barycentric coordinate;
// wireframe draws only them. X-ray draws the faces blended without writing depth, then the
// selected ones again over them.
//
// A frame draws the model and the grid without the selection, keeps that picture and its
// depth, then draws only the selected faces over it (an index list of their triangles), at
// the depth of the faces they cover. When only the selection or the rubber band changes, the
// picture kept is copied back instead of drawing the model again. While the camera moves, a
// large model's stand-in (stand_in.h) is drawn in its place. The shaders are in
// scene_view_shaders.cpp, the textures' upload in scene_view_textures.cpp.
#include "workbench/scene_view.h"

#include <QOpenGLContext>
#include <QOpenGLExtraFunctions>
#include <QOpenGLShaderProgram>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <string>

#include "scene/document.h"
#include "workbench/scene_view_gl.h"
#include "workbench/scene_view_state.h"

namespace vlm::workbench {
namespace {

// How long after a frame the pick tree and the stand-in start being made (a pick before
// then makes the tree at once).
constexpr int kBackgroundAfterMs = 50;

struct GpuVertex {
  float position[3];
  float uv[2];
  uint8_t bary[4];  // the corner's barycentric coordinate, raised where an edge is a diagonal
};
static_assert(sizeof(GpuVertex) == 24);

struct LineVertex {
  Vec3 position, colour;
};

void SetMatrix(QOpenGLExtraFunctions& gl, QOpenGLShaderProgram& p, const Mat4& m) {
  gl.glUniformMatrix4fv(p.uniformLocation("viewProjection"), 1, GL_FALSE, m.m.data());
}

// Draws in one material's colour or with its texture (0: none) from now on. `colour` and
// `textured` are the face program's uniforms.
void UseMaterial(QOpenGLExtraFunctions& gl, const MaterialBatch& batch, GLuint texture,
                 GLint colour, GLint textured) {
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
}

void DrawBatch(QOpenGLExtraFunctions& gl, const MaterialBatch& batch) {
  if (batch.triangleCount == 0) return;
  gl.glDrawArrays(GL_TRIANGLES, static_cast<GLint>(batch.firstTriangle * 3),
                  static_cast<GLsizei>(batch.triangleCount * 3));
}

// The card's vertices of triangles given by corners: `edges` says which of each triangle's
// edges are the polygon's (null: none is).
void FillVertices(GpuVertex* vertices, const std::vector<Vec3>& corners,
                  const std::vector<Vec2>& uvs, const std::vector<uint8_t>* edges) {
  for (size_t t = 0; t < corners.size() / 3; ++t) {
    const uint8_t own = edges ? (*edges)[t] : 0;
    for (size_t k = 0; k < 3; ++k) {
      GpuVertex v;
      const Vec3 p = corners[3 * t + k];
      const Vec2 uv = uvs[3 * t + k];
      v.position[0] = p.x, v.position[1] = p.y, v.position[2] = p.z;
      v.uv[0] = uv.u, v.uv[1] = uv.v;
      // Coordinate j is 0 along the edge opposite corner j, the edge from corner j + 1 to
      // corner j + 2; raised by one on all corners, that edge is never drawn.
      for (size_t j = 0; j < 3; ++j)
        v.bary[j] = static_cast<uint8_t>((j == k ? 1 : 0) + ((own >> ((j + 1) % 3)) & 1 ? 0 : 1));
      v.bary[3] = 0;
      vertices[3 * t + k] = v;
    }
  }
}

// Writes `count` vertices into the array buffer bound, straight into the buffer the driver
// keeps rather than through a copy of our own.
template <class Fill>
void WriteVertices(QOpenGLExtraFunctions& gl, size_t count, Fill fill) {
  const GLsizeiptr bytes = static_cast<GLsizeiptr>(count * sizeof(GpuVertex));
  gl.glBufferData(GL_ARRAY_BUFFER, bytes, nullptr, GL_STATIC_DRAW);
  if (bytes == 0) return;
  auto* vertices = static_cast<GpuVertex*>(gl.glMapBufferRange(
      GL_ARRAY_BUFFER, 0, bytes, GL_MAP_WRITE_BIT | GL_MAP_INVALIDATE_BUFFER_BIT));
  if (!vertices) return;
  fill(vertices);
  gl.glUnmapBuffer(GL_ARRAY_BUFFER);
}

// The face vertex layout of the array buffer bound, in the vertex array bound.
void PointAtVertices(QOpenGLExtraFunctions& gl) {
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
}

// Drains the error flags OpenGL keeps (a few at most): whether any was set.
bool HadError(QOpenGLExtraFunctions& gl) {
  bool any = false;
  for (int i = 0; i < 16 && gl.glGetError() != GL_NO_ERROR; ++i)
    any = true;
  return any;
}

}  // namespace

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
  g.faces = BuildProgram(ShaderProgram::kFaces, g.gles);
  g.lines = BuildProgram(ShaderProgram::kLines, g.gles);
  gl.glGenVertexArrays(1, &g.faceArray);
  gl.glGenVertexArrays(1, &g.lineArray);
  gl.glGenVertexArrays(1, &g.bandArray);
  GLuint buffers[4];
  gl.glGenBuffers(4, buffers);
  g.vertexBuffer = buffers[0], g.stateBuffer = buffers[1], g.lineBuffer = buffers[2];
  g.bandBuffer = buffers[3];
  gl.glGenVertexArrays(1, &g.standInArray);
  gl.glGenBuffers(1, &g.standInBuffer);
  gl.glGenBuffers(1, &g.overlayBuffer);

  gl.glBindVertexArray(g.faceArray);
  gl.glBindBuffer(GL_ARRAY_BUFFER, g.vertexBuffer);
  const auto at = [](size_t offset) { return reinterpret_cast<const void*>(offset); };
  PointAtVertices(gl);
  gl.glBindBuffer(GL_ARRAY_BUFFER, g.stateBuffer);
  gl.glEnableVertexAttribArray(4);
  gl.glVertexAttribPointer(4, 1, GL_UNSIGNED_BYTE, GL_FALSE, 1, at(0));
  gl.glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, g.overlayBuffer);
  // The stand-in has no state buffer: every corner reads the attribute's constant, plain.
  gl.glBindVertexArray(g.standInArray);
  gl.glBindBuffer(GL_ARRAY_BUFFER, g.standInBuffer);
  PointAtVertices(gl);

  for (GLuint array : {g.lineArray, g.bandArray}) {
    gl.glBindVertexArray(array);
    gl.glBindBuffer(GL_ARRAY_BUFFER, array == g.lineArray ? g.lineBuffer : g.bandBuffer);
    PointAtColouredVertices<LineVertex>(gl);
  }
  gl.glBindVertexArray(0);
  gl.glBindBuffer(GL_ARRAY_BUFFER, 0);
  g.ready = true;
}

void SceneView::ReleaseGpu() {
  Gpu& g = *gpu_;
  if (!g.ready) return;
  ReleaseLights();
  QOpenGLExtraFunctions& gl = *context()->extraFunctions();
  const GLuint arrays[] = {g.faceArray, g.lineArray, g.bandArray, g.standInArray};
  gl.glDeleteVertexArrays(4, arrays);
  const GLuint buffers[] = {g.vertexBuffer, g.stateBuffer,   g.lineBuffer,
                            g.bandBuffer,   g.standInBuffer, g.overlayBuffer};
  gl.glDeleteBuffers(6, buffers);
  if (g.cacheFramebuffer) {
    gl.glDeleteFramebuffers(1, &g.cacheFramebuffer);
    const GLuint renderbuffers[] = {g.cacheColour, g.cacheDepth};
    gl.glDeleteRenderbuffers(2, renderbuffers);
    g.cacheFramebuffer = g.cacheColour = g.cacheDepth = 0;
  }
  for (const auto& [file, texture] : g.textures)
    if (texture.id != g.warningTexture) gl.glDeleteTextures(1, &texture.id);
  if (g.warningTexture) gl.glDeleteTextures(1, &g.warningTexture);
  g.warningTexture = 0;
  g.faces.reset();
  g.lines.reset();
  g.textures.clear();
  g.ready = false;
}

void SceneView::UploadMesh() {
  const SceneMesh& mesh = state_->mesh;
  Gpu& g = *gpu_;
  QOpenGLExtraFunctions& gl = *context()->extraFunctions();
  gl.glBindBuffer(GL_ARRAY_BUFFER, g.vertexBuffer);
  WriteVertices(gl, mesh.corners.size(), [&](GpuVertex* vertices) {
    FillVertices(vertices, mesh.corners, mesh.uvs, &mesh.edges);
  });
  gl.glBindBuffer(GL_ARRAY_BUFFER, g.stateBuffer);
  gl.glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(state_->cornerState.size()),
                  state_->cornerState.data(), GL_DYNAMIC_DRAW);
  gl.glBindBuffer(GL_ARRAY_BUFFER, 0);
  // The textures of this mesh; those of an earlier one that it does not use are let go.
  for (auto& [file, texture] : g.textures)
    texture.used = false;
  std::vector<std::string> problems;
  g.batchTextures.clear();
  for (const MaterialBatch& batch : mesh.batches)
    g.batchTextures.push_back(TextureFor(batch.material, problems));
  std::erase_if(g.textures, [&](const auto& entry) {
    const auto& [file, texture] = entry;
    if (!texture.used && texture.id != g.warningTexture) gl.glDeleteTextures(1, &texture.id);
    return !texture.used;
  });
  g.meshStale = false;
  g.stateStale = false;
  g.cacheValid = false;
  for (const std::string& line : problems)
    emit TextureProblem(line);
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
  gpu_->cacheValid = false;
}

// The selected faces' triangles, batch by batch: a face's triangles lie together in its
// material's batch, the batches one after another.
void SceneView::UploadOverlay() {
  const State& s = *state_;
  Gpu& g = *gpu_;
  std::vector<std::pair<uint32_t, uint32_t>> runs;  // first triangle, count
  for (const host::FaceHit& ref : s.selected)
    if (const std::optional<uint32_t> index = s.mesh.FaceIndex(ref)) {
      const SceneFace& face = s.mesh.faces[*index];
      if (face.triangleCount > 0) runs.emplace_back(face.firstTriangle, face.triangleCount);
    }
  std::sort(runs.begin(), runs.end());
  runs.erase(std::unique(runs.begin(), runs.end()), runs.end());
  std::vector<uint32_t> indices;
  g.overlayBatches.assign(s.mesh.batches.size(), {0, 0});
  size_t next = 0;
  for (size_t b = 0; b < s.mesh.batches.size(); ++b) {
    const MaterialBatch& batch = s.mesh.batches[b];
    g.overlayBatches[b].first = indices.size();
    for (; next < runs.size() && runs[next].first < batch.firstTriangle + batch.triangleCount;
         ++next)
      for (uint32_t c = 3 * runs[next].first; c < 3 * (runs[next].first + runs[next].second); ++c)
        indices.push_back(c);
    g.overlayBatches[b].second = indices.size() - g.overlayBatches[b].first;
  }
  QOpenGLExtraFunctions& gl = *context()->extraFunctions();
  gl.glBindVertexArray(g.faceArray);
  gl.glBufferData(GL_ELEMENT_ARRAY_BUFFER,
                  static_cast<GLsizeiptr>(indices.size() * sizeof(uint32_t)), indices.data(),
                  GL_DYNAMIC_DRAW);
  gl.glBindVertexArray(0);
  g.overlayStale = false;
}

void SceneView::UploadStandIn() {
  const StandIn& standIn = state_->standIn;
  QOpenGLExtraFunctions& gl = *context()->extraFunctions();
  gl.glBindBuffer(GL_ARRAY_BUFFER, gpu_->standInBuffer);
  WriteVertices(gl, standIn.corners.size(), [&](GpuVertex* vertices) {
    FillVertices(vertices, standIn.corners, standIn.uvs, nullptr);
  });
  gl.glBindBuffer(GL_ARRAY_BUFFER, 0);
  gpu_->standInStale = false;
}

// Copies the frame drawn so far (the model and the grid) aside, with its depth; whether it
// could be. Where the widget's own framebuffer's depth has another format than ours, the copy
// fails, and every frame draws the model.
bool SceneView::CacheFrame() {
  Gpu& g = *gpu_;
  if (!g.cacheWorks) return false;
  QOpenGLExtraFunctions& gl = *context()->extraFunctions();
  const qreal ratio = devicePixelRatioF();
  const int w = static_cast<int>(std::lround(width() * ratio));
  const int h = static_cast<int>(std::lround(height() * ratio));
  HadError(gl);
  if (!g.cacheFramebuffer || g.cacheWidth != w || g.cacheHeight != h) {
    if (!g.cacheFramebuffer) {
      gl.glGenFramebuffers(1, &g.cacheFramebuffer);
      gl.glGenRenderbuffers(1, &g.cacheColour);
      gl.glGenRenderbuffers(1, &g.cacheDepth);
    }
    gl.glBindRenderbuffer(GL_RENDERBUFFER, g.cacheColour);
    gl.glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, w, h);
    gl.glBindRenderbuffer(GL_RENDERBUFFER, g.cacheDepth);
    gl.glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, w, h);
    gl.glBindRenderbuffer(GL_RENDERBUFFER, 0);
    gl.glBindFramebuffer(GL_FRAMEBUFFER, g.cacheFramebuffer);
    gl.glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                                 g.cacheColour);
    gl.glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                                 g.cacheDepth);
    const bool complete = gl.glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    gl.glBindFramebuffer(GL_FRAMEBUFFER, defaultFramebufferObject());
    g.cacheWidth = w, g.cacheHeight = h;
    if (!complete || HadError(gl)) return g.cacheWorks = false;
  }
  gl.glBindFramebuffer(GL_READ_FRAMEBUFFER, defaultFramebufferObject());
  gl.glBindFramebuffer(GL_DRAW_FRAMEBUFFER, g.cacheFramebuffer);
  gl.glBlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT,
                       GL_NEAREST);
  gl.glBindFramebuffer(GL_FRAMEBUFFER, defaultFramebufferObject());
  if (HadError(gl)) return g.cacheWorks = false;
  const State& s = *state_;
  g.cachedView = s.camera.ViewProjection().m;
  g.cachedWireframe = s.wireframe, g.cachedBackFaces = s.backFaces, g.cachedEdges = s.edges;
  return true;
}

void SceneView::paintGL() {
  State& s = *state_;
  Gpu& g = *gpu_;
  QOpenGLExtraFunctions& gl = *context()->extraFunctions();
  const bool overlayOnly = s.overlayOnly;
  s.overlayOnly = false;
  s.lastFrame = {};
  const qreal ratio = devicePixelRatioF();
  gl.glViewport(0, 0, static_cast<GLsizei>(std::lround(width() * ratio)),
                static_cast<GLsizei>(std::lround(height() * ratio)));
  gl.glClearColor(kBackgroundColour.x, kBackgroundColour.y, kBackgroundColour.z, 1);
  gl.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  if (!g.ready || !g.faces || !g.lines) return;
  if (g.meshStale) UploadMesh();
  if (s.movedEnd > s.movedFirst) UploadMoved();
  if (g.stateStale) UploadState();
  if (g.linesStale) UploadLines();
  if (g.overlayStale) UploadOverlay();
  UpdateViewport();
  const Mat4 viewProjection = s.camera.ViewProjection();
  gl.glEnable(GL_DEPTH_TEST);
  gl.glDepthFunc(GL_LEQUAL);
  gl.glDisable(GL_BLEND);
  QOpenGLShaderProgram& lines = *g.lines;
  const auto drawGrid = [&] {
    lines.bind();
    SetMatrix(gl, lines, viewProjection);
    gl.glBindVertexArray(g.lineArray);
    gl.glDrawArrays(GL_LINES, 0, g.gridVertices);
    gl.glBindVertexArray(0);
    lines.release();
    DrawLights(viewProjection);
  };
  const bool standIn = s.moving && s.standInMade && s.standInHidden == s.hiddenVersion &&
                       s.standIn.TriangleCount() > 0;
  if (standIn && g.standInStale) UploadStandIn();
  if (s.mesh.Empty()) {
    drawGrid();
  } else if (standIn) {
    DrawFaces(viewProjection, Faces::kStandIn);
    DrawFaces(viewProjection, Faces::kSelection);
    drawGrid();
    s.lastFrame.standIn = true;
  } else if (s.xray) {
    DrawFaces(viewProjection, Faces::kModel);
    drawGrid();
  } else {
    // The picture kept serves while it shows what would be drawn now.
    const bool reuse = overlayOnly && g.cacheValid && g.cachedView == viewProjection.m &&
                       g.cachedWireframe == s.wireframe && g.cachedBackFaces == s.backFaces &&
                       g.cachedEdges == s.edges && g.cacheWidth == std::lround(width() * ratio) &&
                       g.cacheHeight == std::lround(height() * ratio);
    if (reuse) {
      const GLint w = g.cacheWidth, h = g.cacheHeight;
      gl.glBindFramebuffer(GL_READ_FRAMEBUFFER, g.cacheFramebuffer);
      gl.glBindFramebuffer(GL_DRAW_FRAMEBUFFER, defaultFramebufferObject());
      gl.glBlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT,
                           GL_NEAREST);
      gl.glBindFramebuffer(GL_FRAMEBUFFER, defaultFramebufferObject());
    } else {
      DrawFaces(viewProjection, Faces::kModelPlain);
      drawGrid();
      g.cacheValid = CacheFrame();
    }
    DrawFaces(viewProjection, Faces::kSelection);
    s.lastFrame.reused = reuse;
  }
  if (s.banding) {
    lines.bind();
    DrawBand();
    gl.glBindVertexArray(0);
    lines.release();
  }
  // The rest is made a moment after the frame is on the screen.
  if (!s.mesh.Empty())
    QTimer::singleShot(kBackgroundAfterMs, this, &SceneView::StartBackgroundWork);
}

void SceneView::DrawFaces(const Mat4& viewProjection, Faces which) {
  const State& s = *state_;
  const Gpu& g = *gpu_;
  QOpenGLExtraFunctions& gl = *context()->extraFunctions();
  if (which == Faces::kSelection && g.overlayBatches.empty()) return;
  if (s.backFaces || s.xray)
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
  gl.glUniform1f(p.uniformLocation("selectedTint"), kSelectedTint);
  gl.glUniform1f(p.uniformLocation("changedTint"), kChangedTint);
  gl.glUniform1i(p.uniformLocation("wireframe"), s.wireframe ? 1 : 0);
  // The stand-in's triangles are not the model's polygons: no edges.
  gl.glUniform1i(p.uniformLocation("edges"), s.edges && which != Faces::kStandIn ? 1 : 0);
  gl.glUniform1i(p.uniformLocation("image"), 0);
  gl.glUniform1i(p.uniformLocation("showSelected"), which == Faces::kModelPlain ? 0 : 1);
  const GLint colour = p.uniformLocation("colour"), textured = p.uniformLocation("textured");
  const GLint opacity = p.uniformLocation("opacity");
  gl.glActiveTexture(GL_TEXTURE0);
  const auto texture = [&](size_t b) {
    return b < g.batchTextures.size() ? g.batchTextures[b] : 0;
  };
  // The faces of each batch that `which` draws.
  const auto draw = [&] {
    if (which == Faces::kStandIn) {
      gl.glBindVertexArray(g.standInArray);
      for (size_t b = 0; b < s.standIn.batches.size(); ++b) {
        UseMaterial(gl, s.standIn.batches[b], texture(b), colour, textured);
        DrawBatch(gl, s.standIn.batches[b]);
      }
      return;
    }
    gl.glBindVertexArray(g.faceArray);
    for (size_t b = 0; b < s.mesh.batches.size(); ++b) {
      if (which != Faces::kSelection) {
        UseMaterial(gl, s.mesh.batches[b], texture(b), colour, textured);
        DrawBatch(gl, s.mesh.batches[b]);
      } else if (b < g.overlayBatches.size() && g.overlayBatches[b].second > 0) {
        UseMaterial(gl, s.mesh.batches[b], texture(b), colour, textured);
        const auto [first, count] = g.overlayBatches[b];
        gl.glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(count), GL_UNSIGNED_INT,
                          reinterpret_cast<const void*>(first * sizeof(uint32_t)));
      }
    }
  };
  if (s.xray && !s.wireframe) {
    // Every face blended over what is behind it, none hiding another; the selected ones
    // over them all.
    gl.glEnable(GL_BLEND);
    gl.glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    gl.glDepthMask(GL_FALSE);
    gl.glDisable(GL_DEPTH_TEST);
    if (which == Faces::kModel) {
      gl.glUniform1f(opacity, kXrayOpacity);
      draw();
      which = Faces::kSelection;
    }
    gl.glUniform1f(opacity, which == Faces::kSelection ? kXraySelected : kXrayOpacity);
    draw();
    gl.glEnable(GL_DEPTH_TEST);
    gl.glDepthMask(GL_TRUE);
    gl.glDisable(GL_BLEND);
  } else {
    // Wireframe draws only lines: X-ray adds nothing to it but the faces behind.
    if (s.xray) gl.glDisable(GL_DEPTH_TEST);
    gl.glUniform1f(opacity, 1);
    draw();
    gl.glEnable(GL_DEPTH_TEST);
  }
  gl.glBindVertexArray(0);
  gl.glBindTexture(GL_TEXTURE_2D, 0);
  gl.glDisable(GL_POLYGON_OFFSET_FILL);
  gl.glDisable(GL_CULL_FACE);
  p.release();
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

// The triangles the pose moved, written over their place in the vertex buffer.
void SceneView::UploadMoved() {
  State& s = *state_;
  const size_t first = s.movedFirst, end = std::min<size_t>(s.movedEnd, s.mesh.TriangleCount());
  s.movedFirst = s.movedEnd = 0;
  if (end <= first) return;
  const SceneMesh& mesh = s.mesh;
  const auto corner = [&](size_t t) { return static_cast<std::ptrdiff_t>(3 * t); };
  const std::vector<Vec3> corners(mesh.corners.begin() + corner(first),
                                  mesh.corners.begin() + corner(end));
  const std::vector<Vec2> uvs(mesh.uvs.begin() + corner(first), mesh.uvs.begin() + corner(end));
  const std::vector<uint8_t> edges(mesh.edges.begin() + static_cast<std::ptrdiff_t>(first),
                                   mesh.edges.begin() + static_cast<std::ptrdiff_t>(end));
  std::vector<GpuVertex> vertices(corners.size());
  FillVertices(vertices.data(), corners, uvs, &edges);
  QOpenGLExtraFunctions& gl = *context()->extraFunctions();
  gl.glBindBuffer(GL_ARRAY_BUFFER, gpu_->vertexBuffer);
  gl.glBufferSubData(GL_ARRAY_BUFFER, static_cast<GLintptr>(3 * first * sizeof(GpuVertex)),
                     static_cast<GLsizeiptr>(vertices.size() * sizeof(GpuVertex)), vertices.data());
  gl.glBindBuffer(GL_ARRAY_BUFFER, 0);
  gpu_->cacheValid = false;
}

}  // namespace vlm::workbench
