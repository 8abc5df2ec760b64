#include "run/printing.h"

#include <charconv>
#include <cstdint>
#include <ostream>
#include <sstream>
#include <streambuf>
#include <string_view>

#include "scene/scene_text.h"
#include "vlm/text.h"

namespace vlm::host {
namespace {

std::string Hex(Status status) {
  std::ostringstream s;
  s << "0x" << std::hex << std::uppercase << static_cast<uint32_t>(status);
  return s.str();
}

// Hands on what it is given with its control characters escaped.
class EscapingBuffer final : public std::streambuf {
 public:
  explicit EscapingBuffer(std::streambuf* out) : out_(out) {}

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char byte = traits_type::to_char_type(c);
    return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    std::string shown;
    for (std::streamsize i = 0; i < n; ++i)
      text_.Put(s[i], shown);
    const auto size = static_cast<std::streamsize>(shown.size());
    return out_->sputn(shown.data(), size) == size ? n : 0;
  }
  int sync() override { return out_->pubsync(); }

 private:
  std::streambuf* out_;
  scene_text::PrintableText text_{true};
};

}  // namespace

void EscapeControlCharacters(std::ostream& stream) {
  // Lives as long as the stream may be written to (the standard streams outlive main).
  auto* buffer = new EscapingBuffer(stream.rdbuf());
  stream.rdbuf(buffer);
}

std::string DescribeStatus(Status status, const ErrorRecord& last) {
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

std::string ShellQuoted(const std::string& text) {
  bool plain = !text.empty();
  for (unsigned char c : text)
    plain = plain &&
            ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
             std::string_view("_./:,+=@%-").find(static_cast<char>(c)) != std::string_view::npos);
  if (plain) return text;
  std::string out = "'";
  for (char c : text)
    out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
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
