// What the atomic writer shares with the readers and the output transaction (files.cpp).
#pragma once

#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "vlm/files.h"

namespace vlm::file_output {

std::string Reason(int error);

[[noreturn]] void CannotWrite(const std::filesystem::path& file, const std::string& reason);

class NullSink : public OutputSink {
 public:
  NullSink() : OutputSink(64 * 1024) {}

 private:
  void Take(std::string_view) override {}
  void TakeAt(uint64_t, std::string_view) override {}
  void TakeCopy(uint64_t, uint64_t) override {}
};

OutputWriter WriteBytes(std::string_view bytes);

// The whole content `write` makes, for a target written directly.
std::string Gathered(const OutputWriter& write);

// True while a commit is under way: the interrupt handler then renames kept files back.
extern std::atomic<bool> committing;

struct Undo;

// One entry of the list of files undone when the program is interrupted, given back when the
// guard goes.
class Guard {
 public:
  Guard() = default;
  ~Guard() { Clear(); }
  Guard(Guard&& other) noexcept : undo_(std::exchange(other.undo_, nullptr)) {}
  Guard& operator=(Guard&&) = delete;

  // `file` is removed when the program is interrupted (only during a commit when
  // `onlyInCommit`).
  void Remove(const std::string& file, bool onlyInCommit = false);
  // During a commit, the file is renamed back to `target` instead.
  void RestoreTo(const std::string& target);
  void Clear();

 private:
  static Undo* Take();
  Undo* undo_ = nullptr;
};

std::filesystem::path FolderOf(const std::filesystem::path& real);

// Flushes a folder so that a rename in it lasts.
void SyncFolder(const std::filesystem::path& target, const std::filesystem::path& folder);

// A temporary file ".NAME.tmp-XXXXXX" beside `real`, removed again unless it was renamed.
class TempFile {
 public:
  TempFile(const std::filesystem::path& target, const std::filesystem::path& real);
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // Writes the whole content, with the mode `real` has (or a new file's), and flushes it.
  void Fill(const std::filesystem::path& real, const OutputWriter& write);

  // Renames the file over `real`; errno when it cannot.
  int RenameTo(const std::filesystem::path& real);

  // Renames the file over `real` and flushes the folder so the rename lasts.
  void RenameOver(const std::filesystem::path& real);

 private:
  std::filesystem::path target_;
  std::filesystem::path folder_;
  std::string name_;
  int fd_ = -1;
  Guard guard_;
};

// 1 or 2 when `st` is the file standard output or standard error writes to, else -1.
int StandardStreamOf(const struct stat& st);

// Where the bytes for `target` go: the file at the end of its symbolic links, or the target
// itself when it is a device or pipe, or the file standard output or standard error already
// writes to, which is written to directly.
struct Destination {
  std::filesystem::path real;
  bool direct = false;
};

Destination Resolve(const std::filesystem::path& target);

// Writes to a device or pipe as it is, never truncated; to standard output or standard error
// through the program's own descriptor, after what was written there before.
void WriteDirectly(const std::filesystem::path& target, std::string_view bytes);

// Resolves the target and makes its temporary file (none for a direct target). When the
// target cannot be written, `write` runs first into nothing, so that a fault of the content is
// raised before the file's.
std::unique_ptr<TempFile> OpenFor(const std::filesystem::path& target, Destination& to,
                                  const OutputWriter& write);

}  // namespace vlm::file_output
