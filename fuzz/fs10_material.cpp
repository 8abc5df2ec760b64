// The FS10 material string: whatever is loaded, the string written from it loads back to the
// same string, and the material block is always written.
#include <sstream>

#include "fuzz_support.h"
#include "glazier/fs10_material.h"
#include "vlm/error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using vlm::FS10Material;
  const std::string text(vlm::fuzz::Text(data, size));
  FS10Material loaded;
  loaded.loadString(text);
  const std::string first = loaded.toString();
  FS10Material again;
  again.loadString(first);
  vlm::fuzz::Check(again.toString() == first, "a written string loads back to itself", first);
  std::ostringstream block;
  try {
    loaded.Output(block);
  } catch (const vlm::Error& e) {
    vlm::fuzz::Check(false, "the material block is always written", e.Description());
  }
  return 0;
}
