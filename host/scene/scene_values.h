// Reading the JSON values of a scene file: each checked for its type and range, its place
// named in the error. The scene reader's base.
#pragma once

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "scene/scene_fields.h"
#include "scene/scene_text.h"
#include "scene/scene_tree.h"
#include "vlm/error.h"

namespace vlm::host::scene_values {

using namespace scene_text;
using namespace scene_fields;

using Json = SceneJson;

// ---- values ----------------------------------------------------------------------------------

inline std::string Found(const Json& value) {
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

// Reads JSON values of the types the scene file uses, each checked, naming its place.
class ValueReader {
 public:
  ValueReader(const std::string& origin, std::vector<MeshList>& lists)
      : origin_(origin), lists_(lists) {}

  // A list decoded while parsing, for its placeholder in the tree.
  template <class List>
  List& Decoded(const Json& placeholder) const {
    return std::get<List>(lists_[placeholder.get_binary().subtype()]);
  }
  // A list field: the list decoded while parsing, or its items read one by one.
  template <class List, class Read>
  void readList(List& target, const Json& value, const std::string& place, Read read) const {
    if (value.is_binary())
      target = std::move(Decoded<List>(value));
    else
      Items(value, place, target, read);
  }

  [[noreturn]] void WrongType(const Json& value, const std::string& place,
                              std::string_view expected) const {
    Fail(err::TypeMismatch, origin_, Place(place),
         "expected " + std::string(expected) + ", found " + Found(value));
  }
  [[noreturn]] void Bad(const std::string& place, const std::string& problem) const {
    Fail(err::InvalidProcedureCall, origin_, Place(place), problem);
  }

  const Json::object_t& Members(const Json& value, const std::string& place) const {
    if (!value.is_object()) WrongType(value, place, "an object");
    return value.get_ref<const Json::object_t&>();
  }
  const Json::array_t& Array(const Json& value, const std::string& place) const {
    if (!value.is_array()) WrongType(value, place, "an array");
    return value.get_ref<const Json::array_t&>();
  }
  std::string String(const Json& value, const std::string& place) const {
    if (!value.is_string()) WrongType(value, place, "a string");
    return value.get<std::string>();
  }
  int32_t Int(const Json& value, const std::string& place) const {
    if (!value.is_number_integer()) WrongType(value, place, "a whole number");
    bool fits = value.is_number_unsigned()
                    ? value.get<uint64_t>() <= static_cast<uint64_t>(INT32_MAX)
                    : value.get<int64_t>() >= INT32_MIN && value.get<int64_t>() <= INT32_MAX;
    if (!fits) Bad(place, "the whole number " + value.dump() + " is outside the 32-bit range");
    return static_cast<int32_t>(value.get<int64_t>());
  }
  float Float(const Json& value, const std::string& place) const {
    if (!value.is_number()) WrongType(value, place, "a number");
    double d = value.get<double>();
    // Past FLT_MAX by half a unit in the last place or more, a value rounds to infinity.
    if (!std::isfinite(d) || std::fabs(d) >= static_cast<double>(FLT_MAX) + std::ldexp(1.0, 103))
      Bad(place, "the number " + value.dump() + " is outside the range of a 32-bit float");
    return ReadValue(d);
  }
  const Json::array_t& Numbers(const Json& value, const std::string& place, size_t count) const {
    const auto& items = Array(value, place);
    if (items.size() != count)
      Bad(place,
          "expected " + std::to_string(count) + " numbers, found " + std::to_string(items.size()));
    return items;
  }
  Vec3 ReadVec3(const Json& value, const std::string& place) const {
    const auto& n = Numbers(value, place, 3);
    return {Float(n[0], At(place, 0)), Float(n[1], At(place, 1)), Float(n[2], At(place, 2))};
  }
  Vec2 ReadVec2(const Json& value, const std::string& place) const {
    const auto& n = Numbers(value, place, 2);
    return {Float(n[0], At(place, 0)), Float(n[1], At(place, 1))};
  }
  Rgb ReadRgb(const Json& value, const std::string& place) const {
    Vec3 v = ReadVec3(value, place);
    return {v.x, v.y, v.z};
  }
  // A list read item by item into `target`.
  template <class T, class Read>
  void Items(const Json& value, const std::string& place, std::vector<T>& target, Read read) const {
    const auto& items = Array(value, place);
    target.reserve(items.size());
    for (size_t i = 0; i < items.size(); ++i)
      target.push_back(read(items[i], At(place, i)));
  }

  // A member of a record read by its type.
  template <class Record>
  void Member(const Field<Record>& field, const Json& value, const std::string& place,
              Record& record) const {
    std::visit(
        [&](auto member) {
          using M = decltype(member);
          if constexpr (std::is_same_v<M, std::string Record::*>) {
            record.*member = String(value, place);
          } else if constexpr (std::is_same_v<M, int32_t Record::*>) {
            record.*member = Int(value, place);
            if (field.check)
              if (std::string problem = field.check(record.*member); !problem.empty())
                Bad(place, problem);
          } else if constexpr (std::is_same_v<M, float Record::*>) {
            record.*member = Float(value, place);
          } else if constexpr (std::is_same_v<M, Vec3 Record::*>) {
            record.*member = ReadVec3(value, place);
          } else if constexpr (std::is_same_v<M, Rgb Record::*>) {
            record.*member = ReadRgb(value, place);
          } else if constexpr (std::is_same_v<M, std::vector<Vec3> Record::*>) {
            readList(record.*member, value, place,
                     [&](const Json& v, const std::string& p) { return ReadVec3(v, p); });
          } else if constexpr (std::is_same_v<M, std::vector<Vec2> Record::*>) {
            readList(record.*member, value, place,
                     [&](const Json& v, const std::string& p) { return ReadVec2(v, p); });
          }
        },
        field.member);
  }

  // ---- records ----

  // Every key of `object` must be one of the table's: a misspelt key is an error, not a
  // default.
  template <class Record>
  void CheckKeys(Table<Record> table, const Json& object, const std::string& place) const {
    for (const auto& [key, value] : Members(object, place))
      if (!IsKey(table, key))
        Bad(At(place, key),
            "unknown key " + Quoted(key) + "; the keys here are " + QuotedList(Keys(table)));
  }
  static const Json* Optional(const Json& object, std::string_view key) {
    auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
  }
  const Json& Required(const Json& object, const std::string& place, std::string_view key) const {
    const Json* value = Optional(object, key);
    if (!value) Bad(place, "the key " + Quoted(key) + " is missing");
    return *value;
  }

  // Reads the members of a record (its keys checked) in the table's order: by their type, or
  // by `byPart(field, value)` (value null when the key is left out).
  template <class Record, class ByPart>
  void ReadMembers(Table<Record> table, const Json& object, const std::string& place,
                   Record& record, ByPart byPart) const {
    for (const auto& field : table) {
      const Json* value = Optional(object, field.key);
      if (field.part != Part::None)
        byPart(field, value);
      else if (value)
        Member(field, *value, At(place, field.key), record);
    }
  }

  const std::string& origin_;
  std::vector<MeshList>& lists_;
};

}  // namespace vlm::host::scene_values
