// vlmhost batch: the jobs run in child processes, a few at once, with progress and summary.
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <iomanip>
#include <map>
#include <sstream>
#include <thread>

#include "cli/batch_outcome.h"
#include "cli/progress_bar.h"
#include "vlm/progress.h"

namespace vlm::host::batch {

// The arguments of the command that runs one job by itself.
std::vector<std::string> JobArguments(const BatchOptions& options, const BatchJobList& list,
                                      const BatchJob& job) {
  std::vector<std::string> args = {options.program.string(), "batch", "--job", job.description};
  if (list.limitsGiven || options.maxMemory || options.timeout) {
    args.push_back("--max-memory");
    args.push_back(std::to_string(list.limits.memory));
    args.push_back("--timeout");
    std::ostringstream s;
    s << list.limits.seconds;
    args.push_back(s.str());
  }
  if (options.quiet) args.push_back("--quiet");
  return args;
}

namespace {

std::string ReadAll(int fd) {
  std::string out;
  lseek(fd, 0, SEEK_SET);
  char chunk[65536];
  for (ssize_t n; (n = read(fd, chunk, sizeof chunk)) > 0;)
    out.append(chunk, static_cast<size_t>(n));
  return out;
}

struct Child {
  size_t job;
  int out, err;  // memory files its standard output and error go to
  Clock::time_point started;
  std::string startedAt;
};

class Pool {
 public:
  Pool(const BatchOptions& options, const BatchJobList& list, std::vector<Outcome>& outcomes)
      : options_(options), list_(list), outcomes_(outcomes) {}

  // Starts the job's process; false (with the outcome saying why) when it cannot be started.
  bool Start(size_t job) {
    std::vector<std::string> args = JobArguments(options_, list_, list_.jobs[job]);
    args.insert(args.begin() + 2, {"--child", "--force"});
    std::vector<char*> argv;
    for (std::string& a : args)
      argv.push_back(a.data());
    argv.push_back(nullptr);
    const int out = memfd_create("vlmbatch-out", MFD_CLOEXEC);
    const int err = memfd_create("vlmbatch-err", MFD_CLOEXEC);
    const pid_t pid = out < 0 || err < 0 ? -1 : fork();
    if (pid == 0) {
      // Gone with the batch (SIGTERM takes away what the job staged).
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      dup2(out, STDOUT_FILENO);
      dup2(err, STDERR_FILENO);
      execv(argv[0], argv.data());
      _exit(127);
    }
    if (pid < 0) {
      if (out >= 0) close(out);
      if (err >= 0) close(err);
      Outcome& o = outcomes_[job] = Begin(list_.jobs[job]);
      o.status = "failed";
      o.messages = {std::string("error: no process for the job: ") + std::strerror(errno)};
      return false;
    }
    running_.emplace(pid, Child{job, out, err, Clock::now(), Now()});
    return true;
  }

  size_t Running() const { return running_.size(); }

  // Waits up to `wait` for a job to end; the job's index, if one did.
  std::optional<size_t> Reap(std::chrono::milliseconds wait) {
    const auto until = Clock::now() + wait;
    for (;;) {
      int status = 0;
      const pid_t pid = waitpid(-1, &status, WNOHANG);
      if (pid > 0 && running_.count(pid)) return Finished(pid, status);
      if (Clock::now() >= until || running_.empty()) return std::nullopt;
      usleep(1000);
    }
  }

  // Stops every job still running (their staged files are taken away).
  void StopAll() {
    for (const auto& [pid, child] : running_)
      kill(pid, SIGTERM);
    while (!running_.empty()) {
      int status = 0;
      const pid_t pid = waitpid(-1, &status, 0);
      if (pid < 0 && errno != EINTR) break;
      if (pid > 0 && running_.count(pid)) {
        const size_t job = Finished(pid, status);
        outcomes_[job].status = "not run";
        outcomes_[job].exitStatus.reset();
        outcomes_[job].messages.push_back("stopped by --fail-fast");
      }
    }
  }

 private:
  size_t Finished(pid_t pid, int status) {
    const Child child = running_.at(pid);
    running_.erase(pid);
    const std::string out = ReadAll(child.out), err = ReadAll(child.err);
    close(child.out);
    close(child.err);
    const BatchJob& job = list_.jobs[child.job];
    Outcome& o = outcomes_[child.job];
    if (auto reported = FromJson(out); reported && WIFEXITED(status)) {
      o = std::move(*reported);
      return child.job;
    }
    o = Begin(job);
    o.started = child.startedAt;
    o.seconds = std::chrono::duration<double>(Clock::now() - child.started).count();
    o.status = "failed";
    o.messages = Lines(err);
    if (WIFSIGNALED(status))
      o.messages.push_back("error: " + job.input.string() +
                           ": the job's process was stopped by "
                           "signal " +
                           std::to_string(WTERMSIG(status)) + " (" + strsignal(WTERMSIG(status)) +
                           ")");
    else
      o.exitStatus = WEXITSTATUS(status);
    return child.job;
  }

  const BatchOptions& options_;
  const BatchJobList& list_;
  std::vector<Outcome>& outcomes_;
  std::map<pid_t, Child> running_;
};

std::string Minutes(double seconds) {
  const long s = std::lround(seconds);
  std::ostringstream out;
  out << s / 60 << ":" << std::setw(2) << std::setfill('0') << s % 60;
  return out.str();
}

}  // namespace

void PrintSummary(const std::vector<Outcome>& outcomes, double seconds, std::ostream& out) {
  std::map<std::string, int> counts;
  size_t width = 5, statusWidth = 13;
  for (const Outcome& o : outcomes) {
    width = std::max(width, o.input.size());
    statusWidth = std::max(statusWidth, o.status.size() + 1);
  }
  width = std::min<size_t>(width, 60);
  out << std::left << std::setw(static_cast<int>(statusWidth)) << "status" << std::right
      << std::setw(8) << "seconds"
      << "  " << std::left << std::setw(static_cast<int>(width)) << "input"
      << "  outputs\n";
  for (const Outcome& o : outcomes) {
    ++counts[o.status];
    std::string outputs;
    for (const std::string& file : o.outputs)
      outputs += (outputs.empty() ? "" : " ") + file;
    out << std::left << std::setw(static_cast<int>(statusWidth)) << o.status << std::right
        << std::setw(8) << std::fixed << std::setprecision(2) << o.seconds << "  " << std::left
        << std::setw(static_cast<int>(width)) << o.input << "  " << outputs << "\n";
  }
  out << outcomes.size() << " job" << (outcomes.size() == 1 ? "" : "s") << ":";
  const char* sep = " ";
  for (const auto& [status, n] : counts) {
    out << sep << n << " " << status;
    sep = ", ";
  }
  out << " in " << std::fixed << std::setprecision(1) << seconds << " s\n";
  out.unsetf(std::ios::floatfield);
}

namespace {

// The bar's line: jobs done, failed and skipped of all, and the time left at the pace so far.
void ShowProgress(ProgressDisplay* bar, const std::vector<Outcome>& outcomes, size_t finished,
                  size_t ran, double elapsed, size_t toRun) {
  if (!bar) return;
  size_t done = 0, failed = 0, skipped = 0;
  for (const Outcome& o : outcomes)
    done += o.Done(), failed += o.Failed(), skipped += o.status == "skipped";
  std::ostringstream text;
  text << done << " done " << failed << " failed " << skipped << " skipped";
  if (ran > 0 && toRun > ran) text << " " << Minutes(elapsed / ran * (toRun - ran)) << " left";
  bar->Show(text.str(), outcomes.empty() ? 1.0 : double(finished) / outcomes.size());
}

// A job's messages as it ends, each naming its input after its kind when it does not already:
// "warning: in/a.json: step 1, wingform: ...".
void PrintMessages(const Outcome& o, std::ostream& err) {
  for (const std::string& m : o.messages) {
    size_t at = 0;
    for (const char* kind : {"error: ", "warning: ", "nothing done: "})
      if (m.starts_with(kind)) at = std::strlen(kind);
    err << (m.find(o.input) != std::string::npos ? m
                                                 : m.substr(0, at) + o.input + ": " + m.substr(at))
        << "\n";
  }
}

}  // namespace

// Runs the jobs of `queue` in processes of their own, `--jobs` at once, with the progress bar;
// a job's messages are printed as it ends when it failed or was done with warnings.
void RunJobs(const BatchOptions& options, const BatchJobList& list, std::deque<size_t> queue,
             std::vector<Outcome>& outcomes, Clock::time_point start, std::ostream& err) {
  const unsigned width =
      options.jobs ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
  auto bar = ProgressBarFor(options.quiet);
  Pool pool(options, list, outcomes);
  const size_t toRun = queue.size();
  size_t finished = list.jobs.size() - toRun, ran = 0;
  bool stopping = false;
  while (!queue.empty() || pool.Running() > 0) {
    while (!stopping && !queue.empty() && pool.Running() < width) {
      const size_t job = queue.front();
      queue.pop_front();
      if (!pool.Start(job)) ++finished, ++ran;
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    ShowProgress(bar.get(), outcomes, finished, ran, elapsed, toRun);
    if (stopping && queue.empty() && pool.Running() == 0) break;
    const auto job = pool.Reap(std::chrono::milliseconds(100));
    if (!job) continue;
    ++finished, ++ran;
    const Outcome& o = outcomes[*job];
    if (o.Failed() || o.status == "done with warnings") {
      if (bar) bar->Finish();
      PrintMessages(o, err);
    }
    if (o.Failed() && options.failFast && !stopping) {
      stopping = true;
      queue.clear();
      pool.StopAll();
    }
  }
  if (bar) bar->Finish();
}

}  // namespace vlm::host::batch
