// A scene named on the command line: a file, or a standard stream for "-".
#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace vlm::host {

class HostDocument;

// Whether the argument stands for standard input or output.
bool IsStandardStream(const std::filesystem::path& path);

// A scene file, or standard input for "-".
std::unique_ptr<HostDocument> LoadSceneArgument(const std::filesystem::path& scene);

}  // namespace vlm::host
