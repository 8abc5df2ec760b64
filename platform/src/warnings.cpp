#include "vlm/warnings.h"

#include <iostream>

#include "run_state.h"
#include "vlm/run_context.h"

namespace vlm {

void RunContext::Warn(const std::string& message) {
  if (auto& sink = state_->warningSink) {
    sink(message);
  } else {
    std::cerr << "warning: " << message << '\n';
  }
}

void SetWarningSink(std::function<void(const std::string&)> sink) {
  RunContext::Current().SetWarningSink(std::move(sink));
}

void Warn(const std::string& message) {
  RunContext::Current().Warn(message);
}

}  // namespace vlm
