// The model's node tree walked once: the root node becomes the top group, which stays at the
// identity frame, every other node a group placed by the rigid part of its world transform,
// and each mesh an object whose vertices carry the rest.
#include "exchange/model_import.h"

#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <assimp/Importer.hpp>
#include <assimp/ProgressHandler.hpp>

#include <array>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>

#include "exchange/conventions.h"
#include "exchange/distinct_values.h"
#include "exchange/guarded_io.h"
#include "exchange/igs_import.h"
#include "exchange/import_parts.h"
#include "exchange/obj8_import.h"
#include "vlm/error.h"
#include "vlm/progress.h"

namespace vlm::host {
namespace {

using exchange::Distinct;
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
    const double unit = Units();
    aiMatrix4x4 scale;
    aiMatrix4x4::Scaling(aiVector3D(static_cast<float>(options_.scale * unit)), scale);
    Node(*scene_.mRootNode, scale, document_.Root(), Unturned(), Stem(), 1);
    if (polygons_ == 0) Fail("the model holds no polygons");
    if (cutPolygons_ > 0)
      out_.log.push_back("cut " + std::to_string(cutPolygons_) +
                         (cutPolygons_ == 1 ? " polygon that was" : " polygons that were") +
                         " concave or not flat into " + std::to_string(cutTriangles_) +
                         " triangles");
  }

 private:
  static Linear Identity() {
    Linear i;
    i.rows[0][0] = i.rows[1][1] = i.rows[2][2] = 1;
    return i;
  }

  static exchange::SplitTransform Unturned() {
    exchange::SplitTransform none;
    none.rotation = none.rest = Identity();
    return none;
  }

  // Sets the document's units from the centimetres per unit that FBX files state: centimetres,
  // feet and metres have a unit code; any other unit gives metres and the factor that turns
  // the model's numbers into them (1 otherwise).
  double Units() {
    float cm = 100;
    double cmDouble = 100;
    if (scene_.mMetaData && !scene_.mMetaData->Get("UnitScaleFactor", cm) &&
        scene_.mMetaData->Get("UnitScaleFactor", cmDouble))
      cm = static_cast<float>(cmDouble);
    document_.units = 0;
    if (cm == 1) {
      document_.units = 1;
    } else if (std::abs(cm - 30.48f) < 1e-3f) {
      document_.units = 2;
    } else if (std::abs(cm - 100) >= 1e-3f) {
      if (!(cm > 0) || !std::isfinite(cm)) {
        out_.log.push_back("the model's unit, " + Number(cm) +
                           " cm, is not a length: its numbers are taken as metres");
        return 1;
      }
      out_.log.push_back("the model's unit, " + Number(cm) +
                         " cm, has no unit code: its lengths are multiplied by " +
                         Number(cm / 100) + " to give metres");
      return cm / 100.0;
    }
    return 1;
  }

  static std::string Number(double value) {
    std::ostringstream text;
    text << value;
    return text.str();
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
    // The top group stays at the identity frame and its objects carry the root's whole
    // transform, so that the group shows the model as its source does.
    const bool top = depth == 1;
    const exchange::SplitTransform split = exchange::SplitWorld(world);
    if (name.empty()) name = "Node " + std::to_string(++unnamedNodes_);
    HostNode& group = document_.NewNode(parent, std::move(name));
    if (top) {
      for (unsigned i = 0; i < node.mNumMeshes; ++i)
        Mesh(*scene_.mMeshes[node.mMeshes[i]], split.rotation.Times(split.rest), split.origin,
             group, MeshName(node, i, group));
      for (unsigned i = 0; i < node.mNumChildren; ++i)
        Node(*node.mChildren[i], world, group, Unturned(), exchange::Text(node.mChildren[i]->mName),
             depth + 1);
      return;
    }
    // The frame relative to the parent's frame, which is rigid too.
    const Linear back = parentSplit.rotation.Transposed();
    group.position = back.Apply(split.origin - parentSplit.origin);
    const Linear local = back.Times(split.rotation);
    group.forward = {static_cast<float>(local.rows[0][2]), static_cast<float>(local.rows[1][2]),
                     static_cast<float>(local.rows[2][2])};
    group.up = {static_cast<float>(local.rows[0][1]), static_cast<float>(local.rows[1][1]),
                static_cast<float>(local.rows[2][1])};
    for (unsigned i = 0; i < node.mNumMeshes; ++i)
      Mesh(*scene_.mMeshes[node.mMeshes[i]], split.rest, {}, group, MeshName(node, i, group));
    for (unsigned i = 0; i < node.mNumChildren; ++i)
      Node(*node.mChildren[i], world, group, split, exchange::Text(node.mChildren[i]->mName),
           depth + 1);
  }

  std::string MeshName(const aiNode& node, unsigned i, const HostNode& group) const {
    std::string name = exchange::Text(scene_.mMeshes[node.mMeshes[i]]->mName);
    if (name.empty() && node.mNumMeshes == 1) name = group.name;
    if (name.empty()) name = "Mesh " + std::to_string(node.mMeshes[i] + 1);
    return name;
  }

  // Where each vertex of a mesh went in its object: the numbers of its position, its normal
  // (kFromFace: its face's) and its texture coordinate (-1: none).
  struct VertexIndices {
    std::vector<int32_t> vertex, normal, uv;
    Distinct<Vec3> normals;  // the object's, which the faces' normals join
  };

  // The vertices go through `rest`, then move by `offset`.
  void Mesh(const aiMesh& mesh, const Linear& rest, Vec3 offset, HostNode& group,
            std::string name) {
    if (!HasPolygons(mesh, name)) return;
    HostMesh& target = document_.NewMesh(group, name);
    // The mirror into host axes reverses the winding; a mirroring rest reverses it again.
    const bool reverse = rest.Determinant() >= 0;
    VertexIndices indices;
    AddVertices(mesh, rest, offset, name, target, indices);
    HostMaterial* material =
        mesh.mMaterialIndex < scene_.mNumMaterials ? &materials_.Get(mesh.mMaterialIndex) : nullptr;
    const size_t fromFaces = AddFaces(mesh, reverse, material, target, indices);
    if (fromFaces > 0)
      out_.log.push_back("mesh \"" + name + "\": " + std::to_string(fromFaces) +
                         " corners whose normals were zero or not finite take their face's normal");
    doneFaces_ += mesh.mNumFaces;
    progress_.Report(1 + static_cast<double>(doneFaces_) / static_cast<double>(totalFaces_), 2);
  }

  // Notes the points and lines the mesh leaves out; whether it holds anything else.
  bool HasPolygons(const aiMesh& mesh, const std::string& name) {
    size_t points = 0, lines = 0;
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
      const unsigned n = mesh.mFaces[f].mNumIndices;
      points += n == 1, lines += n == 2;
    }
    if (points + lines > 0)
      out_.log.push_back("mesh \"" + name + "\": left out " + std::to_string(points) +
                         " points and " + std::to_string(lines) + " lines");
    return points + lines != mesh.mNumFaces;
  }

  // The mesh's positions, normals and texture coordinates into the object, each kept once.
  void AddVertices(const aiMesh& mesh, const Linear& rest, Vec3 offset, const std::string& name,
                   HostMesh& target, VertexIndices& indices) const {
    const Linear normalMap = rest.InverseTransposed();
    const aiVector3D* uvs = mesh.HasTextureCoords(0) ? mesh.mTextureCoords[0] : nullptr;
    indices.vertex.assign(mesh.mNumVertices, 0);
    indices.normal.assign(mesh.mNumVertices, -1);
    indices.uv.assign(mesh.mNumVertices, -1);
    Distinct<Vec3> positions;
    Distinct<Vec2> coords;
    for (unsigned i = 0; i < mesh.mNumVertices; ++i) {
      const Vec3 p = rest.Apply(exchange::FromLibrary(mesh.mVertices[i])) + offset;
      if (!Finite(p)) Fail("mesh \"" + name + "\": a vertex position is not finite");
      indices.vertex[i] = positions.Add(p, target.vertices);
      if (mesh.mNormals) {
        // Checked before it is made unit length, which would turn NaN into zero.
        const Vec3 given = exchange::FromLibrary(mesh.mNormals[i]);
        const Vec3 n = Finite(given) ? Direction(normalMap.Apply(given)) : Vec3{};
        indices.normal[i] = IsUsableNormal(n) ? indices.normals.Add(n, target.normals) : kFromFace;
      }
      if (uvs) {
        const Vec2 t = exchange::UvFromLibrary(uvs[i]);
        if (!std::isfinite(t.u) || !std::isfinite(t.v))
          Fail("mesh \"" + name + "\": a texture coordinate is not finite");
        indices.uv[i] = coords.Add(t, target.uvs);
      }
    }
  }

  // The mesh's polygons as faces of the object; how many corners took their face's normal.
  size_t AddFaces(const aiMesh& mesh, bool reverse, HostMaterial* material, HostMesh& target,
                  VertexIndices& indices) {
    std::vector<HostPoint> corners;
    std::vector<Vec3> at;
    size_t fromFaces = 0;
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
      const aiFace& face = mesh.mFaces[f];
      if (face.mNumIndices < 3) continue;
      corners.clear();
      for (unsigned k = 0; k < face.mNumIndices; ++k) {
        const unsigned i = face.mIndices[k];
        corners.push_back({indices.vertex[i], indices.normal[i], indices.uv[i]});
      }
      if (reverse) exchange::ReverseWinding(corners);
      at.clear();
      for (const HostPoint& p : corners)
        at.push_back(target.vertices[static_cast<size_t>(p.vertex)]);
      fromFaces += TakeFaceNormal(corners, at, target, indices.normals);
      AddPolygon(corners, at, material, target);
      ++polygons_;
    }
    return fromFaces;
  }

  // Gives the corners without a normal of their own the face's, none when the face has no
  // area; how many corners those were.
  static size_t TakeFaceNormal(std::vector<HostPoint>& corners, const std::vector<Vec3>& at,
                               HostMesh& target, Distinct<Vec3>& normals) {
    int32_t faceNormal = -1;
    size_t taken = 0;
    for (HostPoint& p : corners)
      if (p.normal == kFromFace) {
        if (faceNormal == -1) {
          const Vec3 n = PolygonNormal(at);
          faceNormal = n == Vec3{} ? -2 : normals.Add(n, target.normals);
        }
        p.normal = std::max(faceNormal, -1);
        ++taken;
      }
    return taken;
  }

  // A polygon as one face, or as the triangles it is cut into when it is concave or not flat.
  void AddPolygon(const std::vector<HostPoint>& corners, const std::vector<Vec3>& at,
                  HostMaterial* material, HostMesh& target) {
    const auto triangles = exchange::CutPolygon(at);
    if (triangles.empty()) {
      AddFace(target, corners, material);
      return;
    }
    for (const auto& t : triangles)
      AddFace(target, std::array{corners[t[0]], corners[t[1]], corners[t[2]]}, material);
    ++cutPolygons_, cutTriangles_ += triangles.size();
  }

  static void AddFace(HostMesh& target, std::span<const HostPoint> corners,
                      HostMaterial* material) {
    target.AddFace(corners, material);
  }

  // A normal index still to be worked out from its face.
  static constexpr int32_t kFromFace = -2;

  const aiScene& scene_;
  const std::string& origin_;
  const ImportOptions& options_;
  ImportedModel& out_;
  HostDocument& document_;
  const ProgressTask& progress_;
  exchange::MaterialMaker materials_;
  int unnamedNodes_ = 0;
  size_t polygons_ = 0, totalFaces_ = 0, doneFaces_ = 0, cutPolygons_ = 0, cutTriangles_ = 0;
};

constexpr unsigned kReadSteps = aiProcess_ValidateDataStructure;

// A binary glTF whose header or a chunk claims more bytes than the file holds: the library
// allocates what is claimed (gigabytes) and zeroes it before it finds out, which takes half a
// minute, so such a file is refused before the library sees it. `word(at)` is the 32-bit
// little-endian word at byte `at` of the `size` bytes, for `at + 4 <= size`.
void CheckBinaryGltfLengths(const std::string& origin, uint64_t size,
                            const std::function<uint32_t(uint64_t)>& word) {
  if (size < 12 || word(0) != 0x46546c67) return;  // "glTF"
  auto refuse = [&](uint64_t claimed, const std::string& what) {
    Raise(err::InvalidProcedureCall, origin + ": the model cannot be read: its " + what +
                                         " claims " + std::to_string(claimed) +
                                         " bytes, the file holds " + std::to_string(size));
  };
  if (word(8) > size) refuse(word(8), "binary glTF header");
  // Version 1 has one header of 20 bytes for its content; version 2 a chunk list.
  if (word(4) != 2) {
    if (size >= 16 && 20 + uint64_t{word(12)} > size) refuse(20 + uint64_t{word(12)}, "content");
    return;
  }
  for (uint64_t at = 12; at + 8 <= size;) {
    const uint64_t end = at + 8 + word(at);
    if (end > size) refuse(end - at, "chunk at byte " + std::to_string(at));
    at = (end + 3) & ~uint64_t{3};
  }
}

// ".igs" or "igs", in any case.
bool IsIgsName(std::string_view extension) {
  if (extension.starts_with(".")) extension.remove_prefix(1);
  return extension.size() == 3 && (extension[0] | 0x20) == 'i' && (extension[1] | 0x20) == 'g' &&
         (extension[2] | 0x20) == 's';
}

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
  if (!files->Refused().empty())
    Raise(err::InvalidProcedureCall,
          origin + ": the model refers to \"" + files->Refused().front() +
              "\", which is outside the model's folder (--allow-outside reads it)");
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

// Whether the stream starts with an OBJ8 header; it is left at its start.
bool IsObj8Start(std::ifstream& in) {
  std::string start(4096, '\0');
  in.read(start.data(), static_cast<std::streamsize>(start.size()));
  start.resize(static_cast<size_t>(in.gcount()));
  in.clear();
  in.seekg(0);
  return IsObj8(start);
}

// An OBJ8 file with the other files of its export beside it: Wingform writes house.obj,
// house.1.obj, house.2.obj, ... one per texture set.
ImportedModel ImportObj8Export(const std::filesystem::path& model, const ImportOptions& options) {
  std::vector<std::filesystem::path> files = Obj8ExportFiles(model);
  if (files.empty()) files = {model};  // read, and named, as it stands
  std::vector<std::string> more;
  for (size_t k = 1; k < files.size(); ++k)
    more.push_back(files[k].filename().string());
  ImportedModel out = ImportObj8Files(files, options);
  if (!more.empty()) {
    std::string line = model.string() + ": read with the other files of its export:";
    for (const std::string& name : more)
      line += " " + name;
    out.log.insert(out.log.begin(), line);
  }
  return out;
}

}  // namespace

ImportedModel ImportModel(const std::filesystem::path& model, const ImportOptions& options) {
  const std::string origin = model.string();
  std::error_code ec;
  if (!std::filesystem::is_regular_file(model, ec))
    Raise(err::FileNotFound, origin + ": no such file");
  std::ifstream in(model, std::ios::binary);
  if (IsObj8Start(in)) return ImportObj8Export(model, options);
  const uintmax_t size = std::filesystem::file_size(model, ec);
  // IGS files, by their header or extension, are read by their own reader.
  char magic[4] = {};
  in.read(magic, sizeof magic);
  in.clear();
  if (LooksLikeIgs(std::string_view(magic, sizeof magic)) || IsIgsName(model.extension().string()))
    return ImportIgs(ReadIgsFile(model), model.parent_path().string(), options);
  CheckBinaryGltfLengths(origin, ec ? 0 : size, [&](uint64_t at) {
    uint32_t word = 0;
    in.seekg(static_cast<std::streamoff>(at));
    in.read(reinterpret_cast<char*>(&word), sizeof word);
    return word;
  });
  return Import(origin, options, new exchange::GuardedFiles(model, options.allowOutside), origin);
}

ImportedModel ImportModels(const std::vector<std::filesystem::path>& models,
                           const ImportOptions& options) {
  if (models.size() == 1) return ImportModel(models.front(), options);
  for (const std::filesystem::path& model : models) {
    std::ifstream in(model, std::ios::binary);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(model, ec))
      Raise(err::FileNotFound, model.string() + ": no such file");
    if (!IsObj8Start(in))
      Raise(err::InvalidProcedureCall,
            model.string() +
                ": not an OBJ8 file; only the OBJ8 files of one export are "
                "imported together");
  }
  return ImportObj8Files(models, options);
}

ImportedModel ImportModelFromMemory(std::string_view bytes, const std::string& formatHint,
                                    const std::string& origin, const ImportOptions& options) {
  if (IsObj8(bytes)) return ImportObj8({ReadObj8(bytes, origin)}, options);
  if (LooksLikeIgs(bytes) || IsIgsName(formatHint))
    return ImportIgs(ReadIgs(bytes, origin), {}, options);
  CheckBinaryGltfLengths(origin, bytes.size(), [&](uint64_t at) {
    uint32_t word;
    std::memcpy(&word, bytes.data() + at, sizeof word);
    return word;
  });
  return Import(origin, options, new exchange::GuardedFiles(bytes, formatHint),
                exchange::GuardedFiles::MemoryName(formatHint));
}

}  // namespace vlm::host
