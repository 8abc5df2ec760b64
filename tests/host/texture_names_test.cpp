#include "scene/texture_names.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "scene/document.h"
#include "scene/material.h"
#include "support/temp_home.h"

namespace vlm::host {
namespace {

namespace fs = std::filesystem;

// A scene in models/ names its textures; it is written to out/ (a sibling), to models/deep/
// (below) and to models/ again.
TEST(TextureNames, RelativeNamesLeadToTheSameFilesFromTheNewFolder) {
  test::TempHome home;
  const fs::path models = home.Path() / "models";
  fs::create_directories(models / "tex");
  fs::create_directories(home.Path() / "out");
  fs::create_directories(models / "deep");
  std::ofstream(models / "brick.png") << "x";
  std::ofstream(models / "tex" / "roof.dds") << "x";
  const std::string absolute = (models / "brick.png").string();
  struct Case {
    std::string name;
    fs::path to;
    std::string written;  // "" when the name stays and a warning says it leads nowhere
    bool warned;
  };
  const Case cases[] = {
      {"brick.png", home.Path() / "out", "../models/brick.png", false},
      {"tex\\roof.dds", home.Path() / "out", "../models/tex/roof.dds", false},
      {"./tex/../brick.png", models / "deep", "../brick.png", false},
      {"brick.png", models, "brick.png", false},  // same folder: untouched
      {absolute, home.Path() / "out", absolute, false},
      {"missing.png", home.Path() / "out", "missing.png", true},
      {"embedded.png", home.Path() / "out", "embedded.png", false},  // written beside the scene
      // Folders that share only the root: the whole name.
      {"brick.png", "/proc/self", absolute, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name + " -> " + c.to.string());
    HostDocument document;
    HostMaterial& m = document.NewMaterial("m");
    m.diffuseMap = c.name;
    {
      TextureNamesMoved moved(document, models, c.to, {"embedded.png"});
      EXPECT_EQ(m.diffuseMap, c.written);
      EXPECT_EQ(moved.Warnings().size(), c.warned ? 1u : 0u);
    }
    EXPECT_EQ(m.diffuseMap, c.name) << "the document's names come back after the write";
    {
      TextureNamesMoved kept(document, models, c.to, {"embedded.png"});
      kept.Keep();
    }
    EXPECT_EQ(m.diffuseMap, c.written) << "a document saved elsewhere keeps the new names";
  }
}

}  // namespace
}  // namespace vlm::host
