// Writing a scene file: the document as text, written as it is walked, record by record as
// the field tables describe them.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <span>
#include <unordered_set>
#include <utility>
#include <vector>

#include "scene/scene_fields.h"
#include "scene/scene_file.h"
#include "scene/scene_text.h"
#include "vlm/error.h"
#include "vlm/files.h"

namespace vlm::host {
namespace {

using namespace scene_text;
using namespace scene_fields;

// JSON text written piece by piece into a sink: two-space indentation, one member or item
// per line unless the layout asks for one line. Keeps the JSON pointer of what it writes, so
// that a value it cannot write (a number that is not finite, text that is not UTF-8) is named.
// Such a problem is raised when the text is finished, after every check of the document's
// content.
class TextOut {
 public:
  TextOut(const std::string& origin, OutputSink& sink) : origin_(origin), sink_(sink) {}

  void Open(char bracket, Layout layout) {
    if (stack_.size() == kMaxNesting)
      Problem("the values are nested more than " + std::to_string(kMaxNesting) +
              " levels deep, more than a scene file may hold (the groups are nested too deep)");
    bool inherited = !stack_.empty() && stack_.back().itemsOnOneLine;
    bool oneLine = inherited || layout == Layout::OneLine;
    sink_.Write(bracket);
    stack_.push_back(Frame{
        bracket == '{' ? '}' : ']', oneLine, oneLine || layout == Layout::ItemPerLine, 0, {}});
  }
  void Close() {
    const Frame& top = stack_.back();
    if (top.count > 0 && !top.oneLine) NewLine(stack_.size() - 1);
    sink_.Write(top.close);
    stack_.pop_back();
  }
  // The next member of the open object, up to its value. The key outlives the writing.
  void Key(std::string_view key) {
    Next();
    stack_.back().key = key;
    String(key);
    sink_.Write(std::string_view(": "));
  }
  // The next item of the open array.
  void Item() { Next(); }

  void String(std::string_view text) {
    if (Plain(text)) {
      sink_.Write('"');
      sink_.Write(text);
      sink_.Write('"');
      return;
    }
    try {
      sink_.Write(nlohmann::json(text).dump());
    } catch (const nlohmann::json::type_error&) {
      Problem("the text is not valid UTF-8");
    }
  }
  void Whole(int64_t value) {
    char* at = sink_.Room(24);
    sink_.Wrote(std::to_chars(at, at + 24, value).ptr);
  }
  void Float(float value) {
    if (!std::isfinite(value))
      Problem("the number is not finite (" + std::to_string(static_cast<double>(value)) +
              "); a scene file holds finite numbers only");
    else
      sink_.Wrote(FloatText(sink_.Room(kFloatRoom), value));
  }

  // The pointer of the value being written.
  std::string Pointer() const {
    std::string out;
    for (const Frame& frame : stack_)
      if (frame.count > 0)
        out += "/" + (frame.close == '}' ? Token(frame.key) : std::to_string(frame.count - 1));
    return out;
  }

  void Finish() {
    if (problem_) throw Error(err::InvalidProcedureCall, *problem_);
    sink_.Write('\n');
    sink_.Flush();
  }

 private:
  struct Frame {
    char close;
    bool oneLine;          // this container is written on one line
    bool itemsOnOneLine;   // each of its items is
    size_t count;          // items or members so far
    std::string_view key;  // an object's current member
  };

  // Text written as it is: printable ASCII with nothing to escape.
  static bool Plain(std::string_view text) {
    for (char c : text)
      if (c < 0x20 || c > 0x7e || c == '"' || c == '\\') return false;
    return true;
  }

  void NewLine(size_t depth) {
    sink_.Write('\n');
    for (size_t left = 2 * depth; left > 0;) {
      const size_t n = std::min(left, OutputSink::kMaxRoom);
      char* at = sink_.Room(n);
      std::memset(at, ' ', n);
      sink_.Wrote(at + n);
      left -= n;
    }
  }
  void Next() {
    Frame& top = stack_.back();
    if (top.count > 0) sink_.Write(top.oneLine ? std::string_view(", ") : std::string_view(","));
    if (!top.oneLine) NewLine(stack_.size());
    ++top.count;
  }
  void Problem(const std::string& problem) {
    if (!problem_) problem_ = origin_ + ": " + Place(Pointer()) + ": " + problem;
  }

  const std::string& origin_;
  OutputSink& sink_;
  std::vector<Frame> stack_;
  std::optional<std::string> problem_;
};

// True when the node is in the document's tree (not a group made by CreateGroup and never
// added).
bool InTree(const HostNode* node, const HostNode& root) {
  while (node && node != &root)
    node = node->parent;
  return node == &root;
}

bool IsDefault(const std::string& value, const Default&) {
  return value.empty();
}
template <class T>
bool IsDefault(const std::vector<T>& value, const Default&) {
  return value.empty();
}
bool IsDefault(int32_t value, const Default& fallback) {
  return std::holds_alternative<int32_t>(fallback) && value == std::get<int32_t>(fallback);
}
bool IsDefault(float value, const Default& fallback) {
  return std::holds_alternative<float>(fallback) && SameBits(value, std::get<float>(fallback));
}
bool IsDefault(Vec3 value, const Default& fallback) {
  return std::holds_alternative<Vec3>(fallback) && SameBits(value, std::get<Vec3>(fallback));
}
bool IsDefault(Rgb, const Default&) {
  return false;
}

// What the selection holds, as written: paths, and face (polygon) indices as saved.
struct SavedSelection {
  struct Entry {
    std::string path;
    std::optional<std::vector<int32_t>> indices;
  };
  std::vector<std::string> groups, nodes;
  std::vector<Entry> objects, shapes;

  bool Empty() const {
    return groups.empty() && nodes.empty() && objects.empty() && shapes.empty();
  }
};

class SceneWriter {
 public:
  SceneWriter(const std::string& origin, const HostDocument& document, OutputSink& sink)
      : origin_(origin), doc_(document), out_(origin, sink) {}

  void Write() {
    out_.Open('{', Layout::Lines);
    Members(kTopFields, doc_, [&](const Field<HostDocument>& field) {
      switch (field.part) {
        case Part::Format:
          out_.Key(field.key);
          return out_.String(kFormatName);
        case Part::Version:
          out_.Key(field.key);
          return out_.Whole(kSceneFormatVersion);
        case Part::CustomFields:
          return CustomFields(field.key);
        case Part::Materials:
          out_.Key(field.key);
          return Materials();
        case Part::Root:
          out_.Key(field.key);
          out_.Open('{', Layout::Lines);
          Members(kRootFields, doc_.Root(),
                  [&](const Field<HostNode>& member) { GroupPart(doc_.Root(), true, member); });
          return out_.Close();
        case Part::Selection:
          return Selection(field.key);
        default:
          return;
      }
    });
    out_.Close();
    out_.Finish();
  }

 private:
  [[noreturn]] void Bad(const std::string& place, const std::string& problem) {
    Fail(err::InvalidProcedureCall, origin_, place, problem);
  }

  // ---- values and records ----

  void Value(const std::string& text) { out_.String(text); }
  void Value(int32_t value) { out_.Whole(value); }
  void Value(float value) { out_.Float(value); }
  void Value(Vec3 v) { Numbers({v.x, v.y, v.z}); }
  void Value(Rgb c) { Numbers({c.r, c.g, c.b}); }
  void Value(Vec2 t) { Numbers({t.u, t.v}); }
  template <class T>
  void Value(const std::vector<T>& items) {
    out_.Open('[', Layout::Lines);
    for (const T& item : items) {
      out_.Item();
      Value(item);
    }
    out_.Close();
  }
  void Strings(std::string_view key, Layout layout, const std::vector<std::string>& texts) {
    out_.Key(key);
    out_.Open('[', layout);
    for (const auto& text : texts) {
      out_.Item();
      out_.String(text);
    }
    out_.Close();
  }
  void Numbers(std::initializer_list<float> values) {
    out_.Open('[', Layout::OneLine);
    for (float value : values) {
      out_.Item();
      out_.Float(value);
    }
    out_.Close();
  }
  void Indices(std::span<const int32_t> indices, Layout layout) {
    out_.Open('[', layout);
    for (int32_t index : indices) {
      out_.Item();
      out_.Whole(index);
    }
    out_.Close();
  }

  // Writes a record's members in the table's order: those with a document member by their
  // type, the others by `byPart(field)`.
  template <class Record, class ByPart>
  void Members(Table<Record> table, const Record& record, ByPart byPart) {
    for (const auto& field : table) {
      if (field.member.index() == 0) {
        byPart(field);
        continue;
      }
      std::visit(
          [&](auto member) {
            if constexpr (!std::is_same_v<decltype(member), std::monostate>) {
              const auto& value = record.*member;
              if (field.write == Write::UnlessDefault && IsDefault(value, field.fallback)) return;
              out_.Key(field.key);
              Value(value);
            }
          },
          field.member);
    }
  }

  // ---- custom fields ----

  void CustomFields(std::string_view key) {
    const auto& nodeNames = doc_.NodeFieldNames();
    const auto& materialNames = doc_.MaterialFieldNames();
    if (nodeNames.empty() && materialNames.empty()) return;
    out_.Key(key);
    out_.Open('{', Layout::Lines);
    for (const auto& field : kCustomFieldLists) {
      const auto& names = field.part == Part::NodeFieldNames ? nodeNames : materialNames;
      if (names.empty()) continue;
      Strings(field.key, field.layout, names);
    }
    out_.Close();
  }

  // A "fields" object (declared name -> text), left out when no field is set.
  void FieldsOf(std::string_view key, Layout layout, const std::map<int32_t, std::string>& fields,
                const std::vector<std::string>& names) {
    bool open = false;
    for (const auto& [slot, text] : fields) {
      if (slot < 0 || static_cast<size_t>(slot) >= names.size() || text.empty()) continue;
      if (!open) {
        out_.Key(key);
        out_.Open('{', layout);
        open = true;
      }
      out_.Key(names[static_cast<size_t>(slot)]);
      out_.String(text);
    }
    if (open) out_.Close();
  }

  // ---- materials ----

  void Materials() {
    out_.Open('[', Layout::Lines);
    for (const auto& owned : doc_.Materials()) {
      const HostMaterial& m = *owned;
      if (doc_.IsDefaultMaterial(&m)) continue;
      out_.Item();
      if (m.name.empty()) Bad(out_.Pointer(), "a material has no name");
      if (!names_.insert(m.name).second)
        Bad(out_.Pointer(), "two materials are named " + Quoted(m.name));
      saved_.insert(&m);
      out_.Open('{', Layout::Lines);
      Members(kMaterialFields, m, [&](const Field<HostMaterial>& field) {
        if (field.part == Part::Textures && m.hasTextures) {
          out_.Key(field.key);
          out_.Open('{', field.layout);
          Members(kTextureFields, m, [](const auto&) {});
          out_.Close();
        } else if (field.part == Part::Wrap) {
          Wrap(field, m);
        } else if (field.part == Part::Fields) {
          FieldsOf(field.key, field.layout, m.fields, doc_.MaterialFieldNames());
        }
      });
      out_.Close();
    }
    out_.Close();
  }

  // Left out for a material that repeats both ways; one mode when both axes share it.
  void Wrap(const Field<HostMaterial>& field, const HostMaterial& m) {
    if (m.wrapU == TextureWrap::Repeat && m.wrapV == TextureWrap::Repeat) return;
    out_.Key(field.key);
    if (m.wrapU == m.wrapV) return out_.String(WrapName(m.wrapU));
    out_.Open('[', field.layout);
    for (TextureWrap wrap : {m.wrapU, m.wrapV}) {
      out_.Item();
      out_.String(WrapName(wrap));
    }
    out_.Close();
  }

  // ---- groups and objects ----

  // The members a group shares with the root: fields, groups and objects (the root writes
  // its lists even when empty).
  void GroupPart(const HostNode& node, bool isRoot, const Field<HostNode>& field) {
    if (field.part == Part::Fields) {
      FieldsOf(field.key, field.layout, node.fields, doc_.NodeFieldNames());
    } else if (field.part == Part::Groups && (isRoot || !node.children.empty())) {
      List(field, node.children, [&](const HostNode& child) { Group(child); });
    } else if (field.part == Part::Objects && (isRoot || !node.meshes.empty())) {
      List(field, node.meshes, [&](const HostMesh& mesh) { Object(mesh); });
    }
  }

  template <class T, class WriteItem>
  void List(const Field<HostNode>& field, const std::vector<std::unique_ptr<T>>& items,
            WriteItem write) {
    out_.Key(field.key);
    out_.Open('[', field.layout);
    for (const auto& item : items) {
      out_.Item();
      write(*item);
    }
    out_.Close();
  }

  void Group(const HostNode& node) {
    out_.Open('{', Layout::Lines);
    Members(kGroupFields, node,
            [&](const Field<HostNode>& field) { GroupPart(node, false, field); });
    out_.Close();
  }

  void Object(const HostMesh& mesh) {
    out_.Open('{', Layout::Lines);
    Members(kObjectFields, mesh, [&](const Field<HostMesh>& field) {
      if (field.part != Part::Faces) return;
      out_.Key(field.key);
      out_.Open('[', field.layout);
      for (size_t face = 0; face < mesh.FaceCount(); ++face)
        if (!mesh.FaceRemoved(face)) Face(mesh, face);
      out_.Close();
    });
    out_.Close();
  }

  void Face(const HostMesh& mesh, size_t face) {
    out_.Item();
    out_.Open('{', Layout::OneLine);
    for (const auto& field : kFaceFields) {
      if (field.part == Part::Material) {
        const HostMaterial* material = mesh.FaceMaterial(face);
        if (!material || doc_.IsDefaultMaterial(material)) continue;
        out_.Key(field.key);
        if (!saved_.count(material))
          Bad(out_.Pointer(), "the face's material " + Quoted(material->name) +
                                  " is not a material of this document");
        out_.String(material->name);
      } else if (field.part == Part::Points) {
        out_.Key(field.key);
        out_.Open('[', field.layout);
        for (const HostPoint& p : mesh.Points(face)) {
          out_.Item();
          const int32_t point[] = {p.vertex, p.normal, p.uv};
          Indices(point, Layout::OneLine);
        }
        out_.Close();
      }
    }
    out_.Close();
  }

  // ---- selection ----

  // Face indices as saved: removed faces are not written, so the ones after them move down
  // and a selected removed face leaves the selection.
  static std::vector<int32_t> SavedIndices(const HostMesh& mesh,
                                           const std::vector<int32_t>& faces) {
    std::vector<int32_t> newIndex;
    int32_t next = 0;
    for (size_t face = 0; face < mesh.FaceCount(); ++face)
      newIndex.push_back(mesh.FaceRemoved(face) ? -1 : next++);
    std::vector<int32_t> out;
    for (int32_t i : faces)
      if (i >= 0 && static_cast<size_t>(i) < newIndex.size() &&
          newIndex[static_cast<size_t>(i)] >= 0)
        out.push_back(newIndex[static_cast<size_t>(i)]);
    return out;
  }

  // The path of a selected group, checked to lead back to it.
  std::string GroupPath(const HostNode& node, const std::string& place) {
    std::string path = node.Path();
    if (doc_.FindGroup(path, nullptr) != &node)
      Bad(place, "the selected group " + Quoted(path) + " cannot be saved by its path");
    return path;
  }
  std::string MeshPath(const HostMesh& mesh, const std::string& place) {
    std::string path = mesh.Path();
    if (doc_.FindMesh(path, nullptr) != &mesh)
      Bad(place, "the selected object " + Quoted(path) + " cannot be saved by its path");
    return path;
  }

  // The selection as it will be written, every path checked, in the order of the views: the
  // groups and objects of the scripting view, then the nodes and shapes of the scene graph.
  SavedSelection Saved(std::string_view key) {
    auto table = kSelectionFields;
    auto place = [&](Part part, size_t index) {
      for (const auto& field : table)
        if (field.part == part) return At(At("", key), field.key) + "/" + std::to_string(index);
      return std::string();
    };
    const HostNode& root = doc_.Root();
    auto groups = [&](const std::vector<HostNode*>& nodes, Part part,
                      std::vector<std::string>& paths) {
      for (const HostNode* node : nodes)
        if (InTree(node, root)) paths.push_back(GroupPath(*node, place(part, paths.size())));
    };
    // The entry of a mesh in the tree, or null.
    auto entry = [&](const HostMesh* mesh, Part part,
                     std::vector<SavedSelection::Entry>& entries) -> SavedSelection::Entry* {
      if (!mesh || !InTree(mesh->parent, root)) return nullptr;
      entries.push_back({MeshPath(*mesh, place(part, entries.size())), {}});
      return &entries.back();
    };
    SavedSelection out;
    groups(doc_.scriptingSelection.groups, Part::SelectedGroups, out.groups);
    for (const auto& e : doc_.scriptingSelection.objects)
      if (auto* saved = entry(e.mesh, Part::SelectedObjects, out.objects); saved && e.mode == 1)
        saved->indices = SavedIndices(*e.mesh, e.faces);
    groups(doc_.graphSelection.nodes, Part::SelectedNodes, out.nodes);
    for (const auto& e : doc_.graphSelection.shapes)
      if (auto* saved = entry(e.mesh, Part::SelectedShapes, out.shapes)) {
        std::vector<int32_t> polygons = SavedIndices(*e.mesh, e.polygons);
        if (!polygons.empty()) saved->indices = std::move(polygons);
      }
    return out;
  }

  void Selection(std::string_view key) {
    SavedSelection saved = Saved(key);
    if (saved.Empty()) return;
    out_.Key(key);
    out_.Open('{', Layout::Lines);
    for (const auto& field : kSelectionFields) {
      if (field.part == Part::SelectedGroups || field.part == Part::SelectedNodes)
        Paths(field, field.part == Part::SelectedGroups ? saved.groups : saved.nodes);
      else if (field.part == Part::SelectedObjects)
        Entries(field, kSelectedObjectFields, saved.objects);
      else if (field.part == Part::SelectedShapes)
        Entries(field, kSelectedShapeFields, saved.shapes);
    }
    out_.Close();
  }

  void Paths(const Field<Plain>& field, const std::vector<std::string>& paths) {
    if (!paths.empty()) Strings(field.key, field.layout, paths);
  }

  void Entries(const Field<Plain>& field, Table<Plain> entryFields,
               const std::vector<SavedSelection::Entry>& entries) {
    if (entries.empty()) return;
    out_.Key(field.key);
    out_.Open('[', field.layout);
    for (const auto& entry : entries) {
      out_.Item();
      out_.Open('{', Layout::OneLine);
      for (const auto& member : entryFields) {
        if (member.part == Part::Path) {
          out_.Key(member.key);
          out_.String(entry.path);
        } else if (member.part == Part::FaceIndices && entry.indices) {
          out_.Key(member.key);
          Indices(*entry.indices, member.layout);
        }
      }
      out_.Close();
    }
    out_.Close();
  }

  const std::string& origin_;
  const HostDocument& doc_;
  TextOut out_;
  std::unordered_set<std::string> names_;
  std::unordered_set<const HostMaterial*> saved_;
};

}  // namespace

void WriteScene(const HostDocument& document, const std::string& origin, OutputSink& sink) {
  SceneWriter(origin, document, sink).Write();
}

std::string SerializeScene(const HostDocument& document, const std::string& origin) {
  StringSink sink;
  WriteScene(document, origin, sink);
  return std::move(sink.Text());
}

void SaveScene(const HostDocument& document, const std::filesystem::path& file) {
  const std::string origin = file.string();
  WriteFileAtomicallyWith(file, [&](OutputSink& sink) { WriteScene(document, origin, sink); });
}

}  // namespace vlm::host
