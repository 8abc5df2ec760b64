// Wingform's export of a scene that carries OBJ8 data (docs/obj8-in-scenes.md): the
// animations, lights and other items, drawing states, header lines and level groups an
// imported X-Plane object brought, written back around the geometry they govern.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <unordered_map>
#include <vector>

#include "vlm/error.h"
#include "vlm/igs_parameters.h"
#include "vlm/obj8_commands.h"
#include "vlm/obj8_keywords.h"
#include "vlm/warnings.h"
#include "wingform/wingform_export.h"

namespace vlm::wingform {
namespace {

constexpr const char* Obj8Field = "OBJ8";
// The drawing state of every material that has none of its own.
constexpr const char* WingformState = "ATTR_no_cull";

// What a group's OBJ8 field makes of it.
enum class GroupKind { Plain, Animation, Item, Header };

GroupKind KindOf(const std::vector<obj8::Line>& lines, Node& group) {
  if (lines.empty()) return GroupKind::Plain;
  switch (obj8::FamilyOf(lines.front().keyword)) {
    case obj8::Family::Anim:
      return GroupKind::Animation;
    case obj8::Family::Item:
    case obj8::Family::Lines:
    case obj8::Family::Lights:
      return GroupKind::Item;
    case obj8::Family::Unknown:
      // A command of its own on an empty group; header lines on the group of a model.
      return group.Children()->Count() == 0 && group.Shapes()->Count() == 0 ? GroupKind::Item
                                                                            : GroupKind::Header;
    default:
      return GroupKind::Plain;
  }
}

// A level group's range from its name, "LOD 0-300", as the words of its ATTR_LOD line. The
// dash between them is the one with a number on either side ("LOD 1e-05-300" too).
bool LevelRange(const std::string& name, std::string& nearText, std::string& farText) {
  if (!name.starts_with("LOD ")) return false;
  const std::string range = name.substr(4);
  const auto number = [](const std::string& text, float& value) {
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && r.ec == std::errc() && r.ptr == text.data() + text.size() &&
           std::isfinite(value);
  };
  for (size_t dash = range.find('-', 1); dash != std::string::npos;
       dash = range.find('-', dash + 1)) {
    float nearDistance = 0, farDistance = 0;
    if (number(range.substr(0, dash), nearDistance) &&
        number(range.substr(dash + 1), farDistance) && nearDistance >= 0 &&
        farDistance > nearDistance) {
      nearText = range.substr(0, dash);
      farText = range.substr(dash + 1);
      return true;
    }
  }
  return false;
}

// A material whose drawing state is other than the one Wingform gives every material (both
// sides drawn): what Wingform wrote comes back as it was written without it.
bool CarriesState(GraphMaterial& material, int32_t field) {
  const std::string text = material.GetCustomField(field);
  return !text.empty() &&
         !(obj8::DrawState::FromText(text) == obj8::DrawState::FromText(WingformState));
}

// An OBJ8 transform (OBJ8's axes, metres) in the scene's axes and units: z mirrored on both
// sides, the translation in document units.
Mat4 SceneForm(const Mat4& m, float unitScale) {
  constexpr float sign[4] = {1, 1, -1, 1};
  Mat4 r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      r(i, j) = m(i, j) * sign[i] * sign[j];
  for (int j = 0; j < 3; ++j)
    r(3, j) /= unitScale;
  return r;
}

// Frames that agree to the file's precision are the same: the geometry is written untouched.
bool NearIdentity(const Mat4& m) {
  const Mat4 identity = Mat4::Identity();
  for (size_t k = 0; k < 16; ++k)
    if (!(std::fabs(m.m[k] - identity.m[k]) < 1e-5f)) return false;
  return true;
}

// An item's lines with its positions (and a spill light's direction) carried by `m`, the
// item group's frame in its animation's, when the group was moved from where it came in.
std::vector<obj8::Line> Placed(std::vector<obj8::Line> lines, const Mat4& m, float unitScale) {
  if (NearIdentity(m)) return lines;
  const auto carry = [&](std::vector<std::string>& w, int at, bool direction) {
    if (at < 0 || static_cast<size_t>(at) + 3 > w.size()) return;
    float v[3];
    for (size_t k = 0; k < 3; ++k) {
      const std::string& word = w[static_cast<size_t>(at) + k];
      const auto r = std::from_chars(word.data(), word.data() + word.size(), v[k]);
      if (r.ec != std::errc()) return;  // a word that is not a number stays as it is
    }
    const float s = direction ? 1.0f : unitScale;
    Vec3 p{v[0] / s, v[1] / s, -v[2] / s};
    p = direction ? TransformDirection(p, m) : TransformPoint(p, m);
    const float out[3] = {p.x * s, p.y * s, -p.z * s};
    for (size_t k = 0; k < 3; ++k)
      w[static_cast<size_t>(at) + k] = PlainDecimal(RoundVertexValue(out[k]));
  };
  for (obj8::Line& line : lines) {
    const obj8::ItemPlaces places = obj8::PlacesOf(line.keyword);
    carry(line.words, places.position, false);
    carry(line.words, places.direction, true);
    if (line.keyword == obj8::LineVertex || line.keyword == obj8::LightVertex)
      carry(line.words, 0, false);
  }
  return lines;
}

// An item's lines into the file: as they stand, or for LINES and LIGHTS, the rows they draw
// numbered in this file's tables and the command that draws them.
void WriteItem(XObj& obj, const std::vector<obj8::Line>& lines) {
  const std::string& keyword = lines.front().keyword;
  if (keyword != "LINES" && keyword != "LIGHTS") {
    for (const obj8::Line& line : lines)
      obj.AddCommand(line.Text());
    return;
  }
  const bool lights = keyword == "LIGHTS";
  const int32_t first = lights ? obj.LightCount() : std::max(obj.IndexCount(), 0);
  int32_t count = 0;
  for (size_t k = 1; k < lines.size(); ++k) {
    XObj::ColouredPoint row{};
    const std::vector<std::string>& words = lines[k].words;
    for (size_t w = 0; w < row.size() && w < words.size(); ++w)
      std::from_chars(words[w].data(), words[w].data() + words[w].size(), row[w]);
    if (lights)
      obj.AddLight(row);
    else
      obj.AddIndex(obj.AddLineVertex(row), 0);
    ++count;
  }
  obj.AddCommand(keyword + " " + std::to_string(first) + " " + std::to_string(count));
}

}  // namespace

// What a pass met, in the order met: runs of triangles and items, each in its animation and
// level.
struct WingformExport::DataPass {
  struct Frame {
    std::vector<obj8::Line> lines;  // the animation's own
    size_t parent = 0;              // the frame around it (1-based; 0: none)
  };
  struct Event {
    XObj* obj = nullptr;  // the object of a run of triangles; nullptr for an item
    size_t frame = 0;     // the innermost animation around it (1-based; 0: none)
    int32_t level = -1;   // its place in `levels`; -1 outside every level
    obj8::DrawState state;
    int32_t offset = 0, count = 0;  // the run's range of its object's index list
    std::vector<obj8::Line> lines;  // an item's
  };
  std::vector<Frame> frames;
  std::vector<Event> events;
  std::vector<std::pair<std::string, std::string>> levels;  // near and far, as named
  std::vector<std::string> header;
  std::unordered_map<GraphMaterial*, obj8::DrawState> states;
  bool found = false;

  // The animations around a frame, outermost first.
  std::vector<size_t> Chain(size_t frame) const {
    std::vector<size_t> chain;
    for (size_t f = frame; f; f = frames[f - 1].parent)
      chain.push_back(f);
    std::reverse(chain.begin(), chain.end());
    return chain;
  }
};

std::vector<LevelNode> WingformExport::levelNodes(Node& node) {
  if (lodMode_ != lodType::Custom) return {};
  std::string nearText, farText;
  NodeCollection* children = node.Children();
  for (int32_t i = 0; i < children->Count(); ++i)
    if (LevelRange(children->Item(i)->Name(), nearText, farText)) return {};
  std::vector<LevelNode> levels = CustomLevelNodes(
      *rootNode_, node, [](std::string_view text, const std::string& name, size_t) {
        if (const char* problem = igs::IntegerProblem(text))
          Raise(err::TypeMismatch,
                "The level distance in the node name \"" + name + "\" " + problem + ".");
        return static_cast<int32_t>(std::nearbyint(*igs::NumberIn(text)));
      });
  if (levels.size() < 2) levels.clear();
  return levels;
}

bool WingformExport::carriesData(Node& node) {
  nodeField_ = node.FindCustomField(Obj8Field);
  materialField_ = node.FindMaterialCustomField(Obj8Field);
  std::string nearText, farText;
  NodeCollection* children = node.Children();
  if (lodMode_ == lodType::Custom)
    for (int32_t i = 0; i < children->Count(); ++i)
      if (LevelRange(children->Item(i)->Name(), nearText, farText)) return true;
  if (!levelNodes(node).empty()) return true;
  if (nodeField_ < 0 && materialField_ < 0) return false;
  for (Node* n = &node; n && nodeField_ >= 0; n = n->Parent())
    if (!n->GetCustomField(nodeField_).empty()) return true;
  std::vector<Node*> open{&node};
  while (!open.empty()) {
    Node* n = open.back();
    open.pop_back();
    if (nodeField_ >= 0 && !n->GetCustomField(nodeField_).empty()) return true;
    ShapeCollection* shapes = n->Shapes();
    for (int32_t i = 0; materialField_ >= 0 && i < shapes->Count(); ++i) {
      Shape* shape = shapes->Item(i);
      for (int32_t k = 0; k < shape->MaterialCount(); ++k)
        if (GraphMaterial* m = shape->Material(k); m && CarriesState(*m, materialField_))
          return true;
    }
    for (int32_t i = 0; i < n->Children()->Count(); ++i)
      open.push_back(n->Children()->Item(i));
  }
  return false;
}

bool WingformExport::convertWithData(Node& node) {
  DataPass pass;
  // The header lines of the model the node belongs to: its own, or the nearest group's
  // above it.
  for (Node* n = &node; n && nodeField_ >= 0; n = n->Parent()) {
    const auto lines = obj8::ParseLines(n->GetCustomField(nodeField_));
    if (KindOf(lines, *n) != GroupKind::Header) continue;
    for (const obj8::Line& line : lines)
      pass.header.push_back(line.Text());
    break;
  }
  // Level nodes named after the node ("Body_200"): each level from its number of metres to the
  // next one's, the last to the farthest distance, each node in its own frame.
  const std::vector<LevelNode> levels = levelNodes(node);
  for (size_t k = 0; k < levels.size(); ++k) {
    const int32_t nearDistance = levels[k].number;
    const int32_t farDistance =
        k + 1 < levels.size() ? levels[k + 1].number : std::max(maxDistance_, nearDistance + 1);
    pass.levels.emplace_back(std::to_string(nearDistance), std::to_string(farDistance));
    gatherData(*levels[k].node, Mat4::Identity(), pass, 0, static_cast<int32_t>(k));
  }
  if (levels.empty()) gatherData(node, Mat4::Identity(), pass, 0, -1);
  writeData(pass);
  return pass.found;
}

void WingformExport::gatherData(Node& node, const Mat4& toFrame, DataPass& pass, size_t path,
                                int32_t level) {
  gatherShapes(node, toFrame, pass, path, level);
  NodeCollection* children = node.Children();
  for (int32_t i = 0; i < children->Count(); ++i) {
    Node& child = *children->Item(i);
    if (child.GetAnimationKeys(0, AnimationTimeLimit) >= AnimatedKeys) {
      if (child.Shapes()->Count() >= 1) {
        Log(child.Name() + " is animated - separate export required");
        Warn("group \"" + child.Name() +
             "\" is animated and left out of the export, with everything below it: export it "
             "separately");
      }
      continue;
    }
    const Mat4 frame = Multiply(Transpose(child.GetMatrix(&node, 0)), toFrame);
    std::string nearText, farText;
    if (lodMode_ == lodType::Custom && level < 0 && &node == exportedNode_ &&
        LevelRange(child.Name(), nearText, farText)) {
      pass.levels.emplace_back(nearText, farText);
      gatherData(child, frame, pass, path, static_cast<int32_t>(pass.levels.size()) - 1);
      continue;
    }
    const auto lines = nodeField_ >= 0 ? obj8::ParseLines(child.GetCustomField(nodeField_))
                                       : std::vector<obj8::Line>{};
    switch (KindOf(lines, child)) {
      case GroupKind::Animation: {
        std::string problem;
        const auto rest = obj8::RestTransform(lines, &problem);
        if (!rest)
          Raise(err::InvalidProcedureCall,
                "group \"" + child.Name() + "\": its OBJ8 animation cannot be read: " + problem);
        // The geometry is written in the animation's frame: moved by what the group's frame
        // adds to where the animation rests.
        Mat4 inner = Multiply(frame, RigidInverse(SceneForm(*rest, unitScale_)));
        if (NearIdentity(inner)) inner = Mat4::Identity();
        pass.frames.push_back({lines, path});
        gatherData(child, inner, pass, pass.frames.size(), level);
        break;
      }
      case GroupKind::Item: {
        DataPass::Event item;
        item.frame = path;
        item.level = level;
        item.lines = Placed(lines, frame, unitScale_);
        pass.events.push_back(std::move(item));
        pass.found = true;
        Log(child.Name());
        break;
      }
      default:
        gatherData(child, frame, pass, path, level);
    }
  }
}

void WingformExport::gatherShapes(Node& node, const Mat4& toFrame, DataPass& pass, size_t path,
                                  int32_t level) {
  ShapeCollection* shapes = node.Shapes();
  bool found = false;
  try {
    // Shape by shape, each one's triangles last first: imported again, the objects come back
    // in their order with their triangles in theirs.
    for (int32_t i = 0; i < shapes->Count(); ++i) {
      Shape& shape = *shapes->Item(i);
      sizeCheck(shape, maxDistance_);  // said in the log; every shape is kept
      checkTextureNames(shape);
      if (shape.VertexCount() == 0) continue;
      worldMatrix_ = toFrame;
      const MeshData data = groupMeshData({&shape});
      prepareObjects(data, 0, maxDistance_);
      std::vector<Seen> seen(data.positions.size() / 3);
      walkTriangles(data, [&](const Look& look, int64_t r) {
        addRun(data, look, r, seen, pass, path, level);
      });
      found = true;
    }
  } catch (const Error& e) {
    Raise(e.Number(), "group \"" + node.Name() + "\": " + e.Description());
  }
  if (!found) return;
  pass.found = true;
  Log(node.Name());
}

void WingformExport::addRun(const MeshData& data, const Look& look, int64_t r,
                            std::vector<Seen>& seen, DataPass& pass, size_t path, int32_t level) {
  GraphMaterial* material = data.materials[static_cast<size_t>(r / RecordLength)];
  auto [known, added] = pass.states.try_emplace(material);
  if (added) {
    const std::string text =
        material && materialField_ >= 0 ? material->GetCustomField(materialField_) : "";
    known->second = obj8::DrawState::FromText(text.empty() ? WingformState : text);
  }
  XObj& obj = *look.obj;
  const int32_t before = std::max(obj.IndexCount(), 0);
  addTriangle(data, look, r, 0, seen);
  // The triangle joins the run before it when that is its object's, in the same place and
  // state, and ends where it starts.
  DataPass::Event* last = pass.events.empty() ? nullptr : &pass.events.back();
  if (last && last->obj == &obj && last->frame == path && last->level == level &&
      last->state == known->second && last->offset + last->count == before) {
    last->count += 3;
    return;
  }
  DataPass::Event run;
  run.obj = &obj;
  run.frame = path;
  run.level = level;
  run.state = known->second;
  run.offset = before;
  run.count = 3;
  pass.events.push_back(std::move(run));
}

void WingformExport::writeData(DataPass& pass) {
  if (!pass.found) return;
  // What lies outside every level comes first; the levels follow in the order met. Within a
  // level, runs whose state holds more of what cannot be taken back come later.
  std::stable_sort(pass.events.begin(), pass.events.end(),
                   [](const DataPass::Event& a, const DataPass::Event& b) {
                     return std::pair(a.level, a.state.Unresettable()) <
                            std::pair(b.level, b.state.Unresettable());
                   });
  // Items go with the first object's file; a pass of items alone makes an untextured one.
  XObj* target = objects_.Count() > 0 ? &*objects_.begin() : lookOf(nullptr).obj;
  for (XObj& obj : objects_) {
    obj.headerLines = pass.header;
    std::vector<size_t> open;
    int32_t level = -1;
    obj8::DrawState state;
    const auto closeTo = [&](size_t depth) {
      while (open.size() > depth) {
        obj.AddCommand("ANIM_end");
        open.pop_back();
      }
    };
    for (const DataPass::Event& e : pass.events) {
      if (e.obj != &obj && !(e.obj == nullptr && &obj == target)) continue;
      if (e.level != level) {
        closeTo(0);
        const auto& [nearText, farText] = pass.levels[static_cast<size_t>(e.level)];
        obj.AddCommand("ATTR_LOD " + nearText + " " + farText);
        state = obj8::DrawState();  // each level starts from the defaults
        level = e.level;
      }
      const std::vector<size_t> chain = pass.Chain(e.frame);
      size_t common = 0;
      while (common < open.size() && common < chain.size() && open[common] == chain[common])
        ++common;
      closeTo(common);
      for (size_t k = common; k < chain.size(); ++k) {
        obj.AddCommand("ANIM_begin");
        for (const obj8::Line& line : pass.frames[chain[k] - 1].lines)
          obj.AddCommand(line.Text());
        open.push_back(chain[k]);
      }
      if (e.obj) {
        for (std::string& line : obj8::DrawState::Changes(state, e.state))
          obj.AddCommand(std::move(line));
        state = e.state;
        obj.AddCommand("TRIS " + std::to_string(e.offset) + " " + std::to_string(e.count));
        continue;
      }
      WriteItem(obj, e.lines);
    }
    closeTo(0);
  }
}

}  // namespace vlm::wingform
