// vlmhost inspect: the pixel sizes read from texture headers, what the command shows of each
// kind of file, and what each level of an OBJ8 file holds besides triangles.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/check_commands.h"
#include "exchange/image_size.h"
#include "scene/builder.h"
#include "support/dialogs.h"
#include "support/temp_home.h"
#include "support/vlmhost.h"
#include "trackline/trackline.h"

namespace vlm {
namespace {

namespace fs = std::filesystem;
using host::ReadImageSize;

std::string Le32(uint32_t v) {
  std::string b(4, '\0');
  for (size_t k = 0; k < 4; ++k)
    b[k] = static_cast<char>((v >> (8 * k)) & 0xFF);
  return b;
}

std::string Be32(uint32_t v) {
  std::string b = Le32(v);
  return {b.rbegin(), b.rend()};
}

TEST(InspectCommand, ImageHeadersGiveTheirSizeAndNothingElseDoes) {
  const std::string png =
      std::string("\x89PNG\r\n\x1a\n", 8) + Be32(13) + "IHDR" + Be32(512) + Be32(256) + "\x08\x06";
  const std::string dds = "DDS " + Le32(124) + Le32(0x1007) + Le32(128) + Le32(64) + Le32(0);
  const std::string bmp = "BM" + std::string(12, '\0') + Le32(40) + Le32(300) +
                          Le32(static_cast<uint32_t>(-200)) + std::string(28, '\0');
  const std::string oldBmp = "BM" + std::string(12, '\0') + Le32(12) +
                             std::string("\x20\x00\x10\x00", 4) + std::string(4, '\0');
  struct Case {
    const char* name;
    std::string bytes;
    int64_t width, height;  // 0: no size
  };
  const Case cases[] = {
      {"PNG", png, 512, 256},
      {"DDS (width after height)", dds, 64, 128},
      {"BMP stored top row first", bmp, 300, 200},
      {"BMP with the old 12-byte header", oldBmp, 32, 16},
      {"PNG of width 0",
       std::string("\x89PNG\r\n\x1a\n", 8) + Be32(13) + "IHDR" + Be32(0) + Be32(4), 0, 0},
      {"DDS with a wrong header size", "DDS " + Le32(100) + std::string(16, '\1'), 0, 0},
      {"JPEG", "\xFF\xD8\xFF\xE0" + std::string(40, '\0'), 0, 0},
      {"empty", "", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto size = ReadImageSize(c.bytes);
    if (c.width == 0) {
      EXPECT_FALSE(size.has_value());
      continue;
    }
    ASSERT_TRUE(size.has_value());
    EXPECT_EQ(size->width, c.width);
    EXPECT_EQ(size->height, c.height);
    // Cut short anywhere, a header gives no size (and reads nothing past its end).
    for (size_t n = 0; n + 1 < 20 && n < c.bytes.size(); ++n)
      EXPECT_FALSE(ReadImageSize(std::string_view(c.bytes).substr(0, n)).has_value()) << n;
  }
  EXPECT_TRUE(host::IsPowerOfTwo(1) && host::IsPowerOfTwo(1024));
  EXPECT_FALSE(host::IsPowerOfTwo(0) || host::IsPowerOfTwo(96) || host::IsPowerOfTwo(-4));
}

// Each kind of file, as JSON: the counts, the textures found with their sizes, the bounds.
TEST(InspectCommand, ShowsCountsTexturesAndBoundsOfEachKindOfFile) {
  test::TempHome home;
  const std::string hangar = std::string(VLM_TEST_EXAMPLES_DIR) + "/hangar.json";
  auto r = test::Vlmhost({"inspect", hangar, "--json"}, "", " 2>/dev/null");
  ASSERT_EQ(r.status, 0) << r.output;
  const auto j = nlohmann::json::parse(r.output);
  EXPECT_EQ(j["format"], "scene");
  EXPECT_EQ(j["objects"], 12);
  EXPECT_EQ(j["triangles"], 144);
  EXPECT_EQ(j["materials"].size(), 6u);
  EXPECT_EQ(j["materials"][4]["textures"][1]["role"], "bump");
  EXPECT_EQ(j["materials"][4]["textures"][1]["exists"], true);
  EXPECT_EQ(j["materials"][4]["textures"][1]["width"], 8);
  EXPECT_EQ(j["bounds"]["min"][1], 0.0);

  // The exporters' files, read back: the hangar as OBJ8 (automatic levels) and as IGS.
  const std::string plugins = VLM_TEST_PLUGIN_DIR;
  r = test::Vlmhost({"register", plugins + "/libwingform.so", plugins + "/libtrackline.so"});
  ASSERT_EQ(r.status, 0) << r.output;
  const std::string obj = (home.Path() / "hangar.obj").string();
  const std::string igs = (home.Path() / "hangar.igs").string();
  r = test::Vlmhost({"run", "--fresh", "wingform", hangar, "--select", "group:Hangar", "--ui",
                     "optLOD(1)=1; click cmdOK; click cmdCancel", "--copy-textures", "-o", obj});
  ASSERT_EQ(r.status, 0) << r.output;
  r = test::Vlmhost({"run", "--fresh", "trackline", hangar, "--select", "group:Hangar",
                     "--copy-textures", "-o", igs});
  ASSERT_EQ(r.status, 0) << r.output;

  r = test::Vlmhost({"inspect", obj, "--json"}, "", " 2>/dev/null");
  ASSERT_EQ(r.status, 0) << r.output;
  const auto o = nlohmann::json::parse(r.output);
  EXPECT_EQ(o["format"], "OBJ8");
  EXPECT_EQ(o["triangles"], 84);
  EXPECT_EQ(o["batches"], 3);
  ASSERT_EQ(o["levels"].size(), 3u);
  EXPECT_EQ(o["levels"][1]["near"], 300.0);
  EXPECT_EQ(o["levels"][1]["far"], 800.0);
  EXPECT_EQ(o["levels"][2]["triangles"], 12);
  EXPECT_EQ(o["materials"][0]["textures"][0]["exists"], true);
  EXPECT_EQ(o["materials"][0]["textures"][0]["height"], 8);

  r = test::Vlmhost({"inspect", igs, "--json"}, "", " 2>/dev/null");
  ASSERT_EQ(r.status, 0) << r.output;
  const auto g = nlohmann::json::parse(r.output);
  EXPECT_EQ(g["format"], "IGS");
  EXPECT_EQ(g["blocks"], 7);
  EXPECT_EQ(g["triangles"], 144);
  EXPECT_EQ(g["levels"][0]["far"], 1000.0);
  EXPECT_EQ(g["bounds"], j["bounds"]);
  EXPECT_EQ(g["materials"][0]["textures"][0]["exists"], true);
  const auto margin = [&](const std::string& what) {
    for (const auto& m : g["margins"])
      if (m["what"] == what) return m;
    return nlohmann::json();
  };
  EXPECT_EQ(margin("materials")["used"], 6);
  EXPECT_EQ(margin("materials")["limit"], 51);
  EXPECT_EQ(margin("block name length")["item"], "1_1000_Fittings");
  EXPECT_EQ(margin("children of one block")["spare"], 19);

  // A damaged file is named, with nothing on standard output.
  std::string bytes;
  {
    std::ifstream in(igs, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  const std::string cut = (home.Path() / "cut.igs").string();
  std::ofstream(cut, std::ios::binary) << bytes.substr(0, 3000);
  r = test::Vlmhost({"inspect", cut}, "", " 2>&1 >/dev/null");
  EXPECT_EQ(r.status, 2) << r.output;
  EXPECT_THAT(r.output, ::testing::HasSubstr("cut.igs"));

  // An IGS file is read under the reader limits, as a model is: one of 100,000 vertices
  // (24 MB) passes a limit of 8 MB.
  {
    host::HostDocument doc;
    host::HostMaterial& alu = doc.NewMaterial("Alu");
    alu.hasTextures = true, alu.diffuseMap = "alu.bmp";
    std::vector<Vec3> points(100000);
    for (size_t i = 0; i < points.size(); ++i)
      points[i] = {float(i % 400), float(i / 400), 0};
    host::HostNode& plate = host::AddGroup(doc.Root(), "Plate");
    host::AddPolygonMesh(plate, "Plate", points, &alu);
    test::ScriptedScope dialogs;
    const std::string big = (home.Path() / "big.igs").string();
    Trackline().PluginImportExport_Export(big, &plate.AsNode(), &doc, nullptr, {}, {}, "");
    r = test::Vlmhost({"inspect", big, "--max-memory", "8M"}, "", " 2>&1 >/dev/null");
    EXPECT_EQ(r.status, 2) << r.output;
    EXPECT_THAT(r.output, ::testing::HasSubstr("ran out of memory"));
    r = test::Vlmhost({"inspect", big, "--json"}, "", " 2>/dev/null");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(nlohmann::json::parse(r.output)["vertices"], 100000);

    // The bounds of a turned block are its vertices', not its turned box's corners: a
    // triangle turned 45 degrees about z reaches up to 0.7071, its box's corner to 1.4142.
    host::HostNode& yard = host::AddGroup(doc.Root(), "Yard");
    host::HostNode& turned =
        host::AddGroup(yard, "Turned", {}, {0, 0, 1}, {-0.70710678f, 0.70710678f, 0});
    host::AddPolygonMesh(turned, "Sign", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, &alu);
    const std::string sign = (home.Path() / "sign.igs").string();
    Trackline().PluginImportExport_Export(sign, &yard.AsNode(), &doc, nullptr, {}, {}, "");
    r = test::Vlmhost({"inspect", sign, "--json"}, "", " 2>/dev/null");
    ASSERT_EQ(r.status, 0) << r.output;
    const auto bounds = nlohmann::json::parse(r.output)["bounds"];
    EXPECT_NEAR(bounds["max"][1].get<double>(), 0.7071, 1e-4);
    EXPECT_NEAR(bounds["min"][0].get<double>(), -0.7071, 1e-4);
  }

  // A model's bounds in its own axes, as its file gives them (the scene's z is mirrored).
  const fs::path model = home.Path() / "wedge.obj";
  std::ofstream(model) << "v 0 0 1\nv 1 0 2\nv 0 1 3\nf 1 2 3\n";
  r = test::Vlmhost({"inspect", model.string(), "--json"}, "", " 2>/dev/null");
  ASSERT_EQ(r.status, 0) << r.output;
  const auto w = nlohmann::json::parse(r.output);
  EXPECT_EQ(w["bounds"]["min"], nlohmann::json::parse("[0.0, 0.0, 1.0]"));
  EXPECT_EQ(w["bounds"]["max"], nlohmann::json::parse("[1.0, 1.0, 3.0]"));

  r = test::Vlmhost({"inspect", (home.Path() / "none.json").string()});
  EXPECT_EQ(r.status, 2) << r.output;
  EXPECT_THAT(r.output, ::testing::HasSubstr("none.json"));
}

// Per level (and outside any), the animations with their datarefs and keyed tables, the lights,
// items, manipulators and other ATTR_ lines by keyword; the header lines. As JSON, and as text.
TEST(InspectCommand, ListsTheAnimationsLightsAndManipulatorsOfEachObj8Level) {
  const std::string corpus = std::string(VLM_TEST_DATA_DIR) + "/obj8/";
  const struct {
    const char* file;
    const char* pointer;
    const char* json;
    const char* text;  // a part of the text form; "" when the JSON says enough
  } cases[] = {
      {"gear.obj", "/outsideLevels/animations",
       R"([{"line": 19, "inside": null, "datarefs": ["sim/aircraft/gear", "sim/aircraft/gear_deploy"],
            "transforms": 0,
            "tables": [{"kind": "trans", "dataref": "sim/aircraft/gear", "keys": 2, "loop": null},
                       {"kind": "rotate", "dataref": "sim/aircraft/gear", "keys": 2, "loop": 2.0}],
            "shows": 1, "hides": 1}])",
       "  animations 1\n    line 19: sim/aircraft/gear, sim/aircraft/gear_deploy; keyed trans "
       "sim/aircraft/gear 2 keys; keyed rotate sim/aircraft/gear 2 keys, loop 2; 1 show; 1 hide\n"},
      {"nested.obj", "/levels/0/animations/1/inside", "23",
       "    animations 2\n      line 23: sim/flightmodel/flap; 2 transforms\n"
       "      line 28, inside line 23: sim/flightmodel/flap; 1 hide\n  level 1: "},
      {"nested.obj", "/levels/1/animations", "[]", ""},
      {"nested.obj", "/outsideLevels/animations", "[]", ""},
      {"lights.obj", "/outsideLevels/lights",
       R"({"LIGHT_CUSTOM": {"count": 1},
           "LIGHT_NAMED": {"count": 1, "names": ["airplane_beacon_rotate"]},
           "LIGHT_PARAM": {"count": 1, "names": ["full_custom_halo"]},
           "LIGHT_SPILL_CUSTOM": {"count": 1}})",
       "  lights: LIGHT_CUSTOM 1, LIGHT_NAMED 1 (airplane_beacon_rotate), LIGHT_PARAM 1 "
       "(full_custom_halo), LIGHT_SPILL_CUSTOM 1\n  items: LIGHTS 1\n"},
      {"effects.obj", "/outsideLevels/items",
       R"({"EMITTER": {"count": 1, "names": ["chimney_smoke"]}, "LINES": {"count": 1},
           "MAGNET": {"count": 1, "names": ["winch"]}, "smoke_black": {"count": 1}})",
       "  header: PARTICLE_SYSTEM hangar.pss\n"},
      {"attributes.obj", "/header",
       R"(["TEXTURE_DRAPED ground.png", "GLOBAL_specular 0.5", "BLEND_GLASS", "NORMAL_METALNESS",
           "TILTED", "REQUIRE_WET", "slung_load_weight 200", "ATTR_LOD_draped 5000",
           "ATTR_layer_group_draped airports 1"])",
       ""},
      {"attributes.obj", "/outsideLevels/manipulators",
       R"({"ATTR_manip_command": {"count": 1}, "ATTR_manip_none": {"count": 1},
           "ATTR_manip_wheel": {"count": 1}})",
       "  manipulators: ATTR_manip_command 1, ATTR_manip_none 1, ATTR_manip_wheel 1\n"},
      {"attributes.obj", "/outsideLevels/attributes/ATTR_shiny_rat", R"({"count": 2})", ""},
      {"animated_manipulator.obj", "/outsideLevels/manipulators",
       R"({"ATTR_manip_drag_rotate": {"count": 1}, "ATTR_manip_keyframe": {"count": 2}})", ""},
      {"additive_lods.obj", "/levels/1",
       R"({"name": "1", "near": 0.0, "far": 4000.0, "triangles": 1, "batches": 1,
           "stateChanges": 1, "animations": [], "lights": {}, "items": {}, "manipulators": {},
           "attributes": {"ATTR_no_cull": {"count": 1}}})",
       "  level 1: 0-4000 m, 1 triangles, 1 batch, 1 state change\n    attributes: ATTR_no_cull "
       "1\n"},
      {"additive_lods.obj", "/outsideLevels/attributes", "{}", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " " + c.pointer);
    std::ostringstream json, text, err;
    ASSERT_EQ(host::InspectCommand({corpus + c.file, true, {}}, json, err), 0) << err.str();
    const auto j = nlohmann::json::parse(json.str());
    EXPECT_EQ(j.at(nlohmann::json::json_pointer(c.pointer)), nlohmann::json::parse(c.json));
    ASSERT_EQ(host::InspectCommand({corpus + c.file, false, {}}, text, err), 0) << err.str();
    EXPECT_THAT(text.str(), ::testing::HasSubstr(c.text));
  }
}

}  // namespace
}  // namespace vlm
