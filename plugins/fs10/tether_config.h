// The configuration Tether and Motive read: "tether.xml" in the plug-in's folder, the places
// it names through the machine registry, and the simulator's part definitions file.
//
// Locations are text as the registry and the configuration give them (Windows paths with
// "\"); FileSystemPath turns one into a path of this platform.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

namespace vlm::tetherconfig {

// The folder of the library (or program) this code is linked into: the plug-in's folder.
std::filesystem::path ModuleFolder();

// A place named by a key, a value name ("subkey") and a suffix.
struct Location {
  std::string key, subkey, suffix;
};

// The value text of HKEY_LOCAL_MACHINE\key, value subkey, followed directly by the suffix;
// nullopt when the registry lookup fails.
std::optional<std::string> Resolve(const Location& location);

// Location text as a path of this platform: "\" becomes the platform's separator.
std::filesystem::path FileSystemPath(std::string_view location);

// "tether.xml" and the part definitions file are read by their declared encoding (Latin-1 or
// Windows-1252); without one, as UTF-8 when they are valid UTF-8 and as Windows-1252
// otherwise. Every text they give is UTF-8.

// "tether.xml".
class TetherConfig {
 public:
  static constexpr const char* FileName = "tether.xml";

  // Reads folder/"tether.xml". A missing file gives an empty configuration; a damaged one
  // also does, and Problem() then says what is wrong with it.
  static TetherConfig Load(const std::filesystem::path& folder);

  const std::filesystem::path& File() const { return file_; }
  bool Exists() const { return exists_; }
  const std::string& Problem() const { return problem_; }

  // tether/effects and tether/parts, when present.
  std::optional<Location> Effects() const { return locationOf("effects"); }
  std::optional<Location> Parts() const { return locationOf("parts"); }
  // The name of every tether/platforms/item, in document order.
  std::vector<std::string> Platforms() const;

 private:
  std::optional<Location> locationOf(const char* element) const;
  std::filesystem::path file_;
  bool exists_ = false;
  std::string problem_;
  pugi::xml_document doc_;
};

// The effect files of a folder: the names (with extension) of the regular files that end in
// ".fx" (any case), as UTF-8 (an 8-bit name is read as Windows-1252), sorted. A folder that
// is missing or cannot be listed has none.
std::vector<std::string> EffectFiles(const std::filesystem::path& folder);

// The simulator's part definitions file (ModelInfo with PartInfo and Animation elements).
class PartDefinitions {
 public:
  // vlm::Error naming the file when it is missing (53), cannot be read (75) or is not
  // well-formed XML (75, with the place and the parser's reason).
  static PartDefinitions Load(const std::filesystem::path& file);

  // Names of the parts usable as visibility tags / mouse rectangles, in document order. A
  // part's children are visited in order: Name sets the current name (kept from the part
  // before when a part has none before its marker), the first marker child adds it.
  std::vector<std::string> VisibilityParts() const { return partsWith("Visibility"); }
  std::vector<std::string> MouseRectParts() const { return partsWith("MouseRect"); }

  // The name attribute of every ModelInfo/Animation, in document order (an animation
  // without a name is left out).
  std::vector<std::string> AnimationNames() const;

  // The first ModelInfo/Animation whose name equals `name` exactly; each attribute is
  // nullopt when the element does not have it.
  struct Animation {
    std::optional<std::string> type, length, typeParam, typeParam2;
  };
  std::optional<Animation> FindAnimation(std::string_view name) const;

 private:
  std::vector<std::string> partsWith(const char* marker) const;
  pugi::xml_document doc_;
};

}  // namespace vlm::tetherconfig
