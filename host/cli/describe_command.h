// vlmhost describe: every form a plug-in can open and every control on it.
#pragma once

#include <iosfwd>
#include <string>

namespace vlm::host {

// Prints the forms of the class registered under `progId`, as a first run shows them (no
// remembered settings are read or written), as text or as JSON. Returns the exit status.
int DescribeCommand(const std::string& progId, bool json, std::ostream& out, std::ostream& err);

}  // namespace vlm::host
