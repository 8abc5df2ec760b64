// vlmhost prep STEP: one preparation step (host/prep) on a scene or a model, its scene written
// with -o, run by the run layer as `vlmhost run` runs a plug-in.
#pragma once

#include "cli/command.h"

namespace vlm::host {

CommandAction AddPrepCommand(CLI::App& app);

}  // namespace vlm::host
