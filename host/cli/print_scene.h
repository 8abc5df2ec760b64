// A scene document as a readable tree, or as JSON for scripts.
#pragma once

#include <iosfwd>
#include <string>

namespace vlm::host {

class HostDocument;
class HostMesh;

// Each group and object with its path as --select takes it, quoted for the shell where it
// needs to be.
void PrintScene(const HostDocument& document, std::ostream& out);
// The whole tree (docs/scene-format.md, "show --json"): every group and object carries its
// path under "path"; frames, counts, materials, world-space boxes and custom fields.
void PrintSceneJson(const HostDocument& document, const std::string& file, std::ostream& out);
// The object's faces in world space: index, corners, material, centre and normal.
void PrintFaces(const HostMesh& mesh, bool asJson, std::ostream& out);

}  // namespace vlm::host
