// The built plug-ins registered in the configuration folder ($VLM_HOME) from the test's own
// process: the registrations `vlmhost register` writes, without a program started for each.
#pragma once

#include <filesystem>
#include <initializer_list>
#include <string>

#include "vlm/component.h"

namespace vlm::test {

// Registers each library of the build's plug-in folder ("libobverse.so", ...); throws
// vlm::Error naming the library that fails.
inline void RegisterPlugins(std::initializer_list<const char*> libraries) {
  for (const char* library : libraries)
    RegisterServer(std::filesystem::path(VLM_TEST_PLUGIN_DIR) / library);
}

}  // namespace vlm::test
