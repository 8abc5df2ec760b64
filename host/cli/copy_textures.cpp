// vlmhost run --copy-textures: the textures a run's exports name, copied beside them in the
// run's transaction. The exporters name each by its own file name and note where they look
// for it; the file is found where the scene names it: relative to the scene file's folder, or
// at its absolute path. A name that reaches nothing there (a path of another machine, such as
// D:\maps\wood.png) is looked for by its own file name in the scene's folder.
#include <algorithm>
#include <map>
#include <optional>

#include "cli/run_command.h"
#include "cli/run_outputs.h"
#include "cli/scene_argument.h"
#include "vlm/error.h"
#include "vlm/file_names.h"
#include "vlm/files.h"
#include "vlm/named_files.h"
#include "vlm/run_context.h"

namespace vlm::host {
namespace {

namespace fs = std::filesystem;

bool IsFile(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

// The file to copy for `named`, whose copy the export calls `fileName`: the file of that name
// in the folder the scene's name leads to (the named file itself unless the export changed its
// extension), else in the scene's folder.
std::optional<fs::path> FindSource(const NamedFile& named, const fs::path& sceneFolder,
                                   std::vector<fs::path>& looked) {
  const fs::path fileName = fs::path(named.target).filename();
  std::string name = named.source;
  std::replace(name.begin(), name.end(), '\\', '/');
  const fs::path path(name);
  if (!IsAbsoluteFileName(named.source) || path.is_absolute())
    looked.push_back((path.is_absolute() ? path : sceneFolder / path).parent_path() / fileName);
  looked.push_back(sceneFolder / fileName);
  for (const fs::path& candidate : looked)
    if (IsFile(candidate)) return candidate;
  return std::nullopt;
}

// Whether a relative path stays below the folder it starts from.
bool StaysBelow(const fs::path& relative) {
  if (relative.empty() || relative.is_absolute() || relative.has_root_name()) return false;
  return std::none_of(relative.begin(), relative.end(),
                      [](const fs::path& part) { return part == ".."; });
}

const EmbeddedTexture* EmbeddedNamed(const std::vector<EmbeddedTexture>* textures,
                                     const std::string& name) {
  if (!textures) return nullptr;
  for (const EmbeddedTexture& texture : *textures)
    if (texture.file == name) return &texture;
  return nullptr;
}

std::string Joined(const std::vector<fs::path>& paths) {
  std::string out;
  for (const fs::path& p : paths)
    out += (out.empty() ? "" : ", ") + p.string();
  return out;
}

}  // namespace

void RunOutputs::StageNamedFiles() {
  if (!options_.copyTextures) return;
  const std::vector<fs::path> staged = transaction_.StagedTargets();
  fs::path sceneFolder =
      IsStandardStream(options_.scene) ? fs::path() : options_.scene.parent_path();
  if (sceneFolder.empty()) sceneFolder = ".";
  std::map<fs::path, fs::path> copies;  // target -> the file copied there
  for (const NamedFile& named : context_.NamedFiles()) {
    // Files of an export press that was taken back are not copied.
    if (std::find(staged.begin(), staged.end(), named.output) == staged.end()) continue;
    const std::string start =
        named.output.string() + ": the texture \"" + named.source + "\" was not copied: ";
    if (!StaysBelow(fs::path(named.target))) {
      context_.Warn(start + "the export looks for it at \"" + named.target +
                    "\", outside the export's folder");
      continue;
    }
    // A texture the model given as the scene carries inside itself is copied from memory.
    const EmbeddedTexture* embedded = EmbeddedNamed(options_.modelTextures, named.source);
    std::vector<fs::path> looked;
    const std::optional<fs::path> source =
        embedded ? fs::path(named.source) : FindSource(named, sceneFolder, looked);
    if (!source) {
      context_.Warn(start + "no such file (looked for " + Joined(looked) + ")");
      continue;
    }
    const fs::path target = (named.output.parent_path() / named.target).lexically_normal();
    const auto [copy, fresh] = copies.emplace(target, *source);
    std::error_code ec;
    if (!fresh) {
      if (copy->second != *source && (embedded || !fs::equivalent(copy->second, *source, ec)))
        context_.Warn(start + target.string() + " is already the copy of " + copy->second.string());
      continue;
    }
    if (!embedded && fs::equivalent(*source, target, ec)) continue;  // it is there already
    // A reference into a folder below the export (textures\wood) gets the folder.
    fs::path folder = target.parent_path();
    std::vector<fs::path> missing;
    for (; !folder.empty() && !fs::exists(folder, ec); folder = folder.parent_path())
      missing.push_back(folder);
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
      if (!fs::create_directory(*it, ec) && ec)
        Raise(err::PathFileAccess, it->string() + ": cannot make the folder: " + ec.message());
      createdTextureFolders_.push_back(*it);
    }
    transaction_.Stage(target, embedded ? embedded->bytes : ReadFile(*source));
    written_.push_back(target.string());
  }
}

}  // namespace vlm::host
