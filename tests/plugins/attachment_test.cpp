#include "fs10/attachment.h"

#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <utility>

namespace vlm {
namespace {

using attachment::EscapeXml;
using attachment::StoredText;

TEST(Attachment, StoredTextWrapsAllButTheEmptyText) {
  EXPECT_EQ(StoredText(""), "");
  EXPECT_EQ(StoredText("<NoCrash/>"),
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?> <FSMakeMdlData version=\"9.0\"> "
            "<NoCrash/></FSMakeMdlData>");
}

// The wrapper declares ISO-8859-1, so the scene's UTF-8 goes in as character references: a
// reader that honours the declaration, or one that assumes UTF-8, reads the scene's text.
TEST(Attachment, StoredTextReadsBackTheSameUnderItsDeclaration) {
  const std::pair<std::string, std::string> cases[] = {
      {"\xC3\xBC", "&#252;"},        // ü
      {"caf\xC3\xA9", "caf&#233;"},  // café
      {"\xE2\x82\xAC"
       "5",
       "&#8364;5"},                       // €, which Latin-1 lacks
      {"\xF0\x9F\x98\x80", "&#128512;"},  // beyond 16 bits
      {"a&b", "a&amp;b"},                 // ASCII as before
  };
  for (const auto& [name, written] : cases) {
    const std::string stored =
        StoredText("<Visibility name=\"" + EscapeXml(name) + "\" > </Visibility> ");
    EXPECT_NE(stored.find("name=\"" + written + "\""), std::string::npos) << stored;
    for (pugi::xml_encoding encoding : {pugi::encoding_latin1, pugi::encoding_auto}) {
      pugi::xml_document doc;
      ASSERT_TRUE(doc.load_buffer(stored.data(), stored.size(), pugi::parse_default, encoding));
      EXPECT_EQ(doc.child("FSMakeMdlData").child("Visibility").attribute("name").value(), name)
          << stored << " read as " << encoding;
    }
  }
}

// Every byte in an attribute and in element text comes back from a parser as it went in,
// except the control characters XML cannot hold, which are left out.
TEST(Attachment, EscapedTextSurvivesAParser) {
  std::string all, expected;
  for (int c = 1; c < 128; ++c) {
    all += static_cast<char>(c);
    if (c >= 0x20 || c == '\t' || c == '\n' || c == '\r') expected += static_cast<char>(c);
  }
  const std::string xml =
      "<a v=\"" + EscapeXml(all) + "\" w='" + EscapeXml(all) + "'>" + EscapeXml(all) + "</a>";
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(xml.c_str(), pugi::parse_default | pugi::parse_eol)) << xml;
  EXPECT_EQ(doc.child("a").attribute("v").value(), expected);
  EXPECT_EQ(doc.child("a").attribute("w").value(), expected);
  EXPECT_EQ(doc.child("a").text().get(), expected);
  EXPECT_EQ(EscapeXml("plain text 1.0"), "plain text 1.0");
}

// XML 1.0 holds tab, line feed, carriage return and the rest of Unicode but the other C0
// controls, the surrogates, U+FFFE and U+FFFF; a character reference cannot name those either.
TEST(Attachment, CharactersXmlCannotHoldAreFoundAndNeverWritten) {
  const std::pair<std::string, const char*> cases[] = {
      {"plain \t\r\n\x7F", nullptr},
      {"\xEF\xBF\xBD\xF0\x9F\x98\x80", nullptr},  // U+FFFD and beyond 16 bits
      {"a\x01", "U+0001 (character 2)"},
      {std::string("\0", 1), "U+0000 (character 1)"},
      {"\xC3\xBC\xEF\xBF\xBE", "U+FFFE (character 2)"},
      {"x\xEF\xBF\xBF", "U+FFFF (character 2)"},
  };
  for (const auto& [text, found] : cases) {
    const auto bad = attachment::CharacterXmlCannotHold(text);
    EXPECT_EQ(bad.value_or("none"), found ? found : "none") << text;
  }
  EXPECT_EQ(attachment::WithCharacterReferences("a\xEF\xBF\xBF\xEF\xBF\xBE"), "a&#65533;&#65533;");
}

}  // namespace
}  // namespace vlm
