// The 3D view's shader sources (see scene_view_gl.h), and their programs built.
#include <QByteArray>
#include <QOpenGLShader>

#include "workbench/scene_view_gl.h"

namespace vlm::workbench {
namespace {

constexpr const char* kFaceVertex = R"(
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

// `edges`: draw the polygons' edges darker. They fade out where a triangle is only a few
// pixels across (there they would cover the face and shimmer as the camera moves), as does
// the selection's outline: two pixels of the selection colour on the face's side of each
// edge, then one darker pixel, which keeps it apart from light and dark textures alike.
constexpr const char* kFaceFragment = R"(
in vec3 vPosition;
in vec2 vUv;
in vec3 vBary;
flat in int vState;
uniform int showSelected;
uniform vec3 colour;
uniform vec3 selectedColour;
uniform vec3 changedColour;
uniform float selectedTint;
uniform float changedTint;
uniform vec3 towardsEye;
uniform int textured;
uniform int wireframe;
uniform int edges;
uniform float opacity;
uniform sampler2D image;
out vec4 fragment;
float Near(vec3 from, vec3 to) {
  vec3 inside = smoothstep(from, to, vBary);
  return 1.0 - min(min(inside.x, inside.y), inside.z);
}
void main() {
  bool selected = (vState & 1) != 0 && showSelected != 0;
  bool changed = (vState & 2) != 0 && !selected;
  if ((vState & 4) != 0) discard;
  vec3 width = fwidth(vBary);
  float edge = Near(vec3(0.0), width * 1.2);
  float across = max(max(width.x, width.y), width.z);
  float shown = 1.0 - smoothstep(0.12, 0.3, across);
  vec3 base = textured != 0 ? texture(image, vUv).rgb * colour : colour;
  if (wireframe != 0) {
    if (edge < 0.5) discard;
    vec3 line = selected ? selectedColour : changed ? changedColour : base;
    fragment = vec4(line, 1.0);
    return;
  }
  // The triangle's own normal, from how the position changes across the screen.
  vec3 normal = normalize(cross(dFdx(vPosition), dFdy(vPosition)));
  float light = 0.35 + 0.65 * abs(dot(normal, towardsEye));
  vec3 lit = base * light;
  if (selected) lit = mix(lit, selectedColour, selectedTint);
  if (changed) lit = mix(lit, changedColour, changedTint);
  if (edges != 0) lit = mix(lit, lit * 0.6, edge * shown);
  if (selected) {
    float outline = Near(width * 1.5, width * 2.5) * shown;
    float rim = Near(width * 2.5, width * 3.5) * shown;
    lit = mix(lit, lit * 0.35, rim - outline);
    lit = mix(lit, selectedColour, outline);
  }
  fragment = vec4(lit, opacity);
}
)";

constexpr const char* kLineVertex = R"(
layout(location = 0) in vec3 position;
layout(location = 1) in vec3 colour;
uniform mat4 viewProjection;
out vec3 vColour;
void main() {
  gl_Position = viewProjection * vec4(position, 1.0);
  vColour = colour;
}
)";

constexpr const char* kLineFragment = R"(
in vec3 vColour;
out vec4 fragment;
void main() { fragment = vec4(vColour, 1.0); }
)";

// A light a little nearer the eye than where it stands: one mounted on a face (a beacon on
// its mast) is not hidden by it.
constexpr const char* kPointVertex = R"(
layout(location = 0) in vec3 position;
layout(location = 1) in vec3 colour;
uniform mat4 viewProjection;
uniform float size;
out vec3 vColour;
void main() {
  gl_Position = viewProjection * vec4(position, 1.0);
  gl_Position.z -= 0.002 * gl_Position.w;
  gl_PointSize = size;
  vColour = colour;
}
)";

// Round, with a dark rim that keeps a light apart from a face of its own colour.
constexpr const char* kPointFragment = R"(
in vec3 vColour;
out vec4 fragment;
void main() {
  vec2 at = gl_PointCoord * 2.0 - 1.0;
  float r = dot(at, at);
  if (r > 1.0) discard;
  fragment = vec4(r > 0.5 ? vColour * 0.3 : vColour, 1.0);
}
)";

struct ProgramSources {
  const char* vertex;
  const char* fragment;
  const char* what;  // the program's name in the warning where it does not build
};

// By ShaderProgram.
constexpr ProgramSources kPrograms[] = {
    {kFaceVertex, kFaceFragment, "shaders"},
    {kLineVertex, kLineFragment, "shaders"},
    {kPointVertex, kPointFragment, "light shaders"},
};

}  // namespace

std::unique_ptr<QOpenGLShaderProgram> BuildProgram(ShaderProgram which, bool gles) {
  const QByteArray header =
      gles ? "#version 300 es\nprecision highp float;\n" : "#version 330 core\n";
  const ProgramSources& sources = kPrograms[static_cast<int>(which)];
  auto p = std::make_unique<QOpenGLShaderProgram>();
  if (!p->addShaderFromSourceCode(QOpenGLShader::Vertex, header + sources.vertex) ||
      !p->addShaderFromSourceCode(QOpenGLShader::Fragment, header + sources.fragment) ||
      !p->link()) {
    qWarning("The 3D view's %s do not build: %s", sources.what, qPrintable(p->log()));
    return nullptr;
  }
  return p;
}

}  // namespace vlm::workbench
