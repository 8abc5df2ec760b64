// The scene file: text that reads as a scene writes back as text that reads again, and the
// second write is the first one byte for byte; the path of every group and object, whatever
// its name, leads back to it. Every value the fast parser reads, each number to the bit, is
// what the JSON library reads from the same text.
#include <cstring>

#include "fuzz_support.h"
#include "scene/scene_file.h"
#include "scene/scene_tree.h"
#include "vlm/error.h"

namespace {

using vlm::host::SceneJson;

// The same values of the same kinds; numbers compared bit for bit (0.0 and -0.0 differ).
bool SameJson(const SceneJson& a, const SceneJson& b) {
  if (a.type() != b.type() || a.size() != b.size()) return false;
  if (a.is_number_float()) {
    double x = a.get<double>(), y = b.get<double>();
    return std::memcmp(&x, &y, sizeof x) == 0;
  }
  if (!a.is_structured()) return a == b;
  for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j)
    if ((a.is_object() && i.key() != j.key()) || !SameJson(*i, *j)) return false;
  return true;
}

template <class T>
bool SameBits(const std::vector<T>& a, const std::vector<T>& b) {
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

bool SameList(const vlm::host::MeshList& a, const vlm::host::MeshList& b) {
  using vlm::Vec2, vlm::Vec3, vlm::host::FaceList;
  if (a.index() != b.index()) return false;
  if (const auto* faces = std::get_if<FaceList>(&a)) return *faces == std::get<FaceList>(b);
  if (const auto* points = std::get_if<std::vector<Vec3>>(&a))
    return SameBits(*points, std::get<std::vector<Vec3>>(b));
  return SameBits(std::get<std::vector<Vec2>>(a), std::get<std::vector<Vec2>>(b));
}

// What the fast parser makes of the text, the JSON library makes of it too.
void CheckBothParsers(std::string_view text) {
  using namespace vlm::host;
  std::optional<SceneTree> quick = ParseTreeFast(text, "fuzz.json");
  if (!quick) return;
  std::optional<SceneTree> plain;
  try {
    plain = ParseTreePlain(text, "fuzz.json");
  } catch (const vlm::Error& e) {
    vlm::fuzz::Check(false, "what the fast parser reads, the JSON library reads", e.Description());
  }
  vlm::fuzz::Check(SameJson(quick->root, plain->root),
                   "the fast parser reads every value as the JSON library does",
                   quick->root.dump() + "\n----\n" + plain->root.dump());
  bool same = quick->lists.size() == plain->lists.size();
  for (size_t i = 0; same && i < quick->lists.size(); ++i)
    same = SameList(quick->lists[i], plain->lists[i]);
  vlm::fuzz::Check(same, "the fast parser reads every list as the JSON library does");
}

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
  CheckBothParsers(fuzz::Text(data, size));
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
