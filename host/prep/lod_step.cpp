#include "prep/prep_steps.h"

namespace vlm::host {

PrepStepInfo LodStep() {
  return {"lod", "(not built yet)", {}, [](PrepContext&) {
            throw PrepNothingToDo("lod is not built yet");
          }};
}

}  // namespace vlm::host
