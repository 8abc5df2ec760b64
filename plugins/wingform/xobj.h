// The OBJ8 object model of Wingform and its writer.
//
// XObjCol holds the objects of one export, one XObj per texture set. An XObj gathers the
// triangles of its texture set as a table of shared vertices (Vertices of OVert) and an
// index list, three indices per triangle, with the end and the far distance of each level of
// detail; OutputToFile writes it as one X-Plane OBJ8 text file.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "vlm/files.h"
#include "vlm/format_limits.h"
#include "vlm/vertex_table.h"

namespace vlm {

// ---- numbers and dates of the file ---------------------------------------------------------

// A vertex value rounded to 5 decimal places, ties to even, as a 32-bit float; -0 becomes 0.
float RoundVertexValue(float value);
// The shortest decimal of at most 7 significant digits, always without an exponent and with a
// "." whatever the locale: 1, -0.5, 123.4568, 0.00001, 12345680. vlm::Error (6) for an
// infinity or NaN, which the format cannot carry.
std::string PlainDecimal(float value);

// What gives the date and time on the second line of every file.
using Clock = std::function<std::tm()>;
// SOURCE_DATE_EPOCH (whole seconds since 1970, shown in UTC) when it is set, so that exports
// of the same scene give identical files; otherwise the local time now.
std::tm SystemClock();
// The general date form: "06/12/2026 22:57:08" (month/day/year, 24-hour time).
std::string GeneralDate(const std::tm& when);

// ---- the model --------------------------------------------------------------------------------

// One vertex as written: position in metres and normal in OBJ8 axes, texture coordinate.
class OVert {
 public:
  float x = 0, y = 0, z = 0, nx = 0, ny = 0, nz = 0, u = 0, v = 0;

  // The "VT" line, without line end: "VT 1 2.5 -3 0 1 0 0.25 -0.5".
  std::string ToString() const;
  // True when all eight values agree once rounded to 5 decimal places.
  bool Equals(const OVert& ov) const;

  // The eight rounded values, -0 as 0: equal keys are exactly the vertices that are Equals.
  using Key = std::array<float, 8>;
  Key RoundedKey() const;
};

// The vertex table of an object, in order of addition: the rounded values of each vertex,
// the first of each value only.
class Vertices {
 public:
  // The position of the first vertex that Equals `vertex`, which is appended when there is
  // none.
  int32_t FindOrAdd(const OVert& vertex);
  int32_t Count() const { return table_.Count(); }
  // Room for `count` vertices in all without the table growing.
  void Reserve(int32_t count);
  // The rounded values of the vertex at a 0-based position, as its line shows them.
  const OVert::Key& RoundedKey(int32_t position) const { return table_[position]; }

 private:
  struct KeyHash {
    uint64_t operator()(const OVert::Key& key) const;
  };
  // The rounded values compare by value: they hold no -0, and a NaN equals nothing.
  VertexTable<OVert::Key, KeyHash> table_;
};

// One OBJ8 object: one texture set's triangles.
class XObj {
 public:
  static constexpr int32_t LevelCount = obj8::LevelCount;  // levels of detail 0..2

  std::string Texture;        // the TEXTURE line
  std::string SecondTexture;  // the TEXTURE_LIT line
  std::string ThirdTexture;   // the TEXTURE_NORMAL line
  std::string Extension;      // "", "dds" or "png": replaces the texture names' extensions
  int32_t maxLod = 0;         // the highest level that received an index

  vlm::Vertices& Vertices() { return vertices_; }
  const vlm::Vertices& Vertices() const { return vertices_; }

  // The three names equal this object's, compared without regard to case.
  bool IsSame(const std::string& t1, const std::string& t2, const std::string& t3) const;
  // The index of the vertex with these values: the first equal one, or a new one.
  int32_t AddVert(float x, float y, float z, float nx, float ny, float nz, float u, float v);
  // Starts the index list (room for 3 x n) the first time; later calls change nothing. The
  // list grows as needed beyond that room.
  void InitIndices(int32_t n);
  // Appends an index at level `lod` (0..2, else vlm::Error 9) and returns its list position.
  int32_t AddIndex(int32_t index, int32_t lod);
  // The far distance in metres of level `lod` (0..2, else vlm::Error 9).
  void SetDist(int32_t lod, int32_t dist);

  // -1 until InitIndices has run.
  int32_t IndexCount() const { return indexCount_; }
  const std::vector<int32_t>& Indices() const { return indices_; }
  int32_t LevelEnd(int32_t lod) const { return levelEnd_.at(static_cast<size_t>(lod)); }
  int32_t LevelDist(int32_t lod) const { return levelDist_.at(static_cast<size_t>(lod)); }

  // ---- the scene's own OBJ8 data: an object whose command section is written as built ----
  // The header lines after the textures (GLOBAL_..., TILTED, ...).
  std::vector<std::string> headerLines;
  // A line of the command section ("ANIM_begin", "ATTR_hard concrete", "TRIS 0 36").
  void AddCommand(std::string line) { commands_.push_back(std::move(line)); }
  // Appends a VLINE or VLIGHT row (position in metres and OBJ8 axes, then colour) and returns
  // its 0-based place in its table.
  using ColouredPoint = std::array<float, 6>;
  int32_t AddLineVertex(const ColouredPoint& row);
  int32_t AddLight(const ColouredPoint& row);
  int32_t LightCount() const { return static_cast<int32_t>(lights_.size()); }
  // True when the object's command section is its commands rather than its levels' ranges.
  bool HasCommands() const { return !commands_.empty(); }

  // The whole file, CR LF line ends, with `when` on its second line.
  std::string FileText(const std::tm& when) const;
  // The same text written into `fd` as the lists are walked.
  void Write(OutputSink& fd, const std::tm& when) const;
  // Writes the file `fName` in one piece: a failure (vlm::Error naming the file) leaves any
  // earlier file of that name as it was.
  void OutputToFile(const std::string& fName, const std::tm& when) const;
  // The name with the text after its last "." replaced by Extension, as the file writes it.
  std::string applyExtension(const std::string& name) const;

 private:
  // The VT lines, then the IDX10 and IDX lines.
  void printVertInd(OutputSink& fd) const;

  vlm::Vertices vertices_;
  std::vector<ColouredPoint> lineVertices_, lights_;
  std::vector<std::string> commands_;
  std::vector<int32_t> indices_;
  int32_t indexCount_ = -1;
  std::array<int32_t, LevelCount> levelEnd_{};
  std::array<int32_t, LevelCount> levelDist_{};
};

// The objects of one export, one per distinct texture set, in order of creation.
class XObjCol {
 public:
  // The object for these three texture names (compared without regard to case), made and
  // appended when there is none yet.
  XObj& GetObj(const std::string& Texture, const std::string& TextureBump = {},
               const std::string& TextureLit = {});
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }

  class Iterator {
   public:
    explicit Iterator(std::vector<std::unique_ptr<XObj>>::const_iterator it) : it_(it) {}
    XObj& operator*() const { return **it_; }
    Iterator& operator++() {
      ++it_;
      return *this;
    }
    bool operator!=(const Iterator& other) const { return it_ != other.it_; }

   private:
    std::vector<std::unique_ptr<XObj>>::const_iterator it_;
  };
  Iterator begin() const { return Iterator(items_.begin()); }
  Iterator end() const { return Iterator(items_.end()); }

 private:
  std::vector<std::unique_ptr<XObj>> items_;
};

}  // namespace vlm
