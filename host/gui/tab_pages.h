// A tab strip with its pages. A few tabs sit in a row above the pages; many (more than fit
// the width of a dialog) are listed beside them, each caption whole, as settings dialogs
// list their sections.
#pragma once

#include <QWidget>
#include <functional>

class QListWidget;
class QStackedWidget;
class QTabBar;

namespace vlm::gui {

class TabPages : public QWidget {
 public:
  // The most tabs shown in a row.
  static constexpr int kMostInARow = 6;

  explicit TabPages(int tabCount, QWidget* parent = nullptr);
  void AddPage(QWidget* page, const QString& caption);
  int Count() const;
  int Current() const;  // 0-based, -1 for none
  void SetCurrent(int index);
  void SetCaption(int index, const QString& caption, const QString& toolTip);
  QString Caption(int index) const;
  // Where a person clicks to choose the tab, in the coordinates of Chooser().
  QRect ChooserRect(int index) const;
  QWidget* Chooser() const;
  // Called with the tab a person chose.
  std::function<void(int)> Chosen;

 private:
  QTabBar* row_ = nullptr;
  QListWidget* list_ = nullptr;
  QStackedWidget* stack_;
  bool setting_ = false;
};

}  // namespace vlm::gui
