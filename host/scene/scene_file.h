// The scene file of the stand-in host: a versioned JSON document (docs/scene-format.md).
//
// Reading is strict: every key must be known, every value of the right type and every
// reference (vertex, normal and texture-coordinate indices, material names, custom field
// names, selection paths) must resolve. A file that fails any check gives a vlm::Error whose
// description reads "<file>: <place>: <problem>", where the place is "line L, column C" for
// text that is not JSON and a JSON pointer ("/root/groups/0/objects/1/faces/3/points/2")
// for content that is wrong. Error 13 means a value of the wrong JSON type, 5 anything else.
//
// Writing is stable: the same document always gives the same text (2-space indent, keys in
// the documented order, a trailing newline), and every 32-bit float reads back bit-identical.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "scene/document.h"
#include "vlm/files.h"

namespace vlm::host {

// The version this host writes, and the only one it reads.
inline constexpr int kSceneFormatVersion = 1;

// The largest scene text read (error 7 naming the file past it): some 20 million triangles
// written out in full. A file is read a piece at a time; a text given whole (standard input)
// is held while it is read.
inline constexpr size_t kMaxSceneFileSize = size_t(8) << 30;

// Builds a document from scene text; `origin` names the text in error messages.
std::unique_ptr<HostDocument> ParseScene(std::string_view text, const std::string& origin);
// ParseScene of a text the parse takes over, let go once the tree holds it.
std::unique_ptr<HostDocument> ParseSceneTaking(std::string&& text, const std::string& origin);
// Reads and parses a scene file a piece at a time (error 53 naming the file when it does not
// exist, 7 when it is larger than kMaxSceneFileSize).
std::unique_ptr<HostDocument> LoadScene(const std::filesystem::path& file);

// The document as scene text. Removed polygons and the default material are not written.
// Raises vlm::Error (5) rather than write text that would not read back: a number that is
// not finite, text that is not UTF-8, a material name that is empty or taken twice, or a
// selected item that its path does not name (an earlier sibling of the same name, or a "/"
// in a name).
std::string SerializeScene(const HostDocument& document,
                           const std::string& origin = "(unsaved scene)");
// The same text written into `sink` as the document is walked. A problem found on the way
// is raised when the walk is done, so part of the text may be in the sink by then.
void WriteScene(const HostDocument& document, const std::string& origin, OutputSink& sink);
// Writes the document to a temporary file beside `file` as it is walked and renames it over
// `file`; a failed save leaves any earlier file as it was. Errors name the file.
void SaveScene(const HostDocument& document, const std::filesystem::path& file);

}  // namespace vlm::host
