// What the fuzz targets share: the input as text, a check that stops the run with a message,
// and a scratch configuration folder for the readers that only read files.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>

namespace vlm::fuzz {

inline std::string_view Text(const uint8_t* data, size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// A broken property is a fault the fuzzer reports with the input: say which, then abort.
inline void Check(bool holds, const char* property, std::string_view detail = {}) {
  if (holds) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", property);
  std::fwrite(detail.data(), 1, detail.size(), stderr);
  std::fputc('\n', stderr);
  std::abort();
}

// A folder of this process's own, made on first use and removed at exit. It is also the
// configuration folder ($VLM_HOME), so nothing a target does reaches the user's settings.
inline const std::filesystem::path& ScratchFolder() {
  static const std::filesystem::path folder = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "vlm-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
      std::perror("mkdtemp");
      std::abort();
    }
    setenv("VLM_HOME", pattern.c_str(), 1);
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(ScratchFolder(), ignored);
    });
    return std::filesystem::path(pattern);
  }();
  return folder;
}

// Writes `bytes` to the file `name` of the scratch folder and returns its path.
inline std::filesystem::path WriteScratch(const std::string& name, std::string_view bytes) {
  const std::filesystem::path file = ScratchFolder() / name;
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  Check(static_cast<bool>(out.flush()), "the scratch file can be written", file.string());
  return file;
}

}  // namespace vlm::fuzz
