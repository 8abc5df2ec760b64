#include "wingform/xobj.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "vlm/error.h"
#include "vlm/files.h"
#include "vlm/obj8_keywords.h"
#include "vlm/text.h"
#include "vlm/warnings.h"

namespace vlm {
namespace {

void CheckLevel(int32_t lod) {
  if (lod < 0 || lod >= XObj::LevelCount)
    Raise(err::SubscriptOutOfRange, "level of detail " + std::to_string(lod) + " is outside 0.." +
                                        std::to_string(XObj::LevelCount - 1));
}

// A keyword line whose items after the first start in print zones of 14 columns; whole
// numbers are written with a leading space (or "-") and a trailing space.
class PrintLine {
 public:
  explicit PrintLine(std::string_view keyword) : text_(keyword) {}
  PrintLine& operator<<(std::string_view item) {
    nextZone();
    text_ += item;
    return *this;
  }
  PrintLine& operator<<(int32_t number) {
    nextZone();
    const int64_t wide = number;
    text_ += wide < 0 ? '-' : ' ';
    text_ += std::to_string(wide < 0 ? -wide : wide);
    text_ += ' ';
    return *this;
  }
  void WriteTo(OutputSink& fd) const {
    fd.Write(text_);
    fd.Write(obj8::LineEnd);
  }

 private:
  void nextZone() { text_.resize((text_.size() / 14 + 1) * 14, ' '); }
  std::string text_;
};

// The line PrintLine(keyword) << numbers[0] << ... makes, written without building it apart:
// a whole number takes at most 12 of its zone's 14 columns, so each starts a zone.
void AppendIndexLine(OutputSink& fd, std::string_view keyword, const int32_t* numbers, int count) {
  constexpr size_t Zone = 14;
  char line[Zone * 12 + 2 + obj8::LineEnd.size()];
  std::memset(line, ' ', sizeof line);
  std::memcpy(line, keyword.data(), keyword.size());
  size_t end = (keyword.size() / Zone + 1) * Zone;
  for (int k = 0; k < count; ++k) {
    const int64_t wide = numbers[k];
    char* p = line + end;
    *p++ = wide < 0 ? '-' : ' ';
    p = std::to_chars(p, line + sizeof line, wide < 0 ? -wide : wide).ptr;
    end = static_cast<size_t>(p - line) + 1;  // the trailing space
    if (k + 1 < count) end = (end / Zone + 1) * Zone;
  }
  std::memcpy(line + end, obj8::LineEnd.data(), obj8::LineEnd.size());
  fd.Write(std::string_view(line, end + obj8::LineEnd.size()));
}

void WriteLine(OutputSink& fd, std::string_view text) {
  fd.Write(text);
  fd.Write(obj8::LineEnd);
}

}  // namespace

// ---- numbers and dates ------------------------------------------------------------------------

float RoundVertexValue(float value) {
  // A float times 1e5 is exact in a double (24 + 17 bits), so ties are seen as ties.
  const float rounded = static_cast<float>(std::nearbyint(static_cast<double>(value) * 1e5) / 1e5);
  return rounded == 0 ? 0.0f : rounded;
}

namespace {

// Seven significant digits of |value|, correctly rounded (halves to even, as std::to_chars
// rounds), and the decimal exponent of the first, for 1e-6 <= |value| < 1e6; false outside.
// There |value| times 10^(6 - exponent) is exact in a double (24 bits times 5^12 at most),
// so one rounding to a whole number gives the digits.
bool SevenDigits(float value, char (&digits)[7], int& exponent) {
  static constexpr double kPowers[] = {1e0, 1e1, 1e2, 1e3,  1e4,  1e5, 1e6,
                                       1e7, 1e8, 1e9, 1e10, 1e11, 1e12};
  const double a = std::fabs(static_cast<double>(value));
  if (!(a >= 1e-6 && a < 1e6)) return false;
  int e = 0;
  while (e < 5 && a >= kPowers[e + 1])
    ++e;
  while (e <= 0 && e > -6 && a < 1 / kPowers[-e])
    --e;
  for (;;) {  // a first guess a step off (a power of ten rounded up) is put right here
    const int k = 6 - e;
    if (k < 0 || k > 12) return false;
    const double n = std::nearbyint(a * kPowers[k]);
    if (n >= 1e7 || n < 1e6) {
      e += n >= 1e7 ? 1 : -1;
      continue;
    }
    auto m = static_cast<uint32_t>(n);
    for (int i = 6; i >= 0; --i, m /= 10)
      digits[i] = static_cast<char>('0' + m % 10);
    exponent = e;
    return true;
  }
}

}  // namespace

// Writes PlainDecimal(value) at `out` (room for 64 characters) and returns its end, without
// building strings on the way: the writer calls this eight times per vertex.
char* WritePlainDecimal(char* out, float value) {
  if (!std::isfinite(value))
    Raise(err::Overflow, "the value " + std::string(std::isnan(value) ? "NaN" : "infinity") +
                             " cannot be written as a decimal number");
  if (value == 0) {
    *out++ = '0';
    return out;
  }
  if (std::signbit(value)) *out++ = '-';
  char digits[7];
  int count = 7;
  int exponent = 0;
  if (!SevenDigits(value, digits, exponent)) {
    // Seven significant digits, correctly rounded, as d.dddddde[+-]XX; to_chars never reads
    // the locale.
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                      std::chars_format::scientific, 6);
    const char* p = buffer;
    for (count = 0; *p != 'e'; ++p)
      if (*p != '.') digits[count++] = *p;
    ++p;
    const bool negativeExponent = *p == '-';
    std::from_chars(p + 1, result.ptr, exponent);
    if (negativeExponent) exponent = -exponent;
  }
  while (count > 1 && digits[count - 1] == '0')
    --count;

  const int before = exponent + 1;  // digits before the decimal point
  if (before <= 0) {
    *out++ = '0';
    *out++ = '.';
    out = std::fill_n(out, -before, '0');
    out = std::copy_n(digits, count, out);
  } else if (before >= count) {
    out = std::copy_n(digits, count, out);
    out = std::fill_n(out, before - count, '0');
  } else {
    out = std::copy_n(digits, before, out);
    *out++ = '.';
    out = std::copy_n(digits + before, count - before, out);
  }
  return out;
}

std::string PlainDecimal(float value) {
  char text[64];
  return std::string(text, WritePlainDecimal(text, value));
}

std::tm SystemClock() {
  std::tm when{};
  if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) {
    std::string_view text(epoch);
    long long seconds = 0;
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), seconds);
    const std::time_t t = static_cast<std::time_t>(seconds);
    if (!text.empty() && parsed.ec == std::errc() && parsed.ptr == text.data() + text.size() &&
        seconds >= 0 && gmtime_r(&t, &when))
      return when;
    Warn("SOURCE_DATE_EPOCH \"" + std::string(text) +
         "\" is not a whole number of seconds; the local time is used");
  }
  const std::time_t now = std::time(nullptr);
  localtime_r(&now, &when);
  return when;
}

std::string GeneralDate(const std::tm& when) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%02d/%02d/%04d %02d:%02d:%02d", when.tm_mon + 1,
                when.tm_mday, when.tm_year + 1900, when.tm_hour, when.tm_min, when.tm_sec);
  return buffer;
}

// ---- OVert ---------------------------------------------------------------------------------

OVert::Key OVert::RoundedKey() const {
  return {RoundVertexValue(x),  RoundVertexValue(y),  RoundVertexValue(z), RoundVertexValue(nx),
          RoundVertexValue(ny), RoundVertexValue(nz), RoundVertexValue(u), RoundVertexValue(v)};
}

std::string OVert::ToString() const {
  std::string line(obj8::Vertex);
  for (float value : RoundedKey()) {
    char text[64];
    line += ' ';
    line.append(text, WritePlainDecimal(text, value));
  }
  return line;
}

bool OVert::Equals(const OVert& ov) const {
  return RoundedKey() == ov.RoundedKey();
}

// ---- Vertices ------------------------------------------------------------------------------

uint64_t Vertices::KeyHash::operator()(const OVert::Key& key) const {
  uint64_t h = 0x9E3779B97F4A7C15ull;
  for (float f : key) {
    h ^= std::bit_cast<uint32_t>(f);
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 32;
  }
  return h;
}

int32_t Vertices::FindOrAdd(const OVert& vertex) {
  return table_.Insert(vertex.RoundedKey()).number;
}

void Vertices::Reserve(int32_t count) {
  table_.Reserve(static_cast<size_t>(std::max(count, 0)));
}

// ---- XObj ----------------------------------------------------------------------------------

bool XObj::IsSame(const std::string& t1, const std::string& t2, const std::string& t3) const {
  return EqualsNoCase(Texture, t1) && EqualsNoCase(SecondTexture, t2) &&
         EqualsNoCase(ThirdTexture, t3);
}

int32_t XObj::AddVert(float x, float y, float z, float nx, float ny, float nz, float u, float v) {
  return vertices_.FindOrAdd(OVert{x, y, z, nx, ny, nz, u, v});
}

void XObj::InitIndices(int32_t n) {
  if (indexCount_ >= 0) return;
  indices_.reserve(static_cast<size_t>(std::max(n, 0)) * 3);
  indexCount_ = 0;
}

int32_t XObj::AddIndex(int32_t index, int32_t lod) {
  CheckLevel(lod);
  if (indexCount_ < 0) InitIndices(0);
  const int32_t position = indexCount_;
  indices_.push_back(index);
  levelEnd_[static_cast<size_t>(lod)] = position;
  maxLod = std::max(maxLod, lod);
  ++indexCount_;
  return position;
}

void XObj::SetDist(int32_t lod, int32_t dist) {
  CheckLevel(lod);
  levelDist_[static_cast<size_t>(lod)] = dist;
}

int32_t XObj::AddLineVertex(const ColouredPoint& row) {
  lineVertices_.push_back(row);
  return static_cast<int32_t>(lineVertices_.size()) - 1;
}

int32_t XObj::AddLight(const ColouredPoint& row) {
  lights_.push_back(row);
  return LightCount() - 1;
}

std::string XObj::applyExtension(const std::string& name) const {
  if (Extension.empty() || name.empty()) return name;
  const size_t dot = name.rfind('.');
  return (dot == std::string::npos ? std::string() : name.substr(0, dot + 1)) + Extension;
}

void XObj::printVertInd(OutputSink& fd) const {
  for (int32_t i = 0; i < vertices_.Count(); ++i) {
    // The keyword and eight values, each after a space and given room for 64 characters.
    char line[obj8::Vertex.size() + 8 * (1 + 64) + obj8::LineEnd.size()];
    char* end = std::copy(obj8::Vertex.begin(), obj8::Vertex.end(), line);
    for (float value : vertices_.RoundedKey(i)) {
      *end++ = ' ';
      end = WritePlainDecimal(end, value);
    }
    end = std::copy(obj8::LineEnd.begin(), obj8::LineEnd.end(), end);
    fd.Write(std::string_view(line, size_t(end - line)));
  }
  for (const auto* table : {&lineVertices_, &lights_})
    for (const ColouredPoint& row : *table) {
      std::string line(table == &lights_ ? obj8::LightVertex : obj8::LineVertex);
      // The shortest text that reads back as the same float: these rows are kept as read.
      for (float value : row) {
        char text[32];
        line += ' ';
        line.append(text, std::to_chars(text, text + sizeof text, value).ptr);
      }
      WriteLine(fd, line);
    }
  const int32_t count = std::max(indexCount_, 0);
  int32_t i = 0;
  constexpr auto Ten = static_cast<int32_t>(obj8::Index10Count);
  for (; i + Ten <= count; i += Ten)
    AppendIndexLine(fd, obj8::Index10, &indices_[static_cast<size_t>(i)], Ten);
  for (; i < count; ++i)
    AppendIndexLine(fd, obj8::Index, &indices_[static_cast<size_t>(i)], 1);
}

std::string XObj::FileText(const std::tm& when) const {
  StringSink text;
  Write(text, when);
  text.Flush();
  return std::move(text.Text());
}

void XObj::Write(OutputSink& fd, const std::tm& when) const {
  WriteLine(fd, obj8::PlatformPc);
  WriteLine(fd, std::string(obj8::Version) + ' ' + obj8::CommentStart + " Exported from Vellum " +
                    GeneralDate(when));
  WriteLine(fd, obj8::ObjectKind);
  (PrintLine(obj8::Texture) << applyExtension(Texture)).WriteTo(fd);
  (PrintLine(obj8::TextureLit) << applyExtension(SecondTexture)).WriteTo(fd);
  (PrintLine(obj8::TextureNormal) << applyExtension(ThirdTexture)).WriteTo(fd);
  for (const std::string& line : headerLines)
    WriteLine(fd, line);
  const int32_t count = std::max(indexCount_, 0);
  (PrintLine(obj8::PointCounts) << vertices_.Count() << static_cast<int32_t>(lineVertices_.size())
                                << LightCount() << count)
      .WriteTo(fd);
  printVertInd(fd);
  if (HasCommands()) {
    for (const std::string& line : commands_)
      WriteLine(fd, line);
    return;
  }
  if (maxLod < 1) {
    WriteLine(fd, obj8::AttrNoCull);
    (PrintLine(obj8::Tris) << 0 << count).WriteTo(fd);
    return;
  }
  int32_t offset = 0, nearDist = 0;
  for (int32_t level = 0; level <= maxLod; ++level) {
    // A level that received no index keeps an empty range rather than a negative one.
    const int32_t last = std::max(levelEnd_[static_cast<size_t>(level)], offset - 1);
    const int32_t farDist = levelDist_[static_cast<size_t>(level)];
    (PrintLine(obj8::AttrLod) << nearDist << farDist).WriteTo(fd);
    WriteLine(fd, obj8::AttrNoCull);
    (PrintLine(obj8::Tris) << offset << last - offset + 1).WriteTo(fd);
    offset = last + 1;
    nearDist = farDist;
  }
}

void XObj::OutputToFile(const std::string& fName, const std::tm& when) const {
  WriteOutputFileWith(fName, [&](OutputSink& sink) { Write(sink, when); });
}

// ---- XObjCol -------------------------------------------------------------------------------

XObj& XObjCol::GetObj(const std::string& Texture, const std::string& TextureBump,
                      const std::string& TextureLit) {
  for (auto& obj : items_)
    if (obj->IsSame(Texture, TextureBump, TextureLit)) return *obj;
  auto obj = std::make_unique<XObj>();
  obj->Texture = Texture;
  obj->SecondTexture = TextureBump;
  obj->ThirdTexture = TextureLit;
  items_.push_back(std::move(obj));
  return *items_.back();
}

}  // namespace vlm
