// Whole-file reads, atomic writes and the output transaction of one run.
//
// A file is written complete to a temporary file beside its target (".NAME.tmp-XXXXXX"),
// flushed to the disk, and renamed over the target; the folder is flushed after the rename.
// A target reached through symbolic links is resolved first, so the file the link points to
// is updated and the link stays a link. Devices and pipes cannot be replaced: they are
// written to directly.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include "file_lock.h"
#include "vlm/error.h"
#include "vlm/files.h"
#include "vlm/settings.h"

namespace vlm {

namespace {

namespace fs = std::filesystem;

std::string Reason(int error) {
  return std::strerror(error);
}

[[noreturn]] void CannotWrite(const fs::path& file, const std::string& reason) {
  throw Error(err::PathFileAccess, "cannot write " + file.string() + ": " + reason);
}

// The mode a new file gets from open(..., 0666): mkstemp makes its files private, which is
// wrong for settings and exported files the user expects to share.
mode_t DefaultFileMode() {
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// A sink into a file descriptor. A failed write is kept (errno) and what follows is dropped,
// so that the writer can finish and raise a fault of its own content first.
class FileSink : public OutputSink {
 public:
  FileSink(int fd, int failure) : OutputSink(kChunk), fd_(fd), failure_(failure) {}
  int Failure() {
    Flush();
    return failure_;
  }

 private:
  static constexpr size_t kChunk = size_t(1) << 20;
  void Take(std::string_view bytes) override {
    if (!failure_ && !WriteAll(fd_, bytes)) failure_ = errno;
  }
  int fd_;
  int failure_;
};

class NullSink : public OutputSink {
 public:
  NullSink() : OutputSink(64 * 1024) {}

 private:
  void Take(std::string_view) override {}
};

OutputWriter WriteBytes(std::string_view bytes) {
  return [bytes](OutputSink& sink) { sink.Write(bytes); };
}

// The whole content `write` makes, for a target written directly.
std::string Gathered(const OutputWriter& write) {
  StringSink sink;
  write(sink);
  return std::move(sink.Text());
}

// ---- temporary files removed when the program is interrupted ------------------------------
// The handler may only call async-signal-safe functions: it unlinks the names in a fixed
// table of slots and raises the signal again with its default action.
constexpr size_t kTempSlots = 1024;
std::atomic<char*> tempSlots[kTempSlots];

extern "C" void RemoveTempsAndRaise(int signal) {
  for (auto& slot : tempSlots)
    if (char* name = slot.load()) ::unlink(name);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

void InstallInterruptHandlers() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (int signal : {SIGINT, SIGTERM}) {
      struct sigaction previous {};
      // A program that ignores or handles the signal itself keeps its choice.
      if (::sigaction(signal, nullptr, &previous) != 0 || (previous.sa_flags & SA_SIGINFO) ||
          previous.sa_handler != SIG_DFL)
        continue;
      struct sigaction action {};
      action.sa_handler = RemoveTempsAndRaise;
      sigemptyset(&action.sa_mask);
      ::sigaction(signal, &action, nullptr);
    }
  });
}

// Puts a name in the table; the slot, or kTempSlots when the table is full.
size_t Protect(const std::string& name) {
  InstallInterruptHandlers();
  char* copy = ::strdup(name.c_str());
  if (!copy) return kTempSlots;
  for (size_t i = 0; i < kTempSlots; ++i) {
    char* expected = nullptr;
    if (tempSlots[i].compare_exchange_strong(expected, copy)) return i;
  }
  std::free(copy);
  return kTempSlots;
}

void Unprotect(size_t slot) {
  if (slot < kTempSlots) std::free(tempSlots[slot].exchange(nullptr));
}

// A temporary file ".NAME.tmp-XXXXXX" beside `real`, removed again unless it was renamed.
class TempFile {
 public:
  TempFile(const fs::path& target, const fs::path& real) : target_(target) {
    folder_ = real.parent_path().empty() ? fs::path(".") : real.parent_path();
    name_ = (folder_ / ("." + real.filename().string() + ".tmp-XXXXXX")).string();
    fd_ = ::mkstemp(name_.data());
    if (fd_ < 0) {
      int error = errno;
      if (error == ENOENT || error == ENOTDIR)
        CannotWrite(target, "the folder " + folder_.string() + " does not exist");
      CannotWrite(target,
                  "the folder " + folder_.string() + " cannot be written: " + Reason(error));
    }
    slot_ = Protect(name_);
  }
  ~TempFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!name_.empty()) ::unlink(name_.c_str());
    Unprotect(slot_);
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // Writes the whole content, with the mode `real` has (or a new file's), and flushes it.
  void Fill(const fs::path& real, const OutputWriter& write) {
    struct stat existing {};
    mode_t mode = ::stat(real.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)
                      ? existing.st_mode & 07777
                      : DefaultFileMode();
    FileSink sink(fd_, ::fchmod(fd_, mode) != 0 ? errno : 0);
    write(sink);
    if (int failure = sink.Failure()) CannotWrite(target_, Reason(failure));
    if (::fsync(fd_) != 0) CannotWrite(target_, Reason(errno));
    int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0) CannotWrite(target_, Reason(errno));
  }

  // Renames the file over `real` and flushes the folder so the rename lasts.
  void RenameOver(const fs::path& real) {
    if (::rename(name_.c_str(), real.c_str()) != 0) CannotWrite(target_, Reason(errno));
    name_.clear();
    int dir = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      // Some file systems cannot flush a folder (EINVAL); that is no failure of the write.
      bool flushed = ::fsync(dir) == 0 || errno == EINVAL;
      int error = errno;
      ::close(dir);
      if (!flushed) CannotWrite(target_, Reason(error));
    }
  }

 private:
  fs::path target_;
  fs::path folder_;
  std::string name_;
  int fd_ = -1;
  size_t slot_ = kTempSlots;
};

// Where the bytes for `target` go: the file at the end of its symbolic links, or the target
// itself when it is a device or pipe (or a link into /proc, like /dev/stdout) that is written
// to directly.
struct Destination {
  fs::path real;
  bool direct = false;
};

Destination Resolve(const fs::path& target) {
  struct stat st {};
  bool exists = ::stat(target.c_str(), &st) == 0;
  if (!exists && errno != ENOENT) {
    if (errno == ENOTDIR)
      CannotWrite(target, "the folder " + target.parent_path().string() + " does not exist");
    CannotWrite(target, Reason(errno));
  }
  if (exists && S_ISDIR(st.st_mode)) CannotWrite(target, "it is a folder");
  if (exists && !S_ISREG(st.st_mode)) return {target, true};
  fs::path real = target;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat link {};
    if (::lstat(real.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return {real, false};
    std::error_code ec;
    fs::path to = fs::read_symlink(real, ec);
    if (ec) CannotWrite(target, ec.message());
    real = to.is_absolute() ? to : real.parent_path() / to;
    if (real.string().rfind("/proc/", 0) == 0) return {target, true};
  }
  CannotWrite(target, Reason(ELOOP));
}

void WriteDirectly(const fs::path& target, std::string_view bytes) {
  struct stat st {};
  int flags = O_WRONLY | O_CLOEXEC;
  if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) flags |= O_TRUNC;
  int fd = ::open(target.c_str(), flags);
  if (fd < 0) CannotWrite(target, Reason(errno));
  bool written = WriteAll(fd, bytes);
  int error = errno;
  ::close(fd);
  if (!written) CannotWrite(target, Reason(error));
}

// Resolves the target and makes its temporary file (none for a direct target). When the
// target cannot be written, `write` runs first into nothing, so that a fault of the content is
// raised before the file's.
std::unique_ptr<TempFile> OpenFor(const fs::path& target, Destination& to,
                                  const OutputWriter& write) {
  try {
    to = Resolve(target);
    return to.direct ? nullptr : std::make_unique<TempFile>(target, to.real);
  } catch (const Error&) {
    NullSink nowhere;
    write(nowhere);
    throw;
  }
}

}  // namespace

OutputSink::OutputSink(size_t capacity)
    : buffer_(new char[capacity]), next_(buffer_.get()), end_(buffer_.get() + capacity) {}

OutputSink::~OutputSink() = default;

void OutputSink::Write(std::string_view bytes) {
  if (bytes.size() <= static_cast<size_t>(end_ - next_)) {
    std::memcpy(next_, bytes.data(), bytes.size());
    next_ += bytes.size();
    return;
  }
  Flush();
  if (bytes.size() >= static_cast<size_t>(end_ - next_)) return Take(bytes);
  std::memcpy(next_, bytes.data(), bytes.size());
  next_ += bytes.size();
}

void OutputSink::Flush() {
  if (next_ == buffer_.get()) return;
  Take(std::string_view(buffer_.get(), static_cast<size_t>(next_ - buffer_.get())));
  next_ = buffer_.get();
}

StringSink::StringSink() : OutputSink(64 * 1024) {}

std::string& StringSink::Text() {
  Flush();
  return text_;
}

void StringSink::Take(std::string_view bytes) {
  text_.append(bytes);
}

void WriteFileAtomically(const fs::path& target, std::string_view bytes) {
  Destination to = Resolve(target);
  if (to.direct) return WriteDirectly(target, bytes);
  TempFile temp(target, to.real);
  temp.Fill(to.real, WriteBytes(bytes));
  temp.RenameOver(to.real);
}

void WriteFileAtomicallyWith(const fs::path& target, const OutputWriter& write) {
  Destination to;
  std::unique_ptr<TempFile> temp = OpenFor(target, to, write);
  if (!temp) return WriteDirectly(target, Gathered(write));
  temp->Fill(to.real, write);
  temp->RenameOver(to.real);
}

void CheckOutputTarget(const fs::path& target) {
  Destination to = Resolve(target);
  if (!to.direct) TempFile probe(target, to.real);
}

namespace {

// "16 MiB", or the count of bytes when it is not a whole number of MiB.
std::string SizeText(size_t bytes) {
  if (bytes % (size_t(1) << 30) == 0) return std::to_string(bytes >> 30) + " GiB";
  if (bytes % (size_t(1) << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
  return std::to_string(bytes) + " bytes";
}

// Everything `fd` holds, up to `limit` bytes (see ReadFile); `name` names it in messages.
std::string ReadAll(int fd, const std::string& name, size_t slack, size_t limit) {
  auto tooLarge = [&] {
    return Error(err::OutOfMemory, "cannot read " + name + ": it is larger than " +
                                       SizeText(limit) + ", the most read from it");
  };
  // Read into a string sized from the file's length and the slack; a file that turns out
  // longer (or one whose length is not known, such as a pipe) grows it, but never past the
  // limit and the byte that tells the limit is passed.
  struct stat info {};
  size_t expected = ::fstat(fd, &info) == 0 && info.st_size > 0 ? size_t(info.st_size) : 0;
  if (expected > limit) throw tooLarge();
  const size_t most = limit < SIZE_MAX - slack - 1 ? limit + 1 + slack : SIZE_MAX;
  std::string bytes;
  size_t used = 0;
  try {
    bytes.resize(std::min(expected + 1 + slack, most));
    for (;;) {
      if (used == bytes.size()) {
        if (used > limit) throw tooLarge();
        bytes.resize(std::min(bytes.size() * 2 + 64 * 1024, most));
      }
      ssize_t n = ::read(fd, bytes.data() + used, bytes.size() - used);
      if (n == 0) break;
      if (n < 0) {
        if (errno == EINTR) continue;
        throw Error(err::PathFileAccess, "cannot read " + name + ": " + Reason(errno));
      }
      used += static_cast<size_t>(n);
    }
    if (used > limit) throw tooLarge();
    // Shrinking keeps the capacity; only a file that grew while it was read can be short of it.
    bytes.resize(used);
    if (bytes.capacity() < used + slack) bytes.reserve(used + slack);
  } catch (const std::bad_alloc&) {
    throw Error(err::OutOfMemory,
                "cannot read " + name + ": out of memory after " + std::to_string(used) + " bytes");
  }
  return bytes;
}

}  // namespace

std::string ReadFile(const std::filesystem::path& file, size_t slack, size_t limit) {
  int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    int error = errno;
    if (error == ENOENT) throw Error(err::FileNotFound, "file not found: " + file.string());
    throw Error(err::PathFileAccess, "cannot read " + file.string() + ": " + Reason(error));
  }
  try {
    std::string bytes = ReadAll(fd, file.string(), slack, limit);
    ::close(fd);
    return bytes;
  } catch (...) {
    ::close(fd);
    throw;
  }
}

std::string ReadStandardInput(size_t slack, size_t limit) {
  return ReadAll(STDIN_FILENO, "standard input", slack, limit);
}

namespace detail {

FileLock::FileLock(const std::filesystem::path& lockFile) {
  std::error_code ec;
  std::filesystem::create_directories(lockFile.parent_path(), ec);
  if (ec) {
    throw Error(err::PathFileAccess, "cannot create the folder " + lockFile.parent_path().string() +
                                         ": " + ec.message());
  }
  fd_ = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd_ < 0) {
    throw Error(err::PathFileAccess,
                "cannot open the lock file " + lockFile.string() + ": " + Reason(errno));
  }
  while (::flock(fd_, LOCK_EX) != 0) {
    if (errno == EINTR) continue;
    int error = errno;
    ::close(fd_);
    throw Error(err::PathFileAccess, "cannot lock " + lockFile.string() + ": " + Reason(error));
  }
}

FileLock::~FileLock() {
  // Closing the descriptor releases the lock.
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace detail

}  // namespace vlm

// ---- the output transaction ---------------------------------------------------------------
namespace vlm {
namespace {

namespace fs = std::filesystem;

struct StagedFile {
  fs::path target;  // as the plug-in or host named it
  Destination to;
  std::unique_ptr<TempFile> temp;  // null for a target written directly at the commit
  std::string bytes;               // what a direct target gets
  OutputMark sequence = 0;
  OutputMark supersededBy = 0;  // a later staging of the same file, 0 while this one counts
};

struct OpenTransaction {
  std::vector<StagedFile> files;
  std::vector<std::string> failures;
  OutputMark next = 1;
};

OpenTransaction*& Current() {
  static OpenTransaction* current = nullptr;
  return current;
}

fs::path SameFileKey(const fs::path& real) {
  std::error_code ec;
  fs::path absolute = fs::absolute(real, ec);
  return (ec ? real : absolute).lexically_normal();
}

void StageInto(OpenTransaction& t, const fs::path& target, const OutputWriter& write) {
  StagedFile file{target, {}, nullptr, {}, t.next, 0};
  file.temp = OpenFor(target, file.to, write);
  if (file.temp)
    file.temp->Fill(file.to.real, write);
  else
    file.bytes = Gathered(write);
  // A second staging of the same file replaces the first. The first is kept aside, not
  // removed, so that dropping the set the second belongs to brings the first back.
  const fs::path key = SameFileKey(file.to.real);
  for (StagedFile& earlier : t.files)
    if (!earlier.supersededBy && SameFileKey(earlier.to.real) == key)
      earlier.supersededBy = file.sequence;
  ++t.next;
  t.files.push_back(std::move(file));
}

}  // namespace

void WriteOutputFile(const fs::path& target, std::string_view bytes) {
  if (!Current()) return WriteFileAtomically(target, bytes);
  WriteOutputFileWith(target, WriteBytes(bytes));
}

void WriteOutputFileWith(const fs::path& target, const OutputWriter& write) {
  OpenTransaction* t = Current();
  if (!t) return WriteFileAtomicallyWith(target, write);
  try {
    StageInto(*t, target, write);
  } catch (const Error& e) {
    t->failures.push_back(e.Description());
    throw;
  }
}

OutputMark CurrentOutputMark() {
  return Current() ? Current()->next : 0;
}

void DropOutputsSince(OutputMark mark) {
  OpenTransaction* t = Current();
  if (!t) return;
  std::erase_if(t->files, [&](const StagedFile& f) { return f.sequence >= mark; });
  for (StagedFile& f : t->files)
    if (f.supersededBy >= mark) f.supersededBy = 0;
}

OutputTransaction::OutputTransaction() {
  if (Current()) throw Error(err::InvalidProcedureCall, "an output transaction is already open");
  Current() = new OpenTransaction;
}

OutputTransaction::~OutputTransaction() {
  delete Current();
  Current() = nullptr;
}

void OutputTransaction::Stage(const fs::path& target, std::string_view bytes) {
  StageInto(*Current(), target, WriteBytes(bytes));
}

void OutputTransaction::StageWith(const fs::path& target, const OutputWriter& write) {
  StageInto(*Current(), target, write);
}

void OutputTransaction::Commit() {
  OpenTransaction& t = *Current();
  // Every file is complete on the disk already; the renames go first, then the devices.
  std::vector<StagedFile> files = std::move(t.files);
  t.files.clear();
  for (StagedFile& f : files)
    if (!f.supersededBy && f.temp) f.temp->RenameOver(f.to.real);
  for (StagedFile& f : files)
    if (!f.supersededBy && !f.temp) WriteDirectly(f.to.real, f.bytes);
}

void OutputTransaction::Rollback() {
  Current()->files.clear();
}

std::vector<fs::path> OutputTransaction::StagedTargets() const {
  std::vector<fs::path> out;
  for (const StagedFile& f : Current()->files)
    if (!f.supersededBy) out.push_back(f.target);
  return out;
}

const std::vector<std::string>& OutputTransaction::Failures() const {
  return Current()->failures;
}

}  // namespace vlm
