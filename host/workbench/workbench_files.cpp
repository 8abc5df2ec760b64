// The workbench window's files: open, import, save, export, the recent files and closing.
#include <QAction>
#include <QCloseEvent>
#include <QMenu>
#include <QSettings>
#include <sstream>

#include "scene/document.h"
#include "vlm/error.h"
#include "vlm/settings.h"
#include "workbench/scene_view.h"
#include "workbench/window_parts.h"
#include "workbench/workbench_window.h"

namespace vlm::workbench {
namespace {

using window::Q;

constexpr int kRecentFiles = 8;

// The user's settings of the workbench: beside the other settings, never in a build folder.
QSettings Settings() {
  return QSettings(Q((ConfigFolder() / "workbench.ini").string()), QSettings::IniFormat);
}

}  // namespace

// ---- files ----

std::vector<std::string> WorkbenchWindow::RecentFiles() const {
  std::vector<std::string> out;
  for (const QString& f : Settings().value("recentFiles").toStringList())
    out.push_back(f.toStdString());
  return out;
}

void WorkbenchWindow::RememberFile(const std::filesystem::path& file) {
  std::error_code ec;
  const QString path = Q(std::filesystem::absolute(file, ec).lexically_normal().string());
  QSettings settings = Settings();
  QStringList files = settings.value("recentFiles").toStringList();
  files.removeAll(path);
  files.prepend(path);
  while (files.size() > kRecentFiles)
    files.removeLast();
  settings.setValue("recentFiles", files);
  settings.sync();
  UpdateRecentMenu();
}

void WorkbenchWindow::UpdateRecentMenu() {
  recent_->clear();
  for (const std::string& file : RecentFiles())
    connect(recent_->addAction(Q(file)), &QAction::triggered, this,
            [this, file] { OpenFile(file); });
  recent_->setEnabled(!recent_->isEmpty());
}

bool WorkbenchWindow::MaySetAside() {
  if (!session_.Dirty()) return true;
  switch (asker_->SaveChanges(this, Q(session_.SuggestedFile().filename().string()))) {
    case Asker::Unsaved::Save:
      return Save();
    case Asker::Unsaved::Discard:
      return true;
    case Asker::Unsaved::Cancel:
      return false;
  }
  return false;
}

bool WorkbenchWindow::OpenFile(const std::filesystem::path& file) {
  const bool scene = file.extension() == ".json";
  // An import can be undone; opening a scene sets the document and its history aside.
  if (scene && !MaySetAside()) return false;
  std::ostringstream log;
  try {
    if (scene)
      session_.Open(file);
    else
      session_.Import(file, {}, log);
  } catch (const Error& e) {
    Fail(scene ? tr("Cannot open %1").arg(Q(file.string()))
               : tr("Cannot import %1").arg(Q(file.string())),
         e.Description());
    return false;
  }
  LogLines(log.str());
  Log((scene ? tr("opened %1") : tr("imported %1")).arg(Q(file.string())));
  RememberFile(file);
  DocumentChanged(true);
  return true;
}

bool WorkbenchWindow::SaveAs(const std::filesystem::path& file) {
  std::vector<std::string> warnings;
  try {
    warnings = session_.SaveAs(file);
  } catch (const Error& e) {
    Fail(tr("Cannot save"), e.Description());
    return false;
  }
  for (const std::string& warning : warnings)
    Log(tr("warning: %1").arg(Q(warning)));
  Log(tr("saved %1").arg(Q(file.string())));
  RememberFile(file);
  view_->SetTextureFolder(file.parent_path());
  UpdateTitle();
  return true;
}

bool WorkbenchWindow::Save() {
  if (session_.File()) return SaveAs(*session_.File());
  auto file = asker_->FileToWrite(this, tr("Save the scene"), tr("Scenes (*.json)"),
                                  session_.SuggestedFile());
  return file && SaveAs(*file);
}

void WorkbenchWindow::OpenDialog() {
  auto file = asker_->FileToOpen(this, tr("Open a scene or a model"),
                                 tr("Scenes (*.json);;Models (*.glb *.gltf *.obj *.fbx *.dae "
                                    "*.3ds *.ac *.ply *.stl);;All files (*)"));
  if (file) OpenFile(*file);
}

void WorkbenchWindow::ImportDialog() {
  auto file = asker_->FileToOpen(
      this, tr("Import a model"),
      tr("Models (*.glb *.gltf *.obj *.fbx *.dae *.3ds *.ac *.ply *.stl);;All files (*)"));
  if (!file) return;
  std::ostringstream log;
  try {
    session_.Import(*file, {}, log);
  } catch (const Error& e) {
    return Fail(tr("Cannot import %1").arg(Q(file->string())), e.Description());
  }
  LogLines(log.str());
  Log(tr("imported %1").arg(Q(file->string())));
  DocumentChanged(true);
}

void WorkbenchWindow::SaveAsDialog() {
  auto file = asker_->FileToWrite(this, tr("Save the scene as"), tr("Scenes (*.json)"),
                                  session_.SuggestedFile());
  if (file) SaveAs(*file);
}

void WorkbenchWindow::ExportModelDialog() {
  auto file = asker_->FileToWrite(this, tr("Export a model"),
                                  tr("Models (*.glb *.gltf *.obj *.dae *.ply *.stl)"),
                                  session_.SuggestedFile().replace_extension(".glb"));
  if (!file) return;
  std::ostringstream log;
  try {
    session_.ExportModel(*file, log);
  } catch (const Error& e) {
    return Fail(tr("Cannot export the model"), e.Description());
  }
  LogLines(log.str());
}

void WorkbenchWindow::closeEvent(QCloseEvent* event) {
  if (MaySetAside())
    event->accept();
  else
    event->ignore();
}

}  // namespace vlm::workbench
