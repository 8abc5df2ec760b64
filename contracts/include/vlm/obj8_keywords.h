// The words of an OBJ8 text file that Wingform writes and the host's OBJ8 reader reads: the
// three header lines, then one command a line, its keyword first.
#pragma once

#include <cstddef>
#include <string_view>

namespace vlm::obj8 {

// The header: the line ends of the machine that wrote the file ("I": CR LF, which Wingform
// writes; "A": LF), the format's version (a comment may follow it on its line) and the kind
// of file.
inline constexpr std::string_view PlatformPc = "I";
inline constexpr std::string_view PlatformApple = "A";
inline constexpr std::string_view Version = "800";
inline constexpr std::string_view ObjectKind = "OBJ";
// What every line Wingform writes ends with.
inline constexpr std::string_view LineEnd = "\r\n";
// A word starting with this starts a comment that runs to the end of its line.
inline constexpr char CommentStart = '#';

// The textures: the daytime one, the one lit at night and the normal map.
inline constexpr std::string_view Texture = "TEXTURE";
inline constexpr std::string_view TextureLit = "TEXTURE_LIT";
inline constexpr std::string_view TextureNormal = "TEXTURE_NORMAL";

// The counts of the tables that follow: vertices, line vertices, lights and indices.
inline constexpr std::string_view PointCounts = "POINT_COUNTS";
// A vertex: position, normal and texture coordinates.
inline constexpr std::string_view Vertex = "VT";
// A vertex of a line (position and colour) and a light of the LIGHTS command (the same).
inline constexpr std::string_view LineVertex = "VLINE";
inline constexpr std::string_view LightVertex = "VLIGHT";
// Ten indices on one line, and one.
inline constexpr std::string_view Index10 = "IDX10";
inline constexpr std::string_view Index = "IDX";
inline constexpr size_t Index10Count = 10;

// The commands: triangles (the first index and the count), then the states that apply to
// the triangles after them, each named with AttributePrefix.
inline constexpr std::string_view Tris = "TRIS";
inline constexpr std::string_view AttributePrefix = "ATTR_";
inline constexpr std::string_view AttrLod = "ATTR_LOD";  // near and far distance
inline constexpr std::string_view AttrNoCull = "ATTR_no_cull";
inline constexpr std::string_view AttrCull = "ATTR_cull";

}  // namespace vlm::obj8
