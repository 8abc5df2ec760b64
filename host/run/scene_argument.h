// A scene named on the command line: a file, or a standard stream for "-"; where a command
// takes a scene, any model `vlmhost import` reads stands for the scene it would make.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <memory>
#include <string>

#include "exchange/model_reader_process.h"

namespace vlm::host {

class HostDocument;

// Whether the argument stands for standard input or output.
bool IsStandardStream(const std::filesystem::path& path);

// A scene file, or standard input for "-".
std::unique_ptr<HostDocument> LoadSceneArgument(const std::filesystem::path& scene);

// Whether the argument names a model to import rather than a scene: anything but "-", a file
// whose extension is ".json" (in any case), a device or pipe and, but for a ".gltf", a file of
// JSON text. A file that is not there is a model, which its import names.
bool IsModelArgument(const std::filesystem::path& argument);

// LoadSceneArgument for a scene; a model is imported in memory as `vlmhost import` reads it
// (in a child process under `limits`, with the same conventions), with the lines its import
// logs and its embedded textures. vlm::Error naming the file for either that cannot be read.
ImportedModel LoadSceneOrModel(const std::filesystem::path& argument, const ReaderLimits& limits);

// What an import left out or changed (the model's log lines), as warnings on `err`: a user
// who runs quietly, reads the report or a batch job's status still learns of it.
void WarnOfImport(const ImportedModel& model, std::ostream& err);

}  // namespace vlm::host
