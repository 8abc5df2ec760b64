// vlmhost register and unregister.
#include "cli/register_commands.h"

#include <functional>
#include <ostream>

#include "vlm/component.h"
#include "vlm/error.h"

namespace vlm::host {
namespace {

// Runs `action` on each library; a library that fails is reported and the others still run.
int ForEachLibrary(const std::vector<std::filesystem::path>& libraries, std::ostream& err,
                   const std::function<void(const std::filesystem::path&)>& action) {
  int status = ExitOk;
  for (const auto& library : libraries) {
    try {
      action(library);
    } catch (const Error& e) {
      err << "error: " << e.Description() << "\n";
      status = ExitBadInput;
    }
  }
  return status;
}

}  // namespace

int RegisterCommand(const std::vector<std::filesystem::path>& libraries, std::ostream& out,
                    std::ostream& err) {
  return ForEachLibrary(libraries, err, [&](const std::filesystem::path& library) {
    std::vector<std::string> ids = RegisterServer(library);
    for (const auto& id : ids)
      out << "registered " << id << " (" << library.string() << ")\n";
    if (ids.empty()) out << "registered nothing from " << library.string() << "\n";
  });
}

int UnregisterCommand(const std::vector<std::filesystem::path>& libraries, std::ostream& out,
                      std::ostream& err) {
  return ForEachLibrary(libraries, err, [&](const std::filesystem::path& library) {
    UnregisterServer(library);
    out << "unregistered " << library.string() << "\n";
  });
}

}  // namespace vlm::host
