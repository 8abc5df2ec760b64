// A small reader of the OBJ8 text files Wingform writes, with the checks every such file
// must pass: CR LF line ends, the header, counts that match, indices below the vertex count,
// triangle ranges that cover the index list in order and level ranges that follow each other.
#pragma once

#include <array>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace vlm::test {

struct Obj8File {
  std::vector<std::string> lines;  // without their CR LF
  std::string date;                // the text after "800 # Exported from Vellum "
  std::array<std::string, 3> textures;
  int pointCount = -1, indexCountDeclared = -1;
  std::vector<std::array<float, 8>> vertices;
  std::vector<int> indices;
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
    for (int i = ranges[r].offset; i + 2 < ranges[r].offset + ranges[r].count; i += 3)
      out.push_back({vertices[static_cast<size_t>(indices[static_cast<size_t>(i)])],
                     vertices[static_cast<size_t>(indices[static_cast<size_t>(i + 1)])],
                     vertices[static_cast<size_t>(indices[static_cast<size_t>(i + 2)])]});
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

inline bool Obj8Int(const std::string& word, int& out) {
  auto r = std::from_chars(word.data(), word.data() + word.size(), out);
  return r.ec == std::errc() && r.ptr == word.data() + word.size();
}

inline Obj8File ReadObj8(const std::string& bytes) {
  Obj8File f;
  auto problem = [&](const std::string& p) { f.problems.push_back(p); };
  size_t start = 0;
  while (start < bytes.size()) {
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
  if (f.lines.size() < 3 || f.lines[0] != "I" || f.lines[2] != "OBJ" ||
      f.lines[1].rfind("800 # Exported from Vellum ", 0) != 0) {
    problem("bad header");
    return f;
  }
  f.date = f.lines[1].substr(27);
  int expectedNear = 0, nextOffset = 0;
  bool pendingLod = false;
  for (size_t n = 3; n < f.lines.size(); ++n) {
    const std::string& line = f.lines[n];
    const auto words = Obj8Words(line);
    if (words.empty()) {
      problem("empty line " + std::to_string(n + 1));
      continue;
    }
    const std::string& k = words[0];
    auto ints = [&](size_t count, std::vector<int>& out) {
      if (words.size() != count + 1) return problem("wrong item count: " + line), false;
      for (size_t i = 1; i < words.size(); ++i) {
        int v = 0;
        if (!Obj8Int(words[i], v)) return problem("not a whole number: " + line), false;
        out.push_back(v);
      }
      return true;
    };
    if (k == "TEXTURE" || k == "TEXTURE_LIT" || k == "TEXTURE_NORMAL") {
      const size_t column = k.size() < 14 ? 14 : 28;
      const size_t slot = k == "TEXTURE" ? 0 : k == "TEXTURE_LIT" ? 1 : 2;
      f.textures[slot] = line.size() > column ? line.substr(column) : "";
      if (line.size() < column) problem("texture line not padded: " + line);
    } else if (k == "POINT_COUNTS") {
      std::vector<int> v;
      if (ints(4, v)) f.pointCount = v[0], f.indexCountDeclared = v[3];
    } else if (k == "VT") {
      if (words.size() != 9) {
        problem("VT without eight values: " + line);
        continue;
      }
      std::array<float, 8> vt{};
      for (size_t i = 0; i < 8; ++i) {
        const std::string& w = words[i + 1];
        if (w.find_first_not_of("-0123456789.") != std::string::npos)
          problem("VT value not a plain decimal: " + w);
        auto r = std::from_chars(w.data(), w.data() + w.size(), vt[i]);
        if (r.ec != std::errc() || r.ptr != w.data() + w.size()) problem("bad VT value: " + w);
      }
      f.vertices.push_back(vt);
    } else if (k == "IDX10" || k == "IDX") {
      ints(k == "IDX10" ? 10 : 1, f.indices);
    } else if (k == "ATTR_LOD") {
      std::vector<int> v;
      if (!ints(2, v)) continue;
      if (v[0] != expectedNear) problem("ATTR_LOD does not start where the last ended: " + line);
      f.hasLod = true;
      pendingLod = true;
      f.ranges.push_back({v[0], v[1], 0, 0});
      expectedNear = v[1];
    } else if (k == "TRIS") {
      std::vector<int> v;
      if (!ints(2, v)) continue;
      if (!pendingLod) f.ranges.push_back({});
      pendingLod = false;
      f.ranges.back().offset = v[0];
      f.ranges.back().count = v[1];
      if (v[0] != nextOffset) problem("TRIS does not start where the last ended: " + line);
      if (v[1] < 0 || v[1] % 3 != 0) problem("TRIS count is not whole triangles: " + line);
      nextOffset = v[0] + v[1];
    } else if (k != "ATTR_no_cull") {
      problem("unknown line: " + line);
    }
  }
  if (pendingLod) problem("ATTR_LOD without TRIS");
  if (f.pointCount != static_cast<int>(f.vertices.size()))
    problem("POINT_COUNTS vertices differ from the VT lines");
  if (f.indexCountDeclared != static_cast<int>(f.indices.size()))
    problem("POINT_COUNTS indices differ from the IDX lines");
  for (int i : f.indices)
    if (i < 0 || i >= static_cast<int>(f.vertices.size())) problem("index out of range");
  if (nextOffset != static_cast<int>(f.indices.size()))
    problem("the TRIS ranges do not cover the index list");
  return f;
}

inline std::string ReadBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline Obj8File ReadObj8File(const std::filesystem::path& file) {
  return ReadObj8(ReadBytes(file));
}

}  // namespace vlm::test
