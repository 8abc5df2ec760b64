// The distinct values of a list being built, as an importer gathers positions, normals and
// texture coordinates: each value added gives the index of its first copy in the list.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

namespace vlm::host::exchange {

// Values told apart by their bits (-0 and +0 stay apart); the list starts empty. Each slot of
// the table holds a value's bits beside its index, so that finding one touches one place in
// memory: an importer adds three corners a triangle, mostly values seen before.
template <typename T>
class Distinct {
 public:
  int32_t Add(const T& value, std::vector<T>& list) {
    Slot slot{};
    std::memcpy(slot.key.data(), &value, sizeof value);
    if (2 * (list.size() + 1) > slots_.size()) Grow();
    const size_t mask = slots_.size() - 1;
    for (size_t at = Hash(slot.key) & mask;; at = (at + 1) & mask) {
      Slot& held = slots_[at];
      if (held.number < 0) {
        slot.number = static_cast<int32_t>(list.size());
        held = slot;
        list.push_back(value);
        return slot.number;
      }
      if (held.key == slot.key) return held.number;
    }
  }

 private:
  using Key = std::array<uint32_t, sizeof(T) / 4>;
  struct Slot {
    Key key;
    int32_t number = -1;
  };
  // Coordinates on a grid have low bits that are all zero, so every bit is mixed into the
  // low ones the slots are taken from.
  static uint64_t Hash(const Key& k) {
    uint64_t h = 0;
    for (uint32_t x : k)
      h = (h ^ x) * 0x9E3779B97F4A7C15ull;
    h ^= h >> 32;
    h *= 0xFF51AFD7ED558CCDull;
    return h ^ (h >> 29);
  }
  // Twice the slots, the values of the list placed again.
  void Grow() {
    std::vector<Slot> slots(std::max<size_t>(16, 2 * slots_.size()));
    const size_t mask = slots.size() - 1;
    for (const Slot& slot : slots_) {
      if (slot.number < 0) continue;
      size_t at = Hash(slot.key) & mask;
      while (slots[at].number >= 0)
        at = (at + 1) & mask;
      slots[at] = slot;
    }
    slots_ = std::move(slots);
  }
  std::vector<Slot> slots_;
};

}  // namespace vlm::host::exchange
