#include "cli/command_epilogues.h"

#include <CLI/CLI.hpp>

#include <string_view>

namespace vlm::host {
namespace {

struct Epilogue {
  std::string_view command, text;
};

// Examples run from the checkout with VLM_HOME=$PWD/home after `make demo`; installed, the
// examples are in share/vlm/examples/ below the prefix.
constexpr Epilogue kEpilogues[] = {
    {"list", "Example: vlmhost list\nExit status: 0, or 2 when the registry cannot be read."},
    {"register",
     "Without LIBRARY, the plug-ins installed or built beside vlmhost are registered.\n"
     "Example: vlmhost register build/plugins/*.so\n"
     "Exit status: 0 registered, 2 a library cannot be loaded or offers no class."},
    {"unregister",
     "Example: vlmhost unregister build/plugins/libobverse.so\n"
     "Exit status: 0 removed, 2 a library cannot be read."},
    {"show",
     "Example: vlmhost show examples/hangar.json --faces Hangar/Shell\n"
     "Exit status: 0, or 2 when the scene, model or path cannot be read."},
    {"describe",
     "Example: vlmhost describe glazier --json\n"
     "Exit status: 0, or 2 when no plug-in has that name."},
    {"help",
     "Example: vlmhost help ridgepull\nExit status: 0, or 2 when no plug-in has that name."},
    {"screenshots",
     "Example: vlmhost screenshots out/pictures ridgepull --one\n"
     "Exit status: 0 drawn, 2 bad input or no way to draw off screen."},
    {"run",
     "Example: vlmhost run ridgepull examples/hangar.json --select "
     "faces:Hangar/Shell:facing=+y --ui 'txt(0)=0.3; click OKButton' -o out/moulding.json\n"
     "Warnings (\"warning: ...\" on standard error, kept by --quiet) name whatever the run\n"
     "left out; a run that fails or does nothing remembers no setting.\n"
     "Exit status: 0 done, 1 the plug-in failed or an output could not be written, 2 bad\n"
     "input, 3 nothing done (the plug-in refused its input and changed nothing)."},
    {"gui",
     "Example: vlmhost gui examples/hangar.json --select group:Hangar/Wing\n"
     "Exit status: 0 when the window closes, 2 bad input or no display."},
    {"import",
     "Relative texture names in the scene written lead from its folder to the model's files.\n"
     "Example: vlmhost import /usr/share/assimp/models/OBJ/spider.obj -o out/spider.json\n"
     "Exit status: 0 imported, 1 the scene could not be written, 2 the model cannot be read."},
    {"export-model",
     "Example: vlmhost export-model out/spider.json -o out/spider.glb\n"
     "Exit status: 0 written, 1 a file could not be written, 2 bad input."},
    {"inspect",
     "Example: vlmhost inspect out/hangar.igs --json\n"
     "Exit status: 0, or 2 when the file cannot be read."},
    {"validate",
     "Example: vlmhost validate examples/hangar.json --for igs\n"
     "Exit status: 0 no error found (warnings may be), 2 an error found or bad input."},
    {"batch",
     "Example: vlmhost batch 'models/*.obj' --run wingform:out/{stem}.obj\n"
     "Exit status: 0 every job done, done with warnings or skipped, 1 a job failed, 2 bad\n"
     "input (a job file, pattern or option)."},
};

}  // namespace

void AddCommandEpilogues(CLI::App& app) {
  for (CLI::App* command : app.get_subcommands({}))
    for (const Epilogue& e : kEpilogues)
      if (command->get_name() == e.command) command->footer(std::string(e.text));
}

}  // namespace vlm::host
