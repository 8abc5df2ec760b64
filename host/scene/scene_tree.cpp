#include "scene/scene_tree.h"

#include <locale.h>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <unordered_set>
#include <utility>
#include <vector>

#include "scene/mesh_list_decoder.h"
#include "scene/scene_fields.h"
#include "scene/scene_text.h"
#include "vlm/error.h"
#include "vlm/files.h"
#include "vlm/text_encoding.h"

namespace vlm::host {
namespace {

using namespace scene_text;
using namespace scene_fields;
using namespace scene_lists;

using Json = SceneJson;

// "line L, column C" of the character at a 1-based offset. Columns count characters, not
// bytes (UTF-8 continuation bytes do not start a character).
std::string LineAndColumn(std::string_view text, size_t offset) {
  size_t end = std::min(offset > 0 ? offset - 1 : 0, text.size());
  size_t line = 1, column = 1;
  for (size_t i = 0; i < end; ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      ++column;
    }
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// nlohmann's message without its "[json.exception...] " tag and its own "parse error at
// line L, column C: " prefix (the place is given separately).
std::string ParserProblem(const std::string& message) {
  std::string_view m = message;
  if (m.starts_with("[")) {
    size_t close = m.find("] ");
    if (close != std::string_view::npos) m.remove_prefix(close + 2);
  }
  if (m.starts_with("parse error")) {
    size_t colon = m.find(": ");
    if (colon != std::string_view::npos) m.remove_prefix(colon + 2);
  }
  return std::string(m);
}

// ---- JSON text to a tree ---------------------------------------------------------------------

// Builds the tree from the parser's events. Unlike the library's own builder it refuses a
// key given twice in one object (the library keeps the last one silently), and it refuses
// deep nesting before anything recurses over it.
class TreeBuilder final : public nlohmann::json_sax<Json> {
 public:
  // With `decodeLists`, a mesh's long lists are decoded into `lists` (see scene_tree.h).
  TreeBuilder(std::string_view text, const std::string& origin, bool decodeLists)
      : text_(text), origin_(origin), decodeLists_(decodeLists) {}
  ~TreeBuilder() override { LetGo(root_); }

  SceneTree Take() { return SceneTree{std::move(root_), std::move(lists_)}; }
  // A list could not be decoded; the parse stopped there.
  bool GaveUp() const { return gaveUp_; }

  bool null() override { return decoder_ ? Feed(decoder_->Other()) : Add(nullptr); }
  bool boolean(bool value) override { return decoder_ ? Feed(decoder_->Other()) : Add(value); }
  bool number_integer(number_integer_t value) override {
    if (decoder_)
      return Feed(decoder_->Value({double(value), true, value >= INT32_MIN && value <= INT32_MAX}));
    return Add(value);
  }
  bool number_unsigned(number_unsigned_t value) override {
    if (decoder_) return Feed(decoder_->Value({double(value), true, value <= INT32_MAX}));
    return Add(value);
  }
  bool number_float(number_float_t value, const string_t&) override {
    return decoder_ ? Feed(decoder_->Value({value, false, false})) : Add(value);
  }
  bool string(string_t& value) override {
    return decoder_ ? Feed(decoder_->String(value)) : Add(std::move(value));
  }
  bool binary(binary_t&) override { return false; }  // JSON text has no binary values
  bool start_object(std::size_t) override {
    return decoder_ ? Feed(decoder_->OpenObject()) : Open(Json::object());
  }
  bool start_array(std::size_t) override {
    if (decoder_) return Feed(decoder_->OpenArray());
    if (nextList_) {
      decoder_.emplace(*nextList_);
      nextList_.reset();
      return true;
    }
    return Open(Json::array());
  }
  bool end_object() override { return decoder_ ? Feed(decoder_->CloseObject()) : Close(); }
  bool end_array() override { return decoder_ ? Feed(decoder_->CloseArray()) : Close(); }
  bool key(string_t& key) override {
    if (decoder_) return Feed(decoder_->Key(key));
    Frame& top = stack_.back();
    if (!top.keys.insert(key).second)
      Fail(err::InvalidProcedureCall, origin_, At(Pointer(), key),
           "the key " + Quoted(key) + " is given twice in this object");
    nextList_ = decodeLists_ && InMeshRecord() ? MeshListKind(key) : std::nullopt;
    top.key = std::move(key);
    return true;
  }
  bool parse_error(std::size_t position, const std::string&,
                   const Json::exception& error) override {
    Fail(err::InvalidProcedureCall, origin_, LineAndColumn(text_, position),
         ParserProblem(error.what()));
  }

 private:
  struct Frame {
    Json* value;
    std::string token;  // this value's reference token in its parent
    std::unordered_set<std::string> keys;
    std::string key;  // the key of the member being read
  };

  // The innermost value is a mesh record: an item of "objects" in the root or in a group,
  // itself an item of "groups" in the root or a group. Its lists lie few enough levels deeper
  // that they cannot pass the nesting limit.
  bool InMeshRecord() const {
    size_t n = stack_.size();
    if (n < 3 || n + 4 > kMaxNesting || !stack_[n - 1].value->is_object() ||
        !stack_[n - 2].value->is_array() ||
        stack_[n - 2].token != FieldOf(kGroupFields, Part::Objects).key)
      return false;
    size_t owner = n - 3;
    while (owner >= 3 && stack_[owner].value->is_object() && stack_[owner - 1].value->is_array() &&
           stack_[owner - 1].token == FieldOf(kGroupFields, Part::Groups).key)
      owner -= 2;
    return owner == 1 && stack_[0].value->is_object() && stack_[1].value->is_object() &&
           stack_[1].token == FieldOf(kTopFields, Part::Root).key;
  }
  bool Feed(ListDecoder::Result result) {
    if (result == ListDecoder::More) return true;
    if (result == ListDecoder::GiveUp) {
      gaveUp_ = true;
      return false;
    }
    Insert(Json::binary(Json::binary_t::container_type{}, lists_.size()));
    lists_.push_back(decoder_->Take());
    decoder_.reset();
    return true;
  }

  std::string Pointer() const {
    std::string out;
    for (size_t i = 1; i < stack_.size(); ++i)
      out += "/" + stack_[i].token;
    return out;
  }
  std::string NextToken() const {
    if (stack_.empty()) return "";
    const Frame& top = stack_.back();
    return top.value->is_array() ? std::to_string(top.value->size()) : Token(top.key);
  }
  Json* Insert(Json value) {
    if (stack_.empty()) {
      root_ = std::move(value);
      return &root_;
    }
    Frame& top = stack_.back();
    if (top.value->is_array()) {
      auto& items = top.value->get_ref<Json::array_t&>();
      items.push_back(std::move(value));
      return &items.back();
    }
    // The key is known to be new (see key()).
    auto& members = top.value->get_ref<Json::object_t&>();
    return &members.emplace(std::move(top.key), std::move(value)).first->second;
  }
  bool Add(Json value) {
    nextList_.reset();
    Insert(std::move(value));
    return true;
  }
  bool Open(Json value) {
    nextList_.reset();
    std::string token = NextToken();
    if (stack_.size() >= kMaxNesting)
      Fail(err::InvalidProcedureCall, origin_, Place(Pointer()),
           "the values are nested more than " + std::to_string(kMaxNesting) + " levels deep");
    Json* inserted = Insert(std::move(value));
    stack_.push_back(Frame{inserted, std::move(token), {}, {}});
    return true;
  }
  bool Close() {
    nextList_.reset();
    stack_.pop_back();
    return true;
  }

  std::string_view text_;
  const std::string& origin_;
  bool decodeLists_;
  bool gaveUp_ = false;
  Json root_;
  std::vector<Frame> stack_;
  std::optional<ListKind> nextList_;  // the kind of list the value after this key would be
  std::optional<ListDecoder> decoder_;
  std::vector<MeshList> lists_;
};

// ---- the same events, read quickly ---------------------------------------------------------

// Reads JSON text, a whole text in memory or a file a piece at a time, and gives the builder
// the events the JSON library's parser gives for it. It holds only the piece being read, so a
// file's text is never all in memory at once. Anything the library would refuse, and anything
// rare enough not to be worth reading here (a byte-order mark, a whole number past 64 bits, a
// number of thousands of digits), makes it stop (false); so does the builder's refusal. The
// text is then read again by the library's parser.
class QuickWalker {
 public:
  QuickWalker(TreeBuilder& builder, std::string_view text)
      : builder_(builder), p_(text.data()), end_(text.data() + text.size()), atEnd_(true) {}
  QuickWalker(TreeBuilder& builder, FileReader& file)
      : builder_(builder), file_(&file), buffer_(new char[kPiece]), p_(nullptr), end_(nullptr) {}

  bool Document() {
    if (More(3) && std::string_view(p_, 3) == "\xEF\xBB\xBF") return false;
    // For each array or object still open, whether an object: bytes, not bits, so that the
    // push and pop of every point's array is a store, not a read-modify-write of a word.
    std::vector<char> inObject;
    inObject.reserve(64);
    for (;;) {
      // A value.
      SkipSpace();
      if (p_ == end_) return false;
      switch (*p_) {
        case '{':
        case '[': {
          const bool object = *p_++ == '{';
          if (!(object ? builder_.start_object(size_t(-1)) : builder_.start_array(size_t(-1))))
            return false;
          if (SkipSpace() == (object ? '}' : ']')) {
            ++p_;
            if (!End(object)) return false;
            break;
          }
          inObject.push_back(object);
          if (object && !Key()) return false;
          continue;
        }
        default:
          if (!Scalar()) return false;
      }
      // What follows it: a comma before the next value, or the ends of arrays and objects.
      for (;;) {
        int next = SkipSpace();
        if (inObject.empty()) return next < 0;
        if (next < 0) return false;
        ++p_;
        if (next == ',') {
          if (inObject.back() && !Key()) return false;
          break;
        }
        const bool object = inObject.back();
        if (next != (object ? '}' : ']')) return false;
        inObject.pop_back();
        if (!End(object)) return false;
      }
    }
  }

 private:
  // Bytes read from a file at a time; a number must fit in the part kept ahead.
  static constexpr size_t kPiece = size_t(1) << 20;
  static constexpr size_t kLongestNumber = 4096;

  bool End(bool object) { return object ? builder_.end_object() : builder_.end_array(); }

  // At least `count` bytes from p_ on, unless the text ends first (false). What was used is let
  // go, so pointers into the piece do not survive a call.
  bool More(size_t count) {
    size_t left = size_t(end_ - p_);
    if (left >= count || atEnd_) return left >= count;
    if (left) std::memmove(buffer_.get(), p_, left);
    while (left < kPiece) {
      size_t got = file_->Read(buffer_.get() + left, kPiece - left);
      if (got == 0) {
        atEnd_ = true;
        break;
      }
      left += got;
    }
    p_ = buffer_.get();
    end_ = p_ + left;
    return left >= count;
  }
  // The next byte that is not white space (left unread), or -1 at the end of the text.
  [[gnu::always_inline]] int SkipSpace() {
    for (;;) {
      if (p_ != end_ && static_cast<unsigned char>(*p_) > ' ')
        return static_cast<unsigned char>(*p_);
      // Eight bytes at a time: the spaces of a line's indentation, or the one after a comma,
      // are passed in one step (the lowest byte that is not a space ends them).
      if constexpr (std::endian::native == std::endian::little) {
        while (end_ - p_ >= 8) {
          uint64_t eight;
          std::memcpy(&eight, p_, 8);
          const uint64_t other = eight ^ 0x2020202020202020u;
          if (other == 0) {
            p_ += 8;
            continue;
          }
          p_ += std::countr_zero(other) / 8;
          if (*p_ != '\n' && *p_ != '\r' && *p_ != '\t') return static_cast<unsigned char>(*p_);
          ++p_;
        }
      }
      while (p_ != end_ && (*p_ == ' ' || *p_ == '\n' || *p_ == '\r' || *p_ == '\t'))
        ++p_;
      if (p_ != end_) return static_cast<unsigned char>(*p_);
      if (!More(1)) return -1;
    }
  }
  // A member's key and its colon.
  bool Key() {
    if (SkipSpace() != '"' || !String(scratch_) || !builder_.key(scratch_)) return false;
    if (SkipSpace() != ':') return false;
    ++p_;
    return true;
  }
  bool Scalar() {
    const char c = *p_;
    if (c == '"') return String(scratch_) && builder_.string(scratch_);
    if (c == '-' || (c >= '0' && c <= '9')) return Number();
    More(5);
    auto word = [&](std::string_view w) {
      if (size_t(end_ - p_) < w.size() || std::string_view(p_, w.size()) != w) return false;
      p_ += w.size();
      return true;
    };
    if (word("true")) return builder_.boolean(true);
    if (word("false")) return builder_.boolean(false);
    if (word("null")) return builder_.null();
    return false;
  }

  static bool Digit(char c) { return c >= '0' && c <= '9'; }
  // As the library gives numbers: a whole number with a minus sign (even "-0") as a signed
  // integer, any other whole number as an unsigned one, the rest as the nearest double.
  bool Number() {
    More(kLongestNumber);
    const char *const begin = p_, *s = p_, *const end = end_;
    const bool negative = *s == '-';
    s += negative;
    if (s == end || !Digit(*s)) return false;
    uint64_t whole = 0;
    bool fits = true;
    // The digits of the whole number and its fraction together, and the power of ten they are
    // scaled by, while they fit a double exactly (see Exact).
    uint64_t mantissa = 0;
    int digitCount = 0, scale = 0;
    if (*s == '0') {
      ++s;
    } else {
      // Up to 19 digits always fit in 64 bits; only a number of 20 is checked step by step.
      const char* const first = s;
      for (; s != end && Digit(*s); ++s)
        whole = whole * 10 + unsigned(*s - '0');
      const auto digits = size_t(s - first);
      if (digits == 20) {
        whole = 0;
        for (const char* d = first; fits && d != s; ++d)
          fits = !__builtin_mul_overflow(whole, 10u, &whole) &&
                 !__builtin_add_overflow(whole, unsigned(*d - '0'), &whole);
      }
      fits = fits && digits <= 20;
    }
    bool fraction = false;
    auto digits = [&] {
      if (s == end || !Digit(*s)) return false;
      while (s != end && Digit(*s))
        ++s;
      return true;
    };
    const char* const wholeEnd = s;
    if (s != end && *s == '.') {
      fraction = true;
      ++s;
      if (!digits()) return false;
      if (fits && wholeEnd - (begin + negative) <= 15 && s - wholeEnd - 1 <= 15) {
        mantissa = whole;
        digitCount = int(wholeEnd - (begin + negative)) + int(s - wholeEnd - 1);
        for (const char* d = wholeEnd + 1; d != s; ++d)
          mantissa = mantissa * 10 + unsigned(*d - '0');
        scale = -int(s - wholeEnd - 1);
      } else {
        digitCount = -1;
      }
    }
    if (s != end && (*s == 'e' || *s == 'E')) {
      fraction = true;
      digitCount = -1;
      ++s;
      if (s != end && (*s == '+' || *s == '-')) ++s;
      if (!digits()) return false;
    }
    if (s == end && !atEnd_) return false;  // longer than the part kept ahead
    p_ = s;
    if (!fraction) {
      if (!fits) return false;
      if (!negative) return builder_.number_unsigned(whole);
      if (whole > uint64_t(INT64_MAX) + 1) return false;
      return builder_.number_integer(static_cast<int64_t>(0 - whole));
    }
    // Correctly rounded, as the library's strtod; one that underflows is read by strtod too.
    double value = 0;
    if (digitCount > 0 && digitCount <= 15 && mantissa <= (uint64_t(1) << 53) && -scale <= 22) {
      // A decimal of at most 15 digits with a fraction of at most 22: the digits and the power
      // of ten are both doubles exactly, so one division rounds correctly.
      static constexpr double kTens[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                         1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
      value = double(mantissa) / kTens[-scale];
      return builder_.number_float(negative ? -value : value, kNoText);
    }
    auto [rest, error] = std::from_chars(begin, s, value);
    if (error == std::errc::result_out_of_range)
      value = Underflowed(std::string(begin, s));
    else if (error != std::errc() || rest != s)
      return false;
    return std::isfinite(value) && builder_.number_float(value, kNoText);
  }
  // A number too small or too large for from_chars, as strtod reads it with a point for the
  // decimal point whatever the locale: zero or a subnormal, or infinity.
  static double Underflowed(const std::string& number) {
    static const locale_t c = ::newlocale(LC_NUMERIC_MASK, "C", locale_t(0));
    return c ? ::strtod_l(number.c_str(), nullptr, c) : HUGE_VAL;
  }

  // A string from its opening quote, into `out`: escapes decoded, UTF-8 checked as the
  // library checks it.
  bool String(std::string& out) {
    ++p_;
    out.clear();
    for (;;) {
      const char* s = p_;
      while (s != end_ && static_cast<unsigned char>(*s) >= 0x20 &&
             static_cast<unsigned char>(*s) < 0x80 && *s != '"' && *s != '\\')
        ++s;
      out.append(p_, s);
      p_ = s;
      if (p_ == end_) {
        if (!More(1)) return false;
        continue;
      }
      const auto c = static_cast<unsigned char>(*p_);
      if (c == '"') {
        ++p_;
        return true;
      }
      if (c < 0x20) return false;
      if (!(c == '\\' ? Escape(out) : Utf8(out))) return false;
    }
  }
  bool Escape(std::string& out) {
    More(12);  // \uD83D\uDE00
    if (end_ - p_ < 2) return false;
    const char c = p_[1];
    p_ += 2;
    static constexpr std::string_view kFrom = "\"\\/bfnrt", kTo = "\"\\/\b\f\n\r\t";
    if (size_t at = kFrom.find(c); at != std::string_view::npos) {
      out += kTo[at];
      return true;
    }
    if (c != 'u') return false;
    uint32_t code = 0;
    if (!Hex(code)) return false;
    if (code >= 0xDC00 && code <= 0xDFFF) return false;
    if (code >= 0xD800 && code <= 0xDBFF) {
      uint32_t low = 0;
      if (end_ - p_ < 2 || p_[0] != '\\' || p_[1] != 'u') return false;
      p_ += 2;
      if (!Hex(low) || low < 0xDC00 || low > 0xDFFF) return false;
      code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
    }
    text::AppendUtf8(out, code);
    return true;
  }
  bool Hex(uint32_t& code) {
    if (end_ - p_ < 4) return false;
    for (int i = 0; i < 4; ++i) {
      const char c = *p_++;
      const int digit = Digit(c)               ? c - '0'
                        : c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                               : -1;
      if (digit < 0) return false;
      code = code * 16 + uint32_t(digit);
    }
    return true;
  }
  // One character of two to four bytes, well formed as the library requires.
  bool Utf8(std::string& out) {
    More(4);
    size_t length = 0;
    char32_t character;
    if (!text::NextCodePoint({p_, size_t(end_ - p_)}, length, character)) return false;
    out.append(p_, length);
    p_ += length;
    return true;
  }

  inline static const std::string kNoText;
  TreeBuilder& builder_;
  FileReader* file_ = nullptr;
  std::unique_ptr<char[]> buffer_;
  const char* p_;
  const char* end_;
  bool atEnd_ = false;  // nothing is left to read past end_
  std::string scratch_;
};

}  // namespace

void LetGo(SceneJson& value) noexcept {
  if (value.is_array()) {
    auto& items = value.get_ref<SceneJson::array_t&>();
    for (auto& item : items)
      LetGo(item);
    items.clear();
  } else if (value.is_object()) {
    auto& members = value.get_ref<SceneJson::object_t&>();
    for (auto& member : members)
      LetGo(member.second);
    members.clear();
  }
}

namespace {

template <class Source>
std::optional<SceneTree> WalkQuickly(Source& source, std::string_view text,
                                     const std::string& origin) {
  TreeBuilder builder(text, origin, true);
  try {
    if (QuickWalker(builder, source).Document()) return builder.Take();
  } catch (const Error&) {
    // A key given twice or nesting too deep: the library's parser names it in text order.
  }
  return std::nullopt;
}

}  // namespace

std::optional<SceneTree> ParseTreeFast(std::string_view text, const std::string& origin) {
  return WalkQuickly(text, text, origin);
}

std::optional<SceneTree> ParseTreeFast(FileReader& file) {
  return WalkQuickly(file, {}, file.Name());
}

SceneTree ParseTree(std::string_view text, const std::string& origin) {
  std::optional<SceneTree> tree = ParseTreeFast(text, origin);
  return tree ? std::move(*tree) : ParseTreePlain(text, origin);
}

SceneTree ParseTreePlain(std::string_view text, const std::string& origin) {
  // The builder raises every syntax error itself, with its place.
  for (bool decodeLists : {true, false}) {
    TreeBuilder builder(text, origin, decodeLists);
    if (Json::sax_parse(text.begin(), text.end(), &builder)) return builder.Take();
    if (!builder.GaveUp()) break;
  }
  Fail(err::InvalidProcedureCall, origin, "top level", "the text is not JSON");
}

}  // namespace vlm::host
