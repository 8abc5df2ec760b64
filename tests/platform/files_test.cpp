// Where written files land, the output transaction of a run, and what an interruption leaves.
#include "vlm/files.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <functional>
#include <future>
#include <regex>

#include "support/errors.h"
#include "support/temp_home.h"
#include "vlm/error.h"

namespace vlm {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

std::vector<std::string> Entries(const fs::path& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir))
    out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

class Files : public ::testing::Test {
 protected:
  fs::path Dir() const { return home_.Path(); }
  test::TempHome home_;
};

TEST_F(Files, LinksAreWrittenThroughAndDevicesDirectly) {
  fs::create_directory(Dir() / "real");
  fs::create_symlink("real/data.txt", Dir() / "link.txt");  // not there yet
  fs::create_symlink(Dir() / "link.txt", Dir() / "link2.txt");
  ASSERT_EQ(mkfifo((Dir() / "pipe").c_str(), 0600), 0);
  const bool hasDevice = mknod((Dir() / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;

  WriteFileAtomically(Dir() / "link.txt", "first");
  WriteFileAtomically(Dir() / "link2.txt", "second");
  EXPECT_TRUE(fs::is_symlink(Dir() / "link.txt"));
  EXPECT_TRUE(fs::is_symlink(Dir() / "link2.txt"));
  EXPECT_EQ(ReadFile(Dir() / "real" / "data.txt"), "second");
  EXPECT_EQ(Entries(Dir() / "real"), std::vector<std::string>{"data.txt"});

  auto reader = std::async(std::launch::async, [&] { return ReadFile(Dir() / "pipe"); });
  WriteFileAtomically(Dir() / "pipe", "through the pipe");
  EXPECT_EQ(reader.get(), "through the pipe");
  EXPECT_TRUE(fs::is_fifo(Dir() / "pipe"));
  if (hasDevice) {
    WriteFileAtomically(Dir() / "null", "gone");
    EXPECT_TRUE(fs::is_character_file(Dir() / "null"));
  }
  for (const auto& name : Entries(Dir()))
    EXPECT_EQ(name.find(".tmp-"), std::string::npos) << name;
}

TEST_F(Files, UnwritableLocationsAreNamed) {
  fs::create_directory(Dir() / "folder");
  struct Case {
    fs::path target;
    std::string problem;
  };
  std::vector<Case> cases = {
      {Dir() / "folder", "it is a folder"},
      {Dir() / "missing" / "out.txt", "the folder " + (Dir() / "missing").string() + " does not"},
  };
  // Permissions do not stop root; the kernel's own folders do.
  if (geteuid() == 0) {
    cases.push_back({"/sys/vlm-out.txt", "the folder /sys cannot be written"});
  } else {
    fs::create_directory(Dir() / "locked");
    fs::permissions(Dir() / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    cases.push_back({Dir() / "locked" / "out.txt",
                     "the folder " + (Dir() / "locked").string() + " cannot be written"});
  }
  for (const Case& c : cases) {
    auto check = test::FailureOf([&] { CheckOutputTarget(c.target); });
    auto write = test::FailureOf([&] { WriteFileAtomically(c.target, "x"); });
    for (const auto& f : {check, write}) {
      EXPECT_EQ(f.number, err::PathFileAccess) << c.target;
      EXPECT_THAT(f.description, HasSubstr("cannot write " + c.target.string() + ": " + c.problem));
    }
  }
  EXPECT_NO_THROW(CheckOutputTarget(Dir() / "new.txt"));
  EXPECT_EQ(Entries(Dir()).size(), geteuid() == 0 ? 1u : 2u);  // no file, no temporary left
}

TEST_F(Files, ATransactionWritesEveryFileAtTheCommitOrNone) {
  const fs::path a = Dir() / "a.obj", b = Dir() / "b.obj";
  std::ofstream(a) << "earlier";
  {
    OutputTransaction t;
    WriteOutputFile(a, "one");
    WriteOutputFile(b, "one");
    // Staged files wait beside their targets under a recognisable name.
    const std::regex temp(R"(\.(a|b)\.obj\.tmp-[A-Za-z0-9]{6})");
    auto names = Entries(Dir());
    EXPECT_EQ(names.size(), 3u);
    EXPECT_EQ(std::count_if(names.begin(), names.end(),
                            [&](const std::string& n) { return std::regex_match(n, temp); }),
              2);
    EXPECT_EQ(ReadFile(a), "earlier");
    EXPECT_FALSE(fs::exists(b));

    // A second set replacing the first, dropped when one of its files fails.
    const OutputMark mark = CurrentOutputMark();
    WriteOutputFile(a, "two");
    EXPECT_THROW(WriteOutputFile(Dir() / "missing" / "c.obj", "two"), Error);
    DropOutputsSince(mark);
    ASSERT_EQ(t.Failures().size(), 1u);
    EXPECT_THAT(t.Failures()[0], HasSubstr("missing"));
    EXPECT_EQ(t.StagedTargets(), (std::vector<fs::path>{a, b}));

    WriteOutputFile(b, "three");  // replaces what was staged for b
    EXPECT_EQ(t.StagedTargets(), (std::vector<fs::path>{a, b}));
    t.Commit();
  }
  EXPECT_EQ(ReadFile(a), "one");
  EXPECT_EQ(ReadFile(b), "three");
  EXPECT_EQ(Entries(Dir()), (std::vector<std::string>{"a.obj", "b.obj"}));

  {
    OutputTransaction t;
    WriteOutputFile(a, "rolled back");
    t.Stage(Dir() / "scene.json", "rolled back");
  }
  EXPECT_EQ(ReadFile(a), "one");
  EXPECT_EQ(Entries(Dir()), (std::vector<std::string>{"a.obj", "b.obj"}));
}

// Content written as it is made, straight, staged in a run by the host or as an output of the
// run, with a run or without: a fault of the content is raised before one of the file, and
// either leaves nothing behind.
TEST_F(Files, ContentWrittenAsItIsMade) {
  const std::string piece(1000, 'x');
  struct Case {
    const char* target;
    bool contentFault;
    const char* error;  // empty when the write succeeds
  } cases[] = {
      {"out.txt", false, ""},
      {"out.txt", true, "bad content"},
      {"no/out.txt", true, "bad content"},
      {"no/out.txt", false, "does not exist"},
  };
  for (const Case& c : cases)
    for (const char* way : {"straight", "staged", "output in a run", "output"}) {
      SCOPED_TRACE(std::string(c.target) + " " + way + (c.contentFault ? " with a fault" : ""));
      const fs::path target = Dir() / c.target;
      fs::remove(Dir() / "out.txt");
      std::ofstream(Dir() / "out.txt") << "earlier";
      const OutputWriter write = [&](OutputSink& sink) {
        for (int i = 0; i < 3000; ++i)
          sink.Write(piece);
        if (c.contentFault) throw Error(err::InvalidProcedureCall, "bad content");
      };
      test::Failure f = test::FailureOf([&] {
        const std::string_view w = way;
        if (w == "straight") return WriteFileAtomicallyWith(target, write);
        if (w == "output") return WriteOutputFileWith(target, write);
        OutputTransaction t;
        if (w == "staged")
          t.StageWith(target, write);
        else
          WriteOutputFileWith(target, write);
        t.Commit();
      });
      EXPECT_THAT(f.description, HasSubstr(c.error));
      EXPECT_EQ(ReadFile(Dir() / "out.txt").size(), *c.error ? 7u : 3000u * piece.size());
      EXPECT_EQ(Entries(Dir()), std::vector<std::string>{"out.txt"});
    }
}

TEST_F(Files, AnInterruptedRunLeavesNoTemporaryFile) {
  const struct {
    int signal;
    int files;
  } cases[] = {{SIGINT, 1}, {SIGTERM, 1}, {SIGTERM, 1100}};
  for (const auto& c : cases) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      OutputTransaction t;
      for (int i = 0; i < c.files; ++i)
        WriteOutputFile(Dir() / ("staged." + std::to_string(i) + ".obj"), "staged");
      ::kill(getpid(), c.signal);
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal) << status;
    EXPECT_EQ(Entries(Dir()).size(), 0u) << c.files;
  }
}

// A commit that fails at any step, or is interrupted, leaves every target as it was before:
// the earlier file back, no new file, nothing hidden beside them.
TEST_F(Files, ACommitIsWholeOrPutsEveryEarlierFileBack) {
  const fs::path a = Dir() / "a.obj", b = Dir() / "b.obj", c = Dir() / "c.obj";
  const struct {
    const char* failure;
    std::function<void()> beforeCommit;
    std::function<void()> last;
  } cases[] = {
      {"a later rename", [&] { fs::create_directories(c / "inside"); }, nullptr},
      {"a device", [&] { WriteOutputFile("/dev/full", "device"); }, nullptr},
      {"the last step", nullptr, [] { throw Error(err::PathFileAccess, "the last step"); }},
      {"an interruption", nullptr, [] { ::kill(getpid(), SIGTERM); }},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.failure);
    fs::remove_all(c);
    fs::remove(b);
    std::ofstream(a) << "earlier";
    fs::create_hard_link(a, Dir() / "a-link.obj");
    auto commit = [&] {
      OutputTransaction t;
      for (const fs::path& file : {a, b, c})
        WriteOutputFile(file, "new");
      if (k.beforeCommit) k.beforeCommit();
      t.Commit(k.last);
    };
    if (std::string_view(k.failure) == "an interruption") {
      pid_t child = fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        commit();
        _exit(0);
      }
      int status = 0;
      ASSERT_EQ(waitpid(child, &status, 0), child);
      EXPECT_TRUE(WIFSIGNALED(status)) << status;
    } else {
      EXPECT_THROW(commit(), Error);
    }
    EXPECT_EQ(ReadFile(a), "earlier");
    EXPECT_TRUE(fs::equivalent(a, Dir() / "a-link.obj"));  // the same file, not a copy
    EXPECT_FALSE(fs::exists(b));
    EXPECT_FALSE(fs::is_regular_file(c));
    std::vector<std::string> left = Entries(Dir());
    std::erase(left, "c.obj");
    EXPECT_EQ(left, (std::vector<std::string>{"a-link.obj", "a.obj"}));
    fs::remove(Dir() / "a-link.obj");
  }
}

// The file standard output writes to, under any name, gets a write after what it holds.
TEST_F(Files, StandardOutputIsWrittenAfterWhatItHolds) {
  const fs::path out = Dir() / "out.txt";
  for (const fs::path& name : {fs::path("/dev/stdout"), fs::path("/proc/self/fd/1"), out}) {
    SCOPED_TRACE(name);
    std::ofstream(out) << "earlier\n";
    int fd = ::open(out.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(fd, 0);
    std::fflush(stdout);
    const int saved = ::dup(1);
    ::dup2(fd, 1);
    ::close(fd);
    const bool same = IsStandardOutput(name);
    test::Failure f = test::FailureOf([&] { WriteFileAtomically(name, "scene"); });
    ::dup2(saved, 1);
    ::close(saved);
    EXPECT_TRUE(same);
    EXPECT_EQ(f.description, "(no error)");
    EXPECT_EQ(ReadFile(out), "earlier\nscene");
  }
  EXPECT_EQ(Entries(Dir()), std::vector<std::string>{"out.txt"});
}

// Two names of one file within one run: the host's own file cannot share a file with any
// other output, and nothing is written.
TEST_F(Files, TwoOutputsOfOneRunNeverShareAFile) {
  fs::create_directory(Dir() / "real");
  fs::create_directory_symlink("real", Dir() / "folder-link");
  std::ofstream(Dir() / "real" / "old.obj") << "earlier";
  fs::create_hard_link(Dir() / "real" / "old.obj", Dir() / "real" / "hard.obj");
  fs::create_symlink("old.obj", Dir() / "real" / "link.obj");
  const std::pair<fs::path, fs::path> cases[] = {
      {Dir() / "real" / "x.obj", Dir() / "real" / "x.obj"},
      {Dir() / "real" / "x.obj", Dir() / "folder-link" / "x.obj"},
      {Dir() / "real" / "x.obj", Dir() / "real" / ".." / "real" / "x.obj"},
      {Dir() / "real" / "old.obj", Dir() / "real" / "link.obj"},
      {Dir() / "real" / "old.obj", Dir() / "real" / "hard.obj"},
  };
  for (const auto& [first, second] : cases) {
    SCOPED_TRACE(second);
    EXPECT_TRUE(SameOutputFile(first, second));
    OutputTransaction t;
    WriteOutputFile(first, "export");
    EXPECT_THAT(test::FailureOf([&t, &to = second] { t.Stage(to, "scene"); }).description,
                HasSubstr("another output of this run, " + first.string()));
  }
  EXPECT_FALSE(SameOutputFile(Dir() / "real" / "x.obj", Dir() / "real" / "x.1.obj"));
  EXPECT_EQ(Entries(Dir() / "real"), (std::vector<std::string>{"hard.obj", "link.obj", "old.obj"}));
  EXPECT_EQ(ReadFile(Dir() / "real" / "old.obj"), "earlier");
}

TEST_F(Files, WritersGoBackToRewriteAndRepeatWhatTheyWrote) {
  // More than a file's buffer, so that what is gone back to was handed on already.
  const std::string big(9 << 20, 'x');
  const struct {
    const char* name;
    std::function<void(OutputSink&)> write;
    std::string bytes;
  } cases[] = {
      {"a rewrite in the buffer",
       [](OutputSink& s) {
         s.Write("header..body");
         s.Rewrite(0, "HEAD");
       },
       "HEADer..body"},
      {"repeats, the last of a repeat",
       [](OutputSink& s) {
         s.Write("abc");
         s.Repeat(0, 3);
         s.Write('d');
         s.Repeat(2, 4);
         s.Repeat(0, 0);
       },
       "abcabcdcabc"},
      {"both past a large piece",
       [&](OutputSink& s) {
         s.Write("12345");
         s.Write(big);
         s.Repeat(1, 3);
         s.Rewrite(0, "Z");
         s.Repeat(3, 4);
         s.Rewrite(big.size() + 5, "y");
         s.Write("end");
       },
       "Z2345" + big + "y34" + "45xx" + "end"},
  };
  for (const auto& c : cases) {
    StringSink text;
    c.write(text);
    EXPECT_TRUE(text.Text() == c.bytes) << c.name;
    EXPECT_EQ(text.Position(), c.bytes.size()) << c.name;
    WriteFileAtomicallyWith(Dir() / "out.bin", c.write);
    EXPECT_TRUE(ReadFile(Dir() / "out.bin") == c.bytes) << c.name;
  }
  // Only what was written can be gone back to.
  StringSink text;
  text.Write("abc");
  EXPECT_THROW(text.Rewrite(2, "de"), Error);
  EXPECT_THROW(text.Repeat(1, 3), Error);
  EXPECT_THROW(text.Repeat(4, 0), Error);
}

TEST_F(Files, ARepeatPastAFullDiskLeavesNoFile) {
  // A file size limit stands in for a full disk; it holds in a child process alone.
  const fs::path target = Dir() / "out.bin";
  WriteFileAtomically(target, "earlier");
  const struct {
    const char* name;
    size_t first;  // bytes written before the repeats, each of all of them
  } cases[] = {{"a repeat passes the limit", 3 << 20}, {"the first write does", 9 << 20}};
  for (const auto& c : cases) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      std::signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{8 << 20, 8 << 20};
      setrlimit(RLIMIT_FSIZE, &limit);
      try {
        WriteFileAtomicallyWith(target, [&](OutputSink& s) {
          s.Write(std::string(c.first, 'x'));
          s.Repeat(0, c.first);
          s.Repeat(0, c.first);
        });
      } catch (const Error& e) {
        _exit(std::string(e.Description()).find("cannot write " + target.string()) == 0 ? 3 : 4);
      }
      _exit(5);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << c.name << " " << status;
    EXPECT_EQ(ReadFile(target), "earlier") << c.name;
    for (const std::string& entry : Entries(Dir()))
      EXPECT_EQ(entry.find(".tmp-"), std::string::npos) << c.name << " " << entry;
  }
}

// A sink that keeps what each hand-on holds, with a small buffer.
class ChunkSink : public OutputSink {
 public:
  static constexpr size_t kCapacity = 8;
  ChunkSink() : OutputSink(kCapacity) {}
  std::vector<std::string> chunks;

 private:
  void Take(std::string_view bytes) override { chunks.emplace_back(bytes); }
};

TEST(OutputSink, PiecesOfAnySizeGoThroughTheBufferInOrder) {
  const struct {
    std::vector<std::string> pieces;
    std::vector<std::string> chunks;
  } cases[] = {
      {{"abc", "de"}, {"abcde"}},
      {{"abcdefgh"}, {"abcdefgh"}},
      {{"abcdefghijklmnopqrs"}, {"abcdefgh", "ijklmnop", "qrs"}},
      {{"ab", "cdefghijklmnopqrs", "t"}, {"abcdefgh", "ijklmnop", "qrst"}},
      {{"", "abcdefghi", ""}, {"abcdefgh", "i"}},
  };
  for (const auto& c : cases) {
    ChunkSink sink;
    for (const std::string& piece : c.pieces)
      sink.Write(piece);
    sink.Flush();
    EXPECT_EQ(sink.chunks, c.chunks) << ::testing::PrintToString(c.pieces);
  }
}

TEST_F(Files, FileBytesHoldWhatTheFileHoldsWithZerosAfter) {
  const std::string large(300000, 'x');
  for (const std::string& content : {std::string(), std::string("{}"), large}) {
    std::ofstream(Dir() / "in.json", std::ios::binary) << content;
    for (size_t slack : {0, 64}) {
      const FileBytes bytes = ReadFileBytes(Dir() / "in.json", slack);
      EXPECT_EQ(bytes.View(), content);
      ASSERT_GE(bytes.capacity(), content.size() + slack);
      EXPECT_EQ(std::string(bytes.data() + content.size(), slack), std::string(slack, '\0'));
    }
  }
  // A pipe's length is not known: the buffer grows as it reads.
  ASSERT_EQ(mkfifo((Dir() / "pipe").c_str(), 0600), 0);
  auto reader = std::async(std::launch::async, [&] { return ReadFileBytes(Dir() / "pipe", 64); });
  WriteFileAtomically(Dir() / "pipe", large);
  EXPECT_EQ(reader.get().View(), large);
  EXPECT_THAT(test::FailureOf([&] { ReadFileBytes(Dir() / "in.json", 0, 1000); }).description,
              HasSubstr("in.json: it is larger than 1000 bytes"));
  EXPECT_THAT(test::FailureOf([&] { ReadFileBytes(Dir() / "none.json"); }).description,
              HasSubstr("file not found"));
}

}  // namespace
}  // namespace vlm
