#include "run/run_request.h"

#include "run/printing.h"
#include "run/selection_text.h"
#include "vlm/error.h"

namespace vlm::host {

std::string RunRequest::CommandLine(const std::optional<std::string>& typed) const {
  std::string line = IsPrep() ? "vlmhost prep " : "vlmhost run ";
  if (fresh) line += "--fresh ";
  line += (IsPrep() ? prepStep : progId) + " " + ShellQuoted(scene.string());
  if (!selections.empty()) line += " " + SelectCommandLine(selections);
  for (const std::string& option : prepOptions) {
    const size_t eq = option.find('=');
    line += " --" + option.substr(0, eq);
    if (eq != std::string::npos) line += " " + ShellQuoted(option.substr(eq + 1));
  }
  for (const std::string& p : params)
    line += " --param " + ShellQuoted(p);
  if (typed) {
    if (!typed->empty()) line += " --ui " + ShellQuoted(*typed);
  } else if (ui)
    line += " --ui " + ShellQuoted(*ui);
  else if (uiFile)
    line += " --ui-file " + ShellQuoted(uiFile->string());
  else if (windows)
    line += " --gui";
  if (output) line += " -o " + ShellQuoted(output->string());
  if (sceneOutput) line += " --scene-out " + ShellQuoted(sceneOutput->string());
  if (savePictures) line += " --save-pictures " + ShellQuoted(savePictures->string());
  if (copyTextures) line += allowOutside ? " --copy-textures --allow-outside" : " --copy-textures";
  if (reportFile) line += " --report " + ShellQuoted(reportFile->string());
  return line;
}

void CheckDialogInput(const RunRequest& request) {
  if (request.ui && request.uiFile)
    Raise(err::InvalidProcedureCall, "give either --ui or --ui-file, not both");
  if (request.windows && (request.ui || request.uiFile || request.savePictures))
    Raise(err::InvalidProcedureCall,
          "--gui shows the dialogs to a person: give no --ui, --ui-file or --save-pictures");
}

}  // namespace vlm::host
