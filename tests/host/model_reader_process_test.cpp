// Reading an untrusted model in a child process (host/exchange/model_reader_process): what
// comes back, and readers stopped past their memory or time.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "exchange/model_import.h"
#include "exchange/model_reader_process.h"
#include "scene/builder.h"
#include "scene/scene_file.h"
#include "support/model_triangles.h"
#include "support/temp_home.h"
#include "support/vlmhost.h"
#include "vlm/error.h"
#include "vlm/progress.h"

namespace vlm {
namespace {

namespace fs = std::filesystem;
using test::kModels;
using ::testing::ElementsAre;

// A display that notes what it is shown, in whole percent.
class NotedProgress final : public ProgressDisplay {
 public:
  void Show(std::string_view task, double fraction) override {
    seen.push_back(std::string(task) + " " + std::to_string(static_cast<int>(fraction * 100)));
  }
  void Finish() override { seen.push_back("done"); }
  std::vector<std::string> seen;
};

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST(ModelReaderProcess, BringsBackWhatTheReaderGotOrSaysWhyItStopped) {
  const fs::path glb = kModels / "glTF2/BoxTextured-glTF-Binary/BoxTextured.glb";
  const host::ImportedModel direct = host::ImportModel(glb);
  const auto read = [&] {
    host::ImportedModel model = host::ImportModel(glb);
    model.log.push_back("a line of the log");
    return model;
  };
  // A scene and a texture of several megabytes each come in pieces.
  const auto readLarge = [&] {
    host::ImportedModel model = read();
    host::AddGrid(host::AddGroup(model.document->Root(), "Field"), "Grid", 200, 100, 0.5f);
    model.textures.push_back({"large.png", std::string(3 << 20, 'x')});
    return model;
  };
  const auto touchMemory = []() -> host::ImportedModel {
    std::vector<std::unique_ptr<char[]>> blocks;
    for (;;) {
      blocks.push_back(std::make_unique<char[]>(1 << 20));
      std::memset(blocks.back().get(), 1, 1 << 20);
    }
  };
  const struct {
    const char* what;
    std::function<host::ImportedModel()> reader;
    host::ReaderLimits limits;
    std::string error;  // empty: the model comes back
    bool hardLimitOnly = false;
    int number = err::InvalidProcedureCall;
  } cases[] = {
      {"a model", read, {}, ""},
      {"a large model", readLarge, {}, ""},
      {"an error",
       [&]() -> host::ImportedModel { Raise(err::FileNotFound, "m.obj: no such file"); },
       {},
       "m.obj: no such file",
       false,
       err::FileNotFound},
      {"a stuck reader",
       [&] {
         std::this_thread::sleep_for(std::chrono::seconds(30));
         return read();
       },
       {1u << 30, 0.3},
       "m.obj: the model cannot be read: its reader took too long"},
      {"memory touched",
       touchMemory,
       {64u << 20, 30},
       "m.obj: the model cannot be read: its reader ran out of memory"},
      {"memory asked for at once",
       [&] {
         char* volatile block = new char[size_t{1} << 30];
         block[0] = 1;
         return read();
       },
       {64u << 20, 30},
       "m.obj: the model cannot be read: its reader ran out of memory",
       true},
      {"a crash",
       [&]() -> host::ImportedModel { std::abort(); },
       {},
       "m.obj: the model cannot be read: its reader crashed"},
  };
  for (const auto& c : cases) {
    if (c.hardLimitOnly && !host::ReaderMemoryLimitIsHard()) continue;
    auto noted = std::make_shared<NotedProgress>();
    const auto before = SetProgressDisplay(noted);
    const auto start = std::chrono::steady_clock::now();
    try {
      const host::ImportedModel model = host::ReadInChildProcess(c.reader, "m.obj", c.limits);
      EXPECT_EQ(c.error, "") << c.what;
      const host::ImportedModel want = c.reader();
      EXPECT_EQ(host::SerializeScene(*model.document), host::SerializeScene(*want.document));
      ASSERT_EQ(model.textures.size(), want.textures.size());
      for (size_t i = 0; i < want.textures.size(); ++i) {
        EXPECT_EQ(model.textures[i].file, want.textures[i].file);
        EXPECT_EQ(model.textures[i].bytes, want.textures[i].bytes);
      }
      EXPECT_EQ(model.textures[0].file, direct.textures[0].file);
      EXPECT_THAT(model.log, ElementsAre("a line of the log"));
      // The child's progress is shown by the parent's display.
      ASSERT_GE(noted->seen.size(), 3u);
      EXPECT_EQ(noted->seen[0], "Importing " + glb.string() + " 0");
      EXPECT_EQ(noted->seen.back(), "done");
    } catch (const Error& e) {
      EXPECT_EQ(e.Description(), c.error) << c.what;
      EXPECT_EQ(e.Number(), c.number) << c.what;
    }
    EXPECT_LT(SecondsSince(start), std::min(c.limits.seconds, 10.0) + 1) << c.what;
    SetProgressDisplay(before);
  }
}

TEST(ModelCommands, ReadersPastTheirMemoryOrTimeAreStoppedAndNamed) {
  // Under the address sanitizer the reader's memory is only watched, not limited, and the
  // library's reader grows it slowly there; ModelReaderProcess covers that build.
  if (!host::ReaderMemoryLimitIsHard()) GTEST_SKIP() << "the memory limit is not hard here";
  test::TempHome home;
  const fs::path out = home.Path() / "out";
  fs::create_directories(out);
  // PLY files asking for far more vertices than they hold: the library's reader allocates
  // for all of them up front and then goes on making them for minutes.
  const auto ply = [&](const std::string& vertices) {
    const fs::path file = home.Path() / (vertices + ".ply");
    std::ofstream(file) << "ply\nformat ascii 1.0\nelement vertex " << vertices
                        << "\nproperty float x\nproperty float y\nproperty float z\n"
                           "element face 1\nproperty list uchar int vertex_indices\n"
                           "end_header\n0 0 0\n3 0 0 0\n";
    return file.string();
  };
  const struct {
    std::vector<std::string> args;
    std::string problem;
    double seconds;
  } cases[] = {
      {{ply("100000000"), "--max-memory", "200M"}, "its reader ran out of memory", 10},
      {{ply("2000000000"), "--max-memory", "200M"}, "its reader ran out of memory", 10},
      {{ply("100000000"), "--timeout", "1"}, "its reader took too long", 3},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"import", "-o", (out / "s.json").string()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const auto start = std::chrono::steady_clock::now();
    const auto r = test::Vlmhost(args);
    EXPECT_LT(SecondsSince(start), c.seconds) << c.args[0];
    EXPECT_EQ(r.status, 2) << r.output;
    EXPECT_EQ(r.output, "error: " + c.args[0] + ": the model cannot be read: " + c.problem + "\n");
    EXPECT_TRUE(fs::is_empty(out));
  }
}

}  // namespace
}  // namespace vlm
