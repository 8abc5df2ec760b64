#include "scene/texture_names.h"

#include <algorithm>
#include <system_error>

#include "scene/document.h"
#include "scene/material.h"
#include "vlm/file_names.h"

namespace vlm::host {
namespace fs = std::filesystem;

namespace {

fs::path Folder(const fs::path& folder) {
  std::error_code ec;
  const fs::path absolute = fs::absolute(folder.empty() ? fs::path(".") : folder, ec);
  return ec ? folder : fs::weakly_canonical(absolute, ec);
}

}  // namespace

fs::path TextureFileFrom(const std::string& name, const fs::path& folder) {
  std::string generic = name;
  std::replace(generic.begin(), generic.end(), '\\', '/');
  return IsAbsoluteFileName(name) ? fs::path(generic) : folder / generic;
}

std::string MovedTextureName(const std::string& name, const fs::path& from, const fs::path& to) {
  const fs::path file = TextureFileFrom(name, Folder(from)).lexically_normal();
  std::error_code ec;
  if (!fs::exists(file, ec)) return {};
  const fs::path folder = Folder(to);
  // Folders that share nothing but the root (/tmp and /home/me/models) are joined by the
  // file's whole name, not by a climb to the root and down again.
  size_t shared = 0;
  for (auto a = file.begin(), b = folder.begin(); a != file.end() && b != folder.end() && *a == *b;
       ++a, ++b)
    ++shared;
  if (shared <= 1) return file.generic_string();
  return file.lexically_relative(folder).generic_string();
}

TextureNamesMoved::TextureNamesMoved(const HostDocument& document, const fs::path& from,
                                     const fs::path& to, const std::vector<std::string>& beside) {
  if (Folder(from) == Folder(to)) return;
  for (const auto& owned : document.Materials()) {
    // The names change only while the scene is written; the destructor puts them back.
    HostMaterial& m = const_cast<HostMaterial&>(*owned);
    for (std::string* name :
         {&m.diffuseMap, &m.bumpMap, &m.detailMap, &m.specularMap, &m.environmentMap}) {
      if (name->empty() || IsAbsoluteFileName(*name)) continue;
      if (std::find(beside.begin(), beside.end(), *name) != beside.end()) continue;
      const std::string moved = MovedTextureName(*name, from, to);
      if (moved.empty()) {
        warnings_.push_back("the texture \"" + *name + "\" of material \"" + m.name +
                            "\" is not in " + Folder(from).string() +
                            ": its name is kept as it is and leads nowhere from " +
                            Folder(to).string());
      } else if (moved != *name) {
        changed_.emplace_back(name, std::exchange(*name, moved));
      }
    }
  }
}

TextureNamesMoved::~TextureNamesMoved() {
  for (auto& [name, was] : changed_)
    *name = std::move(was);
}

}  // namespace vlm::host
