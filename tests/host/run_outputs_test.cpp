// The outputs of vlmhost run as one set: a --report is one of them, refused before any dialog
// when it names another, and written with the others, all or none; a target with no name is
// refused like any other that cannot be written.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "support/cli_fixture.h"
#include "vlm/files.h"

namespace vlm {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

const std::string Example = std::string(VLM_TEST_EXAMPLES_DIR) + "/hangar.json";

class RunOutputs : public test::CliOutputs {
 protected:
  // Every file in the output folder (not the links) with its bytes.
  std::map<std::string, std::string> Files() const {
    std::map<std::string, std::string> out;
    for (const auto& entry : fs::recursive_directory_iterator(home.Path() / "out"))
      if (!entry.is_symlink() && entry.is_regular_file())
        out[entry.path().filename().string()] = ReadFile(entry.path());
    return out;
  }
};

TEST_F(RunOutputs, AReportIsOneOfTheRunsOutputs) {
  const std::vector<std::string> tool = {
      "run", "obverse", Example, "--select", "group:Hangar/Wing", "--ui", "input z"};
  const std::vector<std::string> exporter = {"run",      Wingform,       Example,
                                             "--select", "group:Hangar", "--fresh"};
  const struct {
    std::vector<std::string> run;
    std::vector<std::string> outputs;  // OUT/ stands for the output folder
    int status;
    std::string said;
    std::vector<std::string> written;  // new files in the output folder; "" for none
  } cases[] = {
      {tool, {"-o", "OUT/m.json", "--report", "OUT/m.json"}, 2, "is also the -o file", {}},
      {tool, {"-o", "OUT/m.json", "--report", "OUT/link.json"}, 2, "is also the -o file", {}},
      {tool,
       {"-o", "OUT/m.json", "--save-pictures", "OUT/pictures", "--report", "OUT/pictures"},
       2,
       "is also the --save-pictures folder",
       {}},
      {exporter,
       {"-o", "OUT/h.obj", "--scene-out", "OUT/s.json", "--report", "OUT/s.json"},
       2,
       "is also the --scene-out file",
       {}},
      {exporter,
       {"-o", "OUT/h.obj", "--report", "OUT/h.1.obj"},
       2,
       "is also a numbered part of the export",
       {}},
      {tool, {"-o", "OUT/m.json", "--report", ""}, 2, "--report \"\": an empty name", {}},
      // Known only once the files are staged: nothing is written.
      {exporter,
       {"-o", "OUT/h.obj", "--copy-textures", "--report", "OUT/alu.bmp"},
       1,
       "is the same file",
       {}},
      // A report that cannot be written fails the run, whose files then stay unwritten.
      {tool, {"-o", "OUT/m.json", "--report", "/dev/full"}, 1, "/dev/full", {}},
      {tool, {"-o", "OUT/m.json", "--report", "OUT/r.json"}, 0, "", {"m.json", "r.json"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.run;
    for (std::string option : c.outputs)
      args.push_back(option.starts_with("OUT/") ? Out("out/" + option.substr(4)) : option);
    SCOPED_TRACE(args[args.size() - 1]);
    fs::remove_all(home.Path() / "out");
    fs::create_directories(home.Path() / "out");
    for (const char* earlier : {"m.json", "s.json", "h.1.obj", "alu.bmp"})
      WriteFileAtomically(Out("out/") + earlier, "earlier");
    fs::create_symlink("m.json", Out("out/link.json"));
    const auto before = Files();
    auto r = test::Vlmhost(args);
    EXPECT_EQ(r.status, c.status) << r.output;
    EXPECT_THAT(r.output, HasSubstr(c.said));
    if (c.status == 2) {
      EXPECT_THAT(r.output, Not(HasSubstr("Mirror Direction"))) << "refused before the dialog";
    }
    auto after = Files();
    for (const std::string& file : c.written)
      after[file] = before.contains(file) ? before.at(file) : "";
    EXPECT_EQ(after.size(), before.size() + c.written.size() - (c.written.empty() ? 0 : 1));
    for (const auto& [file, bytes] : before)
      EXPECT_EQ(after[file], bytes) << file << ": " << r.output;
    if (c.status == 0) {
      const auto report = nlohmann::json::parse(ReadFile(Out("out/r.json")));
      EXPECT_EQ(report["outcome"], "done");
      EXPECT_EQ(report["written"], nlohmann::json::array({Out("out/m.json")}));
      EXPECT_THAT(report["log"].dump(), HasSubstr("wrote " + Out("out/m.json")));
      EXPECT_FALSE(report["items"]["created"].empty());
    }
  }
}

// import and export-model refuse a report that is their -o file, too.
TEST_F(RunOutputs, AModelCommandsReportIsNotItsOutput) {
  const std::string model = std::string(VLM_TEST_DATA_DIR) + "/arrow.obj";
  for (const auto& [command, output] : {std::pair{"import", "x.json"}, {"export-model", "x.glb"}}) {
    WriteFileAtomically(Out(output), "earlier");
    auto r = test::Vlmhost({command, command == std::string("import") ? model : Example, "-o",
                            Out(output), "--report", Out(output)});
    EXPECT_EQ(r.status, 2) << r.output;
    EXPECT_THAT(r.output, HasSubstr("is also the -o file"));
    EXPECT_EQ(ReadFile(Out(output)), "earlier");
  }
}

// -o '', --scene-out '' and --save-pictures '' name no file: bad input before any dialog.
TEST_F(RunOutputs, AnEmptyNameIsRefusedBeforeTheDialog) {
  const struct {
    std::vector<std::string> args;
    std::string said;
  } cases[] = {
      {{"run", "obverse", Example, "--select", "group:Hangar/Wing", "--ui", "input z", "-o", ""},
       "-o \"\": an empty name names no file"},
      {{"run", Wingform, Example, "-o", Out("h.obj"), "--scene-out", ""},
       "--scene-out \"\": an empty name names no file"},
      {{"run", "obverse", Example, "--select", "group:Hangar/Wing", "--ui", "input z",
        "--save-pictures", ""},
       "--save-pictures \"\": an empty name names no file"},
      {{"import", std::string(VLM_TEST_DATA_DIR) + "/arrow.obj", "-o", ""},
       "cannot write \"\": an empty name names no file"},
  };
  for (const auto& c : cases) {
    auto r = test::Vlmhost(c.args);
    EXPECT_EQ(r.status, 2) << r.output;
    EXPECT_THAT(r.output, HasSubstr(c.said));
    EXPECT_THAT(r.output, Not(HasSubstr("Mirror Direction")));
  }
}

}  // namespace
}  // namespace vlm
