// What the two exporters share: the unit scale, the choice of the exported node, the
// options dialog with its log, the level-of-detail modes and the size check, the shape of
// one export (ExportSession), and the selGroup record.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vlm/error.h"
#include "vlm/file_names.h"
#include "vlm/forms.h"
#include "vlm/math.h"

namespace vlm {

class Node;
class SceneGraph;
class Shape;

// The level-of-detail modes of the options dialog, by their optLOD index.
enum class lodType : int16_t { None = 0, Auto = 1, Custom = 2 };
// The mode of an optLOD index; one the dialog does not have counts as None.
lodType LodTypeOf(int16_t index);

// Metres per document unit for the document's Units code: 0 metres, 1 centimetres, 2 feet.
// Any other code counts as metres, and `log` receives one line that names it.
float UnitScaleFor(int32_t unitsCode, const std::function<void(const std::string&)>& log);

// A name the exporters write into a file must hold no control character: a line break or a
// tab would end or split a line of a text file, a NUL would cut a name in a binary one.
// Returns "" for a clean text; otherwise the reason to stop, naming `what`, the text (its
// control characters shown as escapes) and the first control character, e.g.
//   the texture name "wall.png\r\nTRIS 0 9" holds a carriage return (0x0D), which the file
//   cannot carry
std::string ControlCharacterProblem(std::string_view what, std::string_view text);

// A texture file an export names, and where the export's reader will look for it.
struct TextureReference {
  std::string named;    // the file as the scene names it
  std::string written;  // the name as the export writes it
  // Where the reader looks, relative to the export's folder ("/" between folders), and
  // whether it takes the name with any extension (a reference without one).
  std::string expected;
  bool anyExtension = false;
  // The export writes `named` with its folders: warn about a backslash between them too.
  bool writesFolders = true;
};
// Warns (through Warn, naming the export) about a texture named by an absolute path, with a
// backslash between folders, or whose file does not exist where the reader looks. When the
// host copies the files exports name (CopyNamedFiles), notes it for the host instead.
void CheckTextureReference(const std::string& exportFile, const TextureReference& texture);

// The node to export: ExportGroup when it is not the root node; otherwise the first
// top-level node whose name, in lower case, is "main". When there is none, shows the message
// "Select a group to export or name one group 'Main'" under `title` and returns nullptr.
Node* ChooseExportNode(Node* exportGroup, Node* rootNode, const std::string& title);

// The custom levels of detail that node names give: the chosen node first, then each of the
// root's nodes named after it (in any case), one separator and a number of metres
// ("Body_200"), by number, a later one after an earlier of the same number. Each level is seen
// from its number on, the chosen node's from 0. `number` reads the number's text, given the
// node's name and the levels found so far, and may stop the export (a text that is not a
// whole number, too many levels); a number below 1 makes no level.
struct LevelNode {
  Node* node;
  int32_t number;  // 0 for the chosen node
};
using LevelNumberReader =
    std::function<int32_t(std::string_view text, const std::string& nodeName, size_t found)>;
std::vector<LevelNode> CustomLevelNodes(Node& root, Node& chosen, const LevelNumberReader& number);

// What the options dialog's Start Export button runs.
class ExportRunner {
 public:
  virtual ~ExportRunner() = default;
  // One export with the dialog's current options. The dialog stays open.
  virtual void Run() = 0;
};

// The options dialog both exporters build on ("Export Options"): the level-of-detail
// option buttons, the log list, Start Export and Close. Each exporter adds its own controls.
class ExportOptionsForm : public Form {
 public:
  ExportOptionsForm();

  // Appends a line to the log, selects it so the list scrolls to it, and shows it at once.
  void AddList(const std::string& text);

  ExportRunner* plug = nullptr;
  int16_t LType = 0;  // the clicked optLOD index; 0 after load

  Frame Frame1{*this, "Frame1"};
  ControlArray<OptionButton> optLOD{*this, "optLOD", 3};
  ListBox lst{*this, "lst"};
  CommandButton cmdOK{*this, "cmdOK"};
  CommandButton cmdCancel{*this, "cmdCancel"};
};

// How big a shape looks from a distance, for automatic levels of detail: its extents in
// metres, and the smallest extent seen from there (the distance divided by the format's
// distance per metre of extent). It can be seen while at most one extent is smaller.
struct ShapeSize {
  Vec3 extents;
  float smallest = 0;
  bool Visible() const {
    return (extents.x < smallest) + (extents.y < smallest) + (extents.z < smallest) < 2;
  }
};

// One export, the template of every exporter: the exporter's Export makes one for the call
// (ShowDialog) and it ends with the call, with the scene's pointers, the options dialog and
// every table of the export. Each press of the dialog's Start Export runs Run: the unit
// scale, the level-of-detail mode and the exporter's own options are read, the node to export
// is chosen, and exportMain writes it. A press that fails is logged (reported) and the dialog
// stays open; when the dialog closes and no press wrote its files, the export fails with the
// reason the last failed press gave.
class ExportSession : public ExportRunner {
 public:
  // The format's size check: metres of distance per metre of the smallest visible extent.
  struct SizeLimit {
    float distancePerMetre;
  };
  // Seen from this distance or nearer, every shape counts as visible.
  static constexpr int32_t AllVisibleDistance = 100;

  ExportSession(std::string fileName, Node* exportGroup, SceneGraph& sceneGraph,
                std::unique_ptr<ExportOptionsForm> form, std::string title, SizeLimit sizeLimit);
  ~ExportSession() override;
  ExportSession(const ExportSession&) = delete;
  ExportSession& operator=(const ExportSession&) = delete;

  // Shows the dialog until it is closed (see above).
  void ShowDialog();
  void Run() final;

 protected:
  // Reads the exporter's own options of the dialog, after the common ones.
  virtual void readOptions() {}
  // Exports the chosen node; calls Wrote once its files are written.
  virtual void exportMain(Node& node) = 0;
  // Logs a press's failure and returns true, so that the dialog stays open; false lets the
  // error end the export.
  virtual bool reported(const Error& error) = 0;

  // The size of `shape` seen from `distance` metres; none within AllVisibleDistance.
  std::optional<ShapeSize> SizeAt(Shape& shape, int32_t distance) const;
  void Log(const std::string& line) { form_->AddList(line); }
  ExportOptionsForm& dialog() const { return *form_; }
  void Wrote() { wrote_ = true; }

  SceneGraph& sceneGraph_;
  Node* const rootNode_;
  Node* const exportGroup_;
  const std::string fileName_;
  const std::string title_;
  // Of the press that runs.
  lodType lodMode_ = lodType::None;
  float unitScale_ = 1.0f;  // metres per document unit

 private:
  std::unique_ptr<ExportOptionsForm> form_;
  const SizeLimit sizeLimit_;
  // Whether a press wrote its files, and the last failed press's reason.
  bool wrote_ = false;
  std::optional<Error> failure_;
};

// A record of the exporters' node walk: one scene node, its shape and its child records.
class selGroup {
 public:
  selGroup() = default;
  selGroup(const selGroup&) = delete;
  selGroup& operator=(const selGroup&) = delete;

  Node* cGroup = nullptr;
  std::unique_ptr<Shape> cMesh;  // the merged shape of the node's own exported shapes
  std::vector<std::unique_ptr<selGroup>> children;  // in the order they were added
  selGroup* parent = nullptr;
  bool Added = false;

  const std::string& GrpName() const { return grpName_; }
  void SetGrpName(std::string name) { grpName_ = std::move(name); }

 private:
  std::string grpName_;
};

}  // namespace vlm
