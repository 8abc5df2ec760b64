// The steps of the preparation, one factory each (their files in this folder).
#pragma once

#include "prep/prep_step.h"

namespace vlm::host {

PrepStepInfo TransformStep();  // transform_step.cpp
PrepStepInfo MaterialsStep();  // material_step.cpp
PrepStepInfo RenameStep();     // name_steps.cpp
PrepStepInfo ShortenStep();    // name_steps.cpp
PrepStepInfo FlattenStep();    // hierarchy_steps.cpp
PrepStepInfo MergeStep();      // hierarchy_steps.cpp
PrepStepInfo SplitStep();      // hierarchy_steps.cpp
PrepStepInfo CleanStep();      // cleanup_steps.cpp
PrepStepInfo NormalsStep();    // cleanup_steps.cpp
PrepStepInfo LodStep();        // lod_step.cpp

}  // namespace vlm::host
