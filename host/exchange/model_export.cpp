// The document turned into the exchange library's scene: a node per group with its frame in
// the library's axes, a mesh per object and material, each corner a vertex of its own
// position, normal and texture coordinate.
#include "exchange/model_export.h"

#include <assimp/material.h>
#include <assimp/scene.h>
#include <assimp/Exporter.hpp>
#include <assimp/IOStream.hpp>
#include <assimp/IOSystem.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>

#include "exchange/conventions.h"
#include "vlm/error.h"
#include "vlm/files.h"
#include "vlm/progress.h"

namespace vlm::host {
namespace {

// ---- files written to memory, then through the run's transaction ----------------------------

class MemoryStream final : public Assimp::IOStream {
 public:
  explicit MemoryStream(std::string& bytes) : bytes_(bytes) {}
  size_t Read(void*, size_t, size_t) override { return 0; }
  size_t Write(const void* data, size_t size, size_t count) override {
    const size_t n = size * count;
    if (at_ + n > bytes_.size()) bytes_.resize(at_ + n);
    std::memcpy(bytes_.data() + at_, data, n);
    at_ += n;
    return count;
  }
  aiReturn Seek(size_t offset, aiOrigin origin) override {
    const size_t base = origin == aiOrigin_SET ? 0 : origin == aiOrigin_CUR ? at_ : bytes_.size();
    at_ = base + offset;  // beyond the end, the gap reads as zeros once written past
    if (at_ > bytes_.size()) bytes_.resize(at_);
    return aiReturn_SUCCESS;
  }
  size_t Tell() const override { return at_; }
  size_t FileSize() const override { return bytes_.size(); }
  void Flush() override {}

 private:
  std::string& bytes_;
  size_t at_ = 0;
};

class MemoryFiles final : public Assimp::IOSystem {
 public:
  bool Exists(const char* file) const override { return files_.count(file) > 0; }
  char getOsSeparator() const override { return '/'; }
  Assimp::IOStream* Open(const char* file, const char* mode) override {
    if (!mode || !std::strchr(mode, 'w')) return nullptr;  // exporters only write
    order_.push_back(file);
    std::string& bytes = files_[file];
    bytes.clear();
    return new MemoryStream(bytes);
  }
  void Close(Assimp::IOStream* stream) override { delete stream; }
  void WriteOut() const {
    for (const std::string& file : order_)
      WriteOutputFile(file, files_.at(file));
  }

 private:
  std::map<std::string, std::string> files_;
  std::vector<std::string> order_;
};

// ---- the scene --------------------------------------------------------------------------------

aiString Name(const std::string& s) {
  return aiString(s);
}

aiMatrix4x4 LibraryMatrix(const HostNode& node) {
  // Row-vector host matrix to column-vector library matrix, z mirrored on both sides.
  const Mat4 m = node.LocalMatrix();
  const float sign[4] = {1, 1, -1, 1};
  aiMatrix4x4 out;
  for (unsigned r = 0; r < 4; ++r)
    for (unsigned c = 0; c < 4; ++c)
      out[r][c] = sign[r] * sign[c] * m(static_cast<int>(c), static_cast<int>(r));
  return out;
}

aiMaterial* LibraryMaterial(const HostMaterial& m) {
  auto* out = new aiMaterial;
  const aiString name = Name(m.name);
  out->AddProperty(&name, AI_MATKEY_NAME);
  const std::pair<Rgb, const char*> colours[] = {{m.diffuse, "$clr.diffuse"},
                                                 {m.ambient, "$clr.ambient"},
                                                 {m.specular, "$clr.specular"},
                                                 {m.emissive, "$clr.emissive"}};
  for (const auto& [c, key] : colours) {
    const aiColor3D colour(c.r, c.g, c.b);
    out->AddProperty(&colour, 1, key, 0, 0);
  }
  const float shininess = m.gloss * 128.0f, strength = static_cast<float>(m.specularLevel) / 100,
              opacity = 1.0f - static_cast<float>(m.translucency) / 100;
  out->AddProperty(&shininess, 1, AI_MATKEY_SHININESS);
  out->AddProperty(&strength, 1, AI_MATKEY_SHININESS_STRENGTH);
  out->AddProperty(&opacity, 1, AI_MATKEY_OPACITY);
  const std::pair<const std::string*, aiTextureType> maps[] = {
      {&m.diffuseMap, aiTextureType_DIFFUSE},
      {&m.bumpMap, aiTextureType_NORMALS},
      {&m.specularMap, aiTextureType_SPECULAR},
      {&m.environmentMap, aiTextureType_REFLECTION}};
  for (const auto& [file, type] : maps)
    if (m.hasTextures && !file->empty()) {
      const aiString path = Name(*file);
      out->AddProperty(&path, AI_MATKEY_TEXTURE(type, 0));
    }
  if (m.hasTextures && !m.diffuseMap.empty()) {
    const auto mode = [](TextureWrap wrap) {
      return static_cast<int>(wrap == TextureWrap::Clamp    ? aiTextureMapMode_Clamp
                              : wrap == TextureWrap::Mirror ? aiTextureMapMode_Mirror
                                                            : aiTextureMapMode_Wrap);
    };
    const int u = mode(m.wrapU), v = mode(m.wrapV);
    out->AddProperty(&u, 1, AI_MATKEY_MAPPINGMODE_U(aiTextureType_DIFFUSE, 0));
    out->AddProperty(&v, 1, AI_MATKEY_MAPPINGMODE_V(aiTextureType_DIFFUSE, 0));
  }
  return out;
}

class SceneMaker {
 public:
  // Reports its share of the task as the first third of `progress`.
  SceneMaker(const HostDocument& document, bool triangles, const ProgressTask& progress)
      : document_(document), triangles_(triangles), progress_(progress) {
    CountFaces(document.Root());
  }

  std::unique_ptr<aiScene> Make() {
    auto scene = std::make_unique<aiScene>();
    scene->mRootNode = Node(document_.Root(), "Scene");
    scene->mNumMeshes = static_cast<unsigned>(meshes_.size());
    scene->mMeshes = Release(meshes_);
    if (materials_.empty()) materials_.push_back(DefaultLook());
    scene->mNumMaterials = static_cast<unsigned>(materials_.size());
    scene->mMaterials = Release(materials_);
    return scene;
  }

 private:
  template <typename T>
  static T** Release(std::vector<T*>& items) {
    auto** out = new T*[items.size()];
    std::copy(items.begin(), items.end(), out);
    items.clear();
    return out;
  }

  // Faces without a material get the look of the host's default material.
  static aiMaterial* DefaultLook() {
    HostDocument scratch;
    return LibraryMaterial(scratch.DefaultMaterial());
  }

  void CountFaces(const HostNode& node) {
    for (const auto& mesh : node.meshes)
      totalFaces_ += mesh->FaceCount();
    for (const auto& child : node.children)
      CountFaces(*child);
  }

  aiNode* Node(const HostNode& node, const std::string& name) {
    auto* out = new aiNode(name);
    if (node.parent) out->mTransformation = LibraryMatrix(node);
    std::vector<unsigned> meshes;
    for (const auto& mesh : node.meshes)
      Meshes(*mesh, meshes);
    out->mNumMeshes = static_cast<unsigned>(meshes.size());
    out->mMeshes = new unsigned[meshes.size()];
    std::copy(meshes.begin(), meshes.end(), out->mMeshes);
    std::vector<aiNode*> children;
    for (const auto& child : node.children)
      children.push_back(Node(*child, child->name));
    if (!children.empty())
      out->addChildren(static_cast<unsigned>(children.size()), children.data());
    return out;
  }

  unsigned MaterialIndex(const HostMaterial* m) {
    auto [it, fresh] = materialIndex_.try_emplace(m, static_cast<unsigned>(materials_.size()));
    if (fresh) materials_.push_back(m ? LibraryMaterial(*m) : DefaultLook());
    return it->second;
  }

  // One library mesh per material of the object, in first-use order.
  void Meshes(const HostMesh& mesh, std::vector<unsigned>& indices) {
    std::vector<const HostMaterial*> order;
    for (size_t face = 0; face < mesh.FaceCount(); ++face)
      if (!mesh.FaceRemoved(face) &&
          std::find(order.begin(), order.end(), mesh.FaceMaterial(face)) == order.end())
        order.push_back(mesh.FaceMaterial(face));
    for (const HostMaterial* material : order)
      if (aiMesh* made = Mesh(mesh, material)) {
        indices.push_back(static_cast<unsigned>(meshes_.size()));
        meshes_.push_back(made);
      }
    doneFaces_ += mesh.FaceCount();
    progress_.Report(static_cast<double>(doneFaces_), 3.0 * static_cast<double>(totalFaces_));
  }

  aiMesh* Mesh(const HostMesh& mesh, const HostMaterial* material) {
    const bool normals = !mesh.normals.empty(), uvs = !mesh.uvs.empty();
    std::vector<aiVector3D> positions, normalList, uvList;
    std::vector<std::vector<unsigned>> faces;
    unsigned types = 0;
    for (size_t face = 0; face < mesh.FaceCount(); ++face) {
      const auto p = mesh.Points(face);
      if (mesh.FaceRemoved(face) || mesh.FaceMaterial(face) != material || p.size() < 3) continue;
      // Triangles are cut from the host's corner order, so they follow the host's own fan.
      std::vector<std::vector<HostPoint>> pieces;
      if (triangles_)
        for (size_t k = 1; k + 1 < p.size(); ++k)
          pieces.push_back({p[0], p[k], p[k + 1]});
      else
        pieces.emplace_back(p.begin(), p.end());
      const Vec3 plane = mesh.FaceNormal(face);
      for (std::vector<HostPoint>& corners : pieces) {
        exchange::ReverseWinding(corners);
        std::vector<unsigned> polygon;
        for (const HostPoint& c : corners) {
          polygon.push_back(static_cast<unsigned>(positions.size()));
          positions.push_back(exchange::ToLibrary(mesh.vertices[static_cast<size_t>(c.vertex)]));
          if (normals)
            normalList.push_back(exchange::ToLibrary(
                c.normal >= 0 ? mesh.normals[static_cast<size_t>(c.normal)] : plane));
          if (uvs)
            uvList.push_back(c.uv >= 0 ? exchange::UvToLibrary(mesh.uvs[static_cast<size_t>(c.uv)])
                                       : aiVector3D());
        }
        types |= polygon.size() == 3 ? aiPrimitiveType_TRIANGLE : aiPrimitiveType_POLYGON;
        faces.push_back(std::move(polygon));
      }
    }
    if (faces.empty()) return nullptr;  // only faces of fewer than three corners
    auto* out = new aiMesh;
    out->mName = Name(mesh.name);
    out->mMaterialIndex = MaterialIndex(material);
    out->mPrimitiveTypes = types;
    out->mNumVertices = static_cast<unsigned>(positions.size());
    auto copy = [](const std::vector<aiVector3D>& from) {
      auto* to = new aiVector3D[from.size()];
      std::copy(from.begin(), from.end(), to);
      return to;
    };
    out->mVertices = copy(positions);
    if (normals) out->mNormals = copy(normalList);
    if (uvs) {
      out->mTextureCoords[0] = copy(uvList);
      out->mNumUVComponents[0] = 2;
    }
    out->mNumFaces = static_cast<unsigned>(faces.size());
    out->mFaces = new aiFace[faces.size()];
    for (size_t f = 0; f < faces.size(); ++f) {
      out->mFaces[f].mNumIndices = static_cast<unsigned>(faces[f].size());
      out->mFaces[f].mIndices = new unsigned[faces[f].size()];
      std::copy(faces[f].begin(), faces[f].end(), out->mFaces[f].mIndices);
    }
    return out;
  }

  const HostDocument& document_;
  bool triangles_;
  const ProgressTask& progress_;
  std::vector<aiMesh*> meshes_;
  std::vector<aiMaterial*> materials_;
  std::map<const HostMaterial*, unsigned> materialIndex_;
  size_t totalFaces_ = 0, doneFaces_ = 0;
};

struct Format {
  const char* extension;
  const char* id;
  bool triangles;  // the format holds triangles only
};
constexpr Format kFormats[] = {{".glb", "glb2", true}, {".gltf", "gltf2", true},
                               {".obj", "obj", false}, {".dae", "collada", false},
                               {".ply", "ply", false}, {".stl", "stl", true}};

const Format* FindFormat(const std::filesystem::path& target) {
  std::string ext = target.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const Format& f : kFormats)
    if (ext == f.extension) return &f;
  return nullptr;
}

}  // namespace

std::string ModelFormatFor(const std::filesystem::path& target) {
  const Format* f = FindFormat(target);
  return f ? f->id : "";
}

void ExportModel(const HostDocument& document, const std::filesystem::path& target) {
  const Format* format = FindFormat(target);
  if (!format)
    Raise(err::InvalidProcedureCall,
          target.string() +
              ": the extension names no format written; known: .glb, .gltf, .obj, "
              ".dae, .ply, .stl");
  const ProgressTask progress("Exporting " + target.string());
  std::unique_ptr<aiScene> scene = SceneMaker(document, format->triangles, progress).Make();
  Assimp::Exporter exporter;
  auto* files = new MemoryFiles;
  exporter.SetIOHandler(files);
  if (exporter.Export(scene.get(), format->id, target.string()) != aiReturn_SUCCESS)
    Raise(err::InvalidProcedureCall,
          target.string() + ": the exporter failed: " + exporter.GetErrorString());
  progress.Report(2, 3);
  files->WriteOut();
}

}  // namespace vlm::host
