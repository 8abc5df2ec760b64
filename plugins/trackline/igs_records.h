// Writing the records of a rail-sim IGS geometry file. The records themselves, byte for byte,
// are the contracts' (vlm/igs_layout.h), where the host's reader finds them too. The file is
// little-endian whatever the machine: WriteRecord puts every member into the byte buffer one
// by one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "vlm/error.h"
#include "vlm/igs_layout.h"

namespace vlm::igs {

// Stops an export before anything is written: a fixed limit of the format is exceeded or a
// text cannot be read. The description names the item, its size and the limit.
class ExportStopped : public Error {
 public:
  ExportStopped(int32_t number, std::string description) : Error(number, std::move(description)) {}
};

// A vertex as the exporter makes it, held until the file is written: the fields it sets.
// Its record has one set of texture coordinates, a white colour and no bones.
struct HeldVertex {
  float position[3];
  float normal[3];
  float texCoord[2];
  RecordRef material;  // an IgsMaterial

  IgsVertex Record() const;
};

// A triangle as the exporter makes it, held until the file is written.
struct HeldTriangle {
  RecordRef vertices[3];  // in the owning mesh's vertex array
  float normal[3];
  int32_t fanFlag;
  RecordRef material;  // an IgsMaterial

  IgsTriangle Record() const;
};

// The text as the file holds it: 8-bit characters (Latin-1; a character outside it becomes
// "?"). Bytes that are not UTF-8 are kept as they are.
std::string ToAnsi(std::string_view text);

// Stores a text at the start of a field, the rest of the field 0. A text of exactly the
// field's size fills it with no 0 after it; a longer one stops the export with a message
// that names `item`, the text, its length and the limit; so does a text holding a control
// character.
void StoreText(char* field, size_t size, std::string_view text, std::string_view item);
template <size_t N>
void StoreText(char (&field)[N], std::string_view text, std::string_view item) {
  StoreText(field, N, text, item);
}

// Appends little-endian bytes to a buffer.
class ByteWriter {
 public:
  explicit ByteWriter(std::string& out) : out_(out) {}
  void operator()(int32_t value);
  void operator()(float value);
  void operator()(FileOffset offset) { (*this)(offset.value); }
  void operator()(RecordRef reference) { (*this)(reference.Stored()); }
  template <size_t N>
  void operator()(const char (&bytes)[N]) {
    out_.append(bytes, N);
  }
  template <class T, size_t N>
  void operator()(const T (&items)[N]) {
    for (const T& item : items)
      (*this)(item);
  }
  template <class Record>
  requires requires(const Record& r, ByteWriter& w) { r.Visit(w); }
  void operator()(const Record& record) { record.Visit(*this); }
  void Bytes(std::string_view bytes) { out_.append(bytes); }
  size_t Size() const { return out_.size(); }

 private:
  std::string& out_;
};

// Appends one record in its file form; exactly sizeof(Record) bytes.
template <class Record>
void WriteRecord(std::string& out, const Record& record) {
  ByteWriter writer(out);
  const size_t before = out.size();
  writer(record);
  if (out.size() - before != sizeof(Record))
    Raise(err::InvalidProcedureCall, "a record was written with the wrong size");
}

}  // namespace vlm::igs
