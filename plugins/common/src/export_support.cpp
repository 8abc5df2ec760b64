#include "vlm/export_support.h"

#include <algorithm>
#include <cstdio>

#include "vlm/igs_parameters.h"
#include "vlm/model.h"
#include "vlm/named_files.h"
#include "vlm/refusal.h"
#include "vlm/text.h"
#include "vlm/warnings.h"

namespace vlm {

lodType LodTypeOf(int16_t index) {
  return index >= 0 && index <= 2 ? static_cast<lodType>(index) : lodType::None;
}

float UnitScaleFor(int32_t unitsCode, const std::function<void(const std::string&)>& log) {
  switch (unitsCode) {
    case 0:
      return 1.0f;
    case 1:
      return 0.01f;
    case 2:
      return 0.3048f;
    default:
      // The host counts a document without a known unit as metres; so do the files.
      if (log)
        log("The document's units code " + std::to_string(unitsCode) +
            " is not known; lengths are written as metres.");
      return 1.0f;
  }
}

namespace {

// Whether a file named as `file` (which has no extension) exists in its folder with any
// extension, the names compared without regard to case as the readers of such references do.
bool ExistsWithAnyExtension(const std::filesystem::path& file) {
  std::error_code ec;
  const std::string stem = ToLower(file.filename().string());
  for (std::filesystem::directory_iterator it(file.parent_path(), ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::filesystem::path name = it->path().filename();
    if (ToLower(name.stem().string()) == stem && it->is_regular_file(ec)) return true;
  }
  return false;
}

}  // namespace

std::vector<LevelNode> CustomLevelNodes(Node& root, Node& chosen, const LevelNumberReader& number) {
  std::vector<LevelNode> levels{{&chosen, 0}};
  const std::string name = chosen.Name();
  const std::string prefix = ToLower(name);
  NodeCollection* children = root.Children();
  for (int32_t i = 0; i < children->Count(); ++i) {
    Node* child = children->Item(i);
    const std::string childName = child->Name();
    if (!ToLower(childName).starts_with(prefix)) continue;
    // One separator character follows the chosen node's name: body_200.
    const std::string rest =
        childName.size() > name.size() + 1 ? childName.substr(name.size() + 1) : std::string();
    if (!igs::NumberIn(rest)) continue;
    const int32_t distance = number(rest, childName, levels.size());
    if (distance <= 0) continue;
    // After every entry whose number is not greater; the chosen node stays first.
    size_t at = 1;
    while (at < levels.size() && levels[at].number <= distance)
      ++at;
    levels.insert(levels.begin() + static_cast<std::ptrdiff_t>(at), LevelNode{child, distance});
  }
  return levels;
}

void CheckTextureReference(const std::string& exportFile, const TextureReference& texture) {
  if (texture.named.empty()) return;
  if (CopyNamedFiles()) {
    const std::string folder = texture.expected.substr(0, texture.expected.rfind('/') + 1);
    NoteNamedFile({exportFile, texture.named,
                   texture.anyExtension ? folder + BareFileName(texture.named) : texture.expected});
    return;
  }
  const std::string written =
      texture.written == texture.named ? "" : " (written \"" + texture.written + "\")";
  const std::string start = exportFile + " names the texture \"" + texture.named + "\"" + written;
  if (IsAbsoluteFileName(texture.named)) {
    Warn(start + " by an absolute path; its readers look for textures relative to the " +
         "export's folder");
    return;
  }
  if (texture.writesFolders && texture.named.find('\\') != std::string::npos)
    Warn(start + " with \"\\\" between folders; \"/\" is what every system reads");
  const std::filesystem::path file =
      std::filesystem::path(exportFile).parent_path() / texture.expected;
  std::error_code ec;
  if (texture.anyExtension ? !ExistsWithAnyExtension(file)
                           : !std::filesystem::is_regular_file(file, ec))
    Warn(start + ", which does not exist relative to the export (looked for " + file.string() +
         (texture.anyExtension ? ".*" : "") + ")");
}

namespace {

bool IsControl(unsigned char c) {
  return c < 0x20 || c == 0x7F;
}

std::string Hex(unsigned char c) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "0x%02X", c);
  return buffer;
}

std::string CharacterName(unsigned char c) {
  switch (c) {
    case 0x00:
      return "a NUL";
    case '\t':
      return "a tab";
    case '\n':
      return "a line feed";
    case '\r':
      return "a carriage return";
    default:
      return "a control character";
  }
}

// The text with its control characters as escapes, so that the message stays one line.
std::string Shown(std::string_view text) {
  std::string out;
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (!IsControl(c))
      out += ch;
    else if (c == '\r')
      out += "\\r";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\t')
      out += "\\t";
    else if (c == 0)
      out += "\\0";
    else
      out += "\\x" + Hex(c).substr(2);
  }
  return out;
}

}  // namespace

std::string ControlCharacterProblem(std::string_view what, std::string_view text) {
  const auto at = std::find_if(text.begin(), text.end(),
                               [](char c) { return IsControl(static_cast<unsigned char>(c)); });
  if (at == text.end()) return {};
  const auto c = static_cast<unsigned char>(*at);
  return std::string(what) + " \"" + Shown(text) + "\" holds " + CharacterName(c) + " (" + Hex(c) +
         "), which the file cannot carry";
}

Node* ChooseExportNode(Node* exportGroup, Node* rootNode, const std::string& title) {
  if (exportGroup && exportGroup != rootNode) return exportGroup;
  NodeCollection* children = rootNode->Children();
  for (int32_t i = 0; i < children->Count(); ++i) {
    Node* child = children->Item(i);
    if (EqualsNoCase(child->Name(), "main")) return child;
  }
  RefuseRun("Select a group to export or name one group 'Main'", mb::OKOnly, title);
  return nullptr;
}

ExportSession::ExportSession(std::string fileName, Node* exportGroup, SceneGraph& sceneGraph,
                             std::unique_ptr<ExportOptionsForm> form, std::string title,
                             SizeLimit sizeLimit)
    : sceneGraph_(sceneGraph),
      rootNode_(sceneGraph.Document()->RootNode()),
      exportGroup_(exportGroup),
      fileName_(std::move(fileName)),
      title_(std::move(title)),
      form_(std::move(form)),
      sizeLimit_(sizeLimit) {
  form_->plug = this;
}

ExportSession::~ExportSession() = default;

void ExportSession::ShowDialog() {
  form_->ShowModal();
  form_->Unload();
  // A dialog closed after failed presses only fails the export, so that the caller learns of
  // it as well as the log.
  if (failure_ && !wrote_) throw *failure_;
}

void ExportSession::Run() {
  try {
    unitScale_ = UnitScaleFor(sceneGraph_.Document()->Units(),
                              [this](const std::string& line) { Log(line); });
    lodMode_ = LodTypeOf(form_->LType);
    readOptions();
    if (Node* node = ChooseExportNode(exportGroup_, rootNode_, title_)) exportMain(*node);
  } catch (const Error& e) {
    if (!reported(e)) throw;
    failure_ = e;
  } catch (const std::exception& e) {
    const Error error(err::InvalidProcedureCall, e.what());
    if (!reported(error)) throw;
    failure_ = error;
  }
}

std::optional<ShapeSize> ExportSession::SizeAt(Shape& shape, int32_t distance) const {
  if (distance <= AllVisibleDistance) return std::nullopt;
  const Bounds b = shape.GetBounds();
  return ShapeSize{{(b.max.x - b.min.x) * unitScale_, (b.max.y - b.min.y) * unitScale_,
                    (b.max.z - b.min.z) * unitScale_},
                   static_cast<float>(distance) / sizeLimit_.distancePerMetre};
}

ExportOptionsForm::ExportOptionsForm() : Form("frmOptions") {
  SetCaption("Export Options");
  Frame1.SetCaption("LOD's");
  optLOD(0).SetCaption("No LODs");
  optLOD(1).SetCaption("Automatic Generated LOD's");
  optLOD(2).SetCaption("Custom LODs");
  for (int i = 0; i < optLOD.Count(); ++i)
    optLOD(i).SetContainer(&Frame1);
  cmdOK.SetCaption("Start Export");
  cmdOK.Default = true;
  cmdCancel.SetCaption("Close");
  cmdCancel.Cancel = true;

  OnLoad = [this] { LType = 0; };
  optLOD.OnClick([this](int index) { LType = static_cast<int16_t>(index); });
  cmdOK.Click = [this] {
    if (plug) plug->Run();
  };
  cmdCancel.Click = [this] { Hide(); };
}

void ExportOptionsForm::AddList(const std::string& text) {
  lst.AddItem(text);
  lst.SetListIndex(lst.ListCount() - 1);
  lst.Refresh();
}

}  // namespace vlm
