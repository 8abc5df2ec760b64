#include "gui/form_window.h"

#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QShowEvent>
#include <QSlider>
#include <QStyle>
#include <algorithm>

#include "gui/picture_widget.h"
#include "gui/tab_pages.h"
#include "vlm/control_kinds.h"
#include "vlm/scripted_dialogs.h"

namespace vlm::gui {
namespace {

QString Text(const std::string& text) {
  QString s = QString::fromStdString(text);
  s.replace("\r\n", "\n");
  s.replace('\r', '\n');
  return s;
}

// A list's line: the entry, with its note beside it; the entry alone is kept as its data.
QListWidgetItem* ListItem(const ListControl& list, int index) {
  const QString entry = Text(list.List(index));
  const QString note = Text(list.ItemNote(index));
  auto* item =
      new QListWidgetItem(note.isEmpty() ? entry : entry + QStringLiteral("  \u2014  ") + note);
  item->setData(Qt::UserRole, entry);
  return item;
}

template <class W>
W* As(QWidget* widget) {
  return static_cast<W*>(widget);
}

// The key code and shift state the forms' key handlers take; 0 for keys they do not see.
int KeyCode(const QKeyEvent& event) {
  const int k = event.key();
  if (k >= Qt::Key_F1 && k <= Qt::Key_F12) return key::F1 + (k - Qt::Key_F1);
  if ((k >= Qt::Key_A && k <= Qt::Key_Z) || (k >= Qt::Key_0 && k <= Qt::Key_9)) return k;
  switch (k) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      return key::Tab;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return key::Enter;
    case Qt::Key_Escape:
      return key::Escape;
    case Qt::Key_Space:
      return 32;
    case Qt::Key_Backspace:
      return 8;
    case Qt::Key_Delete:
      return 46;
    default:
      return 0;
  }
}

int ShiftState(const QKeyEvent& event) {
  const Qt::KeyboardModifiers m = event.modifiers();
  return (m & Qt::ShiftModifier ? shift::Shift : 0) | (m & Qt::ControlModifier ? shift::Ctrl : 0) |
         (m & Qt::AltModifier ? shift::Alt : 0);
}

std::set<const Control*> Pages(const Form& form) {
  std::set<const Control*> pages;
  for (const Control* c : form.Controls()) {
    if (c->Kind() != ControlKind::TabStrip) continue;
    const auto& tabs = static_cast<const TabStrip&>(*c);
    for (int i = 1; i <= tabs.TabCount(); ++i)
      if (tabs.TabAt(i).page) pages.insert(tabs.TabAt(i).page);
  }
  return pages;
}

void SyncCheckBox(QCheckBox& box, const CheckBox& model, const QString& caption) {
  const int value = model.Value();
  box.setText(caption);
  box.setTristate(value == 2);
  box.setCheckState(value == 2 ? Qt::PartiallyChecked : value ? Qt::Checked : Qt::Unchecked);
}

// `shown` is the list's ItemsAdded when it was last shown.
void SyncList(QListWidget& list, const ListControl& model, long long& shown) {
  const long long added = model.ItemsAdded() - shown;
  if (added == model.ListCount() - list.count() && added >= 0) {
    // Only appended since last shown (a log): add the new lines.
    for (int i = list.count(); i < model.ListCount(); ++i)
      list.addItem(ListItem(model, i));
  } else {
    list.clear();
    for (int i = 0; i < model.ListCount(); ++i)
      list.addItem(ListItem(model, i));
  }
  shown = model.ItemsAdded();
  list.setCurrentRow(model.ListIndex());
  if (model.ListIndex() >= 0) list.scrollToItem(list.item(model.ListIndex()));
}

void SyncCombo(QComboBox& combo, const ComboBox& model) {
  QStringList items;
  for (const std::string& item : model.Items())
    items << Text(item);
  QStringList shown;
  for (int i = 0; i < combo.count(); ++i)
    shown << combo.itemText(i);
  if (shown != items) {
    combo.clear();
    combo.addItems(items);
  }
  combo.setCurrentIndex(model.ListIndex());
  // A text that is none of the entries shows where the entry would.
  combo.setPlaceholderText(Text(model.Text()));
}

void SyncSlider(QSlider& slider, const Slider& model) {
  slider.setRange(model.Min(), model.Max());
  slider.setTickInterval(std::max(1, (model.Max() - model.Min()) / 10));
  slider.setPageStep(std::max(1, (model.Max() - model.Min()) / 10));
  slider.setValue(model.Value());
}

void SyncTabs(TabPages& tabs, const TabStrip& model) {
  for (int i = 0; i < tabs.Count() && i < model.TabCount(); ++i)
    tabs.SetCaption(i, Text(model.TabAt(i + 1).caption), Text(model.TabAt(i + 1).toolTip));
  tabs.SetCurrent(model.SelectedIndex() - 1);
}

}  // namespace

FormWindow::FormWindow(Form& form, QWidget* parent) : QDialog(parent), form_(form) {
  setObjectName(QString::fromStdString(form.Name()));
  // A form without a field to type into or choose from keeps the keys itself.
  setFocusPolicy(Qt::StrongFocus);
  Build();
  installEventFilter(this);
  focusWatch_ = connect(qApp, &QApplication::focusChanged, this,
                        [this](QWidget*, QWidget* now) { OnFocusChanged(now); });
  Sync();
  // Wide enough for its title, and not a sliver when it holds one field.
  // (A strut: the layout's own size, and with it a fixed window's, keeps to it.)
  static_cast<QBoxLayout*>(layout())->addStrut(
      std::max(300, fontMetrics().horizontalAdvance(windowTitle()) + 120));
  setFocus();
  // Sized before it shows, so that the window system is asked for that size from the first
  // (and again as it shows, should anything have changed).
  ResizeToLayout(true);
}

void FormWindow::ResizeToLayout(bool withinScreen) {
  // The style's sizes, as shown, on every page: a tab page not shown yet would otherwise be
  // measured before or after its polish, as the events happen to come.
  ensurePolished();
  const QList<QWidget*> inside = findChildren<QWidget*>();
  for (QWidget* w : inside)
    w->ensurePolished();
  for (auto it = inside.rbegin(); it != inside.rend(); ++it)
    if ((*it)->layout()) (*it)->layout()->activate();
  layout()->activate();
  QSize size = sizeHint().expandedTo(minimumSize());
  if (withinScreen && screen()) {
    // A window of fixed size that the screen cannot hold becomes one its controls scroll in.
    const QSize room = screen()->availableSize() - (frameGeometry().size() - this->size());
    if (size.width() > room.width() || size.height() > room.height()) {
      // The controls keep the size they ask for and scroll, rather than squeeze.
      if (auto* area = findChild<QScrollArea*>(); area && area->widget()) {
        area->widget()->setMinimumSize(area->widget()->sizeHint());
        // Room beside them for the scroll bar, so that only the height scrolls.
        if (size.height() > room.height())
          size.rwidth() += area->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, area);
      }
      if (layout()->sizeConstraint() == QLayout::SetFixedSize) {
        layout()->setSizeConstraint(QLayout::SetDefaultConstraint);
        setMinimumSize(layout()->minimumSize());
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
      }
    }
    size = size.boundedTo(room);
  }
  resize(size.expandedTo(minimumSize()));
}

void FormWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (opened_) return;
  opened_ = true;
  ResizeToLayout(true);
  // The keys go to the first control in tab order that takes them, as a person expects. That
  // is where the keys land, not a choice of theirs: the form learns of the focus once they
  // type there or move it.
  for (Control* control : form_.Controls()) {
    QWidget* widget = WidgetOf(*control);
    if (!widget || !TakesFocus(*control) || !widget->isVisibleTo(this) || !widget->isEnabled() ||
        !(widget->focusPolicy() & Qt::TabFocus))
      continue;
    openingFocus_ = control;
    widget->setFocus(Qt::TabFocusReason);
    return;
  }
}

FormWindow::~FormWindow() {
  disconnect(focusWatch_);
}

QWidget* FormWindow::WidgetOf(const Control& control) const {
  auto it = widgets_.find(&control);
  return it == widgets_.end() ? nullptr : it->second;
}

Control* FormWindow::ControlOf(const QWidget* widget) const {
  for (; widget && widget != this; widget = widget->parentWidget())
    if (auto it = controls_.find(widget); it != controls_.end()) return it->second;
  return nullptr;
}

void FormWindow::Build() {
  syncing_ = true;  // making the widgets is no person's doing
  pages_ = Pages(form_);
  for (Control* control : form_.Controls()) {
    QWidget* widget = MakeWidget(*control);
    if (!widget) continue;
    widget->setObjectName(QString::fromStdString(control->FullName()));
    widgets_[control] = widget;
    controls_[widget] = control;
    Connect(*control, widget);
  }
  // A form of fields and buttons has nothing to gain from more room: its window keeps the
  // size its layout asks for, as a fixed dialog. One with a list lets the list take it.
  if (!LayOut(form_, *this, [this](const Control& c) { return WidgetOf(c); }))
    layout()->setSizeConstraint(QLayout::SetFixedSize);
  // Keys are watched where they arrive: at the focused widget, a part of a control's widget.
  for (QWidget* part : findChildren<QWidget*>())
    part->installEventFilter(this);
  syncing_ = false;
}

QWidget* FormWindow::MakeWidget(Control& control) {
  switch (control.Kind()) {
    case ControlKind::Label: {
      auto* label = new QLabel;
      label->setWordWrap(control.Caption().size() > 60);
      return label;
    }
    case ControlKind::TextBox:
      return new QLineEdit;
    case ControlKind::CheckBox:
      return new QCheckBox;
    case ControlKind::OptionButton: {
      // The model clears the other options of a group itself.
      auto* option = new QRadioButton;
      option->setAutoExclusive(false);
      return option;
    }
    case ControlKind::ListBox: {
      auto* list = new QListWidget;
      list->setMinimumHeight(list->fontMetrics().height() * 5);
      // A long line (an export's log) wraps at the list's width: read without scrolling.
      list->setWordWrap(true);
      list->setTextElideMode(Qt::ElideNone);
      list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      list->setResizeMode(QListView::Adjust);
      return list;
    }
    case ControlKind::ComboBox:
      return new QComboBox;
    case ControlKind::Slider: {
      auto* slider = new QSlider(Qt::Horizontal);
      slider->setTickPosition(QSlider::TicksBelow);
      slider->setMinimumWidth(160);
      return slider;
    }
    case ControlKind::TabStrip:
      return new TabPages(static_cast<TabStrip&>(control).TabCount());
    case ControlKind::CommandButton: {
      auto* button = new QPushButton;
      button->setAutoDefault(false);
      return button;
    }
    case ControlKind::Frame:
      return new QGroupBox;
    case ControlKind::PictureBox:
      // A picture box that holds controls is a panel.
      if (pages_.count(&control) ||
          std::any_of(form_.Controls().begin(), form_.Controls().end(),
                      [&control](const Control* c) { return c->Container() == &control; }))
        return new QWidget;
      return new PictureWidget(static_cast<PictureBox&>(control));
    case ControlKind::CommonDialog:
      return nullptr;
  }
  return nullptr;
}

// A person's change to a widget is the model's value being set as the scripted back-end sets
// it; changes made while the window shows the model are not.
void FormWindow::Connect(Control& control, QWidget* widget) {
  Control* c = &control;
  auto set = [this, c](const std::string& value) {
    if (syncing_) return;
    Record(c->FullName() + "=" + ScriptValue(value));
    Act(c, [c, value] { SetValueFromText(*c, value); });
  };
  switch (control.Kind()) {
    case ControlKind::CheckBox:
    case ControlKind::OptionButton:
      connect(As<QAbstractButton>(widget), &QAbstractButton::clicked, this, [this, c, set] {
        if (auto value = ClickedValue(*c)) set(*value);
        if (!syncing_) Sync();
      });
      break;
    case ControlKind::TextBox:
      // Typing into a field means it has the focus, whatever the window system said.
      // The window shows the model once the focus moved; what was typed stays in the field.
      connect(As<QLineEdit>(widget), &QLineEdit::textEdited, this,
              [this, c, widget](const QString& typed) {
                if (syncing_ || focused_ == c) return;
                Act(c, nullptr);
                auto* edit = As<QLineEdit>(widget);
                if (focused_ == c && edit->text() != typed) edit->setText(typed);
              });
      break;
    case ControlKind::CommandButton:
      connect(As<QPushButton>(widget), &QPushButton::clicked, this, [this, c] {
        Record("click " + c->FullName());
        Act(c, [c] {
          if (c->Click) c->Click();
        });
      });
      break;
    case ControlKind::ListBox:
      connect(As<QListWidget>(widget), &QListWidget::currentRowChanged, this, [c, set](int row) {
        const auto& list = static_cast<const ListControl&>(*c);
        if (row >= 0 && row < list.ListCount()) set(list.List(row));
      });
      break;
    case ControlKind::ComboBox:
      connect(As<QComboBox>(widget), &QComboBox::activated, this, [c, set](int row) {
        const auto& list = static_cast<const ListControl&>(*c);
        if (row >= 0 && row < list.ListCount()) set(list.List(row));
      });
      break;
    case ControlKind::Slider:
      connect(As<QSlider>(widget), &QSlider::valueChanged, this,
              [set](int value) { set(std::to_string(value)); });
      break;
    case ControlKind::TabStrip:
      As<TabPages>(widget)->Chosen = [c, set](int index) {
        const auto& tabs = static_cast<const TabStrip&>(*c);
        if (index >= 0 && index < tabs.TabCount()) set(tabs.TabAt(index + 1).caption);
      };
      break;
    case ControlKind::PictureBox:
      if (auto* picture = dynamic_cast<PictureWidget*>(widget)) {
        picture->Clicked = [this, c] {
          Record("click " + c->FullName());
          Act(c, [c] {
            if (c->Click) c->Click();
          });
        };
      }
      break;
    default:
      break;
  }
}

void FormWindow::Sync() {
  syncing_ = true;
  setWindowTitle(Text(form_.Caption()));
  for (const auto& [control, widget] : widgets_)
    SyncControl(*control, widget);
  syncing_ = false;
}

void FormWindow::SyncControl(const Control& control, QWidget* widget) {
  widget->setEnabled(control.Enabled());
  // A tab's page shows when its tab is chosen, whatever the form does to hide the others.
  if (!pages_.count(&control)) widget->setVisible(control.Visible());
  widget->setToolTip(Text(control.ToolTipText()));
  const QString caption = Text(control.Caption());
  switch (control.Kind()) {
    case ControlKind::Label:
      As<QLabel>(widget)->setText(caption);
      break;
    case ControlKind::TextBox: {
      auto* edit = As<QLineEdit>(widget);
      const QString text = Text(static_cast<const TextBox&>(control).Text());
      if (edit->text() != text) edit->setText(text);
      break;
    }
    case ControlKind::CheckBox:
      SyncCheckBox(*As<QCheckBox>(widget), static_cast<const CheckBox&>(control), caption);
      break;
    case ControlKind::OptionButton:
      As<QRadioButton>(widget)->setText(caption);
      As<QRadioButton>(widget)->setChecked(static_cast<const OptionButton&>(control).Value());
      break;
    case ControlKind::ListBox:
      SyncList(*As<QListWidget>(widget), static_cast<const ListControl&>(control),
               shownLines_[&control]);
      break;
    case ControlKind::ComboBox:
      SyncCombo(*As<QComboBox>(widget), static_cast<const ComboBox&>(control));
      break;
    case ControlKind::Slider:
      SyncSlider(*As<QSlider>(widget), static_cast<const Slider&>(control));
      break;
    case ControlKind::TabStrip:
      SyncTabs(*As<TabPages>(widget), static_cast<const TabStrip&>(control));
      break;
    case ControlKind::CommandButton:
      As<QPushButton>(widget)->setText(caption);
      As<QPushButton>(widget)->setDefault(static_cast<const CommandButton&>(control).Default);
      break;
    case ControlKind::Frame:
      As<QGroupBox>(widget)->setTitle(caption);
      break;
    case ControlKind::PictureBox:
      if (auto* picture = dynamic_cast<PictureWidget*>(widget)) picture->UpdateSize();
      widget->update();
      break;
    case ControlKind::CommonDialog:
      break;
  }
}

void FormWindow::Act(Control* focus, const std::function<void()>& action) {
  if (failure_) return;
  try {
    // What was typed into the focused field counts before anything else happens.
    TakeText(focused_);
    if (focus) MoveFocus(focus);
    if (action) action();
  } catch (...) {
    failure_ = std::current_exception();
  }
  if (failure_ || !form_.IsShown()) {
    done(0);
    return;
  }
  Sync();
}

// As the scripted back-end moves it: the control that had the focus first takes what was
// typed into it, then its lost-focus handler runs.
void FormWindow::MoveFocus(Control* to) {
  if (to && !TakesFocus(*to)) return;
  Control* from = focused_;
  if (from == to) return;
  TakeText(from);
  focused_ = to;
  if (from && from->LostFocus) from->LostFocus();
}

// A text field's text reaches the model when the person is done with it: the focus leaves it
// or a key closes the form.
void FormWindow::TakeText(Control* control) {
  if (!control || control->Kind() != ControlKind::TextBox) return;
  const std::string typed = As<QLineEdit>(WidgetOf(*control))->text().toStdString();
  if (typed == static_cast<TextBox*>(control)->Text()) return;
  Record(control->FullName() + "=" + ScriptValue(typed));
  SetValueFromText(*control, typed);
}

void FormWindow::OnFocusChanged(QWidget* now) {
  if (syncing_ || !isVisible() || !now || now->window() != this) return;
  Control* control = ControlOf(now);
  if (!control || (control == openingFocus_ && !focused_)) return;
  Act(control, nullptr);
}

bool FormWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return QDialog::eventFilter(watched, event);
  // A key goes to the focused widget, then up through its parents: it is handled once, where
  // it arrives.
  QWidget* focus = QApplication::focusWidget();
  if (watched != (focus && isAncestorOf(focus) ? focus : this)) return false;
  auto* key = static_cast<QKeyEvent*>(event);
  const int code = KeyCode(*key);
  const int shiftState = ShiftState(*key);
  // Typing into a field is the field's: the form's key handler sees the other keys.
  const bool typing = qobject_cast<QLineEdit*>(focus) && !(shiftState & ~shift::Shift) &&
                      ((!key->text().isEmpty() && key->text()[0].isPrint()) ||
                       key->key() == Qt::Key_Backspace || key->key() == Qt::Key_Delete);
  return code != 0 && !typing && HandleKey(code, shiftState);
}

// Keys reach the form's key handler first when it previews them; Enter and Escape press the
// default and cancel buttons, F1 shows help unless the handler took it. Returns whether the
// key was used up.
bool FormWindow::HandleKey(int keyCode, int shiftState) {
  const bool closing = shiftState == 0 && (keyCode == key::Enter || keyCode == key::Escape);
  if (closing) Act(nullptr, [this] { TakeText(focused_); });
  bool received = false;
  // A script's key press reaches the form's handler and presses the buttons as this one does.
  if (closing || (form_.KeyPreview && form_.KeyDown)) {
    const std::string name = KeyName(keyCode, shiftState);
    Record(name.empty() ? "" : "key " + name);
  }
  if (form_.KeyPreview && form_.KeyDown) {
    Act(nullptr, [this, keyCode, shiftState] { form_.KeyDown(keyCode, shiftState); });
    received = true;
  }
  if (failure_ || !form_.IsShown()) return true;
  if (keyCode == key::F1) {
    if (!received) Act(nullptr, [] { vlm::ShowHelp(); });
    return true;
  }
  if (closing) {
    PressButton(keyCode == key::Enter);
    return true;
  }
  // Ctrl+Tab belongs to a form that handles keys itself.
  return received && keyCode == key::Tab && shiftState == shift::Ctrl;
}

void FormWindow::PressButton(bool isDefault) {
  for (Control* c : form_.Controls()) {
    if (c->Kind() != ControlKind::CommandButton) continue;
    auto* button = static_cast<CommandButton*>(c);
    if (!(isDefault ? button->Default : button->Cancel)) continue;
    if (button->Visible() && button->Enabled() && button->Click) Act(nullptr, button->Click);
    return;
  }
}

// Closing the window is its cancel button; a form without one unloads.
void FormWindow::closeEvent(QCloseEvent* event) {
  event->ignore();
  reject();
}

void FormWindow::reject() {
  Act(nullptr, [this] { TakeText(focused_); });
  Record("escape");
  for (const Control* c : form_.Controls())
    if (c->Kind() == ControlKind::CommandButton && static_cast<const CommandButton*>(c)->Cancel &&
        c->Visible() && c->Enabled()) {
      PressButton(false);
      return;
    }
  Act(nullptr, [this] { form_.Unload(); });
}

}  // namespace vlm::gui
