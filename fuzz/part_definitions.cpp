// The part definitions file: any file either reads, and then every name and attribute it
// gives is UTF-8 and every animation it names is found, or gives an error naming the file.
#include "fs10/tether_config.h"
#include "fuzz_support.h"
#include "vlm/error.h"
#include "vlm/text_encoding.h"

namespace {

void CheckText(const std::optional<std::string>& text) {
  if (text) vlm::fuzz::Check(vlm::text::IsUtf8(*text), "the file gives UTF-8 text", *text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using vlm::tetherconfig::PartDefinitions;
  const auto file = vlm::fuzz::WriteScratch("modeldef.xml", vlm::fuzz::Text(data, size));
  std::optional<PartDefinitions> parts;
  try {
    parts = PartDefinitions::Load(file);
  } catch (const vlm::Error& e) {
    vlm::fuzz::Check(e.Description().find(file.string()) != std::string::npos,
                     "a reading error names the file", e.Description());
    return 0;
  }
  for (const std::string& name : parts->VisibilityParts())
    CheckText(name);
  for (const std::string& name : parts->MouseRectParts())
    CheckText(name);
  for (const std::string& name : parts->AnimationNames()) {
    CheckText(name);
    const auto animation = parts->FindAnimation(name);
    vlm::fuzz::Check(animation.has_value(), "a named animation is found", name);
    CheckText(animation->type);
    CheckText(animation->length);
    CheckText(animation->typeParam);
    CheckText(animation->typeParam2);
  }
  return 0;
}
