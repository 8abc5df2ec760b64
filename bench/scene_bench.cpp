// Loading and saving the scene file of a flat grid of 100k, 1M and 2M triangles, beside the
// floor of the JSON lexer alone (the same text parsed with a handler that keeps nothing).
//
// Peak memory is measured per case in a process of its own:
//   scene_bench --write TRIANGLES FILE              writes the grid scene to FILE
//   scene_bench --case floor|load|save TRIANGLES FILE
// runs one case once and prints its time and the process's peak resident size.
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "grid_scene.h"
#include "scene/scene_file.h"
#include "vlm/files.h"

namespace {

namespace fs = std::filesystem;
using vlm::host::HostDocument;

using vlm::bench::GridScene;

// The scene text of each size, written once by the host's own writer.
const std::string& SceneText(int triangles) {
  static std::map<int, std::string> texts;
  std::string& text = texts[triangles];
  if (text.empty()) text = vlm::host::SerializeScene(*GridScene(triangles));
  return text;
}

// Takes every event and keeps nothing: what parsing costs before anything is built.
struct NullHandler {
  using Json = nlohmann::json;
  bool null() { return true; }
  bool boolean(bool) { return true; }
  bool number_integer(Json::number_integer_t) { return true; }
  bool number_unsigned(Json::number_unsigned_t) { return true; }
  bool number_float(Json::number_float_t, const Json::string_t&) { return true; }
  bool string(Json::string_t&) { return true; }
  bool binary(Json::binary_t&) { return true; }
  bool start_object(std::size_t) { return true; }
  bool end_object() { return true; }
  bool start_array(std::size_t) { return true; }
  bool end_array() { return true; }
  bool key(Json::string_t&) { return true; }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) {
    return false;
  }
};

void Floor(const std::string& text) {
  NullHandler handler;
  if (!nlohmann::json::sax_parse(text, &handler)) std::abort();
}

void Load(const std::string& text) {
  auto doc = vlm::host::ParseScene(text, "grid.json");
  benchmark::DoNotOptimize(doc.get());
}

const fs::path& SaveFile() {
  static const fs::path file = [] {
    fs::path folder = fs::temp_directory_path() / ("scene-bench-" + std::to_string(getpid()));
    fs::create_directories(folder);
    std::atexit([] { fs::remove_all(SaveFile().parent_path()); });
    return folder / "grid.json";
  }();
  return file;
}

void BM_LexerFloor(benchmark::State& state) {
  const std::string& text = SceneText(static_cast<int>(state.range(0)));
  for (auto _ : state)
    Floor(text);
  state.SetLabel(std::to_string(text.size() >> 20) + " MB");
}

void BM_Load(benchmark::State& state) {
  const std::string& text = SceneText(static_cast<int>(state.range(0)));
  for (auto _ : state)
    Load(text);
}

void BM_Serialize(benchmark::State& state) {
  auto doc = GridScene(static_cast<int>(state.range(0)));
  for (auto _ : state)
    benchmark::DoNotOptimize(vlm::host::SerializeScene(*doc).size());
}

void BM_Save(benchmark::State& state) {
  auto doc = GridScene(static_cast<int>(state.range(0)));
  for (auto _ : state)
    vlm::host::SaveScene(*doc, SaveFile());
}

// One case, once, in this process: its time and the process's peak resident size. Loading
// and the floor read `file` (written beforehand by --write); saving builds its document and
// writes `file`.
int RunCase(const std::string& name, int triangles, const fs::path& file) {
  std::unique_ptr<HostDocument> doc;
  if (name == "save") doc = GridScene(triangles);
  struct rusage before {};
  getrusage(RUSAGE_SELF, &before);
  auto start = std::chrono::steady_clock::now();
  if (name == "floor")
    Floor(vlm::ReadFile(file));
  else if (name == "load")
    benchmark::DoNotOptimize(vlm::host::LoadScene(file).get());
  else if (name == "save")
    vlm::host::SaveScene(*doc, file);
  else
    return 2;
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  struct rusage after {};
  getrusage(RUSAGE_SELF, &after);
  std::printf("%-5s %8d triangles: %6.3f s, peak %4ld MB (%ld MB before the case)\n", name.c_str(),
              triangles, seconds, after.ru_maxrss / 1024, before.ru_maxrss / 1024);
  return 0;
}

}  // namespace

BENCHMARK(BM_LexerFloor)->Arg(100000)->Arg(1000000)->Arg(2000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Load)->Arg(100000)->Arg(1000000)->Arg(2000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Serialize)->Arg(100000)->Arg(1000000)->Arg(2000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Save)->Arg(100000)->Arg(1000000)->Arg(2000000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--write") == 0) {
    vlm::host::SaveScene(*GridScene(std::atoi(argv[2])), argv[3]);
    return 0;
  }
  if (argc == 5 && std::strcmp(argv[1], "--case") == 0)
    return RunCase(argv[2], std::atoi(argv[3]), argv[4]);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
