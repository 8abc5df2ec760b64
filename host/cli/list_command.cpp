// vlmhost list.
#include "cli/list_command.h"

#include <climits>
#include <ostream>

#include "run/plugin_names.h"
#include "run/printing.h"
#include "vlm/component.h"
#include "vlm/contracts/import_export.h"
#include "vlm/contracts/operation.h"
#include "vlm/contracts/plugin.h"
#include "vlm/error.h"
#include "vlm/registry.h"

namespace vlm::host {
namespace {

// Status and description of one descriptive member, for `list`.
template <class F>
std::string Read(F&& member) {
  std::string value;
  Status s = member(value);
  return Failed(s) ? "(fails: " + DescribeStatus(s, LastError()) + ")" : "\"" + value + "\"";
}
template <class T, class F>
std::string ReadNumber(F&& member) {
  T value{};
  Status s = member(value);
  return Failed(s) ? "(fails: " + DescribeStatus(s, LastError()) + ")" : std::to_string(value);
}

// The counts a tool states for its selection; a count it leaves alone keeps its marker.
void ListValidation(Plugin& p, std::ostream& out) {
  constexpr int32_t untouched = INT32_MIN;
  ValidationRecord r{untouched, untouched, untouched, untouched, untouched, untouched};
  Status s = p.Plugin_GetValidation(r);
  auto show = [&](int32_t v) {
    return v == untouched ? std::string("not written") : std::to_string(v);
  };
  if (Failed(s)) {
    out << "  validation: (fails: " << DescribeStatus(s, LastError()) << ")\n";
  } else if (r.ValidMinComponents == untouched && r.ValidMaxComponents == untouched &&
             r.ValidMinShapeSubSelection == untouched && r.ValidMaxShapeSubSelection == untouched) {
    out << "  validation: not written (the counts stay as the host passed them)\n";
  } else {
    out << "  validation: components " << show(r.ValidMinComponents) << " / "
        << show(r.ValidMaxComponents) << ", sub-selection " << show(r.ValidMinShapeSubSelection)
        << " / " << show(r.ValidMaxShapeSubSelection) << "\n";
  }
}

void ListPlugin(Plugin& p, std::ostream& out) {
  out << "  kind: tool (Plugin)\n";
  out << "  name: " << Read([&](auto& v) { return p.Plugin_Name(v); }) << "\n";
  out << "  author: " << Read([&](auto& v) { return p.Plugin_Author(v); }) << "\n";
  out << "  cost: " << ReadNumber<int32_t>([&](auto& v) { return p.Plugin_Cost(v); }) << "\n";
  out << "  class: " << ReadNumber<int32_t>([&](auto& v) { return p.Plugin_PluginClass(v); })
      << "\n";
  ListValidation(p, out);
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

void ListOperationParameters(Operation& p, std::ostream& out) {
  std::vector<OperationParameter> params;
  if (Failed(p.Operation_GetParameters(nullptr, 0, 1, params))) return;
  for (const auto& q : params)
    out << "  parameter " << q.Identifier << ": " << q.Name << " = " << Number(q.Value) << " ("
        << Number(q.Minimum) << " .. " << Number(q.Maximum) << ", default " << Number(q.Default)
        << ")\n";
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
  ListOperationParameters(p, out);
}

// What one registered class states, by the contract it offers.
void ListClass(const std::string& progId, std::ostream& out) {
  Instance instance = CreateObject(progId);
  if (auto* p = instance.As<Plugin>(Plugin::InterfaceName))
    ListPlugin(*p, out);
  else if (auto* e = instance.As<PluginImportExport>(PluginImportExport::InterfaceName))
    ListExporter(*e, out);
  else if (auto* o = instance.As<Operation>(Operation::InterfaceName))
    ListOperation(*o, out);
  else
    out << "  kind: unknown (no Plugin, PluginImportExport or Operation interface)\n";
}

}  // namespace

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
    out << c.progId << "\n  short name: " << ShortName(c.progId) << "\n";
    if (std::string selection = SelectionOf(c.progId); !selection.empty())
      out << "  works on: " << selection << "\n";
    out << "  library: " << c.library.string() << "\n";
    try {
      ListClass(c.progId, out);
    } catch (const Error& e) {
      err << "error: " << c.progId << ": " << e.Description() << "\n";
      status = ExitRunFailed;
    }
  }
  return status;
}

}  // namespace vlm::host
