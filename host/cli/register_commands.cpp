// vlmhost register and unregister.
#include "cli/register_commands.h"

#include <algorithm>
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

std::vector<std::filesystem::path> PluginsBeside(const std::filesystem::path& program,
                                                 const std::filesystem::path& installed) {
  const std::filesystem::path bin = program.parent_path();
  std::vector<std::filesystem::path> out;
  for (const auto& folder : {bin / installed, bin.parent_path() / "plugins"}) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
      if (entry.path().extension() == ".so" && entry.is_regular_file(ec))
        out.push_back(entry.path());
    if (!out.empty()) break;
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::filesystem::path ThisProgram() {
  std::error_code ec;
  std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? ModulePathOf(reinterpret_cast<const void*>(&ThisProgram)) : program;
}

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
