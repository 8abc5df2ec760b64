#include "wingform/xobj.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <limits>
#include <locale>
#include <random>
#include <sstream>

#include "support/obj8_checks.h"
#include "vlm/error.h"

namespace vlm {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

std::tm FixedTime() {
  std::tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 5;
  t.tm_mday = 12;
  t.tm_hour = 22;
  t.tm_min = 57;
  t.tm_sec = 8;
  return t;
}

std::string Spaces(size_t n) {
  return std::string(n, ' ');
}

// The file's lines without their CR LF.
std::vector<std::string> Lines(const XObj& obj) {
  return test::ReadObj8(obj.FileText(FixedTime())).lines;
}

std::vector<std::string> LinesStartingWith(const XObj& obj, const std::string& keyword) {
  std::vector<std::string> out;
  for (const auto& line : Lines(obj))
    if (line.rfind(keyword + " ", 0) == 0 || line == keyword) out.push_back(line);
  return out;
}

// An object with one vertex and `count` indices at level 0.
XObj WithIndices(int count) {
  XObj obj;
  obj.InitIndices(1);
  obj.AddVert(0, 0, 0, 0, 1, 0, 0, 0);
  for (int i = 0; i < count; ++i)
    obj.AddIndex(0, 0);
  return obj;
}

// ---- numbers ----------------------------------------------------------------------------------

TEST(VertexValues, RoundToFiveDecimalsTiesToEven) {
  EXPECT_EQ(RoundVertexValue(0.123456f), 0.12346f);
  EXPECT_EQ(RoundVertexValue(0.123454f), 0.12345f);
  // 1/64 and 3/64 lie exactly half-way between two 5-decimal values.
  EXPECT_EQ(RoundVertexValue(0.015625f), 0.01562f);
  EXPECT_EQ(RoundVertexValue(0.046875f), 0.04688f);
  EXPECT_EQ(RoundVertexValue(-0.000001f), 0.0f);
  EXPECT_FALSE(std::signbit(RoundVertexValue(-0.000001f)));  // written 0, not -0
}

TEST(VertexValues, AreWrittenAsPlainDecimalsOfSevenDigitsAtMost) {
  EXPECT_EQ(PlainDecimal(1), "1");
  EXPECT_EQ(PlainDecimal(-0.5f), "-0.5");
  EXPECT_EQ(PlainDecimal(123.456789f), "123.4568");
  EXPECT_EQ(PlainDecimal(0), "0");
  // Magnitudes whose shortest form would carry an exponent.
  EXPECT_EQ(PlainDecimal(0.00001f), "0.00001");
  EXPECT_EQ(PlainDecimal(-0.00012f), "-0.00012");
  EXPECT_EQ(PlainDecimal(12345678.0f), "12345680");
  EXPECT_EQ(PlainDecimal(1.5e9f), "1500000000");
  EXPECT_EQ(PlainDecimal(1e-7f), "0.0000001");
  EXPECT_EQ(PlainDecimal(100.0f), "100");
  // Rounding to seven digits: halves go to the even digit; a carry makes a new leading digit.
  EXPECT_EQ(PlainDecimal(12345.125f), "12345.12");
  EXPECT_EQ(PlainDecimal(12345.375f), "12345.38");
  EXPECT_EQ(PlainDecimal(9.9999996f), "10");
  EXPECT_EQ(PlainDecimal(999999.94f), "999999.9");
  EXPECT_EQ(PlainDecimal(0.000001f), "0.000001");
  // The longest forms: the smallest and the largest magnitudes a float holds.
  EXPECT_EQ(PlainDecimal(-std::numeric_limits<float>::denorm_min()),
            "-0." + std::string(44, '0') + "1401298");
  EXPECT_EQ(PlainDecimal(std::numeric_limits<float>::max()), "3402823" + std::string(32, '0'));
  EXPECT_THROW(PlainDecimal(std::numeric_limits<float>::infinity()), Error);
  EXPECT_THROW(PlainDecimal(std::numeric_limits<float>::quiet_NaN()), Error);
}

TEST(VertexValues, VtLineIsRoundedEightValues) {
  EXPECT_EQ((OVert{1, 2.5f, -3, 0, 1, 0, 0.25f, -0.5f}.ToString()), "VT 1 2.5 -3 0 1 0 0.25 -0.5");
  EXPECT_EQ((OVert{0.00001f, 12345.678f, -0.000001f, 0.123456f, 0, 0, 1e-6f, 9999999}.ToString()),
            "VT 0.00001 12345.68 0 0.12346 0 0 0 9999999");
}

// A locale whose decimal point is a comma, installed as the global one.
struct CommaPoint : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
};

TEST(VertexValues, DecimalCommaLocaleDoesNotReachTheFile) {
  const std::locale previous =
      std::locale::global(std::locale(std::locale::classic(), new CommaPoint));
  std::ostringstream probe;
  probe << 0.5;
  const std::string line = OVert{1.25f, -0.5f, 3, 0, 1, 0, 0.75f, 0.125f}.ToString();
  std::locale::global(previous);
  ASSERT_EQ(probe.str(), "0,5");  // the comma locale was in force
  EXPECT_EQ(line, "VT 1.25 -0.5 3 0 1 0 0.75 0.125");
}

// ---- vertex sharing ---------------------------------------------------------------------------

TEST(VertexSharing, EqualsComparesRoundedValues) {
  const OVert a{1.000001f, 0, 0, 0, 1, 0, 0, 0};
  const OVert b{0.999999f, 0, 0, 0, 1, 0, 0, 0};
  EXPECT_TRUE(a.Equals(b));
  const OVert c{0.123454f, 0, 0, 0, 1, 0, 0, 0};
  const OVert d{0.123456f, 0, 0, 0, 1, 0, 0, 0};
  EXPECT_FALSE(c.Equals(d));
  const OVert e{0, 0, 0, 0, 1, 0, 0, 0.5f};
  EXPECT_FALSE(e.Equals(OVert{0, 0, 0, 0, 1, 0, 0, 0.50002f}));  // the last value counts
  XObj obj;
  EXPECT_EQ(obj.AddVert(0, 0, 0, 0, 1, 0, 0, 0), 0);
  EXPECT_EQ(obj.AddVert(-0.0f, -0.000001f, 0, 0, 1, 0, 0, 0), 0);
}

TEST(VertexSharing, TwoTrianglesOnAnEdgeShareTwoVertices) {
  XObj smooth;
  smooth.InitIndices(2);
  auto corner = [](XObj& o, float x, float z, float nx) {
    o.AddIndex(o.AddVert(x, 0, z, nx, 1, 0, x, z), 0);
  };
  for (auto [x, z] :
       {std::pair{0.f, 0.f}, {1.f, 0.f}, {1.f, 1.f}, {0.f, 0.f}, {1.f, 1.f}, {0.f, 1.f}})
    corner(smooth, x, z, 0);
  EXPECT_EQ(smooth.Vertices().Count(), 4);
  EXPECT_EQ(smooth.IndexCount(), 6);
  EXPECT_THAT(smooth.Indices(), ElementsAre(0, 1, 2, 0, 2, 3));

  XObj creased;  // the second triangle's normal differs along the edge
  creased.InitIndices(2);
  int n = 0;
  for (auto [x, z] :
       {std::pair{0.f, 0.f}, {1.f, 0.f}, {1.f, 1.f}, {0.f, 0.f}, {1.f, 1.f}, {0.f, 1.f}})
    corner(creased, x, z, n++ < 3 ? 0.f : 0.5f);
  EXPECT_EQ(creased.Vertices().Count(), 6);
}

// The vertex sharing as a walk over the whole table, kept as the reference for the hash index.
struct LinearReference {
  std::vector<OVert> table;
  std::vector<int32_t> indices;
  void Add(const OVert& v) {
    for (size_t i = 0; i < table.size(); ++i)
      if (table[i].Equals(v)) {
        indices.push_back(static_cast<int32_t>(i));
        return;
      }
    indices.push_back(static_cast<int32_t>(table.size()));
    table.push_back(v);
  }
};

TEST(VertexSharing, HashIndexGivesTheSameFileAsTheLinearWalk) {
  std::mt19937 random(20260612);
  // Values on a coarse grid, nudged by amounts that round together (below 5e-6) or apart.
  std::uniform_int_distribution<int> grid(-1, 1);
  std::uniform_int_distribution<int> nudge(0, 5);
  const float nudges[] = {0, 1e-6f, -2e-6f, 4e-6f, 6e-6f, 1e-5f};
  auto value = [&](float scale) { return grid(random) * scale + nudges[nudge(random)]; };
  auto either = [&](float a, float b) { return nudge(random) < 3 ? a : b; };
  for (int round = 0; round < 20; ++round) {
    XObj hashed;
    LinearReference reference;
    hashed.InitIndices(100);
    for (int corner = 0; corner < 900; ++corner) {
      const OVert v{value(0.5f),         value(0.25f),     either(0, 1e-6f), either(0, 1),
                    either(1, 0.99999f), either(-0.0f, 0), value(0.5f),      either(0.25f, 0.5f)};
      hashed.AddIndex(hashed.AddVert(v.x, v.y, v.z, v.nx, v.ny, v.nz, v.u, v.v), 0);
      reference.Add(v);
    }
    XObj expected;  // the reference's vertices are all different: each is added
    for (const OVert& v : reference.table)
      expected.AddVert(v.x, v.y, v.z, v.nx, v.ny, v.nz, v.u, v.v);
    ASSERT_EQ(static_cast<size_t>(expected.Vertices().Count()), reference.table.size());
    expected.InitIndices(100);
    for (int32_t i : reference.indices)
      expected.AddIndex(i, 0);
    ASSERT_EQ(hashed.Indices(), reference.indices) << "round " << round;
    ASSERT_GT(reference.table.size(), 50u);
    ASSERT_LT(reference.table.size(), 880u);  // plenty of sharing
    EXPECT_EQ(hashed.FileText(FixedTime()), expected.FileText(FixedTime()));
  }
}

TEST(VertexSharing, ATableReservedTooSmallGrowsAndKeepsLookupsRight) {
  XObj obj;
  obj.Vertices().Reserve(2);
  for (int i = 0; i < 100; ++i)
    EXPECT_EQ(obj.AddVert(static_cast<float>(i % 40), 0, 0, 0, 1, 0, 0, 0), i % 40) << i;
  EXPECT_EQ(obj.Vertices().Count(), 40);
  EXPECT_EQ(obj.Vertices().RoundedKey(39)[0], 39.f);
  // A value that is not a number equals nothing: each such vertex is a vertex of its own.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(obj.AddVert(0, 0, 0, 0, 1, 0, nan, 0), 40);
  EXPECT_EQ(obj.AddVert(0, 0, 0, 0, 1, 0, nan, 0), 41);
}

// ---- index list and levels ---------------------------------------------------------------------

TEST(IndexList, GrowsBeyondItsFirstRoomAndChecksLevels) {
  XObj obj;
  EXPECT_EQ(obj.IndexCount(), -1);
  obj.InitIndices(1);   // room for 3
  obj.InitIndices(50);  // no effect once started
  for (int i = 0; i < 30; ++i)
    EXPECT_EQ(obj.AddIndex(0, i < 12 ? 0 : 1), i);
  EXPECT_EQ(obj.IndexCount(), 30);
  EXPECT_EQ(obj.LevelEnd(0), 11);
  EXPECT_EQ(obj.LevelEnd(1), 29);
  EXPECT_EQ(obj.maxLod, 1);
  try {
    obj.AddIndex(0, 3);
    FAIL() << "level 3 accepted";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), err::SubscriptOutOfRange);
  }
  EXPECT_THROW(obj.SetDist(-1, 10), Error);
  EXPECT_EQ(obj.IndexCount(), 30);
}

// ---- the file ---------------------------------------------------------------------------------

TEST(ObjectFile, OneTriangleGivesExactlyTheseBytes) {
  XObj obj;
  obj.Texture = "wall.bmp";
  obj.InitIndices(1);
  obj.AddIndex(obj.AddVert(1, 2.5f, -3, 0, 1, 0, 0.25f, -0.5f), 0);
  obj.AddIndex(obj.AddVert(0, 0, 0, 0, 1, 0, 0, 0), 0);
  obj.AddIndex(obj.AddVert(1, 0, 0, 0, 1, 0, 1, 0), 0);
  obj.SetDist(0, 2000);  // a single level carries no ATTR_LOD whatever its distance
  const std::string expected =
      "I\r\n"
      "800 # Exported from Vellum 06/12/2026 22:57:08\r\n"
      "OBJ\r\n"
      "TEXTURE       wall.bmp\r\n"
      "TEXTURE_LIT   \r\n"
      "TEXTURE_NORMAL              \r\n"
      "POINT_COUNTS   3             0             0             3 \r\n"
      "VT 1 2.5 -3 0 1 0 0.25 -0.5\r\n"
      "VT 0 0 0 0 1 0 0 0\r\n"
      "VT 1 0 0 0 1 0 1 0\r\n"
      "IDX            0 \r\n"
      "IDX            1 \r\n"
      "IDX            2 \r\n"
      "ATTR_no_cull\r\n"
      "TRIS           0             3 \r\n";
  EXPECT_EQ(obj.FileText(FixedTime()), expected);
  EXPECT_THAT(test::ReadObj8(expected).problems, IsEmpty());
}

TEST(ObjectFile, PrintZonesOfKeywordLines) {
  XObj obj = WithIndices(36);
  const auto lines = Lines(obj);
  EXPECT_EQ(lines[3], "TEXTURE" + Spaces(7));
  EXPECT_EQ(lines[4], "TEXTURE_LIT" + Spaces(3));
  EXPECT_EQ(lines[5], "TEXTURE_NORMAL" + Spaces(14));
  const std::string points = LinesStartingWith(obj, "POINT_COUNTS")[0];
  EXPECT_EQ(points, "POINT_COUNTS" + Spaces(2) + " 1 " + Spaces(11) + " 0 " + Spaces(11) + " 0 " +
                        Spaces(11) + " 36 ");
  EXPECT_EQ(LinesStartingWith(obj, "TRIS")[0], "TRIS" + Spaces(10) + " 0 " + Spaces(11) + " 36 ");
  EXPECT_EQ(LinesStartingWith(obj, "TRIS")[0].size(), 32u);

  XObj three = WithIndices(3);
  three.AddVert(1, 0, 0, 0, 1, 0, 0, 0);
  three.AddVert(2, 0, 0, 0, 1, 0, 0, 0);
  EXPECT_EQ(LinesStartingWith(three, "POINT_COUNTS")[0].size(), 59u);
}

TEST(ObjectFile, IndicesGoInLinesOfTenThenSingly) {
  EXPECT_THAT(LinesStartingWith(WithIndices(9), "IDX10"), IsEmpty());
  EXPECT_EQ(LinesStartingWith(WithIndices(9), "IDX").size(), 9u);
  EXPECT_EQ(LinesStartingWith(WithIndices(30), "IDX10").size(), 3u);
  EXPECT_THAT(LinesStartingWith(WithIndices(30), "IDX"), IsEmpty());

  XObj obj;
  obj.InitIndices(8);
  for (int i = 0; i < 23; ++i)
    obj.AddIndex(obj.AddVert(static_cast<float>(i), 0, 0, 0, 1, 0, 0, 0), 0);
  const auto tens = LinesStartingWith(obj, "IDX10");
  ASSERT_EQ(tens.size(), 2u);
  std::string first = "IDX10" + Spaces(9);
  for (int i = 0; i < 10; ++i)
    first += " " + std::to_string(i) + " " + Spaces(i < 9 ? 11 : 0);
  EXPECT_EQ(tens[0], first);
  EXPECT_THAT(test::Obj8Words(tens[1]),
              ElementsAre("IDX10", "10", "11", "12", "13", "14", "15", "16", "17", "18", "19"));
  EXPECT_THAT(LinesStartingWith(obj, "IDX"),
              ElementsAre("IDX" + Spaces(11) + " 20 ", "IDX" + Spaces(11) + " 21 ",
                          "IDX" + Spaces(11) + " 22 "));
}

TEST(ObjectFile, LevelsBecomeFollowingRanges) {
  XObj obj;
  obj.InitIndices(1);
  obj.AddVert(0, 0, 0, 0, 1, 0, 0, 0);
  for (int i = 0; i < 57; ++i)
    obj.AddIndex(0, i <= 35 ? 0 : i <= 50 ? 1 : 2);
  obj.SetDist(0, 300);
  obj.SetDist(1, 800);
  obj.SetDist(2, 2000);
  const auto lines = Lines(obj);
  const std::vector<std::string> tail(lines.end() - 9, lines.end());
  EXPECT_THAT(tail, ElementsAre("ATTR_LOD" + Spaces(6) + " 0 " + Spaces(11) + " 300 ",
                                "ATTR_no_cull", "TRIS" + Spaces(10) + " 0 " + Spaces(11) + " 36 ",
                                "ATTR_LOD" + Spaces(6) + " 300 " + Spaces(9) + " 800 ",
                                "ATTR_no_cull", "TRIS" + Spaces(10) + " 36 " + Spaces(10) + " 15 ",
                                "ATTR_LOD" + Spaces(6) + " 800 " + Spaces(9) + " 2000 ",
                                "ATTR_no_cull", "TRIS" + Spaces(10) + " 51 " + Spaces(10) + " 6 "));
  const auto file = test::ReadObj8(obj.FileText(FixedTime()));
  EXPECT_THAT(file.problems, IsEmpty());
  ASSERT_EQ(file.ranges.size(), 3u);
  EXPECT_EQ(file.ranges[2].farDist, 2000);
}

TEST(ObjectFile, TextureNamesTakeTheChosenExtension) {
  XObjCol col;
  XObj& obj = col.GetObj("tex/wall.bmp", "a.b.c", "wall");
  auto textures = [&] { return test::ReadObj8(obj.FileText(FixedTime())).textures; };
  EXPECT_THAT(textures(), ElementsAre("tex/wall.bmp", "a.b.c", "wall"));
  obj.Extension = "png";
  EXPECT_THAT(textures(), ElementsAre("tex/wall.png", "a.b.png", "png"));
  obj.Extension = "dds";
  XObj& empty = col.GetObj("", "", "");
  empty.Extension = "dds";
  EXPECT_THAT(test::ReadObj8(empty.FileText(FixedTime())).textures, ElementsAre("", "", ""));
}

TEST(ObjectFile, WritingReplacesTheFileOrNamesTheOneItCannotWrite) {
  const auto folder = std::filesystem::temp_directory_path() / "xobj-test-write";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const XObj obj = WithIndices(3);
  const auto target = folder / "house.obj";
  std::filesystem::create_directory(target);  // a folder where the file should go
  try {
    obj.OutputToFile(target.string(), FixedTime());
    FAIL() << "wrote over a folder";
  } catch (const Error& e) {
    EXPECT_THAT(e.Description(), HasSubstr("house.obj"));
  }
  EXPECT_TRUE(std::filesystem::is_directory(target));
  std::filesystem::remove(target);
  obj.OutputToFile(target.string(), FixedTime());
  EXPECT_EQ(test::ReadBytes(target), obj.FileText(FixedTime()));
  std::filesystem::remove_all(folder);
}

// ---- the collection ------------------------------------------------------------------------

TEST(ObjectCollection, OneObjectPerTextureSetWithoutRegardToCase) {
  XObjCol col;
  XObj& a = col.GetObj("Wall.BMP", "Lit.bmp", "");
  EXPECT_EQ(&col.GetObj("wall.bmp", "LIT.BMP", ""), &a);
  XObj& b = col.GetObj("wall.bmp", "", "");
  EXPECT_NE(&a, &b);
  XObj& none = col.GetObj("");
  EXPECT_EQ(&col.GetObj("", "", ""), &none);
  EXPECT_EQ(col.Count(), 3);
  std::vector<XObj*> order;
  for (XObj& o : col)
    order.push_back(&o);
  EXPECT_THAT(order, ElementsAre(&a, &b, &none));
}

// ---- the date line -------------------------------------------------------------------------

TEST(DateLine, SourceDateEpochFixesTheDate) {
  EXPECT_EQ(GeneralDate(FixedTime()), "06/12/2026 22:57:08");
  const char* old = std::getenv("SOURCE_DATE_EPOCH");
  const std::string saved = old ? old : "";
  setenv("SOURCE_DATE_EPOCH", "1700000000", 1);
  EXPECT_EQ(GeneralDate(SystemClock()), "11/14/2023 22:13:20");
  setenv("SOURCE_DATE_EPOCH", "soon", 1);
  const std::tm now = SystemClock();  // not a number: the local time now
  EXPECT_GE(now.tm_year, 2024 - 1900);
  if (old)
    setenv("SOURCE_DATE_EPOCH", saved.c_str(), 1);
  else
    unsetenv("SOURCE_DATE_EPOCH");
}

}  // namespace
}  // namespace vlm
