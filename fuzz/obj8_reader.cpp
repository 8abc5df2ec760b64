// The host's OBJ8 reader and the import built on it: any bytes give a file or an error that
// names the file and a line; a file read imports as a scene that can be saved, with one
// triangle for each triangle its TRIS commands draw.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "exchange/obj8_file.h"
#include "exchange/obj8_import.h"
#include "fuzz_support.h"
#include "scene/scene_file.h"
#include "vlm/error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vlm;
  const std::string_view bytes = fuzz::Text(data, size);
  host::Obj8File file;
  try {
    file = host::ReadObj8(bytes, "fuzz.obj");
  } catch (const Error& e) {
    fuzz::Check(e.Description().starts_with("fuzz.obj: line "),
                "a reading error names the file and the line", e.Description());
    return 0;
  }
  fuzz::Check(host::IsObj8(bytes), "a file read has OBJ8's header");
  for (const host::Obj8Command& c : file.commands)
    if (c.kind == host::Obj8Command::Kind::Tris)
      fuzz::Check(c.offset + c.count <= static_cast<int64_t>(file.indices.size()),
                  "a TRIS range lies in the index list");
  const size_t tables = std::max(file.vertices.size(), file.lineVertices.size());
  for (int32_t index : file.indices)
    fuzz::Check(index >= 0 && static_cast<size_t>(index) < tables,
                "an index names a vertex or a line vertex");
  std::unique_ptr<host::HostDocument> document;
  try {
    document = host::ImportObj8({file}).document;
  } catch (const Error& e) {
    fuzz::Check(false, "a file read imports", e.Description());
  }
  size_t faces = 0;
  std::vector<const host::HostNode*> groups{&document->Root()};
  while (!groups.empty()) {
    const host::HostNode* group = groups.back();
    groups.pop_back();
    for (const auto& mesh : group->meshes)
      faces += mesh->FaceCount();
    for (const auto& child : group->children)
      groups.push_back(child.get());
  }
  fuzz::Check(static_cast<int64_t>(faces) == file.TriangleCount(),
              "the import has a face for each triangle drawn");
  try {
    host::SerializeScene(*document, "fuzz.json");
  } catch (const Error& e) {
    fuzz::Check(false, "an imported file writes as a scene file", e.Description());
  }
  return 0;
}
