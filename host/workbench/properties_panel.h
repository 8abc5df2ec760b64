// The workbench's properties panel: what is picked (its name and path, a group's frame or an
// object's group, its counts, its materials with their colours and textures, its custom
// fields) and the edits made on it: rename, a material for the picked faces, a material's
// texture, and the transform steps. The panel only shows and asks; the window makes each edit
// through the session, so every one is logged and undoable.
#pragma once

#include <QScrollArea>
#include <QStringList>
#include <string>
#include <vector>

#include "workbench/pick_properties.h"

class QCheckBox;
class QComboBox;
class QFormLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QToolButton;
class QVBoxLayout;

namespace vlm::workbench {

class PropertiesPanel : public QScrollArea {
  Q_OBJECT
 public:
  explicit PropertiesPanel(QWidget* parent = nullptr);

  // Shows the picks' properties; `materials` are the document's materials, which the picked
  // faces can be given.
  void Show(const PickProperties& properties, const std::vector<std::string>& materials);

 signals:
  // The person asked to rename the picked item.
  void RenameAsked(const QString& name);
  // ... to give the picked faces this material.
  void MaterialAsked(const QString& material);
  // ... to choose a texture file for this material.
  void TextureAsked(const QString& material);
  // ... to run `prep transform` on the picks with these options (NAME=VALUE, a flag NAME).
  void TransformAsked(const QStringList& options);

 private:
  void BuildItem(QVBoxLayout* column);
  void BuildTransform(QVBoxLayout* column);
  void ShowMaterials(const PickProperties& properties);
  void ShowFields(const PickProperties& properties);
  QWidget* FieldWidget(const PickProperties::Field& field, QWidget* parent);

  QLabel* heading_ = nullptr;
  QFormLayout* item_ = nullptr;
  QLineEdit* name_ = nullptr;
  QToolButton* rename_ = nullptr;
  QLineEdit* path_ = nullptr;
  QLineEdit* group_ = nullptr;
  QLabel* position_ = nullptr;
  QLabel* forward_ = nullptr;
  QLabel* up_ = nullptr;
  QLabel* counts_ = nullptr;
  QGroupBox* materialsBox_ = nullptr;
  QVBoxLayout* materialRows_ = nullptr;
  QComboBox* materialChoice_ = nullptr;
  QToolButton* assign_ = nullptr;
  QGroupBox* fieldsBox_ = nullptr;
  QVBoxLayout* fieldRows_ = nullptr;
  QLineEdit* moveBy_ = nullptr;
  QLineEdit* rotateBy_ = nullptr;
  QLineEdit* scaleBy_ = nullptr;
  QCheckBox* aboutCentre_ = nullptr;
};

}  // namespace vlm::workbench
