// vlmhost run --copy-textures on untrusted scenes: only pictures in the scene's folder or below
// it are copied, whatever the scene names; the system's files are never read.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>

#include "exchange/image_size.h"
#include "scene/builder.h"
#include "scene/document.h"
#include "scene/scene_file.h"
#include "support/cli_fixture.h"
#include "support/temp_home.h"
#include "vlm/files.h"

namespace vlm {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

TEST(ImageFormat, PicturesAreToldByTheirHeader) {
  using namespace std::string_literals;
  const struct {
    std::string bytes;
    std::string format;  // "" for none
  } cases[] = {
      {test::PictureBytes("PNG"), "PNG"},
      {test::PictureBytes("DDS"), "DDS"},
      {test::PictureBytes("BMP"), "BMP"},
      {test::PictureBytes("TGA"), "TGA"},
      {test::PictureBytes("JPEG"), "JPEG"},
      // A grey TGA run-length coded, and one with a colour map of 24-bit entries.
      {"\0\0\x0b\0\0\0\0\0\0\0\0\0\x10\0\x08\0\x08\0"s, "TGA"},
      {"\0\x01\x01\0\0\0\x01\x18\0\0\0\0\x04\0\x04\0\x08\0"s, "TGA"},
      // Text, a TGA header of no width or a depth no writer makes, a colour map without
      // entries, the header cut short, nothing.
      {"root:x:0:0:root:/root:/bin/bash\n", ""},
      {"\0\0\x02\0\0\0\0\0\0\0\0\0\0\0\x01\0\x18\0"s, ""},
      {"\0\0\x02\0\0\0\0\0\0\0\0\0\x01\0\x01\0\x11\0"s, ""},
      {"\0\x01\x01\0\0\0\0\x18\0\0\0\0\x04\0\x04\0\x08\0"s, ""},
      {test::PictureBytes("TGA").substr(0, 17), ""},
      {test::PictureBytes("PNG").substr(0, 20), ""},
      {"", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(host::ImageFormatOf(c.bytes).value_or(""), c.format)
        << testing::PrintToString(c.bytes);
}

// A texture name may lead to a pipe, which would never give its header: only plain files are
// read, and a pipe or device is not even opened.
TEST(ImageFormat, ASizeIsReadFromPlainFilesAlone) {
  test::TempHome folder;
  const fs::path png = folder.Path() / "a.png", pipe = folder.Path() / "pipe.png";
  WriteFileAtomically(png, test::PictureBytes("PNG"));
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  const struct {
    fs::path file;
    bool sized;
  } cases[] = {{png, true},
               {pipe, false},
               {"/dev/zero", false},
               {folder.Path(), false},
               {folder.Path() / "none.png", false}};
  for (const auto& c : cases)
    EXPECT_EQ(host::ImageSizeOfFile(c.file).has_value(), c.sized) << c.file;
}

// A scene naming pictures in its folder, pictures and secrets outside it, links, a pipe, a
// device and /proc: exported with and without --allow-outside, and in a batch.
class CopyTextures : public test::CliOutputs {
 protected:
  void SetUp() override {
    CliOutputs::SetUp();
    const fs::path scene = home.Path() / "scene";
    fs::create_directories(scene / "maps");
    WriteFileAtomically(scene / "ok.png", test::PictureBytes("PNG", "ok"));
    WriteFileAtomically(scene / "maps/tile.tga", test::PictureBytes("TGA", "tile"));
    WriteFileAtomically(scene / "photo.jpg", test::PictureBytes("JPEG", "photo"));
    WriteFileAtomically(scene / "notes.png", "the password is swordfish\n");
    WriteFileAtomically(home.Path() / "outside.png", test::PictureBytes("PNG", "outside"));
    WriteFileAtomically(home.Path() / "other.png", test::PictureBytes("PNG", "other"));
    WriteFileAtomically(home.Path() / "secret.bmp", "root:x:0:0\n");
    fs::create_symlink("../outside.png", scene / "link.png");
    fs::create_symlink("../secret.bmp", scene / "shadow.bmp");
    ASSERT_EQ(::mkfifo((scene / "fifo.png").c_str(), 0600), 0);
    SaveScene(std::vector<std::string>(std::begin(kTextures), std::end(kTextures)), "scene.json");
  }
  // A scene in the folder "scene" with a box for each texture.
  void SaveScene(const std::vector<std::string>& textures, const std::string& name) const {
    host::HostDocument doc;
    host::HostNode& main = host::AddGroup(doc.Root(), "main");
    for (const std::string& texture : textures) {
      host::HostMaterial& m = doc.NewMaterial(texture);
      m.SetDiffuseTexture(texture);
      host::AddBox(main, std::to_string(main.meshes.size()), {}, {1, 1, 1}, &m);
    }
    host::SaveScene(doc, home.Path() / "scene" / name);
  }
  // The files copied beside the export, by name (not the batch's hidden record).
  std::set<std::string> Copied() const {
    std::set<std::string> out;
    for (const auto& entry : fs::directory_iterator(home.Path() / "out"))
      if (const std::string name = entry.path().filename().string();
          entry.path().extension() != ".obj" && !name.starts_with("."))
        out.insert(name);
    return out;
  }
  static constexpr const char* kTextures[] = {"ok.png",
                                              "maps\\tile.tga",
                                              "photo.jpg",
                                              "notes.png",
                                              "../outside.png",
                                              "link.png",
                                              "maps/../../other.png",
                                              "shadow.bmp",
                                              "fifo.png",
                                              "/dev/zero",
                                              "/proc/self/environ"};
};

TEST_F(CopyTextures, OnlyPicturesInTheScenesFolderAreCopied) {
  const struct {
    std::vector<std::string> options;
    std::set<std::string> copied;
    std::vector<std::string> refused;  // "TEXTURE: REASON", each a warning
  } cases[] = {
      {{},
       {"ok.png", "tile.tga", "photo.jpg"},
       {"\"../outside.png\" was not copied: it is " + Out("outside.png") + ", outside " +
            Out("scene"),
        "\"link.png\" was not copied: it is " + Out("outside.png") + ", outside",
        "\"maps/../../other.png\" was not copied: it is " + Out("other.png") + ", outside",
        "\"shadow.bmp\" was not copied: it is " + Out("secret.bmp") + ", outside",
        "\"notes.png\" was not copied: it is no picture (PNG, DDS, BMP, TGA or JPEG)",
        "\"fifo.png\" was not copied: it is a device or pipe",
        "\"/dev/zero\" was not copied: it is a device or pipe",
        "\"/proc/self/environ\" was not copied: it is a file of the system"}},
      // Outside, the rest of the rules still hold.
      {{"--allow-outside"},
       {"ok.png", "tile.tga", "photo.jpg", "outside.png", "link.png", "other.png"},
       {"\"shadow.bmp\" was not copied: it is no picture",
        "\"notes.png\" was not copied: it is no picture",
        "\"fifo.png\" was not copied: it is a device or pipe",
        "\"/proc/self/environ\" was not copied: it is a file of the system"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options.empty() ? "inside" : c.options[0]);
    fs::remove_all(home.Path() / "out");
    fs::create_directories(home.Path() / "out");
    std::vector<std::string> args = {
        "run",     Wingform, Out("scene/scene.json"), "--copy-textures",
        "--quiet", "-o",     Out("out/house.obj")};
    args.insert(args.end(), c.options.begin(), c.options.end());
    auto r = test::Vlmhost(args, "", " 2>&1 </dev/null");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(Copied(), c.copied) << r.output;
    for (const std::string& refusal : c.refused)
      EXPECT_THAT(r.output, HasSubstr(refusal));
    EXPECT_THAT(r.output, Not(HasSubstr("swordfish")));
    for (const char* name : {"ok.png", "outside.png"}) {
      if (!c.copied.contains(name)) continue;
      EXPECT_EQ(ReadFile(Out("out/" + std::string(name))),
                test::PictureBytes("PNG", fs::path(name).stem().string()));
    }
  }

  // --allow-outside goes with --copy-textures alone.
  auto alone = test::Vlmhost(
      {"run", Wingform, Out("scene/scene.json"), "--allow-outside", "-o", Out("out/house.obj")});
  EXPECT_EQ(alone.status, 2) << alone.output;
  EXPECT_THAT(alone.output, HasSubstr("--allow-outside requires --copy-textures"));

  // A batch job copies by the same rules.
  SaveScene({"ok.png", "../outside.png", "notes.png"}, "batch.json");
  WriteFileAtomically(Out("jobs.json"), R"({"jobs": [{"inputs": ")" + Out("scene/batch.json") +
                                            R"(", "steps": [{"run": "wingform", "output": ")" +
                                            Out("out/batch.obj") +
                                            R"(", "copyTextures": true}]}]})");
  fs::remove_all(home.Path() / "out");
  fs::create_directories(home.Path() / "out");
  auto r = test::Vlmhost({"batch", Out("jobs.json"), "--quiet"});
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(Copied(), std::set<std::string>{"ok.png"}) << r.output;
  EXPECT_THAT(r.output, HasSubstr("\"../outside.png\" was not copied: it is " + Out("outside.png") +
                                  ", outside"));
}

}  // namespace
}  // namespace vlm
