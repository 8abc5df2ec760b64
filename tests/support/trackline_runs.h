// Trackline's exports as its tests run them: a textured box scene, one export through the
// contract with a scripted dialog, and the file read back with the host's IGS reader.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "scene/builder.h"
#include "scene/document.h"
#include "support/dialogs.h"
#include "support/igs_contents.h"
#include "trackline/trackline.h"
#include "vlm/files.h"

namespace vlm::test {

inline host::HostMaterial& Textured(host::HostDocument& doc, const std::string& name,
                                    const std::string& texture) {
  host::HostMaterial& m = doc.NewMaterial(name);
  m.hasTextures = true;
  m.diffuseMap = texture;
  return m;
}

// One export through the contract, with a scripted dialog.
struct ExportRun {
  Status status = StatusOk;
  std::vector<std::string> log;
  std::vector<std::string> messages;
  std::vector<std::string> titles;  // of the message boxes
};

inline ExportRun Export(host::HostDocument& doc, host::HostNode* group,
                        const std::filesystem::path& file, const std::string& script = {}) {
  test::ScriptedScope dialogs(script);
  Trackline exporter;
  ExportRun run;
  Node* node = group ? &group->AsNode() : &doc.Root().AsNode();
  run.status = exporter.PluginImportExport_Export(file.string(), node, &doc, nullptr, {}, {}, "");
  run.log = dialogs.Texts(TranscriptEntry::Kind::Log);
  run.messages = dialogs.Messages();
  for (const auto& e : dialogs.Backend().Transcript())
    if (e.kind == TranscriptEntry::Kind::MessageBox) run.titles.push_back(e.title);
  return run;
}

// A file read back; the contents view into the bytes, which stay put when it moves.
struct Written {
  std::shared_ptr<const std::string> bytes;
  host::IgsContents igs;
};
inline Written ReadBack(const std::filesystem::path& file) {
  auto bytes = std::make_shared<const std::string>(ReadFile(file));
  return {bytes, test::ReadIgs(*bytes)};
}

inline std::vector<std::string> BlockNames(const host::IgsContents& igs) {
  std::vector<std::string> names;
  for (const auto& b : igs.blocks)
    names.push_back(b.name);
  return names;
}

inline std::vector<size_t> TriangleCounts(const host::IgsContents& igs) {
  std::vector<size_t> counts;
  for (const auto& m : igs.meshes)
    counts.push_back(m.triangles.size());
  return counts;
}

// A scene with one textured box in a group.
struct BoxScene {
  host::HostDocument doc;
  host::HostMaterial* alu;
  host::HostNode* group;
  explicit BoxScene(const std::string& name = "Box") {
    alu = &Textured(doc, "Alu", "Alu.bmp");
    group = &host::AddGroup(doc.Root(), name);
    host::AddBox(*group, "Shell", {0, 0, 0}, {1, 1, 1}, alu);
  }
};

}  // namespace vlm::test
