// The entry points of the Flare library.
#include "flare/flare.h"
#include "vlm/component_module.h"

VLM_COMPONENT_MODULE("VLMOperation9.Flare", vlm::Flare)
