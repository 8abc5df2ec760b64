#include "scene/scene_tree.h"

#include <unordered_set>
#include <utility>
#include <vector>

#include "scene/scene_text.h"
#include "vlm/error.h"

namespace vlm::host {
namespace {

using namespace scene_text;

using Json = SceneJson;

// Deeper JSON than this is refused before it is walked: the format needs about two levels
// per nested group, and the reader and the document recurse over groups.
constexpr size_t kMaxNesting = 512;

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
  TreeBuilder(std::string_view text, const std::string& origin) : text_(text), origin_(origin) {}

  Json Take() { return std::move(root_); }

  bool null() override { return Add(nullptr); }
  bool boolean(bool value) override { return Add(value); }
  bool number_integer(number_integer_t value) override { return Add(value); }
  bool number_unsigned(number_unsigned_t value) override { return Add(value); }
  bool number_float(number_float_t value, const string_t&) override { return Add(value); }
  bool string(string_t& value) override { return Add(std::move(value)); }
  bool binary(binary_t&) override { return false; }  // JSON text has no binary values
  bool start_object(std::size_t) override { return Open(Json::object()); }
  bool start_array(std::size_t) override { return Open(Json::array()); }
  bool end_object() override { return Close(); }
  bool end_array() override { return Close(); }
  bool key(string_t& key) override {
    Frame& top = stack_.back();
    if (!top.keys.insert(key).second)
      Fail(err::InvalidProcedureCall, origin_, At(Pointer(), key),
           "the key " + Quoted(key) + " is given twice in this object");
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
    Insert(std::move(value));
    return true;
  }
  bool Open(Json value) {
    std::string token = NextToken();
    if (stack_.size() >= kMaxNesting)
      Fail(err::InvalidProcedureCall, origin_, Place(Pointer()),
           "the values are nested more than " + std::to_string(kMaxNesting) + " levels deep");
    Json* inserted = Insert(std::move(value));
    stack_.push_back(Frame{inserted, std::move(token), {}, {}});
    return true;
  }
  bool Close() {
    stack_.pop_back();
    return true;
  }

  std::string_view text_;
  const std::string& origin_;
  Json root_;
  std::vector<Frame> stack_;
};

}  // namespace

Json ParseTree(std::string_view text, const std::string& origin) {
  TreeBuilder builder(text, origin);
  // The builder raises every syntax error itself, with its place.
  if (!Json::sax_parse(text.begin(), text.end(), &builder))
    Fail(err::InvalidProcedureCall, origin, "top level", "the text is not JSON");
  return builder.Take();
}

}  // namespace vlm::host
