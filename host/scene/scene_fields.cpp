#include "scene/scene_fields.h"

namespace vlm::host::scene_fields {
namespace {

std::string TranslucencyProblem(int32_t value) {
  if (value >= 0 && value <= 100) return "";
  return "translucency " + std::to_string(value) + " is outside 0..100";
}

std::string AnimationKeysProblem(int32_t value) {
  return value < 0 ? "a count of animation keys cannot be negative" : "";
}

constexpr Field<HostDocument> kTop[] = {
    {.key = "format", .part = Part::Format},
    {.key = "version", .part = Part::Version},
    {.key = "units", .member = &HostDocument::units},
    {.key = "customFields", .part = Part::CustomFields},
    {.key = "materials", .part = Part::Materials},
    {.key = "root", .part = Part::Root},
    {.key = "selection", .part = Part::Selection},
};

constexpr Field<Plain> kCustomFields[] = {
    {.key = "node", .part = Part::NodeFieldNames, .layout = Layout::OneLine},
    {.key = "material", .part = Part::MaterialFieldNames, .layout = Layout::OneLine},
};

constexpr Field<HostMaterial> kMaterial[] = {
    {.key = "name", .member = &HostMaterial::name, .part = Part::Name},
    {.key = "diffuse", .member = &HostMaterial::diffuse},
    {.key = "ambient", .member = &HostMaterial::ambient},
    {.key = "emissive", .member = &HostMaterial::emissive},
    {.key = "specular", .member = &HostMaterial::specular},
    {.key = "gloss", .member = &HostMaterial::gloss},
    {.key = "diffuseLevel", .member = &HostMaterial::diffuseLevel},
    {.key = "ambientLevel", .member = &HostMaterial::ambientLevel},
    {.key = "specularLevel", .member = &HostMaterial::specularLevel},
    {.key = "translucency", .member = &HostMaterial::translucency, .check = &TranslucencyProblem},
    {.key = "textures", .part = Part::Textures, .layout = Layout::OneLine},
    {.key = "wrap", .part = Part::Wrap, .layout = Layout::OneLine},
    {.key = "fields", .part = Part::Fields, .layout = Layout::OneLine},
};

constexpr Field<HostMaterial> kTextures[] = {
    {.key = "diffuse", .member = &HostMaterial::diffuseMap, .write = Write::UnlessDefault},
    {.key = "bump", .member = &HostMaterial::bumpMap, .write = Write::UnlessDefault},
    {.key = "detail", .member = &HostMaterial::detailMap, .write = Write::UnlessDefault},
    {.key = "specular", .member = &HostMaterial::specularMap, .write = Write::UnlessDefault},
    {.key = "environment", .member = &HostMaterial::environmentMap, .write = Write::UnlessDefault},
};

constexpr Field<HostNode> kGroup[] = {
    {.key = "name", .member = &HostNode::name, .part = Part::Name},
    {.key = "position", .member = &HostNode::position},
    {.key = "forward",
     .member = &HostNode::forward,
     .part = Part::Forward,
     .write = Write::UnlessDefault,
     .fallback = kDefaultForward},
    {.key = "up",
     .member = &HostNode::up,
     .part = Part::Up,
     .write = Write::UnlessDefault,
     .fallback = kDefaultUp},
    {.key = "animationKeys",
     .member = &HostNode::animationKeys,
     .write = Write::UnlessDefault,
     .fallback = int32_t{0},
     .check = &AnimationKeysProblem},
    {.key = "fields", .part = Part::Fields, .layout = Layout::OneLine},
    {.key = "groups", .part = Part::Groups},
    {.key = "objects", .part = Part::Objects},
};
// The root's members are the last of a group's.
constexpr size_t kRootMembers = 3;

constexpr Field<HostMesh> kObject[] = {
    {.key = "name", .member = &HostMesh::name, .part = Part::Name},
    {.key = "kind",
     .member = &HostMesh::kind,
     .write = Write::UnlessDefault,
     .fallback = ShapeKindPolygonMesh},
    {.key = "smoothingAngle",
     .member = &HostMesh::smoothingAngle,
     .write = Write::UnlessDefault,
     .fallback = kDefaultSmoothingAngle},
    {.key = "vertices", .member = &HostMesh::vertices},
    {.key = "normals", .member = &HostMesh::normals, .write = Write::UnlessDefault},
    {.key = "uvs", .member = &HostMesh::uvs, .write = Write::UnlessDefault},
    {.key = "faces", .part = Part::Faces, .layout = Layout::ItemPerLine},
};

constexpr Field<Plain> kFace[] = {
    {.key = "material", .part = Part::Material},
    {.key = "points", .part = Part::Points, .layout = Layout::OneLine},
};

constexpr Field<Plain> kSelection[] = {
    {.key = "groups", .part = Part::SelectedGroups, .layout = Layout::OneLine},
    {.key = "objects", .part = Part::SelectedObjects, .layout = Layout::ItemPerLine},
    {.key = "nodes", .part = Part::SelectedNodes, .layout = Layout::OneLine},
    {.key = "shapes", .part = Part::SelectedShapes, .layout = Layout::ItemPerLine},
};

constexpr Field<Plain> kSelectedObject[] = {
    {.key = "path", .part = Part::Path},
    {.key = "faces", .part = Part::FaceIndices, .layout = Layout::OneLine},
};

constexpr Field<Plain> kSelectedShape[] = {
    {.key = "path", .part = Part::Path},
    {.key = "polygons", .part = Part::FaceIndices, .layout = Layout::OneLine},
};

}  // namespace

constexpr Table<HostDocument> kTopFields = kTop;
constexpr Table<Plain> kCustomFieldLists = kCustomFields;
constexpr Table<HostMaterial> kMaterialFields = kMaterial;
constexpr Table<HostMaterial> kTextureFields = kTextures;
constexpr Table<HostNode> kGroupFields = kGroup;
constexpr Table<HostNode> kRootFields = Table<HostNode>(kGroup).last(kRootMembers);
constexpr Table<HostMesh> kObjectFields = kObject;
constexpr Table<Plain> kFaceFields = kFace;
constexpr Table<Plain> kSelectionFields = kSelection;
constexpr Table<Plain> kSelectedObjectFields = kSelectedObject;
constexpr Table<Plain> kSelectedShapeFields = kSelectedShape;

}  // namespace vlm::host::scene_fields
