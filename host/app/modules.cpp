#include "app/modules.h"

#include <dlfcn.h>

#include <mutex>
#include <stdexcept>
#include <utility>

#include "cli/register_commands.h"
#include "exchange/model_export.h"

namespace vlm::app {
namespace {

// Loads NAME.so from the first place it is in, and returns its table. Never unloaded: what it
// made (windows, a dialog back-end, a document's parts) may outlive the call.
const void* Load(const std::string& name, const std::string& what) {
  const std::vector<std::filesystem::path> places = ModulePlaces(name);
  std::error_code ec;
  for (const std::filesystem::path& file : places) {
    if (!std::filesystem::exists(file, ec)) continue;
    // Every symbol now, so that a module that does not fit this program fails here, named,
    // and not in the middle of a command.
    void* module = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    const char* why = module ? nullptr : dlerror();
    auto* entry =
        module ? reinterpret_cast<const void* (*)()>(dlsym(module, "vlm_module_entry")) : nullptr;
    if (module && !entry) why = dlerror();
    if (!entry)
      throw std::runtime_error("cannot load " + what + " (" + file.string() +
                               "): " + (why ? why : "it has no entry"));
    return entry();
  }
  std::string looked;
  for (const std::filesystem::path& file : places)
    looked += (looked.empty() ? "" : ", ") + file.string();
  throw std::runtime_error(what + " is missing: " + name + ".so is not installed beside vlmhost (" +
                           looked + ")");
}

template <typename Table>
const Table& Loaded(const std::string& name, const std::string& what) {
  static std::mutex mutex;
  static const Table* table = nullptr;
  const std::lock_guard lock(mutex);
  if (!table) table = static_cast<const Table*>(Load(name, what));
  return *table;
}

}  // namespace

std::vector<std::filesystem::path> ModulePlaces(const std::string& name) {
  const std::filesystem::path bin = host::ThisProgram().parent_path();
  return {(bin / VLM_INSTALLED_MODULES / (name + ".so")).lexically_normal(),
          (bin / VLM_BUILT_MODULES / (name + ".so")).lexically_normal()};
}

const WindowsModule& Windows() {
  return Loaded<WindowsModule>("vlmhost_windows", "vlmhost's windows");
}

const ModelsModule& Models() {
  return Loaded<ModelsModule>("vlmhost_models", "vlmhost's reader and writer of models");
}

}  // namespace vlm::app

// The models' functions as the rest of the program calls them, each through the module.
namespace vlm::host {

ImportedModel ImportModel(const std::filesystem::path& model, const ImportOptions& options) {
  return app::Models().importModel(model, options);
}

ImportedModel ImportModels(const std::vector<std::filesystem::path>& models,
                           const ImportOptions& options) {
  return app::Models().importModels(models, options);
}

ImportedModel ImportModelFromMemory(std::string_view bytes, const std::string& formatHint,
                                    const std::string& origin, const ImportOptions& options) {
  return app::Models().importModelFromMemory(bytes, formatHint, origin, options);
}

std::string ModelFormatFor(const std::filesystem::path& target) {
  return app::Models().modelFormatFor(target);
}

void ExportModel(const HostDocument& document, const std::filesystem::path& target) {
  app::Models().exportModel(document, target);
}

void ExportModelTaking(std::unique_ptr<HostDocument> document,
                       const std::filesystem::path& target) {
  app::Models().exportModelTaking(std::move(document), target);
}

}  // namespace vlm::host
