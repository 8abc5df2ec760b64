// lod's simplification (lod_simplify.cpp): a group's subtree gathered as the simplifier
// takes it, and simplified copies of it made level by level. Used by lod_step.cpp alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <vector>

#include "scene/document.h"

namespace vlm::host {

// One object's faces of one material: their distinct corners and their fan triangles over
// them, as the simplifier takes them.
struct Part {
  HostMaterial* material = nullptr;
  std::vector<HostPoint> corners;
  std::vector<uint8_t> flat;        // by corner: its normal is its face's own (see FlatNormals)
  std::vector<float> positions;     // x, y, z of each corner
  std::vector<uint32_t> triangles;  // three corners each
  float scale = 0;                  // the simplifier's measure of the part's size
  // What the nearer level kept of it, and that level's error.
  mutable std::vector<uint32_t> nearer;
  mutable double nearerError = 0;
  mutable bool simplified = false;
};

// An object of the group, ready to be simplified.
struct ObjectSource {
  const HostMesh* mesh = nullptr;
  std::vector<Part> parts;
  std::vector<size_t> loose;  // faces of fewer than three points: copied as they are
};

// A group of the detailed subtree with its objects.
struct NodeSource {
  const HostNode* node = nullptr;
  std::vector<ObjectSource> objects;
  std::vector<NodeSource> children;
};

struct Counts {
  size_t triangles = 0;
  size_t badFaces = 0;  // faces naming a vertex, normal or texture coordinate that is not there
};

// What a level kept of the triangles it was asked to keep.
struct LevelOutcome {
  size_t kept = 0, asked = 0;
  double error = 0;  // the largest, in the document's lengths
};

// The group's subtree, leaving out the groups in `skip`, counting its triangles and the faces
// left out.
NodeSource GatherNode(const HostNode& node, const std::set<const HostNode*>& skip, Counts& counts);

// The diagonal of the box around every corner of the subtree, in its top's frame.
double SizeOf(const NodeSource& source);

// The subtree simplified to `ratio` within `limit` (a length) into `into`: its objects as new
// objects of `into`, its groups as new groups, adding to `outcome`.
void CopyNode(HostDocument& document, HostNode& into, const NodeSource& source, double ratio,
              double limit, LevelOutcome& outcome);

}  // namespace vlm::host
