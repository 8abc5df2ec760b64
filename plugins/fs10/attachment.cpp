#include "fs10/attachment.h"

#include <cstdio>

#include "vlm/error.h"
#include "vlm/forms.h"
#include "vlm/model.h"
#include "vlm/text_encoding.h"

namespace vlm::attachment {

std::string EscapeXml(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      case '\t':
        out += "&#9;";
        break;
      case '\n':
        out += "&#10;";
        break;
      case '\r':
        out += "&#13;";
        break;
      default:
        if (static_cast<unsigned char>(c) >= 0x20) out += c;
    }
  }
  return out;
}

namespace {

// XML 1.0's Char production: tab, line feed, carriage return and the rest of Unicode but the
// other C0 controls, the surrogates, U+FFFE and U+FFFF.
bool XmlCanHold(char32_t c) {
  if (c < 0x20) return c == '\t' || c == '\n' || c == '\r';
  if (c >= 0xD800 && c <= 0xDFFF) return false;
  return c != 0xFFFE && c != 0xFFFF && c <= 0x10FFFF;
}

}  // namespace

std::optional<std::string> CharacterXmlCannotHold(std::string_view text) {
  const std::u32string points = text::CodePoints(text);
  for (size_t i = 0; i < points.size(); ++i) {
    if (XmlCanHold(points[i])) continue;
    char hex[16];
    std::snprintf(hex, sizeof hex, "U+%04X", static_cast<unsigned>(points[i]));
    return std::string(hex) + " (character " + std::to_string(i + 1) + ")";
  }
  return std::nullopt;
}

std::string WithCharacterReferences(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char32_t c : text::CodePoints(text)) {
    if (c < 0x80)
      out += static_cast<char>(c);
    else
      out += "&#" + std::to_string(XmlCanHold(c) ? static_cast<uint32_t>(c) : 0xFFFDu) + ";";
  }
  return out;
}

std::string StoredText(const std::string& attachText) {
  if (attachText.empty()) return {};
  return "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?> <FSMakeMdlData version=\"9.0\"> " +
         WithCharacterReferences(attachText) + "</FSMakeMdlData>";
}

int32_t TetherDataSlot(SceneGraph& sceneGraph) {
  Node* root = sceneGraph.Document()->RootNode();
  int32_t slot = root->FindCustomField(FieldName);
  if (slot < 0) slot = root->AddCustomField(FieldName);
  return slot;
}

}  // namespace vlm::attachment
