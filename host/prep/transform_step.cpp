#include "prep/prep_steps.h"

namespace vlm::host {

PrepStepInfo TransformStep() {
  return {"transform", "(not built yet)", {}, [](PrepContext&) {
            throw PrepNothingToDo("transform is not built yet");
          }};
}

}  // namespace vlm::host
