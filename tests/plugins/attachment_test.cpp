#include "attachment.h"

#include <gtest/gtest.h>

#include <pugixml.hpp>

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

}  // namespace
}  // namespace vlm
