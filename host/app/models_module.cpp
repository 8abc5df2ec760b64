// vlmhost_models.so: the models of other programs, read and written with Assimp
// (exchange/model_import.cpp, model_export.cpp), as the program calls them (app/modules.h).
#include "app/modules.h"
#include "exchange/model_export.h"
#include "exchange/model_import.h"

namespace {

// Each function named by the address of this module's own definition: the module binds its
// names to itself (cmake/module_exports.map), not to the program's functions that load it.
const vlm::app::ModelsModule kModels = {
    &vlm::host::ImportModel,    &vlm::host::ImportModels, &vlm::host::ImportModelFromMemory,
    &vlm::host::ModelFormatFor, &vlm::host::ExportModel,  &vlm::host::ExportModelTaking,
};

}  // namespace

extern "C" const void* vlm_module_entry() {
  return &kModels;
}
