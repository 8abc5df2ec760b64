// Lays a form out with Qt layouts. The form model gives no usable positions, so the order the
// form made its controls in is the reading order: each container (the form, a frame, a tab's
// page) holds its controls in rows of a two-column grid, a label beside the control it names.
#include <QBoxLayout>
#include <QGridLayout>
#include <QScreen>
#include <QScrollArea>
#include <QWidget>
#include <algorithm>
#include <set>
#include <vector>

#include "gui/form_window.h"
#include "gui/tab_pages.h"

namespace vlm::gui {
namespace {

bool IsField(const Control& control) {
  switch (control.Kind()) {
    case ControlKind::TextBox:
    case ControlKind::ComboBox:
    case ControlKind::ListBox:
    case ControlKind::Slider:
    case ControlKind::PictureBox:
    case ControlKind::Label:
      return true;
    default:
      return false;
  }
}

// A widget of a fixed size (a swatch, a drawing) keeps to the left of its cell.
Qt::Alignment FixedAlignment(const QWidget& widget) {
  return widget.minimumWidth() == widget.maximumWidth() ? Qt::AlignLeft : Qt::Alignment();
}

// A window's controls, in a scroll area that asks for their whole size: where they fit, the
// window is as it would be without it; a window taller or wider than the screen it opens on (a
// long form at 200 % on a laptop) scrolls its controls and keeps its buttons in reach.
class ContentArea final : public QScrollArea {
 public:
  ContentArea() {
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
  }
  QSize sizeHint() const override {
    return widget() ? widget()->sizeHint() : QScrollArea::sizeHint();
  }
  // The controls' own least size, but never more than most of the screen: the rest scrolls.
  QSize minimumSizeHint() const override {
    if (!widget()) return QScrollArea::minimumSizeHint();
    QSize least = widget()->minimumSizeHint();
    if (const QScreen* s = screen()) least = least.boundedTo(s->availableSize() * 3 / 4);
    return least;
  }
};

class Layouter {
 public:
  Layouter(const Form& form, const std::function<QWidget*(const Control&)>& widgetOf)
      : form_(form), widgetOf_(widgetOf) {
    for (const Control* c : form.Controls()) {
      if (c->Kind() == ControlKind::TabStrip) {
        const auto& tabs = static_cast<const TabStrip&>(*c);
        for (int i = 1; i <= tabs.TabCount(); ++i)
          if (tabs.TabAt(i).page) pages_.insert(tabs.TabAt(i).page);
      }
      if (c->Kind() == ControlKind::Label) {
        const Control* buddy = static_cast<const Label*>(c)->Buddy();
        if (buddy && buddy->Container() == c->Container()) labelOf_.emplace(buddy, c);
      }
    }
  }

  // Fills `widget` with the controls held by `container` (nullptr: the form itself). Returns
  // whether anything in it can use more height (a list): its row then takes what the window
  // gains, else the controls keep to the top and the buttons to the bottom.
  bool Fill(QWidget& widget, const Control* container, bool buttonRow) {
    std::vector<const Control*> children, buttons;
    for (const Control* c : form_.Controls()) {
      if (c->Container() != container || pages_.count(c) || !widgetOf_(*c)) continue;
      if (buttonRow && c->Kind() == ControlKind::CommandButton)
        buttons.push_back(c);
      else
        children.push_back(c);
    }
    auto* outer = new QVBoxLayout(&widget);
    Rows rows;
    rows.grid = new QGridLayout;
    rows.grid->setColumnStretch(1, 1);
    if (buttonRow) {
      // The window's own controls scroll where the screen is too small for them.
      auto* area = new ContentArea;
      auto* content = new QWidget;
      rows.grid->setContentsMargins(0, 0, 0, 0);
      content->setLayout(rows.grid);
      area->setWidget(content);
      outer->addWidget(area, 1);
    } else {
      outer->addLayout(rows.grid);
    }
    for (size_t i = 0; i < children.size(); ++i)
      PlaceNext(rows, children, i);
    if (!rows.grows) outer->addStretch(1);
    if (!buttons.empty()) {
      auto* box = new QHBoxLayout;
      box->addStretch(1);
      for (const Control* b : buttons)
        box->addWidget(widgetOf_(*b));
      outer->addLayout(box);
    }
    return rows.grows;
  }

 private:
  // The grid of one container as it fills.
  struct Rows {
    QGridLayout* grid = nullptr;
    int row = 0;
    bool grows = false;
    std::set<const Control*> placed;
    const Control* trailing = nullptr;  // a preview that goes beside the next button
  };

  // Places children[i] and what shares its row, leaving `i` at the last control it took.
  void PlaceNext(Rows& rows, const std::vector<const Control*>& children, size_t& i) {
    const Control* c = children[i];
    if (rows.placed.count(c)) return;
    // A label that names another control is placed with it.
    if (c->Kind() == ControlKind::Label && HasBuddyHere(*c, children)) return;
    // A preview just before a button (a texture's, before the button that chooses it) goes
    // beside that button.
    if (IsPreview(*c) && ButtonFollows(children, i)) {
      rows.trailing = c;
      return;
    }
    // Buttons side by side; one that a label names sits beside its label instead.
    if (IsPlainButton(*c)) {
      std::vector<const Control*> run;
      while (i < children.size() && IsPlainButton(*children[i]))
        run.push_back(children[i++]);
      --i;
      rows.grid->addLayout(WithTrailing(rows, ButtonGrid(run)), rows.row++, 0, 1, 2);
      return;
    }
    const Control* label = LabelFor(children, i);
    PlaceControl(rows, *children[i], label);
  }

  // Whether the next control after children[i], past the labels placed with their controls,
  // is a button.
  bool ButtonFollows(const std::vector<const Control*>& children, size_t i) const {
    size_t next = i + 1;
    while (next < children.size() && children[next]->Kind() == ControlKind::Label &&
           HasBuddyHere(*children[next], children))
      ++next;
    return next < children.size() && children[next]->Kind() == ControlKind::CommandButton;
  }

  bool IsPlainButton(const Control& control) const {
    return control.Kind() == ControlKind::CommandButton && !labelOf_.count(&control);
  }

  // The label that names children[i], or none. A label just before a field it does not
  // otherwise name is taken as its name: `i` then moves on to the field.
  const Control* LabelFor(const std::vector<const Control*>& children, size_t& i) const {
    const Control* c = children[i];
    if (auto it = labelOf_.find(c); it != labelOf_.end()) return it->second;
    if (c->Kind() == ControlKind::Label && i + 1 < children.size() &&
        children[i + 1]->Kind() != ControlKind::Label && IsField(*children[i + 1]) &&
        !labelOf_.count(children[i + 1]) && !IsContainer(*children[i + 1])) {
      ++i;
      return c;
    }
    return nullptr;
  }

  // A row of its own for the control, beside its label if it has one; what it holds is laid
  // out in turn.
  void PlaceControl(Rows& rows, const Control& c, const Control* label) {
    QWidget* w = widgetOf_(c);
    bool rowGrows = c.Kind() == ControlKind::ListBox;
    if (IsContainer(c)) rowGrows = Fill(*w, &c, false);
    if (c.Kind() == ControlKind::TabStrip) rowGrows = AddPages(static_cast<const TabStrip&>(c), *w);
    if (rowGrows) rows.grid->setRowStretch(rows.row, 1), rows.grows = true;
    if (!label) {
      rows.grid->addWidget(w, rows.row++, 0, 1, 2, FixedAlignment(*w));
      return;
    }
    // Beside a tall control the label stays at its top.
    const bool tall = w->sizeHint().height() > 2 * widgetOf_(*label)->sizeHint().height();
    rows.grid->addWidget(widgetOf_(*label), rows.row, 0,
                         Qt::AlignLeft | (tall ? Qt::AlignTop : Qt::AlignVCenter));
    if (rows.trailing) {
      auto* cell = new QHBoxLayout;
      cell->addWidget(w, 1, FixedAlignment(*w));
      rows.grid->addLayout(WithTrailing(rows, cell), rows.row++, 1);
    } else {
      rows.grid->addWidget(w, rows.row++, 1, FixedAlignment(*w));
    }
    rows.placed.insert(label);
  }

  // The cell's content, with the preview waiting for it at its right.
  QLayout* WithTrailing(Rows& rows, QLayout* inner) const {
    if (!rows.trailing) return inner;
    auto* box = new QHBoxLayout;
    box->addLayout(inner, 1);
    box->addWidget(widgetOf_(*rows.trailing));
    rows.trailing = nullptr;
    return box;
  }

  bool IsContainer(const Control& control) const {
    if (control.Kind() == ControlKind::Frame || pages_.count(&control)) return true;
    return std::any_of(form_.Controls().begin(), form_.Controls().end(),
                       [&control](const Control* c) { return c->Container() == &control; });
  }

  // A picture box that shows a colour or a picture file, not a drawing or other controls.
  bool IsPreview(const Control& control) const {
    return control.Kind() == ControlKind::PictureBox && !IsContainer(control) &&
           static_cast<const PictureBox&>(control).Commands().empty();
  }

  bool HasBuddyHere(const Control& label, const std::vector<const Control*>& children) const {
    const Control* buddy = static_cast<const Label&>(label).Buddy();
    auto named = labelOf_.find(buddy);
    return buddy && widgetOf_(*buddy) && named != labelOf_.end() && named->second == &label &&
           std::find(children.begin(), children.end(), buddy) != children.end();
  }

  // Buttons side by side, three to a row.
  QGridLayout* ButtonGrid(const std::vector<const Control*>& buttons) const {
    auto* grid = new QGridLayout;
    const int columns = buttons.size() > 3 ? 2 : static_cast<int>(buttons.size());
    for (size_t i = 0; i < buttons.size(); ++i)
      grid->addWidget(widgetOf_(*buttons[i]), static_cast<int>(i) / columns,
                      static_cast<int>(i) % columns);
    return grid;
  }

  bool AddPages(const TabStrip& tabs, QWidget& widget) {
    auto& pages = static_cast<TabPages&>(widget);
    bool grows = false;
    for (int i = 1; i <= tabs.TabCount(); ++i) {
      const Control* page = tabs.TabAt(i).page;
      QWidget* pageWidget = page ? widgetOf_(*page) : nullptr;
      if (pageWidget) {
        grows = Fill(*pageWidget, page, false) || grows;
      } else {
        pageWidget = new QWidget;
      }
      pages.AddPage(pageWidget, QString::fromStdString(tabs.TabAt(i).caption));
    }
    return grows;
  }

  const Form& form_;
  const std::function<QWidget*(const Control&)>& widgetOf_;
  std::set<const Control*> pages_;
  std::map<const Control*, const Control*> labelOf_;  // control -> the label that names it
};

}  // namespace

bool LayOut(const Form& form, QWidget& window,
            const std::function<QWidget*(const Control&)>& widgetOf) {
  return Layouter(form, widgetOf).Fill(window, nullptr, true);
}

}  // namespace vlm::gui
