// vlmhost screenshots: every form of every plug-in drawn to PNG files as a first run shows it,
// one picture per tab page, without a display.
#pragma once

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "vlm/forms.h"

class QWidget;

namespace vlm::gui {

class FormWindow;

// Opens every form in the plug-in's catalogue as a first run shows it, in a run context of its
// own (fresh settings, dialogs answered as they open), and calls `visit` with
// its window, shown off screen, once for each tab of its tab strips (once for a form without
// tabs); `page` names the tab ("" without one). vlm::Error when the plug-in cannot be made.
void VisitForms(const std::string& progId,
                const std::function<void(FormWindow&, const std::string& page)>& visit);

// Writes DIR/PROGID.FORM[-N-PAGE].png for each form (and page) of each plug-in named, or of
// every registered one; `scale` draws them at that screen scale (2: 200 %). `one` draws one
// picture per plug-in, DIR/PROGID.png: the page of its forms that shows the most controls. Returns
// the exit status.
int ScreenshotsCommand(const std::filesystem::path& dir, std::vector<std::string> progIds,
                       double scale, bool one, std::ostream& out, std::ostream& err);

}  // namespace vlm::gui
