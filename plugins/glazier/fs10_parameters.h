// The FS10 parameters of a material, one descriptor each: the member that holds it, its
// default, its item in the material parameter string, its place in the FS10 material block
// and the control of the options dialog that edits it. FS10Material's constructor,
// toString, loadString and Output and the dialog's captions, load and store all walk this one
// table (FS10Material::Parameters()), so a parameter is added or changed in one place.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <variant>

#include "glazier/fs10_material.h"

namespace vlm::glazier {

// What a parameter holds. The member's type follows from it: a flag is an int16_t (0 or 1),
// a number or colour component a float, a text or enumeration a std::string. The dialog edits
// a flag with a check box, a number with a slider, an enumeration with a drop-down list and a
// text (a texture file name) with a button that picks a file; colour components are edited
// together, with a colour swatch.
enum class ParameterKind : uint8_t { Flag, Number, Colour, Text, Enum };

using ParameterMember =
    std::variant<float FS10Material::*, int16_t FS10Material::*, std::string FS10Material::*>;

// How the FS10 material block prints a value.
enum class Print : uint8_t {
  None,     // not in the block
  Real,     // "0.0######" (formatReal)
  Number,   // the file-print form (PrintNumber)
  Quoted,   // the text in double quotes
  Texture,  // the FS10 texture name in double quotes; nothing at all for an empty name
};

// What follows the text after a value: more of the same line, a line break, or a line break
// and the line "}" that closes the block.
enum class LineEnd : uint8_t { Continue, Line, Block };

struct OutputPlace {
  Print form = Print::None;
  const char* opens = nullptr;  // the line before the value ("AlphaData  {"), if any
  const char* after = ";";
  LineEnd end = LineEnd::Line;
  bool onlyWhenOne = false;  // written only when the value is 1
};

// The control of the options dialog that edits a parameter (see ParameterKind).
struct DialogBinding {
  const char* control = nullptr;  // its name; nullptr when the dialog does not edit it
  int index = -1;                 // in its control array, -1 outside one
  const char* caption = nullptr;  // nullptr: the control's caption is left as it is
  const char* toolTip = nullptr;
  // The caption label of the control in Label1, with its fixed text; for a slider the label
  // shows the value, after labelText.
  int label = -1;
  const char* labelText = nullptr;
  // A slider's range in slider units; it shows the member times scale.
  int min = 0, max = 0;
  double scale = 1;
  bool inverted = false;                      // a check box checked when the member is 0
  std::span<const char* const> entries = {};  // the drop-down list's entries
  const char* preview = nullptr;              // a texture button's preview picture
};

struct FS10Parameter {
  const char* name;  // the member's name
  ParameterKind kind;
  ParameterMember member;
  float defaultNumber = 0;
  const char* defaultText = "";
  // The item in the parameter string: its key and its place among the items (0-based). A
  // parameter without a key always comes from the scene material.
  const char* key = nullptr;
  int slot = -1;
  OutputPlace output = {};
  DialogBinding dialog = {};
};

// The number of items in the parameter string.
inline constexpr int kStringItems = 50;

}  // namespace vlm::glazier
