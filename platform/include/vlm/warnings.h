// Warnings that the platform and the plug-ins cannot raise as errors (a damaged settings file
// met while a plug-in reads a setting, a texture an export cannot find). They go to the sink of
// the run context installed (RunContext::SetWarningSink); without one they are written to
// stderr.
#pragma once

#include <functional>
#include <string>

namespace vlm {

void SetWarningSink(std::function<void(const std::string&)> sink);
void Warn(const std::string& message);

}  // namespace vlm
