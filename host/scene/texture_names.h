// Texture names that follow a scene written to another folder.
//
// A relative texture name leads from the folder of the scene file that holds it. When a
// scene is written to another folder, its relative names are rewritten to lead from there to
// the same files; absolute names stay as they are, and so does a name that led nowhere before
// (with a warning: there is no file to lead to).
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace vlm::host {

class HostDocument;
class HostMaterial;

// Rewrites the document's relative texture names from `from` to `to` (folders; an empty path
// is the current folder) for as long as it lives, and puts them back when it goes unless
// Keep() was called: a scene is written through it, and the document in memory is as it was.
// Nothing changes when both folders are one. The names in `beside` (the embedded textures of
// a model, written beside the scene) stay as they are.
class TextureNamesMoved {
 public:
  TextureNamesMoved(const HostDocument& document, const std::filesystem::path& from,
                    const std::filesystem::path& to, const std::vector<std::string>& beside = {});
  ~TextureNamesMoved();
  TextureNamesMoved(const TextureNamesMoved&) = delete;
  TextureNamesMoved& operator=(const TextureNamesMoved&) = delete;

  // The names stay rewritten: the document now lives in `to`.
  void Keep() { changed_.clear(); }
  // One line per name that led nowhere and was kept as it was.
  const std::vector<std::string>& Warnings() const { return warnings_; }

 private:
  std::vector<std::pair<std::string*, std::string>> changed_;  // name, and what it was
  std::vector<std::string> warnings_;
};

// Where a texture name leads from `folder`: a "\" is a folder separator, and an absolute name
// ("/x", "C:\x") leads where it says.
std::filesystem::path TextureFileFrom(const std::string& name, const std::filesystem::path& folder);

// The name of `file` (a relative texture name leading from `from`) as it leads from `to`, or
// "" when it leads nowhere from `from`. A "\" in the name is a folder separator.
std::string MovedTextureName(const std::string& name, const std::filesystem::path& from,
                             const std::filesystem::path& to);

}  // namespace vlm::host
