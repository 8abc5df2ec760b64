// The dialog back-end of one run and how its transcript is printed.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <memory>

#include "vlm/scripted_dialogs.h"

namespace vlm::host {

struct RunRequest;

// The largest --ui-file read: a script is a few lines a person or a program wrote.
inline constexpr size_t kMaxScriptFileSize = size_t(16) << 20;

// The back-end the run's dialogs go to: the script given with --ui or --ui-file (vlm::Error
// naming a fault of the script), else one that accepts every dialog as it opens.
std::shared_ptr<ScriptedDialogs> ChooseDialogBackend(const RunRequest& options);

// One line of the transcript: "[dialog] ...", "[message] ...", "[log] ...".
void PrintEntry(std::ostream& out, const TranscriptEntry& entry);

}  // namespace vlm::host
