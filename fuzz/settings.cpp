// settings.json: a file is either sound, and then every value in it reads back and survives
// the saving of another, or damaged, and then a plain message says where, reads give the
// defaults and nothing is saved over it.
#include <nlohmann/json.hpp>

#include "fuzz_support.h"
#include "vlm/error.h"
#include "vlm/files.h"
#include "vlm/settings.h"
#include "vlm/text.h"
#include "vlm/text_encoding.h"
#include "vlm/warnings.h"

namespace {

using nlohmann::json;

bool PlainText(std::string_view text) {
  for (unsigned char c : text)
    if (c < 0x20 || c == 0x7f) return false;
  return vlm::text::IsUtf8(text);
}

void CheckDamaged(const std::filesystem::path& file, std::string_view bytes,
                  const std::string& damage) {
  using vlm::fuzz::Check;
  const std::string head = "settings file " + file.string() + " is damaged (";
  Check(damage.starts_with(head) && damage.ends_with(")"), "the damage message names the file",
        damage);
  const std::string_view place = std::string_view(damage).substr(head.size());
  Check(place.starts_with("line ") || place.starts_with("/") || place.starts_with("\"/") ||
            place.starts_with("the top level"),
        "the damage message says where", damage);
  // What the parser quotes is cut short: a string that never ends does not fill the message.
  Check(!place.starts_with("line ") || place.size() < 300, "a syntax error's message is short",
        damage);
  Check(PlainText(damage), "the damage message is plain text", damage);
  Check(vlm::GetSetting("A", "S", "K", "default") == "default", "a damaged file reads as defaults");
  try {
    vlm::SaveSetting("A", "S", "K", "v");
    Check(false, "nothing is saved over a damaged file");
  } catch (const vlm::Error&) {
  }
  Check(vlm::ReadFile(file) == bytes, "a damaged file is left as it is");
}

// Every value of a sound file reads back, before and after another value is saved.
void CheckSound(std::string_view bytes) {
  using vlm::fuzz::Check;
  json root = json::object();
  if (vlm::TrimWhitespace(bytes).size()) root = json::parse(bytes);
  auto readsBack = [&](bool afterSave) {
    size_t checked = 0;
    for (const auto& [app, sections] : root.items())
      for (const auto& [section, keys] : sections.items())
        for (const auto& [key, value] : keys.items()) {
          if (afterSave && vlm::EqualsNoCase(app, "Fuzz")) continue;
          if (++checked > 50) return;
          Check(vlm::GetSetting(app, section, key, "\x01") == value.get<std::string>(),
                "a value of a sound file reads back", app + "/" + section + "/" + key);
        }
  };
  readsBack(false);
  vlm::SaveSettings("Fuzz", "Section", {{"Key", "saved"}, {"Other", "too"}});
  Check(vlm::GetSetting("Fuzz", "Section", "Key") == "saved" &&
            vlm::GetSetting("Fuzz", "Section", "Other") == "too",
        "a saved set reads back");
  readsBack(true);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = (vlm::SetWarningSink([](const std::string&) {}), true);
  (void)quiet;
  const std::string_view bytes = vlm::fuzz::Text(data, size);
  const std::filesystem::path file = vlm::fuzz::WriteScratch("settings.json", bytes);
  const std::string damage = vlm::SettingsDamage();
  if (damage.empty()) {
    CheckSound(bytes);
  } else {
    CheckDamaged(file, bytes, damage);
  }
  return 0;
}
