#include "run/params.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "vlm/error.h"

namespace vlm::host {
namespace {

[[noreturn]] void RaiseBadParam(const std::string& assignment, const std::string& problem) {
  Raise(err::InvalidProcedureCall, "--param " + assignment + ": " + problem);
}

OperationParameter& FindParam(std::vector<OperationParameter>& params, const std::string& name,
                              const std::string& assignment, const std::string& progId) {
  auto it =
      std::find_if(params.begin(), params.end(), [&](const auto& p) { return p.Name == name; });
  if (it != params.end()) return *it;
  std::string known;
  for (const auto& p : params)
    known += (known.empty() ? "" : ", ") + p.Name;
  RaiseBadParam(assignment,
                progId + " has no parameter \"" + name + "\"; its parameters: " + known);
}

// The number after "=", which must fill the rest of the assignment.
float ParseValue(const std::string& assignment, size_t eq) {
  float value = 0;
  const char* first = eq == std::string::npos ? nullptr : assignment.data() + eq + 1;
  const char* last = assignment.data() + assignment.size();
  auto parsed = first ? std::from_chars(first, last, value) : std::from_chars_result{};
  if (first && parsed.ec == std::errc::result_out_of_range && parsed.ptr == last)
    RaiseBadParam(assignment, "the value is out of range (a single-precision number)");
  if (!first || parsed.ec != std::errc() || parsed.ptr != last)
    RaiseBadParam(assignment, "the value must be a number");
  if (!std::isfinite(value)) RaiseBadParam(assignment, "the value must be a finite number");
  return value;
}

}  // namespace

void ApplyParams(std::vector<OperationParameter>& params,
                 const std::vector<std::string>& assignments, const std::string& progId) {
  for (const std::string& assignment : assignments) {
    size_t eq = assignment.find('=');
    OperationParameter& param = FindParam(params, assignment.substr(0, eq), assignment, progId);
    param.Value = ParseValue(assignment, eq);
  }
}

}  // namespace vlm::host
