// Plays a dialog script on the real widgets of the Qt back-end as a person would: a click on
// a field, then typing; a click on a box, an entry, a tab or a button; key presses; the
// standard dialogs answered with their own buttons and fields.
#pragma once

#include <QTimer>
#include <deque>
#include <string>
#include <vector>

#include "gui/form_window.h"
#include "gui/qt_dialogs.h"
#include "vlm/scripted_dialogs.h"

namespace vlm::test {

class WidgetDriver {
 public:
  // Drives every form `dialogs` shows, and every message, input, file and colour dialog.
  WidgetDriver(gui::QtDialogs& dialogs, std::vector<DialogAction> actions);
  // Actions not played; what went wrong playing one ("" when nothing did).
  const std::deque<DialogAction>& Remaining() const { return actions_; }
  const std::string& Problem() const { return problem_; }

 private:
  void Drive(gui::FormWindow& window);
  void Play(gui::FormWindow& window, const DialogAction& action);
  void Set(gui::FormWindow& window, Control& control, const std::string& value);
  void AnswerStandardDialog();

  std::deque<DialogAction> actions_;
  std::string problem_;
  QTimer timer_;
};

}  // namespace vlm::test
