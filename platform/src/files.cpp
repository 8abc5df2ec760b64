// Whole-file reads and atomic writes.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "file_lock.h"
#include "vlm/error.h"
#include "vlm/settings.h"

namespace vlm {

namespace {

std::string Reason(int error) {
  return std::strerror(error);
}

[[noreturn]] void CannotWrite(const std::filesystem::path& file, const std::string& reason) {
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

}  // namespace

void WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes) {
  std::string temp = target.string() + ".tmp-XXXXXX";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) CannotWrite(target, Reason(errno));

  // From here on the temporary file must not outlive a failure.
  auto fail = [&](int error) {
    if (fd >= 0) ::close(fd);
    ::unlink(temp.c_str());
    CannotWrite(target, Reason(error));
  };

  struct stat existing {};
  mode_t mode = ::stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)
                    ? existing.st_mode & 07777
                    : DefaultFileMode();
  if (::fchmod(fd, mode) != 0) fail(errno);
  if (!WriteAll(fd, bytes)) fail(errno);
  int closed = ::close(fd);
  fd = -1;
  if (closed != 0) fail(errno);
  if (::rename(temp.c_str(), target.c_str()) != 0) fail(errno);
}

std::string ReadFile(const std::filesystem::path& file) {
  int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    int error = errno;
    if (error == ENOENT) throw Error(err::FileNotFound, "file not found: " + file.string());
    throw Error(err::PathFileAccess, "cannot read " + file.string() + ": " + Reason(error));
  }
  std::string bytes;
  char buffer[64 * 1024];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      int error = errno;
      ::close(fd);
      throw Error(err::PathFileAccess, "cannot read " + file.string() + ": " + Reason(error));
    }
    bytes.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return bytes;
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
// For now every output is written at once; staging comes with the run transaction.
namespace vlm {

void WriteOutputFile(const std::filesystem::path& target, std::string_view bytes) {
  WriteFileAtomically(target, bytes);
}
OutputMark CurrentOutputMark() {
  return 0;
}
void DropOutputsSince(OutputMark) {}

OutputTransaction::OutputTransaction() = default;
OutputTransaction::~OutputTransaction() = default;
void OutputTransaction::Stage(const std::filesystem::path& target, std::string_view bytes) {
  WriteFileAtomically(target, bytes);
}
void OutputTransaction::Commit() {}
void OutputTransaction::Rollback() {}
std::vector<std::filesystem::path> OutputTransaction::StagedTargets() const {
  return {};
}
const std::vector<std::string>& OutputTransaction::Failures() const {
  static const std::vector<std::string> none;
  return none;
}

}  // namespace vlm
