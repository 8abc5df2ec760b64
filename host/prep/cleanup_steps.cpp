#include "prep/prep_steps.h"

namespace vlm::host {

PrepStepInfo CleanStep() {
  return {"clean", "(not built yet)", {}, [](PrepContext&) {
            throw PrepNothingToDo("clean is not built yet");
          }};
}
PrepStepInfo NormalsStep() {
  return {"normals", "(not built yet)", {}, [](PrepContext&) {
            throw PrepNothingToDo("normals is not built yet");
          }};
}

}  // namespace vlm::host
