// A preparation step's options as fields: built from the step's own list, so a step's new
// option shows here as it shows in `vlmhost prep STEP --help`.
#include "workbench/prep_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>

#include "workbench/window_parts.h"
#include "workbench/workbench_window.h"

namespace vlm::workbench {
namespace {

using window::Q;

// "up-axis" -> "Up axis": the caption of an option's field.
QString Caption(const std::string& name) {
  QString text = Q(name).replace('-', ' ');
  if (!text.isEmpty()) text[0] = text[0].toUpper();
  return text;
}

// "transform" -> "Transform"; a name of three letters or fewer is an abbreviation: "LOD".
QString StepCaption(const host::PrepStepInfo& step) {
  return step.name.size() <= 3 ? Q(step.name).toUpper() : Caption(step.name);
}

// The words of an option whose value is one of a few ("origin|centre"); none for any other
// (a value name in capitals, "S|SX,SY,SZ", stands for numbers to type).
QStringList WordsOf(const host::PrepOptionInfo& option) {
  if (option.valueName.empty() || option.repeatable) return {};
  const QStringList words = Q(option.valueName).split('|');
  if (words.size() < 2) return {};
  for (const QString& word : words) {
    if (word.isEmpty()) return {};
    for (QChar c : word)
      if (!(c.isLower() || c.isDigit() || c == '+' || c == '-' || c == '_')) return {};
  }
  return words;
}

// "--scale S|SX,SY,SZ: what it does": what the help line under the fields says of an option.
QString HelpOf(const host::PrepOptionInfo& option) {
  QString text = Q("--" + option.name);
  if (!option.valueName.empty()) text += " " + Q(option.valueName);
  if (option.repeatable) text += QObject::tr(" (several: separate them with \";\")");
  return text + ": " + Q(option.help);
}

}  // namespace

QString PrepSummaryText(const host::PrepStepInfo& step) {
  QString text = Q(step.summary);
  if (!text.isEmpty()) text[0] = text[0].toUpper();
  return text;
}

QString PrepMenuText(const host::PrepStepInfo& step) {
  return StepCaption(step) + "...";
}

QWidget* PrepDialog::Field::Widget() const {
  if (flag) return flag;
  if (words) return words;
  return line;
}

PrepDialog::PrepDialog(const host::PrepStepInfo& step, QWidget* parent) : QDialog(parent) {
  setObjectName(Q("prep " + step.name));
  setWindowTitle(tr("Prepare: %1").arg(StepCaption(step)));
  auto* outer = new QVBoxLayout(this);
  auto* summary = new QLabel(PrepSummaryText(step), this);
  summary->setObjectName("summary");
  summary->setWordWrap(true);
  outer->addWidget(summary);
  outer->addSpacing(fontMetrics().lineSpacing() / 2);

  auto* inner = new QWidget;
  auto* form = new QFormLayout(inner);
  form->setContentsMargins(0, 0, 0, 0);
  for (const host::PrepOptionInfo& option : step.options) {
    Field field;
    field.option = &option;
    const QString help = HelpOf(option);
    if (option.valueName.empty()) {
      field.flag = new QCheckBox(Caption(option.name), inner);
      form->addRow(QString(), field.flag);
    } else if (const QStringList words = WordsOf(option); !words.isEmpty()) {
      field.words = new QComboBox(inner);
      field.words->addItem(tr("(default)"), QString());
      for (const QString& word : words)
        field.words->addItem(word, word);
      form->addRow(Caption(option.name) + ":", field.words);
    } else {
      field.line = new QLineEdit(inner);
      field.line->setPlaceholderText(Q(option.valueName) + (option.repeatable ? "; ..." : ""));
      form->addRow(Caption(option.name) + ":", field.line);
    }
    QWidget* widget = field.Widget();
    widget->setObjectName(Q(option.name));
    widget->setToolTip(help);
    if (QWidget* label = form->labelForField(widget)) label->setToolTip(help);
    widget->installEventFilter(this);
    fields_.push_back(field);
  }
  if (step.options.empty()) form->addRow(new QLabel(tr("This step takes no options."), inner));
  scroll_ = new QScrollArea(this);
  scroll_->setWidget(inner);
  scroll_->setWidgetResizable(true);
  scroll_->setFrameShape(QFrame::NoFrame);
  scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  outer->addWidget(scroll_, 1);

  help_ = new QLabel(this);
  help_->setObjectName("help");
  help_->setWordWrap(true);
  help_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  help_->setForegroundRole(QPalette::PlaceholderText);
  help_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  outer->addWidget(help_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  outer->addWidget(buttons);
  if (!fields_.empty()) fields_.front().Widget()->setFocus();
}

std::vector<std::string> PrepDialog::Options() const {
  std::vector<std::string> out;
  for (const Field& field : fields_) {
    const std::string& name = field.option->name;
    if (field.flag) {
      if (field.flag->isChecked()) out.push_back(name);
      continue;
    }
    const QString text =
        field.words ? field.words->currentData().toString() : field.line->text().trimmed();
    const QStringList values = field.option->repeatable ? text.split(';') : QStringList{text};
    for (const QString& value : values)
      if (!value.trimmed().isEmpty()) out.push_back(name + "=" + value.trimmed().toStdString());
  }
  return out;
}

bool PrepDialog::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusIn)
    for (const Field& field : fields_)
      if (field.Widget() == watched) help_->setText(field.Widget()->toolTip());
  return QDialog::eventFilter(watched, event);
}

void PrepDialog::showEvent(QShowEvent* event) {
  FitScreen();
  QDialog::showEvent(event);
}

void PrepDialog::FitScreen() {
  ensurePolished();
  for (QWidget* w : findChildren<QWidget*>())
    w->ensurePolished();
  QWidget* inner = scroll_->widget();
  inner->layout()->activate();
  // Nine tenths of the screen at most, as the workbench's window, leaving room for the frame.
  const QSize available =
      (screen() ? screen()->availableSize() : QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX)) * 0.9;
  const QSize fields = inner->sizeHint();
  const QMargins margins = layout()->contentsMargins();
  // Wide enough for the fields beside a scroll bar, and for the help to wrap in a few lines.
  const int width =
      std::min(std::max(fields.width() + scroll_->verticalScrollBar()->sizeHint().width() +
                            margins.left() + margins.right(),
                        fontMetrics().averageCharWidth() * 72),
               available.width());
  const auto heightAt = [this](int w) {
    layout()->activate();
    return layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(w)
                                         : layout()->totalSizeHint().height();
  };
  // The help line keeps the height of the longest help, so that it neither hides the fields
  // nor makes the dialog jump as the keys move from field to field.
  const int helpWidth = width - margins.left() - margins.right();
  const QString shown = help_->text();
  int helpHeight = help_->fontMetrics().lineSpacing() * 2;
  for (const Field& field : fields_) {
    help_->setText(field.Widget()->toolTip());
    helpHeight = std::max(helpHeight, help_->heightForWidth(helpWidth));
  }
  help_->setText(shown);
  help_->setMinimumHeight(helpHeight);
  // Every field shown when the screen has room; else the fields take what the summary, the
  // help and the buttons leave, and scroll.
  scroll_->setMinimumHeight(fields.height());
  int height = heightAt(width);
  if (height > available.height()) {
    scroll_->setMinimumHeight(
        std::max(fields.height() - (height - available.height()), fontMetrics().lineSpacing() * 2));
    height = std::min(heightAt(width), available.height());
  }
  resize(width, height);
}

// ---- what the window asks a person ----

std::optional<std::vector<std::string>> Asker::PrepOptions(QWidget* parent,
                                                           const host::PrepStepInfo& step) {
  PrepDialog dialog(step, parent);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.Options();
}

}  // namespace vlm::workbench
