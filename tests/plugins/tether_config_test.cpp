#include "fs10/tether_config.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "plugins/tether_files.h"
#include "vlm/error.h"

namespace vlm {
namespace {

using namespace tetherconfig;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

TEST(TetherConfig, ReadsPlatformsAndLocations) {
  test::TetherFiles files;
  auto config = TetherConfig::Load(files.plugins);
  EXPECT_TRUE(config.Exists());
  EXPECT_THAT(config.Problem(), IsEmpty());
  EXPECT_THAT(config.Platforms(), ElementsAre("CONCRETE", "GRASS", "WATER"));
  ASSERT_TRUE(config.Parts());
  EXPECT_EQ(config.Parts()->key, "SOFTWARE\\Test\\Sim SDK");
  EXPECT_EQ(config.Parts()->subkey, "SDKPath");
  EXPECT_EQ(config.Parts()->suffix, "\\parts\\modeldef.xml");

  // The value text and the suffix are joined as they are; the file system sees the
  // platform's separator.
  auto location = Resolve(*config.Parts());
  ASSERT_TRUE(location);
  EXPECT_EQ(*location, files.sim.string() + "\\parts\\modeldef.xml");
  EXPECT_EQ(FileSystemPath(*location), files.sim / "parts" / "modeldef.xml");
}

TEST(TetherConfig, MissingOrDamagedFileGivesNothing) {
  test::TetherFiles files;
  std::filesystem::remove(files.plugins / "tether.xml");
  auto missing = TetherConfig::Load(files.plugins);
  EXPECT_FALSE(missing.Exists());
  EXPECT_THAT(missing.Problem(), IsEmpty());
  EXPECT_FALSE(missing.Effects());

  files.WriteTetherXml("<tether>\n  <parts key=\"a\" subkey=\"b\" suffix=\"c\">\n</tether>\n");
  auto damaged = TetherConfig::Load(files.plugins);
  EXPECT_TRUE(damaged.Exists());
  EXPECT_THAT(damaged.Problem(), HasSubstr((files.plugins / "tether.xml").string()));
  EXPECT_THAT(damaged.Problem(), HasSubstr("line 3"));
  EXPECT_FALSE(damaged.Parts());  // nothing half-read is used
  EXPECT_THAT(damaged.Platforms(), IsEmpty());
}

TEST(TetherConfig, UnresolvedLocationsAndMissingElements) {
  test::TetherFiles files;
  files.WriteTetherXml(
      "<tether><effects key=\"SOFTWARE\\Nowhere\" subkey=\"x\" suffix=\"\\fx\"/></tether>");
  auto config = TetherConfig::Load(files.plugins);
  ASSERT_TRUE(config.Effects());
  EXPECT_FALSE(Resolve(*config.Effects()));
  EXPECT_FALSE(config.Parts());
  EXPECT_THAT(config.Platforms(), IsEmpty());
}

TEST(EffectFiles, ListsFxFilesOfAnyCaseSorted) {
  test::TetherFiles files;
  std::filesystem::create_directories(files.sim / "effects" / "folder.fx");
  EXPECT_THAT(EffectFiles(files.sim / "effects"),
              ElementsAre("beacon.FX", "landing.fx", "smoke.fx"));
  EXPECT_THAT(EffectFiles(files.sim / "nowhere"), IsEmpty());
}

TEST(PartDefinitions, VisibilityAndMouseRectPartsFollowTheWalk) {
  test::TetherFiles files;
  auto parts = PartDefinitions::Load(files.sim / "parts" / "modeldef.xml");
  // beacon counts once for its two Visibility children; the part without a Name takes the
  // name of the part before it.
  EXPECT_THAT(parts.VisibilityParts(), ElementsAre("gear", "beacon"));
  EXPECT_THAT(parts.MouseRectParts(), ElementsAre("beacon", "beacon", "handle"));
  EXPECT_THAT(parts.AnimationNames(), ElementsAre("gear", "flap"));
}

// Names reach the scene as UTF-8: by the declared encoding when there is one, else as UTF-8
// when the bytes are valid UTF-8 and as Windows-1252 when they are not.
TEST(PartDefinitions, EightBitFilesAreReadAsUtf8) {
  const std::string part = "<ModelInfo><PartInfo><Name>";
  const std::string rest = "</Name><Visibility/></PartInfo></ModelInfo>";
  const std::pair<std::string, std::string> cases[] = {
      {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + part + "caf\xE9", "caf\xC3\xA9"},
      {"<?xml version='1.0' encoding='iso-8859-1'?>" + part + "caf\xC3\xA9", "caf\xC3\x83\xC2\xA9"},
      {part + "caf\xE9 \x80", "caf\xC3\xA9 \xE2\x82\xAC"},
      {part + "caf\xC3\xA9", "caf\xC3\xA9"},
      {"\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + part + "caf\xC3\xA9",
       "caf\xC3\xA9"},
      {"<?xml version=\"1.0\" encoding=\"windows-1252\"?>" + part + "\x80", "\xE2\x82\xAC"},
  };
  test::TetherFiles files;
  for (const auto& [head, name] : cases) {
    files.WriteModelDef(head + rest);
    EXPECT_THAT(PartDefinitions::Load(files.sim / "parts" / "modeldef.xml").VisibilityParts(),
                ElementsAre(name))
        << head;
  }
  test::WriteText(files.sim / "effects" / "caf\xE9.fx", "");
  EXPECT_THAT(EffectFiles(files.sim / "effects"),
              ElementsAre("beacon.FX", "caf\xC3\xA9.fx", "landing.fx", "smoke.fx"));
}

TEST(PartDefinitions, NameAfterTheMarkerCountsForTheNextPart) {
  test::TetherFiles files;
  files.WriteModelDef(
      "<ModelInfo><PartInfo><Visibility/><Name> first </Name></PartInfo>"
      "<PartInfo><!-- no name --><Visibility/></PartInfo><Animation type=\"x\"/></ModelInfo>");
  auto parts = PartDefinitions::Load(files.sim / "parts" / "modeldef.xml");
  EXPECT_THAT(parts.VisibilityParts(), ElementsAre("", "first"));
  EXPECT_THAT(parts.AnimationNames(), IsEmpty());  // an animation without a name is left out
}

TEST(PartDefinitions, FindsAnimationsByComparingTheName) {
  test::TetherFiles files;
  files.WriteModelDef(
      "<ModelInfo><Animation name=\"it's\" type=\"Sim\" length=\"5\"/>"
      "<Animation name=\"gear\" type=\"first\"/><Animation name=\"gear\" type=\"second\"/>"
      "<Animation name=\"x') or ('1'='1\" type=\"trap\"/></ModelInfo>");
  auto parts = PartDefinitions::Load(files.sim / "parts" / "modeldef.xml");
  auto quoted = parts.FindAnimation("it's");
  ASSERT_TRUE(quoted);
  EXPECT_EQ(quoted->type, "Sim");
  EXPECT_EQ(quoted->length, "5");
  EXPECT_FALSE(quoted->typeParam);
  EXPECT_FALSE(quoted->typeParam2);
  EXPECT_EQ(parts.FindAnimation("gear")->type, "first");
  EXPECT_FALSE(parts.FindAnimation("Gear"));
  EXPECT_FALSE(parts.FindAnimation("x"));
  EXPECT_FALSE(parts.FindAnimation(""));
}

TEST(PartDefinitions, UnreadableFileIsAnErrorNamingIt) {
  test::TetherFiles files;
  const auto file = files.sim / "parts" / "modeldef.xml";
  files.WriteModelDef("<ModelInfo><PartInfo></ModelInfo>");
  try {
    PartDefinitions::Load(file);
    FAIL() << "damaged file loaded";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), err::PathFileAccess);
    EXPECT_THAT(e.Description(), HasSubstr(file.string()));
    EXPECT_THAT(e.Description(), HasSubstr("not well-formed"));
  }
  std::filesystem::remove(file);
  try {
    PartDefinitions::Load(file);
    FAIL() << "missing file loaded";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), err::FileNotFound);
    EXPECT_THAT(e.Description(), HasSubstr(file.string()));
  }
}

}  // namespace
}  // namespace vlm
