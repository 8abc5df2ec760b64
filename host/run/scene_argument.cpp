#include "run/scene_argument.h"

#include <fstream>
#include <ostream>

#include "scene/document.h"
#include "scene/scene_file.h"
#include "vlm/files.h"
#include "vlm/text.h"

namespace vlm::host {

bool IsStandardStream(const std::filesystem::path& path) {
  return path == "-";
}

std::unique_ptr<HostDocument> LoadSceneArgument(const std::filesystem::path& scene) {
  if (!IsStandardStream(scene)) return LoadScene(scene);
  return ParseScene(ReadStandardInput(0, kMaxSceneFileSize), "standard input");
}

bool IsModelArgument(const std::filesystem::path& argument) {
  if (IsStandardStream(argument)) return false;
  const std::string extension = ToLower(argument.extension().string());
  if (extension == ".json") return false;
  if (extension == ".gltf") return true;
  // A device or pipe is read once, as a scene; a file that is not there is named by the import.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(argument, ec))
    return !std::filesystem::exists(argument, ec);
  // A scene under another name: JSON text, whose first character is "{".
  std::ifstream in(argument, std::ios::binary);
  char c = 0;
  while (in.get(c) && (c == ' ' || c == '\t' || c == '\r' || c == '\n')) {
  }
  return !in || c != '{';
}

void WarnOfImport(const ImportedModel& model, std::ostream& err) {
  for (const std::string& line : model.log)
    err << "warning: " << line << "\n";
}

ImportedModel LoadSceneOrModel(const std::filesystem::path& argument, const ReaderLimits& limits) {
  if (IsModelArgument(argument)) return ImportModelInChildProcess(argument, {}, limits);
  ImportedModel scene;
  scene.document = LoadSceneArgument(argument);
  return scene;
}

}  // namespace vlm::host
