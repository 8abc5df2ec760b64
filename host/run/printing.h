// How the commands print what a plug-in returned: statuses, numbers and texts.
#pragma once

#include <iosfwd>
#include <string>

#include "vlm/error.h"
#include "vlm/math.h"

namespace vlm::host {

// "status 0x800A000B: error 11: Division by zero" for the status a member returned, with the
// description of `last` (the last error of the context the member ran in) when it belongs to
// that status.
std::string DescribeStatus(Status status, const ErrorRecord& last);

// The shortest text that reads back as the same float.
std::string Number(float value);
// "(x, y, z)".
std::string Vector(Vec3 v);

// The text as one shell word: as it is when it holds only characters no shell treats
// specially, else in single quotes ('it'\''s').
std::string ShellQuoted(const std::string& text);

// Carriage returns in a message box's text become line breaks on the terminal.
std::string TerminalText(const std::string& text);

// From now on the control characters written to `stream` (names and file content quoted in
// messages) reach it escaped, as scene_text::Printable writes them; line breaks and tabs
// pass. Output that means its control characters goes to another stream.
void EscapeControlCharacters(std::ostream& stream);

}  // namespace vlm::host
