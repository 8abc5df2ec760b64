#include "prep/prep_steps.h"

namespace vlm::host {

PrepStepInfo MaterialsStep() {
  return {"materials", "(not built yet)", {}, [](PrepContext&) {
            throw PrepNothingToDo("materials is not built yet");
          }};
}

}  // namespace vlm::host
