// The steps that tidy a model's meshes: clean (weld vertices, drop degenerate and repeated
// faces, drop empty groups) and normals (flat, or smoothed up to an angle).
//
// Everything works on an object's flat lists: hash tables (VertexTable) number positions and
// cells, and face lists are walked as spans, so a million triangles take a few passes.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "prep/prep_steps.h"
#include "scene/document.h"
#include "vlm/vertex_table.h"

namespace vlm::host {
namespace {

std::string Plural(size_t n, const std::string& one, const std::string& many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// ---- welding --------------------------------------------------------------------------------

// Positions compared by value: -0 and +0 are one position (the sum turns -0 into +0), and
// a position with a NaN equals none.
struct SamePosition {
  bool operator()(const Vec3& a, const Vec3& b) const { return a == b; }
};
struct PositionHash {
  uint64_t operator()(const Vec3& v) const {
    return BitwiseHash<Vec3>()(Vec3{v.x + 0.0f, v.y + 0.0f, v.z + 0.0f});
  }
};

// A cell of the grid vertices are welded on.
struct Cell {
  int64_t x, y, z;
};

int64_t CellIndex(double coordinate) {
  // Far outside the grid a coordinate shares the last cell: slower, never wrong, as every
  // weld still checks the distance.
  constexpr double kLimit = 4.0e18;
  return static_cast<int64_t>(std::clamp(std::floor(coordinate), -kLimit, kLimit));
}

// For each vertex, the vertex it is welded to: the first one (in vertex order) among the
// kept ones within `tolerance` of it, or itself when there is none. Zero welds equal positions.
std::vector<int32_t> WeldTargets(const std::vector<Vec3>& vertices, double tolerance) {
  const size_t count = vertices.size();
  std::vector<int32_t> target(count);
  if (tolerance == 0) {
    VertexTable<Vec3, PositionHash, SamePosition> table;
    table.Clear(count);
    std::vector<int32_t> first;
    first.reserve(count);
    for (size_t v = 0; v < count; ++v) {
      const auto entry = table.Insert(vertices[v]);
      if (entry.added) first.push_back(static_cast<int32_t>(v));
      target[v] = first[static_cast<size_t>(entry.number)];
    }
    return target;
  }
  // Cells twice the tolerance wide: a vertex within the tolerance of a point lies in the
  // point's cell or, along each axis, in the neighbour on the side the point is nearer to, so
  // eight cells hold every candidate. Each cell lists its kept vertices (head, then next).
  const double width = 2 * tolerance;
  VertexTable<Cell, BitwiseHash<Cell>, BitwiseEqual<Cell>> cells;
  cells.Clear(count);
  std::vector<int32_t> head, next(count, -1);
  const double reach = tolerance * tolerance;
  for (size_t v = 0; v < count; ++v) {
    const Vec3 p = vertices[v];
    target[v] = static_cast<int32_t>(v);
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) continue;
    const double at[3] = {p.x / width, p.y / width, p.z / width};
    int64_t cell[3], side[3];
    for (int a = 0; a < 3; ++a) {
      cell[a] = CellIndex(at[a]);
      side[a] = at[a] - std::floor(at[a]) < 0.5 ? -1 : 1;
    }
    int32_t best = -1;
    for (int corner = 0; corner < 8; ++corner) {
      const Cell c{cell[0] + ((corner & 1) ? side[0] : 0), cell[1] + ((corner & 2) ? side[1] : 0),
                   cell[2] + ((corner & 4) ? side[2] : 0)};
      const int32_t number = cells.Find(c);
      if (number < 0) continue;
      for (int32_t k = head[static_cast<size_t>(number)]; k >= 0;
           k = next[static_cast<size_t>(k)]) {
        const Vec3 q = vertices[static_cast<size_t>(k)];
        const double dx = double{p.x} - q.x, dy = double{p.y} - q.y, dz = double{p.z} - q.z;
        if (dx * dx + dy * dy + dz * dz <= reach && (best < 0 || k < best)) best = k;
      }
    }
    if (best >= 0) {
      target[v] = best;
      continue;
    }
    const auto entry = cells.Insert(Cell{cell[0], cell[1], cell[2]});
    if (entry.added) head.push_back(-1);
    next[v] = head[static_cast<size_t>(entry.number)];
    head[static_cast<size_t>(entry.number)] = static_cast<int32_t>(v);
  }
  return target;
}

// Welds the object's vertices; gives how many were welded to another.
size_t Weld(HostMesh& mesh, double tolerance) {
  const std::vector<int32_t> target = WeldTargets(mesh.vertices, tolerance);
  size_t welded = 0;
  for (size_t v = 0; v < target.size(); ++v)
    welded += target[v] != static_cast<int32_t>(v);
  if (welded == 0) return 0;
  for (size_t f = 0; f < mesh.FaceCount(); ++f)
    for (HostPoint& p : mesh.Points(f))
      p.vertex = target[static_cast<size_t>(p.vertex)];
  return welded;
}

// Drops the vertices no face uses (a removed face, not yet compacted away, still uses its
// own); gives how many.
size_t DropUnusedVertices(HostMesh& mesh) {
  std::vector<int32_t> number(mesh.vertices.size(), -1);
  for (size_t f = 0; f < mesh.FaceCount(); ++f)
    for (const HostPoint& p : mesh.Points(f))
      number[static_cast<size_t>(p.vertex)] = 0;
  size_t kept = 0;
  for (size_t v = 0; v < number.size(); ++v)
    if (number[v] == 0) {
      mesh.vertices[kept] = mesh.vertices[v];
      number[v] = static_cast<int32_t>(kept++);
    }
  const size_t dropped = mesh.vertices.size() - kept;
  if (dropped == 0) return 0;
  mesh.vertices.resize(kept);
  for (size_t f = 0; f < mesh.FaceCount(); ++f)
    for (HostPoint& p : mesh.Points(f))
      p.vertex = number[static_cast<size_t>(p.vertex)];
  return dropped;
}

// ---- degenerate and repeated faces ----------------------------------------------------------

// Whether a face encloses no area: fewer than three points or three distinct vertices, or
// narrower than a millionth of its longest edge (twice its area under 1e-6 of the square of
// that edge), which is what float positions leave of points in a line.
bool Degenerate(const HostMesh& mesh, size_t face) {
  const auto points = mesh.Points(face);
  const size_t count = points.size();
  if (count < 3) return true;
  int32_t a = points[0].vertex, b = -1;
  bool third = false;
  for (size_t i = 1; i < count && !third; ++i) {
    const int32_t v = points[i].vertex;
    if (v == a || v == b) continue;
    if (b < 0)
      b = v;
    else
      third = true;
  }
  if (!third) return true;
  double n[3] = {0, 0, 0}, longest = 0;
  for (size_t i = 0; i < count; ++i) {
    const Vec3 p = mesh.vertices[static_cast<size_t>(points[i].vertex)];
    const Vec3 q = mesh.vertices[static_cast<size_t>(points[(i + 1) % count].vertex)];
    n[0] += (double{p.y} - q.y) * (double{p.z} + q.z);
    n[1] += (double{p.z} - q.z) * (double{p.x} + q.x);
    n[2] += (double{p.x} - q.x) * (double{p.y} + q.y);
    const double dx = double{p.x} - q.x, dy = double{p.y} - q.y, dz = double{p.z} - q.z;
    longest = std::max(longest, dx * dx + dy * dy + dz * dz);
  }
  const double twiceArea = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  // Positions that are not finite give no usable face either.
  return !(twiceArea > 1e-6 * longest);
}

// Where a face's vertex list starts when it is turned to begin at its smallest vertex (the
// first such turn in order when that vertex comes more than once): faces that list the same
// vertices in the same cyclic order start alike.
size_t CanonicalStart(std::span<const HostPoint> points) {
  const size_t count = points.size();
  size_t best = 0;
  for (size_t i = 1; i < count; ++i) {
    if (points[i].vertex > points[best].vertex) continue;
    if (points[i].vertex < points[best].vertex) {
      best = i;
      continue;
    }
    for (size_t k = 1; k < count; ++k) {
      const int32_t x = points[(i + k) % count].vertex, y = points[(best + k) % count].vertex;
      if (x != y) {
        if (x < y) best = i;
        break;
      }
    }
  }
  return best;
}

// Marks as removed each face that lists the vertices of an earlier face, in the same cyclic
// order, with the same material; a face listing them the other way round faces the other
// way and stays. Gives how many were removed.
size_t RemoveRepeatedFaces(HostMesh& mesh) {
  const size_t faces = mesh.FaceCount();
  std::vector<uint32_t> start(faces);
  std::vector<std::pair<uint64_t, uint32_t>> keys;
  keys.reserve(faces);
  for (size_t f = 0; f < faces; ++f) {
    if (mesh.FaceRemoved(f)) continue;
    const auto points = mesh.Points(f);
    const size_t s = CanonicalStart(points);
    start[f] = static_cast<uint32_t>(s);
    uint64_t h = reinterpret_cast<uintptr_t>(mesh.FaceMaterial(f)) * 0x9E3779B97F4A7C15ull;
    for (size_t k = 0; k < points.size(); ++k)
      h = (h ^ static_cast<uint32_t>(points[(s + k) % points.size()].vertex)) *
          0xFF51AFD7ED558CCDull;
    h ^= points.size();
    keys.emplace_back(h ^ (h >> 29), static_cast<uint32_t>(f));
  }
  std::sort(keys.begin(), keys.end());
  auto same = [&](size_t a, size_t b) {
    const auto pa = mesh.Points(a), pb = mesh.Points(b);
    if (pa.size() != pb.size() || mesh.FaceMaterial(a) != mesh.FaceMaterial(b)) return false;
    for (size_t k = 0; k < pa.size(); ++k)
      if (pa[(start[a] + k) % pa.size()].vertex != pb[(start[b] + k) % pb.size()].vertex)
        return false;
    return true;
  };
  size_t removed = 0;
  for (size_t run = 0; run < keys.size();) {
    size_t end = run + 1;
    while (end < keys.size() && keys[end].first == keys[run].first)
      ++end;
    // Faces of one hash value, earliest first: each is checked against the earlier ones kept.
    for (size_t i = run + 1; i < end; ++i)
      for (size_t j = run; j < i; ++j)
        if (!mesh.FaceRemoved(keys[j].second) && same(keys[j].second, keys[i].second)) {
          mesh.RemoveFace(keys[i].second);
          ++removed;
          break;
        }
    run = end;
  }
  return removed;
}

// ---- empty groups ---------------------------------------------------------------------------

bool CarriesData(const HostNode& group) {
  if (group.animationKeys > 0) return true;
  return std::any_of(group.fields.begin(), group.fields.end(),
                     [](const auto& field) { return !field.second.empty(); });
}

// Whether a group holds no objects and no groups but empty ones, the root never. On the way
// it lists the empty groups to remove, the outermost of each empty branch (below a group that
// is not empty), and the empty groups that stay because they carry data.
bool FindEmpty(HostNode& group, std::vector<HostNode*>& remove,
               std::vector<const HostNode*>& kept) {
  bool empty = group.meshes.empty();
  std::vector<HostNode*> emptyChildren;
  for (const auto& child : group.children) {
    if (FindEmpty(*child, remove, kept))
      emptyChildren.push_back(child.get());
    else
      empty = false;
  }
  if (empty && CarriesData(group)) {
    kept.push_back(&group);
    empty = false;
  }
  if (!group.parent) empty = false;
  if (!empty) remove.insert(remove.end(), emptyChildren.begin(), emptyChildren.end());
  return empty;
}

size_t CountGroups(const HostNode& group) {
  size_t n = 1;
  for (const auto& child : group.children)
    n += CountGroups(*child);
  return n;
}

bool Inside(const HostNode* group, const std::vector<HostNode*>& others) {
  for (const HostNode* p = group->parent; p; p = p->parent)
    if (std::find(others.begin(), others.end(), p) != others.end()) return true;
  return false;
}

std::string Shown(const HostNode& group) {
  return group.parent ? group.Path() : "the scene's root";
}

void Clean(PrepContext& context) {
  const PrepArgs& args = context.args;
  const bool all = !args.Has("empty-groups") && !args.Has("degenerate") &&
                   !args.Has("duplicates") && !args.Has("weld");
  const std::optional<double> weld = all ? std::optional<double>(0) : args.Number("weld", 0, 1e30);
  const bool degenerate = all || args.Flag("degenerate");
  const bool duplicates = all || args.Flag("duplicates");
  const bool emptyGroups = all || args.Flag("empty-groups");

  size_t welded = 0, weldedObjects = 0, unused = 0, flat = 0, flatObjects = 0, repeated = 0,
         repeatedObjects = 0;
  for (HostMesh* mesh : context.targets.AllObjects()) {
    bool changedFaces = false;
    if (weld) {
      const size_t n = Weld(*mesh, *weld);
      welded += n;
      weldedObjects += n > 0;
    }
    if (degenerate) {
      size_t n = 0;
      for (size_t f = 0; f < mesh->FaceCount(); ++f)
        if (!mesh->FaceRemoved(f) && Degenerate(*mesh, f)) {
          mesh->RemoveFace(f);
          ++n;
        }
      flat += n;
      flatObjects += n > 0;
      changedFaces = changedFaces || n > 0;
    }
    if (duplicates) {
      const size_t n = RemoveRepeatedFaces(*mesh);
      repeated += n;
      repeatedObjects += n > 0;
      changedFaces = changedFaces || n > 0;
    }
    // Compacting through the shape keeps the selection's face numbers in step.
    if (changedFaces) mesh->AsShape().Compact();
    if (weld) unused += DropUnusedVertices(*mesh);
  }
  size_t groups = 0;
  std::vector<const HostNode*> kept;
  if (emptyGroups) {
    std::vector<HostNode*> remove;
    if (context.targets.wholeScene) {
      FindEmpty(context.document.Root(), remove, kept);
    } else {
      for (HostNode* group : context.targets.groups)
        if (!Inside(group, context.targets.groups) && FindEmpty(*group, remove, kept))
          remove.push_back(group);
    }
    for (HostNode* group : remove) {
      groups += CountGroups(*group);
      context.document.RemoveNode(*group);
    }
  }

  if (weld)
    context.log << "welded " << Plural(welded, "vertex", "vertices") << " in "
                << Plural(weldedObjects, "object", "objects") << " (within " << *weld
                << ") and removed " << Plural(unused, "vertex", "vertices") << " no face used\n";
  if (degenerate)
    context.log << "removed " << Plural(flat, "degenerate face", "degenerate faces") << " from "
                << Plural(flatObjects, "object", "objects") << "\n";
  if (duplicates)
    context.log << "removed " << Plural(repeated, "repeated face", "repeated faces") << " from "
                << Plural(repeatedObjects, "object", "objects") << "\n";
  for (const HostNode* group : kept)
    context.log << "kept the empty group " << Shown(*group) << ": it carries data of its own\n";
  if (emptyGroups)
    context.log << "removed " << Plural(groups, "empty group", "empty groups") << "\n";
  if (welded + unused + flat + repeated + groups == 0)
    throw PrepNothingToDo("nothing to clean: no vertices to weld, no faces or groups to remove");
}

// ---- normals --------------------------------------------------------------------------------

// Each point of each face gets its face's plane normal (none for a face without area).
void FlatNormals(HostMesh& mesh) {
  VertexTable<Vec3, BitwiseHash<Vec3>, BitwiseEqual<Vec3>> table;
  table.Clear(std::min<size_t>(mesh.FaceCount(), 1 << 20));
  for (size_t f = 0; f < mesh.FaceCount(); ++f) {
    const Vec3 n = mesh.FaceNormal(f);
    const int32_t number = mesh.FaceRemoved(f) || n == Vec3{} ? -1 : table.Insert(n).number;
    for (HostPoint& p : mesh.Points(f))
      p.normal = number;
  }
  mesh.normals.resize(static_cast<size_t>(table.Count()));
  for (int32_t i = 0; i < table.Count(); ++i)
    mesh.normals[static_cast<size_t>(i)] = table[i];
}

// Each point of each face gets the sum of the plane normals of the faces around its vertex
// that meet its own face at up to the object's smoothing angle (its own always counts), made
// unit length; equal normals are kept once, numbered in order of first use. These are the
// normals the object model's GenerateNormals gives, found without a list per vertex or a
// sorted map: the faces around every vertex lie in one array, and a hash table finds equal
// normals, so a curved million-triangle mesh takes a few passes.
void SmoothNormals(HostMesh& mesh) {
  const size_t faces = mesh.FaceCount(), vertices = mesh.vertices.size();
  std::vector<Vec3> faceNormals(faces);
  // The faces around vertex v are around[first[v]] to around[first[v + 1]], in face order, each
  // once; a removed face is gone but for its index and bends no other face's normals.
  std::vector<size_t> first(vertices + 1, 0);
  std::vector<uint32_t> around;
  std::vector<size_t> lastFace(vertices, SIZE_MAX);
  for (size_t f = 0; f < faces; ++f) {
    faceNormals[f] = mesh.FaceNormal(f);
    if (mesh.FaceRemoved(f)) continue;
    for (const HostPoint& p : mesh.Points(f))
      if (const auto v = static_cast<size_t>(p.vertex); lastFace[v] != f) {
        lastFace[v] = f;
        ++first[v + 1];
      }
  }
  for (size_t v = 0; v < vertices; ++v)
    first[v + 1] += first[v];
  around.resize(first[vertices]);
  std::vector<size_t> next(first.begin(), first.end() - 1);
  std::fill(lastFace.begin(), lastFace.end(), SIZE_MAX);
  for (size_t f = 0; f < faces; ++f) {
    if (mesh.FaceRemoved(f)) continue;
    for (const HostPoint& p : mesh.Points(f))
      if (const auto v = static_cast<size_t>(p.vertex); lastFace[v] != f) {
        lastFace[v] = f;
        around[next[v]++] = static_cast<uint32_t>(f);
      }
  }
  const float limit =
      std::cos(std::clamp(mesh.smoothingAngle, 0.0f, 180.0f) * 3.14159265358979f / 180.0f);
  VertexTable<Vec3, PositionHash, SamePosition> table;
  table.Clear(std::min<size_t>(vertices, 1 << 20));
  // The number the vertex's point before got: on a smooth stretch every point of a vertex has
  // the same normal, found once in the table.
  std::vector<int32_t> lastNumber(vertices, -1);
  for (size_t f = 0; f < faces; ++f)
    for (HostPoint& p : mesh.Points(f)) {
      const auto v = static_cast<size_t>(p.vertex);
      Vec3 sum{};
      for (size_t k = first[v]; k < first[v + 1]; ++k)
        if (const size_t other = around[k];
            other == f || Dot(faceNormals[f], faceNormals[other]) >= limit - 1e-6f)
          sum += faceNormals[other];
      const Vec3 n = Normalize(sum);
      if (lastNumber[v] < 0 || !SamePosition()(table[lastNumber[v]], n))
        lastNumber[v] = table.Insert(n).number;
      p.normal = lastNumber[v];
    }
  mesh.normals.resize(static_cast<size_t>(table.Count()));
  for (int32_t i = 0; i < table.Count(); ++i)
    mesh.normals[static_cast<size_t>(i)] = table[i];
}

void Normals(PrepContext& context) {
  const PrepArgs& args = context.args;
  const bool flat = args.Flag("flat");
  const std::optional<double> smooth = args.Number("smooth", 0, 180);
  if (flat && smooth) args.Refuse("smooth", "give either --flat or --smooth, not both");
  if (!flat && !smooth)
    throw PrepBadValue(
        "give --flat (each face its own normal) or --smooth DEG (faces meeting at up to DEG "
        "degrees share normals)");
  std::vector<HostMesh*> objects = context.targets.AllObjects();
  std::erase_if(objects, [](const HostMesh* m) { return m->FaceCount() == 0; });
  if (objects.empty()) throw PrepNothingToDo("there are no faces to give normals");
  for (HostMesh* mesh : objects) {
    if (flat) {
      FlatNormals(*mesh);
    } else {
      mesh->smoothingAngle = static_cast<float>(*smooth);
      SmoothNormals(*mesh);
    }
  }
  if (flat)
    context.log << "gave the faces of " << Plural(objects.size(), "object", "objects")
                << " flat normals\n";
  else
    context.log << "smoothed the normals of " << Plural(objects.size(), "object", "objects")
                << " across edges of up to " << *smooth << " degrees\n";
}

}  // namespace

PrepStepInfo CleanStep() {
  return {"clean",
          "weld vertices and remove degenerate faces, repeated faces and empty groups "
          "(all of them when no option is given)",
          {{"empty-groups", "",
            "remove groups that hold no objects and no groups but empty ones (never the root; "
            "a group carrying custom fields or animation stays)"},
           {"degenerate", "",
            "remove faces with fewer than 3 distinct vertices or no area (narrower than a "
            "millionth of their longest edge)"},
           {"duplicates", "",
            "remove faces that list another face's vertices in the same cyclic order with the "
            "same material (reversed faces stay)"},
           {"weld", "TOL",
            "merge each object's vertices within TOL scene units of each other, then remove "
            "vertices no face uses; 0 merges equal positions only (default when no option is "
            "given: 0)"}},
          Clean};
}

PrepStepInfo NormalsStep() {
  return {"normals",
          "give every face point a normal: flat, or smoothed across edges up to an angle",
          {{"flat", "", "each face point gets its face's normal"},
           {"smooth", "DEG",
            "each face point gets the mean normal of the faces round its vertex that meet its "
            "face at DEG degrees or less (0 to 180); also sets the objects' smoothing angle"}},
          Normals};
}

}  // namespace vlm::host
