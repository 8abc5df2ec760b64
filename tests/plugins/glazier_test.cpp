#include "glazier/glazier.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "scene/builder.h"
#include "scene/scene_file.h"
#include "support/dialogs.h"
#include "support/stated_values.h"
#include "support/temp_home.h"
#include "vlm/component.h"

namespace vlm {
namespace {

using host::HostDocument;
using host::HostMaterial;
using host::HostMesh;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

Status Apply(Glazier& tool, HostDocument& doc) {
  return tool.Plugin_Apply(&doc, &doc, 0, {}, {}, "");
}

// A box whose faces use Paint, Glass, Paint, Chrome, Paint, Paint, under "Hangar".
struct Scene {
  HostDocument doc;
  HostMaterial& paint = doc.NewMaterial("Paint");
  HostMaterial& glass = doc.NewMaterial("Glass");
  HostMaterial& chrome = doc.NewMaterial("Chrome");
  HostMesh* box;
  Scene() {
    paint.diffuseMap = "paint.bmp";
    glass.diffuseMap = "glass.bmp";
    glass.translucency = 50;
    chrome.diffuseMap = "chrome.bmp";
    chrome.specularLevel = 80;
    host::HostNode& g = host::AddGroup(doc.Root(), "Hangar");
    box = &host::AddBox(g, "Box", {}, {1, 1, 1}, &paint);
    box->SetFaceMaterial(1, &glass);
    box->SetFaceMaterial(3, &chrome);
  }
  void SelectObject() { doc.scriptingSelection.objects = {{box, 0, {}}}; }
  void SelectFaces(std::vector<int32_t> faces) {
    doc.scriptingSelection.objects = {{box, 1, std::move(faces)}};
  }
  std::string FS10(HostMaterial& m) {
    const int32_t slot = doc.FindMaterialField("FS10");
    return slot < 0 ? "" : m.GetCustomField(slot);
  }
};

class GlazierTest : public ::testing::Test {
 protected:
  test::TempHome folder;
  Glazier tool{folder.Path()};
};

TEST_F(GlazierTest, StatesItsValues) {
  EXPECT_EQ(test::ReadStated(tool),
            (test::Stated{"FS10 Material Editor", "Ardo Venmark", 99, 0, {7, 8, 1, 1, 0, 999}}));
}

TEST_F(GlazierTest, NoSelectionStillDefinesTheFieldOnce) {
  Scene s;
  test::ScriptedScope dialogs;
  ASSERT_EQ(Apply(tool, s.doc), StatusOk);
  EXPECT_THAT(dialogs.Messages(),
              ElementsAre("Please select something in the group hierarchy you wish to update"));
  EXPECT_THAT(s.doc.MaterialFieldNames(), ElementsAre("FS10"));
  EXPECT_EQ(HelpFile(), folder.Path().string() + "\\vlmplugins.chm");
  ASSERT_EQ(Apply(tool, s.doc), StatusOk);
  EXPECT_THAT(s.doc.MaterialFieldNames(), ElementsAre("FS10"));
  EXPECT_EQ(tool.FieldId, 0);
}

TEST_F(GlazierTest, FacesSharingOneMaterialOpenTheOptionsAtOnce) {
  Scene s;
  s.SelectFaces({0, 2, 4});
  test::ScriptedScope dialogs("chkBloom(1)=1; click cmdOK");
  ASSERT_EQ(Apply(tool, s.doc), StatusOk);
  EXPECT_THAT(dialogs.Texts(TranscriptEntry::Kind::Dialog), ElementsAre("frmOptions"));
  EXPECT_THAT(s.FS10(s.paint), HasSubstr(";BloomCopy=1;"));
  EXPECT_EQ(s.FS10(s.glass), "");
}

TEST_F(GlazierTest, PickerCopiesTheEditedStringToTheOtherFaceMaterials) {
  Scene s;
  s.SelectFaces({3, 1, 0, 1});  // Chrome, Glass, Paint in first-seen order
  test::ScriptedScope dialogs(
      "lstMat=2 glass.bmp; chkCopy=1; click OKButton; chkEP(2)=1; click cmdOK");
  ASSERT_EQ(Apply(tool, s.doc), StatusOk);
  EXPECT_THAT(dialogs.Texts(TranscriptEntry::Kind::Dialog), ElementsAre("frmDialog", "frmOptions"));
  const std::string glass = s.FS10(s.glass);
  EXPECT_THAT(glass, HasSubstr("SrcBlend=SrcAlpha;DstBlend=InvSrcAlpha;"));
  EXPECT_THAT(glass, HasSubstr(";NoZWrite=1;"));
  EXPECT_EQ(s.FS10(s.chrome), glass);
  EXPECT_EQ(s.FS10(s.paint), glass);
}

TEST_F(GlazierTest, WholeObjectPickerWithoutCopyChangesOnlyTheChosenMaterial) {
  Scene s;
  s.SelectObject();
  test::ScriptedScope dialogs("lstMat=3 chrome.bmp; click OKButton; click cmdOK");
  ASSERT_EQ(Apply(tool, s.doc), StatusOk);
  EXPECT_THAT(s.FS10(s.chrome), StartsWith("SpecRed=0.9;"));  // power 200 keeps specular
  EXPECT_EQ(s.FS10(s.paint), "");
  EXPECT_EQ(s.FS10(s.glass), "");
}

TEST_F(GlazierTest, CancelAnywhereStoresNothing) {
  for (const char* script : {"click CancelButton", "chkCopy=1; click OKButton; click cmdCancel"}) {
    Scene s;
    s.SelectObject();
    test::ScriptedScope dialogs(script);
    ASSERT_EQ(Apply(tool, s.doc), StatusOk) << script;
    EXPECT_EQ(s.FS10(s.paint), "") << script;
    EXPECT_EQ(s.FS10(s.glass), "") << script;
    EXPECT_EQ(s.FS10(s.chrome), "") << script;
  }
  // A stored string is not rewritten by a cancelled edit, not even normalised.
  Scene s;
  s.SelectFaces({0});
  s.paint.fields[s.doc.DefineMaterialField("FS10")] = "SpecRed=1;Custom=kept";
  test::ScriptedScope dialogs("click cmdCancel");
  ASSERT_EQ(Apply(tool, s.doc), StatusOk);
  EXPECT_EQ(s.FS10(s.paint), "SpecRed=1;Custom=kept");
}

TEST_F(GlazierTest, ObjectWithoutMaterialIsReportedAndNothingChanges) {
  Scene s;
  for (size_t f = 0; f < s.box->FaceCount(); ++f)
    s.box->SetFaceMaterial(f, nullptr);
  s.SelectObject();
  test::ScriptedScope dialogs;
  ASSERT_EQ(Apply(tool, s.doc), StatusOk);
  EXPECT_THAT(dialogs.Messages(), ElementsAre("The selected object has no material."));
  EXPECT_THAT(dialogs.Texts(TranscriptEntry::Kind::Dialog), IsEmpty());

  s.SelectFaces({0, 1});
  test::ScriptedScope faces;
  ASSERT_EQ(Apply(tool, s.doc), StatusOk);
  EXPECT_THAT(faces.Messages(), ElementsAre("The selected faces have no material."));
}

TEST_F(GlazierTest, HostErrorsBecomeThePluginErrorMessage) {
  Scene s;
  s.SelectFaces({99});
  test::ScriptedScope dialogs;
  ASSERT_EQ(Apply(tool, s.doc), StatusOk);
  ASSERT_EQ(dialogs.Backend().Transcript().size(), 1u);
  EXPECT_EQ(dialogs.Backend().Transcript()[0].title, "Plugin Error");
  EXPECT_THAT(dialogs.Messages()[0], StartsWith("9\r"));
}

TEST(GlazierModule, ExampleSceneEditedThroughTheSharedLibrary) {
  test::TempHome home;
  auto library = Library::Load(std::string(VLM_TEST_PLUGIN_DIR) + "/libglazier.so");
  Instance instance = CreateObjectFrom(library, "VLMPlugin9.Glazier");
  Plugin* plugin = instance.As<Plugin>("Plugin");
  ASSERT_NE(plugin, nullptr);

  auto doc = host::LoadScene(std::string(VLM_TEST_EXAMPLES_DIR) + "/hangar.json");
  std::string problem;
  HostMesh* spar = doc->FindMesh("Hangar/Wing/Spar", &problem);
  ASSERT_NE(spar, nullptr) << problem;
  doc->ClearSelection();
  doc->scriptingSelection.objects = {{spar, 0, {}}};
  test::ScriptedScope dialogs("tbsOptions=Bloom; chkBloom(1)=1; click cmdOK");
  ASSERT_EQ(plugin->Plugin_Apply(doc.get(), doc.get(), 0, {}, {}, ""), StatusOk);
  EXPECT_EQ(HelpFile(), std::string(VLM_TEST_PLUGIN_DIR) + "\\vlmplugins.chm");
  const std::string fs10 = doc->FindMaterial("Paint")->GetCustomField(0);
  EXPECT_THAT(fs10, HasSubstr(";BloomCopy=1;"));
  EXPECT_THAT(fs10, HasSubstr(";PrecipOffset=0;"));  // below its slider's range, kept
}

}  // namespace
}  // namespace vlm
