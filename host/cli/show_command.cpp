// vlmhost show.
#include "cli/show_command.h"

#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>
#include <ostream>
#include <utility>

#include "cli/model_commands.h"
#include "cli/print_scene.h"
#include "run/scene_argument.h"
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

CommandAction AddShowCommand(CLI::App& app) {
  auto options = std::make_shared<ShowOptions>();
  auto* show = app.add_subcommand(
      "show", "Print a scene file as a tree, each group and object with its path for --select");
  show->add_option("SCENE", options->scene,
                   "Scene file (- for standard input), or a model, shown as import reads it")
      ->required();
  show->add_flag("--json", options->json,
                 "Print the whole tree as JSON: paths, frames, counts, materials, world-space "
                 "boxes, custom fields");
  show->add_option("--faces", options->faces,
                   "List the faces of the object at PATH: index, corners, material, world-space "
                   "centre and normal")
      ->type_name("PATH");
  AddReaderLimitOptions(*show, options->limits);
  return [show, options]() -> std::optional<int> {
    if (!*show) return std::nullopt;
    return ShowCommand(*options, std::cout, std::cerr);
  };
}

}  // namespace vlm::host
