// A scene with one group "G" and fresh settings, on which a tool plug-in runs with a dialog
// script.
#pragma once

#include <string>
#include <vector>

#include "scene/builder.h"
#include "support/dialogs.h"
#include "support/temp_home.h"

namespace vlm::test {

template <class Tool>
struct ToolScene {
  TempHome home;
  host::HostDocument doc;
  host::HostNode& group = host::AddGroup(doc.Root(), "G");
  std::vector<std::string> messages;

  // Selects a whole object, or the given faces of it.
  void select(host::HostMesh& mesh, std::vector<int32_t> faces = {}) {
    doc.scriptingSelection.objects.push_back({&mesh, faces.empty() ? 0 : 1, std::move(faces)});
  }
  Status run(const std::string& script = {}) {
    ScriptedScope scope(script);
    Tool tool;
    Status s = tool.Plugin_Apply(&doc, &doc, 0, {}, {}, "");
    messages = scope.Messages();
    return s;
  }
};

}  // namespace vlm::test
