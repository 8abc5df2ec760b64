// The attachment text Tether and Motive store in the node custom field "TetherData", and the
// pieces of a run both tools share.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vlm {
class Error;
class SceneGraph;
}  // namespace vlm

namespace vlm::attachment {

inline constexpr const char* FieldName = "TetherData";

// `text` made safe inside an XML attribute value or element text: & < > " ' become
// references, tab, line feed and carriage return become character references (so they
// survive attribute normalisation), and the other control characters, which XML cannot hold,
// are left out.
std::string EscapeXml(std::string_view text);

// The first character of `text` that XML 1.0 cannot hold at all, even as a character
// reference (a control character other than tab, line feed and carriage return, a surrogate,
// U+FFFE or U+FFFF), described for the user as "U+FFFF (character 3)"; nullopt when there is
// none. Text that is not UTF-8 is read as Windows-1252, as everywhere else.
std::optional<std::string> CharacterXmlCannotHold(std::string_view text);

// `text` with every character above 127 written as a numeric character reference ("ü" as
// "&#252;"), so it is pure ASCII and means the same whatever encoding a reader assumes. A
// character XML cannot hold (which the dialogs refuse before it gets here) becomes U+FFFD.
std::string WithCharacterReferences(std::string_view text);

// What is stored for an attachment text: "" for "", else the text in the FSMakeMdlData
// wrapper the model compiler reads. The wrapper declares ISO-8859-1 (stored files and the
// compiler rely on it) while the scene's text is UTF-8, so every character above 127 goes in
// as a character reference.
std::string StoredText(const std::string& attachText);

// The slot of "TetherData" on the document's root node, defined when it is not yet.
int32_t TetherDataSlot(SceneGraph& sceneGraph);

}  // namespace vlm::attachment
