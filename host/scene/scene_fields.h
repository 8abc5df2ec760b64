// The records of the scene file and their members, in the order they are written. One table
// per record drives the check for unknown keys, the reading and the writing; the layout of
// docs/scene-format.md follows it.
//
// A member that maps onto a document member is read and written by its type. A member
// without one (a nested record, a list of records, a reference) is read and written by the
// record's own code, which finds it by its `part`.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "scene/document.h"

namespace vlm::host::scene_fields {

// What the record's own code reads and writes.
enum class Part {
  None,  // read and written by the member's type
  Name,  // read before the item is made
  Forward,
  Up,
  Fields,
  Textures,
  Wrap,
  Groups,
  Objects,
  Faces,
  Material,
  Points,
  Path,
  FaceIndices,
  Format,
  Version,
  CustomFields,
  Materials,
  Root,
  Selection,
  NodeFieldNames,
  MaterialFieldNames,
  SelectedGroups,
  SelectedObjects,
  SelectedNodes,
  SelectedShapes,
};

// When a member is written.
enum class Write {
  Always,
  UnlessDefault,  // left out when it equals `fallback` (an empty text or list: when empty)
};

// How a member's list or object is laid out in the text (a list of numbers, such as a
// coordinate, always takes one line).
enum class Layout {
  Lines,        // one item or member per line
  OneLine,      // all on one line
  ItemPerLine,  // one item per line, each item on one line
};

// The value a member is left out at, for Write::UnlessDefault.
using Default = std::variant<std::monostate, int32_t, float, Vec3>;

template <class Record>
using MemberOf = std::variant<std::monostate, std::string Record::*, int32_t Record::*,
                              float Record::*, Vec3 Record::*, Rgb Record::*,
                              std::vector<Vec3> Record::*, std::vector<Vec2> Record::*>;

template <class Record>
struct Field {
  std::string_view key;
  MemberOf<Record> member{};
  Part part = Part::None;
  Write write = Write::Always;
  Default fallback{};
  // For a whole number: the problem with a value read, or "" when it is fine.
  std::string (*check)(int32_t value) = nullptr;
  Layout layout = Layout::Lines;
};

// A record that the reader and writer handle member by member (no document type behind it).
struct Plain {};

template <class Record>
using Table = std::span<const Field<Record>>;

extern const Table<HostDocument> kTopFields;
extern const Table<Plain> kCustomFieldLists;
extern const Table<HostMaterial> kMaterialFields;
extern const Table<HostMaterial> kTextureFields;
extern const Table<HostNode> kGroupFields;
// The root: a group's contents, without a name or a transform.
extern const Table<HostNode> kRootFields;
extern const Table<HostMesh> kObjectFields;
extern const Table<Plain> kFaceFields;
extern const Table<Plain> kSelectionFields;
extern const Table<Plain> kSelectedObjectFields;
extern const Table<Plain> kSelectedShapeFields;

// The keys of a table, in order.
template <class Record>
std::vector<std::string> Keys(Table<Record> table) {
  std::vector<std::string> out;
  for (const auto& field : table)
    out.emplace_back(field.key);
  return out;
}

template <class Record>
bool IsKey(Table<Record> table, std::string_view key) {
  for (const auto& field : table)
    if (field.key == key) return true;
  return false;
}

// The member of a table that the record's own code reads as `part`.
template <class Record>
const Field<Record>& FieldOf(Table<Record> table, Part part) {
  for (const auto& field : table)
    if (field.part == part) return field;
  throw std::logic_error("a scene record has no such part");
}

}  // namespace vlm::host::scene_fields
