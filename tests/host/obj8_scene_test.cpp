// OBJ8 files of every command family read into the scene whole: animations as groups resting
// where their datarefs at 0 put them, lights and other items as groups of their own, the
// drawing state on the materials and the header on the top group (host/exchange/obj8_import).

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>

#include "exchange/model_import.h"
#include "exchange/obj8_file.h"
#include "exchange/obj8_import.h"
#include "obverse/obverse.h"
#include "scene/builder.h"
#include "scene/document.h"
#include "support/dialogs.h"
#include "support/temp_home.h"
#include "support/wingform_export.h"
#include "wingform/wingform.h"

namespace vlm {
namespace {

using ::testing::ElementsAre;

const std::string Corpus = std::string(VLM_TEST_DATA_DIR) + "/obj8/";

std::string OneLine(std::string text) {
  for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at))
    text.replace(at, 1, " | ");
  return text;
}

// The tree under the top group, one line a group or object, with what its OBJ8 field holds
// (for an object, its material's).
std::string Outline(host::HostDocument& document) {
  const int32_t field = document.FindNodeField(host::kObj8Field);
  const int32_t state = document.FindMaterialField(host::kObj8Field);
  std::string out;
  std::function<void(const host::HostNode&, int)> walk = [&](const host::HostNode& node,
                                                             int depth) {
    out += std::string(2 * static_cast<size_t>(depth), ' ') + node.name;
    if (field >= 0 && !node.Field(field).empty()) out += " {" + OneLine(node.Field(field)) + "}";
    out += "\n";
    for (const auto& mesh : node.meshes)
      out += std::string(2 * static_cast<size_t>(depth) + 2, ' ') + "* " + mesh->name + " " +
             std::to_string(mesh->FaceCount()) + " {" +
             OneLine(mesh->FaceMaterial(0)->GetCustomField(state)) + "}\n";
    for (const auto& child : node.children)
      walk(*child, depth + 1);
  };
  walk(*document.Root().children.at(0), 0);
  return out;
}

TEST(Obj8Scene, EachCommandFamilyIsKeptOnItsGroup) {
  const struct {
    const char* file;
    const char* outline;
  } cases[] = {
      {"door.obj",
       "door {GLOBAL_specular 0.5}\n"
       "  anim door {ANIM_trans 2 0 0 2 0 0 0 0 none | "
       "ANIM_rotate 0 1 0 30 120 0 1 sim/cockpit/door}\n"
       "    * door 2 {ATTR_cull}\n"},
      {"gear.obj",
       "gear\n"
       "  anim gear {ANIM_trans_begin sim/aircraft/gear | ANIM_trans_key -1 0 0 0 | "
       "ANIM_trans_key 1 0 2 0 | ANIM_trans_end | ANIM_rotate_begin 1 0 0 sim/aircraft/gear | "
       "ANIM_rotate_key 0.5 -90 | ANIM_rotate_key 1 0 | ANIM_keyframe_loop 2 | ANIM_rotate_end | "
       "ANIM_show 0 1 sim/aircraft/gear_deploy | ANIM_hide 1 2 sim/aircraft/gear_deploy}\n"
       "    * gear 2 {ATTR_cull}\n"},
      // The turn after the first triangle begins an animation inside: only what follows it
      // turns.
      {"nested.obj",
       "nested\n"
       "  LOD 0-1000\n"
       "    anim {ANIM_trans 0 1 0 0 1 0 0 0 none}\n"
       "      * wing 1 {ATTR_cull}\n"
       "      anim flap {ANIM_rotate 1 0 0 0 90 0 1 sim/flightmodel/flap}\n"
       "        * wing 1 {ATTR_cull}\n"
       "        anim flap {ANIM_hide 0 0.5 sim/flightmodel/flap}\n"
       "          * wing 1 {ATTR_cull}\n"
       "  LOD 1000-5000\n"
       "    * wing 2 {ATTR_cull}\n"},
      {"lights.obj",
       "lights\n"
       "  light airplane_beacon_rotate {LIGHT_NAMED airplane_beacon_rotate 0 3 0}\n"
       "  anim total_running_time_sec "
       "{ANIM_rotate 0 1 0 0 360 0 10 sim/time/total_running_time_sec}\n"
       "    * mast 1 {ATTR_cull}\n"
       "    light full_custom_halo {LIGHT_PARAM full_custom_halo 1 2 3 1 1 1 0.5 1 0 0 0}\n"
       "    custom light {LIGHT_CUSTOM 0 1 0 1 1 1 1 0.5 0 0 1 1 sim/lights/beacon}\n"
       "    spill light {LIGHT_SPILL_CUSTOM 0 1 0 1 1 1 1 10 0 0 -1 0.5 none}\n"
       "    lights {LIGHTS | VLIGHT 0 5 0 1 0 0 | VLIGHT 0 6 0 0 1 0}\n"},
      {"effects.obj",
       "effects {PARTICLE_SYSTEM hangar.pss}\n"
       "  * hangar 1 {ATTR_cull}\n"
       "  lines {LINES | VLINE 0 0 0 1 1 0 | VLINE 5 0 0 1 1 0 | VLINE 5 0 0 1 1 0 | "
       "VLINE 5 0 5 1 1 0}\n"
       "  smoke_black {smoke_black 0 10 0 2}\n"
       "  emitter chimney_smoke {EMITTER chimney_smoke 0 12 0 0 90 0}\n"
       "  magnet winch {MAGNET winch xpl_tug 0 1 -2 0 0 0}\n"
       "  FUTURE_command {FUTURE_command 1 2 3}\n"},
      // Each drawing state is a material of its own, back at the defaults the last.
      {"attributes.obj",
       "attributes {TEXTURE_DRAPED ground.png | GLOBAL_specular 0.5 | BLEND_GLASS | "
       "NORMAL_METALNESS | TILTED | REQUIRE_WET | slung_load_weight 200 | ATTR_LOD_draped 5000 | "
       "ATTR_layer_group_draped airports 1}\n"
       "  * panel 1 {ATTR_cull | ATTR_hard concrete | ATTR_shiny_rat 0.5}\n"
       "  * panel 1 {ATTR_cull | ATTR_shiny_rat 0.5 | "
       "ATTR_manip_command hand sim/lights/taxi_toggle Taxi lights | ATTR_manip_wheel 0.1}\n"
       "  * panel 1 {ATTR_cull | ATTR_no_blend 0.5 | ATTR_shiny_rat 0.5 | "
       "ATTR_light_level 0 1 sim/cockpit/panel_brightness | ATTR_draped | ATTR_poly_os 2 | "
       "ATTR_cockpit_region 0}\n"
       "  * panel 1 {ATTR_cull}\n"},
      // Levels that both start at 0 add up: each keeps its range.
      {"additive_lods.obj",
       "additive_lods\n"
       "  LOD 0-1000\n"
       "    * tower 1 {ATTR_cull}\n"
       "  LOD 0-4000\n"
       "    * tower 1 {ATTR_no_cull}\n"},
      {"animated_manipulator.obj",
       "animated_manipulator\n"
       "  anim throttle {ANIM_trans 0 0.5 0 0 0.5 0 0 0 none | "
       "ANIM_rotate_begin 1 0 0 sim/cockpit/throttle | ANIM_rotate_key 0 0 | "
       "ANIM_rotate_key 1 45 | ANIM_rotate_end}\n"
       "    * lever 2 {ATTR_cull | ATTR_manip_drag_rotate hand 0 0.5 0 1 0 0 0 45 0 1 "
       "sim/cockpit/throttle none Throttle | ATTR_manip_keyframe 0 0 | "
       "ATTR_manip_keyframe 1 45}\n"},
  };
  for (const auto& c : cases) {
    const host::ImportedModel model = host::ImportModel(Corpus + c.file);
    EXPECT_EQ(Outline(*model.document), c.outline) << c.file;
    EXPECT_THAT(model.log, ElementsAre()) << c.file;
  }
}

// Where X-Plane shows a corner with every dataref at 0 is where the scene has it: the file's
// corner through its animations, z mirrored.
TEST(Obj8Scene, AnimatedPartsRestWhereTheirDataRefsAtZeroPutThem) {
  const double c30 = std::cos(M_PI / 6), s30 = std::sin(M_PI / 6);
  const struct {
    const char* file;
    std::vector<Vec3> corners;  // the first mesh's vertices in the scene's world
  } cases[] = {
      // Turned 30 degrees about y on a hinge at x = 2: the file's (1, 0, 0) is at
      // (2 + cos 30, 0, -sin 30), so the scene's (2 + cos 30, 0, sin 30).
      {"door.obj",
       {{0 + 2, 0, 0},
        {static_cast<float>(2 + c30), 0, static_cast<float>(s30)},
        {static_cast<float>(2 + c30), 2, static_cast<float>(s30)},
        {2, 2, 0}}},
      // Lifted halfway (1 m) and turned -90 degrees about x: (x, y, 0) goes to (x, 1, -y)
      // in the file, (x, 1, y) in the scene.
      {"gear.obj", {{0, 1, 0}, {1, 1, 0}, {1, 1, 2}, {0, 1, 2}}},
  };
  for (const auto& c : cases) {
    const host::ImportedModel model = host::ImportModel(Corpus + c.file);
    const host::HostNode& group = *model.document->Root().children.at(0)->children.at(0);
    const Mat4 world = group.WorldMatrix();
    const host::HostMesh& mesh = *group.meshes.at(0);
    ASSERT_EQ(mesh.vertices.size(), c.corners.size()) << c.file;
    // The mesh holds the corners in the order its triangles first use them.
    for (const Vec3 corner : c.corners)
      EXPECT_TRUE(std::any_of(mesh.vertices.begin(), mesh.vertices.end(),
                              [&](Vec3 v) {
                                const Vec3 p = TransformPoint(v, world);
                                return Length(p - corner) < 1e-5f;
                              }))
          << c.file << ": no corner at " << corner.x << " " << corner.y << " " << corner.z;
  }
}

// Each mesh's corners where the scene shows them (through the frames of its groups), sorted, in
// the order of the tree.
std::vector<std::vector<Vec3>> WorldCorners(const host::HostDocument& document) {
  std::vector<std::vector<Vec3>> out;
  std::function<void(const host::HostNode&)> walk = [&](const host::HostNode& node) {
    const Mat4 world = node.WorldMatrix();
    for (const auto& mesh : node.meshes) {
      std::vector<Vec3> corners;
      for (const Vec3 v : mesh->vertices) {
        const Vec3 p = TransformPoint(v, world);
        // To the file's 5 decimals, the noise of the frames' floats rounded away.
        const auto round = [](float f) { return std::round(f * 1e4f) / 1e4f + 0.0f; };
        corners.push_back({round(p.x), round(p.y), round(p.z)});
      }
      std::sort(corners.begin(), corners.end(),
                [](Vec3 a, Vec3 b) { return std::tie(a.x, a.y, a.z) < std::tie(b.x, b.y, b.z); });
      out.push_back(std::move(corners));
    }
    for (const auto& child : node.children)
      walk(*child);
  };
  walk(document.Root());
  return out;
}

// Imported, written by Wingform with its levels as they are ("Custom LODs") and imported
// again: the same groups with the same OBJ8 lines, the same drawing states and the corners in
// the same places.
TEST(Obj8Scene, EveryFileComesBackFromWingformAsItWent) {
  for (const char* file : {"door.obj", "gear.obj", "nested.obj", "lights.obj", "effects.obj",
                           "attributes.obj", "additive_lods.obj", "animated_manipulator.obj"}) {
    SCOPED_TRACE(file);
    test::TempHome home;
    const std::string stem = std::filesystem::path(file).stem().string();
    const host::ImportedModel first = host::ImportModel(Corpus + file, {stem});
    host::HostNode& top = *first.document->Root().children.at(0);
    test::ScriptedScope dialogs("optLOD(2)=1; click cmdOK; click cmdCancel");
    Wingform wingform;
    wingform.SetClock(test::FixedTime);
    const std::filesystem::path out = home.Path() / "again.obj";
    ASSERT_EQ(wingform.PluginImportExport_Export(out.string(), &top.AsNode(), first.document.get(),
                                                 nullptr, {}, {}, ""),
              StatusOk)
        << LastError().description;
    const host::ImportedModel second = host::ImportModel(out, {stem});
    EXPECT_EQ(Outline(*second.document), Outline(*first.document));
    EXPECT_EQ(WorldCorners(*second.document), WorldCorners(*first.document));
    EXPECT_THAT(second.log, ElementsAre());
  }
}

// Obverse mirrors an imported animation with its geometry: the copy's lines turn the other way,
// its frame is where they rest, and written by Wingform and read again it stands where the
// copy stands, the original's mirror image.
TEST(Obj8Scene, ObverseMirrorsAnAnimationWithItsGeometry) {
  test::TempHome home;
  host::ImportedModel model = host::ImportModel(Corpus + "door.obj");
  host::HostDocument& document = *model.document;
  document.scriptingSelection.groups.push_back(document.Root().children.at(0).get());
  {
    test::ScriptedScope dialogs("input x");
    Obverse tool;
    ASSERT_EQ(tool.Plugin_Apply(&document, &document, 0, {}, {}, ""), StatusOk);
  }
  host::HostNode& copy = *document.Root().children.at(1);
  ASSERT_EQ(copy.name, "doorX");
  const int32_t field = document.FindNodeField(host::kObj8Field);
  EXPECT_EQ(copy.children.at(0)->Field(field),
            "ANIM_trans -2 0 0 -2 0 0 0 0 none\nANIM_rotate 0 1 0 -30 -120 0 1 sim/cockpit/door");
  EXPECT_EQ(copy.Field(field), "GLOBAL_specular 0.5");  // the header has nothing to mirror

  // The copy's corners are the original's with x turned over.
  std::vector<std::vector<Vec3>> corners = WorldCorners(document);
  ASSERT_EQ(corners.size(), 2u);
  for (Vec3& v : corners[0])
    v.x = -v.x + 0.0f;
  std::sort(corners[0].begin(), corners[0].end(),
            [](Vec3 a, Vec3 b) { return std::tie(a.x, a.y, a.z) < std::tie(b.x, b.y, b.z); });
  EXPECT_EQ(corners[1], corners[0]);

  test::ScriptedScope dialogs("click cmdOK; click cmdCancel");
  Wingform wingform;
  const std::filesystem::path out = home.Path() / "mirrored.obj";
  ASSERT_EQ(wingform.PluginImportExport_Export(out.string(), &copy.AsNode(), &document, nullptr, {},
                                               {}, ""),
            StatusOk)
      << LastError().description;
  EXPECT_EQ(WorldCorners(*host::ImportModel(out).document),
            std::vector<std::vector<Vec3>>{corners[1]});
}

// "Custom LODs" writes the levels the scene names: level groups ("LOD 0-300") of the exported
// group, or the root's groups named after it with a number of metres ("Body_500"), each level
// from its number to the next one's and the last to Max. Visible. Other modes write one level.
TEST(Obj8Scene, CustomLodsWriteTheLevelsTheSceneNames) {
  const struct {
    bool groups;         // level groups inside Body, else level nodes beside it
    const char* choice;  // the optLOD setting
    std::vector<std::pair<float, float>> ranges;
  } cases[] = {
      {true, "optLOD(2)=1", {{0, 500}, {500, 3000}}},
      {false, "optLOD(2)=1", {{0, 500}, {500, 2000}, {2000, 4000}}},
      {false, "optLOD(0)=1", {}},
  };
  for (const auto& c : cases) {
    test::TempHome home;
    host::HostDocument document;
    host::HostNode& body = host::AddGroup(document.Root(), "Body");
    if (c.groups) {
      host::AddBox(host::AddGroup(body, "LOD 0-500"), "Near", {}, {1, 1, 1});
      host::AddBox(host::AddGroup(body, "LOD 500-3000"), "Far", {}, {2, 2, 2});
    } else {
      host::AddBox(body, "Near", {}, {1, 1, 1});
      host::AddBox(host::AddGroup(document.Root(), "Body_2000"), "Farthest", {}, {3, 3, 3});
      host::AddBox(host::AddGroup(document.Root(), "body-500"), "Far", {}, {2, 2, 2});
    }
    test::ScriptedScope dialogs(std::string(c.choice) +
                                "; txtDist=4000; click cmdOK; click cmdCancel");
    Wingform wingform;
    const std::filesystem::path out = home.Path() / "body.obj";
    ASSERT_EQ(wingform.PluginImportExport_Export(out.string(), &body.AsNode(), &document, nullptr,
                                                 {}, {}, ""),
              StatusOk)
        << LastError().description;
    std::vector<std::pair<float, float>> ranges;
    for (const host::Obj8Lod& lod : host::ReadObj8File(out).lods) {
      ranges.emplace_back(lod.nearDistance, lod.farDistance);
      EXPECT_EQ(lod.triangles, 12) << c.choice;  // one box each
    }
    EXPECT_EQ(ranges, c.ranges) << c.choice << (c.groups ? " groups" : " nodes");
  }
}

}  // namespace
}  // namespace vlm
