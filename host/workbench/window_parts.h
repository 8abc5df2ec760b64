// What the workbench window's files share: text for Qt, and picked faces as the view draws them.
#pragma once

#include <QString>
#include <string>
#include <vector>

#include "cli/selection_text.h"
#include "workbench/scene_mesh.h"

namespace vlm::workbench::window {

QString Q(const std::string& text);
std::vector<FaceRef> ViewFaces(const std::vector<host::FaceHit>& hits);

}  // namespace vlm::workbench::window
