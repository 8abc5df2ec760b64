// The document the workbench works on, with its file, its undo history and the runs made on
// it. No windows here: the window asks and shows, the session does.
//
// Each change (a plug-in run, an import) keeps the document's scene text from before it and
// from after it, so undo gives back a document that saves byte for byte as the one before,
// and redo the run's document again. A document that changed is always read back from its
// scene text, so what the window shows is what a save and an open would give.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "exchange/model_import.h"
#include "exchange/model_reader_process.h"
#include "run/run_outcome.h"
#include "run/run_request.h"
#include "run/selection_text.h"

namespace vlm::host {
class HostDocument;
}

namespace vlm::workbench {

class Session {
 public:
  Session();  // an empty, unnamed document
  ~Session();

  host::HostDocument& Document() { return *document_; }
  const host::HostDocument& Document() const { return *document_; }
  // The scene file the document is saved to; none for a new or imported one.
  const std::optional<std::filesystem::path>& File() const { return file_; }
  // The name a first save suggests: the file, else the imported model's name with ".json".
  std::filesystem::path SuggestedFile() const;
  // Where the document's texture names start from: the scene file's folder, else the imported
  // model's, else the current folder.
  std::filesystem::path TextureFolder() const;
  // Whether the document changed since it was opened or saved (undo back to it: unchanged).
  bool Dirty() const { return done_.size() != savedAt_; }
  // Counts every replacement of the document (open, run, import, undo, redo).
  uint64_t Version() const { return version_; }

  // Reads a scene file as the new document; the history starts afresh. vlm::Error naming the
  // file and the fault, the document then as it was.
  void Open(const std::filesystem::path& scene);
  // Reads a model as `vlmhost import` does (in a child process, under `limits`) as the new,
  // unnamed document, undoably; its embedded textures are written beside the scene when it is
  // saved. The model's log lines go to `log`. vlm::Error as for import.
  void Import(const std::filesystem::path& model, const host::ReaderLimits& limits,
              std::ostream& log);
  // Writes the scene (and the textures an import brought) all or nothing; vlm::Error naming the
  // file. The file becomes the document's, and its relative texture names lead from its
  // folder to the same files as before; returns a warning for each name that led nowhere.
  std::vector<std::string> SaveAs(const std::filesystem::path& scene);
  // Writes the model as `vlmhost export-model` does; the files written go to `log`.
  void ExportModel(const std::filesystem::path& model, std::ostream& log) const;

  // The plug-in run of `vlmhost run` on the document: the request gives the plug-in, the
  // selections, the dialogs and the inputs (its scene and output names are not used, except an
  // exporter's file). The run works on a copy; only a run that succeeds and changes the scene
  // replaces the document (undoably). The outcome lists the items the run made, changed and
  // removed; `echo` shows its lines as they come. A run with `fresh` settings reads and keeps
  // none. `label` names the run in Undo and Redo (the plug-in's identifier when empty).
  host::RunOutcome Run(const host::RunRequest& request, const host::RunEcho& echo = {},
                       const std::string& label = {});

  // An edit of the document made in the workbench itself (no plug-in run or preparation step
  // makes it): the line that says what changed, and whether anything did.
  struct Edited {
    bool changed = false;
    std::string line;  // "renamed object Hangar/Wing/Spar to \"Beam\""
  };
  // Renames the one group or object the picks hold (faces: their object) to `name`, undoably;
  // its siblings may share the name (paths then number them). vlm::Error for an empty name, a
  // name that is not UTF-8 text, or picks that are not one item; the document then as it was.
  Edited Rename(const host::PickedItems& picked, const std::string& name);
  // Gives the picked faces (every face of a picked object, and of every object in a picked
  // group) the document's material `material`, undoably. vlm::Error for a material the document
  // does not have, or nothing picked; the document then as it was.
  Edited AssignMaterial(const host::PickedItems& picked, const std::string& material);

  // The scene text before and after the last change (for the changes it made), if any.
  struct Change {
    std::string label;  // "Flare", "import hangar.glb"
    std::string before, after;
    std::vector<host::EmbeddedTexture> texturesBefore, texturesAfter;
  };
  const Change* LastChange() const { return done_.empty() ? nullptr : &done_.back(); }

  bool CanUndo() const { return !done_.empty(); }
  bool CanRedo() const { return !undone_.empty(); }
  std::string UndoLabel() const { return done_.empty() ? "" : done_.back().label; }
  std::string RedoLabel() const { return undone_.empty() ? "" : undone_.back().label; }
  void Undo();
  void Redo();

  // The scene text of the document as it is now.
  std::string Text() const;

 private:
  // The document read from `text`; the file stays the document's (undo and redo do not move
  // it).
  void Replace(const std::string& text, const std::vector<host::EmbeddedTexture>& textures);
  void Record(Change change);
  // Makes `edit` on a copy of the document holding the same picks; a copy it changed replaces
  // the document (undoably, as `label`). An error leaves the document as it was.
  Edited Edit(
      const std::string& label, const host::PickedItems& picked,
      const std::function<std::string(host::HostDocument&, const host::PickedItems&)>& edit);

  std::unique_ptr<host::HostDocument> document_;
  std::optional<std::filesystem::path> file_;
  std::vector<host::EmbeddedTexture> textures_;  // an import's, until saved
  std::filesystem::path importedFrom_;
  std::vector<Change> done_, undone_;
  // The depth of the history at the last save or open; SIZE_MAX when that state was undone
  // past and then replaced.
  size_t savedAt_ = 0;
  uint64_t version_ = 0;
};

}  // namespace vlm::workbench
