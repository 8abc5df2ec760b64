// The vlm::Error a piece of code raises, for tests that check messages.
#pragma once

#include <cstdint>
#include <string>

#include "vlm/error.h"

namespace vlm::test {

struct Failure {
  int32_t number = 0;
  std::string description = "(no error)";
};

template <class F>
Failure FailureOf(F&& f) {
  try {
    f();
  } catch (const Error& e) {
    return {e.Number(), e.Description()};
  }
  return {};
}

}  // namespace vlm::test
