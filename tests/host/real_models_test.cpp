// Real models, as a user has them, through one batch job file to both simulators' formats with
// no script and no hand edit: glTF with its picture beside it, Collada in centimetres and Z up,
// FBX, untextured OBJ, PLY and STL, and an IFC house of 173 groups with long names.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/temp_home.h"
#include "support/vlmhost.h"
#include "vlm/files.h"

namespace vlm {
namespace {

namespace fs = std::filesystem;
using test::Vlmhost;

// A grey picture of one pixel.
const std::string kPng(
    "\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x01\x00\x00"
    "\x00\x01\x08\x02\x00\x00\x00\x90\x77\x53\xde\x00\x00\x00\x0c\x49\x44\x41\x54\x78\x9c\x63"
    "\x68\x68\x68\x00\x00\x03\x04\x01\x81\x4b\xd3\xd2\x10\x00\x00\x00\x00\x49\x45\x4e\x44\xae"
    "\x42\x60\x82",
    69);

nlohmann::json Inspect(const fs::path& file) {
  auto r = Vlmhost({"inspect", file.string(), "--json"}, "", " 2>/dev/null");
  EXPECT_EQ(r.status, 0) << file;
  return r.status == 0 ? nlohmann::json::parse(r.output) : nlohmann::json::object();
}

TEST(RealModels, OneJobFileMakesACheckedPackageOfEveryModel) {
  const fs::path library = "/usr/share/assimp/models";
  if (!fs::exists(library / "IFC")) GTEST_SKIP() << "Debian's assimp-testmodels is not installed";
  test::TempHome home;
  for (const char* library : {"libwingform.so", "libtrackline.so"})
    ASSERT_EQ(Vlmhost({"register", std::string(VLM_TEST_PLUGIN_DIR) + "/" + library}).status, 0);
  const fs::path models = home.Path() / "models";
  fs::create_directories(models);
  const std::vector<std::string> inputs = {"glTF2/BoxTextured-glTF/BoxTextured.gltf",
                                           "Collada/regr01.dae",
                                           "FBX/box.fbx",
                                           "OBJ/box.obj",
                                           "PLY/cube.ply",
                                           "STL/Spider_ascii.stl",
                                           "IFC/AC14-FZK-Haus.ifc"};
  for (const std::string& input : inputs)
    fs::copy_file(library / input, models / fs::path(input).filename());
  for (const char* file : {"BoxTextured0.bin", "CesiumLogoFlat.png"})
    fs::copy_file(library / "glTF2/BoxTextured-glTF" / file, models / file);
  // The pictures the Collada house names, and the one the untextured models are given.
  for (const char* file : {"default.png", "transp.png", "grey.png"})
    WriteFileAtomically(models / file, kPng);
  WriteFileAtomically(home.Path() / "jobs.json", R"({"jobs": [{
    "inputs": ["models/*.gltf", "models/*.dae", "models/*.fbx", "models/*.obj", "models/*.ply",
               "models/*.stl", "models/*.ifc"],
    "steps": [
      {"run": "wingform", "output": "out/{ext}/{stem}.obj", "copyTextures": true},
      {"run": "trackline", "output": "out/{ext}/{stem}.igs", "copyTextures": true,
       "ui": "txtDefTex=grey.png; chkShortNames=1; click cmdOK; click cmdCancel"}]}]})");

  auto r = Vlmhost({"batch", "jobs.json", "--report", "report.json"},
                   "cd " + host::ShellQuoted(home.Path().string()) + " && ");
  ASSERT_EQ(r.status, 0) << r.output;
  const auto report = nlohmann::json::parse(ReadFile(home.Path() / "report.json"));
  ASSERT_EQ(report["jobs"].size(), inputs.size()) << r.output;
  for (const auto& job : report["jobs"]) {
    const fs::path input = home.Path() / job["input"].get<std::string>();
    SCOPED_TRACE(input.filename().string());
    EXPECT_TRUE(job["status"] == "done" || job["status"] == "done with warnings") << job.dump(2);
    const std::string ext = input.extension().string().substr(1);
    const fs::path out = home.Path() / "out" / ext / input.stem();
    // Every triangle of the model is reachable from the IGS file's top blocks: read back as
    // a scene, the IGS file holds them all.
    const fs::path back = home.Path() / (input.stem().string() + "-" + ext + ".json");
    ASSERT_EQ(Vlmhost({"import", out.string() + ".igs", "-o", back.string()}).status, 0);
    EXPECT_EQ(Inspect(back)["triangles"], Inspect(input)["triangles"]);
    // Every texture the exports name is beside them.
    for (const char* format : {".obj", ".igs"}) {
      const nlohmann::json contents = Inspect(out.string() + format);
      for (const auto& material : contents["materials"])
        for (const auto& texture : material["textures"])
          EXPECT_TRUE(texture["exists"].get<bool>()) << format << ": " << texture.dump();
    }
  }
}

}  // namespace
}  // namespace vlm
