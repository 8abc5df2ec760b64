// The plug-in's own folder and the help file its dialogs open.
#pragma once

#include <filesystem>
#include <string>

#include "vlm/error.h"

namespace vlm {

// The folder of the library that holds `anchor` (the address of one of its functions).
std::filesystem::path PluginFolder(const void* anchor);

// The help file in a plug-in folder: the folder followed by "\vlmplugins.chm".
std::string PluginHelpFile(const std::filesystem::path& folder);

// Sets the help file of the dialogs to the plug-in's folder followed by "\vlmplugins.chm",
// the plug-in help the host installs there.
void SetPluginHelpFile(const void* anchor);

// The error handler of the FS10 editors: the message box "Plugin Error" with the error
// number, a carriage return and the description.
void ReportPluginError(const Error& error);

}  // namespace vlm
