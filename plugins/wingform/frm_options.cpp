// Wingform's options dialog: the farthest distance and the texture extension, remembered.
#include <charconv>
#include <optional>
#include <string>

#include "vlm/error.h"
#include "vlm/settings.h"
#include "vlm/warnings.h"
#include "wingform/wingform.h"

namespace vlm {
namespace {

constexpr const char* MaxTip = "Maximum drawing distance for the object (or zero)";

}  // namespace

wingform::frmOptions::frmOptions() {
  lblMax.SetCaption("Max. Visible (zero for full)");
  lblMax.SetToolTipText(MaxTip);
  txtDist.SetText("0");
  txtDist.SetToolTipText(MaxTip);
  Frame2.SetCaption("Textures");
  optTex(0).SetCaption("Keep Same Extension");
  optTex(0).SetToolTipText("Retains current texture file extensions");
  optTex(1).SetCaption("DDS");
  optTex(1).SetToolTipText(
      "Convert file name extensions to DDS (will require textures to be converted too)");
  optTex(2).SetCaption("PNG");
  for (int i = 0; i < optTex.Count(); ++i)
    optTex(i).SetContainer(&Frame2);
  optTex(2).SetToolTipText(
      "Convert file name extensions to PNG (will require textures to be converted too)");
  optTex(0).SetValue(true);
  optLOD(1).SetToolTipText("Generate 2 LOD's by cutting out smaller objects over 200m");
  optLOD(0).SetValue(true);

  // The common dialog's load (LType = 0) runs after the remembered options are in place.
  OnLoad = [this, commonLoad = OnLoad] {
    txtDist.SetText(GetSetting(Wingform::SettingsApplication, Wingform::Title, "max", "0"));
    auto choice = [this](const std::string& text) -> std::optional<int16_t> {
      int16_t index = 0;
      const auto parsed = std::from_chars(text.data(), text.data() + text.size(), index);
      if (parsed.ec == std::errc() && parsed.ptr == text.data() + text.size() && index >= 0 &&
          index < optTex.Count())
        return index;
      return std::nullopt;
    };
    const std::string tex = GetSetting(
        Wingform::SettingsApplication, Wingform::Title, "tex", "0", [&](const std::string& text) {
          return choice(text) ? std::string()
                              : "not the number of a texture option, 0 to " +
                                    std::to_string(optTex.Count() - 1);
        });
    optTex(choice(tex).value_or(0)).SetValue(true);
    if (commonLoad) commonLoad();
  };
  // The choices are saved when the dialog closes; a settings file that cannot be written
  // must not turn a finished export into a failure, so it is only reported.
  OnUnload = [this] {
    try {
      // One set, so that exports that end at the same time leave the choices of one of them.
      SaveSettings(Wingform::SettingsApplication, Wingform::Title,
                   {{"max", txtDist.Text()}, {"tex", std::to_string(TextureChoice())}});
    } catch (const Error& e) {
      Warn("the export options were not remembered: " + e.Description());
    }
  };
}

int16_t wingform::frmOptions::TextureChoice() const {
  for (int i = 0; i < optTex.Count(); ++i)
    if (optTex(i).Value()) return static_cast<int16_t>(i);
  return 0;
}

}  // namespace vlm
