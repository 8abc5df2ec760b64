// A node of the scene-graph view (a group of the scripting view).
#pragma once

#include <cstdint>
#include <string>

#include "vlm/math.h"

namespace vlm {

class Node;
class Shape;

class NodeCollection {
 public:
  virtual ~NodeCollection() = default;
  virtual int32_t Count() = 0;
  virtual Node* Item(int32_t index) = 0;  // 0-based
};

class ShapeCollection {
 public:
  virtual ~ShapeCollection() = default;
  virtual int32_t Count() = 0;
  virtual Shape* Item(int32_t index) = 0;  // 0-based
};

class Node {
 public:
  virtual ~Node() = default;

  virtual std::string Name() = 0;
  virtual void SetName(const std::string& name) = 0;
  // A number that identifies the node within its document.
  virtual int32_t Id() = 0;
  // The parent node; nullptr for the root node.
  virtual Node* Parent() = 0;
  virtual NodeCollection* Children() = 0;
  virtual ShapeCollection* Shapes() = 0;

  // The node's transform relative to `relativeTo` (its parent in every use; nullptr means
  // the world) in column-vector form: a point maps to M x p, the translation is in column 3
  // (m(0,3), m(1,3), m(2,3)). Transpose gives the row-vector form of vlm/math.h, whose
  // sixteen floats in storage order carry the translation in elements 12 to 14.
  virtual Mat4 GetMatrix(Node* relativeTo, int32_t reserved) = 0;

  // The number of animation keys of the node up to `timeLimit`.
  virtual int32_t GetAnimationKeys(int32_t reserved, int32_t timeLimit) = 0;

  // Custom fields of the document. Named fields are defined once per document and
  // addressed by slot: Find gives the slot of a name, below 0 when it is not defined; Add
  // defines it and gives its slot. Node fields are set on nodes (groups), material fields on
  // materials.
  virtual int32_t FindCustomField(const std::string& name) = 0;
  virtual int32_t AddCustomField(const std::string& name) = 0;
  virtual int32_t FindMaterialCustomField(const std::string& name) = 0;
  virtual int32_t AddMaterialCustomField(const std::string& name) = 0;

  virtual std::string GetCustomField(int32_t slot) = 0;
  virtual void SetCustomField(int32_t slot, const std::string& text) = 0;
};

}  // namespace vlm
