// The scene-graph view of the host: SceneGraph, the entry point of exporters and operations.
//
// `device` names the view whose selection applies; the stand-in host has one view and every
// device number names it.
#pragma once

#include <cstdint>
#include <memory>

namespace vlm {

class Node;
class Shape;
class SceneDocument;

class SceneGraph {
 public:
  virtual ~SceneGraph() = default;

  virtual int32_t SelectedNodeCount(int32_t device) = 0;
  virtual Node* SelectedNode(int32_t device, int32_t index) = 0;
  virtual int32_t SelectedShapeCount(int32_t device) = 0;
  virtual Shape* SelectedShape(int32_t device, int32_t index) = 0;

  virtual SceneDocument* Document() = 0;

  // A new empty shape that belongs to the caller (an accumulator for Merge).
  virtual std::unique_ptr<Shape> NewShape() = 0;
};

class SceneDocument {
 public:
  virtual ~SceneDocument() = default;
  virtual Node* RootNode() = 0;
  // Document units: 0 metres, 1 centimetres, 2 feet.
  virtual int32_t Units() = 0;
};

}  // namespace vlm
