#include "workbench/properties_panel.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace vlm::workbench {
namespace {

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

QString Number(float value) {
  return QString::number(static_cast<double>(value), 'g', 6);
}

QString VectorText(const Vec3& v) {
  return QString("(%1, %2, %3)").arg(Number(v.x), Number(v.y), Number(v.z));
}

QString Plural(size_t n, const char* one, const char* many) {
  return QString("%1 %2").arg(n).arg(n == 1 ? one : many);
}

// A label whose text can be selected and copied. It is cut short rather than widen the panel
// (its tooltip holds it whole), and never wraps: a wrapped label's height depends on its width,
// which the scroll area works out too short for the rows below it.
QLabel* TextLabel(QWidget* parent, const QString& name = {}) {
  auto* label = new QLabel(parent);
  if (!name.isEmpty()) label->setObjectName(name);
  label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  return label;
}

// Text that may be long and has no blanks to wrap at (a path, a field's value): one line that
// scrolls inside itself, selectable and copyable, the whole text in its tooltip.
QLineEdit* ReadOnlyText(QWidget* parent, const QString& text, const QString& name = {}) {
  auto* line = new QLineEdit(text, parent);
  if (!name.isEmpty()) line->setObjectName(name);
  line->setReadOnly(true);
  line->setFrame(false);
  QPalette palette = line->palette();
  palette.setColor(QPalette::Base, Qt::transparent);
  line->setPalette(palette);
  line->setCursorPosition(0);
  line->setToolTip(text);
  return line;
}

QToolButton* Button(const QString& text, QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setText(text);
  return button;
}

// Takes every widget and layout out of `layout` (they are deleted later, safely).
void Empty(QLayout* layout) {
  while (layout->count() > 0) {
    QLayoutItem* item = layout->takeAt(0);
    if (!item) break;
    // Out of the panel at once (a search for its controls finds only those shown), deleted
    // once the signal of a button in it has finished.
    if (QWidget* w = item->widget()) {
      w->hide();
      w->setParent(nullptr);
      w->deleteLater();
    }
    if (QLayout* inner = item->layout()) Empty(inner);
    delete item;
  }
}

QWidget* Row(QWidget* parent, std::initializer_list<QWidget*> widgets, int stretchAt = -1) {
  auto* row = new QWidget(parent);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  int i = 0;
  for (QWidget* w : widgets)
    layout->addWidget(w, i++ == stretchAt ? 1 : 0);
  if (stretchAt < 0) layout->addStretch(1);
  return row;
}

}  // namespace

PropertiesPanel::PropertiesPanel(QWidget* parent) : QScrollArea(parent) {
  setObjectName("properties");
  setWidgetResizable(true);
  // The panel takes the dock's width (a screen at 200 %): long texts scroll inside their own
  // lines, and the panel scrolls only up and down.
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  auto* content = new QWidget(this);
  auto* column = new QVBoxLayout(content);
  heading_ = TextLabel(content, "propertiesHeading");
  QFont bold = heading_->font();
  bold.setBold(true);
  heading_->setFont(bold);
  column->addWidget(heading_);
  BuildItem(column);

  fieldsBox_ = new QGroupBox(tr("Fields"), content);
  fieldsBox_->setObjectName("propertiesFields");
  fieldRows_ = new QVBoxLayout(fieldsBox_);
  column->addWidget(fieldsBox_);

  materialsBox_ = new QGroupBox(tr("Materials"), content);
  materialsBox_->setObjectName("propertiesMaterials");
  auto* materials = new QVBoxLayout(materialsBox_);
  materialRows_ = new QVBoxLayout;
  materials->addLayout(materialRows_);
  materialChoice_ = new QComboBox(materialsBox_);
  materialChoice_->setObjectName("propertiesMaterialChoice");
  materialChoice_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  materialChoice_->setMinimumContentsLength(8);
  assign_ = Button(tr("Assign"), materialsBox_);
  assign_->setObjectName("propertiesAssignMaterial");
  assign_->setToolTip(
      tr("Give the picked faces (every face of a picked object or group) the "
         "material chosen"));
  materials->addWidget(Row(materialsBox_, {materialChoice_, assign_}, 0));
  connect(assign_, &QToolButton::clicked, this,
          [this] { emit MaterialAsked(materialChoice_->currentText()); });
  column->addWidget(materialsBox_);

  BuildTransform(column);
  column->addStretch(1);
  content->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  setWidget(content);
  Show({}, {});
}

void PropertiesPanel::BuildItem(QVBoxLayout* column) {
  QWidget* content = column->parentWidget();
  auto* box = new QWidget(content);
  item_ = new QFormLayout(box);
  item_->setContentsMargins(0, 0, 0, 0);
  // A label goes above its field when the panel is too narrow for both on one line.
  item_->setRowWrapPolicy(QFormLayout::WrapLongRows);
  name_ = new QLineEdit(box);
  name_->setObjectName("propertiesName");
  rename_ = Button(tr("Rename"), box);
  rename_->setObjectName("propertiesRename");
  rename_->setToolTip(tr("Give the picked group or object the name typed (Enter does too)"));
  item_->addRow(tr("Name"), Row(box, {name_, rename_}, 0));
  const auto rename = [this] { emit RenameAsked(name_->text()); };
  connect(rename_, &QToolButton::clicked, this, rename);
  connect(name_, &QLineEdit::returnPressed, this, rename);

  path_ = new QLineEdit(box);
  path_->setObjectName("propertiesPath");
  path_->setReadOnly(true);
  path_->setToolTip(tr("The path as --select takes it (group:PATH, object:PATH)"));
  auto* copy = new QToolButton(box);
  copy->setObjectName("propertiesCopyPath");
  copy->setText(tr("Copy"));
  copy->setToolTip(tr("Copy the path"));
  connect(copy, &QToolButton::clicked, this,
          [this] { QGuiApplication::clipboard()->setText(path_->text()); });
  item_->addRow(tr("Path"), Row(box, {path_, copy}, 0));
  group_ = ReadOnlyText(box, {}, "propertiesGroup");
  item_->addRow(tr("In group"), group_);
  position_ = TextLabel(box, "propertiesPosition");
  item_->addRow(tr("Position"), position_);
  forward_ = TextLabel(box, "propertiesForward");
  item_->addRow(tr("Forward"), forward_);
  up_ = TextLabel(box, "propertiesUp");
  item_->addRow(tr("Up"), up_);
  counts_ = TextLabel(box, "propertiesCounts");
  item_->addRow(tr("Counts"), counts_);
  column->addWidget(box);
}

void PropertiesPanel::BuildTransform(QVBoxLayout* column) {
  auto* box = new QGroupBox(tr("Transform"), column->parentWidget());
  box->setObjectName("propertiesTransform");
  box->setToolTip(
      tr("Runs vlmhost prep transform on the picks (the whole scene when nothing "
         "is picked); undo takes it back"));
  auto* form = new QFormLayout(box);
  form->setRowWrapPolicy(QFormLayout::WrapLongRows);
  const auto button = [&](const char* name, const QString& text, const QString& tip) {
    auto* b = Button(text, box);
    b->setObjectName(name);
    b->setToolTip(tip);
    return b;
  };
  const auto pivot = [this](QStringList options) {
    if (aboutCentre_->isChecked()) options << "pivot=centre";
    return options;
  };

  moveBy_ = new QLineEdit("0,0,0", box);
  moveBy_->setObjectName("transformMoveBy");
  moveBy_->setToolTip(tr("X,Y,Z in world space, in the scene's units"));
  QToolButton* move = button("transformMove", tr("Move"), tr("Move the picks by X,Y,Z"));
  form->addRow(tr("Move by"), Row(box, {moveBy_, move}, 0));
  connect(move, &QToolButton::clicked, this,
          [this] { emit TransformAsked({"move=" + moveBy_->text().remove(' ')}); });

  // Turns are written as prep transform takes them, so the field stays narrow.
  rotateBy_ = new QLineEdit("y:90", box);
  rotateBy_->setObjectName("transformRotateBy");
  rotateBy_->setToolTip(
      tr("AXIS:DEGREES about the world axis x, y or z, right-handed (y:90 "
         "turns +z to +x); several turns: y:90;x:45"));
  QToolButton* rotate = button("transformRotate", tr("Turn"), tr("Turn the picks"));
  form->addRow(tr("Turn by"), Row(box, {rotateBy_, rotate}, 0));
  connect(rotate, &QToolButton::clicked, this, [this, pivot] {
    QStringList options;
    for (const QString& turn : rotateBy_->text().split(';', Qt::SkipEmptyParts))
      if (!turn.trimmed().isEmpty()) options << "rotate=" + turn.trimmed().remove(' ');
    emit TransformAsked(pivot(options.isEmpty() ? QStringList{"rotate="} : options));
  });

  scaleBy_ = new QLineEdit("1", box);
  scaleBy_->setObjectName("transformScaleBy");
  scaleBy_->setToolTip(tr("S, or SX,SY,SZ along the world axes"));
  QToolButton* scale =
      button("transformScale", tr("Scale"), tr("Scale by the factor (a negative one mirrors)"));
  form->addRow(tr("Scale by"), Row(box, {scaleBy_, scale}, 0));
  connect(scale, &QToolButton::clicked, this,
          [this, pivot] { emit TransformAsked(pivot({"scale=" + scaleBy_->text().remove(' ')})); });

  aboutCentre_ = new QCheckBox(tr("About the centre"), box);
  aboutCentre_->setObjectName("transformAboutCentre");
  aboutCentre_->setToolTip(
      tr("Turn and scale about the centre of the picks (else about the world origin)"));
  form->addRow(aboutCentre_);

  QToolButton* ground = button("transformGround", tr("Ground"),
                               tr("Move up or down so the lowest vertex is at y = 0"));
  QToolButton* centre = button("transformCentre", tr("Centre"),
                               tr("Move so the centre of the picks lies at x = z = 0"));
  form->addRow(Row(box, {ground, centre}));
  connect(ground, &QToolButton::clicked, this, [this] { emit TransformAsked({"ground"}); });
  connect(centre, &QToolButton::clicked, this, [this] { emit TransformAsked({"centre=xz"}); });
  column->addWidget(box);
}

void PropertiesPanel::Show(const PickProperties& p, const std::vector<std::string>& materials) {
  using Kind = PickProperties::Kind;
  heading_->setText(Q(p.heading));
  heading_->setToolTip(heading_->text());
  const bool one = p.kind == Kind::Group || p.kind == Kind::Object || p.kind == Kind::Faces;
  name_->setText(p.name ? Q(*p.name) : QString());
  name_->setPlaceholderText(p.kind == Kind::Several ? tr("(several names)") : QString());
  name_->setReadOnly(!one);
  rename_->setEnabled(one);
  path_->setText(Q(p.path));
  path_->setCursorPosition(0);
  item_->setRowVisible(path_->parentWidget(), one);
  item_->setRowVisible(name_->parentWidget(), p.kind != Kind::Nothing);
  group_->setText(p.group ? (p.group->empty() ? tr("(the top of the scene)") : Q(*p.group))
                          : tr("(several)"));
  group_->setCursorPosition(0);
  group_->setToolTip(group_->text());
  item_->setRowVisible(group_, p.kind != Kind::Nothing);
  for (QLabel* label : {position_, forward_, up_})
    item_->setRowVisible(label, p.frame.has_value());
  if (p.frame) {
    position_->setText(VectorText(p.frame->position));
    forward_->setText(VectorText(p.frame->forward));
    up_->setText(VectorText(p.frame->up));
    for (QLabel* label : {position_, forward_, up_})
      label->setToolTip(label->text());
  }
  counts_->setText(Plural(p.objects, "object", "objects") + ", " +
                   Plural(p.vertices, "vertex", "vertices") + ", " +
                   Plural(p.faces, "face", "faces"));
  counts_->setToolTip(counts_->text());
  item_->setRowVisible(counts_, p.kind != Kind::Nothing);

  materialChoice_->clear();
  for (const std::string& m : materials)
    materialChoice_->addItem(Q(m));
  assign_->setEnabled(p.kind != Kind::Nothing && !materials.empty());
  materialChoice_->setEnabled(assign_->isEnabled());
  ShowMaterials(p);
  ShowFields(p);
}

void PropertiesPanel::ShowMaterials(const PickProperties& p) {
  Empty(materialRows_);
  materialsBox_->setVisible(p.kind != PickProperties::Kind::Nothing);
  for (const PickProperties::Material& m : p.materials) {
    auto* row = new QWidget(materialsBox_);
    row->setObjectName(m.name.empty() ? QString("material (none)") : "material " + Q(m.name));
    auto* form = new QFormLayout(row);
    form->setContentsMargins(0, 0, 0, 0);
    form->setRowWrapPolicy(QFormLayout::WrapLongRows);
    auto* swatch = new QLabel(row);
    const int side = fontMetrics().height();
    swatch->setFixedSize(side, side);
    const QColor colour =
        QColor::fromRgbF(std::clamp(m.diffuse.r, 0.f, 1.f), std::clamp(m.diffuse.g, 0.f, 1.f),
                         std::clamp(m.diffuse.b, 0.f, 1.f));
    swatch->setStyleSheet(
        QString("background: %1; border: 1px solid palette(mid)").arg(colour.name()));
    swatch->setToolTip(tr("Diffuse colour %1, %2, %3")
                           .arg(Number(m.diffuse.r), Number(m.diffuse.g), Number(m.diffuse.b)));
    QLabel* name = TextLabel(row);
    QFont bold = name->font();
    bold.setBold(true);
    name->setFont(bold);
    name->setText((m.name.empty() ? tr("(no material)") : Q(m.name)) + "  " +
                  tr("(%1)").arg(Plural(m.faces, "face", "faces")));
    name->setToolTip(name->text());
    if (m.name.empty()) {
      form->addRow(Row(row, {name}));
      materialRows_->addWidget(row);
      continue;
    }
    form->addRow(Row(row, {swatch, name}, 1));
    QLineEdit* texture =
        ReadOnlyText(row, m.texture.empty() ? tr("none") : Q(m.texture), "texture");
    if (!m.texture.empty()) texture->setToolTip(Q(m.textureFile.string()));
    auto* choose = Button(tr("Texture..."), row);
    choose->setObjectName("chooseTexture");
    choose->setToolTip(
        tr("Choose the texture file of %1 (vlmhost prep materials --texture)").arg(Q(m.name)));
    connect(choose, &QToolButton::clicked, this,
            [this, name = Q(m.name)] { emit TextureAsked(name); });
    form->addRow(tr("Texture"), Row(row, {texture, choose}, 0));
    if (!m.texture.empty() && !m.textureFound) {
      QLabel* missing = TextLabel(row, "textureMissing");
      missing->setText(tr("not found"));
      missing->setStyleSheet("color: #b00000");
      missing->setToolTip(tr("No file %1").arg(Q(m.textureFile.string())));
      form->addRow(QString(), missing);
    }
    for (const PickProperties::Field& f : m.fields)
      form->addRow(Q(f.name), FieldWidget(f, row));
    materialRows_->addWidget(row);
  }
}

void PropertiesPanel::ShowFields(const PickProperties& p) {
  Empty(fieldRows_);
  fieldsBox_->setVisible(!p.fields.empty());
  fieldsBox_->setTitle(p.fieldsOf.empty() ? tr("Fields") : tr("Fields of %1").arg(Q(p.fieldsOf)));
  auto* rows = new QFormLayout;
  rows->setRowWrapPolicy(QFormLayout::WrapLongRows);
  for (const PickProperties::Field& f : p.fields)
    rows->addRow(Q(f.name), FieldWidget(f, fieldsBox_));
  fieldRows_->addLayout(rows);
}

QWidget* PropertiesPanel::FieldWidget(const PickProperties::Field& field, QWidget* parent) {
  if (!field.lines) {
    return ReadOnlyText(parent, Q(field.text), "field " + Q(field.name));
  }
  // Lines such as OBJ8's, read as written: fixed-width, unwrapped, never edited here.
  auto* box = new QPlainTextEdit(parent);
  box->setObjectName("field " + Q(field.name));
  box->setReadOnly(true);
  box->setLineWrapMode(QPlainTextEdit::NoWrap);
  box->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  box->setPlainText(Q(field.text));
  const int lines = std::clamp(
      static_cast<int>(std::count(field.text.begin(), field.text.end(), '\n')) + 1, 2, 8);
  box->setFixedHeight(
      box->fontMetrics().lineSpacing() * lines +
      2 * (box->frameWidth() + static_cast<int>(box->document()->documentMargin())) +
      box->horizontalScrollBar()->sizeHint().height());
  return box;
}

}  // namespace vlm::workbench
