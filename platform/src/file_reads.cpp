// Whole-file reads, the bounded reader and the lock on a shared file.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <type_traits>
#include <utility>

#include "file_lock.h"
#include "file_output.h"
#include "vlm/error.h"
#include "vlm/files.h"

namespace vlm {

using file_output::Reason;

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
