// The IGS reader of the tests: any bytes either read or give a std::runtime_error.
#include <stdexcept>

#include "fuzz_support.h"
#include "support/igs_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    vlm::test::ReadIgs(vlm::fuzz::Text(data, size));
  } catch (const std::runtime_error&) {
  }
  return 0;
}
