#include "vlm/component.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdlib>

#include "scene/document.h"
#include "support/errors.h"
#include "support/temp_home.h"
#include "vlm/contracts/operation.h"
#include "vlm/contracts/plugin.h"
#include "vlm/warnings.h"

namespace vlm {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

const std::filesystem::path PluginDir = VLM_TEST_PLUGIN_DIR;
const std::filesystem::path FixtureDir = VLM_TEST_FIXTURE_DIR;

template <class F>
std::string ErrorOf(F&& f) {
  return test::FailureOf(std::forward<F>(f)).description;
}

class Components : public ::testing::Test {
 protected:
  Components() {
    SetWarningSink([this](const std::string& w) { warnings.push_back(w); });
  }
  ~Components() override { SetWarningSink(nullptr); }
  test::TempHome home;
  std::vector<std::string> warnings;
};

TEST_F(Components, RegisterThenCreateByIdentifier) {
  const auto library = PluginDir / "libobverse.so";
  EXPECT_THAT(RegisterServer(library), ElementsAre("VLMPlugin9.Obverse"));
  auto classes = RegisteredClasses();
  ASSERT_EQ(classes.size(), 1u);
  EXPECT_EQ(classes[0].progId, "VLMPlugin9.Obverse");
  EXPECT_EQ(classes[0].library, std::filesystem::canonical(library));

  Instance instance = CreateObject("VLMPlugin9.Obverse");
  auto* plugin = instance.As<Plugin>(Plugin::InterfaceName);
  ASSERT_NE(plugin, nullptr);
  EXPECT_EQ(instance.As<Operation>(Operation::InterfaceName), nullptr);
  std::string name;
  EXPECT_EQ(plugin->Plugin_Name(name), StatusOk);
  EXPECT_EQ(name, "Mirror Select Group and hierarchy");

  // The module knows an instance is alive.
  auto canUnload =
      reinterpret_cast<DllCanUnloadNowFn>(instance.GetLibrary()->RequireSymbol("DllCanUnloadNow"));
  EXPECT_NE(canUnload(), StatusOk);
  auto library2 = instance.GetLibrary();
  instance = Instance();
  EXPECT_EQ(canUnload(), StatusOk);

  UnregisterServer(library);
  EXPECT_TRUE(RegisteredClasses().empty());
}

// Assigning over an instance unloads its library only after its object is gone: the other
// way round, the object's destructor runs in code that is no longer there.
TEST_F(Components, AssigningOverAnInstanceReleasesTheObjectBeforeItsLibrary) {
  EXPECT_EXIT(
      {
        Instance instance =
            CreateObjectFrom(Library::Load(PluginDir / "libobverse.so"), "VLMPlugin9.Obverse");
        instance = CreateObjectFrom(Library::Load(FixtureDir / "libfixture_duplicate_a.so"),
                                    "VLMTest.Duplicate");
        instance = Instance();
        std::exit(instance.Get() == nullptr ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(Components, UnknownIdentifierNamesWhatIsRegistered) {
  EXPECT_THAT(ErrorOf([] { CreateObject("VLMPlugin9.Nothing"); }),
              HasSubstr("nothing is registered"));
  RegisterServer(PluginDir / "libobverse.so");
  std::string message = ErrorOf([] { CreateObject("VLMPlugin9.Nothing"); });
  EXPECT_THAT(message, HasSubstr("VLMPlugin9.Nothing"));
  EXPECT_THAT(message, HasSubstr("registered: VLMPlugin9.Obverse"));
}

TEST_F(Components, LibraryWithoutAnEntryPointIsRefused) {
  auto library = FixtureDir / "libfixture_missing_entry.so";
  std::string message = ErrorOf([&] { RegisterServer(library); });
  EXPECT_THAT(message, HasSubstr("DllGetClassObject"));
  EXPECT_THAT(message, HasSubstr("libfixture_missing_entry.so"));
  EXPECT_TRUE(RegisteredClasses().empty());
  EXPECT_THAT(ErrorOf([] { Library::Load("/nonexistent/libnothing.so"); }),
              HasSubstr("/nonexistent/libnothing.so"));
}

TEST_F(Components, SecondRegistrationOfAnIdentifierReplacesTheFirstWithAWarning) {
  RegisterServer(FixtureDir / "libfixture_duplicate_a.so");
  EXPECT_TRUE(warnings.empty());
  RegisterServer(FixtureDir / "libfixture_duplicate_b.so");
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_THAT(warnings[0], HasSubstr("libfixture_duplicate_a.so"));
  EXPECT_THAT(warnings[0], HasSubstr("libfixture_duplicate_b.so"));
  ASSERT_EQ(RegisteredClasses().size(), 1u);

  Instance instance = CreateObject("VLMTest.Duplicate");
  std::string author;
  instance.As<Plugin>(Plugin::InterfaceName)->Plugin_Author(author);
  EXPECT_EQ(author, "second");
}

TEST_F(Components, ErrorsInsideAPluginComeBackAsStatuses) {
  auto library = Library::Load(FixtureDir / "libfixture_duplicate_a.so");
  Instance instance = CreateObjectFrom(library, "VLMTest.Duplicate");
  auto* plugin = instance.As<Plugin>(Plugin::InterfaceName);
  // No scene at all is a missing object; the fixture's own Apply divides by zero.
  EXPECT_EQ(plugin->Plugin_Apply(nullptr, nullptr, 0, {}, {}, ""), StatusFromError(424));
  host::HostDocument doc;
  EXPECT_EQ(plugin->Plugin_Apply(&doc, &doc, 0, {}, {}, ""), StatusFromError(11));
  EXPECT_EQ(LastError().description, "Division by zero");
  EXPECT_THAT(ErrorOf([&] { CreateObjectFrom(library, "VLMTest.Other"); }),
              HasSubstr("does not provide VLMTest.Other"));
}

TEST_F(Components, ConcurrentRegistrationsKeepEveryEntry) {
  // Two processes registering at once must not lose each other's entries.
  std::vector<pid_t> children;
  for (const char* name : {"libfixture_duplicate_a.so", "libobverse.so"}) {
    auto path = std::string(name) == "libobverse.so" ? PluginDir / name : FixtureDir / name;
    pid_t pid = fork();
    if (pid == 0) {
      try {
        for (int i = 0; i < 20; ++i)
          RegisterServer(path);
      } catch (...) {
        _exit(1);
      }
      _exit(0);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }
  EXPECT_EQ(RegisteredClasses().size(), 2u);
}

}  // namespace
}  // namespace vlm
