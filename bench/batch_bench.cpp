// vlmhost batch over 200 models: the Assimp test models that import and export (single files,
// so that a copy under another name is the same model), repeated under other names, each
// through import -> Wingform -> Trackline. Prints the wall-clock seconds of:
//
//   - the batch with --jobs 1 and with --jobs 2 (every job forced), and their ratio;
//   - the same commands run by hand, one after another (import to a scene file, then each
//     exporter on it), for a share of the models, and the batch's own cost per job over them;
//   - the batch again with nothing changed (every job skipped).
//
//   batch_bench BUILD DATA [MODELS]
//
// BUILD is the build folder (its bin/vlmhost and plug-ins, registered in DATA/home); MODELS
// the test models' folder (default /usr/share/assimp/models).
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "spawn.h"

namespace {

namespace fs = std::filesystem;

constexpr int kModels = 200;
// The models run by hand: enough for a steady figure per job.
constexpr int kByHand = 40;

// Runs the command with its output in `log`; its wall-clock seconds, negative when it failed
// (beyond `allowed` exit statuses).
double Run(const std::vector<std::string>& command, const fs::path& log, int allowed = 0) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = vlm::bench::SpawnLogged(command, log, true);
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return WIFEXITED(status) && WEXITSTATUS(status) <= allowed ? seconds : -1;
}

[[noreturn]] void Fail(const std::string& what, const fs::path& log) {
  std::fprintf(stderr, "batch_bench: %s (see %s)\n", what.c_str(), log.c_str());
  std::exit(1);
}

// Where the benchmark reads and writes, and the exporters' --run arguments of every batch.
struct Bench {
  fs::path data, logs, candidates, in;
  std::string host, wingform, trackline;
};

// Fresh output folders, a configuration folder of the benchmark's own, and the build's
// plug-ins registered in it.
void Prepare(const Bench& b) {
  fs::remove_all(b.data / "out");
  fs::remove_all(b.data / "hand");
  for (const fs::path& folder : {b.logs, b.candidates, b.in, b.data / "home", b.data / "hand"})
    fs::create_directories(folder);
  setenv("VLM_HOME", (b.data / "home").c_str(), 1);
  setenv("SOURCE_DATE_EPOCH", "1700000000", 0);
  if (Run({b.host, "register"}, b.logs / "register.txt") < 0)
    Fail("could not register the plug-ins", b.logs / "register.txt");
}

// The candidates: single-file models of the formats that need no side file, up to 1 MB,
// copied under names of their own.
void CopyCandidates(const Bench& b, const fs::path& models) {
  const std::set<std::string> single = {".glb", ".ply", ".stl", ".off", ".ac", ".3ds", ".x"};
  std::vector<fs::path> found;
  for (const auto& entry : fs::recursive_directory_iterator(models)) {
    const fs::path& p = entry.path();
    if (entry.is_regular_file() && single.count(p.extension().string()) &&
        p.string().find("invalid") == std::string::npos && entry.file_size() < (1 << 20))
      found.push_back(p);
  }
  std::sort(found.begin(), found.end());
  for (size_t i = 0; i < found.size(); ++i)
    fs::copy_file(found[i],
                  b.candidates / ("c" + std::to_string(i) + found[i].extension().string()),
                  fs::copy_options::overwrite_existing);
}

// The candidates that go through the steps, found by a batch of their own whose outputs are
// then removed.
std::vector<fs::path> GoodModels(const Bench& b) {
  const fs::path report = b.data / "candidates.json";
  if (Run({b.host, "batch", (b.candidates / "*").string(), "--run", b.wingform, "--run",
           b.trackline, "--force", "--quiet", "--timeout", "20", "--report", report.string()},
          b.logs / "candidates.txt", 1) < 0)
    Fail("the candidates' batch failed", b.logs / "candidates.txt");
  std::vector<fs::path> good;
  const auto reported = nlohmann::json::parse(std::ifstream(report));
  for (const auto& job : reported["jobs"])
    if (job["status"] == "done" || job["status"] == "done with warnings")
      good.emplace_back(job["input"].get<std::string>());
  if (good.empty()) Fail("no test model imports", b.logs / "candidates.txt");
  fs::remove_all(b.data / "out");
  return good;
}

// The batch's inputs afresh: the good models repeated under other names up to kModels.
std::vector<fs::path> CopyInputs(const Bench& b, const std::vector<fs::path>& good) {
  for (const auto& entry : fs::directory_iterator(b.in))
    fs::remove(entry.path());
  std::vector<fs::path> inputs;
  for (int i = 0; i < kModels; ++i) {
    const fs::path& from = good[static_cast<size_t>(i) % good.size()];
    inputs.push_back(b.in / ("m" + std::to_string(1000 + i) + from.extension().string()));
    fs::copy_file(from, inputs.back());
  }
  return inputs;
}

struct Timings {
  double one = 0, two = 0, again = 0;  // the whole batch: --jobs 1, --jobs 2, nothing changed
  double hand = 0, share = 0;          // the first kByHand models by hand, and in a batch
};

// The whole batch with --jobs 1 and --jobs 2 (every job forced), then again with nothing
// changed.
void TimeBatches(const Bench& b, Timings& t) {
  const std::vector<std::string> batch = {b.host,     "batch", (b.in / "*").string(), "--run",
                                          b.wingform, "--run", b.trackline,           "--quiet"};
  auto withArgs = [&](std::vector<std::string> extra) {
    std::vector<std::string> c = batch;
    c.insert(c.end(), extra.begin(), extra.end());
    return c;
  };
  t.one = Run(withArgs({"--force", "--jobs", "1"}), b.logs / "jobs1.txt");
  t.two = Run(withArgs({"--force", "--jobs", "2"}), b.logs / "jobs2.txt");
  t.again = Run(withArgs({}), b.logs / "again.txt");
  if (t.one < 0 || t.two < 0 || t.again < 0) Fail("a batch failed", b.logs);
}

// What one job of the batch does, as commands by hand: import to a scene file, then each
// exporter on it.
void RunByHand(const Bench& b, const fs::path& model) {
  const std::string stem = model.stem().string();
  const std::string scene = (b.data / "hand" / (stem + ".json")).string();
  const fs::path log = b.logs / "hand.txt";
  if (Run({b.host, "import", model.string(), "-o", scene, "--quiet"}, log) < 0 ||
      Run({b.host, "run", "--fresh", "--quiet", "wingform", scene, "--select", "group:" + stem,
           "-o", (b.data / "hand" / (stem + ".obj")).string()},
          log) < 0 ||
      Run({b.host, "run", "--fresh", "--quiet", "trackline", scene, "--select", "group:" + stem,
           "-o", (b.data / "hand" / (stem + ".igs")).string()},
          log) < 0)
    Fail("a command by hand failed on " + model.string(), log);
}

// The same commands by hand for the first models, and the batch of just those.
void TimeByHand(const Bench& b, const std::vector<fs::path>& inputs, Timings& t) {
  const auto byHandStart = std::chrono::steady_clock::now();
  for (int i = 0; i < kByHand; ++i)
    RunByHand(b, inputs[static_cast<size_t>(i)]);
  t.hand = std::chrono::duration<double>(std::chrono::steady_clock::now() - byHandStart).count();
  std::vector<std::string> share = {b.host, "batch", "--force", "--jobs", "1", "--quiet"};
  for (int i = 0; i < kByHand; ++i)
    share.push_back(inputs[static_cast<size_t>(i)].string());
  share.insert(share.end(), {"--run", b.wingform, "--run", b.trackline});
  t.share = Run(share, b.logs / "share.txt");
  if (t.share < 0) Fail("the batch of the models run by hand failed", b.logs / "share.txt");
}

void PrintTable(const Timings& t, size_t goodModels) {
  std::printf(
      "%d models (%zu test models that import, repeated), import -> Wingform -> "
      "Trackline\n\n",
      kModels, goodModels);
  std::printf("| Case | Wall s | Target |\n|---|---:|---|\n");
  std::printf("| batch --jobs 1 | %.2f | |\n", t.one);
  std::printf("| batch --jobs 2 | %.2f | %.2f x --jobs 1 (at most 0.6) |\n", t.two, t.two / t.one);
  std::printf("| %d models by hand (import, run, run) | %.2f | |\n", kByHand, t.hand);
  std::printf(
      "| the same %d in a batch, --jobs 1 | %.2f | %+.1f ms per job over by hand (at "
      "most +30) |\n",
      kByHand, t.share, (t.share - t.hand) / kByHand * 1000);
  std::printf("| batch again, nothing changed | %.2f | at most 1 s |\n", t.again);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: batch_bench BUILD DATA [MODELS]\n");
    return 2;
  }
  const fs::path build = fs::absolute(argv[1]), data = fs::absolute(argv[2]);
  const fs::path models = argc > 3 ? fs::path(argv[3]) : fs::path("/usr/share/assimp/models");
  const Bench b = {.data = data,
                   .logs = data / "logs",
                   .candidates = data / "candidates",
                   .in = data / "models",
                   .host = (build / "bin" / "vlmhost").string(),
                   .wingform = "wingform:" + (data / "out/{stem}.obj").string(),
                   .trackline = "trackline:" + (data / "out/{stem}.igs").string()};
  Prepare(b);
  CopyCandidates(b, models);
  const std::vector<fs::path> good = GoodModels(b);
  const std::vector<fs::path> inputs = CopyInputs(b, good);
  Timings t;
  TimeBatches(b, t);
  TimeByHand(b, inputs, t);
  PrintTable(t, good.size());
  return 0;
}
