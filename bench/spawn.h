// Starting a command of the benchmarks in a process of its own, its output in a log file.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

namespace vlm::bench {

// Starts `command` (a program's full path, then its arguments) with standard output and
// error going to `log`, which it appends to or starts afresh; the child's pid, or -1.
inline pid_t SpawnLogged(const std::vector<std::string>& command, const std::filesystem::path& log,
                         bool append) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  const int out = open(log.c_str(), O_WRONLY | O_CREAT | (append ? O_APPEND : O_TRUNC), 0644);
  if (out < 0 || dup2(out, 1) < 0 || dup2(out, 2) < 0) _exit(127);
  std::vector<char*> argv;
  for (const std::string& a : command)
    argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  execv(argv[0], argv.data());
  _exit(127);
}

}  // namespace vlm::bench
