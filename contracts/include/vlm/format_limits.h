// The fixed limits of the two file formats the exporters write, which the host checks a scene
// against before an export (vlmhost validate) and reports the margins to (vlmhost inspect).
#pragma once

#include <cstdint>

namespace vlm {

namespace igs {

// The fixed tables of the format.
inline constexpr int32_t MaxMaterials = 51;
inline constexpr int32_t MaxTextures = 51;
inline constexpr int32_t MaxTextureNames = 101;
inline constexpr int32_t MaxChildren = 24;
inline constexpr int32_t MaxStages = 8;
// Text fields, in bytes of the 8-bit code page; a text of exactly the field's size fills it.
inline constexpr int32_t BlockNameSize = 32;
inline constexpr int32_t MaterialNameSize = 128;
inline constexpr int32_t ShaderNameSize = 128;
// Custom levels of detail: the chosen node and its numbered siblings.
inline constexpr int32_t MaxLevelNodes = 10;
// Every block and mesh is placed by a 32-bit offset from the start of the file.
inline constexpr int64_t MaxFileSize = INT32_MAX;

}  // namespace igs

namespace obj8 {

// Levels of detail one object holds.
inline constexpr int32_t LevelCount = 3;
// A group with this many animation keys or more is left out of an export with its subtree.
inline constexpr int32_t AnimatedKeys = 3;

}  // namespace obj8

}  // namespace vlm
