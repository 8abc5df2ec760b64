// Reading a rail-sim IGS geometry file (the binary file Trackline writes) into a plain
// structure of its records.
//
// The reader follows the header's offsets to every array, checks that each record lies inside
// the file, that every reference lands on a record of the array it names, that parents and
// children agree and that the texture name table is whole, and gives the records back with
// their references turned into indices. It never reads outside the bytes it is given. A file
// that breaks one of these rules is damaged: vlm::Error naming the file, the record and the
// byte offset where the problem is. Layouts that read well but differ from the order Trackline
// writes (a gap between sections, bytes after the end) are kept as notes instead.
//
// Text fields hold 8-bit characters (Latin-1); the structure keeps their bytes as the file has
// them, up to the field's first 0 byte.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "vlm/format_limits.h"
#include "vlm/igs_layout.h"

namespace vlm::host {

// The sizes of the records (vlm/igs_layout.h, the layout the exporter writes) and the fixed
// limits of the format.
inline constexpr size_t kIgsHeaderSize = igs::HeaderSize;
inline constexpr size_t kIgsMaterialSize = igs::MaterialSize;
inline constexpr size_t kIgsVertexSize = igs::VertexSize;
inline constexpr size_t kIgsTriangleSize = igs::TriangleSize;
inline constexpr size_t kIgsMeshSize = igs::MeshSize;
inline constexpr size_t kIgsMeshRefSize = igs::MeshRefSize;
inline constexpr size_t kIgsBlockSize = igs::BlockSize;
inline constexpr size_t kIgsChunkSize = igs::TextureNameChunkSize;
inline constexpr int32_t kIgsVersion = igs::FormatVersion;
// The limits, as the exporter keeps them (vlm/format_limits.h).
inline constexpr size_t kIgsBlockNameSize = igs::BlockNameSize;  // a name may fill the field
inline constexpr size_t kIgsMaterialNameSize = igs::MaterialNameSize;
inline constexpr size_t kIgsShaderNameSize = igs::ShaderNameSize;
inline constexpr int32_t kIgsMaxMaterials = igs::MaxMaterials;  // distinct materials of one file
inline constexpr int32_t kIgsMaxTextures = igs::MaxTextures;    // distinct texture references
inline constexpr int32_t kIgsMaxTextureNames = igs::MaxTextureNames;  // texture name table
inline constexpr int32_t kIgsMaxChildren = igs::MaxChildren;          // children a block lists
inline constexpr int32_t kIgsMaxStages = igs::MaxStages;          // texture stages of a material
inline constexpr int32_t kIgsMaxLevelNodes = igs::MaxLevelNodes;  // custom levels of one export

struct IgsStageRecord {
  int32_t texture = 0;      // the number the file gives (10 + 100 x material + stage), 0: none
  std::string textureName;  // its entry of the texture name table ("textures\wood"), or ""
  int32_t filtermode = 0;
  int32_t value40 = 0;
  float miplodbias = 0;
  int32_t animateUV = 0, frames = 0, fps = 0, scrollUVs = 0;
  float scrollu = 0, scrollv = 0;
  std::array<float, 5> arg{};
};

struct IgsMaterialRecord {
  uint32_t offset = 0;                 // of the record in the file
  std::string name;                    // "material0", "shadow_material3", "weatherglass_1"
  std::string shader;                  // "TexDiff", "TrainBumpSpecular.fx"
  std::vector<IgsStageRecord> stages;  // the stages in use (at most kIgsMaxStages)
  int32_t neverocclude = 0, alphaPriority = 0, zbias = 0, transparency = 0, zbuffermode = 0;
  int32_t backFacecull = 0, twoSided = 0, viewfacing = 0, vismod = 0;
  std::array<float, 4> ambient{}, diffuse{}, emissive{};
  float specular = 0;
  std::string bytes;  // the whole record as the file holds it (kIgsMaterialSize bytes)
};

struct IgsVertexRecord {
  std::array<float, 3> position{}, normal{};
  int32_t texCoordSets = 0;  // 0 to 8
  std::array<std::array<float, 2>, 8> texCoords{};
  std::array<float, 4> colour{};
  int32_t material = -1;  // index into IgsContents::materials
  int32_t boneCount = 0;  // 0 to 8
};

struct IgsTriangleRecord {
  std::array<int32_t, 3> vertices{};  // indices into the mesh's vertices, as stored
  std::array<float, 3> normal{};
  int32_t fanFlag = 0;    // 1 starts a fan, 5 continues it, 4 ends it
  int32_t material = -1;  // index into IgsContents::materials
};

struct IgsMeshRecord {
  uint32_t offset = 0;
  uint32_t vertexArray = 0, triangleArray = 0;  // file offsets of its arrays
  std::array<float, 3> min{}, max{};            // its bounding box
  std::vector<IgsVertexRecord> vertices;
  std::vector<IgsTriangleRecord> triangles;
};

struct IgsBlockRecord {
  uint32_t offset = 0;
  std::string name;                   // "1_1000_Hangar"
  int32_t number = 0;                 // as stored: its index + 1
  std::array<float, 16> transform{};  // relative to the parent, row-major, translation 12-14
  int32_t parent = -1;                // index, -1 for a top-level block
  std::vector<int32_t> children;      // the children it lists (at most kIgsMaxChildren)
  std::vector<int32_t> meshes;        // the meshes of its mesh-refs, by index
  std::vector<float> meshDistances;   // each mesh-ref's distance (700)
  // The level of detail and distance its name starts with ("2_0400_Body": 2 and 400), 0 and
  // 0 when it starts otherwise.
  int32_t level = 0, distance = 0;
};

struct IgsContents {
  std::string origin;  // the file's name as messages give it
  uint64_t size = 0;   // bytes read
  int32_t version = 0;
  std::string shapeTag;  // "SHAPE"
  std::string comment;
  std::vector<IgsMaterialRecord> materials;
  std::vector<IgsMeshRecord> meshes;
  std::vector<IgsBlockRecord> blocks;     // in file order: depth first, parents before children
  std::vector<std::string> textureNames;  // the texture name table, in order
  uint32_t chunkOffset = 0;               // where the texture name chunk header starts, 0: none
  // Layouts that read well but that Trackline does not write, one line each ("the mesh array
  // starts at 5000, where the previous section ended at 4980").
  std::vector<std::string> notes;

  // The blocks without a parent, in order: one per level of detail of an export.
  std::vector<int32_t> TopBlocks() const;
  // Blocks whose parent does not list them: the parent already lists kIgsMaxChildren.
  std::vector<int32_t> UnlistedBlocks() const;
};

// How close a file comes to the format's limits: the largest of each, and which item it is.
struct IgsUsage {
  size_t longestBlockName = 0;  // bytes, of kIgsBlockNameSize
  std::string longestBlock;
  size_t longestMaterialName = 0;  // of kIgsMaterialNameSize
  size_t longestShader = 0;        // of kIgsShaderNameSize
  std::string longestShaderMaterial;
  int32_t materials = 0;         // of kIgsMaxMaterials
  int32_t distinctTextures = 0;  // of kIgsMaxTextures
  int32_t textureNames = 0;      // of kIgsMaxTextureNames
  int32_t mostChildren = 0;      // children of one block (listed or not), of kIgsMaxChildren
  std::string mostChildrenBlock;
  int32_t unlistedChildren = 0;  // blocks their parent could not list
  int32_t levels = 0;            // top-level blocks (levels of detail), of kIgsMaxLevelNodes
  int32_t blocks = 0, meshes = 0, vertices = 0, triangles = 0;
};
IgsUsage UsageOf(const IgsContents& contents);

// Whether the bytes start as an IGS file does ("KIGF").
bool LooksLikeIgs(std::string_view firstBytes);

// Reads the records of a whole file held in `bytes`; `origin` names the file in messages.
// vlm::Error (5) naming the file, the record and the byte offset for a damaged file.
IgsContents ReadIgs(std::string_view bytes, const std::string& origin);
// The same from a file: also vlm::Error (53) when it cannot be read.
IgsContents ReadIgsFile(const std::filesystem::path& file);

}  // namespace vlm::host
