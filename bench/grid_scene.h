// The scene the benchmarks measure: a group "main" holding one flat grid of quads (two
// triangles each) with one textured material.
#pragma once

#include <memory>

#include "scene/builder.h"

namespace vlm::bench {

inline std::unique_ptr<host::HostDocument> GridScene(int triangles) {
  auto doc = std::make_unique<host::HostDocument>();
  host::HostMaterial& ground = doc->NewMaterial("Ground");
  ground.hasTextures = true;
  ground.diffuseMap = "ground.bmp";
  const int quads = triangles / 2;
  const int nx = quads >= 500000 ? 1000 : quads >= 50000 ? 250 : 100;
  host::AddGrid(host::AddGroup(doc->Root(), "main"), "Field", nx, quads / nx, 0.5f, &ground);
  return doc;
}

}  // namespace vlm::bench
