// The workbench's Animation panel, for an imported X-Plane object: a slider and a number field
// for each dataref its animations read, which pose the view as X-Plane would draw the object
// at those values; a reset to the rest frame (every dataref at 0); and, when the object has
// levels of detail, "all" or "by distance" with a distance slider, which shows only the levels
// whose range holds the distance. The lights are drawn as points in their colours whatever
// the panel shows. The panel keeps the values of a dataref while the document changes (a run,
// undo), and reads nothing into the document: posing is the view's, never saved or undone.
#pragma once

#include <QScrollArea>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "workbench/animation_preview.h"

class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QSlider;
class QVBoxLayout;

namespace vlm::host {
class HostDocument;
}

namespace vlm::workbench {

class AnimationPanel : public QScrollArea {
  Q_OBJECT
 public:
  explicit AnimationPanel(QWidget* parent = nullptr);

  // Reads the animations, lights and levels of `document` (null: none). The controls are made
  // again when the datarefs or levels differ from the last document's. Emits PoseChanged.
  void SetDocument(const host::HostDocument* document);
  // Nothing to show: the document has no animation, light or level of detail.
  bool Empty() const { return preview_.Empty(); }
  const AnimationPreview& Preview() const { return preview_; }

  // The document as the panel poses it now.
  ScenePose Pose() const;
  const DatarefValues& Values() const { return values_; }
  // The distance the levels are chosen by, or none when every level is shown.
  std::optional<double> Distance() const;

  // What the controls do, also for tests: a dataref's value (held to its span), every one
  // back to 0, the levels by distance (or all of them, none).
  void SetValue(const std::string& dataref, double value);
  void Reset();
  void SetDistance(std::optional<double> distance);

 signals:
  void PoseChanged();

 private:
  struct Row {
    DatarefSpan span;
    QSlider* slider = nullptr;
    QDoubleSpinBox* box = nullptr;
  };
  void Build();
  void ShowValue(Row& row);
  void ShowLevels();

  AnimationPreview preview_;
  DatarefValues values_;
  std::vector<Row> rows_;
  std::vector<LevelOfDetail> builtLevels_;
  QVBoxLayout* column_ = nullptr;
  QWidget* content_ = nullptr;
  QLabel* summary_ = nullptr;
  QComboBox* lodMode_ = nullptr;
  QSlider* lodSlider_ = nullptr;
  QDoubleSpinBox* lodBox_ = nullptr;
  QLabel* lodShown_ = nullptr;
  double lodReach_ = 1;  // the distance slider's far end, metres
  double distance_ = 0;  // the distance chosen, used when the mode is "by distance"
  bool byDistance_ = false;
  bool updating_ = false;  // the controls are being set from the values: no signal back
};

}  // namespace vlm::workbench
