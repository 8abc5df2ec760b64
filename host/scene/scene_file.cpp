#include "scene/scene_file.h"

#include <nlohmann/json.hpp>

#include <bit>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "vlm/error.h"
#include "vlm/settings.h"

namespace vlm::host {
namespace {

// Ordered, so that a written file keeps the documented key order.
using Json = nlohmann::ordered_json;

constexpr std::string_view kFormatName = "vellum-scene";
// Deeper JSON than this is refused before it is walked: the format needs about two levels
// per nested group, and the reader and the document recurse over groups.
constexpr size_t kMaxNesting = 512;

[[noreturn]] void Fail(int32_t number, const std::string& origin, const std::string& place,
                       const std::string& problem) {
  throw Error(number, origin + ": " + place + ": " + problem);
}

// ---- places --------------------------------------------------------------------------------

// One reference token of a JSON pointer (RFC 6901: "~" is written "~0", "/" is "~1").
std::string Token(std::string_view key) {
  std::string out;
  for (char c : key) {
    if (c == '~')
      out += "~0";
    else if (c == '/')
      out += "~1";
    else
      out += c;
  }
  return out;
}
std::string At(const std::string& pointer, std::string_view key) {
  return pointer + "/" + Token(key);
}
std::string At(const std::string& pointer, size_t index) {
  return pointer + "/" + std::to_string(index);
}
std::string Place(const std::string& pointer) {
  return pointer.empty() ? std::string("top level") : pointer;
}

std::string Quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}
std::string QuotedList(const std::vector<std::string>& names) {
  std::string out;
  for (const auto& name : names)
    out += (out.empty() ? "" : ", ") + Quoted(name);
  return out;
}

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

// ---- floats ----------------------------------------------------------------------------------
//
// A float is written as the shortest decimal text that reads back as the same float
// (std::to_chars), handed to the JSON library as the double that text denotes. Reading back
// inverts exactly that step: plain rounding of the double to float is not enough, because
// a few shortest texts (7.038531e-26 is one) land on the midpoint between two floats.

double WrittenValue(float value) {
  char buffer[32];
  auto written = std::to_chars(buffer, buffer + sizeof buffer, value);
  double out = 0;
  std::from_chars(buffer, written.ptr, out);  // locale-free, unlike std::stod
  return out;
}

// `value` is finite and within rounding distance of the float range.
float ReadValue(double value) {
  if (std::fabs(value) > FLT_MAX) return value < 0 ? -FLT_MAX : FLT_MAX;
  float nearest = static_cast<float>(value);
  if (WrittenValue(nearest) == value) return nearest;
  for (float neighbour : {std::nextafter(nearest, -INFINITY), std::nextafter(nearest, INFINITY)})
    if (std::isfinite(neighbour) && WrittenValue(neighbour) == value) return neighbour;
  return nearest;  // not text this host wrote: the nearest float is right
}

Json FloatJson(float value) {
  if (!std::isfinite(value)) return static_cast<double>(value);  // refused when written out
  return WrittenValue(value);
}

bool SameBits(Vec3 a, Vec3 b) {
  return std::bit_cast<uint32_t>(a.x) == std::bit_cast<uint32_t>(b.x) &&
         std::bit_cast<uint32_t>(a.y) == std::bit_cast<uint32_t>(b.y) &&
         std::bit_cast<uint32_t>(a.z) == std::bit_cast<uint32_t>(b.z);
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
                   const nlohmann::detail::exception& error) override {
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
    // The key is known to be new, so skip the map's own linear search.
    auto& members = static_cast<Json::object_t::Container&>(top.value->get_ref<Json::object_t&>());
    members.emplace_back(std::move(top.key), std::move(value));
    return &members.back().second;
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

// ---- the tree to a document -------------------------------------------------------------------

std::string Found(const Json& value) {
  switch (value.type()) {
    case Json::value_t::null:
      return "null";
    case Json::value_t::boolean:
      return value.get<bool>() ? "true" : "false";
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
      return "the whole number " + value.dump();
    case Json::value_t::number_float:
      return "the number " + value.dump();
    case Json::value_t::string:
      return "a string";
    case Json::value_t::array:
      return "an array";
    case Json::value_t::object:
      return "an object";
    default:
      return "a value of another kind";
  }
}

// Reads a parsed tree into a document, checking every key, type and reference.
class SceneReader {
 public:
  SceneReader(const std::string& origin, HostDocument& document)
      : origin_(origin), doc_(document) {}

  void Read(const Json& top) {
    if (!top.is_object())
      Fail(err::TypeMismatch, origin_, "top level",
           "a scene file holds an object, not " + Found(top));
    const Json& format = Required(top, "", "format");
    if (String(format, "/format") != kFormatName)
      Fail(err::InvalidProcedureCall, origin_, "/format",
           "this is not a Vellum scene: \"format\" is " + format.dump() + ", not \"" +
               std::string(kFormatName) + "\"");
    int32_t version = Int(Required(top, "", "version"), "/version");
    if (version != kSceneFormatVersion)
      Fail(err::InvalidProcedureCall, origin_, "/version",
           "version " + std::to_string(version) +
               " is not known; known versions: " + std::to_string(kSceneFormatVersion));
    Keys(top, "", {"format", "version", "units", "customFields", "materials", "root", "selection"});
    if (const Json* units = Optional(top, "units")) doc_.units = Int(*units, "/units");
    if (const Json* fields = Optional(top, "customFields")) CustomFields(*fields, "/customFields");
    if (const Json* materials = Optional(top, "materials")) {
      const auto& list = Array(*materials, "/materials");
      for (size_t i = 0; i < list.size(); ++i)
        MaterialItem(list[i], At("/materials", i));
    }
    const Json& root = Required(top, "", "root");
    Members(root, "/root");
    Keys(root, "/root", {"fields", "groups", "objects"});
    GroupContents(root, "/root", doc_.Root());
    if (const Json* selection = Optional(top, "selection")) Selection(*selection, "/selection");
  }

 private:
  // ---- values ----

  [[noreturn]] void WrongType(const Json& value, const std::string& place,
                              std::string_view expected) {
    Fail(err::TypeMismatch, origin_, Place(place),
         "expected " + std::string(expected) + ", found " + Found(value));
  }
  [[noreturn]] void Bad(const std::string& place, const std::string& problem) {
    Fail(err::InvalidProcedureCall, origin_, Place(place), problem);
  }

  const Json::object_t& Members(const Json& value, const std::string& place) {
    if (!value.is_object()) WrongType(value, place, "an object");
    return value.get_ref<const Json::object_t&>();
  }
  const Json::array_t& Array(const Json& value, const std::string& place) {
    if (!value.is_array()) WrongType(value, place, "an array");
    return value.get_ref<const Json::array_t&>();
  }
  std::string String(const Json& value, const std::string& place) {
    if (!value.is_string()) WrongType(value, place, "a string");
    return value.get<std::string>();
  }
  int32_t Int(const Json& value, const std::string& place) {
    if (!value.is_number_integer()) WrongType(value, place, "a whole number");
    bool fits = value.is_number_unsigned()
                    ? value.get<uint64_t>() <= static_cast<uint64_t>(INT32_MAX)
                    : value.get<int64_t>() >= INT32_MIN && value.get<int64_t>() <= INT32_MAX;
    if (!fits) Bad(place, "the whole number " + value.dump() + " is outside the 32-bit range");
    return static_cast<int32_t>(value.get<int64_t>());
  }
  float Float(const Json& value, const std::string& place) {
    if (!value.is_number()) WrongType(value, place, "a number");
    double d = value.get<double>();
    // Past FLT_MAX by half a unit in the last place or more, a value rounds to infinity.
    if (!std::isfinite(d) || std::fabs(d) >= static_cast<double>(FLT_MAX) + std::ldexp(1.0, 103))
      Bad(place, "the number " + value.dump() + " is outside the range of a 32-bit float");
    return ReadValue(d);
  }
  const Json::array_t& Numbers(const Json& value, const std::string& place, size_t count) {
    const auto& items = Array(value, place);
    if (items.size() != count)
      Bad(place,
          "expected " + std::to_string(count) + " numbers, found " + std::to_string(items.size()));
    return items;
  }
  Vec3 ReadVec3(const Json& value, const std::string& place) {
    const auto& n = Numbers(value, place, 3);
    return {Float(n[0], At(place, 0)), Float(n[1], At(place, 1)), Float(n[2], At(place, 2))};
  }
  Vec2 ReadVec2(const Json& value, const std::string& place) {
    const auto& n = Numbers(value, place, 2);
    return {Float(n[0], At(place, 0)), Float(n[1], At(place, 1))};
  }
  Rgb ReadRgb(const Json& value, const std::string& place) {
    Vec3 v = ReadVec3(value, place);
    return {v.x, v.y, v.z};
  }

  // An optional list member of `object` read item by item into `target`.
  template <class T>
  void Items(const Json& object, const std::string& place, const char* key, std::vector<T>& target,
             T (SceneReader::*read)(const Json&, const std::string&)) {
    const Json* value = Optional(object, key);
    if (!value) return;
    std::string listPlace = At(place, key);
    const auto& items = Array(*value, listPlace);
    target.reserve(items.size());
    for (size_t i = 0; i < items.size(); ++i)
      target.push_back((this->*read)(items[i], At(listPlace, i)));
  }

  // ---- keys ----

  // Every key of `object` must be one of `known`: a misspelt key is an error, not a default.
  void Keys(const Json& object, const std::string& place,
            std::initializer_list<std::string_view> known) {
    for (const auto& [key, value] : Members(object, place)) {
      bool found = false;
      for (std::string_view k : known)
        found = found || k == key;
      if (!found) {
        std::vector<std::string> names(known.begin(), known.end());
        Bad(At(place, key),
            "unknown key " + Quoted(key) + "; the keys here are " + QuotedList(names));
      }
    }
  }
  const Json* Optional(const Json& object, std::string_view key) {
    auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
  }
  const Json& Required(const Json& object, const std::string& place, std::string_view key) {
    const Json* value = Optional(object, key);
    if (!value) Bad(place, "the key " + Quoted(key) + " is missing");
    return *value;
  }

  // ---- custom fields ----

  void CustomFields(const Json& value, const std::string& place) {
    Keys(value, place, {"node", "material"});
    auto declare = [&](std::string_view kind, auto define) {
      const Json* list = Optional(value, kind);
      if (!list) return;
      std::string listPlace = At(place, kind);
      std::map<std::string, size_t> seen;
      const auto& names = Array(*list, listPlace);
      for (size_t i = 0; i < names.size(); ++i) {
        std::string name = String(names[i], At(listPlace, i));
        auto [it, added] = seen.emplace(name, i);
        if (!added)
          Bad(At(listPlace, i), "the custom field " + Quoted(name) +
                                    " is declared twice (also at " + At(listPlace, it->second) +
                                    ")");
        define(name);
      }
    };
    declare("node", [&](const std::string& name) { doc_.DefineNodeField(name); });
    declare("material", [&](const std::string& name) { doc_.DefineMaterialField(name); });
  }

  // A "fields" object: declared field name -> text.
  template <class Set>
  void Fields(const Json& value, const std::string& place, bool forMaterial, Set set) {
    const auto& declared = forMaterial ? doc_.MaterialFieldNames() : doc_.NodeFieldNames();
    const char* kind = forMaterial ? "material" : "node";
    for (const auto& [name, text] : Members(value, place)) {
      int32_t slot = forMaterial ? doc_.FindMaterialField(name) : doc_.FindNodeField(name);
      if (slot < 0)
        Bad(At(place, name),
            "the " + std::string(kind) + " custom field " + Quoted(name) +
                " is not declared in /customFields/" + kind +
                (declared.empty() ? " (no " + std::string(kind) + " fields are declared)"
                                  : "; declared: " + QuotedList(declared)));
      set(slot, String(text, At(place, name)));
    }
  }

  // ---- materials ----

  void MaterialItem(const Json& value, const std::string& place) {
    Keys(value, place,
         {"name", "diffuse", "ambient", "emissive", "specular", "gloss", "diffuseLevel",
          "ambientLevel", "specularLevel", "translucency", "textures", "fields"});
    std::string name = String(Required(value, place, "name"), At(place, "name"));
    if (name.empty()) Bad(At(place, "name"), "a material name must not be empty");
    if (auto it = materialPlace_.find(name); it != materialPlace_.end())
      Bad(At(place, "name"), "the material name " + Quoted(name) + " is taken by " + it->second);
    HostMaterial& m = doc_.NewMaterial(name);
    materialPlace_.emplace(name, place);
    materials_.emplace(name, &m);
    if (const Json* v = Optional(value, "diffuse")) m.diffuse = ReadRgb(*v, At(place, "diffuse"));
    if (const Json* v = Optional(value, "ambient")) m.ambient = ReadRgb(*v, At(place, "ambient"));
    if (const Json* v = Optional(value, "emissive"))
      m.emissive = ReadRgb(*v, At(place, "emissive"));
    if (const Json* v = Optional(value, "specular"))
      m.specular = ReadRgb(*v, At(place, "specular"));
    if (const Json* v = Optional(value, "gloss")) m.gloss = Float(*v, At(place, "gloss"));
    if (const Json* v = Optional(value, "diffuseLevel"))
      m.diffuseLevel = Int(*v, At(place, "diffuseLevel"));
    if (const Json* v = Optional(value, "ambientLevel"))
      m.ambientLevel = Int(*v, At(place, "ambientLevel"));
    if (const Json* v = Optional(value, "specularLevel"))
      m.specularLevel = Int(*v, At(place, "specularLevel"));
    if (const Json* v = Optional(value, "translucency")) {
      m.translucency = Int(*v, At(place, "translucency"));
      if (m.translucency < 0 || m.translucency > 100)
        Bad(At(place, "translucency"),
            "translucency " + std::to_string(m.translucency) + " is outside 0..100");
    }
    if (const Json* v = Optional(value, "textures")) {
      std::string texPlace = At(place, "textures");
      Keys(*v, texPlace, {"diffuse", "bump", "detail", "specular", "environment"});
      m.hasTextures = true;
      const std::pair<const char*, std::string*> maps[] = {{"diffuse", &m.diffuseMap},
                                                           {"bump", &m.bumpMap},
                                                           {"detail", &m.detailMap},
                                                           {"specular", &m.specularMap},
                                                           {"environment", &m.environmentMap}};
      for (const auto& [key, target] : maps)
        if (const Json* file = Optional(*v, key)) *target = String(*file, At(texPlace, key));
    }
    if (const Json* v = Optional(value, "fields"))
      Fields(*v, At(place, "fields"), true,
             [&](int32_t slot, const std::string& text) { m.SetCustomField(slot, text); });
  }

  // ---- groups and objects ----

  // The members a group shares with the root: fields, groups, objects.
  void GroupContents(const Json& value, const std::string& place, HostNode& node) {
    if (const Json* v = Optional(value, "fields"))
      Fields(*v, At(place, "fields"), false,
             [&](int32_t slot, const std::string& text) { node.SetField(slot, text); });
    if (const Json* v = Optional(value, "groups")) {
      std::string listPlace = At(place, "groups");
      const auto& list = Array(*v, listPlace);
      for (size_t i = 0; i < list.size(); ++i)
        GroupItem(list[i], At(listPlace, i), node);
    }
    if (const Json* v = Optional(value, "objects")) {
      std::string listPlace = At(place, "objects");
      const auto& list = Array(*v, listPlace);
      for (size_t i = 0; i < list.size(); ++i)
        ObjectItem(list[i], At(listPlace, i), node);
    }
  }

  void GroupItem(const Json& value, const std::string& place, HostNode& parent) {
    Keys(value, place,
         {"name", "position", "forward", "up", "animationKeys", "fields", "groups", "objects"});
    std::string name = String(Required(value, place, "name"), At(place, "name"));
    HostNode& node = doc_.NewNode(parent, std::move(name));
    if (const Json* v = Optional(value, "position"))
      node.position = ReadVec3(*v, At(place, "position"));
    ReadOrientation(value, place, node);
    if (const Json* v = Optional(value, "animationKeys")) {
      node.animationKeys = Int(*v, At(place, "animationKeys"));
      if (node.animationKeys < 0)
        Bad(At(place, "animationKeys"), "a count of animation keys cannot be negative");
    }
    GroupContents(value, place, node);
  }

  // forward is made a unit vector and up a unit vector at right angles to it. Vectors that
  // already are (to float precision) are kept as they are, so that a saved file reads back
  // to the same bits.
  void ReadOrientation(const Json& value, const std::string& place, HostNode& node) {
    Vec3 forward = node.forward, up = node.up;
    const Json* f = Optional(value, "forward");
    const Json* u = Optional(value, "up");
    if (f) forward = ReadVec3(*f, At(place, "forward"));
    if (u) up = ReadVec3(*u, At(place, "up"));
    if (!f && !u) return;
    constexpr float tolerance = 1e-5f;
    float length = Length(forward);
    if (!(length > 0) || !std::isfinite(length))
      Bad(At(place, "forward"), "the forward vector must have a length");
    if (std::fabs(length - 1) > tolerance) forward = forward * (1.0f / length);
    float upLength = Length(up);
    if (!(upLength > 0) || !std::isfinite(upLength))
      Bad(At(place, "up"), "the up vector must have a length");
    float along = Dot(up, forward);
    if (std::fabs(along) > tolerance * upLength) {
      Vec3 across = up - forward * along;
      if (Length(across) <= 1e-4f * upLength)
        Bad(At(place, u ? "up" : "forward"), "the up vector is parallel to the forward vector");
      up = across;
      upLength = Length(up);
    }
    if (std::fabs(upLength - 1) > tolerance) up = up * (1.0f / upLength);
    node.forward = forward;
    node.up = up;
  }

  void ObjectItem(const Json& value, const std::string& place, HostNode& parent) {
    Keys(value, place, {"name", "kind", "smoothingAngle", "vertices", "normals", "uvs", "faces"});
    std::string name = String(Required(value, place, "name"), At(place, "name"));
    HostMesh& mesh = doc_.NewMesh(parent, std::move(name));
    if (const Json* v = Optional(value, "kind")) mesh.kind = Int(*v, At(place, "kind"));
    if (const Json* v = Optional(value, "smoothingAngle"))
      mesh.smoothingAngle = Float(*v, At(place, "smoothingAngle"));
    Items(value, place, "vertices", mesh.vertices, &SceneReader::ReadVec3);
    Items(value, place, "normals", mesh.normals, &SceneReader::ReadVec3);
    Items(value, place, "uvs", mesh.uvs, &SceneReader::ReadVec2);
    if (const Json* v = Optional(value, "faces")) {
      std::string listPlace = At(place, "faces");
      const auto& faces = Array(*v, listPlace);
      mesh.faces.reserve(faces.size());
      for (size_t i = 0; i < faces.size(); ++i)
        FaceItem(faces[i], At(listPlace, i), mesh);
    }
  }

  void FaceItem(const Json& value, const std::string& place, HostMesh& mesh) {
    Keys(value, place, {"material", "points"});
    HostFace& face = mesh.AddFace();
    if (const Json* v = Optional(value, "material")) {
      std::string name = String(*v, At(place, "material"));
      auto it = materials_.find(name);
      if (it == materials_.end()) {
        std::vector<std::string> known;
        for (const auto& m : doc_.Materials())
          known.push_back(m->name);
        Bad(At(place, "material"),
            "no material is named " + Quoted(name) +
                (known.empty() ? " (the file defines no materials)"
                               : "; the materials are " + QuotedList(known)));
      }
      face.material = it->second;
    }
    std::string pointsPlace = At(place, "points");
    const auto& points = Array(Required(value, place, "points"), pointsPlace);
    face.points.reserve(points.size());
    for (size_t i = 0; i < points.size(); ++i) {
      std::string pointPlace = At(pointsPlace, i);
      const auto& p = Array(points[i], pointPlace);
      if (p.size() != 3)
        Bad(pointPlace, "a point is [vertex, normal, texture coordinate]; found " +
                            std::to_string(p.size()) + " numbers");
      HostPoint point{Int(p[0], At(pointPlace, 0)), Int(p[1], At(pointPlace, 1)),
                      Int(p[2], At(pointPlace, 2))};
      CheckIndex(point.vertex, mesh.vertices.size(), false, "vertex", "vertices", pointPlace);
      CheckIndex(point.normal, mesh.normals.size(), true, "normal", "normals", pointPlace);
      CheckIndex(point.uv, mesh.uvs.size(), true, "texture coordinate", "texture coordinates",
                 pointPlace);
      face.points.push_back(point);
    }
  }

  void CheckIndex(int32_t index, size_t count, bool optional, const char* what, const char* plural,
                  const std::string& place) {
    if ((optional && index == -1) || (index >= 0 && static_cast<size_t>(index) < count)) return;
    std::string held = count == 0   ? std::string("the object has no ") + plural
                       : count == 1 ? std::string("the object has one ") + what + ", 0"
                                    : "the object has " + std::to_string(count) + " " + plural +
                                          ", 0.." + std::to_string(count - 1);
    Bad(place, std::string(what) + " index " + std::to_string(index) + " is out of range: " + held +
                   (optional ? "; -1 for none" : ""));
  }

  // ---- selection ----

  void Selection(const Json& value, const std::string& place) {
    Keys(value, place, {"groups", "objects", "nodes", "shapes"});
    auto each = [&](const char* key, auto read) {
      const Json* v = Optional(value, key);
      if (!v) return;
      std::string listPlace = At(place, key);
      const auto& items = Array(*v, listPlace);
      for (size_t i = 0; i < items.size(); ++i)
        read(items[i], At(listPlace, i));
    };
    each("groups", [&](const Json& v, const std::string& p) {
      doc_.scriptingSelection.groups.push_back(SelectedGroup(v, p));
    });
    each("nodes", [&](const Json& v, const std::string& p) {
      doc_.graphSelection.nodes.push_back(SelectedGroup(v, p));
    });
    each("objects", [&](const Json& v, const std::string& p) {
      Keys(v, p, {"path", "faces"});
      HostMesh* mesh = SelectedMesh(Required(v, p, "path"), At(p, "path"));
      const Json* faces = Optional(v, "faces");
      std::vector<int32_t> indices;
      if (faces) indices = FaceIndices(*faces, At(p, "faces"), *mesh, "face");
      WarnRepeats(doc_.SelectObject(*mesh, faces ? 1 : 0, std::move(indices)),
                  At(p, faces ? "faces" : "path"), "face");
    });
    each("shapes", [&](const Json& v, const std::string& p) {
      Keys(v, p, {"path", "polygons"});
      HostMesh* mesh = SelectedMesh(Required(v, p, "path"), At(p, "path"));
      const Json* polygons = Optional(v, "polygons");
      std::vector<int32_t> indices;
      if (polygons) indices = FaceIndices(*polygons, At(p, "polygons"), *mesh, "polygon");
      WarnRepeats(doc_.SelectShape(*mesh, std::move(indices)),
                  At(p, polygons ? "polygons" : "path"), "polygon");
    });
  }

  // A face or polygon listed more than once is selected once: a tool would otherwise work on
  // it twice.
  void WarnRepeats(const std::vector<int32_t>& repeats, const std::string& place,
                   const char* what) {
    for (int32_t index : repeats)
      Warn(origin_ + ": " + place + ": " + what + " " + std::to_string(index) +
           " is listed more than once; it is selected once");
  }

  HostNode* SelectedGroup(const Json& value, const std::string& place) {
    std::string problem;
    HostNode* node = doc_.FindGroup(String(value, place), &problem);
    if (!node) Bad(place, problem);
    return node;
  }
  HostMesh* SelectedMesh(const Json& value, const std::string& place) {
    std::string problem;
    HostMesh* mesh = doc_.FindMesh(String(value, place), &problem);
    if (!mesh) Bad(place, problem);
    return mesh;
  }
  std::vector<int32_t> FaceIndices(const Json& value, const std::string& place,
                                   const HostMesh& mesh, const char* what) {
    std::vector<int32_t> out;
    const auto& items = Array(value, place);
    for (size_t i = 0; i < items.size(); ++i) {
      int32_t index = Int(items[i], At(place, i));
      size_t count = mesh.faces.size();
      if (index < 0 || static_cast<size_t>(index) >= count)
        Bad(At(place, i), std::string(what) + " index " + std::to_string(index) +
                              " is out of range: " + Quoted(mesh.Path()) + " has " +
                              std::to_string(count) + " " + what + (count == 1 ? "" : "s"));
      out.push_back(index);
    }
    return out;
  }

  const std::string& origin_;
  HostDocument& doc_;
  std::unordered_map<std::string, HostMaterial*> materials_;
  std::unordered_map<std::string, std::string> materialPlace_;
};

// ---- a document to a tree -----------------------------------------------------------------

Json Vec3Json(Vec3 v) {
  return Json::array({FloatJson(v.x), FloatJson(v.y), FloatJson(v.z)});
}
Json RgbJson(Rgb c) {
  return Vec3Json({c.r, c.g, c.b});
}

// True when the node is in the document's tree (not a group made by CreateGroup and never
// added).
bool InTree(const HostNode* node, const HostNode& root) {
  while (node && node != &root)
    node = node->parent;
  return node == &root;
}

class SceneWriter {
 public:
  SceneWriter(const std::string& origin, HostDocument& document)
      : origin_(origin), doc_(document) {}

  Json Build() {
    Json top = Json::object();
    top["format"] = kFormatName;
    top["version"] = kSceneFormatVersion;
    top["units"] = doc_.units;
    if (!doc_.NodeFieldNames().empty() || !doc_.MaterialFieldNames().empty()) {
      Json fields = Json::object();
      if (!doc_.NodeFieldNames().empty()) fields["node"] = doc_.NodeFieldNames();
      if (!doc_.MaterialFieldNames().empty()) fields["material"] = doc_.MaterialFieldNames();
      top["customFields"] = std::move(fields);
    }
    top["materials"] = Materials();
    Json root = Json::object();
    GroupContents(doc_.Root(), root, "/root", true);
    top["root"] = std::move(root);
    Json selection = Selection();
    if (!selection.empty()) top["selection"] = std::move(selection);
    return top;
  }

 private:
  [[noreturn]] void Bad(const std::string& place, const std::string& problem) {
    Fail(err::InvalidProcedureCall, origin_, place, problem);
  }

  Json Materials() {
    Json list = Json::array();
    std::unordered_set<std::string> names;
    for (const auto& owned : doc_.Materials()) {
      const HostMaterial& m = *owned;
      if (doc_.IsDefaultMaterial(&m)) continue;
      std::string place = At("/materials", list.size());
      if (m.name.empty()) Bad(place, "a material has no name");
      if (!names.insert(m.name).second) Bad(place, "two materials are named " + Quoted(m.name));
      saved_.insert(&m);
      Json j = Json::object();
      j["name"] = m.name;
      j["diffuse"] = RgbJson(m.diffuse);
      j["ambient"] = RgbJson(m.ambient);
      j["emissive"] = RgbJson(m.emissive);
      j["specular"] = RgbJson(m.specular);
      j["gloss"] = FloatJson(m.gloss);
      j["diffuseLevel"] = m.diffuseLevel;
      j["ambientLevel"] = m.ambientLevel;
      j["specularLevel"] = m.specularLevel;
      j["translucency"] = m.translucency;
      if (m.hasTextures) {
        Json textures = Json::object();
        const std::pair<const char*, const std::string*> maps[] = {
            {"diffuse", &m.diffuseMap},
            {"bump", &m.bumpMap},
            {"detail", &m.detailMap},
            {"specular", &m.specularMap},
            {"environment", &m.environmentMap}};
        for (const auto& [key, file] : maps)
          if (!file->empty()) textures[key] = *file;
        j["textures"] = std::move(textures);
      }
      Json fields = Fields(m.fields, doc_.MaterialFieldNames());
      if (!fields.empty()) j["fields"] = std::move(fields);
      list.push_back(std::move(j));
    }
    return list;
  }

  static Json Fields(const std::map<int32_t, std::string>& fields,
                     const std::vector<std::string>& names) {
    Json out = Json::object();
    for (const auto& [slot, text] : fields)
      if (slot >= 0 && static_cast<size_t>(slot) < names.size() && !text.empty())
        out[names[static_cast<size_t>(slot)]] = text;
    return out;
  }

  void GroupContents(const HostNode& node, Json& out, const std::string& place, bool isRoot) {
    Json fields = Fields(node.fields, doc_.NodeFieldNames());
    if (!fields.empty()) out["fields"] = std::move(fields);
    if (isRoot || !node.children.empty()) {
      Json groups = Json::array();
      for (const auto& child : node.children)
        groups.push_back(GroupJson(*child, At(At(place, "groups"), groups.size())));
      out["groups"] = std::move(groups);
    }
    if (isRoot || !node.meshes.empty()) {
      Json objects = Json::array();
      for (const auto& mesh : node.meshes)
        objects.push_back(ObjectJson(*mesh, At(At(place, "objects"), objects.size())));
      out["objects"] = std::move(objects);
    }
  }

  Json GroupJson(const HostNode& node, const std::string& place) {
    Json j = Json::object();
    j["name"] = node.name;
    j["position"] = Vec3Json(node.position);
    if (!SameBits(node.forward, {0, 0, 1})) j["forward"] = Vec3Json(node.forward);
    if (!SameBits(node.up, {0, 1, 0})) j["up"] = Vec3Json(node.up);
    if (node.animationKeys != 0) j["animationKeys"] = node.animationKeys;
    GroupContents(node, j, place, false);
    return j;
  }

  Json ObjectJson(const HostMesh& mesh, const std::string& place) {
    Json j = Json::object();
    j["name"] = mesh.name;
    if (mesh.kind != ShapeKindPolygonMesh) j["kind"] = mesh.kind;
    if (std::bit_cast<uint32_t>(mesh.smoothingAngle) != std::bit_cast<uint32_t>(30.0f))
      j["smoothingAngle"] = FloatJson(mesh.smoothingAngle);
    Json vertices = Json::array();
    for (const Vec3& v : mesh.vertices)
      vertices.push_back(Vec3Json(v));
    j["vertices"] = std::move(vertices);
    if (!mesh.normals.empty()) {
      Json normals = Json::array();
      for (const Vec3& n : mesh.normals)
        normals.push_back(Vec3Json(n));
      j["normals"] = std::move(normals);
    }
    if (!mesh.uvs.empty()) {
      Json uvs = Json::array();
      for (const Vec2& t : mesh.uvs)
        uvs.push_back(Json::array({FloatJson(t.u), FloatJson(t.v)}));
      j["uvs"] = std::move(uvs);
    }
    Json faces = Json::array();
    for (const auto& face : mesh.faces) {
      if (face->removed) continue;
      Json f = Json::object();
      if (face->material && !doc_.IsDefaultMaterial(face->material)) {
        if (!saved_.count(face->material))
          Bad(At(At(At(place, "faces"), faces.size()), "material"),
              "the face's material " + Quoted(face->material->name) +
                  " is not a material of this document");
        f["material"] = face->material->name;
      }
      Json points = Json::array();
      for (const HostPoint& p : face->points)
        points.push_back(Json::array({p.vertex, p.normal, p.uv}));
      f["points"] = std::move(points);
      faces.push_back(std::move(f));
    }
    j["faces"] = std::move(faces);
    return j;
  }

  // Face indices as saved: removed faces are not written, so the ones after them move down
  // and a selected removed face leaves the selection.
  std::vector<int32_t> SavedIndices(const HostMesh& mesh, const std::vector<int32_t>& faces) {
    std::vector<int32_t> newIndex;
    int32_t next = 0;
    for (const auto& face : mesh.faces)
      newIndex.push_back(face->removed ? -1 : next++);
    std::vector<int32_t> out;
    for (int32_t i : faces)
      if (i >= 0 && static_cast<size_t>(i) < newIndex.size() &&
          newIndex[static_cast<size_t>(i)] >= 0)
        out.push_back(newIndex[static_cast<size_t>(i)]);
    return out;
  }

  // The path of a selected group, checked to lead back to it.
  std::string GroupPath(HostNode& node, const std::string& place) {
    std::string path = node.Path();
    if (doc_.FindGroup(path, nullptr) != &node)
      Bad(place, "the selected group " + Quoted(path) + " cannot be saved by its path");
    return path;
  }
  std::string MeshPathChecked(HostMesh& mesh, const std::string& place) {
    std::string path = mesh.Path();
    if (doc_.FindMesh(path, nullptr) != &mesh)
      Bad(place, "the selected object " + Quoted(path) + " cannot be saved by its path");
    return path;
  }

  Json Selection() {
    HostNode& root = doc_.Root();
    Json out = Json::object();
    auto groups = [&](const std::vector<HostNode*>& nodes, const char* key) {
      Json list = Json::array();
      for (HostNode* node : nodes)
        if (InTree(node, root))
          list.push_back(GroupPath(*node, At(At("/selection", key), list.size())));
      if (!list.empty()) out[key] = std::move(list);
    };
    groups(doc_.scriptingSelection.groups, "groups");
    Json objects = Json::array();
    for (const auto& entry : doc_.scriptingSelection.objects) {
      if (!entry.mesh || !InTree(entry.mesh->parent, root)) continue;
      Json j = Json::object();
      j["path"] = MeshPathChecked(*entry.mesh, At("/selection/objects", objects.size()));
      if (entry.mode == 1) j["faces"] = SavedIndices(*entry.mesh, entry.faces);
      objects.push_back(std::move(j));
    }
    if (!objects.empty()) out["objects"] = std::move(objects);
    groups(doc_.graphSelection.nodes, "nodes");
    Json shapes = Json::array();
    for (const auto& entry : doc_.graphSelection.shapes) {
      if (!entry.mesh || !InTree(entry.mesh->parent, root)) continue;
      Json j = Json::object();
      j["path"] = MeshPathChecked(*entry.mesh, At("/selection/shapes", shapes.size()));
      std::vector<int32_t> polygons = SavedIndices(*entry.mesh, entry.polygons);
      if (!polygons.empty()) j["polygons"] = std::move(polygons);
      shapes.push_back(std::move(j));
    }
    if (!shapes.empty()) out["shapes"] = std::move(shapes);
    return out;
  }

  const std::string& origin_;
  HostDocument& doc_;
  std::unordered_set<const HostMaterial*> saved_;
};

// ---- a tree to text -------------------------------------------------------------------------
//
// Two-space indentation, one member or item per line, except that containers of scalars
// (coordinates, points, field maps), whole faces and selection entries stay on one line.
class TextWriter {
 public:
  explicit TextWriter(const std::string& origin) : origin_(origin) {}

  std::string Write(const Json& top) {
    Value(top, 0, false);
    out_ += '\n';
    return std::move(out_);
  }

 private:
  static bool Flat(const Json& value) {
    for (const auto& item : value)
      if (item.is_structured()) return false;
    return true;
  }

  void Value(const Json& value, int indent, bool oneLine) {
    if (!value.is_structured()) return Scalar(value);
    bool isObject = value.is_object();
    out_ += isObject ? '{' : '[';
    if (value.empty()) {
      out_ += isObject ? '}' : ']';
      return;
    }
    oneLine = oneLine || Flat(value);
    // Faces, and the entries of the selection lists, each take one line.
    bool itemsOnOneLine = !isObject && ((!pointer_.empty() && pointer_.back() == "faces") ||
                                        (pointer_.size() == 2 && pointer_[0] == "selection"));
    size_t index = 0;
    for (auto it = value.begin(); it != value.end(); ++it, ++index) {
      if (index > 0) out_ += oneLine ? ", " : ",";
      if (!oneLine) out_ += "\n" + std::string(static_cast<size_t>(indent + 2), ' ');
      pointer_.push_back(isObject ? it.key() : std::to_string(index));
      if (isObject) {
        Scalar(Json(it.key()));
        out_ += ": ";
      }
      Value(*it, indent + 2, oneLine || itemsOnOneLine);
      pointer_.pop_back();
    }
    if (!oneLine) out_ += "\n" + std::string(static_cast<size_t>(indent), ' ');
    out_ += isObject ? '}' : ']';
  }

  void Scalar(const Json& value) {
    if (value.is_number_float() && !std::isfinite(value.get<double>()))
      Fail(err::InvalidProcedureCall, origin_, Pointer(),
           "the number is not finite (" + std::to_string(value.get<double>()) +
               "); a scene file holds finite numbers only");
    try {
      out_ += value.dump();
    } catch (const nlohmann::json::type_error&) {
      Fail(err::InvalidProcedureCall, origin_, Pointer(), "the text is not valid UTF-8");
    }
  }

  std::string Pointer() const {
    std::string out;
    for (const auto& token : pointer_)
      out += "/" + Token(token);
    return Place(out);
  }

  const std::string& origin_;
  std::string out_;
  std::vector<std::string> pointer_;
};

std::string Serialize(const HostDocument& document, const std::string& origin) {
  // Reading only: the document's accessors that the writer needs (Root, FindGroup) are not
  // const, but the writer changes nothing.
  HostDocument& doc = const_cast<HostDocument&>(document);
  return TextWriter(origin).Write(SceneWriter(origin, doc).Build());
}

}  // namespace

std::unique_ptr<HostDocument> ParseScene(std::string_view text, const std::string& origin) {
  TreeBuilder builder(text, origin);
  // The builder raises every syntax error itself, with its place.
  if (!Json::sax_parse(text.begin(), text.end(), &builder))
    Fail(err::InvalidProcedureCall, origin, "top level", "the text is not JSON");
  Json tree = builder.Take();
  auto document = std::make_unique<HostDocument>();
  SceneReader(origin, *document).Read(tree);
  return document;
}

std::unique_ptr<HostDocument> LoadScene(const std::filesystem::path& file) {
  return ParseScene(ReadFile(file), file.string());
}

std::string SerializeScene(const HostDocument& document) {
  return Serialize(document, "(unsaved scene)");
}

void SaveScene(const HostDocument& document, const std::filesystem::path& file) {
  WriteFileAtomically(file, Serialize(document, file.string()));
}

}  // namespace vlm::host
