// The document as bytes: a header, the custom field names, the materials, then the root's
// fields and its groups and objects, each group with its own fields, groups and objects in
// turn. A count is 8 bytes, text is its count and its bytes, an array its count and its items
// as they lie in memory (both ends are the same program). Groups come before a group's
// objects, as in the scene text, so the groups are numbered in the same order.
#include "scene/document_bytes.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <span>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "vlm/error.h"

namespace vlm::host {
namespace {

constexpr char kMagic[8] = {'V', 'L', 'M', 'D', 'O', 'C', '0', '1'};

// Groups nested deeper than this go as scene text, which has its own limit and message.
constexpr int kMaxDepth = 150;

// ---- writing --------------------------------------------------------------------------------

// Text the scene writer writes as it is, or escapes: anything but UTF-8 it refuses.
bool WritableText(std::string_view text) {
  bool plain = true;
  for (char c : text)
    plain = plain && c >= 0x20 && c <= 0x7e && c != '"' && c != '\\';
  if (plain) return true;
  try {
    (void)nlohmann::json(text).dump();
    return true;
  } catch (const nlohmann::json::type_error&) {
    return false;
  }
}

bool Finite(std::span<const float> values) {
  for (float v : values)
    if (!std::isfinite(v)) return false;
  return true;
}
template <typename T>
bool AllFinite(std::span<const T> items) {
  static_assert(sizeof(T) % sizeof(float) == 0);
  return Finite({reinterpret_cast<const float*>(items.data()), items.size_bytes() / sizeof(float)});
}
bool Finite(Vec3 v) {
  return AllFinite(std::span<const Vec3>(&v, 1));
}
bool Finite(Rgb c) {
  return std::isfinite(c.r) && std::isfinite(c.g) && std::isfinite(c.b);
}

bool SameBits(Vec3 a, Vec3 b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// Whether the scene reader keeps a group's axes as they are: it makes forward a unit vector
// and up a unit vector at right angles to it, and leaves vectors that already are (to its
// tolerance) alone.
bool KeptAxes(Vec3 forward, Vec3 up) {
  if (SameBits(forward, kDefaultForward) && SameBits(up, kDefaultUp)) return true;
  constexpr float tolerance = 1e-5f;
  const float length = Length(forward), upLength = Length(up);
  if (!(length > 0) || !std::isfinite(length) || std::fabs(length - 1) > tolerance) return false;
  if (!(upLength > 0) || !std::isfinite(upLength)) return false;
  if (std::fabs(Dot(up, forward)) > tolerance * upLength) return false;
  return std::fabs(upLength - 1) <= tolerance;
}

class BytesOut {
 public:
  explicit BytesOut(std::string& out) : out_(out) {}
  template <typename T>
  void Pod(const T& value) {
    static_assert(std::is_trivially_copyable_v<T>);
    out_.append(reinterpret_cast<const char*>(&value), sizeof value);
  }
  void Count(size_t n) { Pod(static_cast<uint64_t>(n)); }
  void Text(std::string_view text) {
    Count(text.size());
    out_.append(text);
  }
  template <typename T>
  void Items(std::span<const T> items) {
    static_assert(std::is_trivially_copyable_v<T>);
    out_.append(reinterpret_cast<const char*>(items.data()), items.size_bytes());
  }
  template <typename T>
  void Array(std::span<const T> items) {
    Count(items.size());
    Items(items);
  }

 private:
  std::string& out_;
};

// Writes the document, or stops at the first thing only the scene text carries faithfully.
class Writer {
 public:
  Writer(const HostDocument& document, std::string& out) : doc_(document), out_(out) {}

  bool Write() {
    const auto& s = doc_.scriptingSelection;
    const auto& g = doc_.graphSelection;
    if (!s.groups.empty() || !s.objects.empty() || !g.nodes.empty() || !g.shapes.empty())
      return false;
    out_.Pod(kMagic);
    out_.Pod(doc_.units);
    for (const auto* names : {&doc_.NodeFieldNames(), &doc_.MaterialFieldNames()}) {
      out_.Count(names->size());
      for (const std::string& name : *names) {
        if (!WritableText(name)) return false;
        out_.Text(name);
      }
    }
    if (!Materials()) return false;
    return Group(doc_.Root(), 0);
  }

 private:
  // The fields the scene text writes: a declared slot and text that is not empty.
  bool Fields(const std::map<int32_t, std::string>& fields, const std::vector<std::string>& names) {
    std::vector<std::pair<int32_t, const std::string*>> kept;
    for (const auto& [slot, text] : fields)
      if (slot >= 0 && static_cast<size_t>(slot) < names.size() && !text.empty()) {
        if (!WritableText(text)) return false;
        kept.emplace_back(slot, &text);
      }
    out_.Count(kept.size());
    for (const auto& [slot, text] : kept) {
      out_.Pod(slot);
      out_.Text(*text);
    }
    return true;
  }

  bool Materials() {
    std::vector<const HostMaterial*> saved;
    std::unordered_set<std::string_view> names;
    for (const auto& owned : doc_.Materials()) {
      const HostMaterial& m = *owned;
      if (doc_.IsDefaultMaterial(&m)) continue;
      if (m.name.empty() || !names.insert(m.name).second || !WritableText(m.name)) return false;
      if (!Finite(m.diffuse) || !Finite(m.ambient) || !Finite(m.emissive) || !Finite(m.specular) ||
          !std::isfinite(m.gloss) || m.translucency < 0 || m.translucency > 100)
        return false;
      for (TextureWrap wrap : {m.wrapU, m.wrapV})
        if (wrap != TextureWrap::Repeat && wrap != TextureWrap::Clamp &&
            wrap != TextureWrap::Mirror)
          return false;
      materialIndex_.emplace(&m, static_cast<int32_t>(saved.size()));
      saved.push_back(&m);
    }
    out_.Count(saved.size());
    for (const HostMaterial* m : saved) {
      out_.Text(m->name);
      for (Rgb c : {m->diffuse, m->ambient, m->emissive, m->specular})
        out_.Pod(c);
      out_.Pod(m->gloss);
      for (int32_t level : {m->diffuseLevel, m->ambientLevel, m->specularLevel, m->translucency})
        out_.Pod(level);
      out_.Pod(static_cast<uint8_t>(m->hasTextures));
      if (m->hasTextures)
        for (const std::string* map :
             {&m->diffuseMap, &m->bumpMap, &m->detailMap, &m->specularMap, &m->environmentMap}) {
          if (!WritableText(*map)) return false;
          out_.Text(*map);
        }
      out_.Pod(m->wrapU);
      out_.Pod(m->wrapV);
      if (!Fields(m->fields, doc_.MaterialFieldNames())) return false;
    }
    return true;
  }

  bool Group(const HostNode& node, int depth) {
    if (depth > kMaxDepth) return false;
    if (depth > 0) {
      if (!WritableText(node.name) || !Finite(node.position) || !Finite(node.forward) ||
          !Finite(node.up) || !KeptAxes(node.forward, node.up) || node.animationKeys < 0)
        return false;
      out_.Text(node.name);
      for (Vec3 v : {node.position, node.forward, node.up})
        out_.Pod(v);
      out_.Pod(node.animationKeys);
    }
    if (!Fields(node.fields, doc_.NodeFieldNames())) return false;
    out_.Count(node.children.size());
    for (const auto& child : node.children)
      if (!Group(*child, depth + 1)) return false;
    out_.Count(node.meshes.size());
    for (const auto& mesh : node.meshes)
      if (!Object(*mesh)) return false;
    return true;
  }

  bool Object(const HostMesh& mesh) {
    if (!WritableText(mesh.name) || !std::isfinite(mesh.smoothingAngle) ||
        !AllFinite(std::span(mesh.vertices)) || !AllFinite(std::span(mesh.normals)) ||
        !AllFinite(std::span(mesh.uvs)))
      return false;
    out_.Text(mesh.name);
    out_.Pod(mesh.kind);
    out_.Pod(mesh.smoothingAngle);
    out_.Array(std::span(mesh.vertices));
    out_.Array(std::span(mesh.normals));
    out_.Array(std::span(mesh.uvs));
    // The faces that are not removed: their points, where each ends, and their materials.
    const size_t count = mesh.FaceCount();
    size_t kept = 0, points = 0;
    for (size_t f = 0; f < count; ++f)
      if (!mesh.FaceRemoved(f)) ++kept, points += mesh.Points(f).size();
    const auto fits = [](int32_t index, size_t size, bool optional) {
      return (optional && index == -1) || (index >= 0 && static_cast<size_t>(index) < size);
    };
    out_.Count(kept);
    out_.Count(points);
    for (size_t f = 0; f < count; ++f) {
      if (mesh.FaceRemoved(f)) continue;
      for (const HostPoint& p : mesh.Points(f))
        if (!fits(p.vertex, mesh.vertices.size(), false) ||
            !fits(p.normal, mesh.normals.size(), true) || !fits(p.uv, mesh.uvs.size(), true))
          return false;
      out_.Items(mesh.Points(f));
    }
    uint32_t end = 0;
    for (size_t f = 0; f < count; ++f)
      if (!mesh.FaceRemoved(f)) {
        end += static_cast<uint32_t>(mesh.Points(f).size());
        out_.Pod(end);
      }
    for (size_t f = 0; f < count; ++f) {
      if (mesh.FaceRemoved(f)) continue;
      const HostMaterial* m = mesh.FaceMaterial(f);
      int32_t index = -1;
      if (m && !doc_.IsDefaultMaterial(m)) {
        const auto it = materialIndex_.find(m);
        if (it == materialIndex_.end()) return false;
        index = it->second;
      }
      out_.Pod(index);
    }
    return true;
  }

  const HostDocument& doc_;
  BytesOut out_;
  std::unordered_map<const HostMaterial*, int32_t> materialIndex_;
};

// ---- reading --------------------------------------------------------------------------------

class BytesIn {
 public:
  BytesIn(std::string_view bytes, const std::string& origin) : rest_(bytes), origin_(origin) {}

  [[noreturn]] void Damaged(const std::string& problem) const {
    Raise(err::InvalidProcedureCall, origin_ + ": the document sent is damaged: " + problem);
  }

  template <typename T>
  T Pod(const char* what) {
    static_assert(std::is_trivially_copyable_v<T>);
    T value;
    std::memcpy(&value, Take(sizeof value, what), sizeof value);
    return value;
  }
  // A count of items of at least `size` bytes each, which must all be there.
  size_t Count(size_t size, const char* what) {
    const auto n = Pod<uint64_t>(what);
    if (n > rest_.size() / std::max<size_t>(size, 1))
      Damaged(std::string(what) + " run past the end");
    return static_cast<size_t>(n);
  }
  std::string Text(const char* what) {
    const size_t n = Count(1, what);
    return std::string(Take(n, what), n);
  }
  template <typename T>
  std::vector<T> Array(const char* what) {
    static_assert(std::is_trivially_copyable_v<T>);
    const size_t n = Count(sizeof(T), what);
    std::vector<T> items(n);
    if (n > 0) std::memcpy(items.data(), Take(n * sizeof(T), what), n * sizeof(T));
    return items;
  }
  template <typename T>
  std::vector<T> Items(size_t n, const char* what) {
    if (n > rest_.size() / sizeof(T)) Damaged(std::string(what) + " run past the end");
    std::vector<T> items(n);
    if (n > 0) std::memcpy(items.data(), Take(n * sizeof(T), what), n * sizeof(T));
    return items;
  }
  bool Empty() const { return rest_.empty(); }

 private:
  const char* Take(size_t n, const char* what) {
    if (n > rest_.size()) Damaged(std::string(what) + " cut short");
    const char* at = rest_.data();
    rest_.remove_prefix(n);
    return at;
  }

  std::string_view rest_;
  const std::string& origin_;
};

class Reader {
 public:
  Reader(std::string_view bytes, const std::string& origin, HostDocument& document)
      : in_(bytes, origin), doc_(document) {}

  void Read() {
    const auto magic = in_.Pod<std::array<char, sizeof kMagic>>("the header");
    if (std::memcmp(magic.data(), kMagic, sizeof kMagic) != 0) in_.Damaged("no header");
    doc_.units = in_.Pod<int32_t>("the units");
    for (bool forNode : {true, false}) {
      const size_t n = in_.Count(8, "the custom field names");
      for (size_t i = 0; i < n; ++i) {
        const std::string name = in_.Text("a custom field name");
        forNode ? doc_.DefineNodeField(name) : doc_.DefineMaterialField(name);
      }
    }
    Materials();
    Group(doc_.Root(), 0);
    if (!in_.Empty()) in_.Damaged("bytes left over after the document");
  }

 private:
  template <typename Set>
  void Fields(size_t declared, Set set) {
    const size_t n = in_.Count(12, "the custom fields");
    for (size_t i = 0; i < n; ++i) {
      const auto slot = in_.Pod<int32_t>("a custom field");
      if (slot < 0 || static_cast<size_t>(slot) >= declared)
        in_.Damaged("custom field slot " + std::to_string(slot) + " is not declared");
      set(slot, in_.Text("a custom field's text"));
    }
  }

  void Materials() {
    const size_t n = in_.Count(8, "the materials");
    for (size_t i = 0; i < n; ++i) {
      HostMaterial& m = doc_.NewMaterial(in_.Text("a material's name"));
      m.diffuse = in_.Pod<Rgb>("a material");
      m.ambient = in_.Pod<Rgb>("a material");
      m.emissive = in_.Pod<Rgb>("a material");
      m.specular = in_.Pod<Rgb>("a material");
      m.gloss = in_.Pod<float>("a material");
      for (int32_t* level : {&m.diffuseLevel, &m.ambientLevel, &m.specularLevel, &m.translucency})
        *level = in_.Pod<int32_t>("a material");
      m.hasTextures = in_.Pod<uint8_t>("a material") != 0;
      if (m.hasTextures)
        for (std::string* map :
             {&m.diffuseMap, &m.bumpMap, &m.detailMap, &m.specularMap, &m.environmentMap})
          *map = in_.Text("a texture name");
      for (TextureWrap* wrap : {&m.wrapU, &m.wrapV}) {
        *wrap = in_.Pod<TextureWrap>("a material");
        if (*wrap != TextureWrap::Repeat && *wrap != TextureWrap::Clamp &&
            *wrap != TextureWrap::Mirror)
          in_.Damaged("a wrap mode that is none");
      }
      Fields(doc_.MaterialFieldNames().size(),
             [&](int32_t slot, const std::string& text) { m.SetCustomField(slot, text); });
      materials_.push_back(&m);
    }
  }

  void Group(HostNode& node, int depth) {
    if (depth > kMaxDepth + 1) in_.Damaged("groups nested too deep");
    Fields(doc_.NodeFieldNames().size(),
           [&](int32_t slot, const std::string& text) { node.SetField(slot, text); });
    const size_t groups = in_.Count(8, "the groups");
    for (size_t i = 0; i < groups; ++i) {
      HostNode& child = doc_.NewNode(node, in_.Text("a group's name"));
      child.position = in_.Pod<Vec3>("a group");
      child.forward = in_.Pod<Vec3>("a group");
      child.up = in_.Pod<Vec3>("a group");
      child.animationKeys = in_.Pod<int32_t>("a group");
      Group(child, depth + 1);
    }
    const size_t objects = in_.Count(8, "the objects");
    for (size_t i = 0; i < objects; ++i)
      Object(node);
  }

  void Object(HostNode& parent) {
    HostMesh& mesh = doc_.NewMesh(parent, in_.Text("an object's name"));
    mesh.kind = in_.Pod<int32_t>("an object");
    mesh.smoothingAngle = in_.Pod<float>("an object");
    mesh.vertices = in_.Array<Vec3>("the vertices");
    mesh.normals = in_.Array<Vec3>("the normals");
    mesh.uvs = in_.Array<Vec2>("the texture coordinates");
    const size_t faces = in_.Count(8, "the faces");
    const size_t count = in_.Count(sizeof(HostPoint), "the points");
    if (count > UINT32_MAX) in_.Damaged("more points than a mesh holds");
    std::vector<HostPoint> points = in_.Items<HostPoint>(count, "the points");
    std::vector<uint32_t> ends = in_.Items<uint32_t>(faces, "the face ends");
    const std::vector<int32_t> named = in_.Items<int32_t>(faces, "the face materials");
    const auto fits = [](int32_t index, size_t size, bool optional) {
      return (optional && index == -1) || (index >= 0 && static_cast<size_t>(index) < size);
    };
    for (const HostPoint& p : points)
      if (!fits(p.vertex, mesh.vertices.size(), false) ||
          !fits(p.normal, mesh.normals.size(), true) || !fits(p.uv, mesh.uvs.size(), true))
        in_.Damaged("a point's index is out of range in \"" + mesh.name + "\"");
    uint32_t last = 0;
    for (uint32_t end : ends) {
      if (end < last) in_.Damaged("the faces of \"" + mesh.name + "\" run backwards");
      last = end;
    }
    if (last != count) in_.Damaged("the faces of \"" + mesh.name + "\" do not end with the points");
    std::vector<HostMaterial*> materials(faces, nullptr);
    for (size_t f = 0; f < faces; ++f) {
      const int32_t m = named[f];
      if (m < -1 || m >= static_cast<int32_t>(materials_.size()))
        in_.Damaged("a face's material is out of range in \"" + mesh.name + "\"");
      if (m >= 0) materials[f] = materials_[static_cast<size_t>(m)];
    }
    mesh.AddFaces(std::move(points), std::move(ends), std::move(materials));
  }

  BytesIn in_;
  HostDocument& doc_;
  std::vector<HostMaterial*> materials_;
};

// The bytes a document's meshes take, and some room for the rest, so that they are gathered
// without growing again and again.
size_t Estimate(const HostNode& node) {
  size_t bytes = 4096;
  for (const auto& mesh : node.meshes)
    bytes += 256 + mesh->name.size() + mesh->vertices.size() * sizeof(Vec3) +
             mesh->normals.size() * sizeof(Vec3) + mesh->uvs.size() * sizeof(Vec2) +
             mesh->TotalPoints() * sizeof(HostPoint) + mesh->FaceCount() * 8;
  for (const auto& child : node.children)
    bytes += 256 + child->name.size() + Estimate(*child);
  return bytes;
}

}  // namespace

std::optional<std::string> DocumentBytes(const HostDocument& document) {
  std::string out;
  out.reserve(Estimate(document.Root()));
  if (!Writer(document, out).Write()) return std::nullopt;
  return out;
}

std::unique_ptr<HostDocument> DocumentFromBytes(std::string_view bytes, const std::string& origin) {
  auto document = std::make_unique<HostDocument>();
  Reader(bytes, origin, *document).Read();
  return document;
}

}  // namespace vlm::host
