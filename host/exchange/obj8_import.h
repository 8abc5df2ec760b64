// X-Plane OBJ8 files, as Wingform writes them, brought back into a scene document.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/model_import.h"
#include "exchange/obj8_file.h"

namespace vlm::host {

// The custom field, of groups and of materials alike, that holds what the OBJ8 files said
// beyond triangles, as OBJ8 lines ("\n" between them; docs/obj8-in-scenes.md):
// - a material's drawing state, the cull line first ("ATTR_cull" or "ATTR_no_cull"), then each
//   ATTR_ line in force that is not at its default (hard surface, blending, manipulator, ...);
// - the top group's header lines (GLOBAL_..., BLEND_GLASS, TILTED, ...);
// - an animation group's ANIM_ lines, its frame being where they put its geometry with every
//   dataref at 0;
// - an item group's line: a light, smoke puff, emitter, magnet, LINES or LIGHTS with its VLINE
//   or VLIGHT lines, or a command the reader does not know.
inline constexpr const char* kObj8Field = "OBJ8";

// The files of one export (house.obj, house.1.obj, ...: one per texture set) under one top
// group, named options.name or after the first file. Each level of detail (ATTR_LOD) is a group
// named with its range ("LOD 0-300"), nearest first; what lies outside any level goes straight
// into the top group. Each animation (ANIM_begin ... ANIM_end) is a group inside the level or
// animation it lies in, and each light or other item a group of its own. Each group gives one
// object per texture set and drawing state, named after its texture, whose material is named
// after the texture and holds the three texture names (TEXTURE as the diffuse, TEXTURE_LIT as
// the bump and TEXTURE_NORMAL as the detail map, as Wingform takes them) and the drawing state
// (kObj8Field). What Wingform did to the scene is undone: the mirrored z of positions and
// normals, and v counted from the bottom of the image; positions are in metres (times
// options.scale), the triangles of each object come in the order the scene held them, and the
// objects in the order (the last file's first) that Wingform, run again on the top group
// without levels of detail, writes the same files in. What the scene cannot keep, or what
// X-Plane reads otherwise than it stands (a texture name with a blank), is a log line, which
// the commands give as a warning. vlm::Error (5) naming the file and line for a damaged file.
ImportedModel ImportObj8(const std::vector<Obj8File>& files, const ImportOptions& options = {});
ImportedModel ImportObj8Files(const std::vector<std::filesystem::path>& files,
                              const ImportOptions& options = {});

}  // namespace vlm::host
