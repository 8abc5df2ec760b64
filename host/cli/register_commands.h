// vlmhost register and unregister: plug-in libraries entered in and removed from the registry.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <vector>

#include "run/exit_status.h"

namespace vlm::host {

// Each library in turn; one that fails is reported on `err` and the others still go ahead.
// Return the exit status.
int RegisterCommand(const std::vector<std::filesystem::path>& libraries, std::ostream& out,
                    std::ostream& err);
// The plug-in libraries (*.so) beside the program whose real path is `program`: in the
// installed tree (the folder `installed`, relative to the program's: ../lib/vlm/plugins), else
// in the build tree (../plugins), sorted; none when neither holds any.
std::vector<std::filesystem::path> PluginsBeside(const std::filesystem::path& program,
                                                 const std::filesystem::path& installed);
// The real path of the running program (/proc/self/exe), wherever it was started from: a
// program found through PATH has no folder in the name it was started by.
std::filesystem::path ThisProgram();

int UnregisterCommand(const std::vector<std::filesystem::path>& libraries, std::ostream& out,
                      std::ostream& err);

}  // namespace vlm::host
