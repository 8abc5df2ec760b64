// The entry points of the Tether library.
#include "tether/tether.h"
#include "vlm/component_module.h"

VLM_COMPONENT_MODULE("VLMPlugin9.Tether", vlm::Tether)
