// The entry points of the Glazier library.
#include "glazier/glazier.h"
#include "vlm/component_module.h"

VLM_COMPONENT_MODULE("VLMPlugin9.Glazier", vlm::Glazier)
