// The numeric dialog shared by the geometry tools: an array of number fields `txt`, OK and
// Cancel, a cancel flag and the scene's unit scale, with the field readers behind it.
//
// Fields accept plain numbers and feet-and-inch notation (5'6, 6"), are tidied to a plain
// decimal when the user leaves them, and are remembered per user under application
// "VLMPlugin", section the tool's title, keys "txt0", "txt1", ...
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vlm/error.h"
#include "vlm/forms.h"

namespace vlm {

// The application under which the tools remember their dialog values.
inline constexpr std::string_view SettingsApplication = "VLMPlugin";

// The leading-number reader: a text that is a number as a whole gives its value; otherwise
// the longest prefix of digits, "-" and "." is read, and a prefix that is no number gives 0.
// Never raises: a value beyond the float range also gives 0.
float xCsng(std::string_view text);

// The field reader with feet and inches: 5'6 is five feet six inches, 6" six inches. When
// `sscale` is exactly 1 (a metre scene) feet and inches are converted to metres. The result
// is rounded to 3 decimals, half to even. Never raises; 0 for what cannot be read.
float fnVal(std::string_view text, float sscale);

// Rounds to `decimals` places, half to even, in double precision.
double RoundHalfEven(double value, int decimals);

// The decimal text of a float as a field shows it: the shortest text that reads back as the
// same float, "." as the decimal point, "0" for both zeros.
std::string NumberText(float value);

// The plain conversions a tool applies to tidied field texts. Blanks around the number, a
// sign, a decimal point and an exponent are accepted. Error 13 (type mismatch) for text that
// is no number, 6 (overflow) for a value beyond the range.
float ToSingle(std::string_view text);
// A 16-bit integer, rounded half to even.
int16_t ToInteger(std::string_view text);

// The dialog core. A tool's form derives from it, adds its labels and extra controls, and
// gives its design texts (the defaults in metres).
class NumericDialog : public Form {
 public:
  // `section` is the tool's title for the remembered settings.
  NumericDialog(std::string name, std::string section, std::vector<std::string> designTexts);

  // True unless the dialog was closed with OK.
  bool bCancel = true;
  // The scene's unit scale (metres per unit); set by the tool before the dialog loads.
  float sscale = 1.0f;

  ControlArray<TextBox> txt;
  CommandButton OKButton;
  CommandButton CancelButton;

  float fnVal(std::string_view text) const { return vlm::fnVal(text, sscale); }
  const std::string& Section() const { return section_; }
  // The default a field shows when nothing is remembered: its design text over sscale (a
  // count is not scaled).
  std::string DefaultText(int index) const;
  // The text a field is tidied to when it loses focus, and that OK remembers.
  std::string TidiedText(int index) const;
  // How messages name a field: its label and place, `"Height" (txt(0))`.
  std::string FieldName(int index) const;

  // What the fields hold, for a message about a value they led to:
  // `the field "Inset" (txt(0)) holds "3e38"`, or `the fields hold "Inset" (txt(0)) = "1", ...`.
  std::string FieldsHeld() const;
  // Runs `work`; an overflow it raises (a result beyond the float range) names the fields.
  template <class Work>
  void namingFieldsOnOverflow(Work work) const {
    try {
      work();
    } catch (const Error& e) {
      if (e.Number() != err::Overflow) throw;
      Raise(err::Overflow, e.Description() + ": " + FieldsHeld());
    }
  }

  // The plain conversions of a field's text (ToSingle, ToInteger); an error names the field
  // and the text it holds.
  float ReadSingle(int index) const;
  int16_t ReadInteger(int index) const;

 protected:
  // Leaving a field rewrites it through fnVal, unless it holds a count.
  virtual void txtLostFocus(int index);
  // Notes on the field how its text `typed` was read (its text now).
  static void noteReading(TextBox& field, std::string_view typed);
  // A field that holds a count, not a length: not scaled, not read as feet and inches.
  virtual bool isCount(int /*index*/) const { return false; }
  // The label shown beside a field, for messages; "" when it has none.
  virtual std::string fieldLabel(int /*index*/) const { return {}; }
  // Further remembered controls: read after the fields are loaded, stored with them on OK.
  virtual void loadSettings() {}
  virtual void saveSettings() {}
  // Runs after the dialog has loaded its values.
  virtual void loaded() {}

  // A remembered value; `problem` (optional) says what is wrong with one the tool cannot use,
  // which is then dropped with a warning and the default taken.
  std::string getSetting(std::string_view key, std::string_view defaultValue,
                         const std::function<std::string(const std::string&)>& problem = {}) const;
  // Kept for OK, which saves the fields and these as one set.
  void saveSetting(std::string_view key, std::string_view value);

 private:
  void formLoad();
  void okClick();
  void cancelClick();

  // DefaultText, with an error naming the field.
  std::string defaultText(int index) const;

  std::string section_;
  std::vector<std::string> designTexts_;
  std::vector<std::pair<std::string, std::string>> unsaved_;
  // False while the settings file is damaged: the dialog then starts from its defaults and
  // remembers nothing, and says so once.
  bool remember_ = true;
};

}  // namespace vlm
