// Loading and saving the scene file of a flat grid of 100k, 1M and 2M triangles, beside the
// floor of the JSON lexer alone (the same text parsed with a handler that keeps nothing; in
// one-case runs also simdjson's On-Demand parser walking every value).
//
// Peak memory is measured per case in a process of its own:
//   scene_bench --write TRIANGLES FILE [--select-all|--parts]   writes the grid scene to FILE
//   scene_bench --case floor|simdjson-floor|load|save TRIANGLES FILE
// runs one case once and prints its time and the process's peak resident size.
// --select-all selects every polygon of the grid in the written scene; --parts writes the grid
// cut into parts and stripes of materials instead (grid_scene.h).
#include <benchmark/benchmark.h>

#include <simdjson.h>
#include <sys/resource.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "grid_scene.h"
#include "one_case.h"
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

// The same floor for simdjson's On-Demand parser: every key, string and number decoded
// (numbers as doubles), nothing kept.
void Walk(simdjson::ondemand::value value) {
  using Type = simdjson::ondemand::json_type;
  switch (value.type()) {
    case Type::array:
      for (auto item : value.get_array())
        Walk(item.value());
      break;
    case Type::object:
      for (auto field : value.get_object()) {
        benchmark::DoNotOptimize(field.unescaped_key().value());
        Walk(field.value());
      }
      break;
    case Type::number:
      benchmark::DoNotOptimize(value.get_double().value());
      break;
    case Type::string:
      benchmark::DoNotOptimize(value.get_string().value());
      break;
    case Type::boolean:
      benchmark::DoNotOptimize(value.get_bool().value());
      break;
    case Type::null:
      benchmark::DoNotOptimize(value.is_null());
      break;
  }
}

void SimdjsonFloor(const fs::path& file) {
  const simdjson::padded_string text = simdjson::padded_string::load(file.string());
  simdjson::ondemand::parser parser;
  simdjson::ondemand::document doc = parser.iterate(text);
  Walk(doc.get_value());
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

// One case, once, in this process: its CPU and wall-clock time (see one_case.h) and the
// process's peak resident size. Loading and the floor read `file` (written beforehand by
// --write); saving builds its document and writes `file`.
int RunCase(const std::string& name, int triangles, const fs::path& file) {
  std::unique_ptr<HostDocument> doc;
  if (name == "save") doc = GridScene(triangles);
  if (name == "floor")
    vlm::bench::MeasureOnce([&] { Floor(vlm::ReadFile(file)); });
  else if (name == "simdjson-floor")
    vlm::bench::MeasureOnce([&] { SimdjsonFloor(file); });
  else if (name == "load")
    vlm::bench::MeasureOnce([&] { doc = vlm::host::LoadScene(file); });
  else if (name == "save")
    vlm::bench::MeasureOnce([&] { vlm::host::SaveScene(*doc, file); });
  else
    return 2;
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("%-5s %8d triangles: peak %4ld MB\n", name.c_str(), triangles,
              usage.ru_maxrss / 1024);
  return 0;
}

// The grid scene of `triangles` written to `file`: with `option` "--select-all", every polygon
// of the grid is selected in the scene-graph view (for an operation on all of them); with
// "--parts", the grid in parts; false for any other option.
bool WriteGrid(int triangles, const fs::path& file, const std::string& option) {
  if (!option.empty() && option != "--select-all" && option != "--parts") return false;
  auto doc = option == "--parts" ? vlm::bench::PartsScene(triangles) : GridScene(triangles);
  if (option == "--select-all") {
    vlm::host::HostMesh& grid = *doc->Root().children.front()->meshes.front();
    std::vector<int32_t> all(grid.FaceCount());
    for (size_t i = 0; i < all.size(); ++i)
      all[i] = static_cast<int32_t>(i);
    doc->SelectShape(grid, std::move(all));
  }
  vlm::host::SaveScene(*doc, file);
  return true;
}

}  // namespace

BENCHMARK(BM_LexerFloor)->Arg(100000)->Arg(1000000)->Arg(2000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Load)->Arg(100000)->Arg(1000000)->Arg(2000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Serialize)->Arg(100000)->Arg(1000000)->Arg(2000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Save)->Arg(100000)->Arg(1000000)->Arg(2000000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  if ((argc == 4 || argc == 5) && std::strcmp(argv[1], "--write") == 0) {
    return WriteGrid(std::atoi(argv[2]), argv[3], argc == 5 ? argv[4] : "") ? 0 : 2;
  }
  if (argc == 5 && std::strcmp(argv[1], "--case") == 0)
    return RunCase(argv[2], std::atoi(argv[3]), argv[4]);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
