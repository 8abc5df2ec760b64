// An OBJ8 file as Wingform writes it: read by the host's OBJ8 reader, then held to the form
// the writer gives every file beyond what the reader needs: CR LF line ends, the header with
// its date, texture names in the second print zone, plain decimals in the VT lines, triangle
// ranges that cover the index list in order, level ranges that follow each other, and no line
// but those the writer writes.
#pragma once

#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/obj8_file.h"
#include "vlm/error.h"

namespace vlm::test {

struct Obj8Written {
  host::Obj8File file;
  std::vector<std::string> lines;  // without their CR LF
  std::string date;                // the text after "800 # Exported from Vellum "
  std::array<std::string, 3> textures;
  std::vector<std::array<float, 8>> vertices;
  std::vector<int32_t> indices;
  struct Range {
    int nearDist = 0, farDist = 0;  // 0, 0 without ATTR_LOD
    int offset = 0, count = 0;
  };
  std::vector<Range> ranges;  // one per TRIS line
  bool hasLod = false;
  std::vector<std::string> problems;  // empty for a sound file

  // Triangles as vertex triples of the range r.
  std::vector<std::array<std::array<float, 8>, 3>> Triangles(size_t r) const {
    std::vector<std::array<std::array<float, 8>, 3>> out;
    const auto vertex = [&](int i) {
      return vertices[static_cast<size_t>(indices[static_cast<size_t>(i)])];
    };
    for (int i = ranges[r].offset; i + 2 < ranges[r].offset + ranges[r].count; i += 3)
      out.push_back({vertex(i), vertex(i + 1), vertex(i + 2)});
    return out;
  }
};

inline std::vector<std::string> Obj8Words(std::string_view line) {
  std::vector<std::string> words;
  std::istringstream in{std::string(line)};
  for (std::string w; in >> w;)
    words.push_back(w);
  return words;
}

inline Obj8Written ReadObj8(const std::string& bytes) {
  Obj8Written f;
  auto problem = [&](const std::string& p) { f.problems.push_back(p); };
  for (size_t start = 0; start < bytes.size();) {
    size_t end = bytes.find("\r\n", start);
    if (end == std::string::npos) {
      problem("the last line has no CR LF");
      end = bytes.size();
    }
    std::string line = bytes.substr(start, end - start);
    if (line.find_first_of("\r\n") != std::string::npos) problem("a bare CR or LF: " + line);
    f.lines.push_back(line);
    start = end + 2;
  }
  try {
    f.file = host::ReadObj8(bytes, "the file");
  } catch (const Error& e) {
    problem(e.Description());
    return f;
  }
  const std::string dated = "800 # Exported from Vellum ";
  if (f.lines.size() < 3 || f.lines[0] != "I" || f.lines[2] != "OBJ" ||
      f.lines[1].rfind(dated, 0) != 0) {
    problem("bad header");
    return f;
  }
  f.date = f.lines[1].substr(dated.size());
  f.textures = f.file.textures;
  for (const auto& line : f.lines) {
    const auto words = Obj8Words(line);
    if (words.empty()) {
      problem("an empty line");
    } else if (words[0].starts_with("TEXTURE")) {
      // The name starts at the next print zone: column 14, or 28 after TEXTURE_NORMAL.
      const size_t column = words[0].size() < 14 ? 14 : 28;
      if (line.size() < column || line.substr(words[0].size(), column - words[0].size()) !=
                                      std::string(column - words[0].size(), ' '))
        problem("texture line not padded: " + line);
    } else if (words[0] == "VT") {
      for (size_t i = 1; i < words.size(); ++i)
        if (words[i].find_first_not_of("-0123456789.") != std::string::npos)
          problem("VT value not a plain decimal: " + words[i]);
    }
  }
  for (const auto& v : f.file.vertices)
    f.vertices.push_back({v.position.x, v.position.y, v.position.z, v.normal.x, v.normal.y,
                          v.normal.z, v.uv.u, v.uv.v});
  f.indices = f.file.indices;
  for (const auto& [keyword, count] : f.file.unknown)
    problem("unknown line: " + keyword);
  int expectedNear = 0, nextOffset = 0;
  bool pendingLod = false;
  for (const host::Obj8Command& c : f.file.commands) {
    switch (c.kind) {
      case host::Obj8Command::Kind::Lod:
        if (c.nearDistance != static_cast<float>(expectedNear))
          problem("ATTR_LOD does not start where the last ended, line " + std::to_string(c.line));
        f.hasLod = pendingLod = true;
        f.ranges.push_back(
            {static_cast<int>(c.nearDistance), static_cast<int>(c.farDistance), 0, 0});
        expectedNear = static_cast<int>(c.farDistance);
        break;
      case host::Obj8Command::Kind::State:
        if (c.keyword != "ATTR_no_cull") problem("unknown line: " + c.keyword);
        break;
      default:  // Wingform writes no other command
        problem("unknown line: " + c.keyword);
        break;
      case host::Obj8Command::Kind::Tris:
        if (!pendingLod) f.ranges.push_back({});
        pendingLod = false;
        f.ranges.back().offset = static_cast<int>(c.offset);
        f.ranges.back().count = static_cast<int>(c.count);
        if (c.offset != nextOffset)
          problem("TRIS does not start where the last ended, line " + std::to_string(c.line));
        nextOffset = static_cast<int>(c.offset + c.count);
        break;
    }
  }
  if (pendingLod) problem("ATTR_LOD without TRIS");
  if (nextOffset != static_cast<int>(f.file.indices.size()))
    problem("the TRIS ranges do not cover the index list");
  return f;
}

inline std::string ReadBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline Obj8Written ReadObj8File(const std::filesystem::path& file) {
  return ReadObj8(ReadBytes(file));
}

}  // namespace vlm::test
