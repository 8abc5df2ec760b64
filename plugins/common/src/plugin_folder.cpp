#include "vlm/plugin_folder.h"

#include "vlm/component.h"
#include "vlm/forms.h"

namespace vlm {

std::filesystem::path PluginFolder(const void* anchor) {
  return ModulePathOf(anchor).parent_path();
}

void SetPluginHelpFile(const void* anchor) {
  // The suffix is the host's own text, backslash included.
  SetHelpFile(PluginFolder(anchor).string() + "\\vlmplugins.chm");
}

}  // namespace vlm
