// The files of one run: the scene (a file, or standard output for "-o -"), the exports the
// plug-in writes and the drawing areas of the dialogs shown. Every file is staged and appears
// only when all of them could be written.
#pragma once

#include <iosfwd>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "run/document_run.h"
#include "vlm/files.h"

namespace vlm {
class RunContext;
class ScriptedDialogs;
}  // namespace vlm

namespace vlm::host {

class HostDocument;
class RunReport;
struct RunRequest;
struct RunResult;

// "-o -": the scene goes to standard output, and everything else to standard error.
bool SceneToStandardOutput(const RunRequest& options);
// Whether a file named on the command line is standard output: "-", or the file standard
// output writes to under any name (/dev/stdout, or the file it is redirected to).
bool ToStandardOutput(const std::filesystem::path& target);
// Whether some output of the run goes to standard output, so the transcript goes to standard
// error.
bool TranscriptToStandardError(const RunRequest& options);
// Writes `text` to `out` and flushes it; vlm::Error when that fails (a full disk, a file size
// limit).
void WriteToStream(std::ostream& out, const std::string& text);

// vlm::Error naming the first output location that cannot be written. Checked before the run,
// so no dialog work is lost to a folder that cannot be written.
void CheckOutputLocations(const RunRequest& options, bool exporter, RunReport* report = nullptr);
// vlm::Error when --report names another output of the run: the -o or --scene-out file, the
// --save-pictures folder, and for an exporter (`exporter`) the numbered parts of its export
// (house.1.obj beside house.obj). By any name, through links. CheckOutputLocations checks it
// too, and then writes no report at all.
void CheckReportTarget(const RunRequest& options, bool exporter);

class RunOutputs {
 public:
  // Opens the transaction of the run's context: the plug-in's exports are staged from now on.
  // An exporter's file that is a device or pipe is the only file its export writes.
  RunOutputs(const RunRequest& options, const RunScene& scene, RunReport* report, bool exporter,
             RunContext& context);

  // With --save-pictures, keeps every drawing area of every dialog `dialogs` shows, as it was
  // when the dialog closed.
  void CollectPictures(ScriptedDialogs& dialogs);

  // Whether the plug-in staged no file, and the failures of its writes.
  bool NothingStaged() const;
  const std::vector<std::string>& WriteFailures() const;

  // Writes the pictures and the scene the run produced together with the plug-in's files and
  // says what was written on `log`; the scene for standard output goes to `out`. ExitOk, or
  // ExitRunFailed (reported on `err`) with nothing written.
  int Commit(const RunResult& result, const HostDocument& document, std::ostream& log,
             std::ostream& out, std::ostream& err);
  // Commit in two halves, for a caller that gathers the files of several runs and renames them
  // only when every run has staged its own: Stage puts every file beside its target (ExitOk,
  // or ExitRunFailed on `err` with nothing left staged); Finish renames them into place.
  int Stage(const RunResult& result, const HostDocument& document, std::ostream& err);
  int Finish(const RunResult& result, std::ostream& log, std::ostream& out, std::ostream& err);
  // The files a successful Commit wrote, in order ("-" for the scene on standard output).
  const std::vector<std::filesystem::path>& Committed() const { return committed_; }

 private:
  void StagePictures();
  // --copy-textures: stages a copy of each texture the staged exports name where they look
  // for it (copy_textures.cpp).
  void StageNamedFiles();
  // --report FILE: the report of the run, done, staged after every other file.
  void StageReport(const RunResult& result, const HostDocument& document);
  bool StageScene(const RunResult& result, const HostDocument& document, std::string& text);
  // The embedded textures of a model given as the scene, for the scene written to `scene`.
  void StageModelTextures(const std::filesystem::path& scene);
  void RollBack();
  // What Finish says on the log once the files are in place, and the files it leaves out.
  std::vector<std::string> WrittenLines(const RunResult& result) const;
  std::vector<std::string> DiscardedWarnings() const;
  // The files a successful commit writes, in order ("-" for the scene on standard output).
  std::vector<std::filesystem::path> ToBeCommitted() const;

  const RunRequest& options_;
  RunScene scene_;
  RunReport* report_;
  RunContext& context_;
  OutputTransaction transaction_;
  std::vector<std::pair<std::string, std::string>> pictures_;  // file name, SVG text
  std::map<std::string, int> showings_;                        // by form name
  std::vector<std::string> written_;
  std::vector<std::filesystem::path> committed_;
  std::vector<std::filesystem::path> staged_;  // by Stage, in order
  std::string sceneText_;                      // the scene for standard output
  bool sceneToOut_ = false;
  bool createdPictureFolder_ = false;
  std::vector<std::filesystem::path> createdTextureFolders_;  // made for copies, in order
};

}  // namespace vlm::host
