// Whole-file reads, atomic writes and the output transaction of one run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vlm {

// Bytes written in order, gathered in a buffer and handed on a chunk at a time (to a file, a
// string, or nowhere).
class OutputSink {
 public:
  virtual ~OutputSink();
  OutputSink(const OutputSink&) = delete;
  OutputSink& operator=(const OutputSink&) = delete;

  void Write(std::string_view bytes);
  void Write(char byte) {
    if (next_ == end_) Flush();
    *next_++ = byte;
  }
  // Room for `size` bytes (at most kMaxRoom) written by the caller, who hands back the end of
  // what it wrote to Wrote.
  static constexpr size_t kMaxRoom = 256;
  char* Room(size_t size) {
    if (static_cast<size_t>(end_ - next_) < size) Flush();
    return next_;
  }
  void Wrote(char* end) { next_ = end; }
  // Hands on what the buffer holds.
  void Flush();

  // How many bytes were written so far.
  uint64_t Position() const { return handed_ + static_cast<uint64_t>(next_ - buffer_.get()); }
  // Writes `bytes` over those written earlier at `offset`: a part of the content that could
  // only be made once later parts were known. Every byte replaced must have been written.
  void Rewrite(uint64_t offset, std::string_view bytes);
  // Writes again, at the end, the `size` bytes written earlier at `offset`. A file copies them
  // within the kernel, so the writer need not keep or make them twice.
  void Repeat(uint64_t offset, uint64_t size);

 protected:
  explicit OutputSink(size_t capacity);
  virtual void Take(std::string_view bytes) = 0;
  // What Rewrite and Repeat do once the buffer is handed on: those of a sink that cannot go
  // back raise error 5.
  virtual void TakeAt(uint64_t offset, std::string_view bytes);
  virtual void TakeCopy(uint64_t offset, uint64_t size);

 private:
  std::unique_ptr<char[]> buffer_;
  char* next_;
  char* end_;
  uint64_t handed_ = 0;  // bytes handed on before those the buffer holds
};

// A sink that gathers everything in a string.
class StringSink : public OutputSink {
 public:
  StringSink();
  // Everything written so far.
  std::string& Text();

 private:
  void Take(std::string_view bytes) override;
  void TakeAt(uint64_t offset, std::string_view bytes) override;
  void TakeCopy(uint64_t offset, uint64_t size) override;
  std::string text_;
};

// Writes a file's content into the sink it is given.
using OutputWriter = std::function<void(OutputSink&)>;

// Writes `bytes` to a temporary file beside `target` (".NAME.tmp-XXXXXX"), flushes it and
// renames it over the target. A target reached through symbolic links updates the file at the
// end of them (the links stay). A device or pipe, and the file standard output or standard
// error already writes to, is written to directly and never truncated (the standard streams
// through the program's own descriptor, after what they hold). A failure raises vlm::Error
// (75) naming the file and the reason and leaves any earlier file as it was. Temporary files
// are removed when the program is stopped by SIGINT or SIGTERM.
void WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes);
// The same for content written as it is made: `write` fills the temporary file through a
// buffer. An error raised by `write` is raised in place of any failure of the file (that
// failure is raised after `write` is done) and the temporary file is removed. A device or pipe
// gets the content once `write` has finished.
void WriteFileAtomicallyWith(const std::filesystem::path& target, const OutputWriter& write);
// Whether a file could be written at `target` now: vlm::Error (75) naming it when it is a
// folder, or its folder does not exist or cannot be written; (52) for an empty name. Writes
// nothing.
void CheckOutputTarget(const std::filesystem::path& target);
// Reads a whole file; vlm::Error (53 when missing, 75 otherwise) naming it. The string keeps
// at least `slack` bytes of capacity past its end, for a parser that reads ahead in blocks.
// A file larger than `limit` bytes is refused (error 7, naming the file and the limit) once
// that much is read, so an endless one (/dev/zero, a pipe that never closes) stops there;
// running out of memory while reading is error 7 naming the file too.
std::string ReadFile(const std::filesystem::path& file, size_t slack = 0, size_t limit = SIZE_MAX);
// The same for standard input ("standard input" in messages).
std::string ReadStandardInput(size_t slack = 0, size_t limit = SIZE_MAX);

// A file's bytes in a buffer that is never filled with anything but them: what a large read
// keeps, without the string's zero-filling of memory the read fills anyway. The `slack` bytes
// past the end are zeros.
class FileBytes {
 public:
  FileBytes() = default;
  const char* data() const { return bytes_.get(); }
  char* data() { return bytes_.get(); }
  size_t size() const { return size_; }
  size_t capacity() const { return capacity_; }
  std::string_view View() const { return {bytes_.get(), size_}; }
  // Holds `size` bytes: those it held are kept, new ones are unset until written.
  void resize(size_t size);
  void reserve(size_t capacity);

 private:
  std::unique_ptr<char[]> bytes_;
  size_t size_ = 0, capacity_ = 0;
};
// ReadFile into FileBytes.
FileBytes ReadFileBytes(const std::filesystem::path& file, size_t slack = 0,
                        size_t limit = SIZE_MAX);

// A file read a piece at a time, for a parser that keeps only what it has not used yet.
// Opening and reading fail as ReadFile does, naming the file, and so does a file larger than
// `limit` (told by its length when it is opened, or once that much has been read).
class FileReader {
 public:
  explicit FileReader(const std::filesystem::path& file, size_t limit = SIZE_MAX);
  ~FileReader();
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;
  // Up to `room` more bytes into `into`; 0 at the end of the file.
  size_t Read(char* into, size_t room);
  const std::string& Name() const { return name_; }

 private:
  int fd_;
  std::string name_;
  size_t limit_, read_ = 0;
};

// Whether `target` is the file standard output writes to (its device and inode), whatever
// its name: /dev/stdout, /proc/self/fd/1, or the file standard output is redirected to.
bool IsStandardOutput(const std::filesystem::path& target);
// Whether `target` is written directly, not replaced: a device, a pipe, a standard stream.
bool IsWrittenDirectly(const std::filesystem::path& target);
// Whether two names reach one file, through links of the file or its folders, or hard links.
bool SameOutputFile(const std::filesystem::path& a, const std::filesystem::path& b);
// Whether an open file lives on a file system of the kernel's own making (/proc, /sys and their
// kin): "regular" files there may be endless (/proc/kcore) or tell secrets, so no file a scene
// or model names is read from one. True also when it cannot be told.
bool OnKernelFileSystem(int fd);

// ---- the output transaction ---------------------------------------------------------------
// The files a plug-in produces for the user (exports) go through WriteOutputFile. While the
// host holds an OutputTransaction open in the run context installed, such a file is staged complete
// beside its target and only renamed into place by Commit, together with every other file of the
// run; without an open transaction it is written at once, as WriteFileAtomically does. A failed
// write is recorded in the transaction's Failures() and raised. Staging the same file again
// replaces what was staged for it before. Settings, registry and preset files are not outputs of a
// run: they keep WriteFileAtomically.
void WriteOutputFile(const std::filesystem::path& target, std::string_view bytes);
// The same for content written as it is made, as WriteFileAtomicallyWith writes it.
void WriteOutputFileWith(const std::filesystem::path& target, const OutputWriter& write);

// A point in the list of staged files. A plug-in that writes several files as one set takes
// a mark before the first and drops what it staged since the mark when one of them fails, so
// the set is committed whole or not at all.
using OutputMark = std::size_t;
OutputMark CurrentOutputMark();
void DropOutputsSince(OutputMark mark);

class RunContext;
namespace detail {
struct OpenTransaction;
}

class OutputTransaction {
 public:
  // Opens the transaction of the run context given, or installed (one at a time in each).
  OutputTransaction();
  explicit OutputTransaction(RunContext& context);
  ~OutputTransaction();  // rolls back what was not committed
  OutputTransaction(const OutputTransaction&) = delete;
  OutputTransaction& operator=(const OutputTransaction&) = delete;

  // When the export file is written directly (a device, a pipe, standard output), the export
  // writes only it: any other file the plug-in writes (numbered parts, side files) is
  // discarded and listed in Discarded().
  void SetExportFile(const std::filesystem::path& file);

  // Stages a file of the host's own (the scene, a picture) in the same transaction; vlm::Error
  // (75) when any other file of the run is the same file.
  void Stage(const std::filesystem::path& target, std::string_view bytes);
  // The same for content written as it is made, as WriteFileAtomicallyWith writes it.
  void StageWith(const std::filesystem::path& target, const OutputWriter& write);
  // Renames every staged file into place, then writes the devices and calls `last` (which
  // may write to a stream of the host's). Each earlier file is kept under a hidden name beside
  // its target (".NAME.old-PID-N") until every step has succeeded; when one fails, they are
  // put back, and vlm::Error names the file. SIGINT or SIGTERM during the commit puts them back
  // too.
  void Commit(const std::function<void()>& last = nullptr);
  // Removes every staged file; earlier files stay as they were.
  void Rollback();

  // The targets staged so far, in order, and the write failures the plug-in met (each the
  // error's description), so the host can tell a run that wrote nothing from one that failed.
  std::vector<std::filesystem::path> StagedTargets() const;
  const std::vector<std::string>& Failures() const;
  const std::vector<std::filesystem::path>& Discarded() const;

 private:
  detail::OpenTransaction& Open() const;
  RunContext& context_;
};

}  // namespace vlm
