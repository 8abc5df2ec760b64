// The FS10 material string: whatever is loaded, the string written from it loads back to the
// same string and the same material block, and the block is always written.
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
  // The block is always written, and the same for the string as for what it was written from.
  std::string blocks[2];
  FS10Material* records[2] = {&loaded, &again};
  for (int i = 0; i < 2; ++i) {
    std::ostringstream block;
    try {
      records[i]->Output(block);
    } catch (const vlm::Error& e) {
      vlm::fuzz::Check(false, "the material block is always written", e.Description());
    }
    blocks[i] = block.str();
  }
  vlm::fuzz::Check(blocks[0] == blocks[1], "a written string gives the same block", first);
  return 0;
}
