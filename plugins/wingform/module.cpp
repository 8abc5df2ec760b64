// The entry points of the Wingform library.
#include "vlm/component_module.h"
#include "wingform/wingform.h"

VLM_COMPONENT_MODULE("VLMPluginImportExport9.Wingform", vlm::Wingform)
