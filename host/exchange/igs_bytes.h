// Reading the records of a binary IGS file with every offset checked against the file's size:
// a record that would run past its end, or arrays that claim more bytes than the file holds, is
// a vlm::Error naming the file, the record and the byte offset.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "vlm/error.h"

namespace vlm::host::igs_bytes {

inline std::string Number(uint64_t n) {
  return std::to_string(n);
}

// The bytes of one file, read little-endian.
class Reader {
 public:
  Reader(std::string_view bytes, const std::string& origin) : b_(bytes), origin_(origin) {}

  [[noreturn]] void Fail(const std::string& record, uint64_t at, const std::string& what) const {
    Raise(err::InvalidProcedureCall,
          origin_ + ": " + record + " at byte " + Number(at) + ": " + what);
  }

  // Checks that `length` bytes from `at` lie in the file.
  void Need(uint64_t at, uint64_t length, const std::string& record) const {
    if (at > b_.size() || length > b_.size() - at)
      Fail(
          record, at,
          Number(length) + " bytes run past the end of the file (" + Number(b_.size()) + " bytes)");
  }

  int32_t I32(uint64_t at, const std::string& record) const {
    Need(at, 4, record);
    uint32_t v = 0;
    for (int k = 3; k >= 0; --k)
      v = (v << 8) | static_cast<unsigned char>(b_[at + static_cast<uint64_t>(k)]);
    return static_cast<int32_t>(v);
  }
  float F32(uint64_t at, const std::string& record) const {
    return std::bit_cast<float>(I32(at, record));
  }
  template <size_t N>
  std::array<float, N> Floats(uint64_t at, const std::string& record) const {
    std::array<float, N> out{};
    for (size_t i = 0; i < N; ++i)
      out[i] = F32(at + 4 * i, record);
    return out;
  }
  // The bytes of a text field up to its first 0.
  std::string Text(uint64_t at, size_t size, const std::string& record) const {
    Need(at, size, record);
    const std::string_view field = b_.substr(at, size);
    return std::string(field.substr(0, field.find('\0')));
  }

  // The start of an array of `count` records of `size` bytes at `offset`, checked to lie in
  // the file. The arrays of a file do not overlap, so together they fit in it too: counts that
  // claim more (arrays laid over the same bytes again and again) are refused before anything
  // is made of them, so that what is read stays within a few times the file's size.
  uint64_t Array(int32_t count, int32_t offset, size_t size, const std::string& what,
                 uint64_t countAt) {
    if (count < 0) Fail(what, countAt, "the count " + std::to_string(count) + " is negative");
    if (count == 0) return offset < 0 ? 0 : static_cast<uint64_t>(offset);
    if (offset < 0)
      Fail(what, countAt, "the array's offset " + std::to_string(offset) + " is negative");
    const uint64_t start = static_cast<uint64_t>(offset);
    if (start > b_.size() || static_cast<uint64_t>(count) * size > b_.size() - start)
      Fail(what, start,
           Number(static_cast<uint64_t>(count)) + " records of " + Number(size) +
               " bytes run past the end of the file (" + Number(b_.size()) + " bytes)");
    claimed_ += static_cast<uint64_t>(count) * size;
    if (claimed_ > b_.size())
      Fail(what, countAt,
           "the count " + std::to_string(count) + " brings the records of the file's arrays to " +
               Number(claimed_) + " bytes, more than the file's " + Number(b_.size()) +
               " bytes hold");
    return start;
  }

  // The index of the record a reference names in an array of `count` records of `size` bytes
  // at `base`.
  int32_t IndexOf(int32_t reference, uint64_t base, int32_t count, size_t size,
                  const std::string& record, uint64_t at) const {
    const int64_t delta = static_cast<int64_t>(reference) - static_cast<int64_t>(base);
    if (delta < 0 || delta % static_cast<int64_t>(size) != 0 ||
        delta / static_cast<int64_t>(size) >= count)
      Fail(record, at,
           "the reference " + std::to_string(reference) + " names no record of its array (" +
               std::to_string(count) + " records of " + Number(size) + " bytes at " + Number(base) +
               ")");
    return static_cast<int32_t>(delta / static_cast<int64_t>(size));
  }

  size_t Size() const { return b_.size(); }
  std::string_view Bytes(uint64_t at, size_t n) const { return b_.substr(at, n); }

 private:
  std::string_view b_;
  const std::string& origin_;
  uint64_t claimed_ = 0;  // bytes of the records of every array so far
};

}  // namespace vlm::host::igs_bytes
