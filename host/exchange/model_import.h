// A model in any format the exchange library reads, brought into a new scene document.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "scene/document.h"

namespace vlm::host {

struct ImportOptions {
  std::string name;    // the top group's name; empty: the model file's name without extension
  float scale = 1.0f;  // every length is multiplied by it
  // Whether the model may name files outside its own folder (a glTF's buffers, an OBJ's
  // materials); without it such a file is refused and the import fails naming it.
  bool allowOutside = false;
};

// A texture the model carries inside itself, to be written beside the scene under `file`
// (the name the scene's materials use).
struct EmbeddedTexture {
  std::string file;
  std::string bytes;
};

struct ImportedModel {
  std::unique_ptr<HostDocument> document;
  std::vector<EmbeddedTexture> textures;
  std::vector<std::string> log;  // what was left out, one line each
};

// Reads the model file. The node tree becomes groups under one top group, which stands at the
// identity frame and holds the model as its source shows it; each group's frame is the rigid
// part of its node's world transform, and scale, shear and mirroring are baked into its
// objects' vertices (a mirroring transform reverses the winding). A unit the host has no code
// for is multiplied into the vertices too. Polygons stay polygons, except those a fan from
// the first corner would draw wrongly (concave or not flat), which are cut into triangles;
// points and lines are left out. Normals that are zero or not finite are worked out from
// their faces. Each such change gives a log line. vlm::Error (5) naming the file and what is
// wrong for a model that cannot be read, holds numbers that are not finite, or names a file
// outside its folder (unless options.allowOutside).
// An X-Plane OBJ8 file (one that starts with OBJ8's header) is read by ImportObj8Files, with
// the other files of its export beside it: for house.obj, house.1.obj, house.2.obj, ... as far
// as they go on.
ImportedModel ImportModel(const std::filesystem::path& model, const ImportOptions& options = {});
// Several OBJ8 files of one export (house.obj house.1.obj ...) under one top group
// (ImportObj8Files); one model of any format as ImportModel reads it. vlm::Error (5) for
// several files that are not all OBJ8.
ImportedModel ImportModels(const std::vector<std::filesystem::path>& models,
                           const ImportOptions& options = {});

// The same from bytes in memory; `formatHint` is the file extension ("glb", "obj"), `origin`
// the name errors give. Files the model refers to (an OBJ's materials) are not read.
ImportedModel ImportModelFromMemory(std::string_view bytes, const std::string& formatHint,
                                    const std::string& origin, const ImportOptions& options = {});

}  // namespace vlm::host
