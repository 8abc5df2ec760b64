#include "scene/scene_tree.h"

#include <simdjson.h>

#include <cfloat>
#include <charconv>
#include <cmath>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "scene/scene_fields.h"
#include "scene/scene_text.h"
#include "vlm/error.h"

namespace vlm::host {
namespace {

using namespace scene_text;
using namespace scene_fields;

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

// ---- the long lists of a mesh ----------------------------------------------------------------

enum class ListKind { Vec3s, Vec2s, Faces };

// The kind of list a member of a mesh record holds, if it is one decoded while parsing.
std::optional<ListKind> MeshListKind(std::string_view key) {
  for (const auto& field : kObjectFields) {
    if (field.key != key) continue;
    if (std::holds_alternative<std::vector<Vec3> HostMesh::*>(field.member)) return ListKind::Vec3s;
    if (std::holds_alternative<std::vector<Vec2> HostMesh::*>(field.member)) return ListKind::Vec2s;
    if (field.part == Part::Faces) return ListKind::Faces;
  }
  return std::nullopt;
}

// A number as the parser gives it.
struct Number {
  double value;
  bool whole;
  bool fitsInt32;
};

// Decodes one list from the parser's events. It takes only what the reader would accept
// as far as the list alone can tell (the right shapes, numbers of the right kind and range,
// known keys given once); anything else makes it give up, and the text is read the plain way.
class ListDecoder {
 public:
  enum Result { More, Done, GiveUp };

  explicit ListDecoder(ListKind kind)
      : kind_(kind),
        materialKey_(FieldOf(kFaceFields, Part::Material).key),
        pointsKey_(FieldOf(kFaceFields, Part::Points).key) {
    if (kind == ListKind::Vec3s) list_ = std::vector<Vec3>{};
    if (kind == ListKind::Vec2s) list_ = std::vector<Vec2>{};
    if (kind == ListKind::Faces) list_ = FaceList{};
  }

  MeshList Take() { return std::move(list_); }

  // The list's own opening bracket has been seen.
  Result OpenArray() {
    if (kind_ != ListKind::Faces) {
      if (depth_ != 1) return GiveUp;
      depth_ = 2;
      count_ = 0;
      return More;
    }
    if (depth_ == 2 && pending_ == pointsKey_) {
      pending_ = {};
      seenPoints_ = true;
      depth_ = 3;
      return More;
    }
    if (depth_ != 3) return GiveUp;
    depth_ = 4;
    count_ = 0;
    return More;
  }
  Result CloseArray() {
    if (depth_ == 1) return Done;
    if (kind_ == ListKind::Vec3s && depth_ == 2 && count_ == 3) {
      std::get<0>(list_).push_back(Vec3{numbers_[0], numbers_[1], numbers_[2]});
    } else if (kind_ == ListKind::Vec2s && depth_ == 2 && count_ == 2) {
      std::get<1>(list_).push_back(Vec2{numbers_[0], numbers_[1]});
    } else if (kind_ == ListKind::Faces && depth_ == 4 && count_ == 3) {
      Faces().points.push_back(HostPoint{indices_[0], indices_[1], indices_[2]});
    } else if (!(kind_ == ListKind::Faces && depth_ == 3)) {
      return GiveUp;
    }
    --depth_;
    return More;
  }
  Result OpenObject() {
    if (kind_ != ListKind::Faces || depth_ != 1) return GiveUp;
    depth_ = 2;
    material_ = -1;
    seenMaterial_ = seenPoints_ = false;
    return More;
  }
  Result CloseObject() {
    if (depth_ != 2 || !pending_.empty() || !seenPoints_) return GiveUp;
    FaceList& faces = Faces();
    faces.ends.push_back(static_cast<uint32_t>(faces.points.size()));
    faces.materials.push_back(material_);
    depth_ = 1;
    return More;
  }
  Result Key(const std::string& key) {
    if (depth_ != 2 || !pending_.empty()) return GiveUp;
    bool& seen = key == materialKey_ ? seenMaterial_ : seenPoints_;
    if ((key != materialKey_ && key != pointsKey_) || seen) return GiveUp;
    seen = true;
    pending_ = key == materialKey_ ? materialKey_ : pointsKey_;
    return More;
  }
  Result String(const std::string& text) {
    if (depth_ != 2 || pending_ != materialKey_) return GiveUp;
    pending_ = {};
    material_ = MaterialIndex(text);
    return More;
  }
  Result Value(Number n) {
    if (kind_ == ListKind::Faces) {
      if (depth_ != 4 || count_ >= 3 || !n.whole || !n.fitsInt32) return GiveUp;
      indices_[count_++] = static_cast<int32_t>(n.value);
      return More;
    }
    // Past FLT_MAX by half a unit in the last place or more, a value rounds to infinity.
    if (depth_ != 2 || count_ >= 3 || !std::isfinite(n.value) ||
        std::fabs(n.value) >= static_cast<double>(FLT_MAX) + std::ldexp(1.0, 103))
      return GiveUp;
    numbers_[count_++] = ReadValue(n.value);
    return More;
  }
  Result Other() { return GiveUp; }

 private:
  FaceList& Faces() { return std::get<FaceList>(list_); }

  int32_t MaterialIndex(const std::string& name) {
    FaceList& faces = Faces();
    if (last_ >= 0 && faces.names[size_t(last_)] == name) return last_;
    auto [it, added] = materialIndex_.emplace(name, static_cast<int32_t>(faces.names.size()));
    if (added) faces.names.push_back(name);
    last_ = it->second;
    return last_;
  }

  ListKind kind_;
  std::string_view materialKey_, pointsKey_;
  MeshList list_;
  // 1: in the list; 2: in an item (for faces: a face record); 3: in a face's points;
  // 4: in a point.
  int depth_ = 1;
  int count_ = 0;
  float numbers_[3] = {};
  int32_t indices_[3] = {};
  std::string_view pending_;  // the key of a face member whose value comes next
  bool seenMaterial_ = false, seenPoints_ = false;
  int32_t material_ = -1, last_ = -1;
  std::unordered_map<std::string, int32_t> materialIndex_;
};

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

// ---- the same events from simdjson ---------------------------------------------------------

namespace od = simdjson::ondemand;

static_assert(kTreeSlack >= simdjson::SIMDJSON_PADDING);

// Walks a text with simdjson's On-Demand parser and gives the builder the events the JSON
// library's parser gives for it. Any error simdjson reports makes it stop (false), and so does
// the builder's refusal; the text is then read again by the library's parser.
class FastWalker {
 public:
  explicit FastWalker(TreeBuilder& builder) : builder_(builder) {}

  bool Document(od::document& doc) {
    od::value root;
    // Past the end, the document has no location: nothing follows the value.
    return !doc.get_value().get(root) && Value(root) &&
           doc.current_location().error() == simdjson::OUT_OF_BOUNDS;
  }

 private:
  bool Value(od::value value) {
    od::json_type type;
    if (value.type().get(type)) return false;
    switch (type) {
      case od::json_type::array:
        return Array(value);
      case od::json_type::object:
        return Object(value);
      case od::json_type::number:
        return Number(value);
      case od::json_type::string: {
        std::string_view text;
        if (value.get_string().get(text)) return false;
        scratch_.assign(text);
        return builder_.string(scratch_);
      }
      case od::json_type::boolean: {
        bool truth = false;
        return !value.get_bool().get(truth) && builder_.boolean(truth);
      }
      case od::json_type::null: {
        bool null = false;
        return !value.is_null().get(null) && null && builder_.null();
      }
    }
    return false;
  }
  bool Array(od::value value) {
    od::array items;
    if (value.get_array().get(items) || !builder_.start_array(size_t(-1))) return false;
    for (auto item : items) {
      od::value inner;
      if (item.get(inner) || !Value(inner)) return false;
    }
    return builder_.end_array();
  }
  bool Object(od::value value) {
    od::object members;
    if (value.get_object().get(members) || !builder_.start_object(size_t(-1))) return false;
    for (auto member : members) {
      std::string_view key;
      od::value inner;
      if (member.unescaped_key().get(key)) return false;
      scratch_.assign(key);
      if (!builder_.key(scratch_) || member.value().get(inner) || !Value(inner)) return false;
    }
    return builder_.end_object();
  }
  // As the library gives numbers: a whole number with a minus sign (even "-0") as a signed
  // integer, any other whole number as an unsigned one, the rest as doubles. Whole numbers
  // past 64 bits and doubles past the finite range are simdjson errors. (Each kind is read on
  // its own: simdjson's reading of any number loses doubles of over 19 digits.)
  bool Number(od::value value) {
    bool negative = value.is_negative();
    od::number_type type;
    if (value.get_number_type().get(type)) return false;
    int64_t signedValue = 0;
    uint64_t unsignedValue = 0;
    double floatValue = 0;
    switch (type) {
      case od::number_type::signed_integer:
        if (value.get_int64().get(signedValue)) return false;
        return negative ? builder_.number_integer(signedValue)
                        : builder_.number_unsigned(static_cast<uint64_t>(signedValue));
      case od::number_type::unsigned_integer:
        return !value.get_uint64().get(unsignedValue) && builder_.number_unsigned(unsignedValue);
      case od::number_type::floating_point_number:
        return Double(value, floatValue) && std::isfinite(floatValue) &&
               builder_.number_float(floatValue, kNoText);
    }
    return false;
  }
  // simdjson gathers the digits before the exponent in 64 bits and, in the version this is
  // built against, can let more than 19 of them wrap around (0.5000000000000000000000 reads
  // as 9.3e-05). A number with that many is read from its text instead, rounded correctly.
  static bool Double(od::value value, double& out) {
    std::string_view token = value.raw_json_token();
    size_t end = 0, digits = 0;
    bool exponent = false;
    for (; end < token.size(); ++end) {
      char c = token[end];
      if (c == 'e' || c == 'E') {
        exponent = true;
      } else if (c >= '0' && c <= '9') {
        digits += !exponent;
      } else if (c != '-' && c != '+' && c != '.') {
        break;  // the space or bracket after the number
      }
    }
    if (digits <= 19) return !value.get_double().get(out);
    // The number must end where JSON lets it: "333\"x\"" is no number followed by a string.
    if (end < token.size() &&
        std::string_view(" \t\r\n,]}").find(token[end]) == std::string_view::npos)
      return false;
    // Past the range of a double (either way) the library's message is the one to give.
    auto [rest, error] = std::from_chars(token.data(), token.data() + end, out);
    return error == std::errc() && rest == token.data() + end;
  }

  inline static const std::string kNoText;
  TreeBuilder& builder_;
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

std::optional<SceneTree> ParseTreeFast(std::string_view text, const std::string& origin,
                                       size_t slack) {
  simdjson::padded_string copy;
  simdjson::padded_string_view padded(text.data(), text.size(), text.size() + slack);
  if (slack < simdjson::SIMDJSON_PADDING) {
    copy = simdjson::padded_string(text);
    padded = copy;
  }
  od::parser parser;
  od::document doc;
  if (parser.iterate(padded).get(doc)) return std::nullopt;
  TreeBuilder builder(text, origin, true);
  try {
    if (FastWalker(builder).Document(doc)) return builder.Take();
  } catch (const Error&) {
    // A key given twice or nesting too deep: the library's parser names it in text order.
  }
  return std::nullopt;
}

SceneTree ParseTree(std::string_view text, const std::string& origin, size_t slack) {
  std::optional<SceneTree> tree = ParseTreeFast(text, origin, slack);
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
