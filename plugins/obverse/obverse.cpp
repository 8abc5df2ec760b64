#include "obverse/obverse.h"

#include <cstdint>
#include <vector>

#include "vlm/forms.h"
#include "vlm/obj8_commands.h"
#include "vlm/refusal.h"
#include "vlm/text.h"

namespace vlm {
namespace {

// The custom field in which an imported X-Plane object keeps its OBJ8 lines.
constexpr const char* Obj8Field = "OBJ8";

// A source index through one of the object's index maps; "none" (-1) stays none.
int32_t Translate(const std::vector<int32_t>& map, int32_t index) {
  if (index < 0) return -1;
  if (static_cast<size_t>(index) >= map.size()) Raise(err::SubscriptOutOfRange);
  return map[static_cast<size_t>(index)];
}

}  // namespace

Obverse::Obverse()
    : PluginBase({.name = "Mirror Select Group and hierarchy",
                  .author = "Ardo Venmark",
                  .cost = 0,
                  .pluginClass = 0,
                  .validation = std::nullopt}) {}

void Obverse::Apply(vlm::Scene& scene, vlm::SceneGraph& sceneGraph, int32_t) {
  scene_ = &scene;
  SceneDocument* document = sceneGraph.Document();
  obj8Field_ =
      document && document->RootNode() ? document->RootNode()->FindCustomField(Obj8Field) : -1;
  const int32_t groups = scene.SelectedGroupCount();
  const int32_t objects = scene.SelectedObjectCount();
  if (groups != 1 && objects != 1) {
    RefuseRun("Please select a single group or an object within a group.", mb::OKOnly);
    return;
  }

  const std::string dir = ToUpper(InputBox("Mirror Direction X, Y or Z ?", "", "X"));
  // An empty answer is the input box cancelled: nothing to do. Any other answer that is not
  // an axis would give an unreflected, inside-out copy, so it is refused.
  if (dir.empty()) return;
  if (dir != "X" && dir != "Y" && dir != "Z") {
    RefuseRun("Mirror Direction must be X, Y or Z.", mb::OKOnly);
    return;
  }

  vlm::Group* source = groups == 1 ? scene.SelectedGroup(0) : scene.SelectedObject(0)->Parent();
  MirrorHierarchy(*source->Parent(), *source, dir);
}

void Obverse::MirrorHierarchy(vlm::Group& Parent, vlm::Group& Group, const std::string& dir) {
  vlm::Group* copy = scene_->CreateGroup();
  Parent.AddGroup(copy);
  copy->SetName(Group.Name() + dir);

  Vec3 position = Group.GetPosition(Group.Parent(), 0);
  Mirror(position, dir);
  copy->SetPosition(&Parent, 0, position);

  // Reflecting both axes keeps the frame right-handed only for X: the host derives the
  // third axis as up x forward, which a reflection in Y or Z would turn half a revolution.
  // Turning the reflected up (Y) or forward (Z) vector round gives the true mirror image.
  vlm::Orientation o = Group.GetOrientation(Group.Parent(), 0);
  Mirror(o.forward, dir);
  Mirror(o.up, dir);
  if (dir == "Z") o.forward = -o.forward;
  if (dir == "Y") o.up = -o.up;
  copy->SetOrientation(&Parent, 0, o.forward, o.up);

  // What an imported X-Plane object keeps on the group (its animation, a light, ...) is
  // mirrored with it: a mirrored turn turns the other way.
  if (obj8Field_ >= 0) {
    const std::string lines = Group.GetCustomField(obj8Field_);
    if (!lines.empty())
      copy->SetCustomField(obj8Field_,
                           obj8::LinesText(obj8::Mirrored(obj8::ParseLines(lines), dir[0] - 'X')));
  }

  for (int32_t i = 0; i < Group.ObjectCount(); ++i)
    MirrorObject(*copy, *Group.Object(i), dir);
  for (int32_t i = 0; i < Group.GroupCount(); ++i)
    MirrorHierarchy(*copy, *Group.ChildGroup(i), dir);
}

void Obverse::MirrorObject(vlm::Group& Grp, vlm::Object& Object, const std::string& dir) {
  const int32_t faceCount = Object.FaceCount();
  vlm::Object* copy = scene_->CreateObject();

  std::vector<int32_t> uvMap(static_cast<size_t>(Object.TextureCoordinateCount()));
  for (size_t i = 0; i < uvMap.size(); ++i)
    uvMap[i] = copy->AddTextureCoordinate(Object.GetTextureCoordinate(static_cast<int32_t>(i)));

  // The copy's room is asked for once: the faces are read twice, first for their sizes.
  std::vector<FacePoint> points, mirrored;
  size_t pointCount = 0;
  for (int32_t f = 0; f < faceCount; ++f) {
    Object.GetFacePoints(f, points);
    pointCount += points.size();
  }
  if (pointCount > size_t{INT32_MAX}) Raise(err::OutOfMemory);
  copy->Reserve(Object.VertexCount(), faceCount, static_cast<int32_t>(pointCount));

  std::vector<int32_t> vertexMap(static_cast<size_t>(Object.VertexCount()));
  for (size_t i = 0; i < vertexMap.size(); ++i) {
    Vec3 v = Object.GetVertex(static_cast<int32_t>(i));
    Mirror(v, dir);
    vertexMap[i] = copy->AddVertex(v);
  }

  std::vector<int32_t> normalMap(static_cast<size_t>(Object.NormalCount()));
  for (size_t i = 0; i < normalMap.size(); ++i) {
    Vec3 n = Object.GetNormal(static_cast<int32_t>(i));
    Mirror(n, dir);
    normalMap[i] = copy->AddNormal(n);
  }

  for (int32_t f = 0; f < faceCount; ++f) {
    Object.GetFacePoints(f, points);
    // The first point stays first and the rest run backwards: the winding flips, so the
    // mirrored face still faces outward.
    const size_t n = points.size();
    mirrored.clear();
    for (size_t k = 0; k < n; ++k) {
      const FacePoint& p = points[k == 0 ? 0 : n - k];
      mirrored.push_back({Translate(vertexMap, p.vertex), Translate(normalMap, p.normal),
                          Translate(uvMap, p.textureCoordinate)});
    }
    copy->AddFaceOfPoints(mirrored, Object.FaceMaterial(f));
  }

  Grp.AddObject(copy);
  copy->SetName(Object.Name());
  copy->SetSmoothingAngle(Object.SmoothingAngle());
}

void Obverse::Mirror(float& x, float& y, float& z, const std::string& dir) {
  if (dir == "X")
    x = -x;
  else if (dir == "Y")
    y = -y;
  else if (dir == "Z")
    z = -z;
}

}  // namespace vlm
