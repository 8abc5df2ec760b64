// Glazier presets: the first line of a preset file, loaded into the options dialog and
// stored back as the dialog's OK does, keeps every value (a flag keeps whether it is set),
// and a second pass through the dialog changes nothing.
#include "fuzz_support.h"
#include "glazier/frm_options.h"
#include "glazier/fs10_parameters.h"
#include "vlm/text_encoding.h"

namespace {

using vlm::FS10Material;
using namespace vlm::glazier;

FS10Material ThroughDialog(FS10Material& record) {
  frmOptions form;
  form.fx = &record;
  form.UserFolder = vlm::fuzz::ScratchFolder();
  form.Load();
  FS10Material stored = record;
  form.StoreToRecord(stored);
  return stored;
}

bool SameValue(const FS10Parameter& p, const FS10Material& a, const FS10Material& b) {
  return std::visit(
      [&](auto member) {
        if constexpr (std::is_same_v<decltype(member), int16_t FS10Material::*>) {
          return (a.*member != 0) == (b.*member != 0);
        } else {
          return p.kind == ParameterKind::Colour || a.*member == b.*member;
        }
      },
      p.member);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text = vlm::text::DecodeText(vlm::fuzz::Text(data, size));
  FS10Material record;
  record.loadString(text.substr(0, text.find_first_of("\r\n")));
  FS10Material stored = ThroughDialog(record);
  for (const FS10Parameter& p : FS10Material::Parameters())
    vlm::fuzz::Check(SameValue(p, record, stored), "the dialog keeps every value", p.name);
  const std::string first = stored.toString();
  vlm::fuzz::Check(ThroughDialog(stored).toString() == first, "a second pass changes nothing",
                   first);
  return 0;
}
