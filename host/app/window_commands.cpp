#include "app/window_commands.h"

#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/plugin_commands.h"
#include "run/exit_status.h"
#include "vlm/error.h"
#if VLM_GUI
#include "app/modules.h"
#include "workbench/workbench.h"
#endif

namespace vlm::app {
namespace {

#if !VLM_GUI
// A vlmhost built without Qt has no windows: the commands that show or draw them stop at once.
int NoWindows(const char* what) {
  std::cerr << "error: this vlmhost was built without windows (VLM_GUI=OFF): " << what
            << " needs them\n";
  return host::ExitBadInput;
}

struct WorkbenchOptions {
  std::optional<std::filesystem::path> file, picture;
  std::vector<std::string> selections;
};
#else
using workbench::WorkbenchOptions;
#endif

struct Screenshots {
  std::filesystem::path dir;
  std::vector<std::string> ids;
  double scale = 1;
  bool one = false;
};

}  // namespace

host::CommandAction AddWorkbenchCommand(CLI::App& app) {
  auto bench = std::make_shared<WorkbenchOptions>();
  auto* gui = app.add_subcommand(
      "gui", "Open the workbench: the scene in a 3D view, picking, every plug-in, undo");
  gui->add_option("FILE", bench->file, "A scene file, or a model to import (as import reads it)");
  gui->add_option("--select", bench->selections,
                  "Pick these to start with (as run --select takes them)");
  gui->add_option("--picture", bench->picture,
                  "Draw the window to this PNG file once FILE is open, and close");
  return [gui, bench]() -> std::optional<int> {
    if (!*gui) return std::nullopt;
#if VLM_GUI
    return Windows().workbench(*bench, std::cerr);
#else
    return NoWindows("gui");
#endif
  };
}

host::CommandAction AddScreenshotsCommand(CLI::App& app) {
  auto shot = std::make_shared<Screenshots>();
  auto* shots = app.add_subcommand(
      "screenshots", "Draw every form of the plug-ins (each tab page) to PNG files, off screen");
  shots->add_option("DIR", shot->dir, "Folder for the pictures")->required();
  shots->add_option("PLUGIN", shot->ids,
                    "Plug-ins to draw, by identifier or short name (default: every registered "
                    "one)");
  shots->add_option("--scale", shot->scale, "Screen scale (2: 200 %)")->check(CLI::Range(1.0, 4.0));
  shots->add_flag("--one", shot->one, "One picture per plug-in: its main dialog, as PROGID.png");
  return [shots, shot]() -> std::optional<int> {
    if (!*shots) return std::nullopt;
    std::vector<std::string*> named;
    for (std::string& id : shot->ids)
      named.push_back(&id);
    if (!host::ResolveNames(named)) return host::ExitBadInput;
#if VLM_GUI
    return Windows().screenshots(shot->dir, shot->ids, shot->scale, shot->one, std::cout,
                                 std::cerr);
#else
    return NoWindows("screenshots");
#endif
  };
}

host::WindowsMaker DialogWindows() {
  return [](const std::string& progId) -> std::shared_ptr<DialogBackend> {
#if VLM_GUI
    return Windows().dialogs(progId);
#else
    (void)progId;
    Raise(err::InvalidProcedureCall,
          "this vlmhost was built without windows (VLM_GUI=OFF): run --gui needs them");
#endif
  };
}

}  // namespace vlm::app
