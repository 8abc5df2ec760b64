// What the workbench window's files share: text for Qt, and picked faces as the view draws them.
#pragma once

#include <QString>
#include <string>
#include <vector>

#include "run/selection_text.h"
#include "workbench/scene_mesh.h"

namespace vlm::workbench::window {

QString Q(const std::string& text);

}  // namespace vlm::workbench::window
