// Checks the document's entities share: counts as the object model gives them, and items by
// an index a plug-in passed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "vlm/error.h"

namespace vlm::host {

inline int32_t Count(size_t n) {
  return static_cast<int32_t>(n);
}

// `index` as an index into `count` items, or error 9 naming `what` and the valid range.
inline size_t CheckedIndex(size_t count, int32_t index, const char* what) {
  if (index < 0 || static_cast<size_t>(index) >= count)
    Raise(err::SubscriptOutOfRange, std::string(what) + " index " + std::to_string(index) +
                                        " is outside 0.." + std::to_string(Count(count) - 1));
  return static_cast<size_t>(index);
}

// The item at `index`, or error 9 naming `what` and the valid range.
template <class T>
const T& CheckedAt(const std::vector<T>& items, int32_t index, const char* what) {
  return items[CheckedIndex(items.size(), index, what)];
}

// Custom fields by slot: the text of a slot that `names` defines ("" when not set), and
// setting it ("" clears it).
inline std::string FieldText(const std::map<int32_t, std::string>& fields,
                             const std::vector<std::string>& names, int32_t slot,
                             const char* what) {
  CheckedAt(names, slot, what);
  auto it = fields.find(slot);
  return it == fields.end() ? std::string() : it->second;
}
inline void SetFieldText(std::map<int32_t, std::string>& fields,
                         const std::vector<std::string>& names, int32_t slot,
                         const std::string& text, const char* what) {
  CheckedAt(names, slot, what);
  if (text.empty())
    fields.erase(slot);
  else
    fields[slot] = text;
}

}  // namespace vlm::host
