// The files Tether and Motive read, made afresh for one test: a plug-in folder with
// "tether.xml", a simulator folder with effect files and a part definitions file, and a
// machine registry (in a fresh $VLM_HOME) that points from the one to the other.
#pragma once

#include "support/vlmhost.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include "support/temp_home.h"

namespace vlm::test {

inline void WriteText(const std::filesystem::path& file, const std::string& text) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << text;
}

inline const char* const kTetherXml = R"(<?xml version="1.0" encoding="ISO-8859-1"?>
<tether>
  <effects key="SOFTWARE\Test\Sim" subkey="SetupPath" suffix="\effects"/>
  <parts key="SOFTWARE\Test\Sim SDK" subkey="SDKPath" suffix="\parts\modeldef.xml"/>
  <platforms><item name="CONCRETE"/><item name="GRASS"/><item name="WATER"/></platforms>
</tether>
)";

inline const char* const kModelDef = R"(<?xml version="1.0" encoding="ISO-8859-1"?>
<ModelInfo>
  <Animation name="gear" length="200" type="Sim" typeParam="AutoPlay" typeParam2="gear_pos"/>
  <Animation name="flap" length="100" type="Sim"/>
  <PartInfo><Name>gear</Name><Visibility/></PartInfo>
  <PartInfo><Name>beacon</Name><Visibility/><Visibility/><MouseRect/></PartInfo>
  <PartInfo><MouseRect/></PartInfo>
  <PartInfo><Name>handle</Name><MouseRect/></PartInfo>
</ModelInfo>
)";

struct TetherFiles {
  TempHome home;
  std::filesystem::path plugins = home.Path() / "plugins";
  std::filesystem::path sim = home.Path() / "sim";

  TetherFiles() {
    WriteText(plugins / "tether.xml", kTetherXml);
    WriteText(sim / "parts" / "modeldef.xml", kModelDef);
    for (const char* name : {"smoke.fx", "beacon.FX", "readme.txt", "landing.fx"})
      WriteText(sim / "effects" / name, "effect\n");
    WriteRegistry(sim.string(), sim.string());
  }

  // The two registry values tether.xml names (the setup and SDK paths).
  void WriteRegistry(const std::string& setupPath, const std::string& sdkPath) {
    WriteText(home.Path() / "machine.reg",
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test\\Sim]\n"
              "\"SetupPath\"=\"" +
                  setupPath +
                  "\"\n\n"
                  "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test\\Sim SDK]\n"
                  "\"SDKPath\"=\"" +
                  sdkPath + "\"\n");
  }
  void WriteModelDef(const std::string& text) { WriteText(sim / "parts" / "modeldef.xml", text); }
  void WriteTetherXml(const std::string& text) { WriteText(plugins / "tether.xml", text); }
};

// The FSMakeMdlData wrapper of a stored attachment text.
inline const std::string kWrapStart =
    "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?> <FSMakeMdlData version=\"9.0\"> ";
inline const std::string kWrapEnd = "</FSMakeMdlData>";

inline std::string Wrapped(const std::string& text) {
  return kWrapStart + text + kWrapEnd;
}

// The attachment text inside the stored wrapper; a failure when the wrapper is not there.
inline std::string Unwrapped(const std::string& stored) {
  if (stored.size() < kWrapStart.size() + kWrapEnd.size() || stored.rfind(kWrapStart, 0) != 0 ||
      stored.compare(stored.size() - kWrapEnd.size(), kWrapEnd.size(), kWrapEnd) != 0) {
    ADD_FAILURE() << "not wrapped: " << stored;
    return {};
  }
  return stored.substr(kWrapStart.size(), stored.size() - kWrapStart.size() - kWrapEnd.size());
}

// Runs vlmhost with the given (quoted) arguments: its exit status and its output.
// A fresh home whose machine registry points at the examples' simulator folder, with the
// plug-in library registered.
inline void UseExamples(const TempHome& home, const std::string& library) {
  const std::string sim = std::string(VLM_TEST_EXAMPLES_DIR) + "/fs10";
  WriteText(home.Path() / "machine.reg",
            "Windows Registry Editor Version 5.00\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vellum Examples\\FS10]\n"
            "\"SetupPath\"=\"" +
                sim +
                "\"\n"
                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vellum Examples\\FS10 SDK]\n"
                "\"SDKPath\"=\"" +
                sim + "\"\n");
  auto r = Vlmhost({"register", std::string(VLM_TEST_PLUGIN_DIR) + "/" + library});
  ASSERT_EQ(r.status, 0) << r.output;
}

}  // namespace vlm::test
