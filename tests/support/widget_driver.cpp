#include "support/widget_driver.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include "gui/tab_pages.h"
#include "vlm/control_kinds.h"

namespace vlm::test {
namespace {

// A check box or option button reacts to a click on its box, not beside its caption.
void ClickBox(QWidget* widget) {
  QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(6, widget->height() / 2));
}

void Type(QWidget* widget, const QString& text) {
  QTest::mouseClick(widget, Qt::LeftButton);
  auto* edit = qobject_cast<QLineEdit*>(widget);
  if (!edit) edit = widget->findChild<QLineEdit*>();
  edit->selectAll();
  QTest::keyClick(edit, Qt::Key_Backspace);
  QTest::keyClicks(edit, text);
}

Qt::Key QtKey(int code) {
  if (code >= key::F1 && code < key::F1 + 12) return Qt::Key(Qt::Key_F1 + (code - key::F1));
  switch (code) {
    case key::Tab:
      return Qt::Key_Tab;
    case key::Enter:
      return Qt::Key_Return;
    case key::Escape:
      return Qt::Key_Escape;
    default:
      return Qt::Key(code);  // letters and digits share their codes
  }
}

Qt::KeyboardModifiers Modifiers(int shiftState) {
  Qt::KeyboardModifiers m;
  if (shiftState & shift::Shift) m |= Qt::ShiftModifier;
  if (shiftState & shift::Ctrl) m |= Qt::ControlModifier;
  if (shiftState & shift::Alt) m |= Qt::AltModifier;
  return m;
}

void PressKey(QWidget& window, Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
  QWidget* target = window.focusWidget() ? window.focusWidget() : &window;
  QTest::keyClick(target, key, modifiers);
}

}  // namespace

WidgetDriver::WidgetDriver(gui::QtDialogs& dialogs, std::vector<DialogAction> actions)
    : actions_(actions.begin(), actions.end()) {
  dialogs.SetShownObserver([this](gui::FormWindow& window) { Drive(window); });
  QObject::connect(&timer_, &QTimer::timeout, [this] { AnswerStandardDialog(); });
  timer_.start(10);
}

void WidgetDriver::Drive(gui::FormWindow& window) {
  using Kind = DialogAction::Kind;
  if (!QTest::qWaitForWindowActive(&window)) problem_ = "the window did not become active";
  while (window.Model().IsShown() && !actions_.empty() && problem_.empty()) {
    const Kind kind = actions_.front().kind;
    if (kind == Kind::Input || kind == Kind::File || kind == Kind::Color || kind == Kind::Answer) {
      problem_ = "the form is open, but the next action answers a standard dialog";
      return;
    }
    DialogAction action = actions_.front();
    actions_.pop_front();
    Play(window, action);
  }
}

void WidgetDriver::Play(gui::FormWindow& window, const DialogAction& action) {
  using Kind = DialogAction::Kind;
  Control* control = nullptr;
  if (action.kind == Kind::Set || action.kind == Kind::Click) {
    control = window.Model().FindControl(action.name, action.index);
    if (!control || !window.WidgetOf(*control)) {
      problem_ = "no widget for " + action.text;
      return;
    }
  }
  switch (action.kind) {
    case Kind::Set:
      Set(window, *control, action.value);
      return;
    case Kind::Click: {
      QWidget* widget = window.WidgetOf(*control);
      if (qobject_cast<QAbstractButton*>(widget) && !qobject_cast<QPushButton*>(widget)) {
        ClickBox(widget);
      } else {
        QTest::mouseClick(widget, Qt::LeftButton);
      }
      return;
    }
    case Kind::Enter:
      PressKey(window, Qt::Key_Return);
      return;
    case Kind::Escape:
      PressKey(window, Qt::Key_Escape);
      return;
    case Kind::Key:
      PressKey(window, QtKey(action.keyCode), Modifiers(action.shiftState));
      return;
    default:
      return;
  }
}

void WidgetDriver::Set(gui::FormWindow& window, Control& control, const std::string& value) {
  QWidget* widget = window.WidgetOf(control);
  const QString text = QString::fromStdString(value);
  switch (control.Kind()) {
    case ControlKind::TextBox:
      Type(widget, text);
      return;
    case ControlKind::CheckBox:
      if (std::to_string(static_cast<CheckBox&>(control).Value()) != value) ClickBox(widget);
      return;
    case ControlKind::OptionButton:
      ClickBox(widget);
      return;
    case ControlKind::ListBox: {
      auto* list = static_cast<QListWidget*>(widget);
      // A line shows its entry and maybe a note beside it: the entry is the line's data.
      QListWidgetItem* item = nullptr;
      for (int i = 0; i < list->count() && !item; ++i)
        if (list->item(i)->data(Qt::UserRole).toString() == text) item = list->item(i);
      if (!item) break;
      list->scrollToItem(item);
      QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
      return;
    }
    case ControlKind::ComboBox: {
      auto* combo = static_cast<QComboBox*>(widget);
      const int index = combo->findText(text);
      if (index < 0) break;
      QTest::mouseClick(combo, Qt::LeftButton);
      QAbstractItemView* view = combo->view();
      if (!view->isVisible()) break;
      // The list that drops down takes the keys: to the entry, then Enter.
      QTest::keyClick(view, Qt::Key_Home);
      for (int row = 0; row < index; ++row)
        QTest::keyClick(view, Qt::Key_Down);
      QTest::keyClick(view, Qt::Key_Return);
      return;
    }
    case ControlKind::Slider: {
      // Taken by its handle, then moved with the keys.
      auto* slider = static_cast<QSlider*>(widget);
      slider->setFocus(Qt::MouseFocusReason);
      const int target = std::stoi(value);
      while (slider->value() + slider->pageStep() <= target)
        QTest::keyClick(slider, Qt::Key_PageUp);
      while (slider->value() - slider->pageStep() >= target)
        QTest::keyClick(slider, Qt::Key_PageDown);
      while (slider->value() < target)
        QTest::keyClick(slider, Qt::Key_Right);
      while (slider->value() > target)
        QTest::keyClick(slider, Qt::Key_Left);
      return;
    }
    case ControlKind::TabStrip: {
      auto* pages = static_cast<gui::TabPages*>(widget);
      for (int i = 0; i < pages->Count(); ++i)
        if (pages->Caption(i) == text) {
          QTest::mouseClick(pages->Chooser(), Qt::LeftButton, {}, pages->ChooserRect(i).center());
          return;
        }
      break;
    }
    default:
      break;
  }
  problem_ = "cannot set " + control.FullName() + " to " + value;
}

// The message, input, file or colour dialog that is open takes the next action if it answers
// one; a message box no action answers takes its default button.
void WidgetDriver::AnswerStandardDialog() {
  using Kind = DialogAction::Kind;
  QWidget* modal = QApplication::activeModalWidget();
  if (!modal || dynamic_cast<gui::FormWindow*>(modal) || !modal->isVisible()) return;
  auto take = [this](Kind kind) -> std::optional<DialogAction> {
    if (actions_.empty() || actions_.front().kind != kind) return std::nullopt;
    DialogAction action = actions_.front();
    actions_.pop_front();
    return action;
  };
  // The plug-in's help, read and closed.
  if (modal->objectName() == "help") {
    static_cast<QDialog*>(modal)->reject();
    return;
  }
  if (auto* box = qobject_cast<QMessageBox*>(modal)) {
    static const std::pair<int, QMessageBox::StandardButton> buttons[] = {
        {mb::OK, QMessageBox::Ok},         {mb::Cancel, QMessageBox::Cancel},
        {mb::Abort, QMessageBox::Abort},   {mb::Retry, QMessageBox::Retry},
        {mb::Ignore, QMessageBox::Ignore}, {mb::Yes, QMessageBox::Yes},
        {mb::No, QMessageBox::No}};
    QAbstractButton* chosen = box->defaultButton();
    if (auto answer = take(Kind::Answer))
      for (const auto& [code, button] : buttons)
        if (code == answer->button) chosen = box->button(button);
    if (chosen) QTest::mouseClick(chosen, Qt::LeftButton);
    return;
  }
  // The others: the answer typed into the dialog's field and Enter, or the dialog cancelled.
  const Kind kind = qobject_cast<QInputDialog*>(modal)   ? Kind::Input
                    : qobject_cast<QFileDialog*>(modal)  ? Kind::File
                    : qobject_cast<QColorDialog*>(modal) ? Kind::Color
                                                         : Kind::Set;
  if (kind == Kind::Set) return;  // no dialog of ours
  auto answer = take(kind);
  auto* dialog = static_cast<QDialog*>(modal);
  if (!answer) return;
  if (answer->cancel) {
    dialog->reject();
  } else if (auto* colours = qobject_cast<QColorDialog*>(modal)) {
    const int32_t c = answer->color;
    colours->setCurrentColor(QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF));
    colours->accept();
  } else {
    auto* field = kind == Kind::File ? modal->findChild<QLineEdit*>("fileNameEdit")
                                     : modal->findChild<QLineEdit*>();
    Type(field, QString::fromStdString(answer->value));
    QTest::keyClick(field, Qt::Key_Return);
  }
}

}  // namespace vlm::test
