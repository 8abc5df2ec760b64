#include "glazier/frm_dialog.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "scene/document.h"
#include "support/dialogs.h"

namespace vlm {
namespace {

using glazier::frmDialog;
using ::testing::ElementsAre;

TEST(frmDialog, FirstMaterialIsSelectedAndShown) {
  host::HostDocument doc;
  host::HostMaterial& body = doc.NewMaterial("Body");
  body.diffuseMap = "body.bmp";
  body.detailMap = "detail.bmp";
  body.diffuse = {1, 0.5f, 0};
  body.specularLevel = 40;
  body.translucency = 10;
  host::HostMaterial& glass = doc.NewMaterial("Glass");

  frmDialog picker;
  EXPECT_EQ(picker.Caption(), "Multi-Material Edit");
  EXPECT_EQ(picker.chkCopy.Caption(), "Copy FSX parameters to other materials  on saving.");
  picker.Add(&body);
  EXPECT_EQ(picker.SelMaterial, &body);
  EXPECT_EQ(picker.lstMat.ListIndex(), 0);
  EXPECT_EQ(picker.lbl(0).Caption(), "Diffuse 100");
  EXPECT_EQ(picker.lbl(1).Caption(), "Specular 40");
  EXPECT_EQ(picker.lbl(2).Caption(), "Ambient 20");
  EXPECT_EQ(picker.lbl(3).Caption(), "Transucent 10");
  EXPECT_EQ(picker.lbl(4).Caption(), "body.bmp\rdetail.bmp\r\r");
  EXPECT_EQ(picker.picCol.BackColor(), 255 + 256 * 128);

  picker.Add(&glass);
  EXPECT_EQ(picker.SelMaterial, &body);  // only the first one selects itself
  EXPECT_THAT(picker.lstMat.Items(), ElementsAre("1 body.bmp", "2 "));
  EXPECT_EQ(picker.lstMat.ItemNote(0), "Body");
  EXPECT_EQ(picker.lstMat.ItemNote(1), "Glass");
  picker.lstMat.SetListIndex(1);
  EXPECT_EQ(picker.SelMaterial, &glass);
  EXPECT_EQ(picker.lbl(3).Caption(), "Transucent 0");
}

TEST(frmDialog, OkNeedsAChosenMaterial) {
  host::HostDocument doc;
  frmDialog picker;
  {
    test::ScriptedScope dialogs("click OKButton; click CancelButton");
    picker.ShowModal();
    EXPECT_FALSE(picker.OK);
    EXPECT_THAT(dialogs.Messages(), ElementsAre("Please select the material to edit."));
  }
  picker.Add(&doc.NewMaterial("A"));
  test::ScriptedScope dialogs("click OKButton");
  picker.ShowModal();
  EXPECT_TRUE(picker.OK);
}

}  // namespace
}  // namespace vlm
