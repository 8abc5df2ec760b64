// The benchmark program shared by the exporters: export of a flat grid of 10k, 100k and 1M
// triangles, without levels of detail and with automatic ones, of 1M triangles whose faces
// alternate between 1, 8 and 40 materials, beside a baseline that only writes the same bytes
// from memory that already holds them.
//
// Reported per case: wall-clock time; peak_MB, the most heap memory the export held above
// what was in use when it started (the scene itself is built beforehand); and a checksum of
// the files written. After the run, the ratios the exporter is judged by. `--case` runs one
// case once in the process instead (see one_case.h and RunExportBenchmarks).
#pragma once

#include <string>

#include "scene/builder.h"
#include "vlm/error.h"

namespace vlm::bench {

// Runs one export of `doc` to `file` with the dialogs already answered.
using ExportFunction = Status (*)(host::HostDocument& doc, const std::string& file);

// Registers every case for the exporter, runs them and prints the ratios. `name` names the
// scratch folder, `extension` the files written ("obj", "igs").
int RunExportBenchmarks(int argc, char** argv, const char* name, const char* extension,
                        ExportFunction exportFile);

}  // namespace vlm::bench
