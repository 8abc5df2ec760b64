// vlmhost register and unregister: plug-in libraries entered in and removed from the registry.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <vector>

#include "cli/exit_status.h"

namespace vlm::host {

// Each library in turn; one that fails is reported on `err` and the others still go ahead.
// Return the exit status.
int RegisterCommand(const std::vector<std::filesystem::path>& libraries, std::ostream& out,
                    std::ostream& err);
int UnregisterCommand(const std::vector<std::filesystem::path>& libraries, std::ostream& out,
                      std::ostream& err);

}  // namespace vlm::host
