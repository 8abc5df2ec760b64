#include "exchange/obj8_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>

#include "vlm/error.h"
#include "vlm/files.h"
#include "vlm/obj8_commands.h"
#include "vlm/obj8_keywords.h"
#include "vlm/text_encoding.h"

namespace vlm::host {
namespace {

// The lines of the text: LF, CR LF or a lone CR end one.
class Lines {
 public:
  explicit Lines(std::string_view bytes) : bytes_(bytes) {}
  bool Next(std::string_view& line) {
    if (at_ >= bytes_.size()) return false;
    const size_t end = bytes_.find_first_of("\r\n", at_);
    if (end == std::string_view::npos) {
      line = bytes_.substr(at_);
      at_ = bytes_.size();
    } else {
      line = bytes_.substr(at_, end - at_);
      at_ = end + 1;
      if (bytes_[end] == '\r' && at_ < bytes_.size() && bytes_[at_] == '\n') ++at_;
    }
    ++number_;
    return true;
  }
  int64_t Number() const { return number_; }

 private:
  std::string_view bytes_;
  size_t at_ = 0;
  int64_t number_ = 0;
};

bool Space(char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && Space(s.front()))
    s.remove_prefix(1);
  while (!s.empty() && Space(s.back()))
    s.remove_suffix(1);
  return s;
}

using obj8::Words;

// A word as text. A byte order mark in front of it is its own (only the file's first line may
// start with one): a keyword stays one X-Plane does not know, a "#" after it starts no comment.
std::string Keyword(std::string_view word) {
  constexpr std::string_view mark = "\xEF\xBB\xBF";
  return word.starts_with(mark) ? std::string(mark) + Keyword(word.substr(mark.size()))
                                : text::DecodeText(word);
}

bool IsHeader(std::string_view first, std::string_view second, std::string_view third) {
  const auto a = Words(first), b = Words(second), c = Words(third);
  return a.size() == 1 && (a[0] == obj8::PlatformApple || a[0] == obj8::PlatformPc) && !b.empty() &&
         b[0] == obj8::Version && c.size() == 1 && c[0] == obj8::ObjectKind;
}

class Reader {
 public:
  Reader(std::string_view bytes, const std::string& origin) : lines_(bytes), bytes_(bytes) {
    file_.origin = origin;
  }

  Obj8File Run() {
    std::string_view header[3];
    for (std::string_view& line : header)
      if (!lines_.Next(line)) line = {};
    // A byte order mark before the first line is allowed.
    if (header[0].starts_with("\xEF\xBB\xBF")) header[0].remove_prefix(3);
    if (!IsHeader(header[0], header[1], header[2]))
      Fail(1,
           "not an OBJ8 file: it does not start with the lines \"I\" (or \"A\"), \"800\" and "
           "\"OBJ\"");
    file_.platform = Words(header[0])[0][0];
    std::string_view comment = Trim(header[1]);
    comment.remove_prefix(obj8::Version.size());
    file_.versionComment = text::DecodeText(Trim(comment));

    std::string_view line;
    while (lines_.Next(line))
      Line(line);
    file_.lineCount = lines_.Number();
    Finish();
    return std::move(file_);
  }

 private:
  [[noreturn]] void Fail(int64_t line, const std::string& what) const {
    Raise(err::InvalidProcedureCall, file_.origin + ": line " + std::to_string(line) + ": " + what);
  }
  [[noreturn]] void Fail(const std::string& what) const { Fail(lines_.Number(), what); }

  static std::string Quoted(std::string_view word) {
    constexpr size_t kLongest = 40;
    std::string text(word.substr(0, kLongest));
    for (char& c : text)
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return "\"" + text + (word.size() > kLongest ? "...\"" : "\"");
  }

  // The words after the keyword: exactly `count` of them, or at least `count` when `atLeast`.
  void Expect(const std::vector<std::string_view>& words, size_t count, bool atLeast = false) {
    const size_t given = words.size() - 1;
    if (given < count || (!atLeast && given > count))
      Fail(std::string(words[0]) + " takes " + std::to_string(count) +
           (count == 1 ? " value" : " values") + ", the line has " + std::to_string(given));
  }

  int64_t Whole(std::string_view word, std::string_view keyword, int64_t least = 0) {
    int64_t value = 0;
    const auto r = std::from_chars(word.data(), word.data() + word.size(), value);
    if (r.ec != std::errc() || r.ptr != word.data() + word.size())
      Fail(std::string(keyword) + ": " + Quoted(word) + " is not a whole number");
    if (value < least)
      Fail(std::string(keyword) + ": " + Quoted(word) + " is below " + std::to_string(least));
    return value;
  }

  float Decimal(std::string_view word, std::string_view keyword) {
    float value = 0;
    const char* begin = word.data();
    if (!word.empty() && word.front() == '+') ++begin;
    const auto r = std::from_chars(begin, word.data() + word.size(), value);
    if (r.ec != std::errc() || r.ptr != word.data() + word.size())
      Fail(std::string(keyword) + ": " + Quoted(word) + " is not a number");
    if (!std::isfinite(value))
      Fail(std::string(keyword) + ": " + Quoted(word) + " is not a finite number");
    return value;
  }

  // Room for what a count declares, as far as the bytes left could hold it.
  template <typename T>
  void Reserve(std::vector<T>& list, int64_t declared, size_t leastBytesEach) {
    const size_t fits = bytes_.size() / leastBytesEach;
    list.reserve(std::min(static_cast<size_t>(declared), fits));
  }

  void Texture(std::string_view line, std::string_view keyword, Obj8File::TextureSlot slot) {
    std::string_view rest = Trim(line);
    rest.remove_prefix(keyword.size());
    file_.textures[slot] = text::DecodeText(Trim(rest));
    file_.textureLines[slot] = lines_.Number();
  }

  void Line(std::string_view line) {
    const auto words = Words(line);
    if (words.empty()) return;
    const std::string_view k = words[0];
    if (k == obj8::Vertex) {
      Expect(words, 8);
      Obj8Vertex v;
      float* values[8] = {&v.position.x, &v.position.y, &v.position.z, &v.normal.x,
                          &v.normal.y,   &v.normal.z,   &v.uv.u,       &v.uv.v};
      for (size_t i = 0; i < 8; ++i)
        *values[i] = Decimal(words[i + 1], k);
      file_.vertices.push_back(v);
    } else if (k == obj8::LineVertex || k == obj8::LightVertex) {
      Expect(words, 6);
      Obj8ColouredPoint v;
      float* values[6] = {&v.position.x, &v.position.y, &v.position.z,
                          &v.colour.x,   &v.colour.y,   &v.colour.z};
      for (size_t i = 0; i < 6; ++i)
        *values[i] = Decimal(words[i + 1], k);
      (k == obj8::LineVertex ? file_.lineVertices : file_.lightVertices).push_back(v);
    } else if (k == obj8::Index10 || k == obj8::Index) {
      const size_t count = k == obj8::Index ? 1 : obj8::Index10Count;
      Expect(words, count);
      idxLines_.push_back({file_.indices.size(), count, lines_.Number()});
      for (size_t i = 1; i <= count; ++i) {
        const int64_t index = Whole(words[i], k);
        if (index > INT32_MAX) Fail(std::string(k) + ": " + Quoted(words[i]) + " is too large");
        file_.indices.push_back(static_cast<int32_t>(index));
      }
    } else if (k == obj8::Texture) {
      Texture(line, k, Obj8File::Texture);
    } else if (k == obj8::TextureLit) {
      Texture(line, k, Obj8File::TextureLit);
    } else if (k == obj8::TextureNormal) {
      Texture(line, k, Obj8File::TextureNormal);
    } else if (k == obj8::PointCounts) {
      PointCounts(words);
    } else if (obj8::FamilyOf(k) != obj8::Family::Unknown || commandsBegun_) {
      CommandLine(words);
    } else {
      if (!obj8::IsHeaderAttribute(k)) ++file_.unknown[Keyword(k)];
      Obj8File::HeaderLine h{Keyword(k), {}, lines_.Number()};
      for (size_t i = 1; i < words.size(); ++i)
        h.arguments.push_back(Keyword(words[i]));
      file_.header.push_back(std::move(h));
    }
  }

  void PointCounts(const std::vector<std::string_view>& words) {
    if (file_.pointCounts.line != 0)
      Fail("a second POINT_COUNTS (the first is on line " + std::to_string(file_.pointCounts.line) +
           ")");
    Expect(words, 4);
    Obj8File::PointCounts& p = file_.pointCounts;
    const std::string_view k = words[0];
    p.vertices = Whole(words[1], k);
    p.lineVertices = Whole(words[2], k);
    p.lights = Whole(words[3], k);
    p.indices = Whole(words[4], k);
    p.line = lines_.Number();
    // The header ends here: a keyword the reader does not know is a command from now on.
    commandsBegun_ = true;
    Reserve(file_.vertices, p.vertices, 18);  // "VT" and eight one-digit values
    Reserve(file_.lineVertices, p.lineVertices, 17);
    Reserve(file_.lightVertices, p.lights, 18);
    Reserve(file_.indices, p.indices, 2);
  }

  // A line of the command section.
  void CommandLine(const std::vector<std::string_view>& words) {
    commandsBegun_ = true;
    const std::string_view k = words[0];
    const obj8::Arity arity = obj8::ArityOf(k);
    const size_t given = words.size() - 1;
    if (given < static_cast<size_t>(arity.least) ||
        (arity.most >= 0 && given > static_cast<size_t>(arity.most)))
      Fail(std::string(k) + " takes " +
           (arity.most == arity.least ? std::to_string(arity.least)
            : arity.most < 0          ? "at least " + std::to_string(arity.least)
                             : std::to_string(arity.least) + " to " + std::to_string(arity.most)) +
           " values, the line has " + std::to_string(given));
    using Kind = Obj8Command::Kind;
    const obj8::Family family = obj8::FamilyOf(k);
    if (family == obj8::Family::Anim)
      AnimationLine(words);
    else if (!table_.empty())
      Fail(std::string(k) + " inside the keyed table that " + table_ + " begins");
    switch (family) {
      case obj8::Family::Tris:
      case obj8::Family::Lines:
      case obj8::Family::Lights:
        Range(words);
        break;
      case obj8::Family::Lod: {
        if (depth_ > 0) Fail(std::string(k) + " inside an animation (ANIM_begin ... ANIM_end)");
        Obj8Lod lod;
        lod.nearDistance = Decimal(words[1], k);
        lod.farDistance = Decimal(words[2], k);
        lod.line = lines_.Number();
        if (!(lod.nearDistance >= 0 && lod.farDistance > lod.nearDistance))
          Fail(std::string(k) + ": the range " + std::string(words[1]) + " to " +
               std::string(words[2]) + " is not a distance range (0 <= near < far)");
        file_.lods.push_back(lod);
        Obj8Command c = Command(Kind::Lod, words);
        c.nearDistance = lod.nearDistance;
        c.farDistance = lod.farDistance;
        file_.commands.push_back(std::move(c));
        break;
      }
      case obj8::Family::AnimBegin:
        file_.commands.push_back(Command(Kind::AnimBegin, words));
        ++depth_;
        break;
      case obj8::Family::AnimEnd:
        if (depth_ == 0) Fail(std::string(k) + " without its ANIM_begin");
        --depth_;
        file_.commands.push_back(Command(Kind::AnimEnd, words));
        break;
      case obj8::Family::Anim:
        if (depth_ == 0) Fail(std::string(k) + " outside an animation (ANIM_begin ... ANIM_end)");
        file_.commands.push_back(Command(Kind::Anim, words));
        break;
      case obj8::Family::State: {
        Obj8Command c = Command(Kind::State, words);
        if (c.lod >= 0) ++file_.lods[static_cast<size_t>(c.lod)].stateChanges;
        file_.commands.push_back(std::move(c));
        break;
      }
      case obj8::Family::Item:
        file_.commands.push_back(Command(Kind::Item, words));
        break;
      case obj8::Family::Unknown:
        ++file_.unknown[Keyword(k)];
        file_.commands.push_back(Command(Kind::Item, words));
        break;
    }
  }

  // A line of an animation: its numbers, and the keys inside their table.
  void AnimationLine(const std::vector<std::string_view>& words) {
    const std::string_view k = words[0];
    const bool key = k == "ANIM_trans_key" || k == "ANIM_rotate_key";
    const bool begin = k == "ANIM_trans_begin" || k == "ANIM_rotate_begin";
    const bool end = k == "ANIM_trans_end" || k == "ANIM_rotate_end";
    // Where the numbers are: all words but a dataref at the end.
    size_t numbers = words.size() - 1;
    if (k == "ANIM_trans") numbers = 8;
    if (k == "ANIM_rotate" || k == "ANIM_rotate_begin") numbers = k == "ANIM_rotate" ? 7 : 3;
    if (k == "ANIM_trans_begin") numbers = 0;
    if (k == "ANIM_hide" || k == "ANIM_show") numbers = 2;
    for (size_t i = 1; i <= numbers && i < words.size(); ++i)
      Decimal(words[i], k);
    const std::string family(k.substr(0, k.rfind('_')));  // "ANIM_rotate"
    if (begin) {
      if (!table_.empty())
        Fail(std::string(k) + " inside the keyed table that " + table_ + " begins");
      table_ = std::string(k);
      tableKeys_ = 0;
    } else if (key || end) {
      if (table_ != family + "_begin")
        Fail(std::string(k) + " outside a table that " + family + "_begin begins");
      if (end && tableKeys_ == 0) Fail(std::string(k) + " ends a table without keys");
      if (end) table_.clear();
      tableKeys_ += key;
    } else if (!table_.empty() && k != "ANIM_keyframe_loop") {
      Fail(std::string(k) + " inside the keyed table that " + table_ + " begins");
    }
  }

  // TRIS, LINES or LIGHTS: a range of a table.
  void Range(const std::vector<std::string_view>& words) {
    const std::string_view k = words[0];
    const obj8::Family family = obj8::FamilyOf(k);
    Obj8Command c = Command(family == obj8::Family::Tris    ? Obj8Command::Kind::Tris
                            : family == obj8::Family::Lines ? Obj8Command::Kind::Lines
                                                            : Obj8Command::Kind::Lights,
                            words);
    c.offset = Whole(words[1], k);
    c.count = Whole(words[2], k);
    if (family == obj8::Family::Tris && c.count % 3 != 0)
      Fail(std::string(k) + ": " + std::to_string(c.count) + " indices are not whole triangles");
    if (family == obj8::Family::Lines && c.count % 2 != 0)
      Fail(std::string(k) + ": " + std::to_string(c.count) + " indices are not whole segments");
    if (family == obj8::Family::Tris && c.lod >= 0) {
      file_.lods[static_cast<size_t>(c.lod)].triangles += c.count / 3;
      ++file_.lods[static_cast<size_t>(c.lod)].batches;
    }
    file_.commands.push_back(std::move(c));
  }

  Obj8Command Command(Obj8Command::Kind kind, const std::vector<std::string_view>& words) {
    Obj8Command c;
    c.kind = kind;
    c.keyword = Keyword(words[0]);
    for (size_t i = 1; i < words.size(); ++i)
      c.arguments.push_back(Keyword(words[i]));
    // The level last begun: an ATTR_LOD has begun its own already.
    c.lod = static_cast<int32_t>(file_.lods.size()) - 1;
    c.depth = depth_;
    c.line = lines_.Number();
    return c;
  }

  void Finish() {
    const Obj8File::PointCounts& p = file_.pointCounts;
    const int64_t vertices = static_cast<int64_t>(file_.vertices.size());
    const int64_t indices = static_cast<int64_t>(file_.indices.size());
    if (p.line == 0 && (vertices > 0 || indices > 0))
      Fail(file_.lineCount, "the file has VT or IDX lines but no POINT_COUNTS");
    if (p.vertices != vertices)
      Fail(p.line, "POINT_COUNTS declares " + std::to_string(p.vertices) +
                       " vertices, the file has " + std::to_string(vertices) + " VT lines");
    if (p.indices != indices)
      Fail(p.line, "POINT_COUNTS declares " + std::to_string(p.indices) +
                       " indices, the IDX10 and IDX lines hold " + std::to_string(indices));
    // An index leads into the VT table (for TRIS) or the VLINE table (for LINES).
    const int64_t tables = std::max(vertices, static_cast<int64_t>(file_.lineVertices.size()));
    for (const IdxLine& idx : idxLines_)
      for (size_t i = idx.start; i < idx.start + idx.count; ++i)
        if (file_.indices[i] >= tables)
          Fail(idx.line, "index " + std::to_string(file_.indices[i]) + " is outside the " +
                             std::to_string(vertices) + " vertices");
    if (p.lineVertices != static_cast<int64_t>(file_.lineVertices.size()))
      Fail(p.line, "POINT_COUNTS declares " + std::to_string(p.lineVertices) +
                       " line vertices, the file has " + std::to_string(file_.lineVertices.size()) +
                       " VLINE lines");
    if (p.lights != static_cast<int64_t>(file_.lightVertices.size()))
      Fail(p.line, "POINT_COUNTS declares " + std::to_string(p.lights) + " lights, the file has " +
                       std::to_string(file_.lightVertices.size()) + " VLIGHT lines");
    const int64_t lights = static_cast<int64_t>(file_.lightVertices.size());
    for (const Obj8Command& c : file_.commands) {
      using Kind = Obj8Command::Kind;
      if (c.kind != Kind::Tris && c.kind != Kind::Lines && c.kind != Kind::Lights) continue;
      const int64_t size = c.kind == Kind::Lights ? lights : indices;
      if (c.count > size || c.offset > size - c.count)
        Fail(c.line, c.keyword + " " + std::to_string(c.offset) + " " + std::to_string(c.count) +
                         " reaches past the " + std::to_string(size) +
                         (c.kind == Kind::Lights ? " lights" : " indices"));
      // The indices of lines lead into the VLINE table, those of triangles into the VT table.
      const int64_t table =
          c.kind == Kind::Lines ? static_cast<int64_t>(file_.lineVertices.size()) : vertices;
      if (c.kind != Kind::Lights && table < tables)
        for (int64_t i = c.offset; i < c.offset + c.count; ++i)
          if (file_.indices[static_cast<size_t>(i)] >= table)
            Fail(c.line, c.keyword + ": index " +
                             std::to_string(file_.indices[static_cast<size_t>(i)]) +
                             " is outside the " + std::to_string(table) +
                             (c.kind == Kind::Lines ? " line vertices" : " vertices"));
    }
    if (depth_ > 0) Fail(file_.lineCount, std::to_string(depth_) + " ANIM_begin without ANIM_end");
  }

  Lines lines_;
  std::string_view bytes_;
  Obj8File file_;
  bool commandsBegun_ = false;
  int32_t depth_ = 0;  // the animations open
  std::string table_;  // the keyed table open: "ANIM_rotate_begin", or ""
  int64_t tableKeys_ = 0;
  // Each IDX10 or IDX line: where its indices start in the list, how many, its line number.
  struct IdxLine {
    size_t start, count;
    int64_t line;
  };
  std::vector<IdxLine> idxLines_;
};

}  // namespace

int64_t Obj8File::TriangleCount() const {
  int64_t triangles = 0;
  for (const Obj8Command& c : commands)
    if (c.kind == Obj8Command::Kind::Tris) triangles += c.count / 3;
  return triangles;
}

bool IsObj8(std::string_view bytes) {
  Lines lines(bytes.substr(0, 4096));
  std::string_view header[3];
  for (std::string_view& line : header)
    if (!lines.Next(line)) return false;
  if (header[0].starts_with("\xEF\xBB\xBF")) header[0].remove_prefix(3);
  return IsHeader(header[0], header[1], header[2]);
}

Obj8File ReadObj8(std::string_view bytes, const std::string& origin) {
  return Reader(bytes, origin).Run();
}

Obj8File ReadObj8File(const std::filesystem::path& file) {
  return ReadObj8(ReadFile(file), file.string());
}

std::vector<std::filesystem::path> Obj8ExportFiles(const std::filesystem::path& file) {
  const auto startsAsObj8 = [](const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    std::ifstream in(path, std::ios::binary);
    std::string start(4096, '\0');
    in.read(start.data(), static_cast<std::streamsize>(start.size()));
    start.resize(static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return IsObj8(start);
  };
  if (!startsAsObj8(file)) return {};
  std::vector<std::filesystem::path> files{file};
  std::filesystem::path stem = file;
  stem.replace_extension();
  for (int k = 1;; ++k) {
    std::filesystem::path next = stem;
    next += "." + std::to_string(k) + ".obj";
    if (!startsAsObj8(next)) break;
    files.push_back(std::move(next));
  }
  return files;
}

}  // namespace vlm::host
