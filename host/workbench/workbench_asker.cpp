// What the workbench window asks a person: Qt's file pickers, questions and parameter dialogs.
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QMessageBox>
#include <cmath>

#include "run/printing.h"
#include "workbench/window_parts.h"
#include "workbench/workbench_window.h"

namespace vlm::workbench {
namespace {

using window::Q;

std::filesystem::path PathOf(const QString& text) {
  return std::filesystem::path(text.toStdString());
}

}  // namespace

// ---- what the window asks a person ----

std::optional<std::filesystem::path> Asker::FileToOpen(QWidget* parent, const QString& title,
                                                       const QString& filter) {
  const QString file = QFileDialog::getOpenFileName(parent, title, {}, filter);
  if (file.isEmpty()) return std::nullopt;
  return PathOf(file);
}

std::optional<std::filesystem::path> Asker::FileToWrite(QWidget* parent, const QString& title,
                                                        const QString& filter,
                                                        const std::filesystem::path& suggested) {
  const QString file = QFileDialog::getSaveFileName(parent, title, Q(suggested.string()), filter);
  if (file.isEmpty()) return std::nullopt;
  return PathOf(file);
}

Asker::Unsaved Asker::SaveChanges(QWidget* parent, const QString& document) {
  switch (QMessageBox::question(
      parent, QObject::tr("Save changes?"),
      QObject::tr("%1 has changes that are not saved. Save them first?").arg(document),
      QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save)) {
    case QMessageBox::Save:
      return Unsaved::Save;
    case QMessageBox::Discard:
      return Unsaved::Discard;
    default:
      return Unsaved::Cancel;
  }
}

QDoubleSpinBox* ParameterBox(const OperationParameter& p, QWidget* parent) {
  auto* box = new QDoubleSpinBox(parent);
  box->setObjectName(Q(p.Name));
  const bool count = p.UnitKind == 0 && p.Increment >= 1 && p.Increment == std::floor(p.Increment);
  box->setDecimals(count ? 0 : 4);
  const bool ranged = std::isfinite(p.Minimum) && std::isfinite(p.Maximum) && p.Maximum > p.Minimum;
  box->setRange(ranged ? p.Minimum : -1e9, ranged ? p.Maximum : 1e9);
  if (p.Increment > 0) box->setSingleStep(p.Increment);
  box->setValue(p.Value);
  return box;
}

std::optional<std::vector<std::string>> Asker::Parameters(
    QWidget* parent, const QString& plugin, const std::vector<OperationParameter>& params) {
  QDialog dialog(parent);
  dialog.setWindowTitle(plugin);
  auto* form = new QFormLayout(&dialog);
  std::vector<QDoubleSpinBox*> boxes;
  for (const OperationParameter& p : params) {
    QDoubleSpinBox* box = ParameterBox(p, &dialog);
    form->addRow(Q(p.Text.empty() ? p.Name : p.Text), box);
    boxes.push_back(box);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  form->addRow(buttons);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  std::vector<std::string> out;
  for (size_t i = 0; i < params.size(); ++i)
    out.push_back(params[i].Name + "=" + host::Number(static_cast<float>(boxes[i]->value())));
  return out;
}

void Asker::Problem(QWidget* parent, const QString& text) {
  QMessageBox::warning(parent, QObject::tr("Workbench"), text);
}
}  // namespace vlm::workbench
