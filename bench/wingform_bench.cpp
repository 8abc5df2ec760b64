// Wingform: export of a flat grid of 10k, 100k and 1M triangles, without levels of detail
// and with automatic ones, beside a baseline that only writes the same bytes.
//
// Reported per case: wall-clock time, and peak_MB, the most heap memory the export held
// above what was in use when it started (the scene itself is built beforehand).
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <new>
#include <string>

#include "grid_scene.h"
#include "vlm/scripted_dialogs.h"
#include "vlm/settings.h"
#include "wingform/wingform.h"

// ---- heap accounting ------------------------------------------------------------------------
namespace {
std::atomic<long long> heapNow{0}, heapPeak{0};

void* Track(std::size_t size) {
  auto* block = static_cast<std::size_t*>(std::malloc(size + 16));
  if (!block) throw std::bad_alloc();
  *block = size;
  const long long now = heapNow += static_cast<long long>(size);
  long long peak = heapPeak.load();
  while (now > peak && !heapPeak.compare_exchange_weak(peak, now)) {
  }
  return reinterpret_cast<char*>(block) + 16;
}
void Untrack(void* p) noexcept {
  if (!p) return;
  auto* block = reinterpret_cast<std::size_t*>(static_cast<char*>(p) - 16);
  heapNow -= static_cast<long long>(*block);
  std::free(block);
}
}  // namespace

void* operator new(std::size_t size) {
  return Track(size);
}
void* operator new[](std::size_t size) {
  return Track(size);
}
void operator delete(void* p) noexcept {
  Untrack(p);
}
void operator delete[](void* p) noexcept {
  Untrack(p);
}
void operator delete(void* p, std::size_t) noexcept {
  Untrack(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  Untrack(p);
}

namespace {

namespace fs = std::filesystem;

// A scratch configuration folder and output folder for the whole program.
const fs::path& Scratch() {
  static const fs::path folder = [] {
    fs::path f = fs::temp_directory_path() / ("wingform-bench-" + std::to_string(getpid()));
    fs::create_directories(f / "out");
    setenv("VLM_HOME", f.c_str(), 1);
    std::atexit([] { fs::remove_all(Scratch()); });
    return f;
  }();
  return folder;
}

// Scenes are built once per size: a group "main" holding one grid of quads.
vlm::host::HostDocument& GridScene(int triangles) {
  static std::map<int, std::unique_ptr<vlm::host::HostDocument>> scenes;
  auto& doc = scenes[triangles];
  if (!doc) doc = vlm::bench::GridScene(triangles);
  return *doc;
}

void Export(vlm::host::HostDocument& doc, const std::string& file, bool automatic) {
  auto dialogs = std::make_shared<vlm::ScriptedDialogs>(vlm::ParseDialogScript(
      automatic ? "optLOD(1)=1; click cmdOK; click cmdCancel" : "click cmdOK; click cmdCancel"));
  auto previous = vlm::SetDialogBackend(dialogs);
  vlm::Wingform wingform;
  const vlm::Status s =
      wingform.PluginImportExport_Export(file, &doc.Root().AsNode(), &doc, nullptr, {}, {}, "");
  vlm::SetDialogBackend(previous);
  if (vlm::Failed(s) || dialogs->Transcript().empty() ||
      dialogs->Transcript().back().text != "Export Finished.") {
    for (const auto& e : dialogs->Transcript())
      std::fprintf(stderr, "%s\n", e.text.c_str());
    std::abort();
  }
}

void ReportPeak(benchmark::State& state, long long start) {
  state.counters["peak_MB"] = static_cast<double>(heapPeak.load() - start) / (1024.0 * 1024.0);
  state.counters["triangles"] = static_cast<double>(state.range(0));
}

void BM_Export(benchmark::State& state) {
  vlm::host::HostDocument& doc = GridScene(static_cast<int>(state.range(0)));
  const bool automatic = state.range(1) != 0;
  const std::string file = (Scratch() / "out" / "grid.obj").string();
  const long long start = heapNow.load();
  heapPeak = start;
  for (auto _ : state)
    Export(doc, file, automatic);
  ReportPeak(state, start);
  state.SetLabel(automatic ? "automatic LODs" : "no LODs");
}

// The same bytes, written the same way (one temporary file renamed over the target).
void BM_WriteOnly(benchmark::State& state) {
  vlm::host::HostDocument& doc = GridScene(static_cast<int>(state.range(0)));
  const std::string file = (Scratch() / "out" / "baseline.obj").string();
  Export(doc, file, false);
  std::ifstream in(file, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), {});
  const long long start = heapNow.load();
  heapPeak = start;
  for (auto _ : state) {
    // The writer holds the whole file before the rename; so does the baseline.
    std::string copy = bytes;
    vlm::WriteFileAtomically(file, copy);
  }
  ReportPeak(state, start);
  state.SetLabel("write only, " + std::to_string(bytes.size() / (1024 * 1024)) + " MB");
}

}  // namespace

BENCHMARK(BM_Export)
    ->ArgsProduct({{10000, 100000, 1000000}, {0, 1}})
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(3);
BENCHMARK(BM_WriteOnly)
    ->Args({10000})
    ->Args({100000})
    ->Args({1000000})
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(3);

BENCHMARK_MAIN();
