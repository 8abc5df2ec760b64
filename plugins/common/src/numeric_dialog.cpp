#include "vlm/numeric_dialog.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <utility>

#include "vlm/error.h"
#include "vlm/settings.h"
#include "vlm/text.h"
#include "vlm/warnings.h"

namespace vlm {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// A plain decimal number and nothing else: an optional sign, digits with at most one point
// (at least one digit), an optional exponent. Blanks around it are allowed.
bool IsNumber(std::string_view s) {
  s = Trim(s);
  size_t i = 0, digits = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  while (i < s.size() && IsDigit(s[i]))
    ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && IsDigit(s[i]))
      ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    size_t expDigits = 0;
    while (i < s.size() && IsDigit(s[i]))
      ++i, ++expDigits;
    if (expDigits == 0) return false;
  }
  return i == s.size();
}

// The decimal exponent of a number's leading digit is below zero (it is smaller than 1).
bool IsTiny(std::string_view s) {
  long exponent = 0;
  size_t e = s.find_first_of("eE");
  if (e != std::string_view::npos) {
    std::string_view x = s.substr(e + 1);
    if (!x.empty() && x.front() == '+') x.remove_prefix(1);
    auto [end, ec] = std::from_chars(x.data(), x.data() + x.size(), exponent);
    if (ec != std::errc()) return !x.empty() && x.front() == '-';  // a huge exponent
    s = s.substr(0, e);
  }
  long lead = 0;  // exponent of the leading non-zero digit without the explicit exponent
  size_t point = s.find('.');
  std::string_view whole = s.substr(0, point);
  size_t firstWhole = whole.find_first_not_of("+-0");
  if (firstWhole != std::string_view::npos) {
    lead = static_cast<long>(whole.size() - firstWhole) - 1;
  } else if (point != std::string_view::npos) {
    std::string_view fraction = s.substr(point + 1);
    size_t firstFraction = fraction.find_first_not_of('0');
    if (firstFraction == std::string_view::npos) return true;  // zero
    lead = -static_cast<long>(firstFraction) - 1;
  }
  return lead + exponent < 0;
}

enum class Parse { Ok, NotANumber, OutOfRange };

// Reads a plain number (IsNumber) as a float.
Parse ParseSingle(std::string_view text, float& out) {
  if (!IsNumber(text)) return Parse::NotANumber;
  std::string_view s = Trim(text);
  bool negative = false;
  if (s.front() == '+' || s.front() == '-') negative = s.front() == '-', s.remove_prefix(1);
  double value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec == std::errc::result_out_of_range) {
    if (!IsTiny(s)) return Parse::OutOfRange;
    value = 0;
  } else if (ec != std::errc() || end != s.data() + s.size()) {
    return Parse::NotANumber;
  }
  if (std::fabs(value) > FLT_MAX) return Parse::OutOfRange;
  out = static_cast<float>(negative ? -value : value);
  return Parse::Ok;
}

}  // namespace

float xCsng(std::string_view text) {
  if (text.empty()) return 0;
  float value = 0;
  Parse whole = ParseSingle(text, value);
  if (whole == Parse::Ok) return value;
  if (whole == Parse::OutOfRange) return 0;
  size_t end = 0;
  while (end < text.size() && (IsDigit(text[end]) || text[end] == '-' || text[end] == '.'))
    ++end;
  if (ParseSingle(text.substr(0, end), value) != Parse::Ok) return 0;
  return value;
}

double RoundHalfEven(double value, int decimals) {
  const double scale = std::pow(10.0, decimals);
  const double scaled = value * scale;
  if (!std::isfinite(scaled)) return value;
  double whole = std::floor(scaled);
  const double fraction = scaled - whole;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
  return whole / scale;
}

float fnVal(std::string_view text, float sscale) {
  // Feet and inches are converted to metres only in a metre scene.
  const double factor = sscale == 1.0f ? static_cast<double>(0.3048f) : 1.0;
  double value;
  const size_t feetMark = text.find('\'');
  if (feetMark == std::string_view::npos) {
    if (text.find('"') != std::string_view::npos)
      value = xCsng(text) / 12.0 * factor;
    else
      value = xCsng(text);
  } else {
    // The sign of the feet applies to the inches too. It is read from the written minus, not
    // from the value of the feet: "-0'6" (minus nought feet six inches) is minus six inches,
    // -0.152 in a metre scene, as "-5'6" is -1.676, although minus nought is not below nought.
    const std::string_view feetPart = Trim(text.substr(0, feetMark));
    const double sign = !feetPart.empty() && feetPart.front() == '-' ? -1.0 : 1.0;
    const double feet = xCsng(text);
    const double inches = xCsng(text.substr(feetMark + 1));
    value = (sign * inches / 12.0 + feet) * factor;
  }
  value = RoundHalfEven(value, 3);
  if (!std::isfinite(value) || std::fabs(value) > FLT_MAX) return 0;
  return static_cast<float>(value);
}

std::string NumberText(float value) {
  if (value == 0) return "0";  // -0 too
  return ShortestText(value);
}

float ToSingle(std::string_view text) {
  float value = 0;
  switch (ParseSingle(text, value)) {
    case Parse::Ok:
      return value;
    case Parse::OutOfRange:
      Raise(err::Overflow);
    case Parse::NotANumber:
      break;
  }
  Raise(err::TypeMismatch);
}

int16_t ToInteger(std::string_view text) {
  float value = ToSingle(text);
  const int32_t whole = CheckedInt32(value);
  if (whole < INT16_MIN || whole > INT16_MAX) Raise(err::Overflow);
  return static_cast<int16_t>(whole);
}

// ---- NumericDialog ------------------------------------------------------------------------

NumericDialog::NumericDialog(std::string name, std::string section,
                             std::vector<std::string> designTexts)
    : Form(std::move(name)),
      txt(*this, "txt", static_cast<int>(designTexts.size())),
      OKButton(*this, "OKButton"),
      CancelButton(*this, "CancelButton"),
      section_(std::move(section)),
      designTexts_(std::move(designTexts)) {
  for (int i = 0; i < txt.Count(); ++i)
    txt(i).SetText(designTexts_[static_cast<size_t>(i)]);
  OKButton.SetCaption("OK");
  OKButton.Default = true;
  CancelButton.SetCaption("Cancel");
  CancelButton.Cancel = true;

  OnLoad = [this] { formLoad(); };
  OKButton.Click = [this] { okClick(); };
  CancelButton.Click = [this] { cancelClick(); };
  txt.OnLostFocus([this](int index) { txtLostFocus(index); });
}

std::string NumericDialog::DefaultText(int index) const {
  // The design text as the "0.0##" pattern shows it, then scaled to the scene's unit.
  const float design =
      static_cast<float>(RoundHalfEven(ToSingle(designTexts_.at(static_cast<size_t>(index))), 3));
  if (isCount(index)) return NumberText(design);
  const float scaled = CheckedDivide(design, sscale);
  return NumberText(static_cast<float>(RoundHalfEven(scaled, 3)));
}

std::string NumericDialog::TidiedText(int index) const {
  if (isCount(index)) return txt(index).Text();
  return NumberText(fnVal(txt(index).Text()));
}

std::string NumericDialog::FieldName(int index) const {
  const std::string place = "txt(" + std::to_string(index) + ")";
  const std::string label = fieldLabel(index);
  return label.empty() ? place : "\"" + label + "\" (" + place + ")";
}

std::string NumericDialog::FieldsHeld() const {
  if (txt.Count() == 1) return "the field " + FieldName(0) + " holds \"" + txt(0).Text() + "\"";
  std::string list;
  for (int i = 0; i < txt.Count(); ++i)
    list += (i ? ", " : "") + FieldName(i) + " = \"" + txt(i).Text() + "\"";
  return "the fields hold " + list;
}

namespace {

template <class Read>
auto readField(const NumericDialog& dialog, int index, Read read) {
  const std::string& text = dialog.txt(index).Text();
  try {
    return read(text);
  } catch (const Error& e) {
    Raise(e.Number(),
          e.Description() + ": the field " + dialog.FieldName(index) + " holds \"" + text + "\"");
  }
}

}  // namespace

float NumericDialog::ReadSingle(int index) const {
  return readField(*this, index, [](const std::string& text) { return ToSingle(text); });
}

int16_t NumericDialog::ReadInteger(int index) const {
  return readField(*this, index, [](const std::string& text) { return ToInteger(text); });
}

void NumericDialog::txtLostFocus(int index) {
  const std::string typed = txt(index).Text();
  txt(index).SetText(TidiedText(index));
  noteReading(txt(index), typed);
}

// Tells the back-end how the field was read: "abc" reads as 0, but holds no number at all.
void NumericDialog::noteReading(TextBox& field, std::string_view typed) {
  auto hasNumber = [](std::string_view t) {
    size_t end = 0;
    while (end < t.size() && (IsDigit(t[end]) || t[end] == '-' || t[end] == '.'))
      ++end;
    float ignored = 0;
    return ParseSingle(t, ignored) == Parse::Ok ||
           ParseSingle(t.substr(0, end), ignored) == Parse::Ok;
  };
  const size_t feetMark = typed.find('\'');
  const bool readable =
      Trim(typed).empty() || hasNumber(typed) ||
      (feetMark != std::string_view::npos && hasNumber(typed.substr(feetMark + 1)));
  field.NoteReading(field.Text(), readable);
}

std::string NumericDialog::getSetting(
    std::string_view key, std::string_view defaultValue,
    const std::function<std::string(const std::string&)>& problem) const {
  if (!remember_) return std::string(defaultValue);
  return GetSetting(SettingsApplication, section_, key, defaultValue, problem);
}

void NumericDialog::saveSetting(std::string_view key, std::string_view value) {
  if (remember_) unsaved_.emplace_back(key, value);
}

void NumericDialog::formLoad() {
  // A damaged settings file is left for the user to mend; the tool still works meanwhile.
  if (const std::string damage = SettingsDamage(); !damage.empty()) {
    remember_ = false;
    Warn(damage + "; " + section_ +
         " starts from its default values, and values entered will not be remembered until "
         "the file is mended");
  }
  for (int i = 0; i < txt.Count(); ++i) {
    // A remembered text that the tool could not read would stop every run until the file was
    // mended by hand; it is dropped with a warning instead.
    const std::string text =
        getSetting("txt" + std::to_string(i), defaultText(i), [this, i](const std::string& stored) {
          try {
            if (isCount(i)) {
              ToInteger(stored);
            } else {
              ToSingle(stored);
            }
            return std::string();
          } catch (const Error& e) {
            return e.Description();
          }
        });
    txt(i).SetText(text);
  }
  loadSettings();
  loaded();
}

std::string NumericDialog::defaultText(int index) const {
  try {
    return DefaultText(index);
  } catch (const Error& e) {
    Raise(e.Number(), e.Description() + ": the default of the field " + FieldName(index) +
                          " at the scene's scale " + NumberText(sscale));
  }
}

void NumericDialog::okClick() {
  // A field that never lost focus is remembered tidied, so that the next run can read it.
  unsaved_.clear();
  for (int i = 0; i < txt.Count(); ++i)
    saveSetting("txt" + std::to_string(i), TidiedText(i));
  saveSettings();
  // The dialog's values are one set: saved together, so that runs that end at the same time
  // leave the set of one of them, never a mixture.
  if (remember_) SaveSettings(SettingsApplication, section_, std::exchange(unsaved_, {}));
  bCancel = false;
  Hide();
}

void NumericDialog::cancelClick() {
  bCancel = true;
  Hide();
}

}  // namespace vlm
