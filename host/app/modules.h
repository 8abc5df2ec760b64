// The parts of vlmhost that live in modules of their own, beside the program: the windows
// (vlmhost_windows.so: the workbench, the dialogs of `run --gui`, screenshots; Qt) and the
// models of other programs (vlmhost_models.so: Assimp's reader and writer). A command that
// needs neither starts without loading Qt or Assimp.
//
// Each module exports one function, vlm_module_entry, which gives its table below; everything
// else a module calls is the program's own code (the program exports the namespace vlm), so
// there is one copy of the document, the run layer and their state. The program loads a module
// the first time a command calls into it: the models' functions (ImportModel, ExportModel, ...)
// are defined in the program as calls through the table, so the reader's child process loads
// Assimp where it imports, and the parent only where it writes.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/model_import.h"
#include "vlm/forms.h"

namespace vlm::workbench {
struct WorkbenchOptions;
}

namespace vlm::app {

// What vlmhost_windows.so does for the commands of app/window_commands.cpp.
struct WindowsModule {
  int (*workbench)(const workbench::WorkbenchOptions& options, std::ostream& err);
  int (*screenshots)(const std::filesystem::path& dir, std::vector<std::string> progIds,
                     double scale, bool one, std::ostream& out, std::ostream& err);
  // The windows of `run --gui` for a plug-in: vlm::Error when none can be shown here.
  std::shared_ptr<DialogBackend> (*dialogs)(const std::string& progId);
};

// What vlmhost_models.so does: exchange/model_import.h and exchange/model_export.h.
struct ModelsModule {
  host::ImportedModel (*importModel)(const std::filesystem::path& model,
                                     const host::ImportOptions& options);
  host::ImportedModel (*importModels)(const std::vector<std::filesystem::path>& models,
                                      const host::ImportOptions& options);
  host::ImportedModel (*importModelFromMemory)(std::string_view bytes,
                                               const std::string& formatHint,
                                               const std::string& origin,
                                               const host::ImportOptions& options);
  std::string (*modelFormatFor)(const std::filesystem::path& target);
  void (*exportModel)(const host::HostDocument& document, const std::filesystem::path& target);
  void (*exportModelTaking)(std::unique_ptr<host::HostDocument> document,
                            const std::filesystem::path& target);
};

// The module, loaded the first time it is asked for. One that is missing or cannot be loaded
// throws std::runtime_error naming the file and the loader's reason (a failure: exit 1).
const WindowsModule& Windows();
const ModelsModule& Models();

// Where the program looks for a module, in order: the installed tree's folder, then the build
// tree's, each relative to the program's own folder.
std::vector<std::filesystem::path> ModulePlaces(const std::string& name);

}  // namespace vlm::app

// The entry each module defines: its table (a WindowsModule or a ModelsModule).
extern "C" const void* vlm_module_entry();
