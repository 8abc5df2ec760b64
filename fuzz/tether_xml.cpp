// tether.xml: any file gives a configuration, sound or with its problem named, and every
// text it gives is UTF-8.
#include "fs10/tether_config.h"
#include "fuzz_support.h"
#include "vlm/text_encoding.h"

namespace {

void CheckText(const std::string& text) {
  vlm::fuzz::Check(vlm::text::IsUtf8(text), "the configuration gives UTF-8 text", text);
}

void CheckLocation(const std::optional<vlm::tetherconfig::Location>& location) {
  if (!location) return;
  CheckText(location->key);
  CheckText(location->subkey);
  CheckText(location->suffix);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using vlm::tetherconfig::TetherConfig;
  vlm::fuzz::WriteScratch(TetherConfig::FileName, vlm::fuzz::Text(data, size));
  const TetherConfig config = TetherConfig::Load(vlm::fuzz::ScratchFolder());
  vlm::fuzz::Check(config.Exists(), "the file is found");
  CheckText(config.Problem());
  CheckLocation(config.Effects());
  CheckLocation(config.Parts());
  for (const std::string& name : config.Platforms())
    CheckText(name);
  return 0;
}
