// One form shown as a Qt dialog: a widget per control, laid out in reading order, showing the
// model's state and turning a person's clicks and keys into the model's events in the order
// the scripted back-end plays them.
#pragma once

#include <QDialog>
#include <exception>
#include <functional>
#include <map>
#include <set>

#include "vlm/forms.h"

class QWidget;

namespace vlm::gui {

class FormWindow : public QDialog {
 public:
  explicit FormWindow(Form& form, QWidget* parent = nullptr);
  ~FormWindow() override;

  Form& Model() const { return form_; }
  // The widget that shows the control; nullptr for controls without one (common dialogs).
  QWidget* WidgetOf(const Control& control) const;
  // The control a widget (or a part of it) shows; nullptr for the window's own widgets.
  Control* ControlOf(const QWidget* widget) const;
  // The size its layout asks for, within the screen's free area when `withinScreen`. Qt's own
  // first size is at most two thirds of the screen, which would open a tall form squeezed
  // below that size and unlike its pictures.
  void ResizeToLayout(bool withinScreen);
  // Shows every control as the model holds it.
  void Sync();
  // Runs a person's action: the focus moves to `focus` first (its predecessor's text is
  // taken and its lost-focus handler runs), then `action`; afterwards the window shows the
  // model again and closes when the form hid. A fault is kept for the back-end to raise.
  void Act(Control* focus, const std::function<void()>& action);
  std::exception_ptr Failure() const { return failure_; }
  // Called with each action a person takes, as a dialog script writes it ("txt(0)=3", "click
  // OKButton", "key Enter"), so that the script gives the same run; "" for one a script
  // cannot give.
  void SetRecorder(std::function<void(const std::string& action)> recorder) {
    recorder_ = std::move(recorder);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void reject() override;

 private:
  void Build();
  QWidget* MakeWidget(Control& control);
  void Connect(Control& control, QWidget* widget);
  void SyncControl(const Control& control, QWidget* widget);
  void MoveFocus(Control* to);
  void TakeText(Control* control);
  bool HandleKey(int keyCode, int shiftState);
  void PressButton(bool isDefault);
  void OnFocusChanged(QWidget* now);
  void Record(const std::string& action) const {
    if (recorder_) recorder_(action);
  }

  Form& form_;
  std::function<void(const std::string&)> recorder_;
  // Focus changes reach the window only while it is whole: the destructor cuts this before
  // the widgets go (their going moves the focus too).
  QMetaObject::Connection focusWatch_;
  std::map<const Control*, QWidget*> widgets_;
  std::map<const QWidget*, Control*> controls_;
  std::map<const Control*, long long> shownLines_;  // ItemsAdded of each list when last shown
  std::set<const Control*> pages_;                  // the tab strips' pages
  Control* focused_ = nullptr;
  bool syncing_ = false;
  bool opened_ = false;
  const Control* openingFocus_ = nullptr;  // where the keys went as the window opened
  std::exception_ptr failure_;
};

// The row layout of a form: every control in reading order, labels beside the control they
// name, frames as group boxes, tab pages as pages, the form's own buttons in a row at the
// bottom. `widgetOf` gives each control's widget (nullptr for none). Returns whether anything
// in the form can use more room than it asks for (a list, which then takes it).
bool LayOut(const Form& form, QWidget& window,
            const std::function<QWidget*(const Control&)>& widgetOf);

}  // namespace vlm::gui
