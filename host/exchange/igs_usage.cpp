// What the records of an IGS file add up to: its levels of detail, the blocks their parents could
// not list, and how close the file comes to the format's limits.
#include "exchange/igs_file.h"

#include <algorithm>

namespace vlm::host {

std::vector<int32_t> IgsContents::TopBlocks() const {
  std::vector<int32_t> top;
  for (size_t i = 0; i < blocks.size(); ++i)
    if (blocks[i].parent < 0) top.push_back(static_cast<int32_t>(i));
  return top;
}

std::vector<int32_t> IgsContents::UnlistedBlocks() const {
  std::vector<int32_t> unlisted;
  for (size_t i = 0; i < blocks.size(); ++i) {
    const int32_t parent = blocks[i].parent;
    if (parent < 0) continue;
    const auto& listed = blocks[static_cast<size_t>(parent)].children;
    if (std::find(listed.begin(), listed.end(), static_cast<int32_t>(i)) == listed.end())
      unlisted.push_back(static_cast<int32_t>(i));
  }
  return unlisted;
}

IgsUsage UsageOf(const IgsContents& c) {
  IgsUsage u;
  std::vector<int32_t> children(c.blocks.size(), 0);
  for (const IgsBlockRecord& b : c.blocks) {
    if (u.longestBlock.empty() || b.name.size() > u.longestBlockName) {
      u.longestBlockName = b.name.size();
      u.longestBlock = b.name;
    }
    if (b.parent >= 0) ++children[static_cast<size_t>(b.parent)];
    if (b.parent < 0) ++u.levels;
  }
  for (size_t i = 0; i < children.size(); ++i)
    if (children[i] > u.mostChildren) {
      u.mostChildren = children[i];
      u.mostChildrenBlock = c.blocks[i].name;
    }
  u.unlistedChildren = static_cast<int32_t>(c.UnlistedBlocks().size());
  std::vector<std::string> distinct;
  for (const IgsMaterialRecord& m : c.materials) {
    u.longestMaterialName = std::max(u.longestMaterialName, m.name.size());
    if (u.longestShaderMaterial.empty() || m.shader.size() > u.longestShader) {
      u.longestShader = m.shader.size();
      u.longestShaderMaterial = m.name;
    }
    for (const IgsStageRecord& s : m.stages)
      if (!s.textureName.empty() &&
          std::find(distinct.begin(), distinct.end(), s.textureName) == distinct.end())
        distinct.push_back(s.textureName);
  }
  u.materials = static_cast<int32_t>(c.materials.size());
  u.distinctTextures = static_cast<int32_t>(distinct.size());
  u.textureNames = static_cast<int32_t>(c.textureNames.size());
  u.blocks = static_cast<int32_t>(c.blocks.size());
  u.meshes = static_cast<int32_t>(c.meshes.size());
  for (const IgsMeshRecord& m : c.meshes) {
    u.vertices += static_cast<int32_t>(m.vertices.size());
    u.triangles += static_cast<int32_t>(m.triangles.size());
  }
  return u;
}

}  // namespace vlm::host
