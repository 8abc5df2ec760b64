// One case of a benchmark run once in a process of its own, for the table `make bench`
// prints (bench/bench_table.cpp): the work's CPU and wall-clock seconds go to standard output
// on a line of their own, the process's peak resident size is read by the runner.
#pragma once

#include <sys/resource.h>
#include <chrono>
#include <cstdio>

namespace vlm::bench {

// The line the runner looks for: "@measured CPU WALL", both in seconds.
inline constexpr const char* kMeasuredTag = "@measured";

inline double CpuSeconds() {
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Runs `work` once and prints how long it took.
template <class Work>
void MeasureOnce(Work work) {
  const double cpu = CpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  work();
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%s %.4f %.4f\n", kMeasuredTag, CpuSeconds() - cpu, wall);
  std::fflush(stdout);
}

}  // namespace vlm::bench
