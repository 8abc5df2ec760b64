// The production IGS reader as the tests use it: a file Trackline wrote must read with every
// section exactly where Trackline puts it (the reader's notes are failures here), a record's
// raw fields are read by their offset from the file's bytes, and a block's points are placed
// in the world through its parents.
#pragma once

#include <bit>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "exchange/igs_file.h"
#include "vlm/math.h"

namespace vlm::test {

inline host::IgsContents ReadIgs(std::string_view bytes) {
  host::IgsContents c = host::ReadIgs(bytes, "written.igs");
  if (!c.notes.empty()) throw std::runtime_error("IGS file: " + c.notes.front());
  return c;
}

// The bytes of one record; fields are little-endian.
struct IgsRaw {
  std::string_view bytes;
  int32_t I32(size_t at) const {
    uint32_t v = 0;
    for (size_t k = 4; k-- > 0;)
      v = (v << 8) | static_cast<unsigned char>(bytes.at(at + k));
    return static_cast<int32_t>(v);
  }
  float F32(size_t at) const { return std::bit_cast<float>(I32(at)); }
};

inline IgsRaw RawAt(std::string_view file, uint64_t offset, size_t size) {
  return {file.substr(offset, size)};
}
inline IgsRaw RawHeader(std::string_view file) {
  return RawAt(file, 0, host::kIgsHeaderSize);
}
inline IgsRaw RawVertex(std::string_view file, const host::IgsMeshRecord& m, size_t k) {
  return RawAt(file, m.vertexArray + k * host::kIgsVertexSize, host::kIgsVertexSize);
}
inline IgsRaw RawTriangle(std::string_view file, const host::IgsMeshRecord& m, size_t k) {
  return RawAt(file, m.triangleArray + k * host::kIgsTriangleSize, host::kIgsTriangleSize);
}

// Where each block of an IGS file stands in the world: its rows apply to row vectors, then
// its parent's.
inline Vec3 IgsWorld(const host::IgsContents& igs, int32_t block, Vec3 p) {
  for (; block >= 0; block = igs.blocks[static_cast<size_t>(block)].parent) {
    Mat4 m;
    for (size_t k = 0; k < 16; ++k)
      m.m[k] = igs.blocks[static_cast<size_t>(block)].transform[k];
    p = TransformPoint(p, m);
  }
  return p;
}

}  // namespace vlm::test
