// The names a plug-in goes by on the command line: its programmatic identifier
// (VLMOperation9.Flare) and a short name taken from it (flare), both read without regard to
// case.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vlm::host {

// The short name of a registered class: the last part of its identifier, in lower case
// ("VLMPlugin9.Ridgepull" gives "ridgepull").
std::string ShortName(std::string_view progId);

// The registered identifier a name stands for: the identifier itself (any case), or a short
// name that only one registered class has. vlm::Error (429, as for a class that is not
// registered) otherwise, naming the nearest registered names, or every class a short name
// is shared by.
std::string ResolvePluginName(std::string_view name);
// The same among the given identifiers (for tests and callers that hold the list).
std::string ResolvePluginName(std::string_view name, const std::vector<std::string>& progIds);

// What a plug-in of this project works on: the kinds of picked item it takes and how many.
// A face pick counts as one item of its object.
struct PluginInput {
  std::string_view text;  // as --select arguments give it, for `vlmhost list` and the help
  bool groups = false;    // groups (group:PATH, node:PATH)
  bool objects = false;   // whole objects (object:PATH, shape:PATH)
  bool faces = false;     // faces of an object (faces:PATH:..., polygons:PATH:...)
  int least = 1;          // items it needs (0: it runs on nothing, or on the whole scene)
  int most = 0;           // items it takes at most (0: any number)
};
// The input of a plug-in of this project, or null for a class the host does not know.
const PluginInput* InputOf(std::string_view progId);

// What the plug-in works on, as --select arguments give it, for the plug-ins of this project
// ("" for a class it does not know).
std::string SelectionOf(std::string_view progId);

// Up to `count` of `candidates` nearest to `word` (edit distance, without regard to case),
// nearest first, and only those close enough to be a slip of the keyboard.
std::vector<std::string> NearestNames(std::string_view word,
                                      const std::vector<std::string>& candidates, size_t count = 3);

}  // namespace vlm::host
