// A fresh configuration folder ($VLM_HOME) for one test, removed afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace vlm::test {

class TempHome {
 public:
  TempHome() {
    auto base = std::filesystem::temp_directory_path() / "vlm-test-XXXXXX";
    std::string pattern = base.string();
    char* made = mkdtemp(pattern.data());
    if (!made) throw std::runtime_error("cannot make a temporary folder");
    path_ = made;
    const char* old = std::getenv("VLM_HOME");
    if (old) old_ = old, hadOld_ = true;
    setenv("VLM_HOME", path_.c_str(), 1);
  }
  ~TempHome() {
    if (hadOld_)
      setenv("VLM_HOME", old_.c_str(), 1);
    else
      unsetenv("VLM_HOME");
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempHome(const TempHome&) = delete;
  TempHome& operator=(const TempHome&) = delete;
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::string old_;
  bool hadOld_ = false;
};

}  // namespace vlm::test
