// --param NAME=VALUE: the values an operation runs with, as the user overrides them.
#pragma once

#include <string>
#include <vector>

#include "vlm/contracts/operation.h"

namespace vlm::host {

// Sets each named parameter of the operation `progId` to its value. vlm::Error naming the
// first assignment that names no parameter or whose value is not a finite single-precision
// number.
void ApplyParams(std::vector<OperationParameter>& params,
                 const std::vector<std::string>& assignments, const std::string& progId);

}  // namespace vlm::host
