// Wingform's export of large grids beside a write-only baseline (see export_bench.h).
#include "export_bench.h"
#include "wingform/wingform.h"

namespace {

vlm::Status ExportWingform(vlm::host::HostDocument& doc, const std::string& file) {
  vlm::Wingform wingform;
  return wingform.PluginImportExport_Export(file, &doc.Root().AsNode(), &doc, nullptr, {}, {}, "");
}

}  // namespace

int main(int argc, char** argv) {
  return vlm::bench::RunExportBenchmarks(argc, argv, "wingform", "obj", ExportWingform);
}
