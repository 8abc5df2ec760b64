// The entry points of the Motive library.
#include "motive/motive.h"
#include "vlm/component_module.h"

VLM_COMPONENT_MODULE("VLMPlugin9.Motive", vlm::Motive)
