// Reading a scene file: the JSON text to a tree (a mesh's long lists already decoded into
// arrays, see scene_tree.h), then the tree to a document, record by record as the field
// tables describe them.
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <map>
#include <stdexcept>
#include <unordered_map>
#include <utility>
#include <vector>

#include "scene/scene_fields.h"
#include "scene/scene_file.h"
#include "scene/scene_text.h"
#include "scene/scene_tree.h"
#include "scene/scene_values.h"
#include "vlm/error.h"
#include "vlm/files.h"
#include "vlm/heap.h"
#include "vlm/warnings.h"

namespace vlm::host {
namespace {

using namespace scene_text;
using namespace scene_fields;
using namespace scene_values;

using Json = SceneJson;

// ---- the tree to a document -------------------------------------------------------------------

// Reads a parsed tree into a document, checking every key, type and reference.
class SceneReader : ValueReader {
 public:
  SceneReader(const std::string& origin, std::vector<MeshList>& lists, HostDocument& document)
      : ValueReader(origin, lists), doc_(document) {}

  void Read(const Json& top) {
    if (!top.is_object())
      Fail(err::TypeMismatch, origin_, "top level",
           "a scene file holds an object, not " + Found(top));
    auto table = kTopFields;
    std::string_view formatKey = FieldOf(table, Part::Format).key;
    const Json& format = Required(top, "", formatKey);
    if (String(format, At("", formatKey)) != kFormatName)
      Fail(err::InvalidProcedureCall, origin_, At("", formatKey),
           "this is not a Vellum scene: \"format\" is " + format.dump() + ", not \"" +
               std::string(kFormatName) + "\"");
    std::string_view versionKey = FieldOf(table, Part::Version).key;
    int32_t version = Int(Required(top, "", versionKey), At("", versionKey));
    if (version != kSceneFormatVersion)
      Fail(err::InvalidProcedureCall, origin_, At("", versionKey),
           "version " + std::to_string(version) +
               " is not known; known versions: " + std::to_string(kSceneFormatVersion));
    CheckKeys(table, top, "");
    ReadMembers(table, top, "", doc_, [&](const Field<HostDocument>& field, const Json* value) {
      std::string place = At("", field.key);
      if (field.part == Part::Root) {
        HostNode& root = doc_.Root();
        const Json& contents = Required(top, "", field.key);
        CheckKeys(kRootFields, contents, place);
        ReadMembers(kRootFields, contents, place, root,
                    [&](const Field<HostNode>& member, const Json* v) {
                      GroupPart(root, place, member, v);
                    });
        return;
      }
      if (!value) return;
      if (field.part == Part::CustomFields) {
        CustomFields(*value, place);
      } else if (field.part == Part::Materials) {
        const auto& list = Array(*value, place);
        for (size_t i = 0; i < list.size(); ++i)
          MaterialItem(list[i], At(place, i));
      } else if (field.part == Part::Selection) {
        Selection(*value, place);
      }
    });
  }

 private:
  std::string Name(const auto& table, const Json& value, const std::string& place) {
    std::string_view key = FieldOf(table, Part::Name).key;
    return String(Required(value, place, key), At(place, key));
  }

  // ---- custom fields ----

  void CustomFields(const Json& value, const std::string& place) {
    Plain plain;
    CheckKeys(kCustomFieldLists, value, place);
    ReadMembers(kCustomFieldLists, value, place, plain,
                [&](const Field<Plain>& field, const Json* list) {
                  if (!list) return;
                  bool forNode = field.part == Part::NodeFieldNames;
                  std::string listPlace = At(place, field.key);
                  std::map<std::string, size_t> seen;
                  const auto& names = Array(*list, listPlace);
                  for (size_t i = 0; i < names.size(); ++i) {
                    std::string name = String(names[i], At(listPlace, i));
                    auto [it, added] = seen.emplace(name, i);
                    if (!added)
                      Bad(At(listPlace, i), "the custom field " + Quoted(name) +
                                                " is declared twice (also at " +
                                                At(listPlace, it->second) + ")");
                    forNode ? doc_.DefineNodeField(name) : doc_.DefineMaterialField(name);
                  }
                });
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
    auto table = kMaterialFields;
    CheckKeys(table, value, place);
    std::string name = Name(table, value, place);
    std::string namePlace = At(place, FieldOf(table, Part::Name).key);
    if (name.empty()) Bad(namePlace, "a material name must not be empty");
    if (auto it = materialPlace_.find(name); it != materialPlace_.end())
      Bad(namePlace, "the material name " + Quoted(name) + " is taken by " + it->second);
    HostMaterial& m = doc_.NewMaterial(name);
    materialPlace_.emplace(name, place);
    materials_.emplace(name, &m);
    ReadMembers(table, value, place, m, [&](const Field<HostMaterial>& field, const Json* v) {
      if (!v) return;
      std::string here = At(place, field.key);
      if (field.part == Part::Textures) {
        m.hasTextures = true;
        CheckKeys(kTextureFields, *v, here);
        ReadMembers(kTextureFields, *v, here, m, [](const auto&, const Json*) {});
      } else if (field.part == Part::Wrap) {
        Wrap(*v, here, m);
      } else if (field.part == Part::Fields) {
        Fields(*v, here, true,
               [&](int32_t slot, const std::string& text) { m.SetCustomField(slot, text); });
      }
    });
  }

  // "wrap": one mode for both axes, or [u, v].
  void Wrap(const Json& value, const std::string& place, HostMaterial& m) {
    const auto mode = [&](const Json& v, const std::string& here) {
      const std::string name = String(v, here);
      if (auto wrap = WrapFromName(name)) return *wrap;
      Bad(here,
          "unknown wrap mode " + Quoted(name) + "; the wrap modes are " + QuotedList(WrapNames()));
    };
    if (value.is_string()) {
      m.wrapU = m.wrapV = mode(value, place);
      return;
    }
    if (!value.is_array()) WrongType(value, place, "a string or an array");
    const auto& pair = Array(value, place);
    if (pair.size() != 2)
      Bad(place, "expected a wrap mode for u and one for v, found " + std::to_string(pair.size()) +
                     " values");
    m.wrapU = mode(pair[0], At(place, 0));
    m.wrapV = mode(pair[1], At(place, 1));
  }

  // ---- groups and objects ----

  // The members a group shares with the root: fields, groups, objects.
  void GroupPart(HostNode& node, const std::string& place, const Field<HostNode>& field,
                 const Json* v) {
    if (!v) return;
    std::string here = At(place, field.key);
    if (field.part == Part::Fields) {
      Fields(*v, here, false,
             [&](int32_t slot, const std::string& text) { node.SetField(slot, text); });
    } else if (field.part == Part::Groups) {
      const auto& list = Array(*v, here);
      for (size_t i = 0; i < list.size(); ++i)
        GroupItem(list[i], At(here, i), node);
    } else if (field.part == Part::Objects) {
      const auto& list = Array(*v, here);
      for (size_t i = 0; i < list.size(); ++i)
        ObjectItem(list[i], At(here, i), node);
    }
  }

  void GroupItem(const Json& value, const std::string& place, HostNode& parent) {
    auto table = kGroupFields;
    CheckKeys(table, value, place);
    HostNode& node = doc_.NewNode(parent, Name(table, value, place));
    const Json* forward = nullptr;
    ReadMembers(table, value, place, node, [&](const Field<HostNode>& field, const Json* v) {
      if (field.part == Part::Forward)
        forward = v;
      else if (field.part == Part::Up)
        ReadOrientation(forward, v, place, node);
      else
        GroupPart(node, place, field, v);
    });
  }

  // forward is made a unit vector and up a unit vector at right angles to it. Vectors that
  // already are (to float precision) are kept as they are, so that a saved file reads back
  // to the same bits.
  void ReadOrientation(const Json* f, const Json* u, const std::string& place, HostNode& node) {
    auto table = kGroupFields;
    std::string forwardPlace = At(place, FieldOf(table, Part::Forward).key);
    std::string upPlace = At(place, FieldOf(table, Part::Up).key);
    Vec3 forward = node.forward, up = node.up;
    if (f) forward = ReadVec3(*f, forwardPlace);
    if (u) up = ReadVec3(*u, upPlace);
    if (!f && !u) return;
    constexpr float tolerance = 1e-5f;
    float length = Length(forward);
    if (!(length > 0) || !std::isfinite(length))
      Bad(forwardPlace, "the forward vector must have a length");
    if (std::fabs(length - 1) > tolerance) forward = forward * (1.0f / length);
    float upLength = Length(up);
    if (!(upLength > 0) || !std::isfinite(upLength))
      Bad(upPlace, "the up vector must have a length");
    float along = Dot(up, forward);
    if (std::fabs(along) > tolerance * upLength) {
      Vec3 across = up - forward * along;
      if (Length(across) <= 1e-4f * upLength)
        Bad(u ? upPlace : forwardPlace, "the up vector is parallel to the forward vector");
      up = across;
      upLength = Length(up);
    }
    if (std::fabs(upLength - 1) > tolerance) up = up * (1.0f / upLength);
    node.forward = forward;
    node.up = up;
  }

  void ObjectItem(const Json& value, const std::string& place, HostNode& parent) {
    auto table = kObjectFields;
    CheckKeys(table, value, place);
    HostMesh& mesh = doc_.NewMesh(parent, Name(table, value, place));
    ReadMembers(table, value, place, mesh, [&](const Field<HostMesh>& field, const Json* v) {
      if (field.part != Part::Faces || !v) return;
      std::string listPlace = At(place, field.key);
      if (v->is_binary()) return DecodedFaces(Decoded<FaceList>(*v), listPlace, mesh);
      const auto& faces = Array(*v, listPlace);
      mesh.ReserveFaces(faces.size(), 0);
      for (size_t i = 0; i < faces.size(); ++i)
        FaceItem(faces[i], At(listPlace, i), mesh);
    });
  }

  void FaceItem(const Json& value, const std::string& place, HostMesh& mesh) {
    CheckKeys(kFaceFields, value, place);
    const size_t face = mesh.AddFace();
    Plain plain;
    ReadMembers(kFaceFields, value, place, plain, [&](const Field<Plain>& field, const Json* v) {
      std::string here = At(place, field.key);
      if (field.part == Part::Material && v)
        mesh.SetFaceMaterial(face, FaceMaterial(String(*v, here), here));
      else if (field.part == Part::Points)
        Points(Required(value, place, field.key), here, mesh, face);
    });
  }

  // Faces decoded while parsing, checked as FaceItem checks them (their shapes and types
  // already were) and then taken over by the mesh as they are; places are spelt out only for
  // a fault.
  void DecodedFaces(FaceList& list, const std::string& listPlace, HostMesh& mesh) {
    auto face = [&](size_t i) { return At(listPlace, i); };
    std::string_view materialKey = FieldOf(kFaceFields, Part::Material).key;
    std::string_view pointsKey = FieldOf(kFaceFields, Part::Points).key;
    std::vector<HostMaterial*> named(list.names.size(), nullptr);
    const size_t vertices = mesh.vertices.size(), normals = mesh.normals.size(),
                 uvs = mesh.uvs.size();
    auto fits = [](int32_t index, size_t count, bool optional) {
      return (optional && index == -1) || (index >= 0 && static_cast<size_t>(index) < count);
    };
    std::vector<HostMaterial*> materials(list.ends.size(), nullptr);
    size_t begin = 0;
    for (size_t i = 0; i < list.ends.size(); ++i) {
      if (int32_t m = list.materials[i]; m >= 0) {
        if (!named[size_t(m)])
          named[size_t(m)] = FaceMaterial(list.names[size_t(m)], At(face(i), materialKey));
        materials[i] = named[size_t(m)];
      }
      const size_t end = list.ends[i];
      for (size_t k = begin; k < end; ++k) {
        const HostPoint& p = list.points[k];
        if (fits(p.vertex, vertices, false) && fits(p.normal, normals, true) &&
            fits(p.uv, uvs, true))
          continue;
        std::string pointPlace = At(At(face(i), pointsKey), k - begin);
        CheckIndex(p.vertex, vertices, false, "vertex", "vertices", pointPlace);
        CheckIndex(p.normal, normals, true, "normal", "normals", pointPlace);
        CheckIndex(p.uv, uvs, true, "texture coordinate", "texture coordinates", pointPlace);
      }
      begin = end;
    }
    std::vector<int32_t>().swap(list.materials);
    mesh.AddFaces(std::move(list.points), std::move(list.ends), std::move(materials));
  }

  HostMaterial* FaceMaterial(const std::string& name, const std::string& place) {
    auto it = materials_.find(name);
    if (it != materials_.end()) return it->second;
    std::vector<std::string> known;
    for (const auto& m : doc_.Materials())
      known.push_back(m->name);
    Bad(place, "no material is named " + Quoted(name) +
                   (known.empty() ? " (the file defines no materials)"
                                  : "; the materials are " + QuotedList(known)));
  }

  void Points(const Json& value, const std::string& pointsPlace, HostMesh& mesh, size_t face) {
    const auto& points = Array(value, pointsPlace);
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
      mesh.AddPoint(face, point);
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
    auto table = kSelectionFields;
    CheckKeys(table, value, place);
    // Read in the order of the views: the groups and nodes first, then what they hold.
    auto each = [&](Part part, auto read) {
      std::string_view key = FieldOf(table, part).key;
      const Json* v = Optional(value, key);
      if (!v) return;
      std::string listPlace = At(place, key);
      const auto& items = Array(*v, listPlace);
      for (size_t i = 0; i < items.size(); ++i)
        read(items[i], At(listPlace, i));
    };
    each(Part::SelectedGroups, [&](const Json& v, const std::string& p) {
      doc_.scriptingSelection.groups.push_back(SelectedGroup(v, p));
    });
    each(Part::SelectedNodes, [&](const Json& v, const std::string& p) {
      doc_.graphSelection.nodes.push_back(SelectedGroup(v, p));
    });
    each(Part::SelectedObjects, [&](const Json& v, const std::string& p) {
      SelectedEntry(kSelectedObjectFields, v, p, "face",
                    [&](HostMesh& mesh, bool listed, std::vector<int32_t> indices) {
                      return doc_.SelectObject(mesh, listed ? 1 : 0, std::move(indices));
                    });
    });
    each(Part::SelectedShapes, [&](const Json& v, const std::string& p) {
      SelectedEntry(kSelectedShapeFields, v, p, "polygon",
                    [&](HostMesh& mesh, bool, std::vector<int32_t> indices) {
                      return doc_.SelectShape(mesh, std::move(indices));
                    });
    });
  }

  // An entry of "objects" or "shapes": a path and, optionally, face (polygon) indices.
  template <class Select>
  void SelectedEntry(Table<Plain> table, const Json& value, const std::string& place,
                     const char* what, Select select) {
    CheckKeys(table, value, place);
    std::string_view pathKey = FieldOf(table, Part::Path).key;
    std::string_view indicesKey = FieldOf(table, Part::FaceIndices).key;
    HostMesh* mesh = SelectedMesh(Required(value, place, pathKey), At(place, pathKey));
    const Json* listed = Optional(value, indicesKey);
    std::vector<int32_t> indices;
    if (listed) indices = FaceIndices(*listed, At(place, indicesKey), *mesh, what);
    WarnRepeats(select(*mesh, listed != nullptr, std::move(indices)),
                At(place, listed ? indicesKey : pathKey), what);
  }

  // A face or polygon listed more than once is selected once: a tool would otherwise work on
  // it twice. One warning per list, however long: thousands of repeats give one line.
  void WarnRepeats(const std::vector<int32_t>& repeats, const std::string& place,
                   const char* what) {
    if (repeats.empty()) return;
    const std::string first = std::string(what) + " " + std::to_string(repeats.front());
    Warn(origin_ + ": " + place + ": " +
         (repeats.size() == 1 ? first + " is listed more than once; it is selected once"
                              : std::to_string(repeats.size()) + " repeats (the first of " + first +
                                    ") are left out; each " + what + " is selected once"));
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
      size_t count = mesh.FaceCount();
      if (index < 0 || static_cast<size_t>(index) >= count)
        Bad(At(place, i), std::string(what) + " index " + std::to_string(index) +
                              " is out of range: " + Quoted(mesh.Path()) + " has " +
                              std::to_string(count) + " " + what + (count == 1 ? "" : "s"));
      out.push_back(index);
    }
    return out;
  }

  HostDocument& doc_;
  std::unordered_map<std::string, HostMaterial*> materials_;
  std::unordered_map<std::string, std::string> materialPlace_;
};

}  // namespace

namespace {

std::unique_ptr<HostDocument> ReadTree(SceneTree tree, const std::string& origin) {
  auto document = std::make_unique<HostDocument>();
  SceneReader(origin, tree.lists, *document).Read(tree.root);
  tree = SceneTree();
  // The lists grew by doubling as they were read: what they left behind goes back now.
  ReturnFreedMemory();
  return document;
}

}  // namespace

std::unique_ptr<HostDocument> ParseScene(std::string_view text, const std::string& origin) {
  return ReadTree(ParseTree(text, origin), origin);
}

std::unique_ptr<HostDocument> ParseSceneTaking(std::string&& text, const std::string& origin) {
  SceneTree tree = ParseTree(text, origin);
  std::string().swap(text);
  return ReadTree(std::move(tree), origin);
}

std::unique_ptr<HostDocument> LoadScene(const std::filesystem::path& file) {
  // A file is read a piece at a time; only a text the quick reader leaves to the JSON library
  // is read again, whole, for that library's messages. A pipe or device cannot be read again,
  // so it is read whole once.
  std::error_code ec;
  const bool regular = std::filesystem::is_regular_file(file, ec);
  if (regular) {
    FileReader reader(file, kMaxSceneFileSize);
    if (std::optional<SceneTree> tree = ParseTreeFast(reader))
      return ReadTree(std::move(*tree), file.string());
  }
  FileBytes text = ReadFileBytes(file, 0, kMaxSceneFileSize);
  SceneTree tree =
      regular ? ParseTreePlain(text.View(), file.string()) : ParseTree(text.View(), file.string());
  text = FileBytes();
  return ReadTree(std::move(tree), file.string());
}

}  // namespace vlm::host
