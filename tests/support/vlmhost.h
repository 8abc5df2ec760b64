// Runs the vlmhost program as a user would, for end-to-end tests.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "run/printing.h"

namespace vlm::test {

struct ProgramResult {
  int status;
  std::string output;  // standard output and standard error together, unless redirected
};

// What a shell command prints (with its own redirections) and its exit status.
inline ProgramResult RunShell(const std::string& command) {
  FILE* pipe = popen(command.c_str(), "r");
  std::string output;
  std::array<char, 4096> buffer{};
  size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    output.append(buffer.data(), n);
  int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

// A shell command's standard output and standard error together.
inline ProgramResult Shell(const std::string& command) {
  return RunShell(command + " 2>&1");
}

// `before` is shell text run ahead of the program (limits, traps), `after` its redirections.
inline ProgramResult Vlmhost(const std::vector<std::string>& args, const std::string& before = "",
                             const std::string& after = " 2>&1") {
  std::string command = before + "exec " + host::ShellQuoted(VLM_TEST_VLMHOST);
  for (const auto& a : args)
    command += " " + host::ShellQuoted(a);
  return RunShell(command + after);
}

}  // namespace vlm::test
