// The workbench window's runs of plug-ins and preparation steps: the parameters or options
// asked for, the run logged, its changes shown.
#include <QStatusBar>
#include <algorithm>
#include <sstream>

#include "gui/qt_dialogs.h"
#include "prep/prep_step.h"
#include "run/exit_status.h"
#include "run/plugin_help.h"
#include "run/printing.h"
#include "run/runners.h"
#include "scene/document.h"
#include "scene/scene_diff.h"
#include "vlm/error.h"
#include "vlm/run_context.h"
#include "workbench/scene_view.h"
#include "workbench/window_parts.h"
#include "workbench/workbench_window.h"

namespace vlm::workbench {
namespace {

using window::Q;

}  // namespace

std::optional<std::vector<std::string>> WorkbenchWindow::AskParameters(const PluginEntry& plugin) {
  std::vector<OperationParameter> params;
  try {
    RunContext context;
    context.UseFreshSettings(fresh_);
    RunContext::Scope scope(context);
    host::Contract contract = host::FindContract(plugin.progId);
    if (Failed(contract.operation->Operation_GetParameters(&session_.Document(), 0, 1, params)))
      Raise(err::InvalidProcedureCall, "its parameters cannot be read");
  } catch (const Error& e) {
    Fail(tr("%1 cannot run").arg(Q(plugin.progId)), e.Description());
    return std::nullopt;
  }
  return asker_->Parameters(this, Q(plugin.name), params);
}

int WorkbenchWindow::RunPlugin(const std::string& progId) {
  auto entry = std::find_if(plugins_.begin(), plugins_.end(),
                            [&](const PluginEntry& p) { return p.progId == progId; });
  if (entry == plugins_.end()) {
    Fail(tr("No such plug-in"), progId + " is not registered");
    return host::ExitBadInput;
  }
  host::RunRequest request;
  request.progId = progId;
  request.scene = session_.SuggestedFile();
  request.selections = host::SelectTexts(picks_);
  // F1 in the plug-in's dialogs shows the help `vlmhost help` prints.
  dialogs_->SetHelp(host::HelpFor(progId));
  request.windows = dialogs_;
  request.fresh = fresh_;
  if (entry->kind == PluginEntry::Kind::Operation) {
    auto params = AskParameters(*entry);
    if (!params) return host::ExitNothingDone;
    request.params = *params;
  }
  if (entry->kind == PluginEntry::Kind::Exporter) {
    // The exporter names its extension in capitals ("OBJ"); files carry it either way, and a
    // new one gets it in lower case.
    const QString ext = Q(entry->extension).toLower();
    const QString patterns =
        ext.isEmpty() ? "*" : "*." + ext + (ext == ext.toUpper() ? "" : " *." + ext.toUpper());
    auto file = asker_->FileToWrite(
        this, tr("Export with %1").arg(Q(entry->name)),
        Q(entry->name) + " (" + patterns + ");;" + tr("All files (*)"),
        session_.SuggestedFile().replace_extension(ext.isEmpty() ? "" : "." + ext.toStdString()));
    if (!file) return host::ExitNothingDone;
    request.output = *file;
  }
  return RunLogged(request, entry->name, entry->name, true);
}

int WorkbenchWindow::RunPrep(const std::string& stepName) {
  const host::PrepStepInfo* step = host::FindPrepStep(stepName);
  if (!step) {
    Fail(tr("No such preparation step"), stepName);
    return host::ExitBadInput;
  }
  const auto options = asker_->PrepOptions(this, *step);
  if (!options) {
    statusBar()->showMessage(tr("prep %1: cancelled, nothing run").arg(Q(step->name)), 10000);
    return host::ExitNothingDone;
  }
  return RunPrepWith(step->name, *options);
}

int WorkbenchWindow::RunPrepWith(const std::string& stepName,
                                 const std::vector<std::string>& options) {
  const host::PrepStepInfo* step = host::FindPrepStep(stepName);
  if (!step) {
    Fail(tr("No such preparation step"), stepName);
    return host::ExitBadInput;
  }
  // A step takes its options as the command line's; it shows no dialogs of its own and keeps
  // no settings, so its line in the log is `vlmhost prep STEP SCENE --select ... --OPTION ...`.
  host::RunRequest request;
  request.prepStep = step->name;
  request.prepOptions = options;
  request.scene = session_.SuggestedFile();
  request.selections = host::SelectTexts(picks_);
  return RunLogged(request, "prep " + step->name, "Prepare: " + step->name, false);
}

int WorkbenchWindow::RunLogged(const host::RunRequest& request, const std::string& name,
                               const std::string& label, bool scripted) {
  const uint64_t version = session_.Version();
  const auto logLine = [this](const std::string& line) { LogLines(line); };
  if (scripted) dialogs_->TakeScript();  // what earlier runs did in the windows is theirs
  const host::RunOutcome outcome = session_.Run(request, {logLine, logLine}, label);
  // The same run on the command line, for the log: what the person did in the windows as
  // the script that does it (--gui when something cannot be scripted).
  Log(Q("$ " + (scripted ? request.CommandLine(dialogs_->TakeScript()) : request.CommandLine())),
      "#606060");
  const QString said = tr(host::KindText(outcome.kind));
  // A run that is done but changed nothing and wrote nothing (a dialog cancelled, Escape) says
  // so.
  const bool unchanged = session_.Version() == version && outcome.files.empty();
  Log(tr("%1: %2 (exit status %3)%4")
          .arg(Q(name), said)
          .arg(host::StatusOf(outcome.kind))
          .arg(!outcome.Done() ? tr("; the document is as it was")
               : unchanged     ? tr("; nothing changed")
                               : ""),
      outcome.Done() && !unchanged ? "#006000"
      : outcome.Done()             ? "#606060"
                                   : "#b00000");
  statusBar()->showMessage(Q(name) + ": " + said, 10000);
  if (session_.Version() != version) {
    DocumentChanged(false);
    if (outcome.items) ShowChanges(*outcome.items);
  }
  return host::StatusOf(outcome.kind);
}

void WorkbenchWindow::ShowChanges(const host::SceneDiff& diff) {
  std::vector<host::FaceHit> changed;
  auto list = [&](const std::vector<host::SceneItem>& items, const char* how) {
    for (const host::SceneItem& item : items) {
      std::string text = std::string(how) + " " + host::KindName(item.kind) + " " + item.path;
      if (!item.faces.empty()) text += " (" + std::to_string(item.faces.size()) + " faces)";
      Log(Q(text));
      if (item.kind != host::SceneItem::Kind::Object || std::string_view(how) == "removed")
        continue;
      std::string problem;
      const host::HostMesh* mesh = session_.Document().FindMesh(item.path, &problem);
      if (!mesh) continue;
      if (item.faces.empty() && std::string_view(how) == "made")
        for (size_t f = 0; f < mesh->FaceCount(); ++f)
          changed.push_back({mesh, static_cast<int32_t>(f)});
      for (int32_t f : item.faces)
        changed.push_back({mesh, f});
    }
  };
  list(diff.created, "made");
  list(diff.changed, "changed");
  list(diff.removed, "removed");
  if (diff.Empty()) Log(tr("(the scene did not change)"));
  view_->SetChangedFaces(changed);
}

}  // namespace vlm::workbench
