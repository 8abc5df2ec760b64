// What a Trackline run that stops leaves behind, and what it says.
#include "trackline/trackline.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <iterator>
#include <numeric>

#include "scene/builder.h"
#include "scene/scene_file.h"
#include "support/dialogs.h"
#include "support/igs_contents.h"
#include "support/temp_home.h"
#include "support/trackline_runs.h"
#include "support/warnings.h"
#include "vlm/files.h"
#include "vlm/named_files.h"

namespace vlm {
namespace {

namespace fs = std::filesystem;
using host::HostDocument;
using host::HostMaterial;
using host::HostNode;
using host::IgsContents;
using test::BlockNames;
using test::BoxScene;
using test::Export;
using test::ExportRun;
using test::ReadBack;
using test::Textured;
using test::TriangleCounts;
using test::Written;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

TEST(TracklineFailures, NamesTheFileCannotCarryStopTheExport) {
  const struct {
    const char* field;  // the material text, or "" for the diffuse texture, "node" for the block
    std::string text, stop;
  } cases[] = {
      {"", "Alu.bmp\r\nx",
       "Material 1 in Box/Shell: its texture name \"Alu.bmp\\r\\nx\" holds a carriage return "
       "(0x0D), which the file cannot carry."},
      {"Rail Sim", std::string("Tex\0Diff", 8),
       "Material 1 in Box/Shell: its shader name (Rail Sim) \"Tex\\0Diff\" holds a NUL (0x00), "
       "which the file cannot carry."},
      {"RailSimX", "texturepath=my\ttex",
       "Material 1 in Box/Shell: its texture folder (texturepath) \"my\\ttex\" holds a tab "
       "(0x09), which the file cannot carry."},
      {"node", "cab\nroof",
       "The block name \"1_1000_cab\\nroof\" holds a line feed (0x0A), which the file cannot "
       "carry."},
  };
  test::TempHome home;
  for (const auto& c : cases) {
    BoxScene s;
    const std::string field = c.field;
    if (field.empty())
      s.alu->diffuseMap = c.text;
    else if (field == "node")
      s.group->SetField(s.doc.DefineNodeField("Rail Sim"), c.text);
    else
      s.alu->SetCustomField(s.doc.DefineMaterialField(field), c.text);
    const fs::path file = home.Path() / "names.igs";
    ExportRun run = Export(s.doc, s.group, file);
    EXPECT_TRUE(Failed(run.status)) << c.stop;
    EXPECT_THAT(run.log, Contains(c.stop));
    EXPECT_THAT(run.log, Contains("Export stopped: " + file.string() + " was not written."));
    EXPECT_FALSE(fs::exists(file)) << c.stop;
  }
}

TEST(TracklineFailures, AFileBeyondItsOffsetsIsRefusedBeforeAnythingIsBuilt) {
  test::TempHome home;
  HostDocument doc;
  HostNode& g = host::AddGroup(doc.Root(), "Plate");
  // One flat polygon of 2.2M distinct points, seen from every level: three times 6.6M
  // triangles' fan and its points pass the 32-bit offsets.
  std::vector<Vec3> points(2200000);
  for (size_t i = 0; i < points.size(); ++i)
    points[i] = {float(i % 1500), float(i / 1500), 0};
  host::AddPolygonMesh(g, "Plate", points, &Textured(doc, "Alu", "alu.bmp"));
  const fs::path file = home.Path() / "plate.igs";
  ExportRun run = Export(doc, &g, file, "optLOD(1)=1; click cmdOK; click cmdCancel");
  EXPECT_TRUE(Failed(run.status));
  EXPECT_THAT(run.log, Contains("The file would be at least 2191199664 bytes long (6599994 "
                                "triangles and at least 6600000 vertices in 3 levels); its 32-bit "
                                "offsets reach 2147483647 at most."));
  EXPECT_THAT(run.log, Not(Contains(HasSubstr("Processing Geometry"))));
  EXPECT_FALSE(fs::exists(file));
}

TEST(TracklineFailures, AFullDiskKeepsTheEarlierFile) {
  test::TempHome home;
  BoxScene s;
  const fs::path file = home.Path() / "box.igs";
  const std::string levels = "optLOD(1)=1; click cmdOK; click cmdCancel";
  ASSERT_EQ(Export(s.doc, s.group, file, levels).status, StatusOk);
  const size_t size = ReadFile(file).size();
  WriteFileAtomically(file, "earlier");
  // A file size limit stands in for a full disk, in a child process: it falls in the vertices
  // a later level copies from the first, in the triangles, and on the last byte.
  for (const size_t limit : {size * 2 / 5, size * 9 / 10, size - 1}) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      std::signal(SIGXFSZ, SIG_IGN);
      const rlimit most{limit, limit};
      setrlimit(RLIMIT_FSIZE, &most);
      _exit(Failed(Export(s.doc, s.group, file, levels).status) ? 3 : 4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << limit << " " << status;
    EXPECT_EQ(ReadFile(file), "earlier") << limit;
    for (const auto& entry : fs::directory_iterator(home.Path()))
      EXPECT_EQ(entry.path().string().find(".tmp-"), std::string::npos) << entry.path();
  }
}

TEST(TracklineFailures, AFiftySecondMaterialNamesItsShape) {
  test::TempHome home;
  HostDocument doc;
  const int32_t priority = doc.DefineMaterialField("Alpha Pr");
  HostNode& g = host::AddGroup(doc.Root(), "Coach");
  for (int i = 0; i <= 51; ++i) {
    HostMaterial& m = Textured(doc, "M" + std::to_string(i), "alu.bmp");
    m.SetCustomField(priority, std::to_string(i));  // each one distinct
    host::AddPolygonMesh(g, "Panel" + std::to_string(i), {{0, 0, 0}, {0, 0, 1}, {1, 0, 1}}, &m);
  }
  const fs::path file = home.Path() / "coach.igs";
  ExportRun run = Export(doc, &g, file);
  EXPECT_TRUE(Failed(run.status));
  EXPECT_THAT(run.log, Contains("Material 1 in Coach/Panel51, with the shader \"TexDiff\", would "
                                "be distinct material number 52; the limit is 51."));
  EXPECT_FALSE(fs::exists(file));
}

TEST(TracklineFailures, ABlockNameLongerThanItsFieldStopsAndKeepsTheEarlierFile) {
  test::TempHome home;
  BoxScene s;
  const int32_t slot = s.doc.DefineNodeField("Rail Sim");
  const fs::path file = home.Path() / "names.igs";

  s.group->SetField(slot, std::string(24, 'n'));  // 31 characters with "1_1000_"
  ASSERT_EQ(Export(s.doc, s.group, file).status, StatusOk);
  const Written fits = ReadBack(file);
  EXPECT_EQ(fits.bytes->substr(fits.igs.blocks[0].offset, 32),
            "1_1000_" + std::string(24, 'n') + '\0');

  s.group->SetField(slot, std::string(25, 'n'));  // 32: the field is full, no 0 after it
  ASSERT_EQ(Export(s.doc, s.group, file).status, StatusOk);
  Written full = ReadBack(file);
  EXPECT_EQ(full.bytes->substr(full.igs.blocks[0].offset, 32), "1_1000_" + std::string(25, 'n'));

  s.group->SetField(slot, std::string(26, 'n'));  // 33: stops; the dialog stays open
  ExportRun run = Export(s.doc, s.group, file, "click cmdOK; click cmdOK; click cmdCancel");
  EXPECT_TRUE(Failed(run.status));
  const std::string name = "1_1000_" + std::string(26, 'n');
  const std::string stop = "The block name \"" + name +
                           "\" is 33 characters long; the limit is 32. Tick \"Shorten long "
                           "block names\" (chkShortNames) to have it shortened.";
  const std::string notWritten = "Export stopped: " + file.string() + " was not written.";
  EXPECT_THAT(run.log,
              ElementsAre(name, "Processing Geometry (1 blocks)", "Block 0", stop, notWritten, name,
                          "Processing Geometry (1 blocks)", "Block 0", stop, notWritten));
  EXPECT_EQ(ReadFile(file), *full.bytes);
  // No temporary file is left beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(home.Path()), fs::directory_iterator()), 1);
}

TEST(TracklineFailures, ADialogClosedAfterStoppedRunsOnlyFailsWithTheLastReason) {
  const std::string longName = std::string(26, 'n');
  const std::string nameStop = "The block name \"1_1000_" + longName +
                               "\" is 33 characters long; the limit is 32. Tick \"Shorten long "
                               "block names\" (chkShortNames) to have it shortened.";
  const std::string levelStop =
      "The custom level node \"body_1000\" would be level node 11; the limit is 10.";
  const struct {
    bool longName;
    const char* script;
    std::string reason;  // "" when the export succeeds
  } cases[] = {
      {true, "click cmdOK; click cmdCancel", nameStop},
      {false, "optLOD(2)=1; click cmdOK; click cmdCancel", levelStop},
      {true, "optLOD(2)=1; click cmdOK; optLOD(0)=1; click cmdOK; click cmdCancel", nameStop},
      {false, "optLOD(2)=1; click cmdOK; optLOD(0)=1; click cmdOK; click cmdCancel", ""},
      {false, "optLOD(0)=1; click cmdOK; optLOD(2)=1; click cmdOK; click cmdCancel", ""},
  };
  test::TempHome home;
  for (const auto& c : cases) {
    BoxScene s("body");
    if (c.longName) s.group->SetField(s.doc.DefineNodeField("Rail Sim"), longName);
    for (int i = 1; i <= 10; ++i)
      host::AddGroup(s.doc.Root(), "body_" + std::to_string(i * 100));
    const fs::path file = home.Path() / "stops.igs";
    fs::remove(file);
    const ExportRun run = Export(s.doc, s.group, file, c.script);
    if (c.reason.empty()) {
      EXPECT_EQ(run.status, StatusOk) << c.script;
      EXPECT_TRUE(fs::exists(file)) << c.script;
    } else {
      EXPECT_TRUE(Failed(run.status)) << c.script;
      EXPECT_EQ(LastError().description, c.reason) << c.script;
      EXPECT_FALSE(fs::exists(file)) << c.script;
    }
  }
}

TEST(TracklineFailures, AFileThatCannotBeWrittenFailsTheCall) {
  test::TempHome home;
  BoxScene s;
  const fs::path file = home.Path() / "missing" / "box.igs";
  ExportRun run = Export(s.doc, s.group, file);
  EXPECT_TRUE(Failed(run.status));
  EXPECT_FALSE(fs::exists(file));
}

}  // namespace
}  // namespace vlm
