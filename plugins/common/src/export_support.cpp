#include "vlm/export_support.h"

#include <algorithm>
#include <cctype>

#include "vlm/model.h"
#include "vlm/refusal.h"

namespace vlm {

float UnitScaleFor(int32_t unitsCode, float previous) {
  switch (unitsCode) {
    case 0:
      return 1.0f;
    case 1:
      return 0.01f;
    case 2:
      return 0.3048f;
    default:
      return previous;
  }
}

Node* ChooseExportNode(Node* exportGroup, Node* rootNode, const std::string& title) {
  if (exportGroup && exportGroup != rootNode) return exportGroup;
  NodeCollection* children = rootNode->Children();
  for (int32_t i = 0; i < children->Count(); ++i) {
    Node* child = children->Item(i);
    std::string name = child->Name();
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (name == "main") return child;
  }
  RefuseRun("Select a group to export or name one group 'Main'", mb::OKOnly, title);
  return nullptr;
}

ExportOptionsForm::ExportOptionsForm() : Form("frmOptions") {
  SetCaption("Export Options");
  Frame1.SetCaption("LOD's");
  optLOD(0).SetCaption("No LODs");
  optLOD(1).SetCaption("Automatic Generated LOD's");
  optLOD(2).SetCaption("Custom LODs");
  cmdOK.SetCaption("Start Export");
  cmdOK.Default = true;
  cmdCancel.SetCaption("Close");
  cmdCancel.Cancel = true;

  OnLoad = [this] { LType = 0; };
  optLOD.OnClick([this](int index) { LType = static_cast<int16_t>(index); });
  cmdOK.Click = [this] {
    if (plug) plug->Run();
  };
  cmdCancel.Click = [this] { Hide(); };
}

void ExportOptionsForm::AddList(const std::string& text) {
  lst.AddItem(text);
  lst.SetListIndex(lst.ListCount() - 1);
  lst.Refresh();
}

}  // namespace vlm
