#include "cli/command_epilogues.h"

#include <CLI/CLI.hpp>

#include <string_view>

namespace vlm::host {
namespace {

struct Epilogue {
  std::string_view command;  // a command, or a command and its subcommand: "prep lod"
  std::string_view text;
};

#define VLM_PREP_STATUS                                                                        \
  "Exit status: 0 done, 1 the scene could not be written, 2 bad input (a value refused, its\n" \
  "option named; nothing changed), 3 nothing to change (the step says why)."

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
    {"prep",
     "Each step works on the selection (the scene's, or --select), with nothing selected on\n"
     "the whole scene; a selected group keeps its frame and what it holds changes.\n"
     "vlmhost prep STEP --help lists a step's options (docs/preparing-models.md).\n"
     "Example: vlmhost prep transform /usr/share/assimp/models/X/Testwuson.X --up-axis z\n"
     "  --centre xz --ground -o out/wuson.json\n" VLM_PREP_STATUS},
    {"prep transform",
     "The operations are done in the order apply, up-axis, rotate, scale, move, centre,\n"
     "ground, whatever the order given.\n"
     "Example: vlmhost prep transform /usr/share/assimp/models/OBJ/spider.obj --scale 0.01\n"
     "  --centre xz --ground -o out/spider.json\n" VLM_PREP_STATUS},
    {"prep materials",
     "Example: vlmhost prep materials out/wuson.json --untextured examples/grey.png\n"
     "  -o out/wuson.json\n" VLM_PREP_STATUS},
    {"prep rename",
     "Example: vlmhost prep rename examples/hangar.json --select group:Hangar --match 'Lamp*'\n"
     "  --to 'light_{n:2}' --items objects -o out/hangar-names.json\n" VLM_PREP_STATUS},
    {"prep shorten",
     "Example: vlmhost prep shorten /usr/share/assimp/models/IFC/AC14-FZK-Haus.ifc --max 24\n"
     "  --plain -o out/haus.json\n" VLM_PREP_STATUS},
    {"prep flatten",
     "Example: vlmhost prep flatten /usr/share/assimp/models/IFC/AC14-FZK-Haus.ifc\n"
     "  -o out/haus.json\n" VLM_PREP_STATUS},
    {"prep merge",
     "Example: vlmhost prep merge examples/hangar.json --select group:Hangar/Fittings\n"
     "  --name Fittings -o out/hangar-merged.json\n" VLM_PREP_STATUS},
    {"prep split",
     "Example: vlmhost prep split out/hangar-merged.json\n"
     "  --select object:Hangar/Fittings/Fittings -o out/hangar-split.json\n" VLM_PREP_STATUS},
    {"prep clean",
     "Example: vlmhost prep clean /usr/share/assimp/models/IFC/AC14-FZK-Haus.ifc\n"
     "  --weld 0.001 -o out/haus.json\n" VLM_PREP_STATUS},
    {"prep normals",
     "Example: vlmhost prep normals /usr/share/assimp/models/OBJ/spider.obj --smooth 30\n"
     "  -o out/spider.json\n" VLM_PREP_STATUS},
    {"prep lod",
     "Wingform's and Trackline's Custom LODs (optLOD(2)) write the GROUP_D level nodes as\n"
     "levels; Wingform also writes the LOD D1-D2 groups of --naming range.\n"
     "Example: vlmhost prep lod out/spider.json --levels 50%@200,10%@500,2%@800\n"
     "  -o out/spider-lod.json\n" VLM_PREP_STATUS},
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

#undef VLM_PREP_STATUS

// The command a path of names leads to ("prep lod": the subcommand lod of prep), or null.
CLI::App* CommandAt(CLI::App& app, std::string_view path) {
  CLI::App* at = &app;
  while (at && !path.empty()) {
    const size_t blank = path.find(' ');
    const std::string_view name = path.substr(0, blank);
    CLI::App* next = nullptr;
    for (CLI::App* command : at->get_subcommands({}))
      if (command->get_name() == name) next = command;
    at = next;
    path = blank == std::string_view::npos ? std::string_view() : path.substr(blank + 1);
  }
  return at;
}

}  // namespace

void AddCommandEpilogues(CLI::App& app) {
  for (const Epilogue& e : kEpilogues)
    if (CLI::App* command = CommandAt(app, e.command)) command->footer(std::string(e.text));
}

}  // namespace vlm::host
