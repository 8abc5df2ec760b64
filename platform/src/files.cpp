// Atomic whole-file writes, their undoing on an interrupt, and where output lands.
//
// A file is written complete to a temporary file beside its target (".NAME.tmp-XXXXXX"),
// flushed to the disk, and renamed over the target; the folder is flushed after the rename.
// A target reached through symbolic links is resolved first, so the file the link points to
// is updated and the link stays a link. Devices, pipes and the files the standard streams
// write to cannot be replaced: they are written to directly, never truncated.
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "file_output.h"
#include "vlm/error.h"
#include "vlm/files.h"

namespace vlm {

namespace file_output {

namespace fs = std::filesystem;

std::string Reason(int error) {
  return std::strerror(error);
}

[[noreturn]] void CannotWrite(const fs::path& file, const std::string& reason) {
  throw Error(err::PathFileAccess, "cannot write " + file.string() + ": " + reason);
}

namespace {

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

bool WriteAllAt(int fd, std::string_view bytes, uint64_t offset) {
  while (!bytes.empty()) {
    ssize_t n = ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
    offset += static_cast<uint64_t>(n);
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
  static constexpr size_t kChunk = size_t(4) << 20;
  // The disk is asked to start on what was written once this much has gathered, so that it
  // works while the writer makes the rest and the final flush waits only for the last part.
  static constexpr uint64_t kStartWriting = uint64_t(16) << 20;

  void Take(std::string_view bytes) override {
    if (!failure_ && !WriteAll(fd_, bytes)) failure_ = errno;
    Grown(bytes.size());
  }
  void TakeAt(uint64_t offset, std::string_view bytes) override {
    if (!failure_ && !WriteAllAt(fd_, bytes, offset)) failure_ = errno;
  }
  void TakeCopy(uint64_t offset, uint64_t size) override {
    const uint64_t total = size;
    // The kernel copies from the file into itself; where it cannot (another kind of file
    // system, an older kernel) the bytes are read back and written.
    while (!failure_ && size > 0) {
      loff_t from = static_cast<loff_t>(offset);
      ssize_t n = ::copy_file_range(fd_, &from, fd_, nullptr, size, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        if (n < 0 && errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
          failure_ = errno;
        else
          CopyByReading(offset, size);
        break;
      }
      offset += static_cast<uint64_t>(n);
      size -= static_cast<uint64_t>(n);
    }
    Grown(total);
  }
  void CopyByReading(uint64_t offset, uint64_t size) {
    std::unique_ptr<char[]> piece(new char[kChunk]);
    while (!failure_ && size > 0) {
      const ssize_t n =
          ::pread(fd_, piece.get(), std::min<uint64_t>(size, kChunk), static_cast<off_t>(offset));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        failure_ = n < 0 ? errno : EIO;
        break;
      }
      if (!WriteAll(fd_, {piece.get(), static_cast<size_t>(n)})) failure_ = errno;
      offset += static_cast<uint64_t>(n);
      size -= static_cast<uint64_t>(n);
    }
  }
  void Grown(uint64_t bytes) {
    size_ += bytes;
    if (failure_ || size_ - started_ < kStartWriting) return;
    ::sync_file_range(fd_, static_cast<off_t>(started_), static_cast<off_t>(size_ - started_),
                      SYNC_FILE_RANGE_WRITE);  // only a hint: the flush at the end is what counts
    started_ = size_;
  }
  int fd_;
  int failure_;
  uint64_t size_ = 0, started_ = 0;
};

}  // namespace

OutputWriter WriteBytes(std::string_view bytes) {
  return [bytes](OutputSink& sink) { sink.Write(bytes); };
}

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
std::atomic<bool> committing{false};

namespace {

std::atomic<Undo*> undoList{nullptr};
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

}  // namespace

void Guard::Remove(const std::string& file, bool onlyInCommit) {
  if (!undo_) undo_ = Take();
  Replace(undo_->file, {});
  Replace(undo_->restoreTo, {});
  undo_->onlyInCommit = onlyInCommit;
  Replace(undo_->file, file);
}

void Guard::RestoreTo(const std::string& target) {
  Replace(undo_->restoreTo, target);
}

void Guard::Clear() {
  if (!undo_) return;
  Replace(undo_->file, {});
  Replace(undo_->restoreTo, {});
  std::lock_guard lock(spareMutex);
  spareUndos.push_back(std::exchange(undo_, nullptr));
}

Undo* Guard::Take() {
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

fs::path FolderOf(const fs::path& real) {
  return real.parent_path().empty() ? fs::path(".") : real.parent_path();
}

void SyncFolder(const fs::path& target, const fs::path& folder) {
  int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return;
  // Some file systems cannot flush a folder (EINVAL); that is no failure of the write.
  bool flushed = ::fsync(dir) == 0 || errno == EINVAL;
  int error = errno;
  ::close(dir);
  if (!flushed) CannotWrite(target, Reason(error));
}

TempFile::TempFile(const fs::path& target, const fs::path& real) : target_(target) {
  folder_ = FolderOf(real);
  name_ = (folder_ / ("." + real.filename().string() + ".tmp-XXXXXX")).string();
  fd_ = ::mkstemp(name_.data());
  if (fd_ < 0) {
    int error = errno;
    name_.clear();
    if (error == ENOENT || error == ENOTDIR)
      CannotWrite(target, "the folder " + folder_.string() + " does not exist");
    CannotWrite(target, "the folder " + folder_.string() + " cannot be written: " + Reason(error));
  }
  try {
    guard_.Remove(name_);
  } catch (...) {
    ::close(fd_);
    ::unlink(name_.c_str());
    throw;
  }
}

TempFile::~TempFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!name_.empty()) ::unlink(name_.c_str());
}

void TempFile::Fill(const fs::path& real, const OutputWriter& write) {
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

int TempFile::RenameTo(const fs::path& real) {
  if (::rename(name_.c_str(), real.c_str()) != 0) return errno;
  name_.clear();
  guard_.Clear();
  return 0;
}

void TempFile::RenameOver(const fs::path& real) {
  if (int error = RenameTo(real)) CannotWrite(target_, Reason(error));
  SyncFolder(target_, folder_);
}

int StandardStreamOf(const struct stat& st) {
  for (int fd : {1, 2}) {
    struct stat stream {};
    if (::fstat(fd, &stream) == 0 && stream.st_dev == st.st_dev && stream.st_ino == st.st_ino)
      return fd;
  }
  return -1;
}

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

}  // namespace file_output

namespace fs = std::filesystem;

using file_output::Destination;
using file_output::Gathered;
using file_output::OpenFor;
using file_output::Resolve;
using file_output::StandardStreamOf;
using file_output::TempFile;
using file_output::WriteBytes;
using file_output::WriteDirectly;

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
  const auto size = static_cast<size_t>(next_ - buffer_.get());
  Take(std::string_view(buffer_.get(), size));
  handed_ += size;
  next_ = buffer_.get();
}

void OutputSink::Rewrite(uint64_t offset, std::string_view bytes) {
  if (offset > Position() || bytes.size() > Position() - offset)
    Raise(err::InvalidProcedureCall, "bytes past the end of an output cannot be rewritten");
  if (offset >= handed_) {
    std::memcpy(buffer_.get() + (offset - handed_), bytes.data(), bytes.size());
    return;
  }
  Flush();
  TakeAt(offset, bytes);
}

void OutputSink::Repeat(uint64_t offset, uint64_t size) {
  if (offset > Position() || size > Position() - offset)
    Raise(err::InvalidProcedureCall, "bytes past the end of an output cannot be repeated");
  if (size == 0) return;
  Flush();
  TakeCopy(offset, size);
  handed_ += size;
}

void OutputSink::TakeAt(uint64_t, std::string_view) {
  Raise(err::InvalidProcedureCall, "this output cannot go back to rewrite what it wrote");
}

void OutputSink::TakeCopy(uint64_t, uint64_t) {
  Raise(err::InvalidProcedureCall, "this output cannot go back to repeat what it wrote");
}

StringSink::StringSink() : OutputSink(64 * 1024) {}

std::string& StringSink::Text() {
  Flush();
  return text_;
}

void StringSink::Take(std::string_view bytes) {
  text_.append(bytes);
}

void StringSink::TakeAt(uint64_t offset, std::string_view bytes) {
  std::memcpy(text_.data() + offset, bytes.data(), bytes.size());
}

void StringSink::TakeCopy(uint64_t offset, uint64_t size) {
  text_.reserve(text_.size() + size);  // the copy's source stays where it is
  text_.append(text_.data() + offset, size);
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

}  // namespace vlm
