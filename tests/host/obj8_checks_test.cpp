// vlmhost validate --for obj8 on an OBJ8 file: each fault of its own lines found once, on its
// line, with its severity (host/cli/obj8_checks).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "cli/check_commands.h"
#include "support/temp_home.h"

namespace vlm {
namespace {

namespace fs = std::filesystem;

std::string Be32(uint32_t v) {
  std::string b(4, '\0');
  for (size_t k = 0; k < 4; ++k)
    b[3 - k] = static_cast<char>((v >> (8 * k)) & 0xFF);
  return b;
}

// The header of a PNG or BMP picture of the given size (the pixels are never read).
void WritePicture(const fs::path& file, uint32_t width, uint32_t height, bool bmp = false) {
  std::string b;
  if (bmp) {
    b = "BM" + std::string(52, '\0');
    b[14] = 40, b[18] = static_cast<char>(width), b[22] = static_cast<char>(height);
  } else {
    b = std::string("\x89PNG\r\n\x1a\n", 8) + Be32(13) + "IHDR" + Be32(width) + Be32(height) +
        "\x08\x06" + std::string(7, '\0');
  }
  std::ofstream(file, std::ios::binary) << b;
}

// An OBJ8 file of one quad: its texture, header lines and commands as given.
std::string Quad(const std::string& texture, const std::string& header,
                 const std::string& commands) {
  return "I\n800\nOBJ\nTEXTURE " + texture + "\n" + header +
         "POINT_COUNTS 4 0 0 6\nVT 0 0 0 0 0 1 0 0\nVT 1 0 0 0 0 1 1 0\nVT 1 2 0 0 0 1 1 1\n"
         "VT 0 2 0 0 0 1 0 1\nIDX 0\nIDX 1\nIDX 2\nIDX 0\nIDX 2\nIDX 3\n" +
         commands;
}

// The number of the first line of `text` that starts with `start`; 0 when none does.
int64_t LineOf(const std::string& text, const std::string& start) {
  std::istringstream in(text);
  std::string line;
  for (int64_t n = 1; std::getline(in, line); ++n)
    if (line.starts_with(start)) return n;
  return 0;
}

TEST(ValidateCommand, ChecksWhatXPlaneAuthorsTripOver) {
  test::TempHome home;
  WritePicture(home.Path() / "tex.png", 8, 8);
  WritePicture(home.Path() / "odd.png", 96, 64);
  WritePicture(home.Path() / "wood.bmp", 8, 8, true);
  const std::string tris = "TRIS 0 6\n";
  const std::string rotate = "ATTR_manip_drag_rotate hand 0 0 0 1 0 0 0 45 0 1 sim/a none Tip\n";
  const std::string axis = "ATTR_manip_drag_axis hand 0 1 0 0 1 sim/a Tip\n";
  const std::string keyframes = "ATTR_manip_keyframe 0 0\nATTR_manip_keyframe 1 1\n";
  const std::string twoKeys =
      "ANIM_trans_begin sim/a\nANIM_trans_key 0 0 0 0\nANIM_trans_key 1 0 1 0\nANIM_trans_end\n";
  struct Case {
    const char* name;
    std::string commands;
    const char* check = "";  // "" for a file with nothing to say
    bool error = false;
    const char* at = "";  // the start of the line the finding is on
    std::string texture = "tex.png";
    std::string header = "";
  };
  const Case cases[] = {
      {"clean", tris},
      {"first level past 0", "ATTR_LOD 100 500\n" + tris, "lod-ranges", true, "ATTR_LOD 100"},
      {"selective levels", "ATTR_LOD 0 100\n" + tris + "ATTR_LOD 100 500\n" + tris},
      {"a gap between levels", "ATTR_LOD 0 100\n" + tris + "ATTR_LOD 200 500\n" + tris,
       "lod-ranges", true, "ATTR_LOD 200"},
      {"overlapping levels", "ATTR_LOD 0 300\n" + tris + "ATTR_LOD 200 500\n" + tris, "lod-ranges",
       true, "ATTR_LOD 200"},
      {"additive levels", "ATTR_LOD 0 100\n" + tris + "ATTR_LOD 0 500\n" + tris},
      {"additive and selective levels mixed",
       "ATTR_LOD 0 100\n" + tris + "ATTR_LOD 0 500\n" + tris + "ATTR_LOD 500 900\n" + tris,
       "lod-ranges", true, "ATTR_LOD 500"},
      {"additive levels that do not reach farther",
       "ATTR_LOD 0 500\n" + tris + "ATTR_LOD 0 100\n" + tris, "lod-ranges", true, "ATTR_LOD 0 100"},
      {"a keyed table of one key",
       "ANIM_begin\nANIM_trans_begin sim/a\nANIM_trans_key 0 0 0 0\nANIM_trans_end\n" + tris +
           "ANIM_end\n",
       "keyed-table", true, "ANIM_trans_begin"},
      {"tables of one dataref with other keys",
       "ANIM_begin\n" + twoKeys +
           "ANIM_rotate_begin 1 0 0 sim/a\nANIM_rotate_key 0 0\nANIM_rotate_key 0.5 10\n"
           "ANIM_rotate_key 1 20\nANIM_rotate_end\n" +
           tris + "ANIM_end\n",
       "keyed-dataref", false, "ANIM_rotate_begin"},
      {"tables of one dataref with the same keys",
       "ANIM_begin\n" + twoKeys +
           "ANIM_rotate_begin 1 0 0 sim/a\nANIM_rotate_key 0 0\nANIM_rotate_key 1 20\n"
           "ANIM_rotate_end\n" +
           tris + "ANIM_end\n"},
      {"a rotating drag moved by a translation",
       rotate + "ANIM_begin\nANIM_trans 0 0 0 0 1 0 0 1 sim/a\n" + tris + "ANIM_end\n",
       "manipulator-animation", false, "ATTR_manip_drag_rotate"},
      {"a rotating drag outside any animation", rotate + tris, "manipulator-animation", false,
       "ATTR_manip_drag_rotate"},
      {"a rotating drag whose animation, set after it, rotates",
       rotate + "ANIM_begin\nANIM_rotate 1 0 0 0 45 0 1 sim/a\n" + tris + "ANIM_end\n"},
      {"a rotating drag ended before the triangles", rotate + "ATTR_manip_none\n" + tris},
      {"axis keyframes without a keyed translation",
       "ANIM_begin\nANIM_trans 0 0 0 0 1 0 0 1 sim/a\n" + axis + keyframes + tris + "ANIM_end\n",
       "manipulator-animation", false, "ATTR_manip_drag_axis"},
      {"axis keyframes against a table of three keys",
       "ANIM_begin\nANIM_trans_begin sim/a\nANIM_trans_key 0 0 0 0\nANIM_trans_key 1 0 1 0\n"
       "ANIM_trans_key 2 0 2 0\nANIM_trans_end\n" +
           axis + keyframes + tris + "ANIM_end\n",
       "manipulator-animation", false, "ATTR_manip_drag_axis"},
      {"axis keyframes that follow their table",
       "ANIM_begin\n" + twoKeys + axis + keyframes + tris + "ANIM_end\n"},
      {"a parameterised light whose position is not a number",
       "LIGHT_PARAM full_custom_halo 1 two 3 0.5\n" + tris, "item-numbers", true, "LIGHT_PARAM"},
      {"a custom light with a word for a number",
       "LIGHT_CUSTOM 0 1 0 1 1 x 1 0.5 0 0 1 1 sim/lights/beacon\n" + tris, "item-numbers", true,
       "LIGHT_CUSTOM"},
      {"a spill light's dataref", "LIGHT_SPILL_CUSTOM 0 1 0 1 1 1 1 10 0 0 -1 0.5 none\n" + tris},
      {"a BMP texture", tris, "texture-format", false, "TEXTURE", "wood.bmp"},
      {"a texture of 96 x 64", tris, "texture-size", false, "TEXTURE", "odd.png"},
      {"a texture name with a blank", tris, "texture-blank", false, "TEXTURE", "tex.png old"},
      {"a texture that is not there", tris, "missing-texture", true, "TEXTURE", "gone.png"},
      {"a lit texture that is not there", tris, "missing-texture", true, "TEXTURE_LIT", "tex.png",
       "TEXTURE_LIT gone_LIT.png\n"},
  };
  const fs::path file = home.Path() / "object.obj";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string text = Quad(c.texture, c.header, c.commands);
    std::ofstream(file, std::ios::binary) << text;
    std::ostringstream out, err;
    const int status = host::ValidateCommand({file, "obj8", {}, true, {}}, out, err);
    const auto report = nlohmann::json::parse(out.str());
    // Found once: the scene the file imports into does not say it again.
    const auto& findings = report["findings"];
    if (std::string(c.check).empty()) {
      EXPECT_EQ(findings.size(), 0u) << findings.dump(1);
      EXPECT_EQ(status, 0);
      continue;
    }
    ASSERT_EQ(findings.size(), 1u) << findings.dump(1);
    EXPECT_EQ(findings[0]["check"], c.check);
    EXPECT_EQ(findings[0]["severity"], c.error ? "error" : "warning");
    EXPECT_EQ(findings[0]["kind"], "file");
    EXPECT_EQ(findings[0]["path"], file.string());
    EXPECT_EQ(findings[0]["line"], LineOf(text, c.at)) << findings[0]["reason"];
    EXPECT_EQ(status, c.error ? 2 : 0);
  }

  // The text form names the file and the line, as a compiler does; validate for IGS leaves
  // the X-Plane checks out.
  std::ofstream(file, std::ios::binary) << Quad("tex.png", "", "ATTR_LOD 100 500\n" + tris);
  std::ostringstream out, err;
  EXPECT_EQ(host::ValidateCommand({file, "obj8", {}, false, {}}, out, err), 2);
  EXPECT_THAT(out.str(), ::testing::HasSubstr(
                             file.string() + ":16: ATTR_LOD 100 500: the first level starts at "
                                             "100 m; X-Plane wants it to start at 0 [lod-ranges]"));
  std::ostringstream igs;
  host::ValidateCommand({file, "igs", {}, false, {}}, igs, err);
  EXPECT_THAT(igs.str(), ::testing::Not(::testing::HasSubstr("lod-ranges")));
}

}  // namespace
}  // namespace vlm
