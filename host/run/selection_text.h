// What the workbench's mouse picked (faces, objects, groups) and the `--select` texts that pick
// the same items on the command line, both ways. A pick selects in both views of the host
// (faces and polygons, object and shape, group and node), so that every plug-in, whichever
// view it reads, works on what was picked; its texts name both.
#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <vector>

namespace vlm::host {

class HostDocument;
class HostMesh;
class HostNode;

struct PickedItems {
  struct Object {
    const HostMesh* mesh = nullptr;
    std::vector<int32_t> faces;  // ascending; empty: the whole object
  };
  std::vector<const HostNode*> groups;  // in the order picked
  std::vector<Object> objects;          // in the order picked, one entry per object

  bool Empty() const { return groups.empty() && objects.empty(); }
};

// One face of one object, as the view reports a pick.
struct FaceHit {
  const HostMesh* mesh = nullptr;
  int32_t face = 0;
  friend bool operator==(const FaceHit&, const FaceHit&) = default;
  friend auto operator<=>(const FaceHit&, const FaceHit&) = default;
};

enum class PickMode { Faces, Objects, Groups };
// A plain click replaces, Shift adds, Ctrl toggles.
enum class PickCombine { Replace, Add, Toggle };

// Takes the faces the mouse picked into `picked`: the faces themselves, their objects or the
// groups that hold their objects, by `mode`. A face, object or group is taken once.
void CombinePicks(PickedItems& picked, const std::vector<FaceHit>& hits, PickMode mode,
                  PickCombine combine);

// The `--select` arguments (without the option): group:, object:, faces:PATH:i,j for the
// scripting view, then node:, shape:, polygons:PATH:i,j for the scene-graph view.
std::vector<std::string> SelectTexts(const PickedItems& picked);
// `--select A --select B`, each argument quoted for a POSIX shell where it needs it.
std::string SelectCommandLine(const std::vector<std::string>& texts);

// What the document has selected, in either view, as picks.
PickedItems PickedIn(const HostDocument& document);
// Replaces the document's selection by `texts` (the --select grammar, checked as the command
// line checks it: vlm::Error naming a bad one, the selection then cleared) and gives what it
// selects.
PickedItems SelectByTexts(HostDocument& document, const std::vector<std::string>& texts);

// Every face the picks cover (an object's faces, a group's objects below it), per object.
std::vector<FaceHit> PickedFaces(const PickedItems& picked);
// "3 faces of 1 object", "2 objects (24 faces)", "1 group (3 objects, 20 faces)", "nothing".
std::string DescribePicks(const PickedItems& picked);

}  // namespace vlm::host
