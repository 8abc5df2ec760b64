// Trackline's export of large grids beside a write-only baseline (see export_bench.h). The
// group holding the grid is exported.
#include "export_bench.h"
#include "trackline/trackline.h"

namespace {

vlm::Status ExportTrackline(vlm::host::HostDocument& doc, const std::string& file) {
  vlm::Trackline trackline;
  vlm::host::HostNode& group = *doc.Root().children.front();
  return trackline.PluginImportExport_Export(file, &group.AsNode(), &doc, nullptr, {}, {}, "");
}

}  // namespace

int main(int argc, char** argv) {
  return vlm::bench::RunExportBenchmarks(argc, argv, "trackline", "igs", ExportTrackline);
}
