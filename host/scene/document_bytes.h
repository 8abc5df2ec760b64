// A document as compact bytes, for a process of the same program: the meshes' arrays as they
// lie in memory, names, materials and groups in a simple framed form. Reading them back gives
// the document that the scene text of the same document would give, to the bit, without
// writing and parsing a hundred megabytes of numbers for a large model.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "scene/document.h"

namespace vlm::host {

// The document as bytes, or nothing when it holds what only the scene text carries faithfully
// (a selection; a number that is not finite; text that is not UTF-8; a material name that is
// empty or taken twice; a face whose material is not the document's; an index out of range;
// a value the scene reader would refuse or change, such as a group's axes that are not unit
// and at right angles): the caller then sends the scene text, which reports or settles such
// things as a scene file does. Removed faces and the default material are left out, as the
// scene text leaves them out.
std::optional<std::string> DocumentBytes(const HostDocument& document);

// The document the bytes hold. Every count and index is checked against what arrived: bytes
// cut short or damaged give vlm::Error (5) "ORIGIN: the document sent is damaged: ...", never
// a read past their end.
std::unique_ptr<HostDocument> DocumentFromBytes(std::string_view bytes, const std::string& origin);

}  // namespace vlm::host
