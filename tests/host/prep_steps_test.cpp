// Every preparation step on real models leaves a scene the exporters take as well as before:
// what `vlmhost validate` finds an error in after a step, it found an error in before.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cli/scene_checks.h"
#include "exchange/model_import.h"
#include "prep/prep_step.h"
#include "scene/document.h"
#include "support/model_triangles.h"
#include "support/temp_home.h"

namespace vlm::host {
namespace {

namespace fs = std::filesystem;

// The number of error findings of each check, for both exporters.
std::map<std::string, size_t> Errors(const HostDocument& document, const fs::path& folder) {
  std::map<std::string, size_t> errors;
  for (ExportFormat format : {ExportFormat::Obj8, ExportFormat::Igs})
    for (const Finding& f : CheckForExport(document, ScopeOfSelection(document), format, folder))
      if (f.error) ++errors[f.check];
  return errors;
}

TEST(PrepSteps, EveryStepKeepsARealModelExportable) {
  // The house and a texture in one folder, so that the texture is named beside the model.
  test::TempHome models;
  fs::copy_file(test::kModels / "IFC/AC14-FZK-Haus.ifc", models.Path() / "house.ifc");
  fs::copy_file(fs::path(VLM_TEST_EXAMPLES_DIR) / "grey.png", models.Path() / "grey.png");
  const std::string grey = (models.Path() / "grey.png").string();
  const struct {
    const char* step;
    std::vector<std::string> options;
  } steps[] = {
      {"transform", {"up-axis=z", "scale=-1,1,1", "centre=xz", "ground"}},
      {"materials", {"untextured=" + grey, "merge-equal", "rename=m{n}"}},
      {"rename", {"to=part{n}"}},
      {"shorten", {"max=6", "plain"}},
      {"flatten", {}},
      {"merge", {}},
      {"split", {}},
      {"clean", {"weld=0.001"}},
      {"normals", {"smooth=40"}},
      {"lod", {"levels=50%@100,10%@300"}},
  };
  for (const fs::path& file : {test::kModels / "Collada/duck.dae", models.Path() / "house.ifc",
                               test::kModels / "OBJ/spider.obj"}) {
    const std::string model = file.filename().string();
    if (!fs::exists(file)) GTEST_SKIP() << "Debian's assimp-testmodels is not installed";
    for (const auto& step : steps) {
      SCOPED_TRACE(model + ": " + step.step);
      test::TempHome home;
      auto document = ImportModel(file).document;
      const auto before = Errors(*document, file.parent_path());
      std::ostringstream log;
      try {
        RunPrepStep(*document, step.step, step.options, file.parent_path(), log, {});
      } catch (const PrepNothingToDo&) {
        continue;  // nothing changed
      }
      for (const auto& [check, count] : Errors(*document, file.parent_path()))
        EXPECT_TRUE(before.contains(check)) << check << ": " << count << " new errors";
    }
  }
}

}  // namespace
}  // namespace vlm::host
