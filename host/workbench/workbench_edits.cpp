// The workbench window's properties panel: the picks shown in it, the edits it asks for made
// through the session (so each is logged and undoable), and the Plug-ins menu greyed out where
// the picks do not suit a plug-in.
#include <QAction>
#include <QStatusBar>
#include <filesystem>
#include <map>
#include <system_error>

#include "run/plugin_names.h"
#include "scene/document.h"
#include "vlm/error.h"
#include "workbench/pick_properties.h"
#include "workbench/properties_panel.h"
#include "workbench/window_parts.h"
#include "workbench/workbench_window.h"

namespace vlm::workbench {
namespace {

using window::Q;

}  // namespace

void WorkbenchWindow::ShowProperties() {
  std::vector<std::string> materials;
  for (const auto& m : session_.Document().Materials())
    materials.push_back(m->name);
  properties_->Show(PropertiesOf(session_.Document(), picks_, session_.TextureFolder()), materials);
}

// No step renames one item by its path (prep rename changes every name below a target that
// fits its pattern), so a rename is the session's own edit; the log says what it changed.
void WorkbenchWindow::RenamePicked(const QString& name) {
  Session::Edited edited;
  try {
    edited = session_.Rename(picks_, name.toStdString());
  } catch (const Error& e) {
    return Fail(tr("Cannot rename"), e.Description());
  }
  Log(Q(edited.line), edited.changed ? "#006000" : "#606060");
  statusBar()->showMessage(Q(edited.line), 10000);
  if (edited.changed) DocumentChanged(false);
}

void WorkbenchWindow::AssignMaterial(const QString& material) {
  Session::Edited edited;
  try {
    edited = session_.AssignMaterial(picks_, material.toStdString());
  } catch (const Error& e) {
    return Fail(tr("Cannot give the material"), e.Description());
  }
  Log(Q(edited.line), edited.changed ? "#006000" : "#606060");
  statusBar()->showMessage(Q(edited.line), 10000);
  if (edited.changed) DocumentChanged(false);
}

// The texture through `prep materials`: its file named whole, since a relative name on the
// logged command line would be read from whatever folder it is run in.
void WorkbenchWindow::ChooseTexture(const QString& material) {
  const auto file = asker_->FileToOpen(
      this, tr("A texture for %1").arg(material),
      tr("Images (*.png *.dds *.bmp *.jpg *.jpeg *.tga *.PNG *.DDS *.BMP);;All files (*)"));
  if (!file) return;
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::absolute(*file, ec);
  if (ec) absolute = *file;
  RunPrepWith("materials", {"material=" + WildcardFor(material.toStdString()),
                            "texture=" + absolute.lexically_normal().string()});
}

void WorkbenchWindow::UpdatePluginActions() {
  // The keys that pick in each mode, where the picking bar gives them one.
  std::map<host::PickMode, std::string> keys;
  const std::pair<const char*, host::PickMode> modes[] = {{"pickFaces", host::PickMode::Faces},
                                                          {"pickObjects", host::PickMode::Objects},
                                                          {"pickGroups", host::PickMode::Groups}};
  for (const auto& [name, mode] : modes)
    if (QAction* a = Action(name); a && !a->shortcut().isEmpty())
      keys[mode] = a->shortcut().toString(QKeySequence::NativeText).toStdString();
  for (const PluginEntry& p : plugins_) {
    QAction* a = Action(Q("run " + p.progId));
    if (!a) continue;
    const host::PluginInput* input = host::InputOf(p.progId);
    const std::string why = input ? PluginMisfit(p.name, *input, picks_, keys) : "";
    a->setEnabled(why.empty());
    a->setToolTip(!why.empty() ? Q(why)
                  : input      ? tr("Works on %1").arg(Q(std::string(input->text)))
                               : Q(p.name));
    a->setStatusTip(Q(why));
  }
}

}  // namespace vlm::workbench
