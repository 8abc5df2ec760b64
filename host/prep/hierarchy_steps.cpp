#include "prep/prep_steps.h"

namespace vlm::host {

PrepStepInfo FlattenStep() {
  return {"flatten", "(not built yet)", {}, [](PrepContext&) {
            throw PrepNothingToDo("flatten is not built yet");
          }};
}
PrepStepInfo MergeStep() {
  return {"merge", "(not built yet)", {}, [](PrepContext&) {
            throw PrepNothingToDo("merge is not built yet");
          }};
}
PrepStepInfo SplitStep() {
  return {"split", "(not built yet)", {}, [](PrepContext&) {
            throw PrepNothingToDo("split is not built yet");
          }};
}

}  // namespace vlm::host
