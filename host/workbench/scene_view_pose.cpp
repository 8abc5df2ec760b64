// The 3D view's pose of an imported X-Plane object (see SetPose in scene_view.h): the objects
// of its animation groups moved in the view's own triangles, which the pick tree is made from
// again (picking follows what is drawn), the faces an animation or the level of detail hides
// neither drawn nor picked, and the object's lights drawn as round points in their colours.
#include <QOpenGLContext>
#include <QOpenGLExtraFunctions>
#include <QOpenGLShaderProgram>
#include <algorithm>

#include "scene/document.h"
#include "workbench/animation_preview.h"
#include "workbench/scene_view.h"
#include "workbench/scene_view_gl.h"
#include "workbench/scene_view_state.h"

#ifndef GL_PROGRAM_POINT_SIZE
#define GL_PROGRAM_POINT_SIZE 0x8642
#endif

namespace vlm::workbench {
namespace {

// A light's diameter in logical pixels.
constexpr float kLightSize = 9;

}  // namespace

void SceneView::SetPose(const ScenePose& pose) {
  State& s = *state_;
  // The pick tree and stand-in being made read the corners about to move: they finish first
  // (a tree not begun is not made only to be let go).
  if (s.building.valid()) {
    s.building.get();
    s.treeBuilt = true;
  }
  if (s.standInBuilding.valid()) s.standInBuilding.wait();
  const auto [first, end] = s.mesh.Move(pose.moved);
  if (end > first) {
    s.movedFirst = s.movedEnd > s.movedFirst ? std::min(s.movedFirst, first) : first;
    s.movedEnd = std::max(s.movedEnd, end);
    s.tree = PickTree();
    s.treeBuilt = false;
    if (s.mesh.TriangleCount() < 100000) s.Tree();
  }
  s.poseHidden.clear();
  for (const host::HostMesh* mesh : pose.hidden) {
    // Only objects of the mesh drawn: its own pointers, read before the object is.
    if (!s.mesh.FaceIndex({mesh, 0})) continue;
    for (size_t f = 0; f < mesh->FaceCount(); ++f)
      s.poseHidden.push_back({mesh, static_cast<int32_t>(f)});
  }
  s.lights = pose.lights;
  gpu_->pointsStale = true;
  ++s.hiddenVersion;  // the stand-in is made again from the faces as they stand now
  UpdateFaceStates();
  gpu_->cacheValid = false;
}

const std::vector<LightPoint>& SceneView::Lights() const {
  return state_->lights;
}

void SceneView::DrawLights(const Mat4& viewProjection) {
  State& s = *state_;
  Gpu& g = *gpu_;
  if (s.lights.empty()) return;
  QOpenGLExtraFunctions& gl = *context()->extraFunctions();
  if (!g.points) {
    auto p = BuildProgram(ShaderProgram::kPoints, g.gles);
    if (!p) {
      s.lights.clear();
      return;
    }
    g.points = std::move(p);
    gl.glGenVertexArrays(1, &g.pointArray);
    gl.glGenBuffers(1, &g.pointBuffer);
    gl.glBindVertexArray(g.pointArray);
    gl.glBindBuffer(GL_ARRAY_BUFFER, g.pointBuffer);
    PointAtColouredVertices<LightPoint>(gl);
    gl.glBindVertexArray(0);
    g.pointsStale = true;
  }
  if (g.pointsStale) {
    gl.glBindBuffer(GL_ARRAY_BUFFER, g.pointBuffer);
    gl.glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(s.lights.size() * sizeof(LightPoint)),
                    s.lights.data(), GL_DYNAMIC_DRAW);
    gl.glBindBuffer(GL_ARRAY_BUFFER, 0);
    g.pointsStale = false;
  }
  if (!g.gles) gl.glEnable(GL_PROGRAM_POINT_SIZE);
  QOpenGLShaderProgram& p = *g.points;
  p.bind();
  gl.glUniformMatrix4fv(p.uniformLocation("viewProjection"), 1, GL_FALSE, viewProjection.m.data());
  gl.glUniform1f(p.uniformLocation("size"), kLightSize * static_cast<float>(devicePixelRatioF()));
  gl.glBindVertexArray(g.pointArray);
  gl.glDrawArrays(GL_POINTS, 0, static_cast<GLsizei>(s.lights.size()));
  gl.glBindVertexArray(0);
  p.release();
  if (!g.gles) gl.glDisable(GL_PROGRAM_POINT_SIZE);
}

void SceneView::ReleaseLights() {
  Gpu& g = *gpu_;
  if (!g.points) return;
  QOpenGLExtraFunctions& gl = *context()->extraFunctions();
  gl.glDeleteVertexArrays(1, &g.pointArray);
  gl.glDeleteBuffers(1, &g.pointBuffer);
  g.pointArray = g.pointBuffer = 0;
  g.points.reset();
}

}  // namespace vlm::workbench
