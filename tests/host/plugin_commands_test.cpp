// vlmhost list, describe and help: the plug-ins as the command line names and shows them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>
#include <span>
#include <sstream>

#include "cli/run_command.h"
#include "exchange/model_import.h"
#include "plugins/tether_files.h"
#include "run/plugin_names.h"
#include "run/selections.h"
#include "scene/builder.h"
#include "scene/document.h"
#include "scene/scene_file.h"
#include "support/cli_fixture.h"
#include "support/obj8_checks.h"
#include "support/temp_home.h"
#include "support/vlmhost.h"
#include "vlm/error.h"
#include "vlm/files.h"

namespace vlm {
namespace {

using ::testing::ContainsRegex;
using ::testing::HasSubstr;
using ::testing::Not;

using test::Vlmhost;

const std::string Example = std::string(VLM_TEST_EXAMPLES_DIR) + "/hangar.json";

using test::Cli;
using test::CliOutputs;

TEST_F(Cli, ListShowsObverseWithItsValues) {
  auto r = Vlmhost({"list"});
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_THAT(r.output, HasSubstr("VLMPlugin9.Obverse"));
  EXPECT_THAT(r.output, HasSubstr("name: \"Mirror Select Group and hierarchy\""));
  EXPECT_THAT(r.output, HasSubstr("author: \"Ardo Venmark\""));
  EXPECT_THAT(r.output, HasSubstr("validation: not written"));
  EXPECT_THAT(r.output,
              HasSubstr("VLMPlugin9.Obverse\n  short name: obverse\n  works on: one group "
                        "(group:PATH)"));
}

// A plug-in goes by its identifier or its short name, in any case; a name that is no one's
// suggests the nearest, and a short name two classes share names both.
TEST_F(Cli, PluginsGoByTheirShortNames) {
  const std::vector<std::string> ids = {"VLMOperation9.Flare", "VLMPlugin9.Obverse",
                                        "VLMPlugin9.Ridgepull", "VLMPluginX.Ridgepull"};
  struct Case {
    std::string name, resolved;
    std::vector<std::string> mentions;  // in the error, when there is one
  };
  const Case cases[] = {
      {"flare", "VLMOperation9.Flare", {}},
      {"FLARE", "VLMOperation9.Flare", {}},
      {"vlmplugin9.obverse", "VLMPlugin9.Obverse", {}},
      {"VLMPluginX.Ridgepull", "VLMPluginX.Ridgepull", {}},
      {"ridgepull", "", {"several", "VLMPlugin9.Ridgepull", "VLMPluginX.Ridgepull"}},
      {"flair", "", {"did you mean flare"}},
      {"obvers", "", {"obverse"}},
      {"zzz", "", {"registered: VLMOperation9.Flare, VLMPlugin9.Obverse"}},
      {"", "", {"registered:"}},
  };
  for (const Case& c : cases) {
    std::string resolved, error;
    try {
      resolved = host::ResolvePluginName(c.name, ids);
    } catch (const Error& e) {
      error = e.Description();
    }
    EXPECT_EQ(resolved, c.resolved) << c.name;
    for (const std::string& m : c.mentions)
      EXPECT_THAT(error, HasSubstr(m)) << c.name;
  }
  auto r = Vlmhost({"run", "Obverse", Example, "--select", "group:Hangar/Wing", "--ui", "input z",
                    "-o", Out("mirrored.json")});
  EXPECT_EQ(r.status, 0) << r.output;
  r = Vlmhost({"describe", "obverse"});
  EXPECT_THAT(r.output, HasSubstr("VLMPlugin9.Obverse has no forms"));
  r = Vlmhost({"run", "obvers", Example, "-o", Out("x.json")});
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.output, HasSubstr("did you mean obverse"));
}

// help: what the plug-in does and takes, each control by script name and label, an example;
// F1 in a scripted run shows the same text under the help file the plug-in asked for.
TEST_F(Cli, HelpDescribesThePlugInAndF1ShowsIt) {
  ASSERT_EQ(Vlmhost({"register", std::string(VLM_TEST_PLUGIN_DIR) + "/libridgepull.so"}).status, 0);
  auto help = Vlmhost({"help", "RidgePull"});
  ASSERT_EQ(help.status, 0) << help.output;
  for (const char* part :
       {"ridgepull (VLMPlugin9.Ridgepull)", "Works on: objects or some of their faces",
        "frmEEx \"Edge Extrude\"", "vlmhost run ridgepull examples/hangar.json"})
    EXPECT_THAT(help.output, HasSubstr(part));
  EXPECT_THAT(help.output, ContainsRegex("\n    txt\\(1\\) +\"Extrude\" \\(text box\\)\n"));
  EXPECT_THAT(help.output, ContainsRegex("\n    chkInside +\"Inside Face\" \\(check box\\)\n"));
  EXPECT_EQ(Vlmhost({"help", "nosuch"}).status, 2);

  auto run = Vlmhost({"run", "ridgepull", Example, "--select", "faces:Hangar/Shell:2", "--ui",
                      "key F1; click CancelButton", "-o", (home.Path() / "out.json").string()});
  EXPECT_THAT(run.output, HasSubstr("vlmplugins.chm\n    ridgepull (VLMPlugin9.Ridgepull)\n"));
  EXPECT_THAT(run.output, ContainsRegex("\n        txt\\(1\\) +\"Extrude\" \\(text box\\)\n"));
}

TEST_F(Cli, DescribeListsEveryFormAndControlAsAFirstRunShowsThem) {
  struct Case {
    const char* library;
    const char* progId;
    std::vector<std::string> mentions;
  };
  const std::vector<Case> cases = {
      {"libglazier.so",
       "VLMPlugin9.Glazier",
       {"form frmDialog \"Multi-Material Edit\"", "form frmOptions \"FSX Extended Parameters\"",
        "tbsOptions (tab strip)", "\"Other Texture\", \"Fresnel Ramp\"",
        "chkBloom(1) (check box) \"Bloom material by copying\" tab \"Bloom\" = 0",
        "sRefScale (slider) label \"Reflection Scale: 0.3\" tip \"Mulitplier for enviroment "
        "map power\" tab \"Special Functionality\" = 30 (0..100)"}},
      // A field is listed with the label that names it.
      {"libridgepull.so",
       "VLMPlugin9.Ridgepull",
       {"txt(0) (text box) label \"Inset\" = \"0.1\"", "chkInside"}},
      {"libtether.so",
       "VLMPlugin9.Tether",
       {"txtGuid (text box) label \"GUID\" tab \"Library Object\""}},
      {"libwingform.so",
       "VLMPluginImportExport9.Wingform",
       {"form frmOptions \"Export Options\"", "optTex(0) (option button) \"Keep Same Extension\""}},
      {"libobverse.so", "VLMPlugin9.Obverse", {"VLMPlugin9.Obverse has no forms"}},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(Vlmhost({"register", std::string(VLM_TEST_PLUGIN_DIR) + "/" + c.library}).status, 0);
    auto r = Vlmhost({"describe", c.progId});
    EXPECT_EQ(r.status, 0) << r.output;
    for (const auto& m : c.mentions)
      EXPECT_THAT(r.output, HasSubstr(m)) << r.output;
  }
  // The same as JSON: Glazier's options dialog has about ninety controls on eleven tabs.
  auto r = Vlmhost({"describe", "VLMPlugin9.Glazier", "--json"});
  ASSERT_EQ(r.status, 0) << r.output;
  const auto json = nlohmann::json::parse(r.output);
  const auto& options = json["forms"][1];
  EXPECT_EQ(options["name"], "frmOptions");
  EXPECT_GE(options["controls"].size(), 85u);
  EXPECT_LE(options["controls"].size(), 100u);
  EXPECT_EQ(options["controls"][0]["name"], "tbsOptions");
  EXPECT_EQ(options["controls"][0]["entries"].size(), 11u);
  // A swatch with no caption of its own goes by its label's.
  std::string specular;
  for (const auto& c : options["controls"])
    if (c["name"] == "picSpec") specular = c["label"];
  EXPECT_EQ(specular, "Specular (Click to change)");
  EXPECT_EQ(Vlmhost({"describe", "VLMPlugin9.Nothing"}).status, 2);
}

}  // namespace
}  // namespace vlm
