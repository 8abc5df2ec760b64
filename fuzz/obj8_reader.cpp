// The host's OBJ8 reader and the import built on it: any bytes give a file or an error that
// names the file and a line; a file read imports as a scene that can be saved, with one
// triangle for each triangle its TRIS commands draw; and written back by Wingform with its
// levels as they are and imported again, it is the same object: the same triangles under the
// same animations and levels with the same drawing states, the same items, the same header.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "exchange/model_import.h"
#include "exchange/obj8_file.h"
#include "exchange/obj8_import.h"
#include "fuzz_support.h"
#include "scene/document.h"
#include "scene/scene_file.h"
#include "support/dialogs.h"
#include "vlm/error.h"
#include "vlm/warnings.h"
#include "wingform/wingform.h"

namespace {

using namespace vlm;

// What X-Plane makes of a scene's object, counted: each triangle and item under the chain of
// levels and animations it lies in, with its drawing state; and the header.
std::map<std::string, int64_t> Semantics(host::HostDocument& document) {
  std::map<std::string, int64_t> out;
  const int32_t field = document.FindNodeField(host::kObj8Field);
  const int32_t state = document.FindMaterialField(host::kObj8Field);
  const auto text = [](const std::string& t) { return t.empty() ? std::string("-") : t; };
  std::function<void(const host::HostNode&, const std::string&)> walk =
      [&](const host::HostNode& node, const std::string& chain) {
        for (const auto& mesh : node.meshes)
          for (size_t f = 0; f < mesh->FaceCount(); ++f) {
            host::HostMaterial* m = mesh->FaceMaterial(f);
            ++out[chain + " | " + text(m && state >= 0 ? m->GetCustomField(state) : "")];
          }
        for (const auto& child : node.children) {
          const std::string lines = field >= 0 ? child->Field(field) : "";
          if (!lines.empty() && child->children.empty() && child->meshes.empty() &&
              lines.find("ANIM_") != 0) {
            ++out[chain + " item " + lines];  // an item
          } else {
            const bool level = child->name.starts_with("LOD ");
            walk(*child, chain + " > " + (level ? child->name : text(lines)));
          }
        }
      };
  const host::HostNode& top = *document.Root().children.at(0);
  walk(top, "");
  out["header " + text(field >= 0 ? top.Field(field) : "")] = 1;
  return out;
}

bool ControlCharacters(const std::string& name) {
  return std::any_of(name.begin(), name.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

void RoundTrip(const host::Obj8File& file, host::HostDocument& document) {
  // Wingform stops at a texture name that would break its lines.
  if (std::any_of(file.textures.begin(), file.textures.end(), ControlCharacters)) return;
  static const bool quiet = (SetWarningSink([](const std::string&) {}), true);
  (void)quiet;
  const std::filesystem::path folder = fuzz::ScratchFolder() / "again";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  host::HostNode& top = *document.Root().children.at(0);
  test::ScriptedScope dialogs("optLOD(2)=1; click cmdOK; click cmdCancel");
  Wingform wingform;
  const Status status = wingform.PluginImportExport_Export(
      (folder / "again.obj").string(), &top.AsNode(), &document, nullptr, {}, {}, "");
  const bool written = status == StatusOk && std::filesystem::exists(folder / "again.obj");
  const std::map<std::string, int64_t> first = Semantics(document);
  // Nothing to export ("Nothing to Export", or no file): no triangle and no item.
  if (!written) {
    fuzz::Check(first.size() == 1, "Wingform writes an object that holds something",
                LastError().description);
    return;
  }
  std::unique_ptr<host::HostDocument> again;
  try {
    again = host::ImportModel(folder / "again.obj", {top.name}).document;
  } catch (const Error& e) {
    fuzz::Check(false, "what Wingform wrote reads back", e.Description());
  }
  const std::map<std::string, int64_t> second = Semantics(*again);
  std::string detail;
  for (const auto& [what, count] : first)
    if (second.count(what) == 0 || second.at(what) != count)
      detail += "first " + std::to_string(count) + ": " + what + "\n";
  for (const auto& [what, count] : second)
    if (first.count(what) == 0 || first.at(what) != count)
      detail += "again " + std::to_string(count) + ": " + what + "\n";
  if (!detail.empty()) {
    std::ifstream in(folder / "again.obj", std::ios::binary);
    detail += "written:\n" + std::string(std::istreambuf_iterator<char>(in), {}).substr(0, 4000);
  }
  fuzz::Check(detail.empty(), "the object written back reads as the same object", detail);
}

}  // namespace

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
  RoundTrip(file, *document);
  return 0;
}
