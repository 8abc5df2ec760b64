// The hash table that shares equal vertices (and other values a mesh lists once): open
// addressing with linear probing, the hasher and the equality the caller's.
//
// What it promises:
// - Every key added gets the next number, from 0 in order of addition; Insert of a key that
//   Equal finds equal to one added before gives that one's number and adds nothing. When
//   several added keys equal it, the first added wins: the answer is the one a walk through
//   all keys in order of addition would give, whatever the hash values or the table's size.
// - Keys that Equal calls equal must have the same Hash. Equal need not say a key equals
//   itself: a key that equals nothing (a NaN compared by value) is added every time, with a
//   number of its own. Equality by value or by bits is the caller's choice; the table only
//   compares keys whose hash values agree.
// - The table is at most half full and doubles when it would be more; Clear or Reserve with
//   the number of keys to come sizes it so that adding them never regrows it.
// - At most 2^31 - 1 keys (numbers are 32-bit).
//
// BitwiseHash and BitwiseEqual tell keys made of 32-bit fields apart by their bits, as an
// importer gathers positions, normals and texture coordinates: -0 and +0 stay apart, and a
// NaN equals itself.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <type_traits>
#include <vector>

namespace vlm {

// The bits of a key made of 32-bit fields (floats, whole numbers), one word per field.
template <class Key>
std::array<uint32_t, sizeof(Key) / 4> KeyBits(const Key& key) {
  static_assert(std::is_trivially_copyable_v<Key> && sizeof(Key) % 4 == 0,
                "a key compared by its bits is made of 32-bit fields");
  std::array<uint32_t, sizeof(Key) / 4> bits;
  std::memcpy(bits.data(), &key, sizeof key);
  return bits;
}

template <class Key>
struct BitwiseHash {
  // Coordinates on a grid have low bits that are all zero, so every bit is mixed into the
  // low ones the slots are taken from.
  uint64_t operator()(const Key& key) const {
    uint64_t h = 0;
    for (uint32_t x : KeyBits(key))
      h = (h ^ x) * 0x9E3779B97F4A7C15ull;
    h ^= h >> 32;
    h *= 0xFF51AFD7ED558CCDull;
    return h ^ (h >> 29);
  }
};

template <class Key>
struct BitwiseEqual {
  bool operator()(const Key& a, const Key& b) const { return KeyBits(a) == KeyBits(b); }
};

// The slots of a table that holds `keys` keys at most half full: a power of two, at least 16.
inline size_t VertexTableSlots(size_t keys) {
  size_t size = 16;
  while (size < 2 * keys)
    size *= 2;
  return size;
}

template <class Key, class Hash, class Equal = std::equal_to<Key>>
class VertexTable {
 public:
  struct Entry {
    int32_t number;  // the key's number
    bool added;      // whether the key was new
  };

  // Forgets every key and makes room for `expected` of them.
  void Clear(size_t expected = 0) {
    keys_.clear();
    keys_.reserve(expected);
    slots_.assign(VertexTableSlots(expected), Slot{});
  }

  // Makes room for `expected` keys in all.
  void Reserve(size_t expected) {
    if (expected <= keys_.size()) return;
    keys_.reserve(expected);
    if (VertexTableSlots(expected) > slots_.size()) rehash(VertexTableSlots(expected));
  }

  // The number of the first key added that equals `key`; when there is none, `key` is added.
  Entry Insert(const Key& key) {
    if (2 * (keys_.size() + 1) > slots_.size()) rehash(VertexTableSlots(keys_.size() + 1));
    const uint64_t h = hash_(key);
    const uint32_t tag = Tag(h);
    const size_t mask = slots_.size() - 1;
    size_t s = static_cast<size_t>(h) & mask;
    for (; slots_[s].number >= 0; s = (s + 1) & mask)
      if (slots_[s].tag == tag && equal_(keys_[static_cast<size_t>(slots_[s].number)], key))
        return {slots_[s].number, false};
    const auto number = static_cast<int32_t>(keys_.size());
    keys_.push_back(key);
    slots_[s] = Slot{tag, number};
    return {number, true};
  }

  // The number of the first key added that equals `key`, or -1.
  int32_t Find(const Key& key) const {
    if (slots_.empty()) return -1;
    const uint64_t h = hash_(key);
    const uint32_t tag = Tag(h);
    const size_t mask = slots_.size() - 1;
    for (size_t s = static_cast<size_t>(h) & mask; slots_[s].number >= 0; s = (s + 1) & mask)
      if (slots_[s].tag == tag && equal_(keys_[static_cast<size_t>(slots_[s].number)], key))
        return slots_[s].number;
    return -1;
  }

  int32_t Count() const { return static_cast<int32_t>(keys_.size()); }
  // The key of a number, as it was added.
  const Key& operator[](int32_t number) const { return keys_[static_cast<size_t>(number)]; }

 private:
  // A number, and the high half of its key's hash so that most other keys are passed over
  // without comparing them; number -1 marks an empty slot.
  struct Slot {
    uint32_t tag = 0;
    int32_t number = -1;
  };

  static uint32_t Tag(uint64_t hash) { return static_cast<uint32_t>(hash >> 32); }

  // Places every key again in a table of `size` slots. Each key added is the first of its
  // value, so none is compared.
  void rehash(size_t size) {
    slots_.assign(size, Slot{});
    const size_t mask = size - 1;
    for (size_t n = 0; n < keys_.size(); ++n) {
      const uint64_t h = hash_(keys_[n]);
      size_t s = static_cast<size_t>(h) & mask;
      while (slots_[s].number >= 0)
        s = (s + 1) & mask;
      slots_[s] = Slot{Tag(h), static_cast<int32_t>(n)};
    }
  }

  [[no_unique_address]] Hash hash_;
  [[no_unique_address]] Equal equal_;
  std::vector<Key> keys_;
  std::vector<Slot> slots_;  // empty until the first key or Clear
};

}  // namespace vlm
