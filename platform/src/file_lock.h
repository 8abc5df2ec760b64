// An exclusive advisory lock on a file, held for the lifetime of the object. Used to make a
// read-modify-write of a shared file (settings, the per-user registry) safe against another
// process doing the same at the same time.
#pragma once

#include <filesystem>

namespace vlm::detail {

class FileLock {
 public:
  // Creates the lock file and its folder if needed, then waits for the lock. vlm::Error (75)
  // naming the file when it cannot.
  explicit FileLock(const std::filesystem::path& lockFile);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace vlm::detail
