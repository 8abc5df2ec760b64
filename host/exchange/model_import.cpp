// The model's node tree walked once: each node becomes a group placed by the rigid part of its
// world transform, each of its meshes an object whose vertices carry the rest.
#include "exchange/model_import.h"

#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <assimp/Importer.hpp>
#include <assimp/ProgressHandler.hpp>

#include <cmath>
#include <cstring>
#include <unordered_map>

#include "exchange/conventions.h"
#include "exchange/guarded_io.h"
#include "exchange/import_parts.h"
#include "vlm/error.h"
#include "vlm/progress.h"

namespace vlm::host {
namespace {

using exchange::Linear;

// Reading is the first half of the task, converting the second.
class ReadProgress final : public Assimp::ProgressHandler {
 public:
  explicit ReadProgress(const ProgressTask& task) : task_(task) {}
  bool Update(float percentage) override {
    if (percentage >= 0) task_.Report(percentage, 2);
    return true;
  }

 private:
  const ProgressTask& task_;
};

// Values seen before: the index of each distinct one, by its bits.
template <typename T>
class Distinct {
 public:
  int32_t Add(const T& value, std::vector<T>& list) {
    Key key{};
    std::memcpy(key.data(), &value, sizeof value);
    auto [it, fresh] = index_.try_emplace(key, static_cast<int32_t>(list.size()));
    if (fresh) list.push_back(value);
    return it->second;
  }

 private:
  using Key = std::array<uint32_t, sizeof(T) / 4>;
  struct Hash {
    size_t operator()(const Key& k) const {
      size_t h = 0;
      for (uint32_t x : k)
        h = h * 0x9E3779B97F4A7C15ull + x;
      return h ^ (h >> 29);
    }
  };
  std::unordered_map<Key, int32_t, Hash> index_;
};

bool Finite(Vec3 v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// Groups nested deeper than this would not read back from the scene file (it refuses JSON
// nested past 512 levels, about two per group).
constexpr int kMaxDepth = 200;

class Converter {
 public:
  Converter(const aiScene& scene, const std::string& origin, const ImportOptions& options,
            ImportedModel& out, const ProgressTask& progress)
      : scene_(scene),
        origin_(origin),
        options_(options),
        out_(out),
        document_(*out.document),
        progress_(progress),
        materials_(scene, document_, Stem(), out.textures) {}

  void Run() {
    for (unsigned i = 0; i < scene_.mNumMeshes; ++i)
      totalFaces_ += scene_.mMeshes[i]->mNumFaces;
    aiMatrix4x4 scale;
    aiMatrix4x4::Scaling(aiVector3D(options_.scale), scale);
    exchange::SplitTransform none;
    none.rotation = none.rest = Identity();
    Node(*scene_.mRootNode, scale, document_.Root(), none, Stem(), 1);
    if (polygons_ == 0) Fail("the model holds no polygons");
    document_.units = Units();
  }

 private:
  static Linear Identity() {
    Linear i;
    i.rows[0][0] = i.rows[1][1] = i.rows[2][2] = 1;
    return i;
  }

  // The document's unit code for the centimetres per unit that FBX files state; metres when
  // the model states none or another.
  int32_t Units() const {
    float cm = 100;
    double cmDouble = 100;
    if (scene_.mMetaData && !scene_.mMetaData->Get("UnitScaleFactor", cm) &&
        scene_.mMetaData->Get("UnitScaleFactor", cmDouble))
      cm = static_cast<float>(cmDouble);
    return cm == 1 ? 1 : std::abs(cm - 30.48f) < 1e-3f ? 2 : 0;
  }

  std::string Stem() const {
    if (!options_.name.empty()) return options_.name;
    std::string stem = std::filesystem::path(origin_).stem().string();
    return stem.empty() ? "Model" : stem;
  }

  [[noreturn]] void Fail(const std::string& problem) const {
    Raise(err::InvalidProcedureCall, origin_ + ": " + problem);
  }

  void Node(const aiNode& node, const aiMatrix4x4& parentWorld, HostNode& parent,
            const exchange::SplitTransform& parentSplit, std::string name, int depth) {
    if (depth > kMaxDepth)
      Fail("the node tree is more than " + std::to_string(kMaxDepth) +
           " levels deep, deeper than a scene file holds");
    const aiMatrix4x4 world = parentWorld * node.mTransformation;
    for (unsigned r = 0; r < 4; ++r)
      for (unsigned c = 0; c < 4; ++c)
        if (!std::isfinite(world[r][c]))
          Fail("node \"" + exchange::Text(node.mName) + "\": its transform is not finite");
    const exchange::SplitTransform split = exchange::SplitWorld(world);
    if (name.empty()) name = "Node " + std::to_string(++unnamedNodes_);
    HostNode& group = document_.NewNode(parent, std::move(name));
    // The frame relative to the parent's frame, which is rigid too.
    const Linear back = parentSplit.rotation.Transposed();
    group.position = back.Apply(split.origin - parentSplit.origin);
    const Linear local = back.Times(split.rotation);
    group.forward = {static_cast<float>(local.rows[0][2]), static_cast<float>(local.rows[1][2]),
                     static_cast<float>(local.rows[2][2])};
    group.up = {static_cast<float>(local.rows[0][1]), static_cast<float>(local.rows[1][1]),
                static_cast<float>(local.rows[2][1])};
    for (unsigned i = 0; i < node.mNumMeshes; ++i) {
      const aiMesh& mesh = *scene_.mMeshes[node.mMeshes[i]];
      std::string meshName = exchange::Text(mesh.mName);
      if (meshName.empty() && node.mNumMeshes == 1) meshName = group.name;
      if (meshName.empty()) meshName = "Mesh " + std::to_string(node.mMeshes[i] + 1);
      Mesh(mesh, split.rest, group, std::move(meshName));
    }
    for (unsigned i = 0; i < node.mNumChildren; ++i)
      Node(*node.mChildren[i], world, group, split, exchange::Text(node.mChildren[i]->mName),
           depth + 1);
  }

  void Mesh(const aiMesh& mesh, const Linear& rest, HostNode& group, std::string name) {
    size_t points = 0, lines = 0;
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
      const unsigned n = mesh.mFaces[f].mNumIndices;
      points += n == 1, lines += n == 2;
    }
    if (points + lines > 0)
      out_.log.push_back("mesh \"" + name + "\": left out " + std::to_string(points) +
                         " points and " + std::to_string(lines) + " lines");
    if (points + lines == mesh.mNumFaces) return;

    HostMesh& target = document_.NewMesh(group, name);
    const Linear normalMap = rest.InverseTransposed();
    // The mirror into host axes reverses the winding; a mirroring rest reverses it again.
    const bool reverse = rest.Determinant() >= 0;
    const aiVector3D* uvs = mesh.HasTextureCoords(0) ? mesh.mTextureCoords[0] : nullptr;
    std::vector<int32_t> vertex(mesh.mNumVertices), normal(mesh.mNumVertices, -1),
        uv(mesh.mNumVertices, -1);
    Distinct<Vec3> positions, normals;
    Distinct<Vec2> coords;
    for (unsigned i = 0; i < mesh.mNumVertices; ++i) {
      const Vec3 p = rest.Apply(exchange::FromLibrary(mesh.mVertices[i]));
      if (!Finite(p)) Fail("mesh \"" + name + "\": a vertex position is not finite");
      vertex[i] = positions.Add(p, target.vertices);
      if (mesh.mNormals) {
        const Vec3 n = Normalize(normalMap.Apply(exchange::FromLibrary(mesh.mNormals[i])));
        if (!Finite(n)) Fail("mesh \"" + name + "\": a normal is not finite");
        normal[i] = normals.Add(n, target.normals);
      }
      if (uvs) {
        const Vec2 t = exchange::UvFromLibrary(uvs[i]);
        if (!std::isfinite(t.u) || !std::isfinite(t.v))
          Fail("mesh \"" + name + "\": a texture coordinate is not finite");
        uv[i] = coords.Add(t, target.uvs);
      }
    }
    HostMaterial* material =
        mesh.mMaterialIndex < scene_.mNumMaterials ? &materials_.Get(mesh.mMaterialIndex) : nullptr;
    std::vector<HostPoint> corners;
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
      const aiFace& face = mesh.mFaces[f];
      if (face.mNumIndices < 3) continue;
      corners.clear();
      for (unsigned k = 0; k < face.mNumIndices; ++k) {
        const unsigned i = face.mIndices[k];
        corners.push_back({vertex[i], normal[i], uv[i]});
      }
      if (reverse) exchange::ReverseWinding(corners);
      HostFace& h = target.AddFace();
      h.points = corners;
      h.SetHostMaterial(material);
      ++polygons_;
    }
    doneFaces_ += mesh.mNumFaces;
    progress_.Report(1 + static_cast<double>(doneFaces_) / static_cast<double>(totalFaces_), 2);
  }

  const aiScene& scene_;
  const std::string& origin_;
  const ImportOptions& options_;
  ImportedModel& out_;
  HostDocument& document_;
  const ProgressTask& progress_;
  exchange::MaterialMaker materials_;
  int unnamedNodes_ = 0;
  size_t polygons_ = 0, totalFaces_ = 0, doneFaces_ = 0;
};

constexpr unsigned kReadSteps = aiProcess_ValidateDataStructure;

// `files` serves what the library reads (the importer owns it); `name` is the file it starts at.
ImportedModel Import(const std::string& origin, const ImportOptions& options,
                     exchange::GuardedFiles* files, const std::string& name) {
  Assimp::Importer importer;
  importer.SetIOHandler(files);
  if (!(options.scale > 0) || !std::isfinite(options.scale))
    Raise(err::InvalidProcedureCall, "the scale must be a positive number");
  ProgressTask progress("Importing " + origin);
  ReadProgress handler(progress);
  importer.SetProgressHandler(&handler);
  const aiScene* scene = importer.ReadFile(name, kReadSteps);
  importer.SetProgressHandler(nullptr);
  if (!scene || !scene->mRootNode) {
    std::string why = files->Tripped()
                          ? "its reader went round at the end of the file (cut short or damaged?)"
                          : importer.GetErrorString();
    Raise(err::InvalidProcedureCall,
          origin + ": the model cannot be read: " + (why.empty() ? "unknown format" : why));
  }
  ImportedModel out;
  out.document = std::make_unique<HostDocument>();
  Converter(*scene, origin, options, out, progress).Run();
  return out;
}

}  // namespace

ImportedModel ImportModel(const std::filesystem::path& model, const ImportOptions& options) {
  const std::string origin = model.string();
  std::error_code ec;
  if (!std::filesystem::is_regular_file(model, ec))
    Raise(err::FileNotFound, origin + ": no such file");
  return Import(origin, options, new exchange::GuardedFiles, origin);
}

ImportedModel ImportModelFromMemory(std::string_view bytes, const std::string& formatHint,
                                    const std::string& origin, const ImportOptions& options) {
  return Import(origin, options, new exchange::GuardedFiles(bytes, formatHint),
                exchange::GuardedFiles::MemoryName(formatHint));
}

}  // namespace vlm::host
