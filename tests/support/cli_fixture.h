// The fixtures of the command-line tests: a home folder of their own with the plug-ins they
// run registered, and small pictures for the textures the exports name.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>

#include "support/registered_plugins.h"
#include "support/temp_home.h"
#include "support/vlmhost.h"

namespace vlm::test {

// Obverse registered in a home folder of the test's own.
class Cli : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NO_THROW(RegisterPlugins({"libobverse.so"})); }
  std::string Out(const std::string& name) const { return (home.Path() / name).string(); }
  TempHome home;
};

// The exporters and the operation, besides Obverse.
class CliOutputs : public Cli {
 protected:
  void SetUp() override {
    Cli::SetUp();
    ASSERT_NO_THROW(
        RegisterPlugins({"libwingform.so", "libtrackline.so", "libflare.so", "libridgepull.so"}));
  }
  std::string Scene(const std::string& name, const std::string& groups) const {
    std::ofstream(Out(name)) << R"({"format": "vellum-scene", "version": 1, "root": {"groups": )"
                             << groups << "}}";
    return Out(name);
  }
  static constexpr const char* Wingform = "VLMPluginImportExport9.Wingform";
  static constexpr const char* Trackline = "VLMPluginImportExport9.Trackline";
};

// A file that starts as a picture of one pixel of the format given ("PNG", "DDS", "BMP",
// "TGA", "JPEG"), followed by `tail` so that pictures can be told apart.
inline std::string PictureBytes(const std::string& format, const std::string& tail = "") {
  using namespace std::string_literals;
  std::string head;
  if (format == "PNG")
    head = "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x01\0\0\0\x01\x08\x02\0\0\0"s;
  else if (format == "DDS")
    head = "DDS |\0\0\0\x07\x10\0\0\x01\0\0\0\x01\0\0\0"s;
  else if (format == "BMP")
    head = "BM\0\0\0\0\0\0\0\0\0\0\0\0(\0\0\0\x01\0\0\0\x01\0\0\0\x01\0\x18\0"s;
  else if (format == "TGA")
    head = "\0\0\x02\0\0\0\0\0\0\0\0\0\x01\0\x01\0\x18\0"s;
  else if (format == "JPEG")
    head = "\xff\xd8\xff\xe0\0\x10JFIF\0"s;
  return head + tail;
}

}  // namespace vlm::test
