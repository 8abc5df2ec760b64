// What would make an export of a scene fail, or look wrong in the simulator, found without
// exporting (vlmhost validate).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vlm::host {

class HostDocument;
class HostNode;
class HostMesh;

enum class ExportFormat { Obj8, Igs };

// One thing found. An error stops the export, or what it writes does not show in the
// simulator as the scene does (a texture missing, a block left unlinked); a warning may look
// wrong or cost the simulator.
struct Finding {
  bool error = false;
  std::string check;  // "missing-texture", "zero-area-face", ... (docs/checking-files.md)
  std::string kind;   // "group", "object", "material", "scene" or "file"
  std::string path;   // a group's or object's path as --select takes it; a material's name;
                      // a file as it was named
  std::string reason;
  int64_t line = 0;  // kind "file": the line of the file it is on, counted from 1
};

// What an export would take: whole groups (their subtrees), and objects, all of their faces
// or only some.
struct CheckScope {
  std::vector<const HostNode*> groups;
  struct ObjectFaces {
    const HostMesh* mesh = nullptr;
    bool allFaces = true;
    std::vector<int32_t> faces;  // without allFaces
  };
  std::vector<ObjectFaces> objects;
};

// The scope of the document's scripting selection (as --select set it): its groups and
// objects; the root when nothing is selected.
CheckScope ScopeOfSelection(const HostDocument& document);

// The findings for an export of `scope` to `format`, in the order of the tree, then (OBJ8)
// those of the scene's OBJ8 data (CheckObj8Data). Texture files are looked for as the scene
// names them: relative to `sceneFolder`. `fromCheckedObj8` says the document was imported from
// OBJ8 files whose own lines CheckObj8File has checked: their textures, level ranges and OBJ8
// data, found there by line, are not checked again.
std::vector<Finding> CheckForExport(const HostDocument& document, const CheckScope& scope,
                                    ExportFormat format, const std::filesystem::path& sceneFolder,
                                    bool fromCheckedObj8 = false);

}  // namespace vlm::host
