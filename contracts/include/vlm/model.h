// The whole host object model.
#pragma once

#include "vlm/model/face.h"
#include "vlm/model/graph_material.h"
#include "vlm/model/group.h"
#include "vlm/model/material.h"
#include "vlm/model/node.h"
#include "vlm/model/object.h"
#include "vlm/model/scene.h"
#include "vlm/model/scene_graph.h"
#include "vlm/model/shape.h"
#include "vlm/model/types.h"
