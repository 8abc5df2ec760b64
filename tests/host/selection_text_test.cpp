#include "run/selection_text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "scene/document.h"
#include "vlm/error.h"

namespace vlm::host {
namespace {

// Groups and objects with repeated names and names a shell or a path must escape.
struct Awkward {
  HostDocument document;
  HostNode& hangar = document.NewNode(document.Root(), "Hangar");
  HostNode& door1 = document.NewNode(hangar, "Door");
  HostNode& door2 = document.NewNode(hangar, "Door");
  HostNode& quoted = document.NewNode(hangar, "Bob's $HOME [1]/x");
  HostMesh& panel1 = Box(door1, "Panel");
  HostMesh& panel2 = Box(door2, "Panel");
  HostMesh& panel3 = Box(door2, "Panel");
  HostMesh& sign = Box(quoted, "a b");

  HostMesh& Box(HostNode& group, const char* name) {
    HostMesh& mesh = document.NewMesh(group, name);
    mesh.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    for (int i = 0; i < 4; ++i)
      mesh.AddFace(std::vector<HostPoint>{{0}, {1}, {2}, {3}});
    return mesh;
  }
};

// What a POSIX shell prints for `command`.
std::string ShellSays(const std::string& command) {
  FILE* pipe = popen(command.c_str(), "r");
  std::string output;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    output.append(buffer, n);
  pclose(pipe);
  return output;
}

std::vector<std::string> Texts(const PickedItems& p) {
  return SelectTexts(p);
}

// Clicks and boxes in each mode give the texts that select the same on the command line, and
// those texts read back give the same picks.
TEST(SelectionText, PicksGiveTheTextsThatSelectThemAndBack) {
  Awkward a;
  struct Step {
    std::vector<FaceHit> hits;
    PickMode mode;
    PickCombine combine;
    std::vector<std::string> texts;  // after the step
  };
  const Step steps[] = {
      {{{&a.panel2, 3}, {&a.panel2, 1}},
       PickMode::Faces,
       PickCombine::Replace,
       {"faces:Hangar/Door[2]/Panel:1,3", "polygons:Hangar/Door[2]/Panel:1,3"}},
      {{{&a.panel3, 0}},
       PickMode::Faces,
       PickCombine::Add,
       {"faces:Hangar/Door[2]/Panel:1,3", "faces:Hangar/Door[2]/Panel[2]:0",
        "polygons:Hangar/Door[2]/Panel:1,3", "polygons:Hangar/Door[2]/Panel[2]:0"}},
      // Ctrl on a picked face takes it out; the object's last face takes the object out.
      {{{&a.panel2, 1}, {&a.panel3, 0}, {&a.panel1, 2}},
       PickMode::Faces,
       PickCombine::Toggle,
       {"faces:Hangar/Door[2]/Panel:3", "faces:Hangar/Door/Panel:2",
        "polygons:Hangar/Door[2]/Panel:3", "polygons:Hangar/Door/Panel:2"}},
      // A box over many faces of one object picks it once; a face of it then keeps it whole.
      {{{&a.sign, 0}, {&a.sign, 2}},
       PickMode::Objects,
       PickCombine::Replace,
       {"object:Hangar/Bob's $HOME \\[1]\\/x/a b", "shape:Hangar/Bob's $HOME \\[1]\\/x/a b"}},
      {{{&a.sign, 1}},
       PickMode::Faces,
       PickCombine::Add,
       {"object:Hangar/Bob's $HOME \\[1]\\/x/a b", "shape:Hangar/Bob's $HOME \\[1]\\/x/a b"}},
      {{{&a.panel3, 2}, {&a.panel1, 0}, {&a.panel2, 0}},
       PickMode::Groups,
       PickCombine::Replace,
       {"group:Hangar/Door[2]", "group:Hangar/Door", "node:Hangar/Door[2]", "node:Hangar/Door"}},
      {{{&a.panel2, 1}},
       PickMode::Groups,
       PickCombine::Toggle,
       {"group:Hangar/Door", "node:Hangar/Door"}},
      {{}, PickMode::Faces, PickCombine::Replace, {}},
  };
  PickedItems picked;
  int n = 0;
  for (const Step& step : steps) {
    SCOPED_TRACE("step " + std::to_string(n++));
    CombinePicks(picked, step.hits, step.mode, step.combine);
    EXPECT_EQ(Texts(picked), step.texts);
    // The command line's reading of the texts selects exactly the same items.
    EXPECT_EQ(Texts(SelectByTexts(a.document, step.texts)), step.texts);
    // A POSIX shell gives every argument back as it was.
    const std::string line = SelectCommandLine(step.texts);
    std::string expected;
    for (const std::string& t : step.texts)
      expected += "--select\n" + t + "\n";
    if (!line.empty()) {
      EXPECT_EQ(ShellSays("printf '%s\\n' " + line), expected) << line;
    }
  }
  EXPECT_EQ(SelectCommandLine({"faces:Hangar/Shell:2,3", "group:Bob's"}),
            "--select faces:Hangar/Shell:2,3 --select 'group:Bob'\\''s'");
}

TEST(SelectionText, CountsAndFacesCoverWhatIsPicked) {
  Awkward a;
  const struct {
    std::vector<FaceHit> hits;
    PickMode mode;
    const char* described;
    size_t faces;
  } cases[] = {
      {{}, PickMode::Faces, "nothing", 0},
      {{{&a.panel1, 1}, {&a.panel1, 2}}, PickMode::Faces, "2 faces of 1 object", 2},
      {{{&a.panel1, 1}, {&a.panel2, 2}}, PickMode::Objects, "2 objects; 8 faces in all", 8},
      {{{&a.panel2, 1}}, PickMode::Groups, "1 group (2 objects); 8 faces in all", 8},
  };
  for (const auto& c : cases) {
    PickedItems picked;
    CombinePicks(picked, c.hits, c.mode, PickCombine::Replace);
    EXPECT_EQ(DescribePicks(picked), c.described);
    EXPECT_EQ(PickedFaces(picked).size(), c.faces) << c.described;
  }
  // A text that names nothing is the command line's error, and nothing stays selected.
  EXPECT_THROW(SelectByTexts(a.document, {"faces:Hangar/Door/Panel:9"}), Error);
  EXPECT_TRUE(PickedIn(a.document).Empty());
}

}  // namespace
}  // namespace vlm::host
