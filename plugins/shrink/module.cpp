// The entry points of the shrink library.
#include "shrink/shrink.h"
#include "vlm/component_module.h"

VLM_COMPONENT_MODULE("VLMPlugin9.Shrink", vlm::Shrink)
