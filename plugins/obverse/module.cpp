// The entry points of the Obverse library.
#include "obverse/obverse.h"
#include "vlm/component_module.h"

VLM_COMPONENT_MODULE("VLMPlugin9.Obverse", vlm::Obverse)
