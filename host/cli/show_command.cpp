// vlmhost show.
#include "cli/show_command.h"

#include <ostream>
#include <utility>

#include "cli/print_scene.h"
#include "cli/scene_argument.h"
#include "scene/document.h"
#include "scene/scene_text.h"
#include "vlm/error.h"

namespace vlm::host {

int ShowCommand(const ShowOptions& options, std::ostream& out, std::ostream& err) {
  const std::filesystem::path& scene = options.scene;
  const std::string name =
      IsStandardStream(scene) ? "(standard input)" : scene_text::Printable(scene.string());
  try {
    // A model is shown as `vlmhost import` would write it (read in a child process).
    ImportedModel loaded = LoadSceneOrModel(scene, options.limits);
    WarnOfImport(loaded, err);
    const std::unique_ptr<HostDocument> document = std::move(loaded.document);
    if (options.faces) {
      std::string problem;
      const HostMesh* mesh = document->FindMesh(*options.faces, &problem);
      if (!mesh)
        Raise(err::InvalidProcedureCall, name + ": --faces " + *options.faces + ": " + problem);
      PrintFaces(*mesh, options.json, out);
    } else if (options.json) {
      PrintSceneJson(*document, IsStandardStream(scene) ? "-" : scene.string(), out);
    } else {
      out << "scene " << name << "\n";
      PrintScene(*document, out);
    }
    return ExitOk;
  } catch (const Error& e) {
    err << "error: " << e.Description() << "\n";
    return ExitBadInput;
  }
}

}  // namespace vlm::host
