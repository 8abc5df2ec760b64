// The child writes frames down a pipe: a kind byte, the payload's length (8 bytes, this
// machine's order: both ends are the same program) and the payload. The parent reads them as
// they come, so neither end waits on the other however large the scene, and shows the
// progress frames at once.
#include "exchange/model_reader_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <limits>
#include <new>
#include <optional>
#include <utility>

#include "scene/document_bytes.h"
#include "scene/scene_file.h"
#include "scene/scene_tree.h"
#include "vlm/error.h"
#include "vlm/progress.h"
#include "vlm/run_context.h"

namespace vlm::host {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

// The child's exit status when an allocation failed (no sanitizer uses it).
constexpr int kOutOfMemoryExit = 86;

// How often the parent looks at the child's clock and memory.
constexpr int kTickMs = 20;

enum Kind : char {
  kProgress = 'P',      // the fraction done (a double) and the task's name
  kProgressDone = 'F',  // the task is over
  kLog = 'L',           // one log line
  kTexture = 'T',       // the name's length (8 bytes), the name, the bytes
  kScene = 'S',         // the scene text: the read is done
  kDocument = 'D',      // the document as bytes (scene/document_bytes.h): the read is done
  kError = 'X',         // the error's number (4 bytes) and description: the read failed
};

constexpr size_t kHeader = 1 + sizeof(uint64_t);

// /proc/PID/statm: the pages mapped and the pages resident.
std::pair<uint64_t, uint64_t> Statm(const std::string& who) {
  std::ifstream in("/proc/" + who + "/statm");
  uint64_t size = 0, resident = 0;
  in >> size >> resident;
  const auto page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
  return {size * page, resident * page};
}

uint64_t Plus(uint64_t a, uint64_t b) {
  return a > std::numeric_limits<uint64_t>::max() - b ? std::numeric_limits<uint64_t>::max()
                                                      : a + b;
}

// ---- the child ------------------------------------------------------------------------------

class ChildPipe {
 public:
  explicit ChildPipe(int fd) : fd_(fd) {}

  void Send(Kind kind, std::string_view a, std::string_view b = {}) {
    char header[kHeader];
    header[0] = kind;
    const uint64_t length = a.size() + b.size();
    std::memcpy(header + 1, &length, sizeof length);
    Write({header, kHeader});
    Write(a);
    Write(b);
  }

 private:
  void Write(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t n = write(fd_, bytes.data(), bytes.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) _exit(1);  // the parent is gone
      bytes.remove_prefix(static_cast<size_t>(n));
    }
  }

  int fd_;
};

// Progress frames, at most one per thousandth of a task.
class PipeProgress final : public ProgressDisplay {
 public:
  explicit PipeProgress(ChildPipe& pipe) : pipe_(pipe) {}
  void Show(std::string_view task, double fraction) override {
    if (task == task_ && fraction < 1 && fraction - shown_ < 0.001) return;
    task_ = task, shown_ = fraction;
    pipe_.Send(kProgress, {reinterpret_cast<const char*>(&fraction), sizeof fraction}, task);
  }
  void Finish() override {
    task_.clear();
    pipe_.Send(kProgressDone, {});
  }

 private:
  ChildPipe& pipe_;
  std::string task_;
  double shown_ = 0;
};

[[noreturn]] void Child(int fd, const std::function<ImportedModel()>& reader,
                        const std::string& origin, const ReaderLimits& limits) {
  // Gone with the parent, and no core file when it crashes.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  rlimit core{0, 0};
  setrlimit(RLIMIT_CORE, &core);
  LimitAddressSpace(limits.memory);
  // The library catches what it is thrown, a failed allocation too: stop before it can.
  std::set_new_handler([] { _exit(kOutOfMemoryExit); });
  ChildPipe pipe(fd);
  // The child's copy of the context the import runs in reports its progress to the parent.
  RunContext::Current().SetProgressDisplay(std::make_shared<PipeProgress>(pipe));
  try {
    ImportedModel model = reader();
    for (const std::string& line : model.log)
      pipe.Send(kLog, line);
    for (const EmbeddedTexture& texture : model.textures) {
      const uint64_t length = texture.file.size();
      pipe.Send(kTexture,
                std::string(reinterpret_cast<const char*>(&length), sizeof length) + texture.file,
                texture.bytes);
    }
    if (!model.document) Raise(err::InvalidProcedureCall, origin + ": the model read as nothing");
    // The document as bytes, which the parent takes as they are; as scene text when it holds
    // what only the text carries faithfully.
    if (std::optional<std::string> bytes = DocumentBytes(*model.document)) {
      model.document.reset();
      pipe.Send(kDocument, *bytes);
    } else {
      pipe.Send(kScene, SerializeScene(*model.document, origin));
    }
  } catch (const Error& e) {
    const int32_t number = e.Number();
    pipe.Send(kError, {reinterpret_cast<const char*>(&number), sizeof number}, e.Description());
  } catch (const std::bad_alloc&) {
    _exit(kOutOfMemoryExit);
  } catch (const std::exception& e) {
    const int32_t number = err::InvalidProcedureCall;
    pipe.Send(kError, {reinterpret_cast<const char*>(&number), sizeof number},
              origin + ": the model cannot be read: " + e.what());
  }
  _exit(0);
}

// ---- the parent -----------------------------------------------------------------------------

// What came down the pipe so far.
class Received {
 public:
  explicit Received(const std::string& origin) : origin_(origin) {}

  void Add(const char* data, size_t size) {
    if (large_) {
      const size_t n = std::min(size, largeLength_ - large_->size());
      large_->append(data, n);
      if (large_->size() < largeLength_) return;
      if (largeKind_ == kScene || largeKind_ == kDocument)
        scene_.emplace(largeKind_, std::move(*large_));
      else
        Take(largeKind_, *large_);
      large_.reset();
      data += n, size -= n;
    }
    buffer_.append(data, size);
    size_t at = 0;
    while (buffer_.size() - at >= kHeader) {
      uint64_t length;
      std::memcpy(&length, buffer_.data() + at + 1, sizeof length);
      const size_t have = buffer_.size() - at - kHeader;
      if (have < length) {
        // A large frame (the scene) is gathered in a string of its own, sized once from its
        // header: no buffer grows to hold it and no copy of it is made.
        if (length >= kLargeFrame && length <= kMaxSceneFileSize) {
          largeKind_ = static_cast<Kind>(buffer_[at]);
          largeLength_ = length;
          large_.emplace();
          large_->reserve(length);
          large_->append(buffer_, at + kHeader, have);
          at = buffer_.size();
        }
        break;
      }
      Take(static_cast<Kind>(buffer_[at]), std::string_view(buffer_).substr(at + kHeader, length));
      at += kHeader + length;
    }
    buffer_.erase(0, at);
  }

  bool Done() const { return scene_.has_value() || error_.has_value(); }

  // The task shown again, so that a display that waits for work to outlast its delay shows
  // one the child is stuck in.
  void Tick() const {
    if (progress_) progress_->Report(fraction_, 1);
  }

  // The model, or the child's error raised.
  ImportedModel Result() {
    progress_.reset();
    if (error_) throw *error_;
    std::string().swap(buffer_);
    if (scene_->first == kDocument) {
      model_.document = DocumentFromBytes(scene_->second, origin_);
      scene_.reset();
    } else {
      model_.document = ParseSceneTaking(std::move(scene_->second), origin_);
    }
    return std::move(model_);
  }

 private:
  void Take(Kind kind, std::string_view payload) {
    switch (kind) {
      case kProgress:
        if (payload.size() >= sizeof(double)) {
          double fraction;
          std::memcpy(&fraction, payload.data(), sizeof fraction);
          const std::string_view task = payload.substr(sizeof fraction);
          if (!progress_ || task != task_) {
            progress_.reset();
            task_ = task;
            progress_ = std::make_unique<ProgressTask>(task_);
          }
          fraction_ = fraction;
          progress_->Report(fraction, 1);
        }
        break;
      case kProgressDone:
        progress_.reset();
        break;
      case kLog:
        model_.log.emplace_back(payload);
        break;
      case kTexture:
        if (payload.size() >= sizeof(uint64_t)) {
          uint64_t length;
          std::memcpy(&length, payload.data(), sizeof length);
          payload.remove_prefix(sizeof length);
          if (length <= payload.size())
            model_.textures.push_back(
                {std::string(payload.substr(0, length)), std::string(payload.substr(length))});
        }
        break;
      case kScene:
      case kDocument:
        scene_.emplace(kind, std::string(payload));
        break;
      case kError:
        if (payload.size() >= sizeof(int32_t)) {
          int32_t number;
          std::memcpy(&number, payload.data(), sizeof number);
          error_.emplace(number, std::string(payload.substr(sizeof number)));
        }
        break;
    }
  }

  // Frames from this size on are gathered apart from the buffer.
  static constexpr uint64_t kLargeFrame = 1 << 20;

  const std::string& origin_;
  std::string buffer_;
  std::optional<std::string> large_;  // the payload of a large frame, as far as it came
  Kind largeKind_ = kScene;
  uint64_t largeLength_ = 0;
  ImportedModel model_;
  std::optional<std::pair<Kind, std::string>> scene_;  // the document, as text or as bytes
  std::optional<Error> error_;
  std::string task_;
  double fraction_ = 0;
  std::unique_ptr<ProgressTask> progress_;
};

// Closes a descriptor when the scope ends.
struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd >= 0) close(fd);
  }
};

}  // namespace

uint64_t DefaultReaderMemory() {
  constexpr uint64_t kMost = uint64_t{8} << 30;
  const long pages = sysconf(_SC_PHYS_PAGES), page = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || page <= 0) return kMost;
  return std::min(kMost, static_cast<uint64_t>(pages) * static_cast<uint64_t>(page) / 2);
}

void LimitAddressSpace(uint64_t bytes) {
  if (kAddressSanitizer) return;
  rlimit limit{};
  if (getrlimit(RLIMIT_AS, &limit) != 0) return;
  rlim_t want = Plus(Statm("self").first, bytes);
  if (limit.rlim_cur != RLIM_INFINITY) want = std::min(want, limit.rlim_cur);
  limit.rlim_cur = want;
  setrlimit(RLIMIT_AS, &limit);
}

bool ReaderMemoryLimitIsHard() {
  return !kAddressSanitizer;
}

ImportedModel ReadInChildProcess(const std::function<ImportedModel()>& reader,
                                 const std::string& origin, const ReaderLimits& limits) {
  const auto fail = [&](const std::string& why) -> ImportedModel {
    Raise(err::InvalidProcedureCall, origin + ": the model cannot be read: " + why);
  };
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) fail(std::string("no pipe for its reader: ") + strerror(errno));
  Descriptor in{ends[0]}, out{ends[1]};
  // The child's resident memory starts at most at the parent's.
  const uint64_t memoryLimit = Plus(Statm("self").second, limits.memory);
  const pid_t child = fork();
  if (child < 0) fail(std::string("no process for its reader: ") + strerror(errno));
  if (child == 0) {
    close(in.fd);
    Child(out.fd, reader, origin, limits);
  }
  close(std::exchange(out.fd, -1));

  using Clock = std::chrono::steady_clock;
  const auto deadline =
      Clock::now() + std::chrono::duration_cast<Clock::duration>(
                         std::chrono::duration<double>(std::min(limits.seconds, 1e9)));
  const std::string who = std::to_string(child);
  Received received(origin);
  std::optional<std::string> killed;  // why the parent stopped the child
  bool open = true;
  int status = 0;
  auto looked = Clock::now();
  for (;;) {
    if (open) {
      pollfd p{in.fd, POLLIN, 0};
      if (poll(&p, 1, kTickMs) > 0) {
        char chunk[65536];
        const ssize_t n = read(in.fd, chunk, sizeof chunk);
        if (n > 0) received.Add(chunk, static_cast<size_t>(n));
        if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) open = false;
      }
    } else {
      const pid_t done = waitpid(child, &status, WNOHANG);
      if (done == child) break;
      if (done < 0 && errno != EINTR) break;
      usleep(kTickMs * 1000);
    }
    const auto now = Clock::now();
    if (now - looked < std::chrono::milliseconds(kTickMs)) continue;
    looked = now;
    received.Tick();
    std::optional<std::string> why;
    if (Statm(who).second > memoryLimit) why = "ran out of memory";
    if (now >= deadline) why = "took too long";
    if (why) {
      killed = why;
      kill(child, SIGKILL);
      while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
      }
      break;
    }
  }
  if (killed) return fail("its reader " + *killed);
  if (WIFEXITED(status) && WEXITSTATUS(status) == kOutOfMemoryExit)
    return fail("its reader ran out of memory");
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !received.Done())
    return fail("its reader crashed");
  return received.Result();
}

ImportedModel ImportModelInChildProcess(const std::filesystem::path& model,
                                        const ImportOptions& options, const ReaderLimits& limits) {
  return ReadInChildProcess([&] { return ImportModel(model, options); }, model.string(), limits);
}

ImportedModel ImportModelsInChildProcess(const std::vector<std::filesystem::path>& models,
                                         const ImportOptions& options, const ReaderLimits& limits) {
  return ReadInChildProcess([&] { return ImportModels(models, options); },
                            models.empty() ? std::string() : models.front().string(), limits);
}

}  // namespace vlm::host
