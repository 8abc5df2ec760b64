// What X-Plane authors trip over in an OBJ8 file's own lines, and in the OBJ8 data a scene
// carries (vlmhost validate --for obj8): level ranges, keyed animations, manipulators without
// the animation they move, the numbers of lights and other items, and the texture files X-Plane
// loads. The checks and their severities are listed in docs/checking-files.md.
#pragma once

#include <filesystem>
#include <vector>

#include "cli/scene_checks.h"
#include "exchange/obj8_file.h"

namespace vlm::host {

// The findings on the file's own lines, in the order of its lines: kind "file", path the file's
// origin and `line` the line each is on. Textures are looked for from `folder`, the file's.
std::vector<Finding> CheckObj8File(const Obj8File& file, const std::filesystem::path& folder);

// The findings on the OBJ8 data of what `scope` takes (the OBJ8 fields of its groups and of its
// faces' materials): animation groups whose lines cannot be read or whose keyed tables fall
// short, manipulators without the animation they need, items whose numbers are not numbers.
// Groups the OBJ8 export leaves out (animated ones) are left out here too.
std::vector<Finding> CheckObj8Data(const HostDocument& document, const CheckScope& scope);

}  // namespace vlm::host
