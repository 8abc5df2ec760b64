// vlmhost show.
#include "cli/show_command.h"

#include <ostream>

#include "cli/print_scene.h"
#include "cli/scene_argument.h"
#include "scene/document.h"
#include "scene/scene_text.h"
#include "vlm/error.h"

namespace vlm::host {

int ShowCommand(const std::filesystem::path& scene, std::ostream& out, std::ostream& err) {
  try {
    auto document = LoadSceneArgument(scene);
    out << "scene "
        << (IsStandardStream(scene) ? "(standard input)" : scene_text::Printable(scene.string()))
        << "\n";
    PrintScene(*document, out);
    return ExitOk;
  } catch (const Error& e) {
    err << "error: " << e.Description() << "\n";
    return ExitBadInput;
  }
}

}  // namespace vlm::host
