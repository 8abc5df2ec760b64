#include "prep/prep_steps.h"

namespace vlm::host {

PrepStepInfo RenameStep() {
  return {"rename", "(not built yet)", {}, [](PrepContext&) {
            throw PrepNothingToDo("rename is not built yet");
          }};
}
PrepStepInfo ShortenStep() {
  return {"shorten", "(not built yet)", {}, [](PrepContext&) {
            throw PrepNothingToDo("shorten is not built yet");
          }};
}

}  // namespace vlm::host
