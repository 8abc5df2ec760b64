// What the workbench's view hides, and the picks of everything shown: Select all, Invert
// selection, Hide selected, Isolate selected and Show all. No windows here.
//
// Hiding is the view's, not the document's: nothing of it is saved or undone. Hidden faces are
// kept by their object's path, so they stay hidden when a run, undo or redo replaces the
// document; a path that no longer leads to an object is let go.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "run/selection_text.h"

namespace vlm::host {
class HostDocument;
class HostMesh;
}  // namespace vlm::host

namespace vlm::workbench {

class HiddenFaces {
 public:
  // Hides what the picks cover: faces, whole objects, and every object below a group.
  void Hide(const host::PickedItems& picked);
  // Hides everything of `document` the picks do not cover (what is hidden stays hidden).
  void Isolate(const host::HostDocument& document, const host::PickedItems& picked);
  void Clear() { byPath_.clear(); }
  bool Empty() const { return byPath_.empty(); }

  // The hidden faces of `document` that are not removed, object by object in face order.
  std::vector<host::FaceHit> Faces(const host::HostDocument& document) const;

 private:
  // Hides faces of an object: `faces` ascending, or empty for all of them.
  void HideObject(const host::HostMesh& mesh, const std::vector<int32_t>& faces);
  std::map<std::string, std::vector<int32_t>> byPath_;  // ascending; empty: the whole object
};

// Every face of `document` that is not removed and not in `hidden` (sorted), object by object.
std::vector<host::FaceHit> ShownFaces(const host::HostDocument& document,
                                      const std::vector<host::FaceHit>& hidden);

// Picks everything shown in `mode`: every face, every object with a face shown, or the group
// of each such object (as a click on each face would).
host::PickedItems PickAll(const std::vector<host::FaceHit>& shown, host::PickMode mode);
// Picks what is shown and not picked in `mode`: the faces the picks do not cover, the objects
// of which none is covered, the groups (of objects shown) not picked.
host::PickedItems InvertPicks(const host::PickedItems& picked,
                              const std::vector<host::FaceHit>& shown, host::PickMode mode);

}  // namespace vlm::workbench
