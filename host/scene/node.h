// A node of the scene document: a Group of the scripting view and a Node of the scene-graph
// view at once.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "scene/mesh.h"
#include "vlm/model.h"

namespace vlm::host {

class HostDocument;

// The orientation of a new group: its local +z and +y axes in its parent's frame.
inline constexpr Vec3 kDefaultForward{0, 0, 1};
inline constexpr Vec3 kDefaultUp{0, 1, 0};

class HostNode {
 public:
  HostNode(HostDocument& document, std::string name, int32_t id);

  std::string name;
  Vec3 position{};                                  // in the parent's frame
  Vec3 forward = kDefaultForward, up = kDefaultUp;  // in the parent's frame (unit)
  int32_t animationKeys = 0;
  std::map<int32_t, std::string> fields;  // node custom fields by slot

  // The links of the tree, read-only: the document makes and moves groups and objects
  // (HostDocument::NewNode, NewMesh, AdoptGroup, AdoptObject, RemoveMesh).
  const std::vector<std::unique_ptr<HostNode>>& children = children_;
  const std::vector<std::unique_ptr<HostMesh>>& meshes = meshes_;
  HostNode* const& parent = parent_;  // null for the root and while unattached

  int32_t Id() const { return id_; }
  // Row-vector transforms (vlm/math.h): local to parent, and local to world.
  Mat4 LocalMatrix() const;
  Mat4 WorldMatrix() const;
  // Path from the root: "Hangar/Door" ("" for the root), in the form FindGroup reads back
  // (see PathSegment).
  std::string Path() const;
  // Custom field text by slot (error 9 for a slot the document does not define).
  std::string Field(int32_t slot) const;
  void SetField(int32_t slot, const std::string& text);

  Group& AsGroup() { return *group_; }
  Node& AsNode() { return *node_; }
  HostDocument& Document() const { return document_; }

 private:
  friend class HostDocument;
  class GroupView;
  class NodeView;
  std::vector<std::unique_ptr<HostNode>> children_;
  std::vector<std::unique_ptr<HostMesh>> meshes_;
  HostNode* parent_ = nullptr;
  HostDocument& document_;
  int32_t id_;
  std::unique_ptr<Group> group_;  // a GroupView
  std::unique_ptr<Node> node_;    // a NodeView
};

}  // namespace vlm::host
