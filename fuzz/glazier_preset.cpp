// Glazier presets: a preset file, loaded into the options dialog and stored back as the
// dialog's OK does, keeps every value (a flag keeps whether it is set), a second pass through
// the dialog changes nothing, and the preset written from it reads back item for item.
#include "fuzz_support.h"
#include "glazier/frm_options.h"
#include "glazier/fs10_parameters.h"

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
  FS10Material record;
  LoadPreset(std::string(vlm::fuzz::Text(data, size)), record);
  FS10Material stored = ThroughDialog(record);
  for (const FS10Parameter& p : FS10Material::Parameters())
    vlm::fuzz::Check(SameValue(p, record, stored), "the dialog keeps every value", p.name);
  const std::string first = stored.toString();
  vlm::fuzz::Check(ThroughDialog(stored).toString() == first, "a second pass changes nothing",
                   first);
  FS10Material back;
  back.Power = stored.Power;
  LoadPreset(PresetText(stored), back);
  vlm::fuzz::Check(back.toItems() == stored.toItems(), "a written preset reads back the same",
                   first);
  return 0;
}
