// The scenes the benchmarks measure: a group "main" holding one flat grid of quads (two
// triangles each) with one textured material, and the same grid cut into parts for the
// preparation steps that join, cut or weld.
#pragma once

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "scene/builder.h"

namespace vlm::bench {

// The grid's columns at each size: about square from 1M triangles on.
inline int GridColumns(int quads) {
  return quads >= 500000 ? 1000 : quads >= 50000 ? 250 : 100;
}

inline std::unique_ptr<host::HostDocument> GridScene(int triangles) {
  auto doc = std::make_unique<host::HostDocument>();
  host::HostMaterial& ground = doc->NewMaterial("Ground");
  ground.hasTextures = true;
  ground.diffuseMap = "ground.bmp";
  const int quads = triangles / 2;
  const int nx = GridColumns(quads);
  host::AddGrid(host::AddGroup(doc->Root(), "main"), "Field", nx, quads / nx, 0.5f, &ground);
  return doc;
}

// The same grid as `kParts` objects (fewer when it has fewer rows) ("Field 01", "Field 02", ...),
// each a band of rows, whose quads take one of `kStripes` textured materials by column, in stripes.
// As a model exported by material comes, each stripe has vertices of its own: a vertex on the line
// between two stripes is there twice, at one position. Merging joins the parts, splitting cuts each
// into its stripes, welding joins the stripes' vertices again.
inline constexpr int kParts = 16, kStripes = 4;

inline std::unique_ptr<host::HostDocument> PartsScene(int triangles) {
  auto doc = std::make_unique<host::HostDocument>();
  host::HostMaterial* stripes[kStripes];
  const char* names[kStripes] = {"Ground", "Grass", "Gravel", "Tarmac"};
  for (int s = 0; s < kStripes; ++s) {
    stripes[s] = &doc->NewMaterial(names[s]);
    stripes[s]->hasTextures = true;
    stripes[s]->diffuseMap = std::string(names[s]) + ".bmp";
  }
  const int quads = triangles / 2;
  const int nx = GridColumns(quads), nz = quads / nx;
  const float cell = 0.5f;
  host::HostNode& main = host::AddGroup(doc->Root(), "main");
  // A small grid has fewer rows than parts: one row each then, and no part without faces.
  const int parts = std::min(kParts, nz);
  for (int part = 0; part < parts; ++part) {
    const int z0 = part * nz / parts, z1 = (part + 1) * nz / parts;
    char name[32];
    std::snprintf(name, sizeof name, "Field %02d", part + 1);
    host::HostMesh& mesh = doc->NewMesh(main, name);
    mesh.normals.push_back({0, 1, 0});
    // Each stripe's columns [x0, x1] of vertices, row after row: `first[s]` is where its
    // vertices start.
    int first[kStripes + 1] = {};
    for (int s = 0; s < kStripes; ++s) {
      const int x0 = s * nx / kStripes, x1 = (s + 1) * nx / kStripes;
      first[s + 1] = first[s] + (x1 - x0 + 1) * (z1 - z0 + 1);
      for (int z = z0; z <= z1; ++z)
        for (int x = x0; x <= x1; ++x) {
          mesh.vertices.push_back({x * cell, 0, z * cell});
          mesh.uvs.push_back({static_cast<float>(x) / nx, static_cast<float>(z) / nz});
        }
    }
    mesh.ReserveFaces(size_t(nx) * size_t(z1 - z0), 4 * size_t(nx) * size_t(z1 - z0));
    for (int z = z0; z < z1; ++z)
      for (int s = 0; s < kStripes; ++s) {
        const int x0 = s * nx / kStripes, x1 = (s + 1) * nx / kStripes;
        const auto at = [&](int x, int row) {
          return first[s] + (row - z0) * (x1 - x0 + 1) + x - x0;
        };
        for (int x = x0; x < x1; ++x) {
          // Counter-clockwise seen from above (+y), as the plain grid's.
          const size_t face = mesh.AddFace(stripes[s]);
          for (int v : {at(x, z), at(x, z + 1), at(x + 1, z + 1), at(x + 1, z)})
            mesh.AddPoint(face, {v, 0, v});
        }
      }
  }
  return doc;
}

}  // namespace vlm::bench
