// vlmhost batch end to end: job files run as the same commands run one by one would, each job
// all or nothing, finished jobs skipped, damaged job files refused naming the place.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "cli/batch_command.h"
#include "cli/batch_jobs.h"
#include "support/registered_plugins.h"
#include "support/temp_home.h"
#include "support/vlmhost.h"
#include "vlm/files.h"

namespace vlm {
namespace {

namespace fs = std::filesystem;
using host::ShellQuoted;
using test::ProgramResult;
using test::Shell;
using test::Vlmhost;
using ::testing::HasSubstr;
using ::testing::StartsWith;

const std::string Examples = VLM_TEST_EXAMPLES_DIR;
const std::string Data = VLM_TEST_DATA_DIR;

class Batch : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NO_THROW(test::RegisterPlugins({"libwingform.so", "libtrackline.so", "libobverse.so"}));
    setenv("SOURCE_DATE_EPOCH", "1781305028", 1);
    fs::create_directory(Dir("in"));
  }
  std::string Dir(const std::string& name) const { return (home.Path() / name).string(); }
  // A copy of `from` in the inputs' folder under `name`.
  std::string Input(const std::string& from, const std::string& name) const {
    fs::copy_file(from, Dir("in/" + name), fs::copy_options::overwrite_existing);
    return Dir("in/" + name);
  }
  std::string JobFile(const std::string& text) const {
    WriteFileAtomically(Dir("jobs.json"), text);
    return Dir("jobs.json");
  }
  // Every job's status by input file name, from the report of a batch.
  std::map<std::string, std::string> Statuses(const std::vector<std::string>& args) {
    std::vector<std::string> all = {"batch"};
    all.insert(all.end(), args.begin(), args.end());
    all.insert(all.end(), {"--quiet", "--report", Dir("report.json")});
    auto r = Vlmhost(all);
    EXPECT_LE(r.status, 1) << r.output;
    std::map<std::string, std::string> out;
    const auto report = nlohmann::json::parse(ReadFile(Dir("report.json")));
    for (const auto& job : report["jobs"])
      out[fs::path(job["input"].get<std::string>()).filename().string()] = job["status"];
    return out;
  }
  test::TempHome home;
};

// The exporters on models and on a scene, as a job file, through GNU parallel from
// --list-commands, and as the commands run one by one: the same bytes.
TEST_F(Batch, WritesWhatTheCommandsOneByOneWrite) {
  std::vector<std::string> inputs = {Input(Data + "/arrow.gltf", "arrow.gltf"),
                                     Input(Data + "/arrow.obj", "arrow.obj"),
                                     Input(Examples + "/hangar.json", "hangar.json")};
  fs::copy_file(Data + "/arrow.mtl", Dir("in/arrow.mtl"));
  const std::string steps = R"("steps": [
      {"run": "wingform", "output": "OUT/{stem}-{ext}.obj"},
      {"run": "VLMPluginImportExport9.Trackline", "output": "OUT/{stem}-{ext}.igs"}])";
  auto jobFile = [&](const std::string& out) {
    std::string text = R"({"jobs": [{"inputs": [")" + Dir("in") + R"(/arrow.gltf", ")" + Dir("in") +
                       R"(/arrow.obj"], )" + steps + R"(}, {"inputs": ")" + Dir("in") +
                       R"(/hangar.json", )" + steps + "}]}";
    for (size_t at; (at = text.find("OUT")) != std::string::npos;)
      text.replace(at, 3, out);
    return text;
  };
  auto r = Vlmhost({"batch", JobFile(jobFile(Dir("batch"))), "--jobs", "2"});
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_THAT(r.output, HasSubstr("3 jobs: 3 done"));
  r = Shell(ShellQuoted(VLM_TEST_VLMHOST) + " batch " + JobFile(jobFile(Dir("parallel"))) +
            " --list-commands | parallel -j2");
  ASSERT_EQ(r.status, 0) << r.output;

  fs::create_directory(Dir("hand"));
  for (const std::string& input : inputs) {
    const fs::path in(input);
    const std::string stem = in.stem().string(), ext = in.extension().string().substr(1);
    std::string scene = input;
    if (ext != "json") {
      scene = Dir("hand/" + stem + "-" + ext + ".json");
      ASSERT_EQ(Vlmhost({"import", input, "-o", scene}).status, 0);
    }
    const std::string select = ext == "json" ? "group:Hangar/Wing" : "group:" + stem;
    for (const char* plugin : {"wingform", "trackline"}) {
      const std::string file = stem + "-" + ext + (plugin[0] == 'w' ? ".obj" : ".igs");
      r = Vlmhost({"run", "--fresh", plugin, scene, "--select", select, "-o", Dir("hand/" + file)});
      ASSERT_EQ(r.status, 0) << r.output;
      for (const char* runner : {"batch", "parallel"})
        EXPECT_EQ(ReadFile(Dir(std::string(runner) + "/" + file)), ReadFile(Dir("hand/" + file)))
            << runner << " " << file;
    }
  }
}

// Preparation steps in a job write what `vlmhost prep` writes, step by step, and the export
// after them exports the prepared scene.
TEST_F(Batch, PreparationStepsWriteWhatTheCommandsWrite) {
  const std::string in = Input(Examples + "/hangar.json", "hangar.json");
  const std::string grey = Examples + "/grey.png";
  auto r = Vlmhost(
      {"batch", JobFile(R"({"jobs": [{"inputs": ")" + in + R"(", "steps": [
      {"prep": "transform", "rotate": ["y:90"], "ground": true, "select": "group:Hangar", "output": ")" +
                        Dir("batch") +
                        R"(/1.json"},
      {"prep": "materials", "texture": ")" +
                        grey + R"(", "select": "group:Hangar", "output": ")" + Dir("batch") +
                        R"(/2.json"},
      {"run": "wingform", "select": "group:Hangar", "output": ")" +
                        Dir("batch") + R"(/hangar.obj"}]}]})")});
  ASSERT_EQ(r.status, 0) << r.output;
  const struct {
    std::vector<std::string> args;
    std::string file;
  } hand[] = {
      {{"prep", "transform", in, "--select", "group:Hangar", "--rotate", "y:90", "--ground", "-o",
        Dir("hand/1.json")},
       "1.json"},
      {{"prep", "materials", Dir("hand/1.json"), "--select", "group:Hangar", "--texture", grey,
        "-o", Dir("hand/2.json")},
       "2.json"},
      {{"run", "--fresh", "wingform", Dir("hand/2.json"), "--select", "group:Hangar", "-o",
        Dir("hand/hangar.obj")},
       "hangar.obj"},
  };
  fs::create_directory(Dir("hand"));
  for (const auto& step : hand) {
    r = Vlmhost(step.args);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(ReadFile(Dir("batch/" + step.file)), ReadFile(Dir("hand/" + step.file))) << step.file;
  }
}

// A job whose second step fails writes nothing (its earlier file stays as it was), and the
// other jobs are done; the batch says 1.
TEST_F(Batch, AFailingJobWritesNothingAndTheOthersAreDone) {
  // Named after their top groups, so that group:{stem} is each one's.
  Input(Examples + "/hangar.json", "Hangar.json");
  Input(Examples + "/tile.json", "Tile.json");
  fs::create_directory(Dir("out"));
  WriteFileAtomically(Dir("out/Tile.obj"), "earlier");
  const std::string jobs = JobFile(R"({"jobs": [{"inputs": ")" + Dir("in") + R"(/*.json",
      "steps": [{"run": "wingform", "select": "group:{stem}", "output": ")" +
                                   Dir("out") + R"(/{stem}.obj"},
                {"run": "obverse", "select": "group:Hangar/Wing", "ui": "input X",
                 "output": ")" + Dir("out") +
                                   R"(/{stem}-mirrored.json"}]}]})");
  auto statuses = Statuses({jobs});
  EXPECT_EQ(statuses["Hangar.json"], "done with warnings");  // its textures are not beside it
  EXPECT_EQ(statuses["Tile.json"], "bad input");
  EXPECT_EQ(ReadFile(Dir("out/Tile.obj")), "earlier");
  EXPECT_FALSE(fs::exists(Dir("out/Tile-mirrored.json")));
  EXPECT_TRUE(fs::exists(Dir("out/Hangar-mirrored.json")));
  for (const auto& entry : fs::directory_iterator(Dir("out")))
    EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos) << entry.path();
}

// Jobs that fail at once beside jobs that are done, all writing to one folder the batch makes:
// a failing job once took away the folder it had made while a job beside it was about to write
// there, which then failed too. Folders left empty still go when the batch ends.
TEST_F(Batch, AFailingJobTakesNoFolderAwayFromTheJobsBesideIt) {
  fs::copy_file(Data + "/arrow.mtl", Dir("in/arrow.mtl"));
  for (int i = 0; i < 8; ++i) {
    Input(Data + "/arrow.obj", "m" + std::to_string(i) + "-done.obj");
    WriteFileAtomically(Dir("in/m" + std::to_string(i) + "-fails.obj"), "f 1 2 3\n");
  }
  const struct {
    std::string inputs, folder;
    bool done;  // some jobs are done, so their folder stays
  } cases[] = {{"/*.obj", "new", true}, {"/*-fails.obj", "empty", false}};
  for (const auto& c : cases) {
    const auto statuses =
        Statuses({Dir("in") + c.inputs, "--run", "wingform:" + Dir(c.folder) + "/deep/{stem}.obj",
                  "--jobs", "4"});
    ASSERT_EQ(statuses.size(), c.done ? 16u : 8u);
    for (const auto& [input, status] : statuses)
      EXPECT_THAT(status, input.find("-done") != std::string::npos ? StartsWith("done")
                                                                   : StartsWith("bad input"))
          << input;
    EXPECT_EQ(fs::exists(Dir(c.folder)), c.done) << c.folder;
  }
}

// What runs again: nothing after a finished batch; the job of an input whose content changed
// (not its time); the jobs a killed batch had not finished.
TEST_F(Batch, RunsAgainOnlyTheJobsNotDone) {
  for (int i = 0; i < 8; ++i)
    Input(Examples + "/hangar.json", "h" + std::to_string(i) + ".json");
  const std::string jobs = Dir("in") + "/*.json";
  const std::string run = "trackline:" + Dir("out") + "/{stem}.igs";
  const std::string obj = "wingform:" + Dir("out") + "/{stem}.obj";
  std::map<std::string, std::string> all;
  for (int i = 0; i < 8; ++i)
    all["h" + std::to_string(i) + ".json"] = "skipped";

  // Killed half-way: the jobs it finished are skipped, the others done, nothing half-written.
  const pid_t pid = fork();
  if (pid == 0) {
    execl(VLM_TEST_VLMHOST, VLM_TEST_VLMHOST, "batch", jobs.c_str(), "--run", run.c_str(), "--run",
          obj.c_str(), "--jobs", "1", "--quiet", nullptr);
    _exit(127);
  }
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!fs::exists(Dir("out/.h2.igs.vlmbatch")) && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the job running is stopped
  auto statuses = Statuses({jobs, "--run", run, "--run", obj});
  int skipped = 0;
  for (const auto& [input, s] : statuses)
    skipped += s == "skipped";
  EXPECT_GE(skipped, 3);
  EXPECT_LT(skipped, 8);
  EXPECT_EQ(Statuses({jobs, "--run", run, "--run", obj}), all);

  std::ofstream(Dir("in/h5.json"), std::ios::app) << "\n";
  fs::last_write_time(Dir("in/h6.json"), fs::file_time_type::clock::now());  // time alone
  auto expected = all;
  expected["h5.json"] = "done with warnings";  // the textures are not beside the exports
  EXPECT_EQ(Statuses({jobs, "--run", run, "--run", obj}), expected);
  // So does a changed step, for every job.
  for (auto& [input, s] : expected)
    s = "done with warnings";
  EXPECT_EQ(Statuses({jobs, "--run", run}), expected);
  for (const auto& entry : fs::directory_iterator(Dir("out")))
    EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos) << entry.path();
}

// A damaged job file: exit status 2, the place named, nothing run.
TEST_F(Batch, DamagedJobFilesAreRefusedNamingThePlace) {
  const std::string in = Input(Examples + "/hangar.json", "hangar.json");
  Input(Examples + "/tile.json", "tile.json");
  fs::create_directory(Dir("odd"));
  WriteFileAtomically(Dir("odd/\xff.json"), "{}");
  const std::string step = R"({"run": "wingform", "output": "o/{stem}.obj"})";
  const struct {
    std::string text, message;
  } cases[] = {
      {"[1]", "jobs.json: /: is a list, not an object"},
      {R"({"jobs": [)", "jobs.json: not JSON: line 1"},
      {R"({"jobs": {}})", "/jobs: is an object, not a list"},
      {R"({"jobs": [], "threads": 2})", "/threads: unknown key; known: $schema, jobs"},
      {R"({"jobs": [{"inputs": 3, "steps": [)" + step + "]}]}",
       "/jobs/0/inputs: is a number, not a string or a list of strings"},
      {R"({"jobs": [{"inputs": ")" + in + R"(", "steps": [{"run": "wingform", "ouptut": "x"}]}]})",
       "/jobs/0/steps/0/ouptut: unknown key"},
      {R"({"jobs": [{"inputs": ")" + in +
           R"(", "steps": [{"run": "wingform", "copyTextures": "yes"}]}]})",
       "/jobs/0/steps/0/copyTextures: is a string, not true or false"},
      {R"({"jobs": [{"inputs": ")" + in +
           R"(", "steps": [{"run": "wingform", "allowOutside": true}]}]})",
       "/jobs/0/steps/0/allowOutside: needs \"copyTextures\": true"},
      {R"({"jobs": [{"inputs": ")" + in +
           R"(", "steps": [{"run": "wingform", "output": "o/{stam}.obj"}]}]})",
       "/jobs/0/steps/0/output: \"{stam}\" names no field; known: {dir}"},
      {R"({"jobs": [{"inputs": ")" + in + R"(", "steps": [{"run": "wingfrom"}]}]})",
       "/jobs/0/steps/0/run: "},
      {R"({"jobs": [{"inputs": ")" + Dir("in") + R"(/*.gltf", "steps": [)" + step + "]}]}",
       "/jobs/0/inputs: \"" + Dir("in") + "/*.gltf\" matches no file"},
      {R"({"jobs": [{"inputs": ")" + Dir("in") +
           R"(/*.json", "steps": [{"run": "wingform", "output": "o/x.obj"}]}]})",
       "o/x.obj is also written by the job of " + Dir("in") + "/hangar.json"},
      {R"({"jobs": [{"inputs": ")" + in + R"(", "steps": [)" + step + ", " + step + "]}]}",
       "o/hangar.obj is written twice"},
      // Preparation steps: a step that is not one, an option it does not take, both kinds.
      {R"({"jobs": [{"inputs": ")" + in + R"(", "steps": [{"prep": "tranform"}]}]})",
       "/jobs/0/steps/0/prep: no preparation step \"tranform\": the steps are transform, "},
      {R"({"jobs": [{"inputs": ")" + in +
           R"(", "steps": [{"prep": "transform", "grund": true}]}]})",
       "/jobs/0/steps/0: transform: --grund: no such option"},
      {R"({"jobs": [{"inputs": ")" + in + R"(", "steps": [{"prep": "lod", "run": "wingform"}]}]})",
       "/jobs/0/steps/0: give either \"run\" (a plug-in) or \"prep\" (a step)"},
      {R"({"maxMemory": "lots", "jobs": []})", "/maxMemory: is not a size such as 200M"},
      // Names that name no file, and numbers beyond a double, each at its place.
      {R"({"jobs": [{"inputs": ")" + in + R"(", "steps": [{"run": "wingform", "output": ""}]}]})",
       "jobs.json: /jobs/0/steps/0/output: empty"},
      {R"({"jobs": [{"inputs": ")" + in +
           R"(", "steps": [{"run": "wingform", "output": "o/a.obj", "sceneOut": ""}]}]})",
       "jobs.json: /jobs/0/steps/0/sceneOut: empty"},
      {R"({"jobs": [{"inputs": ")" + in +
           R"(", "steps": [{"run": "flare", "params": {"Step": 1e400}}]}]})",
       "jobs.json: /jobs/0/steps/0/params/Step: is a number too large to hold: '1e400'"},
      {R"({"jobs": [{"inputs": ")" + in + R"(", "steps": [{"run": "wingform"}, {"run": "x",
           "select": ["group:A", -2e999]}]}]})",
       "jobs.json: /jobs/0/steps/1/select/1: is a number too large to hold"},
      {R"({"timeout": 1e99999, "jobs": []})", "jobs.json: /timeout: is a number too large"},
      {R"({"jobs": [{"inputs": ")" + in + R"(", "import": {"scale": 1e39}, "steps": [)" + step +
           "]}]}",
       "jobs.json: /jobs/0/import/scale: is too large a scale"},
      {R"({"jobs": [{"inputs": ")" + Dir("odd") + R"(/*.json", "steps": [)" + step + "]}]}",
       "jobs.json: /jobs/0/inputs: matches a file whose name is not UTF-8"},
      // Another job's file among the numbered parts an export may write beside its own.
      {R"({"jobs": [{"inputs": ")" + in +
           R"(", "steps": [{"run": "wingform", "output": "o/x.obj"}]},
           {"inputs": ")" +
           Dir("in") + R"(/tile.json", "steps": [{"run": "trackline",
            "output": "o/t.igs", "sceneOut": "o/x.12.obj"}]}]})",
       "/jobs/1/inputs: o/x.12.obj is also written by the job of " + in + " (" + Dir("jobs.json") +
           ": /jobs/0/inputs), as a numbered part of its export o/x.obj, and " + Dir("in") +
           "/tile.json"},
  };
  // The job file is read in this process: nothing of it runs, so no program needs starting.
  for (const auto& c : cases) {
    host::BatchOptions options;
    options.inputs = {JobFile(c.text)};
    std::ostringstream out, err;
    EXPECT_EQ(host::BatchCommand(options, out, err), 2) << c.text << "\n" << err.str();
    EXPECT_THAT(err.str(), HasSubstr(c.message)) << c.text;
    EXPECT_EQ(out.str(), "") << c.text;
  }
  EXPECT_FALSE(fs::exists("o"));
}

// How a job ended, in its report and the table: done with warnings (the batch still 0), each
// message naming its step; nothing done naming the step that refused; a record that is not a
// regular file left alone, never opened.
TEST_F(Batch, JobsSayWhichStepWarnedOrRefused) {
  Input(Examples + "/hangar.json", "hangar.json");
  Input(Examples + "/tile.json", "tile.json");
  // Selected: the empty group. Each step starts from it, whatever the step before selected.
  WriteFileAtomically(Dir("in/main.json"), R"({"format": "vellum-scene", "version": 1,
      "root": {"groups": [{"name": "Main"}, {"name": "Tile", "objects": [{"name": "Face",
        "vertices": [[0, 0, 0], [0, 0, 1], [1, 0, 1], [1, 0, 0]],
        "faces": [{"points": [[0, -1, -1], [1, -1, -1], [2, -1, -1], [3, -1, -1]]}]}]}]},
      "selection": {"groups": ["Main"]}})");
  fs::create_directory(Dir("out"));
  ASSERT_EQ(mkfifo(Dir("out/.tile.obj.vlmbatch").c_str(), 0644), 0);
  const std::string out = Dir("out");
  const struct {
    std::string input, steps, status, message;
    int exitStatus;
  } cases[] = {
      {"hangar.json", R"({"run": "wingform", "output": ")" + out + R"(/hangar.obj"})",
       "done with warnings",
       "warning: step 1, wingform: " + out + "/hangar.obj names the texture \"paint.bmp\"", 0},
      {"main.json",
       R"({"run": "wingform", "select": "group:Tile", "output": ")" + out +
           R"(/tile-of-main.obj"}, {"run": "wingform", "output": ")" + out + R"(/main.obj"})",
       "nothing done", "nothing done: step 2, wingform: Nothing to Export", 1},
      {"tile.json",
       R"({"run": "wingform", "select": "group:Tile", "output": ")" + out + R"(/tile.obj"})",
       "done with warnings",
       "warning: " + out +
           "/.tile.obj.vlmbatch: is a FIFO, not a regular file (the job will run "
           "again next time)",
       0},
  };
  for (const auto& c : cases) {
    const std::string jobs = JobFile(R"({"jobs": [{"inputs": ")" + Dir("in/" + c.input) +
                                     R"(", "steps": [)" + c.steps + "]}]}");
    auto r = Vlmhost({"batch", jobs, "--report", Dir("report.json")});
    EXPECT_EQ(r.status, c.exitStatus) << r.output;
    EXPECT_THAT(r.output, HasSubstr(c.status + "  ")) << c.input;  // the table's
    const auto report = nlohmann::json::parse(ReadFile(Dir("report.json")));
    const auto& job = report["jobs"][0];
    EXPECT_EQ(job["status"], c.status) << c.input;
    EXPECT_EQ(report["counts"][c.status], 1) << c.input;
    std::string messages;
    for (const auto& m : job["messages"])
      messages += m.get<std::string>() + "\n";
    EXPECT_THAT(messages, HasSubstr(c.message)) << c.input;
  }
  struct stat st {};
  EXPECT_TRUE(stat(Dir("out/.tile.obj.vlmbatch").c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
}

// One job prints as many do: the table, not the run's transcript. --list-commands --quiet lists
// quiet commands.
TEST_F(Batch, OneJobPrintsTheTableAsManyDo) {
  const std::string in = Input(Examples + "/tile.json", "tile.json");
  const std::string jobs = JobFile(R"({"jobs": [{"inputs": ")" + in + R"(", "steps": [
      {"run": "wingform", "select": "group:Tile", "output": ")" +
                                   Dir("out/tile.obj") + R"("}]}]})");
  auto r = Vlmhost({"batch", jobs});
  EXPECT_THAT(r.output, ::testing::MatchesRegex("status +seconds +input +outputs\n"
                                                "done +[0-9.]+ +[^ ]+tile.json +[^ ]+tile.obj\n"
                                                "1 job: 1 done in [0-9.]+ s\n"));
  r = Vlmhost({"batch", jobs, "--list-commands", "--quiet"});
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_THAT(r.output, ::testing::EndsWith(" --quiet\n"));
  r = Shell(r.output);  // the command itself, quiet: it says nothing
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output, "");
}

// A finished job's record, read in process: the job is up to date while the record says so;
// a record that is not a regular file is never opened (a FIFO would hold the batch up), and a
// texture that is not one is never read.
TEST(BatchRecords, OnlyARegularRecordIsRead) {
  test::TempHome home;
  const fs::path dir = home.Path();
  WriteFileAtomically(dir / "a.json", "{}");
  WriteFileAtomically(dir / "a.obj", "written");
  ASSERT_EQ(mkfifo((dir / "fifo.png").c_str(), 0600), 0);
  const auto list = host::ParseJobFile(R"({"jobs": [{"inputs": ")" + (dir / "a.json").string() +
                                           R"(", "steps": [{"run": "wingform", "output": ")" +
                                           (dir / "a.obj").string() + R"("}]}]})",
                                       "jobs.json");
  ASSERT_EQ(list.jobs.size(), 1u);
  const host::BatchJob& job = list.jobs.front();
  const fs::path record = dir / ".a.obj.vlmbatch";
  ASSERT_EQ(host::RecordFile(job), record);
  EXPECT_EQ(host::ContentHash(dir / "fifo.png"), "not a regular file");
  // The kernel's files look regular but are never read: /proc/kcore would not end.
  EXPECT_EQ(host::ContentHash("/proc/self/status"), "missing");
  const std::string text = host::RecordText(job, "1.0", {dir / "fifo.png"}, {dir / "a.obj"});
  const struct {
    const char* record;
    bool upToDate;
  } cases[] = {{"file", true}, {"damaged", false}, {"fifo", false}, {"folder", false}};
  for (const auto& c : cases) {
    fs::remove_all(record);
    const std::string kind = c.record;
    if (kind == "file") WriteFileAtomically(record, text);
    if (kind == "damaged") WriteFileAtomically(record, text.substr(0, text.size() / 2));
    if (kind == "fifo") {
      ASSERT_EQ(mkfifo(record.c_str(), 0600), 0);
    }
    if (kind == "folder") fs::create_directory(record);
    EXPECT_EQ(host::UpToDate(job, "1.0"), c.upToDate) << kind;
    EXPECT_EQ(host::RecordProblem(record).empty(), kind == "file" || kind == "damaged") << kind;
  }
}

}  // namespace
}  // namespace vlm
