// The entry points of the Stairwright library.
#include "stairwright/stairwright.h"
#include "vlm/component_module.h"

VLM_COMPONENT_MODULE("VLMPlugin9.Stairwright", vlm::Stairwright)
