// The dialog-script language: any text either parses or gives a message naming its origin,
// and a value the script set, written back quoted, parses to the same action.
#include "fuzz_support.h"
#include "vlm/error.h"
#include "vlm/scripted_dialogs.h"
#include "vlm/text.h"

namespace {

std::vector<vlm::DialogAction> Parse(std::string_view script, bool file) {
  try {
    return vlm::ParseDialogScript(script, "fuzz", file);
  } catch (const vlm::Error& e) {
    vlm::fuzz::Check(e.Description().starts_with("fuzz"), "a script error names its origin",
                     e.Description());
    return {};
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using vlm::DialogAction;
  if (size == 0) return 0;
  // The first byte chooses between a script given on the command line and a script file.
  const bool file = data[0] & 1;
  for (const DialogAction& action : Parse(vlm::fuzz::Text(data + 1, size - 1), file)) {
    if (action.kind != DialogAction::Kind::Set && action.kind != DialogAction::Kind::Input)
      continue;
    std::string name = action.kind == DialogAction::Kind::Input ? "input " : action.name;
    if (action.kind == DialogAction::Kind::Set) {
      if (action.index >= 0) name += "(" + std::to_string(action.index) + ")";
      name += "=";
    }
    // Quoted as a transcript shows it: line breaks as \n and \r, so even a script file's one
    // line holds them.
    const std::string written = name + vlm::ScriptQuoted(action.value);
    const auto again = Parse(written, file);
    vlm::fuzz::Check(again.size() == 1 && again[0].kind == action.kind &&
                         vlm::EqualsNoCase(again[0].name, action.name) &&
                         again[0].index == action.index && again[0].value == action.value,
                     "a value written back quoted parses to the same action", written);
  }
  return 0;
}
