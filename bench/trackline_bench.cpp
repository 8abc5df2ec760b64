// Trackline's export of large meshes, beside a write-only baseline of the same bytes.
//
// A flat grid of N triangles (two per quad, neighbours sharing their vertices) in one
// textured group is exported with "No LODs". Reported per size: seconds per export, the
// peak resident memory while it ran (scene included) and the file size; the baseline writes
// a buffer of the same size the same way (temporary file, then rename).
//
//   build/bench/trackline_bench --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "scene/builder.h"
#include "trackline/trackline.h"
#include "vlm/scripted_dialogs.h"
#include "vlm/settings.h"

namespace {

// Peak resident memory since the last ResetPeak, in MiB.
void ResetPeak() {
  std::ofstream("/proc/self/clear_refs") << "5";
}
double StatusMiB(const std::string& key) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind(key + ":", 0) == 0) {
      std::istringstream in(line.substr(key.size() + 1));
      double kib = 0;
      in >> kib;
      return kib / 1024.0;
    }
  return 0;
}

struct GridScene {
  vlm::host::HostDocument doc;
  vlm::host::HostNode* group = nullptr;
  explicit GridScene(int64_t triangles) {
    vlm::host::HostMaterial& ground = doc.NewMaterial("Ground");
    ground.hasTextures = true;
    ground.diffuseMap = "ground.bmp";
    group = &vlm::host::AddGroup(doc.Root(), "Ground");
    // Quads of a grid twice as wide as deep.
    const int64_t quads = triangles / 2;
    const int nz = static_cast<int>(std::sqrt(static_cast<double>(quads) / 2));
    const int nx = static_cast<int>(quads / nz);
    vlm::host::AddGrid(*group, "Grid", nx, nz, 1.0f, &ground);
  }
};

std::filesystem::path Target(const char* name) {
  return std::filesystem::temp_directory_path() / name;
}

// One export with the dialog accepted as it opens (Start Export, then Close).
void ExportOnce(GridScene& scene, const std::filesystem::path& file) {
  auto previous = vlm::SetDialogBackend(std::make_shared<vlm::ScriptedDialogs>());
  vlm::Trackline exporter;
  const vlm::Status s = exporter.PluginImportExport_Export(file.string(), &scene.group->AsNode(),
                                                           &scene.doc, nullptr, {}, {}, "");
  vlm::SetDialogBackend(previous);
  if (vlm::Failed(s)) throw std::runtime_error("the export failed");
}

void BM_TracklineExport(benchmark::State& state) {
  GridScene scene(state.range(0));
  const auto file = Target("trackline_bench.igs");
  const double sceneMiB = StatusMiB("VmRSS");
  ResetPeak();
  for (auto _ : state)
    ExportOnce(scene, file);
  state.counters["peak_MiB"] = StatusMiB("VmHWM");
  state.counters["scene_MiB"] = sceneMiB;
  state.counters["file_MiB"] = static_cast<double>(std::filesystem::file_size(file)) / (1 << 20);
  state.counters["triangles"] = static_cast<double>(state.range(0));
  std::filesystem::remove(file);
}

void BM_WriteOnlyBaseline(benchmark::State& state) {
  std::string bytes;
  {
    GridScene scene(state.range(0));
    const auto file = Target("trackline_bench_size.igs");
    ExportOnce(scene, file);
    bytes.assign(static_cast<size_t>(std::filesystem::file_size(file)), 'x');
    std::filesystem::remove(file);
  }
  GridScene scene(state.range(0));  // held as during an export, for a fair peak
  const auto file = Target("trackline_bench_baseline.igs");
  const double sceneMiB = StatusMiB("VmRSS");
  ResetPeak();
  for (auto _ : state) {
    std::string copy = bytes;  // the exporter builds its bytes anew each time
    vlm::WriteFileAtomically(file, copy);
  }
  state.counters["peak_MiB"] = StatusMiB("VmHWM");
  state.counters["scene_MiB"] = sceneMiB;
  state.counters["file_MiB"] = static_cast<double>(bytes.size()) / (1 << 20);
  state.counters["triangles"] = static_cast<double>(state.range(0));
  std::filesystem::remove(file);
}

}  // namespace

BENCHMARK(BM_WriteOnlyBaseline)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kSecond)
    ->Iterations(3);
BENCHMARK(BM_TracklineExport)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kSecond)
    ->Iterations(3);

BENCHMARK_MAIN();
