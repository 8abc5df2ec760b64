#include "export_bench.h"

#include <benchmark/benchmark.h>

#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "grid_scene.h"
#include "one_case.h"
#include "vlm/files.h"
#include "vlm/scripted_dialogs.h"

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
const char* programName = "export";
const char* fileExtension = "out";
vlm::bench::ExportFunction exporter = nullptr;

const fs::path& Scratch() {
  static const fs::path folder = [] {
    fs::path f = fs::temp_directory_path() /
                 (std::string(programName) + "-bench-" + std::to_string(getpid()));
    fs::create_directories(f);
    setenv("VLM_HOME", f.c_str(), 1);
    setenv("SOURCE_DATE_EPOCH", "1700000000", 0);  // the same date line in every run
    std::atexit([] { fs::remove_all(Scratch()); });
    return f;
  }();
  return folder;
}

// Scenes are built once per size and material count: a group "main" holding one grid of
// quads whose faces take the materials in turn.
vlm::host::HostDocument& GridScene(int triangles, int materials) {
  static std::map<std::pair<int, int>, std::unique_ptr<vlm::host::HostDocument>> scenes;
  auto& doc = scenes[{triangles, materials}];
  if (doc) return *doc;
  doc = vlm::bench::GridScene(triangles);
  if (materials > 1) {
    std::vector<vlm::host::HostMaterial*> list;
    for (int k = 0; k < materials; ++k) {
      vlm::host::HostMaterial& m = doc->NewMaterial("Ground " + std::to_string(k));
      m.hasTextures = true;
      m.diffuseMap = "ground" + std::to_string(k) + ".bmp";
      list.push_back(&m);
    }
    vlm::host::HostMesh& grid = *doc->Root().children.front()->meshes.front();
    for (size_t face = 0; face < grid.FaceCount(); ++face)
      grid.SetFaceMaterial(face, list[face % list.size()]);
  }
  return *doc;
}

void Export(vlm::host::HostDocument& doc, const std::string& file, bool automatic) {
  auto dialogs = std::make_shared<vlm::ScriptedDialogs>(vlm::ParseDialogScript(
      automatic ? "optLOD(1)=1; click cmdOK; click cmdCancel" : "click cmdOK; click cmdCancel"));
  auto previous = vlm::SetDialogBackend(dialogs);
  const vlm::Status s = exporter(doc, file);
  vlm::SetDialogBackend(previous);
  if (vlm::Failed(s) || dialogs->Transcript().empty() ||
      dialogs->Transcript().back().text != "Export Finished.") {
    for (const auto& e : dialogs->Transcript())
      std::fprintf(stderr, "%s\n", e.text.c_str());
    std::abort();
  }
}

// FNV-1a over every file of the output folder in name order, so that a faster exporter can
// be seen to write the same bytes, with their size.
std::string Checksum(const fs::path& folder) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(folder))
    files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  uint64_t h = 0xCBF29CE484222325ull;
  uintmax_t bytes = 0;
  for (const fs::path& f : files) {
    bytes += fs::file_size(f);
    std::ifstream in(f, std::ios::binary);
    for (std::istreambuf_iterator<char> it(in), stop; it != stop; ++it)
      h = (h ^ static_cast<unsigned char>(*it)) * 0x100000001B3ull;
  }
  char text[64];
  std::snprintf(text, sizeof text, "%016llx, %ju MB in %zu files",
                static_cast<unsigned long long>(h), bytes / (1024 * 1024), files.size());
  return text;
}

// Seconds per iteration of each case, for the ratios printed after the run.
std::map<std::string, double>& Seconds() {
  static std::map<std::string, double> seconds;
  return seconds;
}

template <class Work>
void Measure(benchmark::State& state, const std::string& name, Work work) {
  const long long start = heapNow.load();
  heapPeak = start;
  double total = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    work();
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }
  Seconds()[name] = total / static_cast<double>(state.iterations());
  state.counters["peak_MB"] = static_cast<double>(heapPeak.load() - start) / (1024.0 * 1024.0);
  state.counters["triangles"] = static_cast<double>(state.range(0));
}

// A fresh output folder per case, so that the checksum covers exactly its files.
fs::path OutputFolder(const std::string& name) {
  const fs::path folder = Scratch() / name;
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder;
}

void BM_Export(benchmark::State& state) {
  const int triangles = static_cast<int>(state.range(0));
  const int materials = static_cast<int>(state.range(2));
  vlm::host::HostDocument& doc = GridScene(triangles, materials);
  const bool automatic = state.range(1) != 0;
  const std::string name = "export " + std::to_string(triangles) + (automatic ? " auto" : "") +
                           " m" + std::to_string(materials);
  const fs::path folder = OutputFolder("export");
  const std::string file = (folder / (std::string("grid.") + fileExtension)).string();
  Measure(state, name, [&] { Export(doc, file, automatic); });
  state.SetLabel(std::string(automatic ? "automatic LODs" : "no LODs") + ", " +
                 std::to_string(materials) + " materials, sum " + Checksum(folder));
}

// The same bytes written the same way (one temporary file renamed over the target), from
// memory that already holds them.
void BM_WriteOnly(benchmark::State& state) {
  const int triangles = static_cast<int>(state.range(0));
  const fs::path folder = OutputFolder("baseline");
  const std::string file = (folder / (std::string("grid.") + fileExtension)).string();
  Export(GridScene(triangles, 1), file, false);
  std::ifstream in(file, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), {});
  Measure(state, "write " + std::to_string(triangles),
          [&] { vlm::WriteFileAtomically(file, bytes); });
  state.SetLabel("write only, " + std::to_string(bytes.size() / (1024 * 1024)) + " MB");
}

void PrintRatios() {
  const auto& s = Seconds();
  const auto ratio = [&](const char* what, const std::string& a, const std::string& b) {
    if (s.count(a) && s.count(b) && s.at(b) > 0)
      std::printf("%-44s %6.2fx\n", what, s.at(a) / s.at(b));
  };
  std::printf("\nRatios (mean seconds per export)\n");
  ratio("1M no levels / write-only baseline", "export 1000000 m1", "write 1000000");
  ratio("1M automatic levels / write-only baseline", "export 1000000 auto m1", "write 1000000");
  ratio("1M, 8 materials / 1 material", "export 1000000 m8", "export 1000000 m1");
  ratio("1M, 40 materials / 1 material", "export 1000000 m40", "export 1000000 m1");
  ratio("1M / 100k, no levels", "export 1000000 m1", "export 100000 m1");
  ratio("1M / 100k, automatic levels", "export 1000000 auto m1", "export 100000 auto m1");
}

// One case, once, in this process (see one_case.h):
//   --case export TRIANGLES MATERIALS plain|auto    one export of the grid
//   --case write TRIANGLES                          the write-only baseline of that export
int RunCase(int argc, char** argv) {
  const std::string name = argc > 2 ? argv[2] : "";
  const int triangles = argc > 3 ? std::atoi(argv[3]) : 0;
  if (triangles <= 0 || !((name == "export" && argc == 6) || (name == "write" && argc == 4))) {
    std::fprintf(stderr,
                 "usage: %s --case export TRIANGLES MATERIALS plain|auto\n"
                 "       %s --case write TRIANGLES\n",
                 argv[0], argv[0]);
    return 2;
  }
  const fs::path folder = OutputFolder(name);
  const std::string file = (folder / (std::string("grid.") + fileExtension)).string();
  if (name == "write") {
    Export(GridScene(triangles, 1), file, false);
    const std::string bytes = vlm::ReadFile(file);
    vlm::bench::MeasureOnce([&] { vlm::WriteFileAtomically(file, bytes); });
    return 0;
  }
  vlm::host::HostDocument& doc = GridScene(triangles, std::atoi(argv[4]));
  const bool automatic = std::string(argv[5]) == "auto";
  vlm::bench::MeasureOnce([&] { Export(doc, file, automatic); });
  std::printf("sum %s\n", Checksum(folder).c_str());
  return 0;
}

}  // namespace

namespace vlm::bench {

int RunExportBenchmarks(int argc, char** argv, const char* name, const char* extension,
                        ExportFunction exportFile) {
  programName = name;
  fileExtension = extension;
  exporter = exportFile;
  if (argc > 1 && std::string(argv[1]) == "--case") return RunCase(argc, argv);
  BENCHMARK(BM_Export)
      ->ArgsProduct({{10000, 100000, 1000000}, {0, 1}, {1}})
      ->Args({1000000, 0, 8})
      ->Args({1000000, 0, 40})
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
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  PrintRatios();
  return 0;
}

}  // namespace vlm::bench
