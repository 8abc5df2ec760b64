#include "cli/commands.h"

#include <map>

#include <charconv>
#include <climits>
#include <cmath>
#include <iostream>
#include <iterator>
#include <sstream>

#include "cli/svg.h"
#include "scene/document.h"
#include "scene/scene_file.h"
#include "vlm/component.h"
#include "vlm/contracts/import_export.h"
#include "vlm/contracts/operation.h"
#include "vlm/contracts/plugin.h"
#include "vlm/error.h"
#include "vlm/files.h"
#include "vlm/forms.h"
#include "vlm/run_outcome.h"
#include "vlm/scripted_dialogs.h"
#include "vlm/settings.h"
#include "vlm/text.h"

namespace vlm::host {
namespace {

std::string Hex(Status status) {
  std::ostringstream s;
  s << "0x" << std::hex << std::uppercase << static_cast<uint32_t>(status);
  return s.str();
}

// "error 11 (Division by zero)" for the status a member returned.
std::string DescribeStatus(Status status) {
  ErrorRecord last = LastError();
  std::string text = "status " + Hex(status);
  if (last.status == status) {
    if ((static_cast<uint32_t>(status) & 0xFFFF0000u) == 0x800A0000u)
      text += ": error " + std::to_string(last.number);
    text += ": " + last.description;
  }
  return text;
}

std::string Vector(Vec3 v) {
  return "(" + ShortestText(v.x) + ", " + ShortestText(v.y) + ", " + ShortestText(v.z) + ")";
}

// Carriage returns in a message box's text become line breaks on the terminal.
std::string TerminalText(std::string text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

void PrintEntry(std::ostream& out, const TranscriptEntry& e) {
  switch (e.kind) {
    case TranscriptEntry::Kind::Dialog:
      out << "[dialog] " << e.title << " (" << e.text << ")\n";
      break;
    case TranscriptEntry::Kind::MessageBox:
      out << "[message] " << (e.title.empty() ? "" : e.title + ": ") << TerminalText(e.text)
          << "\n";
      break;
    case TranscriptEntry::Kind::InputBox:
      out << "[input] " << TerminalText(e.text) << "\n";
      break;
    case TranscriptEntry::Kind::FileDialog:
      out << "[file dialog] " << e.text << "\n";
      break;
    case TranscriptEntry::Kind::ColorDialog:
      out << "[colour dialog] " << e.text << "\n";
      break;
    case TranscriptEntry::Kind::Log:
      out << "[log] " << e.text << "\n";
      break;
    case TranscriptEntry::Kind::Help:
      out << "[help] " << e.text << "\n";
      break;
    case TranscriptEntry::Kind::Note:
      out << "[note] " << e.text << "\n";
      break;
    case TranscriptEntry::Kind::Value:
      out << "[value] " << e.text << "\n";
      break;
    case TranscriptEntry::Kind::Warning:
      out << "[warning] " << e.text << "\n";
      break;
  }
}

// Installs a back-end for one command and puts the previous one back afterwards.
class BackendScope {
 public:
  explicit BackendScope(std::shared_ptr<ScriptedDialogs> backend)
      : backend_(std::move(backend)), previous_(SetDialogBackend(backend_)) {}
  ~BackendScope() { SetDialogBackend(previous_); }
  ScriptedDialogs& operator*() const { return *backend_; }

 private:
  std::shared_ptr<ScriptedDialogs> backend_;
  std::shared_ptr<DialogBackend> previous_;
};

std::vector<int32_t> ParseIndices(std::string_view text, const std::string& selection) {
  std::vector<int32_t> out;
  while (!text.empty()) {
    size_t comma = text.find(',');
    std::string_view item = text.substr(0, comma);
    while (!item.empty() && item.front() == ' ')
      item.remove_prefix(1);
    while (!item.empty() && item.back() == ' ')
      item.remove_suffix(1);
    int32_t value = 0;
    auto [end, ec] = std::from_chars(item.data(), item.data() + item.size(), value);
    if (item.empty() || ec != std::errc() || end != item.data() + item.size() || value < 0)
      Raise(err::InvalidProcedureCall, "selection \"" + selection + "\": \"" + std::string(item) +
                                           "\" is not an index (indices are 0, 1, 2, ...)");
    out.push_back(value);
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  if (out.empty())
    Raise(err::InvalidProcedureCall, "selection \"" + selection + "\" lists no indices");
  return out;
}

std::string Kinds() {
  return "group:, object:, faces:, node:, shape:, polygons:";
}

// Status and description of one descriptive member, for `list`.
template <class F>
std::string Read(F&& member) {
  std::string value;
  Status s = member(value);
  return Failed(s) ? "(fails: " + DescribeStatus(s) + ")" : "\"" + value + "\"";
}
template <class T, class F>
std::string ReadNumber(F&& member) {
  T value{};
  Status s = member(value);
  return Failed(s) ? "(fails: " + DescribeStatus(s) + ")" : std::to_string(value);
}

void ListPlugin(Plugin& p, std::ostream& out) {
  out << "  kind: tool (Plugin)\n";
  out << "  name: " << Read([&](auto& v) { return p.Plugin_Name(v); }) << "\n";
  out << "  author: " << Read([&](auto& v) { return p.Plugin_Author(v); }) << "\n";
  out << "  cost: " << ReadNumber<int32_t>([&](auto& v) { return p.Plugin_Cost(v); }) << "\n";
  out << "  class: " << ReadNumber<int32_t>([&](auto& v) { return p.Plugin_PluginClass(v); })
      << "\n";
  // Counts the tool leaves alone keep the marker they were passed with.
  constexpr int32_t untouched = INT32_MIN;
  ValidationRecord r{untouched, untouched, untouched, untouched, untouched, untouched};
  Status s = p.Plugin_GetValidation(r);
  auto show = [&](int32_t v) {
    return v == untouched ? std::string("not written") : std::to_string(v);
  };
  if (Failed(s)) {
    out << "  validation: (fails: " << DescribeStatus(s) << ")\n";
  } else if (r.ValidMinComponents == untouched && r.ValidMaxComponents == untouched &&
             r.ValidMinShapeSubSelection == untouched && r.ValidMaxShapeSubSelection == untouched) {
    out << "  validation: not written (the counts stay as the host passed them)\n";
  } else {
    out << "  validation: components " << show(r.ValidMinComponents) << " / "
        << show(r.ValidMaxComponents) << ", sub-selection " << show(r.ValidMinShapeSubSelection)
        << " / " << show(r.ValidMaxShapeSubSelection) << "\n";
  }
}

void ListExporter(PluginImportExport& p, std::ostream& out) {
  out << "  kind: exporter (PluginImportExport)\n";
  out << "  author: " << Read([&](auto& v) { return p.PluginImportExport_Author(v); }) << "\n";
  out << "  cost: " << ReadNumber<int32_t>([&](auto& v) { return p.PluginImportExport_Cost(v); })
      << "\n";
  out << "  class: "
      << ReadNumber<int32_t>([&](auto& v) { return p.PluginImportExport_PluginClass(v); }) << "\n";
  out << "  file type: " << Read([&](auto& v) { return p.PluginImportExport_FileType(v); }) << "\n";
  out << "  description: "
      << Read([&](auto& v) { return p.PluginImportExport_FileTypeDescription(v); }) << "\n";
  out << "  export: "
      << ReadNumber<int16_t>([&](auto& v) { return p.PluginImportExport_SupportExport(v); })
      << ", import: "
      << ReadNumber<int16_t>([&](auto& v) { return p.PluginImportExport_SupportImport(v); })
      << "\n";
}

void ListOperation(Operation& p, std::ostream& out) {
  out << "  kind: operation (Operation)\n";
  out << "  name: " << Read([&](auto& v) { return p.Operation_Name(v); }) << "\n";
  out << "  author: " << Read([&](auto& v) { return p.Operation_Author(v); }) << "\n";
  out << "  cost: " << ReadNumber<int32_t>([&](auto& v) { return p.Operation_Cost(v); }) << "\n";
  out << "  layer class: "
      << ReadNumber<int32_t>([&](auto& v) { return p.Operation_LayerClass(v); }) << "\n";
  out << "  version: " << ReadNumber<int32_t>([&](auto& v) { return p.Operation_Version(v); })
      << "\n";
  out << "  tooltip: " << Read([&](auto& v) { return p.Operation_ToolTipText(v); }) << "\n";
  std::vector<OperationParameter> params;
  if (!Failed(p.Operation_GetParameters(nullptr, 0, 1, params)))
    for (const auto& q : params)
      out << "  parameter " << q.Identifier << ": " << q.Name << " = " << ShortestText(q.Value)
          << " (" << ShortestText(q.Minimum) << " .. " << ShortestText(q.Maximum) << ", default "
          << ShortestText(q.Default) << ")\n";
}

int FailRun(const std::string& progId, Status status, std::ostream& err,
            const ScriptedDialogs& dialogs) {
  // A run stopped by a fault of the dialog script is bad input, not a plug-in failure.
  if (dialogs.Failure()) {
    err << "error: " << *dialogs.Failure() << "\n";
    return ExitBadInput;
  }
  err << "error: " << progId << " failed with " << DescribeStatus(status) << "\n";
  return ExitRunFailed;
}

bool IsStandardStream(const std::filesystem::path& path) {
  return path == "-";
}

// A scene file, or standard input for "-".
std::unique_ptr<HostDocument> LoadSceneArgument(const std::filesystem::path& scene) {
  if (!IsStandardStream(scene)) return LoadScene(scene);
  std::string text((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
  return ParseScene(text, "standard input");
}

// The scene text; a problem that keeps it from being written names where it was to go.
std::string SceneText(const HostDocument& document, const std::string& target) {
  try {
    return SerializeScene(document);
  } catch (const Error& e) {
    const std::string unsaved = "(unsaved scene)";
    std::string text = e.Description();
    if (text.rfind(unsaved, 0) == 0) text = target + text.substr(unsaved.size());
    throw Error(e.Number(), text);
  }
}

// A script file holds one action per line (";" may still join several) and comment lines;
// its errors name the file and the line.
std::vector<DialogAction> ReadScript(const RunOptions& options) {
  if (options.ui) return ParseDialogScript(*options.ui);
  return ParseDialogScript(ReadFile(*options.uiFile), options.uiFile->string(), true);
}

}  // namespace

void ApplySelections(HostDocument& document, const std::vector<std::string>& selections) {
  if (selections.empty()) return;
  document.ClearSelection();
  for (const std::string& selection : selections) {
    size_t colon = selection.find(':');
    if (colon == std::string::npos)
      Raise(err::InvalidProcedureCall,
            "selection \"" + selection + "\" has no kind; use one of " + Kinds());
    std::string kind = selection.substr(0, colon);
    std::string rest = selection.substr(colon + 1);
    std::vector<int32_t> indices;
    if (kind == "faces" || kind == "polygons") {
      size_t last = rest.rfind(':');
      if (last == std::string::npos)
        Raise(err::InvalidProcedureCall,
              "selection \"" + selection + "\" needs indices: " + kind + ":PATH:0,1,...");
      indices = ParseIndices(std::string_view(rest).substr(last + 1), selection);
      rest = rest.substr(0, last);
    }
    std::string problem;
    auto fail = [&] {
      Raise(err::InvalidProcedureCall, "selection \"" + selection + "\": " + problem);
    };
    if (kind == "group" || kind == "node") {
      HostNode* node = document.FindGroup(rest, &problem);
      if (!node) fail();
      if (kind == "group")
        document.scriptingSelection.groups.push_back(node);
      else
        document.graphSelection.nodes.push_back(node);
    } else if (kind == "object" || kind == "faces" || kind == "shape" || kind == "polygons") {
      HostMesh* mesh = document.FindMesh(rest, &problem);
      if (!mesh) fail();
      for (int32_t i : indices)
        if (static_cast<size_t>(i) >= mesh->faces.size()) {
          problem = "face " + std::to_string(i) + " is outside 0.." +
                    std::to_string(static_cast<int>(mesh->faces.size()) - 1) + " of \"" + rest +
                    "\"";
          fail();
        }
      std::vector<int32_t> repeats = kind == "object"  ? document.SelectObject(*mesh, 0, {})
                                     : kind == "faces" ? document.SelectObject(*mesh, 1, indices)
                                                       : document.SelectShape(*mesh, indices);
      // A tool would work twice on a face listed twice.
      for (int32_t i : repeats)
        Warn("selection \"" + selection + "\": " + (kind == "faces" ? "face " : "polygon ") +
             std::to_string(i) + " is listed more than once; it is selected once");
    } else {
      Raise(err::InvalidProcedureCall, "selection \"" + selection + "\": unknown kind \"" + kind +
                                           "\"; use one of " + Kinds());
    }
  }
}

void PrintScene(const HostDocument& document, std::ostream& out) {
  static const char* unitNames[] = {"metres", "centimetres", "feet"};
  out << "units: "
      << (document.units >= 0 && document.units <= 2 ? unitNames[document.units] : "code") << " ("
      << document.units << ")\n";
  auto fieldList = [](const std::vector<std::string>& names) {
    std::string s;
    for (size_t i = 0; i < names.size(); ++i)
      s += (i ? ", " : "") + std::to_string(i) + " \"" + names[i] + "\"";
    return s.empty() ? std::string("none") : s;
  };
  out << "custom fields: node " << fieldList(document.NodeFieldNames()) << "; material "
      << fieldList(document.MaterialFieldNames()) << "\n";

  out << "materials:\n";
  for (const auto& m : document.Materials()) {
    out << "  " << m->name << ": diffuse (" << ShortestText(m->diffuse.r) << ", "
        << ShortestText(m->diffuse.g) << ", " << ShortestText(m->diffuse.b) << ")";
    if (m->translucency) out << ", translucency " << m->translucency << "%";
    if (m->hasTextures) {
      out << ", textures:";
      const std::pair<const char*, const std::string*> maps[] = {
          {"diffuse", &m->diffuseMap},
          {"bump", &m->bumpMap},
          {"detail", &m->detailMap},
          {"specular", &m->specularMap},
          {"environment", &m->environmentMap}};
      bool any = false;
      for (auto [label, name] : maps)
        if (!name->empty()) out << " " << label << " " << *name, any = true;
      if (!any) out << " (empty set)";
    }
    out << "\n";
    for (const auto& [slot, text] : m->fields)
      out << "    " << document.MaterialFieldNames()[static_cast<size_t>(slot)] << ": " << text
          << "\n";
  }

  std::function<void(const HostNode&, int)> printNode = [&](const HostNode& node, int depth) {
    std::string pad(static_cast<size_t>(2 * depth), ' ');
    if (node.parent) {
      out << pad << "group " << node.name << " at " << Vector(node.position);
      if (!(node.forward == Vec3{0, 0, 1}) || !(node.up == Vec3{0, 1, 0}))
        out << ", forward " << Vector(node.forward) << ", up " << Vector(node.up);
      if (node.animationKeys) out << ", " << node.animationKeys << " animation keys";
      out << "\n";
      pad += "  ";
    }
    for (const auto& [slot, text] : node.fields)
      out << pad << document.NodeFieldNames()[static_cast<size_t>(slot)] << ": " << text << "\n";
    for (const auto& mesh : node.meshes) {
      out << pad << "object " << mesh->name << ": " << mesh->vertices.size() << " vertices, "
          << mesh->faces.size() << " faces";
      std::string names;
      for (HostMaterial* m : mesh->Materials(false))
        names += (names.empty() ? "" : ", ") + m->name;
      if (!names.empty()) out << ", materials " << names;
      out << "\n";
    }
    for (const auto& child : node.children)
      printNode(*child, node.parent ? depth + 1 : depth);
  };
  out << "groups:\n";
  printNode(const_cast<HostDocument&>(document).Root(), 1);

  const auto& s = document.scriptingSelection;
  const auto& g = document.graphSelection;
  out << "selection:";
  if (s.groups.empty() && s.objects.empty() && g.nodes.empty() && g.shapes.empty()) out << " none";
  out << "\n";
  auto list = [](const std::vector<int32_t>& v) {
    std::string t;
    for (int32_t i : v)
      t += (t.empty() ? "" : ",") + std::to_string(i);
    return t;
  };
  for (const HostNode* n : s.groups)
    out << "  group:" << n->Path() << "\n";
  for (const auto& o : s.objects) {
    std::string path = o.mesh->Path();
    if (o.mode == 1)
      out << "  faces:" << path << ":" << list(o.faces) << "\n";
    else
      out << "  object:" << path << "\n";
  }
  for (const HostNode* n : g.nodes)
    out << "  node:" << n->Path() << "\n";
  for (const auto& e : g.shapes) {
    std::string path = e.mesh->Path();
    if (e.polygons.empty())
      out << "  shape:" << path << "\n";
    else
      out << "  polygons:" << path << ":" << list(e.polygons) << "\n";
  }
}

int ListCommand(std::ostream& out, std::ostream& err) {
  std::vector<ClassRegistration> classes;
  try {
    classes = RegisteredClasses();
  } catch (const Error& e) {
    err << "error: " << e.Description() << "\n";
    return ExitBadInput;
  }
  if (classes.empty()) {
    out << "No classes are registered in " << UserRegistryFile().string()
        << ". Register plug-ins with: vlmhost register LIBRARY...\n";
    return ExitOk;
  }
  int status = ExitOk;
  for (const auto& c : classes) {
    out << c.progId << "\n  library: " << c.library.string() << "\n";
    try {
      Instance instance = CreateObject(c.progId);
      if (auto* p = instance.As<Plugin>(Plugin::InterfaceName))
        ListPlugin(*p, out);
      else if (auto* e = instance.As<PluginImportExport>(PluginImportExport::InterfaceName))
        ListExporter(*e, out);
      else if (auto* o = instance.As<Operation>(Operation::InterfaceName))
        ListOperation(*o, out);
      else
        out << "  kind: unknown (no Plugin, PluginImportExport or Operation interface)\n";
    } catch (const Error& e) {
      err << "error: " << c.progId << ": " << e.Description() << "\n";
      status = ExitRunFailed;
    }
  }
  return status;
}

int RegisterCommand(const std::vector<std::filesystem::path>& libraries, std::ostream& out,
                    std::ostream& err) {
  int status = ExitOk;
  for (const auto& library : libraries) {
    try {
      std::vector<std::string> ids = RegisterServer(library);
      for (const auto& id : ids)
        out << "registered " << id << " (" << library.string() << ")\n";
      if (ids.empty()) out << "registered nothing from " << library.string() << "\n";
    } catch (const Error& e) {
      err << "error: " << e.Description() << "\n";
      status = ExitBadInput;
    }
  }
  return status;
}

int UnregisterCommand(const std::vector<std::filesystem::path>& libraries, std::ostream& out,
                      std::ostream& err) {
  int status = ExitOk;
  for (const auto& library : libraries) {
    try {
      UnregisterServer(library);
      out << "unregistered " << library.string() << "\n";
    } catch (const Error& e) {
      err << "error: " << e.Description() << "\n";
      status = ExitBadInput;
    }
  }
  return status;
}

int ShowCommand(const std::filesystem::path& scene, std::ostream& out, std::ostream& err) {
  try {
    auto document = LoadSceneArgument(scene);
    out << "scene " << (IsStandardStream(scene) ? "(standard input)" : scene.string()) << "\n";
    PrintScene(*document, out);
    return ExitOk;
  } catch (const Error& e) {
    err << "error: " << e.Description() << "\n";
    return ExitBadInput;
  }
}

int RunCommand(const RunOptions& options, std::ostream& out, std::ostream& err) {
  // With the scene going to standard output, everything else goes to standard error.
  const bool sceneToStdout = options.output && IsStandardStream(*options.output);
  std::ostream& log = sceneToStdout ? err : out;
  std::unique_ptr<HostDocument> document;
  Instance instance;
  Plugin* plugin = nullptr;
  PluginImportExport* exporter = nullptr;
  Operation* operation = nullptr;
  std::shared_ptr<ScriptedDialogs> backend;
  bool createdPictureFolder = false;
  // Everything that can be wrong with the input, and every place an output goes, is checked
  // before the plug-in runs, so no dialog work is lost to a folder that cannot be written.
  try {
    if (options.ui && options.uiFile)
      Raise(err::InvalidProcedureCall, "give either --ui or --ui-file, not both");
    document = LoadSceneArgument(options.scene);
    ApplySelections(*document, options.selections);
    if (options.ui || options.uiFile) {
      backend = std::make_shared<ScriptedDialogs>(ReadScript(options));
    } else {
      backend = std::make_shared<ScriptedDialogs>();
    }
    instance = CreateObject(options.progId);
    const std::string& id = options.progId;
    plugin = instance.As<Plugin>(Plugin::InterfaceName);
    exporter =
        plugin ? nullptr : instance.As<PluginImportExport>(PluginImportExport::InterfaceName);
    operation = plugin || exporter ? nullptr : instance.As<Operation>(Operation::InterfaceName);
    if (!plugin && !exporter && !operation)
      Raise(err::InvalidProcedureCall,
            id + " offers none of the interfaces Plugin, PluginImportExport, Operation");
    if (!operation && !options.params.empty())
      Raise(err::InvalidProcedureCall,
            "--param applies to operations; " + id + " is " + (plugin ? "a tool" : "an exporter"));
    if (exporter && (!options.output || sceneToStdout))
      Raise(err::InvalidProcedureCall,
            id + " is an exporter: give the export file with -o FILE" +
                (sceneToStdout ? " (\"-o -\" writes a scene to standard output)" : ""));
    if (options.output && !sceneToStdout) CheckOutputTarget(*options.output);
    if (exporter && options.sceneOutput) CheckOutputTarget(*options.sceneOutput);
    if (options.savePictures) {
      const std::filesystem::path& folder = *options.savePictures;
      std::error_code ec;
      if (std::filesystem::exists(folder, ec) && !std::filesystem::is_directory(folder, ec))
        Raise(err::PathFileAccess, "--save-pictures " + folder.string() + ": it is not a folder");
      // A folder still to be made is made in a folder that exists and can be written.
      CheckOutputTarget(std::filesystem::is_directory(folder, ec) ? folder / "picture.svg"
                                                                  : folder);
    }
  } catch (const Error& e) {
    err << "error: " << e.Description() << "\n";
    return ExitBadInput;
  }

  backend->SetObserver([&log](const TranscriptEntry& e) { PrintEntry(log, e); });
  // Every drawing area of every dialog shown, as it was when the dialog closed; written
  // with the scene once the run has succeeded.
  std::vector<std::pair<std::string, std::string>> pictures;
  std::map<std::string, int> showings;
  if (options.savePictures) {
    backend->SetFormObserver([&](const Form& form) {
      const int showing = ++showings[form.Name()];
      for (const Control* c : form.Controls())
        if (c->Kind() == ControlKind::PictureBox) {
          const auto& picture = static_cast<const PictureBox&>(*c);
          pictures.emplace_back(PictureFileName(form, showing, picture), PictureToSvg(picture));
        }
    });
  }
  BackendScope scope(backend);
  // Every file of the run, the plug-in's exports included, is staged and appears only when
  // all of them could be written.
  OutputTransaction transaction;
  ClearRunOutcome();
  const std::string& id = options.progId;
  bool saveScene = false;
  std::optional<std::filesystem::path> sceneTarget;

  if (plugin) {
    Status s = plugin->Plugin_Apply(document.get(), document.get(), 0, {}, {}, "");
    if (Failed(s)) return FailRun(id, s, err, *backend);
    saveScene = true;
    sceneTarget = options.output;
  } else if (exporter) {
    Node* group = &document->Root().AsNode();
    if (document->scriptingSelection.groups.size() == 1 && document->graphSelection.nodes.empty())
      group = &document->scriptingSelection.groups[0]->AsNode();
    else if (document->graphSelection.nodes.size() == 1)
      group = &document->graphSelection.nodes[0]->AsNode();
    Status s = exporter->PluginImportExport_Export(options.output->string(), group, document.get(),
                                                   nullptr, {}, {}, "");
    if (Failed(s)) return FailRun(id, s, err, *backend);
    saveScene = options.sceneOutput.has_value();
    sceneTarget = options.sceneOutput;
  } else {
    std::vector<OperationParameter> params;
    Status s = operation->Operation_GetParameters(document.get(), 0, 1, params);
    if (Failed(s)) return FailRun(id, s, err, *backend);
    for (const std::string& assignment : options.params) {
      size_t eq = assignment.find('=');
      std::string name = assignment.substr(0, eq);
      auto it =
          std::find_if(params.begin(), params.end(), [&](const auto& p) { return p.Name == name; });
      float value = 0;
      const char* first = eq == std::string::npos ? nullptr : assignment.data() + eq + 1;
      const char* last = assignment.data() + assignment.size();
      auto parsed = first ? std::from_chars(first, last, value) : std::from_chars_result{};
      if (it == params.end()) {
        std::string known;
        for (const auto& p : params)
          known += (known.empty() ? "" : ", ") + p.Name;
        err << "error: --param " << assignment << ": " << id << " has no parameter \"" << name
            << "\"; its parameters: " << known << "\n";
        return ExitBadInput;
      }
      if (first && parsed.ec == std::errc::result_out_of_range && parsed.ptr == last) {
        err << "error: --param " << assignment
            << ": the value is out of range (a single-precision number)\n";
        return ExitBadInput;
      }
      if (!first || parsed.ec != std::errc() || parsed.ptr != last) {
        err << "error: --param " << assignment << ": the value must be a number\n";
        return ExitBadInput;
      }
      if (!std::isfinite(value)) {
        err << "error: --param " << assignment << ": the value must be a finite number\n";
        return ExitBadInput;
      }
      it->Value = value;
    }
    std::vector<float> singles;
    for (const auto& p : params) {
      log << "[parameter] " << p.Name << " = " << ShortestText(p.Value) << "\n";
      singles.push_back(p.Value);
    }
    int16_t result = VbFalse;
    s = operation->Operation_Apply(document.get(), 0, 0, 0, {}, singles, {}, "", "", result);
    if (Failed(s)) return FailRun(id, s, err, *backend);
    log << "[result] "
        << (result ? "every selected shape was processed" : "not every shape was processed")
        << "\n";
    saveScene = true;
    sceneTarget = options.output;
  }

  // A fault of the script is the user's input, even when the plug-in caught it.
  if (backend->Failure()) {
    err << "error: " << *backend->Failure() << "\n";
    return ExitBadInput;
  }
  for (const DialogAction& action : backend->Remaining())
    err << "warning: the action \"" << action.text << "\" was not used\n";

  // An export whose every attempt failed is a failed run, though its dialog closed normally.
  if (exporter && !transaction.Failures().empty() && transaction.StagedTargets().empty()) {
    for (const std::string& failure : transaction.Failures())
      err << "error: " << failure << "\n";
    return ExitRunFailed;
  }
  // An error the plug-in reported in its own message box: the run failed, whatever it changed.
  if (auto failure = RunFailure()) {
    err << "error: " << id << ": " << TerminalText(*failure) << "\n";
    return ExitRunFailed;
  }
  if (auto reason = NothingDoneReason(); reason && transaction.StagedTargets().empty()) {
    err << "nothing done: " << TerminalText(*reason) << "\n";
    return ExitNothingDone;
  }

  std::vector<std::string> written;
  std::string sceneText;
  try {
    if (options.savePictures && !pictures.empty()) {
      if (!std::filesystem::is_directory(*options.savePictures)) {
        std::error_code ec;
        std::filesystem::create_directory(*options.savePictures, ec);
        if (ec)
          Raise(err::PathFileAccess,
                options.savePictures->string() + ": cannot make the folder: " + ec.message());
        createdPictureFolder = true;
      }
      for (const auto& [name, svg] : pictures) {
        const auto file = *options.savePictures / name;
        transaction.Stage(file, svg);
        written.push_back(file.string());
      }
    }
    if (saveScene && sceneTarget) {
      sceneText = SceneText(*document, sceneToStdout ? "standard output" : sceneTarget->string());
      if (!sceneToStdout) {
        transaction.Stage(*sceneTarget, sceneText);
        written.push_back(sceneTarget->string());
      }
    }
    transaction.Commit();
  } catch (const Error& e) {
    transaction.Rollback();
    if (createdPictureFolder) {
      std::error_code ec;
      std::filesystem::remove(*options.savePictures, ec);
    }
    err << "error: " << e.Description() << "\n";
    return ExitRunFailed;
  }
  for (const std::string& file : written)
    log << "wrote " << file << "\n";
  if (options.savePictures && pictures.empty())
    log << "(no dialog with a drawing area was shown)\n";
  if (saveScene && !sceneTarget) log << "(the scene was not saved: give -o FILE to write it)\n";
  if (sceneToStdout) out << sceneText << std::flush;
  return ExitOk;
}

}  // namespace vlm::host
