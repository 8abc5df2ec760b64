// Small helpers that build scenes in code (tests, benchmarks, examples).
#pragma once

#include <string>
#include <vector>

#include "scene/document.h"

namespace vlm::host {

// A group under `parent`, placed at `position` with the given orientation (parent frame).
HostNode& AddGroup(HostNode& parent, std::string name, Vec3 position = {}, Vec3 forward = {0, 0, 1},
                   Vec3 up = {0, 1, 0});

// An axis-aligned box: 8 vertices, 6 outward-facing quads with one normal per side and
// texture coordinates at the corners.
HostMesh& AddBox(HostNode& parent, std::string name, Vec3 centre, Vec3 halfSize,
                 HostMaterial* material = nullptr);

// One polygon through the given points, in order (counter-clockwise seen from the side its
// normal points to), with that normal and planar texture coordinates.
HostMesh& AddPolygonMesh(HostNode& parent, std::string name, const std::vector<Vec3>& points,
                         HostMaterial* material = nullptr);

// A flat grid of nx x nz unit-sized quads in the plane y = 0, facing +y, starting at the
// origin; vertices are shared between neighbouring quads.
HostMesh& AddGrid(HostNode& parent, std::string name, int nx, int nz, float cell = 1.0f,
                  HostMaterial* material = nullptr);

// The world-space position of every vertex of a mesh, in vertex order.
std::vector<Vec3> WorldVertices(const HostMesh& mesh);

}  // namespace vlm::host
