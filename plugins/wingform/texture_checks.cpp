// Wingform's checks of texture names: control characters in them, and what each file names.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "vlm/error.h"
#include "vlm/files.h"
#include "vlm/warnings.h"
#include "wingform/wingform_export.h"

namespace vlm::wingform {
namespace {

// What is wrong with the material's texture names for the file, or "".
std::string TextureNameProblem(GraphMaterial* material) {
  TextureSet* set = material ? material->Textures() : nullptr;
  if (!set) return {};
  const std::pair<const char*, std::string> names[] = {{"texture name", set->DiffuseMap()},
                                                       {"lit texture name", set->BumpMap()},
                                                       {"normal texture name", set->DetailMap()}};
  for (const auto& [what, name] : names) {
    std::string problem = ControlCharacterProblem(what, name);
    if (!problem.empty()) return problem;
  }
  return {};
}

}  // namespace

bool NamesClean(Shape& shape, const MeshData& data) {
  std::vector<GraphMaterial*> distinct;
  GraphMaterial* last = nullptr;
  for (GraphMaterial* material : data.materials) {
    if (material == last) continue;
    last = material;
    if (std::find(distinct.begin(), distinct.end(), material) != distinct.end()) continue;
    if (!TextureNameProblem(material).empty()) return false;
    distinct.push_back(material);
  }
  return static_cast<int32_t>(distinct.size()) == shape.MaterialCount();
}

void WingformExport::checkTextureNames(Shape& shape) {
  const int32_t count = shape.MaterialCount();
  for (int32_t k = 0; k < count; ++k) {
    const std::string problem = TextureNameProblem(shape.Material(k));
    if (!problem.empty())
      Raise(err::InvalidProcedureCall,
            "Material " + std::to_string(k + 1) + " in " + shape.Name() + ": its " + problem + ".");
  }
}

void WingformExport::checkTextures(const std::string& file, const XObj& obj) {
  const auto found = objectTextures_.find(&obj);
  if (found == objectTextures_.end()) return;
  const ObjectTextures& textures = found->second;
  const std::string* names[] = {&obj.Texture, &obj.SecondTexture, &obj.ThirdTexture};
  for (size_t k = 0; k < 3; ++k) {
    const std::string written = obj.applyExtension(*names[k]);
    std::string expected = written;
    std::replace(expected.begin(), expected.end(), '\\', '/');
    // X-Plane reads a texture's name up to the first blank.
    if (const size_t blank = written.find_first_of(" \t"); blank != std::string::npos)
      Warn(file + " names the texture \"" + written + "\" with a blank: X-Plane reads it only as " +
           "far as \"" + written.substr(0, blank) + "\"");
    CheckTextureReference(file, {textures.named[k], written, expected});
  }
  if (const int64_t n = textures.outsideTile; n > 0)
    Warn(file + ": " + std::to_string(n) + (n == 1 ? " triangle of \"" : " triangles of \"") +
         obj.applyExtension(obj.Texture) + (n == 1 ? "\" reaches" : "\" reach") +
         " past the edges of a texture their material clamps or mirrors; X-Plane repeats every "
         "texture, so there they show it otherwise than their source does");
}

}  // namespace vlm::wingform
