// A growing array of trivially copyable items for the document's large per-mesh lists.
//
// It grows with realloc: the program's allocator (jemalloc) extends a large block in place when
// the addresses after it are free, so a list of a million faces grows without being copied
// and without its old pages and its new ones both being touched. Nothing is reserved beyond
// the capacity asked for, so a process with a limited address space pays only for what it
// holds. Callers that know how much they add call reserve once.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <span>
#include <type_traits>
#include <utility>

namespace vlm::host {

template <class T>
class FlatArray {
  static_assert(std::is_trivially_copyable_v<T>, "FlatArray moves its items as bytes");

 public:
  FlatArray() = default;
  FlatArray(const FlatArray& other) { append(other.span()); }
  FlatArray(FlatArray&& other) noexcept { swap(other); }
  FlatArray& operator=(const FlatArray& other) {
    if (this != &other) {
      clear();
      append(other.span());
    }
    return *this;
  }
  FlatArray& operator=(FlatArray&& other) noexcept {
    FlatArray gone(std::move(other));
    swap(gone);
    return *this;
  }
  ~FlatArray() { std::free(data_); }

  void swap(FlatArray& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
  }

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  size_t capacity() const { return capacity_; }
  T* data() { return data_; }
  const T* data() const { return data_; }
  T& operator[](size_t i) { return data_[i]; }
  const T& operator[](size_t i) const { return data_[i]; }
  T* begin() { return data_; }
  T* end() { return data_ + size_; }
  const T* begin() const { return data_; }
  const T* end() const { return data_ + size_; }
  T& back() { return data_[size_ - 1]; }
  std::span<T> span() { return {data_, size_}; }
  std::span<const T> span() const { return {data_, size_}; }

  // Room for `count` items in all (never less than held).
  void reserve(size_t count) {
    if (count > capacity_) Reallocate(count);
  }
  void push_back(const T& item) {
    if (size_ == capacity_) {
      const T copy = item;  // `item` may be one of ours, and the block may move
      Grow(1);
      data_[size_++] = copy;
      return;
    }
    data_[size_++] = item;
  }
  void append(std::span<const T> items) {
    if (items.empty()) return;
    // Items of our own are found again by index, since growing may move the block.
    const auto address = reinterpret_cast<uintptr_t>(items.data());
    const auto own = reinterpret_cast<uintptr_t>(data_);
    const bool ours = address >= own && address < own + size_ * sizeof(T);
    const size_t from = ours ? (address - own) / sizeof(T) : 0, count = items.size();
    Grow(count);
    const T* source = ours ? data_ + from : items.data();
    std::memmove(static_cast<void*>(data_ + size_), source, count * sizeof(T));
    size_ += count;
  }
  void append(size_t count, const T& item) {
    const T copy = item;
    Grow(count);
    std::fill(data_ + size_, data_ + size_ + count, copy);
    size_ += count;
  }
  // Inserts before item `at` (at most size()), moving the later items up.
  void insert(size_t at, const T& item) {
    const T copy = item;
    Grow(1);
    std::memmove(static_cast<void*>(data_ + at + 1), data_ + at, (size_ - at) * sizeof(T));
    data_[at] = copy;
    ++size_;
  }
  void resize(size_t count, const T& item = T{}) {
    if (count <= size_)
      size_ = count;
    else
      append(count - size_, item);
  }
  void assign(size_t count, const T& item) {
    clear();
    append(count, item);
  }
  void assign(std::span<const T> items) {
    if (items.data() == data_) {
      size_ = std::min(size_, items.size());
      return;
    }
    clear();
    append(items);
  }
  // Keeps the capacity.
  void clear() { size_ = 0; }

 private:
  // Room for `more` items beyond those held: at least twice the capacity, so that items
  // added one at a time cost a constant each.
  void Grow(size_t more) {
    if (more > kMaxItems - size_) throw std::bad_alloc();
    const size_t needed = size_ + more;
    if (needed <= capacity_) return;
    Reallocate(std::max(needed, std::min(kMaxItems, 2 * capacity_)));
  }
  void Reallocate(size_t count) {
    if (count > kMaxItems) throw std::bad_alloc();
    void* block = std::realloc(data_, count * sizeof(T));
    if (!block) throw std::bad_alloc();
    data_ = static_cast<T*>(block);
    capacity_ = count;
  }
  static constexpr size_t kMaxItems = SIZE_MAX / 2 / sizeof(T);

  T* data_ = nullptr;
  size_t size_ = 0, capacity_ = 0;
};

}  // namespace vlm::host
