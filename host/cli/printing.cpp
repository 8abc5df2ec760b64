#include "cli/printing.h"

#include <charconv>
#include <cstdint>
#include <sstream>

#include "vlm/text.h"

namespace vlm::host {
namespace {

std::string Hex(Status status) {
  std::ostringstream s;
  s << "0x" << std::hex << std::uppercase << static_cast<uint32_t>(status);
  return s.str();
}

}  // namespace

std::string DescribeStatus(Status status) {
  ErrorRecord last = LastError();
  std::string text = "status " + Hex(status);
  if (last.status == status) {
    if ((static_cast<uint32_t>(status) & 0xFFFF0000u) == 0x800A0000u)
      text += ": error " + std::to_string(last.number);
    text += ": " + last.description;
  }
  return text;
}

std::string Number(float value) {
  return ShortestText(value);
}

std::string Vector(Vec3 v) {
  return "(" + Number(v.x) + ", " + Number(v.y) + ", " + Number(v.z) + ")";
}

std::string TerminalText(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace vlm::host
