#include "workbench/workbench_session.h"

#include <ostream>
#include <set>
#include <sstream>

#include "exchange/model_export.h"
#include "run/document_run.h"
#include "scene/document.h"
#include "scene/scene_file.h"
#include "scene/scene_text.h"
#include "scene/texture_names.h"
#include "vlm/error.h"
#include "vlm/files.h"
#include "vlm/run_context.h"
#include "vlm/text_encoding.h"

namespace vlm::workbench {
namespace {

std::string Quoted(const std::string& text) {
  return host::scene_text::Quoted(text);
}

// The most changes kept: each holds the whole scene twice.
constexpr size_t kHistory = 100;

}  // namespace

Session::Session() : document_(std::make_unique<host::HostDocument>()) {}
Session::~Session() = default;

std::filesystem::path Session::SuggestedFile() const {
  if (file_) return *file_;
  if (!importedFrom_.empty()) return importedFrom_.stem().string() + ".json";
  return "untitled.json";
}

std::filesystem::path Session::TextureFolder() const {
  if (file_) return file_->parent_path();
  if (!importedFrom_.empty()) return importedFrom_.parent_path();
  return std::filesystem::current_path();
}

std::string Session::Text() const {
  return host::SerializeScene(*document_, file_ ? file_->string() : "(unsaved scene)");
}

void Session::Open(const std::filesystem::path& scene) {
  document_ = host::LoadScene(scene);
  ++version_;
  file_ = scene;
  textures_.clear();
  importedFrom_.clear();
  done_.clear();
  undone_.clear();
  savedAt_ = 0;
}

void Session::Replace(const std::string& text, const std::vector<host::EmbeddedTexture>& textures) {
  document_ = host::ParseScene(text, file_ ? file_->string() : "(unsaved scene)");
  ++version_;
  textures_ = textures;
}

void Session::Record(Change change) {
  undone_.clear();
  if (savedAt_ > done_.size()) savedAt_ = SIZE_MAX;  // the saved state was undone and is gone
  done_.push_back(std::move(change));
  if (done_.size() > kHistory) {
    done_.erase(done_.begin());
    savedAt_ = savedAt_ == 0 || savedAt_ == SIZE_MAX ? SIZE_MAX : savedAt_ - 1;
  }
}

void Session::Import(const std::filesystem::path& model, const host::ReaderLimits& limits,
                     std::ostream& log) {
  RunContext context;
  RunContext::Scope scope(context);
  host::ImportedModel imported = host::ImportModelInChildProcess(model, {}, limits);
  for (const std::string& line : imported.log)
    log << line << "\n";
  Change change;
  change.label = "import " + model.filename().string();
  change.before = Text();
  change.texturesBefore = textures_;
  change.after = host::SerializeScene(*imported.document, model.string());
  change.texturesAfter = imported.textures;
  Replace(change.after, change.texturesAfter);
  file_.reset();  // a new document, saved where the person says
  importedFrom_ = model;
  Record(std::move(change));
}

std::vector<std::string> Session::SaveAs(const std::filesystem::path& scene) {
  RunContext context;
  RunContext::Scope scope(context);
  OutputTransaction transaction(context);
  std::vector<std::string> beside;
  for (const host::EmbeddedTexture& texture : textures_) {
    transaction.Stage(scene.parent_path() / texture.file, texture.bytes);
    beside.push_back(texture.file);
  }
  // The texture names lead from where the document was read to the same files from its new
  // folder, which the document keeps.
  const std::filesystem::path from = file_ ? file_->parent_path() : importedFrom_.parent_path();
  host::TextureNamesMoved moved(*document_, from, scene.parent_path(), beside);
  const std::string origin = scene.string();
  transaction.StageWith(scene,
                        [&](OutputSink& sink) { host::WriteScene(*document_, origin, sink); });
  transaction.Commit();
  moved.Keep();
  file_ = scene;
  textures_.clear();
  savedAt_ = done_.size();
  return moved.Warnings();
}

void Session::ExportModel(const std::filesystem::path& model, std::ostream& log) const {
  if (host::ModelFormatFor(model).empty())
    Raise(err::BadFileName, model.string() +
                                ": the extension names no format written; known: .glb, .gltf, "
                                ".obj, .dae, .ply, .stl");
  RunContext context;
  RunContext::Scope scope(context);
  CheckOutputTarget(model);
  OutputTransaction transaction(context);
  transaction.SetExportFile(model);
  host::ExportModel(*document_, model);
  const auto staged = transaction.StagedTargets();
  transaction.Commit();
  for (const auto& file : staged)
    log << "wrote " << file.string() << "\n";
}

namespace {

host::RunOutcome Refused(host::RunKind kind, const std::string& text, const host::RunEcho& echo) {
  host::RunOutcome outcome;
  outcome.kind = kind;
  outcome.messages.push_back({host::RunMessage::Level::Error, text});
  if (echo.message) echo.message(outcome.messages.back().Line());
  return outcome;
}

// What a run did, for Undo and Redo to say: "1 made, 2 changed", "3 removed".
std::string WhatChanged(const host::SceneDiff& diff) {
  std::string text;
  for (const auto& [items, verb] :
       {std::pair{&diff.created, "made"}, std::pair{&diff.changed, "changed"},
        std::pair{&diff.removed, "removed"}})
    if (!items->empty())
      text += (text.empty() ? "" : ", ") + std::to_string(items->size()) + " " + verb;
  return text.empty() ? "nothing changed" : text;
}

}  // namespace

host::RunOutcome Session::Run(const host::RunRequest& request, const host::RunEcho& echo,
                              const std::string& label) {
  Change change;
  const std::string& runName = request.IsPrep() ? request.prepStep : request.progId;
  change.label = label.empty() ? runName : label;
  try {
    change.before = Text();
  } catch (const Error& e) {
    return Refused(host::RunKind::BadInput, e.Description(), echo);
  }
  // The run works on a copy: a run that fails or refuses leaves the document as it was.
  std::unique_ptr<host::HostDocument> working = host::ParseScene(change.before, "(unsaved scene)");
  host::RunRequest kept = request;
  // Relative file names lead from where the view finds the textures: an imported model's
  // folder until the document is saved, not the current folder.
  kept.scene = TextureFolder() / SuggestedFile().filename();
  kept.sceneOutput.reset();
  host::RunOutcome outcome;
  {
    RunContext context;
    context.UseFreshSettings(request.fresh);
    host::DocumentRun::Configure(context, kept);
    RunContext::Scope scope(context);
    host::RunScene scene;
    scene.kept = true;
    host::DocumentRun run(kept, context, scene, echo);
    std::ostringstream none;
    outcome = run.Run(*working);
    if (outcome.Done()) outcome = run.Commit(*working, none);
  }
  if (!outcome.Done()) return outcome;
  try {
    change.after = host::SerializeScene(*working, "(the scene after " + runName + ")");
    outcome.items = host::DiffDocuments(change.before, *working, "(the scene before the run)");
  } catch (const Error& e) {
    return Refused(host::RunKind::Failed, e.Description(), echo);
  }
  if (change.after == change.before) return outcome;  // an export: the scene is as it was
  change.label += " (" + WhatChanged(*outcome.items) + ")";
  change.texturesBefore = change.texturesAfter = textures_;
  Replace(change.after, textures_);
  Record(std::move(change));
  return outcome;
}

Session::Edited Session::Edit(
    const std::string& label, const host::PickedItems& picked,
    const std::function<std::string(host::HostDocument&, const host::PickedItems&)>& edit) {
  Change change;
  change.label = label;
  change.before = Text();
  // The edit works on a copy, with the picks found again in it by their --select texts.
  std::unique_ptr<host::HostDocument> working = host::ParseScene(change.before, "(unsaved scene)");
  const host::PickedItems picks = host::SelectByTexts(*working, host::SelectTexts(picked));
  Edited edited;
  edited.line = edit(*working, picks);
  change.after = host::SerializeScene(*working, "(the scene after " + label + ")");
  if (change.after == change.before) return edited;
  edited.changed = true;
  change.texturesBefore = change.texturesAfter = textures_;
  Replace(change.after, textures_);
  Record(std::move(change));
  return edited;
}

Session::Edited Session::Rename(const host::PickedItems& picked, const std::string& name) {
  if (picked.groups.size() + picked.objects.size() != 1)
    Raise(err::InvalidProcedureCall,
          "a rename needs one group or object picked; " + host::DescribePicks(picked) + " is");
  if (name.empty()) Raise(err::InvalidProcedureCall, "the new name is empty: give a name");
  if (!text::IsUtf8(name))
    Raise(err::InvalidProcedureCall, "the new name is not UTF-8 text: give the name as text");
  return Edit("rename", picked, [&](host::HostDocument&, const host::PickedItems& picks) {
    std::string* held;
    std::string kind, path;
    if (!picks.groups.empty()) {
      // The picks come from the document's selection, which holds only items of the document.
      auto* group = const_cast<host::HostNode*>(picks.groups[0]);
      held = &group->name;
      kind = "group";
      path = group->Path();
    } else {
      auto* mesh = const_cast<host::HostMesh*>(picks.objects[0].mesh);
      held = &mesh->name;
      kind = "object";
      path = mesh->Path();
    }
    if (*held == name) return kind + " " + path + " is already named " + Quoted(name);
    *held = name;
    return "renamed " + kind + " " + path + " to " + Quoted(name);
  });
}

Session::Edited Session::AssignMaterial(const host::PickedItems& picked,
                                        const std::string& material) {
  if (picked.Empty()) Raise(err::InvalidProcedureCall, "pick faces, objects or groups first");
  if (!document_->FindMaterial(material))
    Raise(err::InvalidProcedureCall,
          "the scene has no material " + Quoted(material) + ": choose one of its materials");
  return Edit("material " + material, picked,
              [&](host::HostDocument& document, const host::PickedItems& picks) {
                host::HostMaterial* given = document.FindMaterial(material);
                size_t faces = 0, changed = 0;
                std::set<const host::HostMesh*> objects;
                for (const host::FaceHit& hit : host::PickedFaces(picks)) {
                  auto* mesh = const_cast<host::HostMesh*>(hit.mesh);
                  ++faces;
                  objects.insert(mesh);
                  if (mesh->FaceMaterial(static_cast<size_t>(hit.face)) == given) continue;
                  mesh->SetFaceMaterial(static_cast<size_t>(hit.face), given);
                  ++changed;
                }
                const std::string which =
                    std::to_string(faces) + (faces == 1 ? " face" : " faces") + " of " +
                    std::to_string(objects.size()) + (objects.size() == 1 ? " object" : " objects");
                if (!changed) return "the " + which + " already have material " + Quoted(material);
                return "gave " + std::to_string(changed) + " of the " + which + " material " +
                       Quoted(material) + " (" + host::SelectCommandLine(host::SelectTexts(picks)) +
                       ")";
              });
}

void Session::Undo() {
  if (done_.empty()) return;
  Change change = std::move(done_.back());
  done_.pop_back();
  Replace(change.before, change.texturesBefore);
  undone_.push_back(std::move(change));
}

void Session::Redo() {
  if (undone_.empty()) return;
  Change change = std::move(undone_.back());
  undone_.pop_back();
  Replace(change.after, change.texturesAfter);
  done_.push_back(std::move(change));
}

}  // namespace vlm::workbench
