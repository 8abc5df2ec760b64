// X-Plane OBJ8 files, as Wingform writes them, brought back into a scene document.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/model_import.h"
#include "exchange/obj8_file.h"

namespace vlm::host {

// The material custom field that says how the triangles of a material were drawn:
// "ATTR_no_cull" (both sides) or "ATTR_cull" (front side only, the default of the format).
inline constexpr const char* kObj8CullField = "OBJ8";

// The files of one export (house.obj, house.1.obj, ...: one per texture set) under one top
// group, named options.name or after the first file. Each level of detail (ATTR_LOD) is a group
// named with its range ("LOD 0-300"); triangles outside any level go straight into the top group.
// Each file gives one object per level, named after its texture, whose material is named after
// the texture and holds the three texture names (TEXTURE as the diffuse, TEXTURE_LIT as the
// bump and TEXTURE_NORMAL as the detail map, as Wingform takes them) and the cull state
// (kObj8CullField). What Wingform did to the scene is undone: the mirrored z of positions and
// normals, and v counted from the bottom of the image; positions are in metres (times
// options.scale), and the triangles of each object come in the order the scene held them.
// Lines the reader does not know, and state commands other than the cull state, are counted
// by keyword in one log line per file. vlm::Error (5) naming the file and line for a damaged file.
ImportedModel ImportObj8(const std::vector<Obj8File>& files, const ImportOptions& options = {});
ImportedModel ImportObj8Files(const std::vector<std::filesystem::path>& files,
                              const ImportOptions& options = {});

}  // namespace vlm::host
