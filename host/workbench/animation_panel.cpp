// The Animation panel (see animation_panel.h).
#include "workbench/animation_panel.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "scene/document.h"

namespace vlm::workbench {
namespace {

// Steps of a slider from one end of its span to the other.
constexpr int kSteps = 1000;

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

// Where a value lies on a slider over [low, high], and back.
int StepOf(double value, double low, double high) {
  if (!(high > low)) return 0;
  return static_cast<int>(std::lround(std::clamp((value - low) / (high - low), 0.0, 1.0) * kSteps));
}
double ValueOf(int step, double low, double high) {
  return low + (high - low) * step / kSteps;
}

// A distance as a level's range shows it: "1000", "0.5", "∞".
QString Metres(double distance) {
  return std::isinf(distance) ? QString::fromUtf8("\u221e") : QString::number(distance, 'g', 6);
}

QSlider* NewSlider(QWidget* parent, const QString& name) {
  auto* slider = new QSlider(Qt::Horizontal, parent);
  slider->setObjectName(name);
  slider->setRange(0, kSteps);
  // A narrow dock keeps the slider usable; it takes what room there is.
  slider->setMinimumWidth(60);
  return slider;
}

QDoubleSpinBox* NewBox(QWidget* parent, const QString& name, double low, double high) {
  auto* box = new QDoubleSpinBox(parent);
  box->setObjectName(name);
  box->setDecimals(3);
  box->setRange(low, high);
  box->setSingleStep(std::max((high - low) / 100, 0.001));
  box->setKeyboardTracking(false);
  return box;
}

}  // namespace

AnimationPanel::AnimationPanel(QWidget* parent) : QScrollArea(parent) {
  setObjectName("animation");
  setWidgetResizable(true);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  Build();
}

void AnimationPanel::SetDocument(const host::HostDocument* document) {
  std::vector<std::string> before;
  for (const Row& row : rows_)
    before.push_back(row.span.name);
  preview_ = document ? AnimationPreview(*document) : AnimationPreview();
  std::vector<std::string> now;
  for (const DatarefSpan& span : preview_.Datarefs())
    now.push_back(span.name);
  // The values of datarefs the document still reads stay (held to their spans).
  DatarefValues kept;
  for (const DatarefSpan& span : preview_.Datarefs())
    if (const auto it = values_.find(span.name); it != values_.end())
      kept[span.name] = std::clamp(it->second, span.low, span.high);
  values_ = std::move(kept);
  std::vector<std::pair<double, double>> levelsBefore, levelsNow;
  for (const LevelOfDetail& l : builtLevels_)
    levelsBefore.emplace_back(l.nearDistance, l.farDistance);
  for (const LevelOfDetail& l : preview_.Levels())
    levelsNow.emplace_back(l.nearDistance, l.farDistance);
  if (before != now || levelsBefore != levelsNow || rows_.size() != now.size()) {
    Build();
  } else {
    for (size_t i = 0; i < rows_.size(); ++i)
      rows_[i].span = preview_.Datarefs()[i];
    builtLevels_ = preview_.Levels();
  }
  emit PoseChanged();
}

void AnimationPanel::Build() {
  rows_.clear();
  builtLevels_ = preview_.Levels();
  lodMode_ = nullptr, lodSlider_ = nullptr, lodBox_ = nullptr, lodShown_ = nullptr;
  content_ = new QWidget(this);
  column_ = new QVBoxLayout(content_);
  summary_ = new QLabel(content_);
  summary_->setObjectName("animationSummary");
  summary_->setWordWrap(true);
  column_->addWidget(summary_);
  QStringList parts;
  const auto count = [](size_t n, const QString& one, const QString& many) {
    return (n == 1 ? one : many).arg(n);
  };
  if (preview_.AnimationCount() > 0)
    parts << count(preview_.AnimationCount(), tr("%1 animation"), tr("%1 animations"));
  if (preview_.LightCount() > 0)
    parts << count(preview_.LightCount(), tr("%1 light, drawn as a point"),
                   tr("%1 lights, drawn as points"));
  if (!preview_.Levels().empty())
    parts << count(preview_.Levels().size(), tr("%1 level of detail"), tr("%1 levels of detail"));
  for (const std::string& problem : preview_.Problems())
    parts << tr("left at rest: %1").arg(Q(problem));
  summary_->setText(parts.isEmpty() ? tr("No animation, light or level of detail")
                                    : parts.join("\n"));

  if (!preview_.Datarefs().empty()) {
    auto* box = new QGroupBox(tr("Datarefs"), content_);
    auto* rows = new QVBoxLayout(box);
    for (const DatarefSpan& span : preview_.Datarefs()) {
      // The last part of the name beside its number, the slider under them across the pane,
      // the whole name in their tooltips: a narrow dock (a screen at 200 %) shows them whole.
      const size_t slash = span.name.find_last_of('/');
      auto* label =
          new QLabel(Q(slash == std::string::npos ? span.name : span.name.substr(slash + 1)), box);
      label->setToolTip(Q(span.name));
      label->setMinimumWidth(1);
      label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
      Row row{span, NewSlider(box, Q("animationSlider:" + span.name)),
              NewBox(box, Q("animationValue:" + span.name), span.low, span.high)};
      row.slider->setToolTip(Q(span.name));
      row.box->setToolTip(Q(span.name));
      auto* line = new QHBoxLayout;
      line->addWidget(label, 1);
      line->addWidget(row.box);
      rows->addLayout(line);
      rows->addWidget(row.slider);
      const std::string name = span.name;
      connect(row.slider, &QSlider::valueChanged, this, [this, name](int step) {
        if (updating_) return;
        const auto it = std::find_if(rows_.begin(), rows_.end(),
                                     [&](const Row& r) { return r.span.name == name; });
        if (it != rows_.end()) SetValue(name, ValueOf(step, it->span.low, it->span.high));
      });
      connect(row.box, &QDoubleSpinBox::valueChanged, this, [this, name](double value) {
        if (!updating_) SetValue(name, value);
      });
      rows_.push_back(row);
    }
    auto* reset = new QPushButton(tr("Reset to rest"), box);
    reset->setObjectName("animationReset");
    reset->setToolTip(tr("Every dataref back to 0, where the import put the animated parts"));
    connect(reset, &QPushButton::clicked, this, &AnimationPanel::Reset);
    rows->addWidget(reset, 0, Qt::AlignLeft);
    column_->addWidget(box);
  }

  if (!preview_.Levels().empty()) {
    auto* box = new QGroupBox(tr("Level of detail"), content_);
    auto* rows = new QVBoxLayout(box);
    lodMode_ = new QComboBox(box);
    lodMode_->setObjectName("animationLodMode");
    lodMode_->addItems({tr("all"), tr("by distance")});
    lodMode_->setToolTip(tr("Every level, or only the levels seen from the distance chosen"));
    lodMode_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    lodMode_->setMinimumContentsLength(6);
    // The slider reaches past the farthest level that ends.
    lodReach_ = 0;
    for (const LevelOfDetail& level : preview_.Levels())
      lodReach_ = std::max(
          lodReach_, std::isinf(level.farDistance) ? level.nearDistance * 2 : level.farDistance);
    lodReach_ = std::max(lodReach_, 1.0);
    lodSlider_ = NewSlider(box, "animationLodSlider");
    lodBox_ = NewBox(box, "animationLodDistance", 0, lodReach_ * 10);
    lodBox_->setSuffix(" m");
    lodBox_->setDecimals(1);
    // One control a line: the pane stays narrow enough for a dock at 200 %.
    rows->addWidget(lodMode_);
    rows->addWidget(lodSlider_);
    rows->addWidget(lodBox_, 0, Qt::AlignLeft);
    lodShown_ = new QLabel(box);
    lodShown_->setObjectName("animationLodShown");
    lodShown_->setWordWrap(true);
    rows->addWidget(lodShown_);
    connect(lodMode_, &QComboBox::currentIndexChanged, this, [this](int index) {
      if (!updating_) SetDistance(index == 1 ? std::optional(distance_) : std::nullopt);
    });
    connect(lodSlider_, &QSlider::valueChanged, this, [this](int step) {
      if (!updating_) SetDistance(ValueOf(step, 0, lodReach_));
    });
    connect(lodBox_, &QDoubleSpinBox::valueChanged, this, [this](double value) {
      if (!updating_) SetDistance(value);
    });
    column_->addWidget(box);
  }
  column_->addStretch(1);
  setWidget(content_);  // the earlier content goes with its controls
  for (Row& row : rows_)
    ShowValue(row);
  ShowLevels();
}

void AnimationPanel::ShowValue(Row& row) {
  updating_ = true;
  const auto it = values_.find(row.span.name);
  const double value = it == values_.end() ? 0 : it->second;
  row.slider->setValue(StepOf(value, row.span.low, row.span.high));
  row.box->setValue(value);
  updating_ = false;
}

void AnimationPanel::ShowLevels() {
  if (!lodMode_) return;
  updating_ = true;
  lodMode_->setCurrentIndex(byDistance_ ? 1 : 0);
  lodSlider_->setValue(StepOf(distance_, 0, lodReach_));
  lodBox_->setValue(distance_);
  lodSlider_->setEnabled(byDistance_);
  lodBox_->setEnabled(byDistance_);
  QStringList shown;
  for (const LevelOfDetail& level : preview_.Levels())
    if (!byDistance_ || (distance_ >= level.nearDistance && distance_ < level.farDistance))
      shown << (level.node->name.starts_with("LOD ")
                    ? Q(level.node->name)
                    : QString("%1 (%2-%3 m)")
                          .arg(Q(level.node->name), Metres(level.nearDistance),
                               Metres(level.farDistance)));
  lodShown_->setText(shown.isEmpty() ? tr("Shown: no level at this distance")
                                     : tr("Shown: %1").arg(shown.join(", ")));
  updating_ = false;
}

ScenePose AnimationPanel::Pose() const {
  return preview_.Pose(values_, Distance());
}

std::optional<double> AnimationPanel::Distance() const {
  if (!byDistance_ || preview_.Levels().empty()) return std::nullopt;
  return distance_;
}

void AnimationPanel::SetValue(const std::string& dataref, double value) {
  const auto row = std::find_if(rows_.begin(), rows_.end(),
                                [&](const Row& r) { return r.span.name == dataref; });
  if (row == rows_.end() || !std::isfinite(value)) return;
  value = std::clamp(value, row->span.low, row->span.high);
  const auto it = values_.find(dataref);
  if (it != values_.end() && it->second == value) return;
  values_[dataref] = value;
  ShowValue(*row);
  emit PoseChanged();
}

void AnimationPanel::Reset() {
  values_.clear();
  for (Row& row : rows_)
    ShowValue(row);
  emit PoseChanged();
}

void AnimationPanel::SetDistance(std::optional<double> distance) {
  byDistance_ = distance.has_value();
  if (distance && std::isfinite(*distance)) distance_ = std::max(*distance, 0.0);
  ShowLevels();
  emit PoseChanged();
}

}  // namespace vlm::workbench
