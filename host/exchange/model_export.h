// A scene document written in a common model format through the exchange library's exporters.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "scene/document.h"

namespace vlm::host {

// The format that a file name's extension selects (".glb", ".gltf", ".obj", ".dae", ".ply",
// ".stl", in any case); empty when there is none.
std::string ModelFormatFor(const std::filesystem::path& target);

// Writes every group (with its frame), object and material of the document to `target`, and
// the files that go with it (an OBJ's materials, a glTF's buffer) beside it, each through
// WriteOutputFile. Triangles where the format holds nothing else (glTF, STL), polygons
// elsewhere. vlm::Error (5) for an extension no exporter serves or an exporter that fails.
void ExportModel(const HostDocument& document, const std::filesystem::path& target);
// The same for a document read only to be written: each object is let go as soon as it is
// converted, and the rest of the document before the exporter runs.
void ExportModelTaking(std::unique_ptr<HostDocument> document, const std::filesystem::path& target);

}  // namespace vlm::host
