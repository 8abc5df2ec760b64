// The document turned into the exchange library's scene: a node per group with its frame in
// the library's axes, a mesh per object and material, each corner a vertex of its own
// position, normal and texture coordinate.
#include "exchange/model_export.h"

#include <assimp/material.h>
#include <assimp/scene.h>
#include <assimp/Exporter.hpp>
#include <assimp/IOStream.hpp>
#include <assimp/IOSystem.hpp>
#include <assimp/ProgressHandler.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "exchange/conventions.h"
#include "vlm/error.h"
#include "vlm/files.h"
#include "vlm/heap.h"
#include "vlm/progress.h"
#include "vlm/vertex_table.h"

namespace vlm::host {
namespace {

// ---- files written to memory, then through the run's transaction ----------------------------

class MemoryStream final : public Assimp::IOStream {
 public:
  explicit MemoryStream(std::string& bytes) : bytes_(bytes) {}
  size_t Read(void*, size_t, size_t) override { return 0; }
  size_t Write(const void* data, size_t size, size_t count) override {
    const size_t n = size * count;
    // A file written in one piece (an OBJ is) is held at its size, with no room to spare.
    if (bytes_.empty() && at_ == 0) bytes_.reserve(n);
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

// A corner of a face as a library mesh lists it: the document's vertex, normal and texture
// coordinate. A corner without a normal of its own takes its face's plane normal and holds
// -2 - face in place of one, so that such corners of different faces stay apart.
struct Corner {
  int32_t vertex, normal, uv;
};
using CornerTable = VertexTable<Corner, BitwiseHash<Corner>, BitwiseEqual<Corner>>;

// The library's scene as made from the document. The corner lists of a mesh's faces point
// into one block, which the library must not free face by face: the scene takes the pointers
// back before its meshes are deleted.
class LibraryScene {
 public:
  LibraryScene() : scene_(std::make_unique<aiScene>()) {}
  LibraryScene(const LibraryScene&) = delete;
  LibraryScene& operator=(const LibraryScene&) = delete;
  ~LibraryScene() { FreeMeshes(); }

  aiScene& Scene() { return *scene_; }
  unsigned* NewBlock(size_t corners) {
    blocks_.push_back(std::make_unique_for_overwrite<unsigned[]>(corners));
    return blocks_.back().get();
  }
  // Lets go of every mesh; the scene keeps its nodes and materials. The exporter works on a
  // copy of its own, so this is done as soon as the copy is made.
  void FreeMeshes() {
    for (unsigned m = 0; m < scene_->mNumMeshes; ++m) {
      aiMesh*& mesh = scene_->mMeshes[m];
      if (!mesh) continue;
      for (unsigned f = 0; f < mesh->mNumFaces; ++f)
        mesh->mFaces[f].mIndices = nullptr;
      delete std::exchange(mesh, nullptr);
    }
    blocks_.clear();
  }

 private:
  std::unique_ptr<aiScene> scene_;
  std::vector<std::unique_ptr<unsigned[]>> blocks_;
};

class SceneMaker {
 public:
  // Reports its share of the task as the first third of `progress`. A corner met again in
  // the same mesh is listed once when `shareCorners` (the exporter then finds the same
  // values in the same order); otherwise each corner is a vertex of its own. With `owned`,
  // each object is taken out of the document as soon as its meshes are made.
  SceneMaker(const HostDocument& document, HostDocument* owned, bool triangles, bool shareCorners,
             const ProgressTask& progress)
      : document_(document),
        owned_(owned),
        triangles_(triangles),
        shareCorners_(shareCorners),
        progress_(progress) {
    CountFaces(document.Root());
  }

  void Make(LibraryScene& made) {
    made_ = &made;
    aiScene& scene = made.Scene();
    scene.mRootNode = Node(document_.Root(), "Scene");
    scene.mNumMeshes = static_cast<unsigned>(meshes_.size());
    scene.mMeshes = Release(meshes_);
    if (materials_.empty()) materials_.push_back(DefaultLook());
    scene.mNumMaterials = static_cast<unsigned>(materials_.size());
    scene.mMaterials = Release(materials_);
  }

 private:
  template <typename T>
  static T** Release(std::vector<T*>& items) {
    auto** out = new T*[items.size()];
    std::copy(items.begin(), items.end(), out);
    std::vector<T*>().swap(items);
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
    if (owned_) {
      // Each object goes once it is made; the group's list shrinks from its front.
      HostNode& group = const_cast<HostNode&>(node);
      while (!group.meshes.empty()) {
        HostMesh& mesh = *group.meshes.front();
        Meshes(mesh, meshes);
        owned_->RemoveMesh(mesh);
      }
    } else {
      for (const auto& mesh : node.meshes)
        Meshes(*mesh, meshes);
    }
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
    const HostMaterial* last = nullptr;
    for (size_t face = 0; face < mesh.FaceCount(); ++face) {
      const HostMaterial* material = mesh.FaceMaterial(face);
      if (mesh.FaceRemoved(face) || (material == last && !order.empty())) continue;
      last = material;
      if (std::find(order.begin(), order.end(), material) == order.end()) order.push_back(material);
    }
    for (const HostMaterial* material : order)
      if (aiMesh* made = Mesh(mesh, material)) {
        indices.push_back(static_cast<unsigned>(meshes_.size()));
        meshes_.push_back(made);
      }
    doneFaces_ += mesh.FaceCount();
    progress_.Report(static_cast<double>(doneFaces_), 3.0 * static_cast<double>(totalFaces_));
  }

  bool Takes(const HostMesh& mesh, size_t face, const HostMaterial* material) const {
    return !mesh.FaceRemoved(face) && mesh.FaceMaterial(face) == material &&
           mesh.Points(face).size() >= 3;
  }

  // The faces of one material as a library mesh, its arrays sized once: the corners go
  // the other way round (the first stays first), and triangles, where the format wants them,
  // are cut from the host's own fan.
  aiMesh* Mesh(const HostMesh& mesh, const HostMaterial* material) {
    size_t faces = 0, corners = 0;
    for (size_t face = 0; face < mesh.FaceCount(); ++face) {
      if (!Takes(mesh, face, material)) continue;
      const size_t n = mesh.Points(face).size();
      faces += triangles_ ? n - 2 : 1;
      corners += triangles_ ? 3 * (n - 2) : n;
    }
    if (faces == 0) return nullptr;  // only faces of fewer than three corners
    const bool normals = !mesh.normals.empty(), uvs = !mesh.uvs.empty();
    // Without normals the exporter works them out from the vertices it is given, and vertices
    // shared between faces would smooth them.
    const bool share = shareCorners_ && normals;
    auto out = std::make_unique<aiMesh>();
    out->mName = Name(mesh.name);
    out->mNumFaces = static_cast<unsigned>(faces);
    out->mFaces = new aiFace[faces];
    // Should anything below fail, the faces let go of the block before the mesh is deleted.
    struct Unlink {
      std::unique_ptr<aiMesh>& mesh;
      ~Unlink() {
        if (mesh)
          for (unsigned i = 0; i < mesh->mNumFaces; ++i)
            mesh->mFaces[i].mIndices = nullptr;
      }
    } unlink{out};
    unsigned* block = made_->NewBlock(corners);
    // Each corner's vertex number: the next one, or the number of the same corner met before.
    unsigned next = 0;
    if (share) table_.Clear(std::min(corners, mesh.vertices.size() + 16));
    auto number = [&](const HostPoint& p, size_t face) -> unsigned {
      if (!share) return next++;
      const Corner c{p.vertex,
                     normals ? (p.normal >= 0 ? p.normal : -2 - static_cast<int32_t>(face)) : -1,
                     uvs ? p.uv : -1};
      return static_cast<unsigned>(table_.Insert(c).number);
    };
    std::vector<Corner> own;  // the corners in order, when each is a vertex of its own
    if (!share) own.reserve(corners);
    unsigned types = 0;
    aiFace* f = out->mFaces;
    unsigned* at = block;
    const auto corner = [&](const HostPoint& p, size_t face) {
      *at++ = number(p, face);
      if (!share)
        own.push_back({p.vertex,
                       normals ? (p.normal >= 0 ? p.normal : -2 - static_cast<int32_t>(face)) : -1,
                       uvs ? p.uv : -1});
    };
    for (size_t face = 0; face < mesh.FaceCount(); ++face) {
      if (!Takes(mesh, face, material)) continue;
      const auto p = mesh.Points(face);
      const size_t n = p.size();
      if (triangles_) {
        for (size_t k = 1; k + 1 < n; ++k, ++f) {
          f->mNumIndices = 3;
          f->mIndices = at;
          corner(p[0], face);
          corner(p[k + 1], face);
          corner(p[k], face);
        }
        types |= aiPrimitiveType_TRIANGLE;
      } else {
        f->mNumIndices = static_cast<unsigned>(n);
        f->mIndices = at;
        ++f;
        corner(p[0], face);
        for (size_t k = n - 1; k >= 1; --k)
          corner(p[k], face);
        types |= n == 3 ? aiPrimitiveType_TRIANGLE : aiPrimitiveType_POLYGON;
      }
    }
    out->mMaterialIndex = MaterialIndex(material);
    out->mPrimitiveTypes = types;
    Vertices(
        mesh, share ? table_.Count() : static_cast<int32_t>(own.size()),
        [&](int32_t i) -> const Corner& { return share ? table_[i] : own[size_t(i)]; }, *out);
    if (share) table_ = CornerTable();
    return out.release();
  }

  // The positions, normals and texture coordinates of `count` corners.
  template <typename CornerAt>
  void Vertices(const HostMesh& mesh, int32_t count, CornerAt cornerAt, aiMesh& out) {
    const bool normals = !mesh.normals.empty(), uvs = !mesh.uvs.empty();
    const auto n = static_cast<size_t>(count);
    out.mNumVertices = static_cast<unsigned>(n);
    out.mVertices = new aiVector3D[n];
    if (normals) out.mNormals = new aiVector3D[n];
    if (uvs) {
      out.mTextureCoords[0] = new aiVector3D[n];
      out.mNumUVComponents[0] = 2;
    }
    int32_t planeOf = -1;  // the face whose plane normal `plane` holds
    aiVector3D plane;
    for (int32_t i = 0; i < count; ++i) {
      const Corner& c = cornerAt(i);
      const auto v = static_cast<size_t>(i);
      out.mVertices[v] = exchange::ToLibrary(mesh.vertices[static_cast<size_t>(c.vertex)]);
      if (normals) {
        if (c.normal >= 0) {
          out.mNormals[v] = exchange::ToLibrary(mesh.normals[static_cast<size_t>(c.normal)]);
        } else {
          if (-2 - c.normal != planeOf) {
            planeOf = -2 - c.normal;
            plane = exchange::ToLibrary(mesh.FaceNormal(static_cast<size_t>(planeOf)));
          }
          out.mNormals[v] = plane;
        }
      }
      if (uvs)
        out.mTextureCoords[0][v] =
            c.uv >= 0 ? exchange::UvToLibrary(mesh.uvs[static_cast<size_t>(c.uv)]) : aiVector3D();
    }
  }

  const HostDocument& document_;
  HostDocument* owned_;
  bool triangles_, shareCorners_;
  const ProgressTask& progress_;
  LibraryScene* made_ = nullptr;
  CornerTable table_;
  std::vector<aiMesh*> meshes_;
  std::vector<aiMaterial*> materials_;
  std::map<const HostMaterial*, unsigned> materialIndex_;
  size_t totalFaces_ = 0, doneFaces_ = 0;
};

// The exporter's progress, which also lets go of the scene it was given once it has its copy.
class CopyMade final : public Assimp::ProgressHandler {
 public:
  explicit CopyMade(LibraryScene& scene) : scene_(scene) {}
  bool Update(float) override { return true; }
  void UpdateFileWrite(int step, int) override {
    if (step == 1) scene_.FreeMeshes();
  }

 private:
  LibraryScene& scene_;
};

struct Format {
  const char* extension;
  const char* id;
  bool triangles;  // the format holds triangles only
  // The exporter lists each distinct position, normal and texture coordinate once whatever
  // vertices it is given, so a corner met again may share its vertex.
  bool shareCorners;
};
constexpr Format kFormats[] = {{".glb", "glb2", true, true},  {".gltf", "gltf2", true, true},
                               {".obj", "obj", false, true},  {".dae", "collada", false, false},
                               {".ply", "ply", false, false}, {".stl", "stl", true, false}};

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

namespace {

// Writes the document (and frees the one in `owned` as it goes) with the format `target`
// names.
void Export(const HostDocument& document, std::unique_ptr<HostDocument> owned,
            const std::filesystem::path& target) {
  const Format* format = FindFormat(target);
  if (!format)
    Raise(err::InvalidProcedureCall,
          target.string() +
              ": the extension names no format written; known: .glb, .gltf, .obj, "
              ".dae, .ply, .stl");
  const ProgressTask progress("Exporting " + target.string());
  LibraryScene scene;
  SceneMaker(document, owned.get(), format->triangles, format->shareCorners, progress).Make(scene);
  owned.reset();
  ReturnFreedMemory();
  Assimp::Exporter exporter;
  auto* files = new MemoryFiles;
  exporter.SetIOHandler(files);
  exporter.SetProgressHandler(new CopyMade(scene));
  if (exporter.Export(&scene.Scene(), format->id, target.string()) != aiReturn_SUCCESS)
    Raise(err::InvalidProcedureCall,
          target.string() + ": the exporter failed: " + exporter.GetErrorString());
  progress.Report(2, 3);
  files->WriteOut();
}

}  // namespace

void ExportModel(const HostDocument& document, const std::filesystem::path& target) {
  Export(document, nullptr, target);
}

void ExportModelTaking(std::unique_ptr<HostDocument> document,
                       const std::filesystem::path& target) {
  const HostDocument& read = *document;
  Export(read, std::move(document), target);
}

}  // namespace vlm::host
