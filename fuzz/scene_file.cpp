// The scene file: text that reads as a scene writes back as text that reads again, and the
// second write is the first one byte for byte; the path of every group and object, whatever
// its name, leads back to it.
#include "scene/scene_file.h"
#include "fuzz_support.h"
#include "vlm/error.h"

namespace {

// Every group and object below `node` is found again by its path; `budget` bounds the walk.
void CheckPaths(const vlm::host::HostDocument& document, const vlm::host::HostNode& node,
                int& budget) {
  for (const auto& mesh : node.meshes) {
    if (--budget < 0) return;
    std::string problem;
    vlm::fuzz::Check(document.FindMesh(mesh->Path(), &problem) == mesh.get(),
                     "an object's path leads back to it", mesh->Path() + "\n" + problem);
  }
  for (const auto& child : node.children) {
    if (--budget < 0) return;
    std::string problem;
    vlm::fuzz::Check(document.FindGroup(child->Path(), &problem) == child.get(),
                     "a group's path leads back to it", child->Path() + "\n" + problem);
    CheckPaths(document, *child, budget);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vlm;
  std::unique_ptr<host::HostDocument> document;
  try {
    document = host::ParseScene(fuzz::Text(data, size), "fuzz.json");
  } catch (const Error& e) {
    fuzz::Check(e.Description().starts_with("fuzz.json: "), "a reading error names the file",
                e.Description());
    return 0;
  }
  int budget = 200;
  CheckPaths(*document, document->Root(), budget);
  std::string first;
  try {
    first = host::SerializeScene(*document);
  } catch (const Error& e) {
    fuzz::Check(false, "a scene that reads can be written", e.Description());
  }
  std::string second;
  try {
    second = host::SerializeScene(*host::ParseScene(first, "written.json"));
  } catch (const Error& e) {
    fuzz::Check(false, "a written scene reads and writes again", e.Description() + "\n" + first);
  }
  fuzz::Check(first == second, "writing a scene read back from a write changes nothing",
              first + "\n----\n" + second);
  return 0;
}
