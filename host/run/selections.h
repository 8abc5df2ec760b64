// Selections named on the command line (--select).
#pragma once

#include <string>
#include <vector>

#include "vlm/error.h"

namespace vlm::host {

class HostDocument;

// A selection by rule that selects no face: the run has nothing to work on.
class SelectsNothing : public Error {
 public:
  using Error::Error;
};

// Replaces the document's selection by the given ones (group:PATH, object:PATH,
// faces:PATH:i,j, node:PATH, shape:PATH, polygons:PATH:i,j). Faces and polygons may also be
// chosen by rule, evaluated in world space, PATH being an object or a group (every object
// below it):
//   faces:PATH:facing=+y[,within=DEG]   unit normal within DEG degrees (default 1) of an axis
//   faces:PATH:material=PATTERN         faces of the materials that fit ("material=": of none)
//   faces:PATH:name=PATTERN             faces of the objects whose names fit
//   faces:PATH:box=x0,y0,z0,x1,y1,z1    the face's centre (mean of its corners) in the box
//   faces:PATH:all                      every face
// joined with "&" (a face must pass each); each object's faces are selected in index order.
// Groups and objects may be chosen by name at PATH and below it: group:PATH:name=PATTERN
// (node:), object:PATH:name=PATTERN (shape:). A name fits a PATTERN that is the name itself or
// a shell wildcard pattern that matches it (fnmatch: "*", "?", "[...]"; "\*" is a "*").
// vlm::Error naming the selection and what is wrong on a bad one; SelectsNothing naming the
// rule when a rule selects no face (group, object) at all.
void ApplySelections(HostDocument& document, const std::vector<std::string>& selections);

}  // namespace vlm::host
