// The entry points of the Ridgepull library.
#include "ridgepull/ridgepull.h"
#include "vlm/component_module.h"

VLM_COMPONENT_MODULE("VLMPlugin9.Ridgepull", vlm::Ridgepull)
