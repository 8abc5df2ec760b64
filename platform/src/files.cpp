// Whole-file reads, atomic writes and the output transaction of one run.
//
// A file is written complete to a temporary file beside its target (".NAME.tmp-XXXXXX"),
// flushed to the disk, and renamed over the target; the folder is flushed after the rename.
// A target reached through symbolic links is resolved first, so the file the link points to
// is updated and the link stays a link. Devices, pipes and the files the standard streams
// write to cannot be replaced: they are written to directly, never truncated.
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/vfs.h>
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
#include <type_traits>
#include <utility>
#include <vector>

#include "file_lock.h"
#include "run_state.h"
#include "vlm/error.h"
#include "vlm/files.h"
#include "vlm/run_context.h"

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

// ---- files undone when the program is interrupted -------------------------------------------
// The handler may only call async-signal-safe functions. It walks a list that only grows (its
// entries are reused, never freed, so a run may have any number of files) and, for each entry
// in use, removes its file or, while a commit is under way, renames a kept earlier file back
// over its target. Then it raises the signal again with its default action.
struct Undo {
  std::atomic<char*> file{nullptr};       // removed when the program is interrupted...
  std::atomic<char*> restoreTo{nullptr};  // ...or, during a commit, renamed back to here
  std::atomic<bool> onlyInCommit{false};  // a file a commit made: removed only during it
  Undo* next = nullptr;
};
std::atomic<Undo*> undoList{nullptr};
std::atomic<bool> committing{false};
std::mutex spareMutex;
std::vector<Undo*> spareUndos;

extern "C" void UndoAndRaise(int signal) {
  const bool inCommit = committing.load();
  for (Undo* u = undoList.load(); u; u = u->next) {
    char* file = u->file.load();
    if (!file || (u->onlyInCommit.load() && !inCommit)) continue;
    char* to = u->restoreTo.load();
    if (to && inCommit)
      ::rename(file, to);
    else
      ::unlink(file);
  }
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
      action.sa_handler = UndoAndRaise;
      sigemptyset(&action.sa_mask);
      ::sigaction(signal, &action, nullptr);
    }
  });
}

void Replace(std::atomic<char*>& field, const std::string& value) {
  char* copy = value.empty() ? nullptr : ::strdup(value.c_str());
  if (!value.empty() && !copy) throw std::bad_alloc();
  std::free(field.exchange(copy));
}

// One entry of the list, given back when the guard goes.
class Guard {
 public:
  Guard() = default;
  ~Guard() { Clear(); }
  Guard(Guard&& other) noexcept : undo_(std::exchange(other.undo_, nullptr)) {}
  Guard& operator=(Guard&&) = delete;

  // `file` is removed when the program is interrupted (only during a commit when
  // `onlyInCommit`).
  void Remove(const std::string& file, bool onlyInCommit = false) {
    if (!undo_) undo_ = Take();
    Replace(undo_->file, {});
    Replace(undo_->restoreTo, {});
    undo_->onlyInCommit = onlyInCommit;
    Replace(undo_->file, file);
  }
  // During a commit, the file is renamed back to `target` instead.
  void RestoreTo(const std::string& target) { Replace(undo_->restoreTo, target); }
  void Clear() {
    if (!undo_) return;
    Replace(undo_->file, {});
    Replace(undo_->restoreTo, {});
    std::lock_guard lock(spareMutex);
    spareUndos.push_back(std::exchange(undo_, nullptr));
  }

 private:
  static Undo* Take() {
    InstallInterruptHandlers();
    std::lock_guard lock(spareMutex);
    if (!spareUndos.empty()) {
      Undo* u = spareUndos.back();
      spareUndos.pop_back();
      return u;
    }
    static size_t made = 0;
    spareUndos.reserve(++made);  // so that giving every entry back cannot fail
    Undo* u = new Undo;
    u->next = undoList.load();
    undoList.store(u);
    return u;
  }
  Undo* undo_ = nullptr;
};

fs::path FolderOf(const fs::path& real) {
  return real.parent_path().empty() ? fs::path(".") : real.parent_path();
}

// Flushes a folder so that a rename in it lasts.
void SyncFolder(const fs::path& target, const fs::path& folder) {
  int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return;
  // Some file systems cannot flush a folder (EINVAL); that is no failure of the write.
  bool flushed = ::fsync(dir) == 0 || errno == EINVAL;
  int error = errno;
  ::close(dir);
  if (!flushed) CannotWrite(target, Reason(error));
}

// A temporary file ".NAME.tmp-XXXXXX" beside `real`, removed again unless it was renamed.
class TempFile {
 public:
  TempFile(const fs::path& target, const fs::path& real) : target_(target) {
    folder_ = FolderOf(real);
    name_ = (folder_ / ("." + real.filename().string() + ".tmp-XXXXXX")).string();
    fd_ = ::mkstemp(name_.data());
    if (fd_ < 0) {
      int error = errno;
      name_.clear();
      if (error == ENOENT || error == ENOTDIR)
        CannotWrite(target, "the folder " + folder_.string() + " does not exist");
      CannotWrite(target,
                  "the folder " + folder_.string() + " cannot be written: " + Reason(error));
    }
    try {
      guard_.Remove(name_);
    } catch (...) {
      ::close(fd_);
      ::unlink(name_.c_str());
      throw;
    }
  }
  ~TempFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!name_.empty()) ::unlink(name_.c_str());
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

  // Renames the file over `real`; errno when it cannot.
  int RenameTo(const fs::path& real) {
    if (::rename(name_.c_str(), real.c_str()) != 0) return errno;
    name_.clear();
    guard_.Clear();
    return 0;
  }

  // Renames the file over `real` and flushes the folder so the rename lasts.
  void RenameOver(const fs::path& real) {
    if (int error = RenameTo(real)) CannotWrite(target_, Reason(error));
    SyncFolder(target_, folder_);
  }

 private:
  fs::path target_;
  fs::path folder_;
  std::string name_;
  int fd_ = -1;
  Guard guard_;
};

// 1 or 2 when `st` is the file standard output or standard error writes to, else -1.
int StandardStreamOf(const struct stat& st) {
  for (int fd : {1, 2}) {
    struct stat stream {};
    if (::fstat(fd, &stream) == 0 && stream.st_dev == st.st_dev && stream.st_ino == st.st_ino)
      return fd;
  }
  return -1;
}

// Where the bytes for `target` go: the file at the end of its symbolic links, or the target
// itself when it is a device or pipe, or the file standard output or standard error already
// writes to, which is written to directly.
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
  if (exists && (!S_ISREG(st.st_mode) || StandardStreamOf(st) > 0)) return {target, true};
  fs::path real = target;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat link {};
    if (::lstat(real.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return {real, false};
    std::error_code ec;
    fs::path to = fs::read_symlink(real, ec);
    if (ec) CannotWrite(target, ec.message());
    real = to.is_absolute() ? to : real.parent_path() / to;
    // A descriptor's link (/dev/fd/3): the file it names, when there is one.
    if (real.string().rfind("/proc/", 0) == 0) {
      fs::path file = exists ? fs::canonical(target, ec) : fs::path();
      return file.empty() || ec ? Destination{target, true} : Destination{file, false};
    }
  }
  CannotWrite(target, Reason(ELOOP));
}

// Writes to a device or pipe as it is, never truncated; to standard output or standard error
// through the program's own descriptor, after what was written there before.
void WriteDirectly(const fs::path& target, std::string_view bytes) {
  struct stat st {};
  int stream = ::stat(target.c_str(), &st) == 0 ? StandardStreamOf(st) : -1;
  int fd = stream > 0 ? stream : ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) CannotWrite(target, Reason(errno));
  bool written = WriteAll(fd, bytes);
  int error = errno;
  if (stream < 0) ::close(fd);
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
  // Large pieces go through the buffer too: handing on a warm buffer of the same memory each
  // time is several times faster than writing straight from a large array not in the cache.
  for (;;) {
    const size_t room = static_cast<size_t>(end_ - next_);
    if (bytes.size() <= room) {
      std::memcpy(next_, bytes.data(), bytes.size());
      next_ += bytes.size();
      return;
    }
    std::memcpy(next_, bytes.data(), room);
    next_ = end_;
    bytes.remove_prefix(room);
    Flush();
  }
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
  if (target.empty())
    throw Error(err::BadFileName, "cannot write \"\": an empty name names no file");
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

Error TooLarge(const std::string& name, size_t limit) {
  return Error(err::OutOfMemory, "cannot read " + name + ": it is larger than " + SizeText(limit) +
                                     ", the most read from it");
}

int OpenToRead(const std::filesystem::path& file) {
  int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    int error = errno;
    if (error == ENOENT) throw Error(err::FileNotFound, "file not found: " + file.string());
    throw Error(err::PathFileAccess, "cannot read " + file.string() + ": " + Reason(error));
  }
  return fd;
}

// Everything `fd` holds, up to `limit` bytes (see ReadFile), in a std::string or FileBytes;
// `name` names it in messages.
template <class Bytes>
Bytes ReadAll(int fd, const std::string& name, size_t slack, size_t limit) {
  auto tooLarge = [&] { return TooLarge(name, limit); };
  // Read into a string sized from the file's length and the slack; a file that turns out
  // longer (or one whose length is not known, such as a pipe) grows it, but never past the
  // limit and the byte that tells the limit is passed.
  struct stat info {};
  size_t expected = ::fstat(fd, &info) == 0 && info.st_size > 0 ? size_t(info.st_size) : 0;
  if (expected > limit) throw tooLarge();
  const size_t most = limit < SIZE_MAX - slack - 1 ? limit + 1 + slack : SIZE_MAX;
  Bytes bytes;
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
    if constexpr (std::is_same_v<Bytes, FileBytes>) std::memset(bytes.data() + used, 0, slack);
  } catch (const std::bad_alloc&) {
    throw Error(err::OutOfMemory,
                "cannot read " + name + ": out of memory after " + std::to_string(used) + " bytes");
  }
  return bytes;
}

}  // namespace

void FileBytes::resize(size_t size) {
  if (size > capacity_) reserve(size);
  size_ = size;
}

void FileBytes::reserve(size_t capacity) {
  if (capacity <= capacity_) return;
  std::unique_ptr<char[]> larger(new char[capacity]);
  if (size_) std::memcpy(larger.get(), bytes_.get(), size_);
  bytes_ = std::move(larger);
  capacity_ = capacity;
}

namespace {

template <class Bytes>
Bytes ReadWhole(const std::filesystem::path& file, size_t slack, size_t limit) {
  int fd = OpenToRead(file);
  try {
    Bytes bytes = ReadAll<Bytes>(fd, file.string(), slack, limit);
    ::close(fd);
    return bytes;
  } catch (...) {
    ::close(fd);
    throw;
  }
}

}  // namespace

FileReader::FileReader(const std::filesystem::path& file, size_t limit)
    : fd_(OpenToRead(file)), name_(file.string()), limit_(limit) {
  struct stat info {};
  if (::fstat(fd_, &info) == 0 && info.st_size > 0 && size_t(info.st_size) > limit) {
    ::close(fd_);
    throw TooLarge(name_, limit);
  }
}

FileReader::~FileReader() {
  ::close(fd_);
}

size_t FileReader::Read(char* into, size_t room) {
  for (;;) {
    ssize_t n = ::read(fd_, into, room);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw Error(err::PathFileAccess, "cannot read " + name_ + ": " + Reason(errno));
    read_ += size_t(n);
    if (read_ > limit_) throw TooLarge(name_, limit_);
    return size_t(n);
  }
}

std::string ReadFile(const std::filesystem::path& file, size_t slack, size_t limit) {
  return ReadWhole<std::string>(file, slack, limit);
}

FileBytes ReadFileBytes(const std::filesystem::path& file, size_t slack, size_t limit) {
  return ReadWhole<FileBytes>(file, slack, limit);
}

std::string ReadStandardInput(size_t slack, size_t limit) {
  return ReadAll<std::string>(STDIN_FILENO, "standard input", slack, limit);
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
}  // namespace

namespace detail {

struct StagedFile {
  fs::path target;  // as the plug-in or host named it
  Destination to;
  std::string key;                 // the same for every name of one file
  std::unique_ptr<TempFile> temp;  // null for a target written directly at the commit
  std::string bytes;               // what a direct target gets
  OutputMark sequence = 0;
  OutputMark supersededBy = 0;  // a later staging of the same file, 0 while this one counts
};

struct OpenTransaction {
  std::vector<StagedFile> files;
  std::vector<std::string> failures;
  std::string onlyExport;  // the key of an export file written directly, when it is one
  std::vector<fs::path> discarded;
  OutputMark next = 1;
};

}  // namespace detail

namespace {

using detail::OpenTransaction;
using detail::StagedFile;

// The transaction open in the run context installed, or nullptr.
OpenTransaction* Current() {
  return RunContext::Current().State().transaction;
}

// What tells two names of one file apart from two files: the device and inode of a file that
// exists, else the path with every link of its folders resolved.
std::string OutputKey(const Destination& to) {
  struct stat st {};
  if (::stat(to.real.c_str(), &st) == 0)
    return "#" + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
  std::error_code ec;
  fs::path path = fs::weakly_canonical(to.real, ec);
  if (ec) path = fs::absolute(to.real, ec).lexically_normal();
  return path.string();
}

// The key of a place, or "" when nothing could be written there.
std::string KeyOf(const fs::path& target) {
  try {
    return OutputKey(Resolve(target));
  } catch (const Error&) {
    return {};
  }
}

// A plug-in's file (`replaces`) may be staged again, replacing what was staged for it; the
// host's own files may not share a file with any other of the run.
void StageInto(OpenTransaction& t, const fs::path& target, const OutputWriter& write,
               bool replaces) {
  StagedFile file{target, {}, {}, nullptr, {}, t.next, 0};
  file.temp = OpenFor(target, file.to, write);
  file.key = OutputKey(file.to);
  if (!replaces)
    for (const StagedFile& earlier : t.files)
      if (!earlier.supersededBy && earlier.key == file.key)
        CannotWrite(target, "another output of this run, " + earlier.target.string() +
                                ", is the same file");
  if (file.temp)
    file.temp->Fill(file.to.real, write);
  else
    file.bytes = Gathered(write);
  // A second staging of the same file replaces the first. The first is kept aside, not
  // removed, so that dropping the set the second belongs to brings the first back.
  for (StagedFile& earlier : t.files)
    if (!earlier.supersededBy && earlier.key == file.key) earlier.supersededBy = file.sequence;
  ++t.next;
  t.files.push_back(std::move(file));
}

// A file the commit has put in place, and what was there before it.
struct Placed {
  fs::path real;
  std::string kept;  // the earlier file under a hidden name beside it; "" when there was none
  Guard guard;       // undoes the placing when the program is interrupted during the commit
};

// Keeps the earlier file at `real` as ".NAME.old-PID-N" beside it: a second link to it where
// the file system has links, else the file itself moved aside.
std::string KeepAside(const fs::path& target, const fs::path& real, Guard& guard) {
  const std::string stem = (FolderOf(real) / ("." + real.filename().string() + ".old-")).string() +
                           std::to_string(::getpid()) + "-";
  for (int n = 0;; ++n) {
    const std::string kept = stem + std::to_string(n);
    guard.Remove(kept);
    if (::link(real.c_str(), kept.c_str()) == 0) return kept;
    if (errno == EEXIST && n < 1000) continue;
    guard.RestoreTo(real.string());
    if (::rename(real.c_str(), kept.c_str()) == 0) return kept;
    int error = errno;
    guard.Clear();
    CannotWrite(target, Reason(error));
  }
}

// Renames a staged file over its target, keeping the earlier file until the commit is done.
void Place(StagedFile& f, std::vector<Placed>& placed) {
  const fs::path& real = f.to.real;
  struct stat st {};
  const bool earlier = ::lstat(real.c_str(), &st) == 0;
  if (earlier && S_ISDIR(st.st_mode)) CannotWrite(f.target, "it is a folder");
  Placed p{real, {}, {}};
  if (earlier) p.kept = KeepAside(f.target, real, p.guard);
  if (int error = f.temp->RenameTo(real)) {
    if (!p.kept.empty()) {
      ::rename(p.kept.c_str(), real.c_str());  // a no-op for a second link, which goes next
      ::unlink(p.kept.c_str());
    }
    CannotWrite(f.target, Reason(error));
  }
  if (p.kept.empty())
    p.guard.Remove(real.string(), true);
  else
    p.guard.RestoreTo(real.string());
  placed.push_back(std::move(p));
  SyncFolder(f.target, FolderOf(real));
}

void PutBack(Placed& p) {
  if (p.kept.empty()) {
    ::unlink(p.real.c_str());
  } else if (::rename(p.kept.c_str(), p.real.c_str()) == 0) {
    SyncFolder(p.real, FolderOf(p.real));
  }
  p.guard.Clear();
}

}  // namespace

void WriteOutputFile(const fs::path& target, std::string_view bytes) {
  if (!Current()) return WriteFileAtomically(target, bytes);
  WriteOutputFileWith(target, WriteBytes(bytes));
}

void WriteOutputFileWith(const fs::path& target, const OutputWriter& write) {
  OpenTransaction* t = Current();
  if (!t) return WriteFileAtomicallyWith(target, write);
  if (!t->onlyExport.empty() && KeyOf(target) != t->onlyExport) {
    NullSink nowhere;
    write(nowhere);
    t->discarded.push_back(target);
    return;
  }
  try {
    StageInto(*t, target, write, true);
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

bool IsStandardOutput(const fs::path& target) {
  struct stat st {};
  return ::stat(target.c_str(), &st) == 0 && StandardStreamOf(st) == 1;
}

bool IsWrittenDirectly(const fs::path& target) {
  try {
    return Resolve(target).direct;
  } catch (const Error&) {
    return false;
  }
}

bool OnKernelFileSystem(int fd) {
  struct statfs info {};
  if (::fstatfs(fd, &info) != 0) return true;
  for (auto type : {PROC_SUPER_MAGIC, SYSFS_MAGIC, DEBUGFS_MAGIC, TRACEFS_MAGIC, SECURITYFS_MAGIC,
                    CGROUP2_SUPER_MAGIC})
    if (info.f_type == static_cast<decltype(info.f_type)>(type)) return true;
  return false;
}

bool SameOutputFile(const fs::path& a, const fs::path& b) {
  const std::string key = KeyOf(a);
  return !key.empty() && key == KeyOf(b);
}

OutputTransaction::OutputTransaction() : OutputTransaction(RunContext::Current()) {}

OutputTransaction::OutputTransaction(RunContext& context) : context_(context) {
  OpenTransaction*& open = context_.State().transaction;
  if (open) throw Error(err::InvalidProcedureCall, "an output transaction is already open");
  open = new OpenTransaction;
}

OutputTransaction::~OutputTransaction() {
  OpenTransaction*& open = context_.State().transaction;
  delete open;
  open = nullptr;
}

OpenTransaction& OutputTransaction::Open() const {
  return *context_.State().transaction;
}

void OutputTransaction::SetExportFile(const fs::path& file) {
  Open().onlyExport = IsWrittenDirectly(file) ? KeyOf(file) : std::string();
}

void OutputTransaction::Stage(const fs::path& target, std::string_view bytes) {
  StageInto(Open(), target, WriteBytes(bytes), false);
}

void OutputTransaction::StageWith(const fs::path& target, const OutputWriter& write) {
  StageInto(Open(), target, write, false);
}

void OutputTransaction::Commit(const std::function<void()>& last) {
  OpenTransaction& t = Open();
  // Every file is complete on the disk already: the renames go first, each earlier file kept
  // until the last is in place, then the devices and `last`. A failure puts the earlier files
  // back.
  std::vector<StagedFile> files = std::move(t.files);
  t.files.clear();
  std::vector<Placed> placed;
  placed.reserve(files.size());
  committing = true;
  try {
    for (StagedFile& f : files)
      if (!f.supersededBy && f.temp) Place(f, placed);
    for (StagedFile& f : files)
      if (!f.supersededBy && !f.temp) WriteDirectly(f.to.real, f.bytes);
    if (last) last();
  } catch (...) {
    for (auto p = placed.rbegin(); p != placed.rend(); ++p)
      PutBack(*p);
    committing = false;
    throw;
  }
  committing = false;
  for (Placed& p : placed) {
    if (!p.kept.empty()) ::unlink(p.kept.c_str());
    p.guard.Clear();
  }
}

void OutputTransaction::Rollback() {
  Open().files.clear();
}

std::vector<fs::path> OutputTransaction::StagedTargets() const {
  std::vector<fs::path> out;
  for (const StagedFile& f : Open().files)
    if (!f.supersededBy) out.push_back(f.target);
  return out;
}

const std::vector<std::string>& OutputTransaction::Failures() const {
  return Open().failures;
}

const std::vector<fs::path>& OutputTransaction::Discarded() const {
  return Open().discarded;
}

}  // namespace vlm
