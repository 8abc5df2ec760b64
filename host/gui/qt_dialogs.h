// The Qt 6 dialog back-end: each form a plug-in shows becomes a modal window a person uses;
// message boxes, the input box and the file and colour dialogs are Qt's own.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "vlm/forms.h"

class QApplication;

namespace vlm::gui {

class FormWindow;

// Why no window can be shown here (no display and no QT_QPA_PLATFORM), or "" when one can;
// `what` names what needs the windows.
std::string DisplayProblem(const std::string& what = "--gui");

// Makes the application object when there is none yet; the one made lives until the process
// ends.
void EnsureApplication();

class QtDialogs : public DialogBackend {
 public:
  QtDialogs();

  void RunModal(Form& form) override;
  int MessageBox(const MessageBoxRequest& request) override;
  std::optional<std::string> InputBox(const InputBoxRequest& request) override;
  std::optional<std::string> FileDialog(const FileDialogRequest& request) override;
  std::optional<int32_t> ColorDialog(int32_t initial) override;
  void ShowHelp(const std::string& helpFile) override;
  void Repaint(const Control& control) override;

  // The help F1 and the Help buttons show, given the help file the plug-in asked for;
  // without it the window names the file.
  void SetHelp(std::function<std::string(const std::string& helpFile)> help) {
    help_ = std::move(help);
  }

  // What the person did in the dialogs since the last call, as a dialog script that gives the
  // same run ("txt(0)=3; click OKButton; answer Yes"); nullopt when something was done that a
  // script cannot do (an input box cancelled).
  std::optional<std::string> TakeScript();

  // Called with each form's window once it shows (tests drive the window from here).
  void SetShownObserver(std::function<void(FormWindow&)> observer) {
    shownObserver_ = std::move(observer);
  }

 private:
  void Record(const std::string& action);

  std::vector<FormWindow*> open_;  // the windows shown, innermost last
  std::vector<std::string> actions_;
  bool unscripted_ = false;  // an action no script can give was taken
  std::function<void(FormWindow&)> shownObserver_;
  std::function<std::string(const std::string&)> help_;
};

// The file dialog's filter as Qt writes it: "Objects|*.obj|All|*.*" -> "Objects (*.obj);;All
// (*.*)" ("a;b" patterns become "a b").
std::string QtFilter(const std::string& filter);

}  // namespace vlm::gui
