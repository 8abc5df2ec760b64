// What each deliverable shows the loader: its dynamic symbol table holds the four entry points
// and nothing else, so two plug-ins loaded together never share a helper by accident.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>

namespace vlm {
namespace {

// The names `nm` lists as defined in the dynamic symbol table of a library.
std::set<std::string> ExportedNames(const std::filesystem::path& library) {
  const std::string command = "nm -D --defined-only '" + library.string() + "' 2>&1";
  std::set<std::string> names;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return {"(nm did not start)"};
  char line[4096];
  while (std::fgets(line, sizeof line, pipe)) {
    std::istringstream fields(line);
    std::string address, type, name;
    if (fields >> address >> type >> name)
      names.insert(name);
    else
      names.insert(line);  // an error from nm shows in the failure
  }
  if (pclose(pipe) != 0) names.insert("(nm failed)");
  return names;
}

TEST(PluginExports, OnlyTheFourEntryPoints) {
  const std::set<std::string> entryPoints = {"DllCanUnloadNow", "DllGetClassObject",
                                             "DllRegisterServer", "DllUnregisterServer"};
  for (const char* plugin : {"obverse", "ridgepull", "stairwright", "shrink", "flare", "wingform",
                             "trackline", "glazier", "tether", "motive"}) {
    const auto library =
        std::filesystem::path(VLM_TEST_PLUGIN_DIR) / ("lib" + std::string(plugin) + ".so");
    EXPECT_EQ(ExportedNames(library), entryPoints) << library;
  }
}

}  // namespace
}  // namespace vlm
