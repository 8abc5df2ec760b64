// Selections named on the command line (--select).
#pragma once

#include <string>
#include <vector>

namespace vlm::host {

class HostDocument;

// Replaces the document's selection by the given ones (group:PATH, object:PATH,
// faces:PATH:i,j, node:PATH, shape:PATH, polygons:PATH:i,j). vlm::Error naming the
// selection and what exists on a bad one.
void ApplySelections(HostDocument& document, const std::vector<std::string>& selections);

}  // namespace vlm::host
