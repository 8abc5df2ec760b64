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
//   bench_table BUILD DATA [RUNS]
//
// BUILD is the build folder (its bin/ and plug-ins, registered in DATA/home); the scene
// files are written once into DATA and reused. A case of the second table that prints
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
  std::string baseline;  // the case it is measured against, at the same size
  bool once = false;     // a doubled size, for the growth: one run keeps the table quick
  bool whole = false;    // the process's own figures, whatever it prints
};

struct Figures {
  double cpu = 0, wall = 0, peakMB = 0, kernel = 0, faults = 0;
  bool failed = false;
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
Figures RunOnce(const std::vector<std::string>& command, const fs::path& log, bool whole = false) {
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
  f.failed = !WIFEXITED(status) || WEXITSTATUS(status) != 0;
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

Figures RunMedian(const Case& c, int runs, const fs::path& logs) {
  if (c.once) runs = 1;
  std::vector<double> cpu, wall, peak, kernel, faults;
  const fs::path log = logs / (c.name + " " + SizeText(c.triangles) + ".txt");
  for (int i = 0; i < runs; ++i) {
    const Figures f = RunOnce(c.command, log, c.whole);
    if (f.failed) return f;
    cpu.push_back(f.cpu), wall.push_back(f.wall), peak.push_back(f.peakMB);
    kernel.push_back(f.kernel), faults.push_back(f.faults);
  }
  return {Median(cpu), Median(wall), Median(peak), Median(kernel), Median(faults), false};
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

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: bench_table BUILD DATA [RUNS]\n");
    return 2;
  }
  const fs::path build = fs::absolute(argv[1]), data = fs::absolute(argv[2]);
  const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
  const fs::path bin = build / "bin", out = data / "out", logs = data / "logs";
  fs::create_directories(out);
  fs::create_directories(logs);
  // A configuration folder of the benchmarks' own, with the build's plug-ins registered.
  fs::create_directories(data / "home");
  setenv("VLM_HOME", (data / "home").c_str(), 1);
  setenv("SOURCE_DATE_EPOCH", "1700000000", 0);
  const std::string sceneBench = (bin / "scene_bench").string();
  const std::string host = (bin / "vlmhost").string();
  if (RunOnce({host, "register"}, logs / "register.txt").failed) {
    std::fprintf(stderr, "bench_table: could not register the plug-ins (see %s)\n",
                 (logs / "register.txt").c_str());
    return 1;
  }

  // The scene files, written once: grids, and grids whose every polygon is selected.
  const auto scene = [&](int triangles, bool selected) {
    const fs::path file =
        data / ((selected ? "selected-" : "grid-") + SizeText(triangles) + ".json");
    std::vector<std::string> write = {sceneBench, "--write", std::to_string(triangles),
                                      file.string()};
    if (selected) write.push_back("--select-all");
    if (!fs::exists(file) && RunOnce(write, logs / "write.txt").failed) {
      std::fprintf(stderr, "bench_table: could not write %s\n", file.c_str());
      std::exit(1);
    }
    return file.string();
  };

  // Whole runs at 1M triangles beside the machine's floors, each in a process of its own.
  {
    const std::string file = scene(1000000, false), size = "1000000";
    const fs::path model = data / "grid-1M.obj";
    if (!fs::exists(model) &&
        RunOnce({host, "export-model", file, "-o", model.string(), "--quiet"}, logs / "model.txt")
            .failed) {
      std::fprintf(stderr, "bench_table: could not write %s\n", model.c_str());
      return 1;
    }
    const std::string python = FindProgram("python3"), assimp = FindProgram("assimp");
    const std::string cp = "floor: cp", walk = "floor: simdjson walk", load = "python json.load";
    const std::string assimpObj = "assimp export, OBJ model to OBJ",
                      assimpGlb = "assimp export, OBJ model to GLB";
    struct Whole {
      std::string name;
      std::vector<std::string> command;
      std::string peer;  // Assimp doing the same job
    };
    std::vector<Whole> wholes = {{cp, {FindProgram("cp"), file, (out / "copy.json").string()}, ""},
                                 {walk, {sceneBench, "--case", "simdjson-floor", size, file}, ""}};
    if (!python.empty())
      wholes.push_back(
          {load, {python, "-c", "import json,sys; json.load(open(sys.argv[1]))", file}, ""});
    if (!assimp.empty()) {
      wholes.push_back(
          {assimpObj, {assimp, "export", model.string(), (out / "assimp.obj").string()}, ""});
      wholes.push_back(
          {assimpGlb, {assimp, "export", model.string(), (out / "assimp.glb").string()}, ""});
    }
    // A model's top group is named after its file, a scene's grid is "main".
    const auto run = [&](const std::string& plugin, const std::string& scene, const std::string& ui,
                         const std::string& output, const std::string& group = "main") {
      return std::vector<std::string>{host,
                                      "run",
                                      "VLMPluginImportExport9." + plugin,
                                      scene,
                                      "--select",
                                      "group:" + group,
                                      "--fresh",
                                      "--ui",
                                      ui,
                                      "-o",
                                      (out / output).string()};
    };
    const std::string plain = "click cmdOK; click cmdCancel";
    const std::string automatic = "click optLOD(1); click cmdOK; click cmdCancel";
    wholes.push_back({"vlmhost show", {host, "show", file}, ""});
    wholes.push_back({"vlmhost run Wingform", run("Wingform", file, plain, "grid.obj"), ""});
    wholes.push_back({"vlmhost run Trackline", run("Trackline", file, plain, "grid.igs"), ""});
    wholes.push_back({"vlmhost run Trackline, automatic levels",
                      run("Trackline", file, automatic, "grid-auto.igs"), ""});
    wholes.push_back({"vlmhost run Wingform, OBJ model",
                      run("Wingform", model.string(), plain, "model.obj", model.stem().string()),
                      assimpObj});
    wholes.push_back({"vlmhost export-model OBJ",
                      {host, "export-model", file, "-o", (out / "export.obj").string(), "--quiet"},
                      assimpObj});
    wholes.push_back({"vlmhost export-model GLB",
                      {host, "export-model", file, "-o", (out / "export.glb").string(), "--quiet"},
                      assimpGlb});

    const double fileMB = double(fs::file_size(file)) / (1024 * 1024);
    std::map<std::string, Figures> floors;
    std::printf(
        "Whole runs at 1M triangles (a %.0f MB scene file), from the process's start "
        "to its end; multiples of the wall time\n\n",
        fileMB);
    std::printf(
        "| Run | Wall s | User s | Kernel s | Minor faults | Peak MB | Peak / file | x cp "
        "| x simdjson walk | x json.load | x Assimp |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|\n");
    for (const Whole& w : wholes) {
      const Figures f = RunMedian({w.name, 1000000, w.command, "", false, true}, runs, logs);
      floors[w.name] = f;
      if (f.failed) {
        std::printf("| %s | failed: see %s | | | | | | | | | |\n", w.name.c_str(), logs.c_str());
        continue;
      }
      const auto times = [&](const std::string& base) {
        const auto b = floors.find(base);
        if (base.empty() || base == w.name || b == floors.end() || b->second.failed)
          return std::string();
        char text[32];
        std::snprintf(text, sizeof text, "%.2fx", f.wall / b->second.wall);
        return std::string(text);
      };
      std::printf("| %s | %.2f | %.2f | %.2f | %.0f | %.0f | %.2fx | %s | %s | %s | %s |\n",
                  w.name.c_str(), f.wall, f.cpu - f.kernel, f.kernel, f.faults, f.peakMB,
                  f.peakMB / fileMB, times(cp).c_str(), times(walk).c_str(), times(load).c_str(),
                  times(w.peer).c_str());
      std::fflush(stdout);
    }
    std::printf("\nMedians of %d runs.\n\n", runs);
  }

  std::vector<Case> cases;
  const std::string floor = "scene: JSON lexer floor";
  for (int n : {100000, 1000000, 2000000}) {
    const std::string size = std::to_string(n), file = scene(n, false);
    cases.push_back({floor, n, {sceneBench, "--case", "floor", size, file}, ""});
    cases.push_back({"scene: simdjson On-Demand floor",
                     n,
                     {sceneBench, "--case", "simdjson-floor", size, file},
                     floor});
    cases.push_back({"scene: load", n, {sceneBench, "--case", "load", size, file}, floor});
    const std::string saved = (out / "saved.json").string();
    cases.push_back({"scene: save", n, {sceneBench, "--case", "save", size, saved}, ""});
  }
  for (const std::string exporter : {"wingform", "trackline"}) {
    const std::string program = (bin / (exporter + "_bench")).string();
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
  for (const auto& [name, file] : {std::pair{"Wingform", "grid.obj"}, {"Trackline", "grid.igs"}})
    for (int n : {1000000, 2000000})
      cases.push_back({std::string("vlmhost run ") + name,
                       n,
                       {host, "run", std::string("VLMPluginImportExport9.") + name, scene(n, false),
                        "--select", "group:main", "--fresh", "--ui", "click cmdOK; click cmdCancel",
                        "-o", (out / file).string()},
                       ""});
  for (int n : {400000, 800000})
    cases.push_back({"vlmhost run Flare, 5 steps, every polygon",
                     n,
                     {host, "run", "VLMOperation9.Flare", scene(n, true), "--fresh", "--param",
                      "Step=5", "-o", (out / "flared.json").string()},
                     ""});

  // The workbench's 3D view draws with OpenGL: under a virtual display where one is at hand.
  const std::string workbench = (bin / "workbench_bench").string(), xvfb = "/usr/bin/xvfb-run";
  if (fs::exists(workbench) && fs::exists(xvfb)) {
    for (int n : {1000000, 2000000})
      cases.push_back(
          {"workbench: scene file read and shown",
           n,
           {xvfb, "-a", workbench, "--case", "shown", std::to_string(n), scene(n, false)},
           "scene: load"});
    cases.push_back({"workbench: 10 frames orbiting",
                     1000000,
                     {xvfb, "-a", workbench, "--case", "orbit", "1000000"},
                     ""});
  }

  for (Case& c : cases)
    c.once = c.triangles == 2000000 || c.triangles == 800000;

  std::map<std::string, Figures> done;
  std::printf(
      "| Case | Triangles | CPU s | Kernel s | Minor faults | Wall s | Peak MB | Ratio | "
      "Growth x2 |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|\n");
  for (const Case& c : cases) {
    const Figures f = RunMedian(c, runs, logs);
    done[Key(c.name, c.triangles)] = f;
    std::string ratio, growth;
    char text[80];
    if (auto base = done.find(Key(c.baseline, c.triangles)); base != done.end()) {
      const bool wall = c.baseline.find("write-only") != std::string::npos;
      std::snprintf(text, sizeof text, "%.2fx%s%s",
                    wall ? f.wall / base->second.wall : f.cpu / base->second.cpu,
                    c.baseline.substr(c.baseline.find(':') + 1).c_str(), wall ? " (wall)" : "");
      ratio = text;
    }
    if (auto half = done.find(Key(c.name, c.triangles / 2)); half != done.end()) {
      std::snprintf(text, sizeof text, "%.2fx", f.cpu / half->second.cpu);
      growth = text;
    }
    if (f.failed)
      std::printf("| %s | %s | failed: see %s | | | | | | |\n", c.name.c_str(),
                  SizeText(c.triangles).c_str(), logs.c_str());
    else
      std::printf("| %s | %s | %.2f | %.2f | %.0f | %.2f | %.0f | %s | %s |\n", c.name.c_str(),
                  SizeText(c.triangles).c_str(), f.cpu, f.kernel, f.faults, f.wall, f.peakMB,
                  ratio.c_str(), growth.c_str());
    std::fflush(stdout);
  }
  std::printf("\nMedians of %d runs (2M and 800k: one run); the growth is the CPU time's.\n", runs);
  return 0;
}
