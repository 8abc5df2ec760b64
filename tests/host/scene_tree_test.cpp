#include "scene/scene_tree.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "support/errors.h"
#include "vlm/files.h"

namespace vlm::host {
namespace {

using test::FailureOf;

// Equal values of the same kinds: a signed and an unsigned zero, or 0.0 and -0.0, differ.
void ExpectSameJson(const SceneJson& a, const SceneJson& b, const std::string& where) {
  ASSERT_EQ(a.type(), b.type()) << where;
  if (a.is_number_float()) {
    EXPECT_EQ(std::bit_cast<uint64_t>(a.get<double>()), std::bit_cast<uint64_t>(b.get<double>()))
        << where << ": " << a << " " << b;
  } else if (a.is_array() || a.is_object()) {
    ASSERT_EQ(a.size(), b.size()) << where;
    auto i = a.begin(), j = b.begin();
    for (; i != a.end(); ++i, ++j) {
      if (a.is_object()) {
        EXPECT_EQ(i.key(), j.key()) << where;
      }
      ExpectSameJson(*i, *j, where + "/" + (a.is_object() ? i.key() : ""));
    }
  } else {
    EXPECT_EQ(a, b) << where;
  }
}

// The fast parser gives a tree only where the library gives the same one, and refuses what
// the library refuses; the reader's entry point gives the library's tree or message.
void ExpectBothPathsAgree(const std::string& text, bool fast, const std::string& name) {
  SCOPED_TRACE(name);
  std::optional<SceneTree> quick = ParseTreeFast(text, "t.json");
  EXPECT_EQ(quick.has_value(), fast);
  std::optional<SceneTree> plain;
  test::Failure plainFailure = FailureOf([&] { plain = ParseTreePlain(text, "t.json"); });
  test::Failure failure = FailureOf([&] { ParseTree(text, "t.json"); });
  EXPECT_EQ(failure.description, plainFailure.description);
  if (!quick) return;
  ASSERT_TRUE(plain) << plainFailure.description;
  ExpectSameJson(quick->root, plain->root, "");
  ASSERT_EQ(quick->lists.size(), plain->lists.size());
  EXPECT_TRUE(quick->lists == plain->lists);
}

TEST(SceneTreeParsers, EveryFileGivesTheSameTreeOrTheSameMessage) {
  for (const char* dir : {VLM_TEST_DATA_DIR, VLM_TEST_EXAMPLES_DIR}) {
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      std::string name = entry.path().filename().string();
      if (entry.path().extension() != ".json") continue;
      // Every file that is not meant to be bad goes the fast way.
      std::string text = ReadFile(entry.path());
      bool fast = !name.starts_with("bad_") || ParseTreeFast(text, "t.json").has_value();
      ExpectBothPathsAgree(text, fast, name);
    }
  }
}

#define MESH(members)                                               \
  "{\"root\": {\"groups\": [{\"groups\": [{\"objects\": [{" members \
  "}]}]}], \"objects\": [{\"vertices\": [[1, 2, 3]]}]}}"

struct TreeCase {
  const char* name;
  std::string text;
  bool fast;  // whether the quick reader reads it
};

const TreeCase kTreeCases[] = {
    {"Numbers",
     "[0, -0, 0.0, -0.0, 1, -1, 1E2, 1e+2, 1.0e-2, 0.1, 3.14159265358979323846264338327950288,"
     " 9223372036854775807, 9223372036854775808, 18446744073709551615, -9223372036854775808,"
     " 1.7976931348623157e308, 2.2250738585072011e-308, 4.9e-324, 1e-400, 1e-320]",
     true},
    {"LongNumbers",
     "[0.5000000000000000000000, -0.50000000000000000000, 0.1234567890123456789012,"
     " 12345678901234567890.5, 5000000000000000000000e-22, 1.0000000000000000000000000001,"
     " 0.000000000000000000000000000000000000000000001e40, 2.4703282292062327208829e-324]",
     true},
    {"LongNumbersInLists",
     MESH(R"("vertices": [[0.5000000000000000000000, 1.0000000000000000000001, -2e0],
        [1, 2, 1.00000000000000000000000000000000000001e38]])"),
     true},
    {"WholeNumbersPast64Bits", "[18446744073709551616]", false},
    {"NegativePast64Bits", "[-9223372036854775809]", false},
    {"ManyDigits", "[123456789012345678901234567890]", false},
    {"Strings",
     R"({"a\u00e9\ud83d\ude00": "x\n\t\"\\\/\u0000y", "": "", "b": [true, false, null, {}, []]})",
     true},
    {"Lists", MESH(R"("name": "M", "vertices": [[0.1, -2, 3e-3], [1, 1, 1]],
        "normals": [[0, 0, 1]], "uvs": [[0.5, 1]], "faces": [{"material": "A", "points":
        [[0, 0, 0], [1, -1, 0], [0, 0, -1]]}, {"points": [[1, 0, 0]], "material": "B"},
        {"material": "A", "points": []}])"),
     true},
    {"ListNotWellFormed", MESH(R"("vertices": [[0, 0], [1, 1, 1]])"), false},
    {"FacesNotWellFormed", MESH(R"("faces": [{"points": [[0, 0, 0]], "points": []}])"), false},
    {"ListsOutsideAMesh", R"({"vertices": [[0, 0, 0]], "root": {"vertices": [[1, 2]]}})", true},
    {"Scalar", "5", true},
    {"DuplicateKey", R"({"a": 1, "b": {"c": 2, "c": 3}})", false},
    {"DeepNesting", std::string(600, '[') + std::string(600, ']'), false},
    {"TrailingComma", "[1, 2,]", false},
    {"TrailingMemberComma", "{\"a\": 1,}", false},
    {"MissingComma", "[1 2]", false},
    {"MissingColon", "{\"a\" 1}", false},
    {"TrailingText", "{} x", false},
    {"ExtraClose", "{\"a\": 1}}", false},
    {"Unclosed", "[{\"a\": [1", false},
    {"Empty", " \n", false},
    {"LeadingZero", "[01]", false},
    {"BareDot", "[1.]", false},
    {"NoLeadingDigit", "[.5]", false},
    {"BareMinus", "[-]", false},
    {"BareExponent", "[1e]", false},
    {"NotANumber", "[NaN, Infinity]", false},
    {"Overflow", "[1e400]", false},
    {"CutLiteral", "[tru]", false},
    {"CutNull", "[nul]", false},
    {"LongLiteral", "[truex]", false},
    {"ControlCharacter", "[\"a\x01\"]", false},
    {"BadEscape", R"(["\x"])", false},
    {"LoneSurrogate", R"(["\ud800"])", false},
    {"BadUtf8", "[\"\xC3\x28\"]", false},
    {"Utf8Surrogate", "[\"\xED\xA0\x80\"]", false},
    {"OtherWhitespace", "[1,\f2, \v3]", false},
    {"NulByte", std::string("[1,\0 2]", 7), false},
    {"ByteOrderMark", "\xEF\xBB\xBF{}", false},
};

TEST(SceneTreeParsers, SameTreeOrSameMessage) {
  for (const TreeCase& c : kTreeCases)
    ExpectBothPathsAgree(c.text, c.fast, c.name);
}

TEST(SceneTreeParsers, RandomDoublesReadTheSame) {
  std::mt19937_64 random(14);
  std::string list = "[", vertices;
  for (int i = 0; i < 3000; ++i) {
    double value;
    do {
      value = std::bit_cast<double>(random());
    } while (!std::isfinite(value));
    float single;
    do {
      single = std::bit_cast<float>(static_cast<uint32_t>(random()));
    } while (!std::isfinite(single));
    char text[32], point[96];
    std::snprintf(text, sizeof text, i % 2 ? "%.17g" : "%.6g", value);
    std::snprintf(point, sizeof point, "[%.9g, %.17g, %d]", single, double(single) * 1.0000001, i);
    list += std::string(i ? ", " : "") + text;
    vertices += std::string(i ? ", " : "") + point;
  }
  ExpectBothPathsAgree(list + "]", true, "list");
  ExpectBothPathsAgree(MESH("\"vertices\": [" + vertices + "]"), true, "vertices");
  // Plain decimals of 1 to 17 digits, the point anywhere among them: those of up to 15 digits
  // are read by one division, the longer ones as any other number.
  std::string decimals = "[-0.0, 0.0, 9007199254740993.5";
  for (int i = 0; i < 20000; ++i) {
    const int count = 1 + int(random() % 17), point = 1 + int(random() % count);
    std::string digits = random() % 2 ? "-" : "";
    for (int d = 0; d < count; ++d)
      digits += char('0' + (d == 0 && point > 1 ? 1 + random() % 9 : random() % 10));
    digits.insert(digits.size() - size_t(count - point), ".");
    if (digits.back() == '.') digits += '0';
    decimals += ", " + digits;
  }
  ExpectBothPathsAgree(decimals + "]", true, "decimals");
}

// A file is read a piece at a time (a MiB); whatever token a piece ends in, the tree is the
// one the whole text gives.
TEST(SceneTreeParsers, AFileReadInPiecesGivesTheWholeTextsTree) {
  const std::string tokens =
      R"("a\u00e9\ud83d\ude00\n\"", ")"
      "\xC3\xA9\xF0\x9F\x98\x80"
      R"(", -12345678901234, 1.5e-3, 1e-320, true, null, {"key": false}, [])";
  const SceneTree whole = ParseTreePlain("[" + tokens + "]", "t.json");
  const std::string file = testing::TempDir() + "pieces.json";
  for (size_t shift = 0; shift < 90; ++shift) {
    SCOPED_TRACE(shift);
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        << "[" << std::string((size_t(1) << 20) - 60 + shift, ' ') << tokens << "]";
    FileReader reader(file);
    std::optional<SceneTree> quick = ParseTreeFast(reader);
    ASSERT_TRUE(quick);
    ExpectSameJson(quick->root, whole.root, "");
  }
  std::filesystem::remove(file);
}

}  // namespace
}  // namespace vlm::host
