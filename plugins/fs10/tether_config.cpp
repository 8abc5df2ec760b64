#include "fs10/tether_config.h"

#include "vlm/plugin_folder.h"

#include <algorithm>
#include <system_error>

#include "fs10/mod_types.h"
#include "vlm/component.h"
#include "vlm/error.h"
#include "vlm/files.h"
#include "vlm/text.h"
#include "vlm/text_encoding.h"

namespace vlm::tetherconfig {
namespace fs = std::filesystem;
namespace {

std::string Quoted(const fs::path& file) {
  return "\"" + file.string() + "\"";
}

// Line and column (from 1) of a byte offset, for messages about a damaged file.
std::string PlaceOf(const std::string& text, ptrdiff_t offset) {
  size_t end = std::min(text.size(), static_cast<size_t>(std::max<ptrdiff_t>(offset, 0)));
  size_t line = 1, column = 1;
  for (size_t i = 0; i < end; ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// The encoding the XML declaration of `bytes` names, in lower case; "" without one.
std::string DeclaredEncoding(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  if (!bytes.starts_with("<?xml")) return {};
  bytes = bytes.substr(0, bytes.find("?>"));
  size_t at = bytes.find("encoding");
  if (at == std::string_view::npos) return {};
  at = bytes.find_first_of("\"'", at);
  if (at == std::string_view::npos) return {};
  const size_t end = bytes.find(bytes[at], at + 1);
  if (end == std::string_view::npos) return {};
  return ToLower(bytes.substr(at + 1, end - at - 1));
}

// Parses `bytes` (the content of `file`); "" on success, else what is wrong and where. Text
// that declares Latin-1 is read by its declaration, as any XML reader would; UTF-16 and
// UTF-32 are left to the parser, which knows them by their first bytes; other text is read
// as UTF-8 when it is valid UTF-8 and as Windows-1252 otherwise (or when it says so), so every
// name reaches the scene as UTF-8.
std::string Parse(pugi::xml_document& doc, const std::string& bytes, const fs::path& file) {
  const std::string declared = DeclaredEncoding(bytes);
  const bool wide = bytes.starts_with("\xFE\xFF") || bytes.starts_with("\xFF\xFE") ||
                    (bytes.size() >= 2 && (bytes[0] == '\0' || bytes[1] == '\0'));
  std::string text = bytes;
  pugi::xml_encoding encoding = pugi::encoding_auto;
  if (wide) {
    // as the parser finds it
  } else if (declared == "iso-8859-1" || declared == "latin1") {
    encoding = pugi::encoding_latin1;
  } else {
    text = declared == "windows-1252" ? text::Windows1252ToUtf8(bytes) : text::DecodeText(bytes);
    encoding = pugi::encoding_utf8;
  }
  pugi::xml_parse_result result =
      doc.load_buffer(text.data(), text.size(), pugi::parse_default, encoding);
  if (result) return {};
  doc.reset();
  return Quoted(file) + " is not well-formed XML at " + PlaceOf(text, result.offset) + ": " +
         result.description();
}

std::optional<std::string> AttributeOf(const pugi::xml_node& node, const char* name) {
  pugi::xml_attribute a = node.attribute(name);
  if (!a) return std::nullopt;
  return std::string(a.value());
}

}  // namespace

fs::path ModuleFolder() {
  return PluginFolder(reinterpret_cast<const void*>(&ModuleFolder));
}

std::optional<std::string> Resolve(const Location& location) {
  std::string text;
  if (!modTypes::GetKeyValue("HKEY_LOCAL_MACHINE", location.key, location.subkey, text))
    return std::nullopt;
  return text + location.suffix;
}

fs::path FileSystemPath(std::string_view location) {
  std::string text(location);
  std::replace(text.begin(), text.end(), '\\', static_cast<char>(fs::path::preferred_separator));
  return fs::path(text);
}

// ---- tether.xml ----------------------------------------------------------------------------

TetherConfig TetherConfig::Load(const fs::path& folder) {
  TetherConfig config;
  config.file_ = folder / FileName;
  std::error_code ec;
  if (!fs::exists(config.file_, ec)) return config;
  config.exists_ = true;
  try {
    config.problem_ = Parse(config.doc_, ReadFile(config.file_), config.file_);
  } catch (const Error& e) {
    config.problem_ = e.Description();
  }
  return config;
}

std::optional<Location> TetherConfig::locationOf(const char* element) const {
  pugi::xml_node node = doc_.child("tether").child(element);
  if (!node) return std::nullopt;
  return Location{node.attribute("key").value(), node.attribute("subkey").value(),
                  node.attribute("suffix").value()};
}

std::vector<std::string> TetherConfig::Platforms() const {
  std::vector<std::string> names;
  for (pugi::xml_node item : doc_.child("tether").child("platforms").children("item"))
    names.emplace_back(item.attribute("name").value());
  return names;
}

std::vector<std::string> EffectFiles(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    if (EqualsNoCase(it->path().extension().string(), ".fx") && it->is_regular_file(typeError))
      names.push_back(text::DecodeText(it->path().filename().string()));
  }
  std::sort(names.begin(), names.end());
  return names;
}

// ---- the part definitions file ---------------------------------------------------------------

PartDefinitions PartDefinitions::Load(const fs::path& file) {
  PartDefinitions parts;
  std::string text;
  try {
    text = ReadFile(file);
  } catch (const Error& e) {
    throw Error(e.Number(), "cannot read the part definitions file: " + e.Description());
  }
  std::string problem = Parse(parts.doc_, text, file);
  if (!problem.empty()) throw Error(err::PathFileAccess, "the part definitions file " + problem);
  return parts;
}

std::vector<std::string> PartDefinitions::partsWith(const char* marker) const {
  std::vector<std::string> names;
  std::string current;  // carries over to the next part
  for (pugi::xml_node part : doc_.child("ModelInfo").children("PartInfo")) {
    bool added = false;
    for (pugi::xml_node child : part.children()) {
      if (child.type() != pugi::node_element) continue;
      if (std::string_view(child.name()) == "Name") {
        current = TrimWhitespace(child.text().get());
      } else if (!added && std::string_view(child.name()) == marker) {
        names.push_back(current);
        added = true;
      }
    }
  }
  return names;
}

std::vector<std::string> PartDefinitions::AnimationNames() const {
  std::vector<std::string> names;
  for (pugi::xml_node animation : doc_.child("ModelInfo").children("Animation")) {
    if (pugi::xml_attribute name = animation.attribute("name")) names.emplace_back(name.value());
  }
  return names;
}

std::optional<PartDefinitions::Animation> PartDefinitions::FindAnimation(
    std::string_view name) const {
  for (pugi::xml_node animation : doc_.child("ModelInfo").children("Animation")) {
    pugi::xml_attribute a = animation.attribute("name");
    if (!a || name != a.value()) continue;
    return Animation{AttributeOf(animation, "type"), AttributeOf(animation, "length"),
                     AttributeOf(animation, "typeParam"), AttributeOf(animation, "typeParam2")};
  }
  return std::nullopt;
}

}  // namespace vlm::tetherconfig
