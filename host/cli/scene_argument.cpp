#include "cli/scene_argument.h"

#include <iostream>
#include <iterator>

#include "scene/document.h"
#include "scene/scene_file.h"
#include "vlm/error.h"

namespace vlm::host {

bool IsStandardStream(const std::filesystem::path& path) {
  return path == "-";
}

std::unique_ptr<HostDocument> LoadSceneArgument(const std::filesystem::path& scene) {
  if (!IsStandardStream(scene)) return LoadScene(scene);
  std::string text((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
  return ParseScene(text, "standard input");
}

std::string SceneText(const HostDocument& document, const std::string& target) {
  try {
    return SerializeScene(document);
  } catch (const Error& e) {
    const std::string unsaved = "(unsaved scene)";
    std::string text = e.Description();
    if (text.rfind(unsaved, 0) == 0) text = target + text.substr(unsaved.size());
    throw Error(e.Number(), text);
  }
}

}  // namespace vlm::host
