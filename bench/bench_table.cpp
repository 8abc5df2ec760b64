// Runs every benchmark case in a process of its own, several times, and prints two tables.
//
// The first puts whole runs of vlmhost (each from the process's start to its end) beside the
// machine's floors for the same scene file: a `cp` of it, a bare simdjson walk of it, and
// python's json.load where python3 is at hand; Assimp's own converter where it is installed.
// Each row gives the medians of the wall-clock, user and kernel seconds, the minor page faults,
// the peak resident size (also as a multiple of the file's size), and the wall time as a
// multiple of each floor's.
//
// The second gives each case of the work alone: the median CPU, kernel and wall-clock seconds
// and minor page faults of the work, the median peak resident size of the process, the ratio
// to the case's baseline and how the CPU time grows when the size doubles (the doubled sizes
// run once). Ratios are of CPU time, but to a write-only baseline of wall time: writing a
// file from memory is mostly the system's work outside the process.
//
//   bench_table BUILD DATA [RUNS] [--only NAME]...
//
// BUILD is the build folder (its bin/ and plug-ins, registered in DATA/home); the scene
// files are written once into DATA, when a case first needs them, and reused. With --only,
// only the rows whose names start with one of the NAMEs run, and the rows they are measured
// against (`--only "vlmhost prep"` runs the preparation steps and the Wingform runs). A case of the
// second table that prints
// "@measured CPU WALL KERNEL FAULTS" (see one_case.h) is timed by that line, leaving out its
// set-up; the others (whole `vlmhost` runs) by the process itself.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "one_case.h"
#include "spawn.h"

namespace {

namespace fs = std::filesystem;

struct Case {
  std::string name;
  int triangles;
  std::vector<std::string> command;
  std::string baseline;       // the case it is measured against, at the same size
  bool once = false;          // a doubled size, for the growth: one run keeps the table quick
  bool whole = false;         // the process's own figures, whatever it prints
  bool mayDoNothing = false;  // exit status 3 ("nothing done") is a run to measure too
};

struct Figures {
  double cpu = 0, wall = 0, peakMB = 0, kernel = 0, faults = 0;
  bool failed = false;
  bool nothingDone = false;  // exit status 3
};

std::string SizeText(int triangles) {
  return triangles % 1000000 == 0 ? std::to_string(triangles / 1000000) + "M"
                                  : std::to_string(triangles / 1000) + "k";
}

double Seconds(const timeval& t) {
  return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

// One run of `command` with its output in `log`: the process's own figures, unless it
// printed what its work took and `whole` is not asked for.
Figures RunOnce(const std::vector<std::string>& command, const fs::path& log, bool whole = false,
                bool mayDoNothing = false) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = vlm::bench::SpawnLogged(command, log, false);
  int status = 0;
  struct rusage usage {};
  if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return {.failed = true};
  Figures f;
  f.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  f.cpu = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
  f.kernel = Seconds(usage.ru_stime);
  f.faults = double(usage.ru_minflt);
  f.peakMB = double(usage.ru_maxrss) / 1024;
  f.nothingDone = WIFEXITED(status) && WEXITSTATUS(status) == 3;
  f.failed = !WIFEXITED(status) || (WEXITSTATUS(status) != 0 && !(mayDoNothing && f.nothingDone));
  if (FILE* in = whole ? nullptr : std::fopen(log.c_str(), "r")) {
    char line[512];
    while (std::fgets(line, sizeof line, in)) {
      std::istringstream words(line);
      std::string tag;
      if (words >> tag && tag == vlm::bench::kMeasuredTag)
        words >> f.cpu >> f.wall >> f.kernel >> f.faults;
    }
    std::fclose(in);
  }
  return f;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// The floor of a job that reads `reads` and writes `bytes`: the wall time of reading that
// file through and writing as many bytes to a new file of its own, flushed to the disk with
// fsync (the program's outputs are written so), in this process; the median of `runs`.
double IoFloor(const fs::path& reads, uintmax_t bytes, const fs::path& scratch, int runs) {
  static std::vector<char> buffer(size_t(1) << 20, 'v');
  std::vector<double> walls;
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    if (const int in = open(reads.c_str(), O_RDONLY); in >= 0) {
      while (read(in, buffer.data(), buffer.size()) > 0) {
      }
      close(in);
    }
    const int out = open(scratch.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0) return 0;
    for (uintmax_t left = bytes; left > 0;) {
      const ssize_t n = write(out, buffer.data(), size_t(std::min<uintmax_t>(left, buffer.size())));
      if (n <= 0) break;
      left -= uintmax_t(n);
    }
    fsync(out);
    close(out);
    walls.push_back(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    unlink(scratch.c_str());
  }
  return Median(walls);
}

Figures RunMedian(const Case& c, int runs, const fs::path& logs) {
  if (c.once) runs = 1;
  std::vector<double> cpu, wall, peak, kernel, faults;
  bool nothingDone = false;
  const fs::path log = logs / (c.name + " " + SizeText(c.triangles) + ".txt");
  for (int i = 0; i < runs; ++i) {
    const Figures f = RunOnce(c.command, log, c.whole, c.mayDoNothing);
    if (f.failed) return f;
    nothingDone |= f.nothingDone;
    cpu.push_back(f.cpu), wall.push_back(f.wall), peak.push_back(f.peakMB);
    kernel.push_back(f.kernel), faults.push_back(f.faults);
  }
  return {Median(cpu),    Median(wall), Median(peak), Median(kernel),
          Median(faults), false,        nothingDone};
}

// The program's path along $PATH, or "" when there is none.
std::string FindProgram(const std::string& name) {
  std::istringstream path(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin");
  for (std::string folder; std::getline(path, folder, ':');)
    if (!folder.empty() && access((fs::path(folder) / name).c_str(), X_OK) == 0)
      return (fs::path(folder) / name).string();
  return "";
}

std::string Key(const std::string& name, int triangles) {
  return name + " " + std::to_string(triangles);
}

// The scene files (see grid_scene.h): the grid, the grid with every polygon selected, the
// grid in parts with stripes of materials.
enum class SceneKind { kGrid, kSelected, kParts };

// Where the table's runs read and write, and how many times each case runs.
struct Bench {
  fs::path data, bin, out, logs;
  std::string host, sceneBench;
  int runs = 3;
  std::vector<std::string> only;  // the names' starts that --only keeps; empty: every row

  // A scene file's path; the file is written by Written() when a run first needs it.
  std::string Scene(int triangles, SceneKind kind) const {
    static const char* const prefixes[] = {"grid-", "selected-", "parts-"};
    static const char* const options[] = {"", "--select-all", "--parts"};
    const fs::path file = data / (prefixes[int(kind)] + SizeText(triangles) + ".json");
    std::vector<std::string> write = {sceneBench, "--write", std::to_string(triangles),
                                      file.string()};
    if (kind != SceneKind::kGrid) write.push_back(options[int(kind)]);
    pending.emplace(file.string(), std::move(write));
    return file.string();
  }

  // Writes each scene file `command` names that is not there yet; exits when one cannot be.
  void Written(const std::vector<std::string>& command) const {
    for (const std::string& word : command) {
      const auto write = pending.find(word);
      if (write == pending.end() || fs::exists(word)) continue;
      if (RunOnce(write->second, logs / "write.txt").failed) {
        std::fprintf(stderr, "bench_table: could not write %s\n", word.c_str());
        std::exit(1);
      }
    }
  }

  // Whether --only keeps a row of this name (the rows it is measured against are kept too).
  bool Kept(const std::string& name) const {
    return only.empty() || std::any_of(only.begin(), only.end(), [&](const std::string& start) {
             return name.compare(0, start.size(), start) == 0;
           });
  }

 private:
  mutable std::map<std::string, std::vector<std::string>> pending;
};

// The output folders, a configuration folder of the benchmarks' own, and the build's
// plug-ins registered in it; false when they could not be.
bool Prepare(const Bench& b) {
  fs::create_directories(b.out);
  fs::create_directories(b.logs);
  fs::create_directories(b.data / "home");
  setenv("VLM_HOME", (b.data / "home").c_str(), 1);
  setenv("SOURCE_DATE_EPOCH", "1700000000", 0);
  if (RunOnce({b.host, "register"}, b.logs / "register.txt").failed) {
    std::fprintf(stderr, "bench_table: could not register the plug-ins (see %s)\n",
                 (b.logs / "register.txt").c_str());
    return false;
  }
  return true;
}

// The floors and peers the whole runs are divided by.
constexpr const char* kCopyFloor = "floor: cp";
constexpr const char* kWalkFloor = "floor: simdjson walk";
constexpr const char* kJsonLoad = "python json.load";
constexpr const char* kAssimpObj = "assimp export, OBJ model to OBJ";
constexpr const char* kAssimpGlb = "assimp export, OBJ model to GLB";
// The Wingform runs on the grid and on the grid in parts, which the preparation steps on each
// are measured against.
constexpr const char* kWingform = "vlmhost run Wingform";
constexpr const char* kWingformParts = "vlmhost run Wingform, parts";

struct Whole {
  std::string name;
  std::vector<std::string> command;
  std::string peer;           // Assimp doing the same job, or the run a step is measured against
  bool mayDoNothing = false;  // a preparation step that finds nothing to do (exit 3) still counts
};

// The OBJ model of the 1M scene, written once; false when it could not be.
bool WriteModel(const Bench& b, const std::string& file, const fs::path& model) {
  if (!fs::exists(model) &&
      RunOnce({b.host, "export-model", file, "-o", model.string(), "--quiet"}, b.logs / "model.txt")
          .failed) {
    std::fprintf(stderr, "bench_table: could not write %s\n", model.c_str());
    return false;
  }
  return true;
}

// A `vlmhost run` of an exporter on one group, its dialog played by `ui`. A model's top group
// is named after its file, a scene's grid is "main".
std::vector<std::string> ExportRun(const Bench& b, const std::string& plugin,
                                   const std::string& scene, const std::string& ui,
                                   const std::string& output, const std::string& group = "main") {
  return std::vector<std::string>{b.host,
                                  "run",
                                  "VLMPluginImportExport9." + plugin,
                                  scene,
                                  "--select",
                                  "group:" + group,
                                  "--fresh",
                                  "--ui",
                                  ui,
                                  "-o",
                                  (b.out / output).string()};
}

// The machine's floors and Assimp's converter, where each is at hand.
std::vector<Whole> FloorRuns(const Bench& b, const std::string& file, const fs::path& model) {
  const std::string python = FindProgram("python3"), assimp = FindProgram("assimp");
  std::vector<Whole> wholes = {
      {kCopyFloor, {FindProgram("cp"), file, (b.out / "copy.json").string()}, ""},
      {kWalkFloor, {b.sceneBench, "--case", "simdjson-floor", "1000000", file}, ""}};
  if (!python.empty())
    wholes.push_back(
        {kJsonLoad, {python, "-c", "import json,sys; json.load(open(sys.argv[1]))", file}, ""});
  if (!assimp.empty()) {
    wholes.push_back(
        {kAssimpObj, {assimp, "export", model.string(), (b.out / "assimp.obj").string()}, ""});
    wholes.push_back(
        {kAssimpGlb, {assimp, "export", model.string(), (b.out / "assimp.glb").string()}, ""});
  }
  return wholes;
}

// vlmhost's own whole runs on the same scene file and model.
void AddHostRuns(const Bench& b, const std::string& file, const fs::path& model,
                 std::vector<Whole>& wholes) {
  const std::string plain = "click cmdOK; click cmdCancel";
  const std::string automatic = "click optLOD(1); click cmdOK; click cmdCancel";
  // The start-up every command pays: the program alone, and a small scene shown.
  wholes.push_back({"vlmhost --version", {b.host, "--version"}, ""});
  wholes.push_back(
      {"vlmhost show, 1k triangles", {b.host, "show", b.Scene(1000, SceneKind::kGrid)}, ""});
  wholes.push_back({"vlmhost show", {b.host, "show", file}, ""});
  wholes.push_back({kWingform, ExportRun(b, "Wingform", file, plain, "grid.obj"), ""});
  wholes.push_back(
      {"vlmhost run Trackline", ExportRun(b, "Trackline", file, plain, "grid.igs"), ""});
  wholes.push_back({"vlmhost run Trackline, automatic levels",
                    ExportRun(b, "Trackline", file, automatic, "grid-auto.igs"), ""});
  wholes.push_back(
      {"vlmhost run Wingform, OBJ model",
       ExportRun(b, "Wingform", model.string(), plain, "model.obj", model.stem().string()),
       kAssimpObj});
  wholes.push_back(
      {"vlmhost run Flare, 5 steps, 400k selected triangles",
       {b.host, "run", "VLMOperation9.Flare", b.Scene(400000, SceneKind::kSelected), "--fresh",
        "--param", "Step=5", "-o", (b.out / "flared.json").string(), "--quiet"},
       ""});
  wholes.push_back(
      {"vlmhost export-model OBJ",
       {b.host, "export-model", file, "-o", (b.out / "export.obj").string(), "--quiet"},
       kAssimpObj});
  wholes.push_back(
      {"vlmhost export-model GLB",
       {b.host, "export-model", file, "-o", (b.out / "export.glb").string(), "--quiet"},
       kAssimpGlb});
}

// A whole `vlmhost prep` run of each preparation step, measured against the Wingform run on
// the same scene: how a step's time compares with an export's. Each changes its scene: the
// steps that flatten, join, cut or weld objects run on the grid in parts (grid_scene.h), whose
// names are also long enough to shorten; the others on the plain grid.
void AddPrepRuns(const Bench& b, const std::string& file, std::vector<Whole>& wholes) {
  const std::string out = (b.out / "prepared.json").string();
  const std::string parts = b.Scene(1000000, SceneKind::kParts);
  wholes.push_back({kWingformParts,
                    ExportRun(b, "Wingform", parts, "click cmdOK; click cmdCancel", "parts.obj"),
                    ""});
  const std::vector<std::pair<bool, std::vector<std::string>>> steps = {
      {false, {"transform", "--rotate", "y:30", "--scale", "2", "--ground"}},
      {false, {"materials", "--rename", "m{n}"}},
      {false, {"rename", "--to", "part{n}"}},
      {true, {"shorten", "--max", "4", "--plain"}},
      {true, {"flatten"}},
      {true, {"merge", "--select", "group:main"}},
      {true, {"split"}},
      {true, {"clean"}},
      {false, {"normals", "--smooth", "30"}},
      {false, {"lod", "--select", "group:main", "--levels", "10%@200"}}};
  for (const auto& [inParts, step] : steps) {
    std::vector<std::string> command = {b.host, "prep", step[0], inParts ? parts : file};
    command.insert(command.end(), step.begin() + 1, step.end());
    command.insert(command.end(), {"-o", out, "--quiet"});
    std::string name = "vlmhost prep";
    for (const std::string& word : step)
      name += " " + word;
    if (inParts) name += ", parts";
    wholes.push_back({name, command, inParts ? kWingformParts : kWingform, true});
  }
}

// The rows --only keeps, and the rows they are measured against, in their order.
std::vector<Whole> KeptRows(const Bench& b, const std::vector<Whole>& wholes) {
  std::vector<std::string> needed;
  for (const Whole& w : wholes)
    if (b.Kept(w.name)) needed.push_back(w.name), needed.push_back(w.peer);
  std::vector<Whole> kept;
  for (const Whole& w : wholes)
    if (std::find(needed.begin(), needed.end(), w.name) != needed.end()) kept.push_back(w);
  return kept;
}

// What a whole run reads (the first file among its words after the program's) and writes (the
// file after -o); empty paths for a run that writes nothing of its own.
std::pair<fs::path, fs::path> FloorFiles(const std::vector<std::string>& command) {
  const auto o = std::find(command.begin(), command.end(), "-o");
  if (o == command.end() || o + 1 == command.end()) return {};
  const fs::path writes = *(o + 1);
  for (auto word = command.begin() + 1; word != command.end(); ++word)
    if (*word != writes && fs::is_regular_file(*word)) return {*word, writes};
  return {};
}

// One row of the whole runs' table, its wall time as multiples of the floors' run before it
// and of its own floor (0: none).
void PrintWholeRow(const Whole& w, const Figures& f, double fileMB, double floor,
                   const std::map<std::string, Figures>& floors) {
  const auto times = [&](const std::string& base) {
    const auto b = floors.find(base);
    if (base.empty() || base == w.name || b == floors.end() || b->second.failed)
      return std::string();
    char text[32];
    std::snprintf(text, sizeof text, "%.2fx", f.wall / b->second.wall);
    return std::string(text);
  };
  char own[64] = "| |";
  if (floor > 0) std::snprintf(own, sizeof own, "| %.2f | %.2fx |", floor, f.wall / floor);
  std::printf("| %s | %.2f | %.2f | %.2f | %.0f | %.0f | %.2fx | %s | %s | %s | %s %s\n",
              w.name.c_str(), f.wall, f.cpu - f.kernel, f.kernel, f.faults, f.peakMB,
              f.peakMB / fileMB, times(kCopyFloor).c_str(), times(kWalkFloor).c_str(),
              times(kJsonLoad).c_str(), times(w.peer).c_str(), own);
}

void PrintWholeTable(const Bench& b, const std::vector<Whole>& wholes, const std::string& file) {
  const double fileMB = double(fs::file_size(file)) / (1024 * 1024);
  std::map<std::string, Figures> floors;
  std::printf(
      "Whole runs at 1M triangles (a %.0f MB scene file), from the process's start "
      "to its end; multiples of the wall time\n\n",
      fileMB);
  std::printf(
      "| Run | Wall s | User s | Kernel s | Minor faults | Peak MB | Peak / file | x cp "
      "| x simdjson walk | x json.load | x peer | Floor s | x floor |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
  for (const Whole& w : wholes) {
    b.Written(w.command);
    const Figures f =
        RunMedian({w.name, 1000000, w.command, "", false, true, w.mayDoNothing}, b.runs, b.logs);
    floors[w.name] = f;
    if (f.failed) {
      std::printf("| %s | failed: see %s | | | | | | | | | | | |\n", w.name.c_str(),
                  b.logs.c_str());
    } else {
      Whole shown = w;
      if (f.nothingDone) shown.name += " (nothing to do: exit 3)";
      const auto [reads, writes] = FloorFiles(w.command);
      double floor = 0;
      if (!writes.empty() && fs::is_regular_file(writes))
        floor = IoFloor(reads, fs::file_size(writes), b.out / "floor.bin", b.runs);
      PrintWholeRow(shown, f, fileMB, floor, floors);
    }
    std::fflush(stdout);
  }
  std::printf(
      "\nMedians of %d runs. The peer is Assimp doing the same job, or for a preparation step "
      "the Wingform run on the same scene (\", parts\": the grid as objects in stripes of "
      "materials, the vertices between two stripes there twice). A run's floor is reading its "
      "input through and writing as many bytes as its output to a new file, fsynced.\n\n",
      b.runs);
}

// Whole runs at 1M triangles beside the machine's floors, each in a process of its own;
// false when the model they import could not be written.
bool RunWholeTable(const Bench& b) {
  const std::string file = b.Scene(1000000, SceneKind::kGrid);
  b.Written({file});
  const fs::path model = b.data / "grid-1M.obj";
  if (!WriteModel(b, file, model)) return false;
  std::vector<Whole> wholes = FloorRuns(b, file, model);
  AddHostRuns(b, file, model, wholes);
  AddPrepRuns(b, file, wholes);
  wholes = KeptRows(b, wholes);
  if (!wholes.empty()) PrintWholeTable(b, wholes, file);
  return true;
}

// The scene file's read and write beside the JSON lexers' floors.
void AddSceneCases(const Bench& b, std::vector<Case>& cases) {
  const std::string floor = "scene: JSON lexer floor";
  for (int n : {100000, 1000000, 2000000}) {
    const std::string size = std::to_string(n), file = b.Scene(n, SceneKind::kGrid);
    cases.push_back({floor, n, {b.sceneBench, "--case", "floor", size, file}, ""});
    cases.push_back({"scene: simdjson On-Demand floor",
                     n,
                     {b.sceneBench, "--case", "simdjson-floor", size, file},
                     floor});
    cases.push_back({"scene: load", n, {b.sceneBench, "--case", "load", size, file}, floor});
    const std::string saved = (b.out / "saved.json").string();
    cases.push_back({"scene: save", n, {b.sceneBench, "--case", "save", size, saved}, ""});
  }
}

// Each exporter's export beside writing its file from memory.
void AddExporterCases(const Bench& b, std::vector<Case>& cases) {
  for (const std::string exporter : {"wingform", "trackline"}) {
    const std::string program = (b.bin / (exporter + "_bench")).string();
    const std::string write = exporter + ": write-only baseline", plain = exporter + ": export";
    cases.push_back({write, 1000000, {program, "--case", "write", "1000000"}, ""});
    for (int n : {1000000, 2000000}) {
      const std::string size = std::to_string(n);
      cases.push_back({plain, n, {program, "--case", "export", size, "1", "plain"}, write});
      cases.push_back({exporter + ": automatic levels",
                       n,
                       {program, "--case", "export", size, "1", "auto"},
                       write});
    }
    cases.push_back({exporter + ": 40 materials",
                     1000000,
                     {program, "--case", "export", "1000000", "40", "plain"},
                     plain});
  }
}

// Whole `vlmhost run`s of the exporters and of an operation.
void AddHostRunCases(const Bench& b, std::vector<Case>& cases) {
  for (const auto& [name, file] : {std::pair{"Wingform", "grid.obj"}, {"Trackline", "grid.igs"}})
    for (int n : {1000000, 2000000})
      cases.push_back({std::string("vlmhost run ") + name,
                       n,
                       {b.host, "run", std::string("VLMPluginImportExport9.") + name,
                        b.Scene(n, SceneKind::kGrid), "--select", "group:main", "--fresh", "--ui",
                        "click cmdOK; click cmdCancel", "-o", (b.out / file).string()},
                       ""});
  for (int n : {400000, 800000})
    cases.push_back({"vlmhost run Flare, 5 steps, every polygon",
                     n,
                     {b.host, "run", "VLMOperation9.Flare", b.Scene(n, SceneKind::kSelected),
                      "--fresh", "--param", "Step=5", "-o", (b.out / "flared.json").string()},
                     ""});
}

// The workbench's 3D view draws with OpenGL: under a virtual display where one is at hand.
void AddWorkbenchCases(const Bench& b, std::vector<Case>& cases) {
  const std::string workbench = (b.bin / "workbench_bench").string(), xvfb = "/usr/bin/xvfb-run";
  if (!fs::exists(workbench) || !fs::exists(xvfb)) return;
  for (int n : {1000000, 2000000})
    cases.push_back({"workbench: scene file read and shown",
                     n,
                     {xvfb, "-a", workbench, "--case", "shown", std::to_string(n),
                      b.Scene(n, SceneKind::kGrid)},
                     "scene: load"});
  cases.push_back({"workbench: model drawn the first time",
                   1000000,
                   {xvfb, "-a", workbench, "--case", "first", "1000000"},
                   ""});
  cases.push_back({"workbench: 10 frames orbiting (stand-in)",
                   1000000,
                   {xvfb, "-a", workbench, "--case", "orbit", "1000000"},
                   ""});
  cases.push_back({"workbench: 10 picks to the status bar",
                   1000000,
                   {xvfb, "-a", "-s", "-screen 0 1600x1000x24", workbench, "--case", "pick",
                    "1000000", b.Scene(1000000, SceneKind::kGrid)},
                   ""});
  // The size is the groups' count: each holds a one-triangle object.
  cases.push_back(
      {"workbench: scene of groups opened",
       100000,
       {xvfb, "-a", "-s", "-screen 0 1600x1000x24", workbench, "--case", "groups", "100000"},
       ""});
}

std::vector<Case> WorkCases(const Bench& b) {
  std::vector<Case> cases;
  AddSceneCases(b, cases);
  AddExporterCases(b, cases);
  AddHostRunCases(b, cases);
  AddWorkbenchCases(b, cases);
  for (Case& c : cases)
    c.once = c.triangles == 2000000 || c.triangles == 800000;
  // The cases --only keeps, with their baselines and their halves (for the growth).
  std::vector<std::string> needed;
  for (const Case& c : cases)
    if (b.Kept(c.name)) needed.push_back(c.name), needed.push_back(c.baseline);
  std::erase_if(cases, [&](const Case& c) {
    return std::find(needed.begin(), needed.end(), c.name) == needed.end();
  });
  return cases;
}

// The case's CPU time (a write-only baseline's: wall time) as a multiple of its baseline's
// at the same size, "" when it has none.
std::string RatioText(const Case& c, const Figures& f, const std::map<std::string, Figures>& done) {
  const auto base = done.find(Key(c.baseline, c.triangles));
  if (base == done.end()) return "";
  const bool wall = c.baseline.find("write-only") != std::string::npos;
  char text[80];
  std::snprintf(text, sizeof text, "%.2fx%s%s",
                wall ? f.wall / base->second.wall : f.cpu / base->second.cpu,
                c.baseline.substr(c.baseline.find(':') + 1).c_str(), wall ? " (wall)" : "");
  return text;
}

// The case's CPU time as a multiple of its own at half the size, "" when that did not run.
std::string GrowthText(const Case& c, const Figures& f,
                       const std::map<std::string, Figures>& done) {
  const auto half = done.find(Key(c.name, c.triangles / 2));
  if (half == done.end()) return "";
  char text[80];
  std::snprintf(text, sizeof text, "%.2fx", f.cpu / half->second.cpu);
  return text;
}

void RunWorkTable(const Bench& b, const std::vector<Case>& cases) {
  if (cases.empty()) return;
  std::map<std::string, Figures> done;
  std::printf(
      "| Case | Triangles | CPU s | Kernel s | Minor faults | Wall s | Peak MB | Ratio | "
      "Growth x2 |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|\n");
  for (const Case& c : cases) {
    b.Written(c.command);
    const Figures f = RunMedian(c, b.runs, b.logs);
    done[Key(c.name, c.triangles)] = f;
    const std::string ratio = RatioText(c, f, done), growth = GrowthText(c, f, done);
    if (f.failed)
      std::printf("| %s | %s | failed: see %s | | | | | | |\n", c.name.c_str(),
                  SizeText(c.triangles).c_str(), b.logs.c_str());
    else
      std::printf("| %s | %s | %.2f | %.2f | %.0f | %.2f | %.0f | %s | %s |\n", c.name.c_str(),
                  SizeText(c.triangles).c_str(), f.cpu, f.kernel, f.faults, f.wall, f.peakMB,
                  ratio.c_str(), growth.c_str());
    std::fflush(stdout);
  }
  std::printf("\nMedians of %d runs (2M and 800k: one run); the growth is the CPU time's.\n",
              b.runs);
}

}  // namespace

int main(int argc, char** argv) {
  Bench b;
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--only" && i + 1 < argc && argv[i + 1][0] != '\0')
      b.only.push_back(argv[++i]);
    else if (word.starts_with("--"))
      positional.clear(), i = argc;  // an unknown option, or --only without a name
    else
      positional.push_back(word);
  }
  const bool runsGiven = positional.size() == 3;
  if ((positional.size() != 2 && !runsGiven) ||
      (runsGiven && positional[2].find_first_not_of("0123456789") != std::string::npos)) {
    std::fprintf(stderr, "usage: bench_table BUILD DATA [RUNS] [--only NAME]...\n");
    return 2;
  }
  b.data = fs::absolute(positional[1]);
  b.bin = fs::absolute(positional[0]) / "bin";
  b.out = b.data / "out";
  b.logs = b.data / "logs";
  b.host = (b.bin / "vlmhost").string();
  b.sceneBench = (b.bin / "scene_bench").string();
  b.runs = runsGiven ? std::max(1, std::atoi(positional[2].c_str())) : 3;
  if (!Prepare(b)) return 1;
  if (!RunWholeTable(b)) return 1;
  RunWorkTable(b, WorkCases(b));
  return 0;
}
