#include "cli/scene_argument.h"

#include <iostream>
#include <iterator>

#include "scene/document.h"
#include "scene/scene_file.h"

namespace vlm::host {

bool IsStandardStream(const std::filesystem::path& path) {
  return path == "-";
}

std::unique_ptr<HostDocument> LoadSceneArgument(const std::filesystem::path& scene) {
  if (!IsStandardStream(scene)) return LoadScene(scene);
  std::string text((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
  return ParseScene(text, "standard input");
}

}  // namespace vlm::host
