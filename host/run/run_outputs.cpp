#include "run/run_outputs.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ostream>

#include "run/document_run.h"
#include "run/exit_status.h"
#include "run/runners.h"
#include "run/scene_argument.h"
#include "run/svg.h"
#include "scene/scene_file.h"
#include "scene/texture_names.h"
#include "vlm/error.h"
#include "vlm/forms.h"
#include "vlm/run_context.h"
#include "vlm/scripted_dialogs.h"

namespace vlm::host {
namespace {

void CheckPictureFolder(const std::filesystem::path& folder) {
  std::error_code ec;
  if (std::filesystem::exists(folder, ec) && !std::filesystem::is_directory(folder, ec))
    Raise(err::PathFileAccess, "--save-pictures " + folder.string() + ": it is not a folder");
  // A folder still to be made is made in a folder that exists and can be written.
  CheckOutputTarget(std::filesystem::is_directory(folder, ec) ? folder / "picture.svg" : folder);
}

}  // namespace

bool SceneToStandardOutput(const RunRequest& options) {
  return options.output && IsStandardStream(*options.output);
}

bool ToStandardOutput(const std::filesystem::path& target) {
  return IsStandardStream(target) || IsStandardOutput(target);
}

bool TranscriptToStandardError(const RunRequest& options) {
  return (options.output && ToStandardOutput(*options.output)) ||
         (options.sceneOutput && ToStandardOutput(*options.sceneOutput));
}

void WriteToStream(std::ostream& out, const std::string& text) {
  errno = 0;
  out << text << std::flush;
  if (!out)
    Raise(err::PathFileAccess, std::string("cannot write standard output") +
                                   (errno ? std::string(": ") + std::strerror(errno) : ""));
}

void CheckOutputLocations(const RunRequest& options, bool exporter, RunReport* report) {
  // An empty name (-o '') is no file anywhere: as bad a target as a folder that is missing.
  for (const auto& [option, target] :
       {std::pair{"-o", &options.output}, std::pair{"--scene-out", &options.sceneOutput},
        std::pair{"--save-pictures", &options.savePictures},
        std::pair{"--report", &options.reportFile}})
    if (*target && (*target)->empty())
      Raise(err::BadFileName, std::string(option) + " \"\": an empty name names no file");
  if (options.output && !ToStandardOutput(*options.output)) CheckOutputTarget(*options.output);
  if (exporter && options.sceneOutput) {
    const std::filesystem::path& scene = *options.sceneOutput;
    if (!ToStandardOutput(scene)) CheckOutputTarget(scene);
    if (options.output &&
        (ToStandardOutput(*options.output) ? ToStandardOutput(scene)
                                           : SameOutputFile(*options.output, scene)))
      Raise(err::InvalidProcedureCall, "-o " + options.output->string() + " and --scene-out " +
                                           scene.string() + " are the same file");
  }
  if (options.savePictures) CheckPictureFolder(*options.savePictures);
  if (options.reportFile && !IsStandardStream(*options.reportFile)) {
    try {
      CheckReportTarget(options, exporter);
    } catch (const Error&) {
      if (report) report->Withhold();
      throw;
    }
  }
}

namespace {

// Whether `file` is a numbered part of the export `exported` (house.1.obj, house.2.obj, ...
// beside house.obj): in the same folder, named as the export up to its last "." (the whole
// name without one), a number, and an extension.
bool IsNumberedPart(const std::filesystem::path& file, const std::filesystem::path& exported) {
  std::string stem = exported.filename().string();
  if (const size_t dot = stem.rfind('.'); dot != std::string::npos) stem.resize(dot);
  const std::string name = file.filename().string();
  if (!name.starts_with(stem + ".")) return false;
  const size_t digits = name.find_first_not_of("0123456789", stem.size() + 1);
  if (digits == stem.size() + 1 || digits == std::string::npos || name[digits] != '.') return false;
  std::error_code ec;
  const auto folder = [&](const std::filesystem::path& p) {
    return std::filesystem::weakly_canonical(std::filesystem::absolute(p, ec).parent_path(), ec);
  };
  return folder(file) == folder(exported);
}

}  // namespace

void CheckReportTarget(const RunRequest& options, bool exporter) {
  const std::filesystem::path& report = *options.reportFile;
  if (report.empty()) Raise(err::BadFileName, "--report \"\": an empty name names no file");
  const auto refuse = [&](const std::string& what) {
    Raise(err::InvalidProcedureCall, "--report " + report.string() + " is also " + what +
                                         ": a report may not replace another output of the run");
  };
  if (options.output && !IsStandardStream(*options.output)) {
    if (SameOutputFile(report, *options.output)) refuse("the -o file");
    if (exporter && IsNumberedPart(report, *options.output))
      refuse("a numbered part of the export " + options.output->string());
  }
  if (options.sceneOutput && !IsStandardStream(*options.sceneOutput) &&
      SameOutputFile(report, *options.sceneOutput))
    refuse("the --scene-out file");
  if (options.savePictures && SameOutputFile(report, *options.savePictures))
    refuse("the --save-pictures folder");
}

RunOutputs::RunOutputs(const RunRequest& options, const RunScene& scene, RunReport* report,
                       bool exporter, RunContext& context)
    : options_(options), scene_(scene), report_(report), context_(context), transaction_(context) {
  if (exporter && options.output) transaction_.SetExportFile(*options.output);
}

void RunOutputs::CollectPictures(ScriptedDialogs& dialogs) {
  if (!options_.savePictures) return;
  dialogs.SetFormObserver([this](const Form& form) {
    const int showing = ++showings_[form.Name()];
    for (const Control* c : form.Controls())
      if (c->Kind() == ControlKind::PictureBox) {
        const auto& picture = static_cast<const PictureBox&>(*c);
        pictures_.emplace_back(PictureFileName(form, showing, picture), PictureToSvg(picture));
      }
  });
}

bool RunOutputs::NothingStaged() const {
  return transaction_.StagedTargets().empty();
}

const std::vector<std::string>& RunOutputs::WriteFailures() const {
  return transaction_.Failures();
}

void RunOutputs::StagePictures() {
  if (!options_.savePictures || pictures_.empty()) return;
  const std::filesystem::path& folder = *options_.savePictures;
  if (!std::filesystem::is_directory(folder)) {
    std::error_code ec;
    std::filesystem::create_directory(folder, ec);
    if (ec)
      Raise(err::PathFileAccess, folder.string() + ": cannot make the folder: " + ec.message());
    createdPictureFolder_ = true;
  }
  for (const auto& [name, svg] : pictures_) {
    transaction_.Stage(folder / name, svg);
    written_.push_back((folder / name).string());
  }
}

// Stages the scene file; makes the scene `text` instead when it goes to standard output.
bool RunOutputs::StageScene(const RunResult& result, const HostDocument& document,
                            std::string& text) {
  if (!result.savesScene || !result.sceneTarget) return false;
  const std::filesystem::path& target = *result.sceneTarget;
  StageModelTextures(target);
  // Relative texture names lead from the scene read; the scene written (standard output's
  // from the current folder) leads to the same files.
  const std::filesystem::path from =
      IsStandardStream(options_.scene) ? std::filesystem::path() : options_.scene.parent_path();
  std::vector<std::string> beside;
  if (scene_.modelTextures)
    for (const EmbeddedTexture& texture : *scene_.modelTextures)
      beside.push_back(texture.file);
  const bool toOut = ToStandardOutput(target);
  TextureNamesMoved moved(document, from, toOut ? std::filesystem::path() : target.parent_path(),
                          beside);
  for (const std::string& warning : moved.Warnings())
    context_.Warn(warning);
  if (toOut) {
    text = SerializeScene(document, "standard output");
    return true;
  }
  const std::string origin = target.string();
  transaction_.StageWith(target, [&](OutputSink& sink) { WriteScene(document, origin, sink); });
  written_.push_back(origin);
  return false;
}

void RunOutputs::StageModelTextures(const std::filesystem::path& scene) {
  if (!scene_.modelTextures) return;
  // As an import writes them: in the current folder for standard output, none for a device
  // or pipe, else beside the scene, whose materials name them relative to itself.
  const bool toOut = ToStandardOutput(scene);
  for (const EmbeddedTexture& texture : *scene_.modelTextures) {
    if (!toOut && IsWrittenDirectly(scene)) {
      context_.Warn("the embedded texture " + texture.file + " was not written: " + scene.string() +
                    " is a device or pipe");
      continue;
    }
    const std::filesystem::path file =
        (toOut ? std::filesystem::path() : scene.parent_path()) / texture.file;
    transaction_.Stage(file, texture.bytes);
    written_.push_back(file.string());
  }
}

void RunOutputs::RollBack() {
  transaction_.Rollback();
  if (createdPictureFolder_) {
    std::error_code ec;
    std::filesystem::remove(*options_.savePictures, ec);
  }
  for (auto folder = createdTextureFolders_.rbegin(); folder != createdTextureFolders_.rend();
       ++folder) {
    std::error_code ec;
    std::filesystem::remove(*folder, ec);
  }
}

std::vector<std::string> RunOutputs::WrittenLines(const RunResult& result) const {
  std::vector<std::string> lines;
  for (const std::string& file : written_)
    lines.push_back("wrote " + file);
  if (options_.savePictures && pictures_.empty())
    lines.emplace_back("(no dialog with a drawing area was shown)");
  if (result.savesScene && !result.sceneTarget && !scene_.kept)
    lines.emplace_back("(the scene was not saved: give -o FILE to write it)");
  return lines;
}

std::vector<std::string> RunOutputs::DiscardedWarnings() const {
  std::vector<std::string> warnings;
  for (const std::filesystem::path& file : transaction_.Discarded())
    warnings.push_back(file.string() +
                       " was not written: an export to a device or pipe writes that one file");
  return warnings;
}

std::vector<std::filesystem::path> RunOutputs::ToBeCommitted() const {
  std::vector<std::filesystem::path> files;
  const auto& discarded = transaction_.Discarded();
  for (const std::filesystem::path& file : staged_)
    if (std::find(discarded.begin(), discarded.end(), file) == discarded.end())
      files.push_back(file);
  if (sceneToOut_) files.emplace_back("-");
  return files;
}

void RunOutputs::StageReport(const RunResult& result, const HostDocument& document) {
  if (!report_ || !options_.reportFile || IsStandardStream(*options_.reportFile)) return;
  try {
    transaction_.Stage(
        *options_.reportFile,
        report_->DoneReport(document, ToBeCommitted(), DiscardedWarnings(), WrittenLines(result)));
  } catch (const Error&) {
    // Another output of the run is the same file (a texture copy): no report replaces it.
    report_->Withhold();
    throw;
  }
}

int RunOutputs::Stage(const RunResult& result, const HostDocument& document, std::ostream& err) {
  try {
    StageNamedFiles();
    StagePictures();
    sceneToOut_ = StageScene(result, document, sceneText_);
    staged_ = transaction_.StagedTargets();
    StageReport(result, document);
  } catch (const Error& e) {
    RollBack();
    err << "error: " << e.Description() << "\n";
    return ExitRunFailed;
  }
  return ExitOk;
}

int RunOutputs::Finish(const RunResult& result, std::ostream& log, std::ostream& out,
                       std::ostream& err) {
  try {
    out.flush();  // a file written directly to standard output comes after what it holds
    transaction_.Commit([&] {
      if (sceneToOut_) WriteToStream(out, sceneText_);
    });
  } catch (const Error& e) {
    RollBack();
    err << "error: " << e.Description() << "\n";
    return ExitRunFailed;
  }
  committed_ = ToBeCommitted();
  for (const std::string& warning : DiscardedWarnings())
    err << "warning: " << warning << "\n";
  for (const std::string& line : WrittenLines(result))
    log << line << "\n";
  return ExitOk;
}

int RunOutputs::Commit(const RunResult& result, const HostDocument& document, std::ostream& log,
                       std::ostream& out, std::ostream& err) {
  if (int status = Stage(result, document, err); status != ExitOk) return status;
  return Finish(result, log, out, err);
}

}  // namespace vlm::host
