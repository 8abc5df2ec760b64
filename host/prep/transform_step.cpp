// The transform step: moves, turns and scales the targets as one body, lands them on the
// ground, centres them and bakes groups' frames into their objects' vertices.
//
// A selected group keeps its own frame, the origin an exporter writes it from (a model's top
// group), and what it holds moves: a turn or a move of a group below it goes into that group's
// frame, so what hangs below follows unchanged (and so do the animation lines kept on its
// groups, each written in its own group's frame). An object has no frame of its own: its
// vertices move, in its group's frame. A scale cannot live in a frame (a frame is a turn and a
// move only), so it goes into the vertices below: each group keeps its world rotation, its
// origin is scaled with everything else, and each object's vertices are written again in its
// group's new frame. --apply alone works on the selected groups' own frames.
//
// Every option is read, and every place worked out, before the document is touched: a refused
// step changes nothing.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "prep/prep_steps.h"
#include "prep/transform_matrices.h"
#include "scene/document.h"

namespace vlm::host {
namespace {

using namespace transform_matrices;

// The custom field in which the OBJ8 reader keeps a group's animation and item lines (the
// exchange layer's kObj8Field; that layer sits above this one).
constexpr std::string_view kObj8Field = "OBJ8";

// The smallest and largest size of a scale factor.
constexpr double kSmallestFactor = 1e-6, kLargestFactor = 1e6;
// No vertex or group may end up farther than this from the origin along any axis: a float
// holds it with room to spare for the sums of nested frames.
constexpr double kFarthest = 1e30;

// ---- numbers ---------------------------------------------------------------------------------

std::string Num(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value == 0 ? 0.0 : value);  // no "-0"
  return text;
}

std::string Vec(Vec3 v) {
  return "(" + Num(v.x) + ", " + Num(v.y) + ", " + Num(v.z) + ")";
}

// ---- what the step works on -----------------------------------------------------------------

// The targets with nothing counted twice: no group inside another target group, no object
// inside a target group. The root, which has no frame the scene file keeps, stands for its
// groups and objects; with `inside`, so does every group: its own frame stays, for it is the
// origin an exporter writes the group from (a model's top group), and what it holds moves.
struct Targets {
  std::vector<HostNode*> groups;
  std::vector<HostMesh*> objects;
};

bool Below(const HostNode* node, const std::set<const HostNode*>& groups) {
  for (; node; node = node->parent)
    if (groups.count(node)) return true;
  return false;
}

Targets OutermostTargets(const PrepTargets& given, bool inside) {
  std::vector<HostNode*> groups;
  std::vector<HostMesh*> objects = given.objects;
  for (HostNode* group : given.groups) {
    if (group->parent && !inside) {
      groups.push_back(group);
      continue;
    }
    for (const auto& child : group->children)
      groups.push_back(child.get());
    for (const auto& mesh : group->meshes)
      objects.push_back(mesh.get());
  }
  const std::set<const HostNode*> all(groups.begin(), groups.end());
  Targets targets;
  for (HostNode* group : groups)
    if (!Below(group->parent, all) &&
        std::find(targets.groups.begin(), targets.groups.end(), group) == targets.groups.end())
      targets.groups.push_back(group);
  for (HostMesh* mesh : objects)
    if (!Below(mesh->parent, all) &&
        std::find(targets.objects.begin(), targets.objects.end(), mesh) == targets.objects.end())
      targets.objects.push_back(mesh);
  return targets;
}

std::string Count(size_t n, const char* what) {
  return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

// "2 groups and 1 object"
std::string Items(const Targets& targets) {
  std::string text;
  if (!targets.groups.empty()) text = Count(targets.groups.size(), "group");
  if (!targets.objects.empty())
    text += (text.empty() ? "" : " and ") + Count(targets.objects.size(), "object");
  return text;
}

// Calls visit(group, world matrix) for a group and every group below it, parents first.
template <class Visit>
void WalkGroups(const HostNode& group, const Mat4& parentWorld, Visit&& visit) {
  const Mat4 world = Multiply(group.LocalMatrix(), parentWorld);
  visit(group, world);
  for (const auto& child : group.children)
    WalkGroups(*child, world, visit);
}

// Calls visit(mesh, world matrix of its group) for every object of the targets.
template <class Visit>
void WalkObjects(const Targets& targets, Visit&& visit) {
  for (const HostNode* group : targets.groups)
    WalkGroups(*group, ParentWorld(group->parent), [&](const HostNode& g, const Mat4& world) {
      for (const auto& mesh : g.meshes)
        visit(*mesh, world);
    });
  for (const HostMesh* mesh : targets.objects)
    visit(*mesh, ParentWorld(mesh->parent));
}

// An axis-aligned box in world space.
struct Box {
  double low[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL};
  double high[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};

  bool Empty() const { return low[0] > high[0]; }
  void Add(Vec3 p) {
    const double xyz[3] = {p.x, p.y, p.z};
    for (int i = 0; i < 3; ++i) {
      low[i] = std::min(low[i], xyz[i]);
      high[i] = std::max(high[i], xyz[i]);
    }
  }
  Vec3 Centre() const {
    return {static_cast<float>((low[0] + high[0]) / 2), static_cast<float>((low[1] + high[1]) / 2),
            static_cast<float>((low[2] + high[2]) / 2)};
  }
  // Every corner within kFarthest of the origin on each axis (a box with a NaN is not).
  bool Near() const {
    if (Empty()) return true;
    for (int i = 0; i < 3; ++i)
      if (!(std::fabs(low[i]) <= kFarthest && std::fabs(high[i]) <= kFarthest)) return false;
    return true;
  }
};

// The box of every vertex of the targets in world space, after `after`.
Box VertexBox(const Targets& targets, const Mat4& after) {
  Box box;
  WalkObjects(targets, [&](const HostMesh& mesh, const Mat4& world) {
    const Mat4 m = Multiply(world, after);
    for (const Vec3& v : mesh.vertices)
      box.Add(TransformPoint(v, m));
  });
  return box;
}

// The box of the origins of the target groups and every group below them, after `after`.
Box OriginBox(const Targets& targets, const Mat4& after) {
  Box box;
  for (const HostNode* group : targets.groups)
    WalkGroups(*group, ParentWorld(group->parent), [&](const HostNode&, const Mat4& world) {
      box.Add(TransformPoint(Row(world, 3), after));
    });
  return box;
}

// The groups of the targets, and below them, that carry OBJ8 lines and pass `test`.
template <class Test>
std::vector<const HostNode*> Obj8Groups(const HostDocument& document, const Targets& targets,
                                        Test&& test) {
  std::vector<const HostNode*> found;
  const int32_t slot = document.FindNodeField(kObj8Field);
  if (slot < 0) return found;
  for (const HostNode* group : targets.groups)
    WalkGroups(*group, ParentWorld(group->parent), [&](const HostNode& g, const Mat4&) {
      const auto field = g.fields.find(slot);
      if (field != g.fields.end() && !field->second.empty() && test(g)) found.push_back(&g);
    });
  return found;
}

// "2 groups (Door, Gear)", the first few named.
std::string GroupList(const std::vector<const HostNode*>& groups) {
  std::string names;
  for (size_t i = 0; i < groups.size() && i < 3; ++i)
    names += (i ? ", \"" : "\"") + groups[i]->Path() + "\"";
  if (groups.size() > 3) names += ", ...";
  return Count(groups.size(), "group") + " (" + names + ")";
}

// ---- the options ----------------------------------------------------------------------------

struct Rotation {
  int axis;
  double degrees;
};

struct Plan {
  bool apply = false;
  std::optional<std::string> upAxis;  // "+z", ...
  std::vector<Rotation> rotations;
  std::optional<Vec3> scale;
  bool aboutCentre = false;
  std::optional<Vec3> move;
  std::optional<std::string> centre;  // "xz" or "xyz"
  bool ground = false;
};

// The turn that brings a model's up axis to +y: a quarter turn about x for ±z, about z for
// ±x, a half turn about x for -y (each a proper rotation, so the model stays right-handed).
Rotation UpTurn(const std::string& axis) {
  if (axis == "+z") return {0, -90};
  if (axis == "-z") return {0, 90};
  if (axis == "+x") return {2, 90};
  if (axis == "-x") return {2, -90};
  if (axis == "-y") return {0, 180};
  return {1, 0};
}

Rotation ReadRotation(const std::string& text) {
  auto refuse = [&](const std::string& problem) -> Rotation {
    throw PrepBadValue("--rotate " + text + ": " + problem);
  };
  const size_t colon = text.find(':');
  if (colon == std::string::npos) return refuse("give AXIS:DEG, as y:90");
  std::string axis = text.substr(0, colon);
  const std::string angle = text.substr(colon + 1);
  if (axis.size() != 1 || std::string_view("xyzXYZ").find(axis[0]) == std::string_view::npos)
    return refuse("the axis is x, y or z");
  const PrepArgs number({"rotate=" + angle});
  std::optional<double> degrees;
  try {
    degrees = number.Number("rotate", -std::numeric_limits<double>::max(),
                            std::numeric_limits<double>::max());
  } catch (const PrepBadValue&) {
    return refuse("the angle is not a number of degrees");
  }
  if (!degrees) return refuse("the angle is not a number of degrees");
  const int index = static_cast<int>(std::string_view("xyz").find(
      static_cast<char>(std::tolower(static_cast<unsigned char>(axis[0])))));
  return {index, *degrees};
}

Vec3 ReadScale(const PrepArgs& args) {
  const std::string text = *args.Text("scale");
  Vec3 factors;
  if (text.find(',') != std::string::npos) {
    factors = *args.Vector("scale");
  } else {
    const double s = *args.Number("scale", -std::numeric_limits<double>::max(),
                                  std::numeric_limits<double>::max());
    const float f = static_cast<float>(std::clamp(s, -1e30, 1e30));
    factors = {f, f, f};
  }
  for (float f : {factors.x, factors.y, factors.z}) {
    if (f == 0) args.Refuse("scale", "0 would flatten the model; give a factor other than 0");
    if (std::fabs(f) < kSmallestFactor || std::fabs(f) > kLargestFactor)
      args.Refuse("scale",
                  "give factors from 0.000001 to 1000000 in size (a negative one mirrors)");
  }
  return factors;
}

Plan ReadPlan(const PrepArgs& args) {
  Plan plan;
  plan.apply = args.Flag("apply");
  if (auto axis = args.Choice("up-axis", {"+x", "-x", "+y", "-y", "+z", "-z", "x", "y", "z"}))
    plan.upAxis = axis->size() == 1 ? "+" + *axis : *axis;
  for (const std::string& text : args.Texts("rotate"))
    plan.rotations.push_back(ReadRotation(text));
  if (args.Has("scale")) plan.scale = ReadScale(args);
  plan.aboutCentre = args.Choice("pivot", {"origin", "centre"}).value_or("origin") == "centre";
  plan.move = args.Vector("move");
  plan.centre = args.Choice("centre", {"xz", "xyz"});
  plan.ground = args.Flag("ground");
  if (!plan.apply && !plan.upAxis && plan.rotations.empty() && !plan.scale && !plan.move &&
      !plan.centre && !plan.ground)
    throw PrepBadValue(
        "give at least one of --move, --rotate, --scale, --up-axis, --centre, --ground or "
        "--apply (--pivot only says what to turn and scale about)");
  return plan;
}

// ---- changing the document ------------------------------------------------------------------

// Vertices by `points`, normals by `normals` (made unit again when `unit`), and with `mirror`
// each face's corners in the other order: the first corner stays first (the fan drawn from
// it gives the same triangles) and the others reverse, so the face turns to face out again.
void ChangeMesh(HostMesh& mesh, const Mat4& points, const Mat4& normals, bool unit, bool mirror) {
  for (Vec3& v : mesh.vertices)
    v = TransformPoint(v, points);
  for (Vec3& n : mesh.normals) {
    n = TransformDirection(n, normals);
    if (unit) n = Direction(n);
  }
  if (!mirror) return;
  for (size_t face = 0; face < mesh.FaceCount(); ++face) {
    auto corners = mesh.Points(face);
    if (corners.size() > 2) std::reverse(corners.begin() + 1, corners.end());
  }
}

// A turn or a move (`change`, in world space) of every target.
void ChangeRigidly(const Targets& targets, const Mat4& change) {
  for (HostNode* group : targets.groups) {
    const Mat4 parent = ParentWorld(group->parent);
    const Mat4 inParent = Multiply(Multiply(parent, change), RigidInverse(parent));
    SetFrame(*group, Multiply(group->LocalMatrix(), inParent));
  }
  for (HostMesh* mesh : targets.objects) {
    const Mat4 frame = ParentWorld(mesh->parent);
    const Mat4 inFrame = Multiply(Multiply(frame, change), RigidInverse(frame));
    ChangeMesh(*mesh, inFrame, inFrame, false, false);
  }
}

// A move by `shift` (world space): a group's position and an object's vertices move, the
// axes stay exactly as they were.
void Shift(const Targets& targets, Vec3 shift) {
  for (HostNode* group : targets.groups)
    group->position += TransformDirection(shift, RigidInverse(ParentWorld(group->parent)));
  for (HostMesh* mesh : targets.objects) {
    const Vec3 local = TransformDirection(shift, RigidInverse(ParentWorld(mesh->parent)));
    for (Vec3& v : mesh->vertices)
      v += local;
  }
}

// A scale (`points` for places, `normals` its inverse transpose, both in world space) of a
// group and everything below it: the group keeps its world rotation, its origin goes where the
// scale takes it, and its objects' vertices are written in its new frame.
void ScaleGroup(HostNode& group, const Mat4& oldParent, const Mat4& newParent, const Mat4& points,
                const Mat4& normals, bool mirror) {
  const Mat4 oldWorld = Multiply(group.LocalMatrix(), oldParent);
  Mat4 newWorld = oldWorld;
  SetRow(newWorld, 3, TransformPoint(Row(oldWorld, 3), points));
  const Mat4 back = RigidInverse(newWorld);
  group.position = TransformPoint(Row(newWorld, 3), RigidInverse(newParent));
  for (const auto& mesh : group.meshes)
    ChangeMesh(*mesh, Multiply(Multiply(oldWorld, points), back),
               Multiply(Multiply(oldWorld, normals), back), true, mirror);
  for (const auto& child : group.children)
    ScaleGroup(*child, oldWorld, newWorld, points, normals, mirror);
}

void Scale(const Targets& targets, const Mat4& points, const Mat4& normals, bool mirror) {
  for (HostNode* group : targets.groups) {
    const Mat4 parent = ParentWorld(group->parent);
    ScaleGroup(*group, parent, parent, points, normals, mirror);
  }
  for (HostMesh* mesh : targets.objects) {
    const Mat4 frame = ParentWorld(mesh->parent);
    const Mat4 back = RigidInverse(frame);
    ChangeMesh(*mesh, Multiply(Multiply(frame, points), back),
               Multiply(Multiply(frame, normals), back), true, mirror);
  }
}

// Bakes a group's frame and those below it into their objects' vertices; the groups end with
// the identity frame, in the frame of the target's parent. Counts the groups and objects.
void Bake(HostNode& group, const Mat4& parentWorld, const Mat4& back, size_t& groups,
          size_t& objects) {
  const Mat4 world = Multiply(group.LocalMatrix(), parentWorld);
  const Mat4 toTarget = Multiply(world, back);
  for (const auto& mesh : group.meshes)
    ChangeMesh(*mesh, toTarget, toTarget, false, false);
  for (const auto& child : group.children)
    Bake(*child, world, back, groups, objects);
  group.position = {};
  group.forward = kDefaultForward;
  group.up = kDefaultUp;
  ++groups;
  objects += group.meshes.size();
}

bool IsIdentityFrame(const HostNode& group) {
  return group.position == Vec3{} && group.forward == kDefaultForward && group.up == kDefaultUp;
}

void Transform(PrepContext& context) {
  const Plan plan = ReadPlan(context.args);
  const Targets targets = OutermostTargets(context.targets, true);
  // --apply bakes the frames of the groups themselves.
  const Targets framed = OutermostTargets(context.targets, false);
  if (targets.groups.empty() && targets.objects.empty() && framed.groups.empty())
    throw PrepNothingToDo("there are no groups or objects to transform");

  // Everything is worked out here, before the document changes: the lines for the log, the
  // warnings, and one turn, one scale and one move that together do every operation.
  std::vector<std::string> lines, warnings;
  bool anything = false;
  const std::string items = Items(targets);

  if (plan.apply) {
    if (framed.groups.empty()) {
      warnings.push_back(
          "--apply: objects have no frame of their own; only groups' frames "
          "are applied");
    } else {
      anything = true;
      const auto animated = Obj8Groups(context.document, framed,
                                       [](const HostNode& g) { return !IsIdentityFrame(g); });
      if (!animated.empty())
        warnings.push_back(
            "--apply: the lines kept in the OBJ8 fields of " + GroupList(animated) +
            " stay as they were, written for the frames the groups had: their animations' axes "
            "and translations no longer match the baked vertices");
    }
  }

  Vec3 pivot{};
  std::string about;
  if (plan.aboutCentre && (plan.upAxis || !plan.rotations.empty() || plan.scale)) {
    const Box box = VertexBox(targets, Mat4::Identity());
    if (box.Empty()) {
      warnings.push_back(
          "--pivot centre: the targets have no vertices; they turn and scale "
          "about the origin");
    } else {
      pivot = box.Centre();
      about = " about the centre " + Vec(pivot);
    }
  }

  Mat4 turn = Mat4::Identity();
  if (plan.upAxis) {
    anything = anything || *plan.upAxis != "+y";
    const Rotation up = UpTurn(*plan.upAxis);
    turn = Multiply(turn, AboutPoint(Turn(up.axis, up.degrees), pivot));
    lines.push_back(*plan.upAxis == "+y"
                        ? "up axis already +y: " + items + " not turned"
                        : "turned " + items + about + ": up axis " + *plan.upAxis + " to +y");
    if (*plan.upAxis == "+y")
      warnings.push_back("--up-axis +y: the up axis is +y already; not turned");
  }
  for (const Rotation& r : plan.rotations) {
    anything = true;
    turn = Multiply(turn, AboutPoint(Turn(r.axis, r.degrees), pivot));
    lines.push_back("turned " + items + " by " + Num(r.degrees) + " degrees about " +
                    "xyz"[r.axis] + (about.empty() ? "" : ", through the centre " + Vec(pivot)));
  }

  Mat4 scale = Mat4::Identity(), scaleNormals = Mat4::Identity();
  bool mirror = false;
  if (plan.scale) {
    anything = true;
    const Vec3 s = *plan.scale;
    scale = AboutPoint(Diagonal(s), pivot);
    scaleNormals = Diagonal({1 / s.x, 1 / s.y, 1 / s.z});
    mirror = ((s.x < 0) + (s.y < 0) + (s.z < 0)) % 2 == 1;
    const bool uniform = s.x == s.y && s.y == s.z;
    lines.push_back("scaled " + items + " by " + (uniform ? Num(s.x) : Vec(s)) +
                    (about.empty() ? " about the origin" : about) +
                    (mirror ? ", mirrored: each face's corners reversed so it faces out" : ""));
    const auto animated =
        Obj8Groups(context.document, targets, [](const HostNode&) { return true; });
    if (!animated.empty())
      warnings.push_back("the scale " + (uniform ? Num(s.x) : Vec(s)) +
                         " applies to the vertices and the groups' places; the lines kept in "
                         "the OBJ8 fields of " +
                         GroupList(animated) +
                         " stay as they were: their animations' translations are not scaled");
  }

  Vec3 shift{};
  if (plan.move) {
    anything = true;
    shift = *plan.move;
    lines.push_back("moved " + items + " by " + Vec(shift));
  }
  auto boxSoFar = [&] {
    return VertexBox(targets, Multiply(Multiply(turn, scale), Translation(shift)));
  };
  if (plan.centre) {
    const Box box = boxSoFar();
    if (box.Empty()) {
      warnings.push_back("--centre: the targets have no vertices to centre");
    } else {
      anything = true;
      Vec3 by = -box.Centre();
      if (*plan.centre == "xz") by.y = 0;
      shift += by;
      lines.push_back(
          std::string(*plan.centre == "xz" ? "centred on x = z = 0" : "centred on the origin") +
          ": moved " + items + " by " + Vec(by));
    }
  }
  if (plan.ground) {
    const Box box = boxSoFar();
    if (box.Empty()) {
      warnings.push_back("--ground: the targets have no vertices to land on the ground");
    } else {
      anything = true;
      const float by = static_cast<float>(-box.low[1]);
      shift.y += by;
      lines.push_back(by == 0 ? std::string("already on the ground: the lowest point is at y = 0")
                              : "landed on the ground: moved " + items + " by " +
                                    Num(std::fabs(by)) + (by > 0 ? " up" : " down"));
    }
  }
  if (!anything) {
    // Say why: each operation asked for was left out for the reason its warning gives.
    std::string why = plan.upAxis == "+y" ? "the up axis is already +y" : "";
    for (const std::string& warning : warnings)
      why += (why.empty() ? "" : "; ") + warning;
    throw PrepNothingToDo(why);
  }

  const Mat4 whole = Multiply(Multiply(turn, scale), Translation(shift));
  if (!VertexBox(targets, whole).Near() || !OriginBox(targets, whole).Near())
    throw PrepBadValue("the targets would end up more than " + Num(kFarthest) +
                       " from the origin, farther than their coordinates can hold; give a "
                       "smaller --scale or --move");

  // Now the document changes, in the order the operations are listed.
  if (plan.apply) {
    size_t groups = 0, objects = 0;
    for (HostNode* group : framed.groups) {
      const Mat4 parent = ParentWorld(group->parent);
      Bake(*group, parent, RigidInverse(parent), groups, objects);
    }
    if (groups > 0)
      context.log << "applied the frames of " << Count(groups, "group") << " to the vertices of "
                  << Count(objects, "object")
                  << ": each group now at the origin, facing +z, up +y\n";
  }
  if (turn != Mat4::Identity()) ChangeRigidly(targets, turn);
  if (plan.scale) Scale(targets, scale, scaleNormals, mirror);
  if (shift != Vec3{}) Shift(targets, shift);
  for (const std::string& line : lines)
    context.log << line << "\n";
  for (const std::string& warning : warnings)
    context.warn(warning);
}

}  // namespace

PrepStepInfo TransformStep() {
  return {"transform",
          "Move, turn and scale the targets as one, land them on the ground, centre them, "
          "bake group frames (in the order apply, up-axis, rotate, scale, move, centre, "
          "ground, whatever the order given)",
          {{"apply", "",
            "Bake each target group's frame, and those of the groups below it, into the "
            "vertices: the groups end at the origin facing +z, up +y, and nothing moves in "
            "the world. Done first"},
           {"up-axis", "AXIS",
            "The axis the model has as up (+x, -x, +y, -y, +z, -z; z means +z), turned to +y "
            "by a proper rotation so the model stays right-handed: +z by -90 degrees about x "
            "(Z-up to Y-up: +y becomes -z), -z by 90 about x, +x by 90 about z, -x by -90 "
            "about z, -y by 180 about x"},
           {"rotate", "AXIS:DEG",
            "Turn by DEG degrees about the world axis x, y or z, right-handed (y:90 turns +z "
            "to +x); repeat it for more turns, done in the order given",
            true},
           {"scale", "S|SX,SY,SZ",
            "Scale by S, or by SX, SY, SZ along the world axes (factors from 0.000001 to "
            "1000000 in size, never 0); a negative factor, or an odd count of them, mirrors "
            "and reverses each face's corners so the faces still face out"},
           {"pivot", "origin|centre",
            "Turn (--up-axis, --rotate) and scale about the world origin or about the centre "
            "of the targets' bounding box as they stand before the step; default: origin"},
           {"move", "X,Y,Z", "Move by X,Y,Z in world space, in the scene's units"},
           {"centre", "xz|xyz",
            "Move so the centre of the targets' bounding box (world space) lies at x = z = 0; "
            "xyz: at the origin"},
           {"ground", "", "Move up or down so the lowest vertex lies at y = 0 (world space)"}},
          Transform};
}

}  // namespace vlm::host
