// Lays a form out with Qt layouts. The form model gives no usable positions, so the order the
// form made its controls in is the reading order: each container (the form, a frame, a tab's
// page) holds its controls in rows of a two-column grid, a label beside the control it names.
#include <QBoxLayout>
#include <QGridLayout>
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
    auto* grid = new QGridLayout;
    grid->setColumnStretch(1, 1);
    outer->addLayout(grid);
    int row = 0;
    bool grows = false;
    std::set<const Control*> placed;
    const Control* trailing = nullptr;  // a preview that goes beside the next button
    // The cell's content, with the preview waiting for it at its right.
    auto withTrailing = [this, &trailing](QLayout* inner) -> QLayout* {
      if (!trailing) return inner;
      auto* box = new QHBoxLayout;
      box->addLayout(inner, 1);
      box->addWidget(widgetOf_(*trailing));
      trailing = nullptr;
      return box;
    };
    for (size_t i = 0; i < children.size(); ++i) {
      const Control* c = children[i];
      if (placed.count(c)) continue;
      // A label that names another control is placed with it.
      if (c->Kind() == ControlKind::Label && HasBuddyHere(*c, children)) continue;
      // A preview just before a button (a texture's, before the button that chooses it) goes
      // beside that button.
      if (IsPreview(*c)) {
        size_t next = i + 1;
        while (next < children.size() && children[next]->Kind() == ControlKind::Label &&
               HasBuddyHere(*children[next], children))
          ++next;
        if (next < children.size() && children[next]->Kind() == ControlKind::CommandButton) {
          trailing = c;
          continue;
        }
      }
      // Buttons side by side; one that a label names sits beside its label instead.
      auto plainButton = [this](const Control* b) {
        return b->Kind() == ControlKind::CommandButton && !labelOf_.count(b);
      };
      if (plainButton(c)) {
        std::vector<const Control*> run;
        while (i < children.size() && plainButton(children[i]))
          run.push_back(children[i++]);
        --i;
        grid->addLayout(withTrailing(ButtonGrid(run)), row++, 0, 1, 2);
        continue;
      }
      const Control* label = nullptr;
      if (auto it = labelOf_.find(c); it != labelOf_.end()) {
        label = it->second;
      } else if (c->Kind() == ControlKind::Label && i + 1 < children.size() &&
                 children[i + 1]->Kind() != ControlKind::Label && IsField(*children[i + 1]) &&
                 !labelOf_.count(children[i + 1]) && !IsContainer(*children[i + 1])) {
        // A label just before a field it does not otherwise name: taken as its name.
        label = c;
        c = children[++i];
      }
      QWidget* w = widgetOf_(*c);
      bool rowGrows = c->Kind() == ControlKind::ListBox;
      if (IsContainer(*c)) rowGrows = Fill(*w, c, false);
      if (c->Kind() == ControlKind::TabStrip)
        rowGrows = AddPages(static_cast<const TabStrip&>(*c), *w);
      if (rowGrows) grid->setRowStretch(row, 1), grows = true;
      if (label) {
        // Beside a tall control the label stays at its top.
        const bool tall = w->sizeHint().height() > 2 * widgetOf_(*label)->sizeHint().height();
        grid->addWidget(widgetOf_(*label), row, 0,
                        Qt::AlignLeft | (tall ? Qt::AlignTop : Qt::AlignVCenter));
        if (trailing) {
          auto* cell = new QHBoxLayout;
          cell->addWidget(w, 1, FixedAlignment(*w));
          grid->addLayout(withTrailing(cell), row++, 1);
        } else {
          grid->addWidget(w, row++, 1, FixedAlignment(*w));
        }
        placed.insert(label);
      } else {
        grid->addWidget(w, row++, 0, 1, 2, FixedAlignment(*w));
      }
    }
    if (!grows) outer->addStretch(1);
    if (!buttons.empty()) {
      auto* box = new QHBoxLayout;
      box->addStretch(1);
      for (const Control* b : buttons)
        box->addWidget(widgetOf_(*b));
      outer->addLayout(box);
    }
    return grows;
  }

 private:
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
