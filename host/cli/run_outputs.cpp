#include "cli/run_outputs.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ostream>

#include "cli/run_command.h"
#include "cli/runners.h"
#include "cli/scene_argument.h"
#include "cli/svg.h"
#include "scene/scene_file.h"
#include "vlm/error.h"
#include "scene/texture_names.h"
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

bool SceneToStandardOutput(const RunOptions& options) {
  return options.output && IsStandardStream(*options.output);
}

bool ToStandardOutput(const std::filesystem::path& target) {
  return IsStandardStream(target) || IsStandardOutput(target);
}

bool TranscriptToStandardError(const RunOptions& options) {
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

void CheckOutputLocations(const RunOptions& options, bool exporter) {
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
}

RunOutputs::RunOutputs(const RunOptions& options, bool exporter, RunContext& context)
    : options_(options), context_(context), transaction_(context) {
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
  if (options_.modelTextures)
    for (const EmbeddedTexture& texture : *options_.modelTextures)
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
  if (!options_.modelTextures) return;
  // As an import writes them: in the current folder for standard output, none for a device
  // or pipe, else beside the scene, whose materials name them relative to itself.
  const bool toOut = ToStandardOutput(scene);
  for (const EmbeddedTexture& texture : *options_.modelTextures) {
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

void RunOutputs::ReportWritten(const RunResult& result, std::ostream& log) const {
  for (const std::string& file : written_)
    log << "wrote " << file << "\n";
  if (options_.savePictures && pictures_.empty())
    log << "(no dialog with a drawing area was shown)\n";
  if (result.savesScene && !result.sceneTarget && !options_.sceneKept)
    log << "(the scene was not saved: give -o FILE to write it)\n";
}

int RunOutputs::Stage(const RunResult& result, const HostDocument& document, std::ostream& err) {
  try {
    StageNamedFiles();
    StagePictures();
    sceneToOut_ = StageScene(result, document, sceneText_);
    staged_ = transaction_.StagedTargets();
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
  const auto& discarded = transaction_.Discarded();
  for (const std::filesystem::path& file : staged_)
    if (std::find(discarded.begin(), discarded.end(), file) == discarded.end())
      committed_.push_back(file);
  if (!sceneText_.empty()) committed_.emplace_back("-");
  for (const std::filesystem::path& file : discarded)
    err << "warning: " << file.string() << " was not written: an export to a device or pipe "
        << "writes that one file\n";
  ReportWritten(result, log);
  return ExitOk;
}

int RunOutputs::Commit(const RunResult& result, const HostDocument& document, std::ostream& log,
                       std::ostream& out, std::ostream& err) {
  if (int status = Stage(result, document, err); status != ExitOk) return status;
  return Finish(result, log, out, err);
}

}  // namespace vlm::host
