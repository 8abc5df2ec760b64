#include "cli/scene_argument.h"

#include "scene/document.h"
#include "scene/scene_file.h"
#include "vlm/files.h"

namespace vlm::host {

bool IsStandardStream(const std::filesystem::path& path) {
  return path == "-";
}

std::unique_ptr<HostDocument> LoadSceneArgument(const std::filesystem::path& scene) {
  if (!IsStandardStream(scene)) return LoadScene(scene);
  return ParseScene(ReadStandardInput(0, kMaxSceneFileSize), "standard input");
}

}  // namespace vlm::host
