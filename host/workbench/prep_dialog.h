// The dialog of a preparation step in the workbench's Prepare menu, built from the step's
// option list: a check box for each flag, a line for each option that takes a value (a list of
// words for an option whose value is one of a few words), OK and Cancel. What it gives back is
// what `vlmhost prep STEP` makes of the same options typed on its command line.
#pragma once

#include <QDialog>
#include <QString>
#include <string>
#include <vector>

#include "prep/prep_step.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QScrollArea;

namespace vlm::workbench {

// The Prepare menu's entry of a step: "Transform...".
QString PrepMenuText(const host::PrepStepInfo& step);
// What the step does, as a sentence starts: its dialog's first line and the menu's status tip.
QString PrepSummaryText(const host::PrepStepInfo& step);

class PrepDialog : public QDialog {
 public:
  explicit PrepDialog(const host::PrepStepInfo& step, QWidget* parent = nullptr);

  // The options as filled in, as NAME=VALUE texts (a flag: NAME alone) in the step's order:
  // an empty line is an option not given, a value loses the blanks around it, and a repeatable
  // option's line gives one value for each part between ";".
  std::vector<std::string> Options() const;

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Field {
    const host::PrepOptionInfo* option = nullptr;
    QCheckBox* flag = nullptr;
    QLineEdit* line = nullptr;
    QComboBox* words = nullptr;
    QWidget* Widget() const;
  };
  // As large as its fields ask, but never beyond the screen: the fields scroll then.
  void FitScreen();

  std::vector<Field> fields_;
  QScrollArea* scroll_ = nullptr;
  QLabel* help_ = nullptr;  // the help of the field the keys go to
};

}  // namespace vlm::workbench
