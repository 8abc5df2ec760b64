// The output transaction of one run: staging files, committing them together, undoing them.
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "file_output.h"
#include "run_state.h"
#include "vlm/error.h"
#include "vlm/files.h"
#include "vlm/run_context.h"

namespace vlm {
namespace {
namespace fs = std::filesystem;
}  // namespace

using file_output::CannotWrite;
using file_output::committing;
using file_output::Destination;
using file_output::FolderOf;
using file_output::Gathered;
using file_output::NullSink;
using file_output::OpenFor;
using file_output::Reason;
using file_output::Resolve;
using file_output::SyncFolder;
using file_output::TempFile;
using file_output::WriteBytes;
using file_output::WriteDirectly;

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
using file_output::Guard;  // not vlm::Guard, the function that catches errors

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
