// One case of a benchmark run once in a process of its own, for the table `make bench`
// prints (bench/bench_table.cpp): the work's CPU, wall-clock and kernel seconds and its minor
// page faults go to standard output on a line of their own, the process's peak resident size
// is read by the runner.
#pragma once

#include <sys/resource.h>
#include <chrono>
#include <cstdio>

namespace vlm::bench {

// The line the runner looks for: "@measured CPU WALL KERNEL FAULTS", the first three in
// seconds.
inline constexpr const char* kMeasuredTag = "@measured";

// The process's CPU and kernel seconds and minor page faults so far.
struct Usage {
  double cpu, kernel;
  long faults;
};
inline Usage UsageNow() {
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
  return {seconds(usage.ru_utime) + seconds(usage.ru_stime), seconds(usage.ru_stime),
          usage.ru_minflt};
}

// Runs `work` once and prints what it took.
template <class Work>
void MeasureOnce(Work work) {
  const Usage before = UsageNow();
  const auto start = std::chrono::steady_clock::now();
  work();
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const Usage after = UsageNow();
  std::printf("%s %.4f %.4f %.4f %ld\n", kMeasuredTag, after.cpu - before.cpu, wall,
              after.kernel - before.kernel, after.faults - before.faults);
  std::fflush(stdout);
}

}  // namespace vlm::bench
