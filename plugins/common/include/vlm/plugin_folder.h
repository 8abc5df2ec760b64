// The plug-in's own folder and the help file its dialogs open.
#pragma once

#include <filesystem>
#include <string>

namespace vlm {

// The folder of the library that holds `anchor` (the address of one of its functions).
std::filesystem::path PluginFolder(const void* anchor);

// Sets the help file of the dialogs to the plug-in's folder followed by "\vlmplugins.chm",
// the plug-in help the host installs there.
void SetPluginHelpFile(const void* anchor);

}  // namespace vlm
