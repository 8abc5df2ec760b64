#include "gui/tab_pages.h"

#include <QBoxLayout>
#include <QListWidget>
#include <QStackedWidget>
#include <QTabBar>

namespace vlm::gui {

TabPages::TabPages(int tabCount, QWidget* parent) : QWidget(parent), stack_(new QStackedWidget) {
  auto chosen = [this](int index) {
    stack_->setCurrentIndex(index);
    if (!setting_ && Chosen) Chosen(index);
  };
  stack_->setFrameShape(QFrame::StyledPanel);
  // Tabbing to the strip gives the keys to its row of tabs or its list.
  setFocusPolicy(Qt::TabFocus);
  if (tabCount <= kMostInARow) {
    row_ = new QTabBar;
    row_->setExpanding(false);
    row_->setUsesScrollButtons(false);
    row_->setElideMode(Qt::ElideNone);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(row_);
    layout->addWidget(stack_);
    connect(row_, &QTabBar::currentChanged, this, chosen);
    setFocusProxy(row_);
  } else {
    list_ = new QListWidget;
    list_->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(list_);
    layout->addWidget(stack_, 1);
    connect(list_, &QListWidget::currentRowChanged, this, chosen);
    setFocusProxy(list_);
  }
}

void TabPages::AddPage(QWidget* page, const QString& caption) {
  const bool was = setting_;
  setting_ = true;
  stack_->addWidget(page);
  if (row_) {
    row_->addTab(caption);
  } else {
    list_->addItem(caption);
    // Every caption whole, without a scroll bar.
    list_->setFixedWidth(list_->sizeHintForColumn(0) + 2 * list_->frameWidth() + 8);
    list_->setMinimumHeight(list_->sizeHintForRow(0) * list_->count() + 2 * list_->frameWidth());
  }
  setting_ = was;
}

int TabPages::Count() const {
  return stack_->count();
}

int TabPages::Current() const {
  return row_ ? row_->currentIndex() : list_->currentRow();
}

void TabPages::SetCurrent(int index) {
  if (index == Current()) return;
  setting_ = true;
  if (row_) {
    row_->setCurrentIndex(index);
  } else {
    list_->setCurrentRow(index);
  }
  stack_->setCurrentIndex(index);
  setting_ = false;
}

void TabPages::SetCaption(int index, const QString& caption, const QString& toolTip) {
  if (row_) {
    row_->setTabText(index, caption);
    row_->setTabToolTip(index, toolTip);
  } else if (QListWidgetItem* item = list_->item(index)) {
    item->setText(caption);
    item->setToolTip(toolTip);
  }
}

QString TabPages::Caption(int index) const {
  if (row_) return row_->tabText(index);
  QListWidgetItem* item = list_->item(index);
  return item ? item->text() : QString();
}

QRect TabPages::ChooserRect(int index) const {
  return row_ ? row_->tabRect(index) : list_->visualItemRect(list_->item(index));
}

QWidget* TabPages::Chooser() const {
  return row_ ? static_cast<QWidget*>(row_) : list_->viewport();
}

}  // namespace vlm::gui
