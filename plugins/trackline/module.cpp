// The entry points of the Trackline library.
#include "trackline/trackline.h"
#include "vlm/component_module.h"

VLM_COMPONENT_MODULE("VLMPluginImportExport9.Trackline", vlm::Trackline)
