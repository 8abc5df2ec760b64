// The 3D view's OpenGL pieces shared by its source files (scene_view_drawing.cpp,
// scene_view_pose.cpp): its shader programs and the layout of its coloured vertices.
#pragma once

#include <QOpenGLExtraFunctions>
#include <QOpenGLShaderProgram>
#include <cstddef>
#include <memory>

namespace vlm::workbench {

// The view's shader programs: the model's faces, the grid's and the rubber band's lines, and
// the lights' round points.
enum class ShaderProgram { kFaces, kLines, kPoints };

// One of the view's programs built and linked for the context's language (OpenGL ES or
// desktop OpenGL); null, with a warning, where it does not build.
std::unique_ptr<QOpenGLShaderProgram> BuildProgram(ShaderProgram which, bool gles);

// The layout of vertices of a position and a colour (lines, lights) in the array buffer bound,
// in the vertex array bound: the position at location 0, the colour at 1.
template <class Vertex>
void PointAtColouredVertices(QOpenGLExtraFunctions& gl) {
  const auto at = [](size_t offset) { return reinterpret_cast<const void*>(offset); };
  gl.glEnableVertexAttribArray(0);
  gl.glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex),
                           at(offsetof(Vertex, position)));
  gl.glEnableVertexAttribArray(1);
  gl.glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex), at(offsetof(Vertex, colour)));
}

}  // namespace vlm::workbench
