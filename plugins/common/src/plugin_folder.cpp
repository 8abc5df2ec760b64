#include "vlm/plugin_folder.h"

#include "vlm/component.h"
#include "vlm/forms.h"
#include "vlm/refusal.h"

namespace vlm {

std::filesystem::path PluginFolder(const void* anchor) {
  return ModulePathOf(anchor).parent_path();
}

std::string PluginHelpFile(const std::filesystem::path& folder) {
  // The suffix is the host's own text, backslash included.
  return folder.string() + "\\vlmplugins.chm";
}

void SetPluginHelpFile(const void* anchor) {
  SetHelpFile(PluginHelpFile(PluginFolder(anchor)));
}

void ReportPluginError(const Error& error) {
  ReportRunError(error, std::to_string(error.Number()) + "\r" + error.Description(), mb::Critical,
                 "Plugin Error");
}

}  // namespace vlm
