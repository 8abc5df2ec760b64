// Paths of groups and objects: slash-separated steps from the root ("Hangar/Door[2]").
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vlm::host {

// One step of a path: an item's name as a path holds it. In a name, "/" is written as
// backslash-slash, a backslash as two backslashes and "[" as backslash-bracket, so any name can be
// held; the n-th of several siblings of one name (counting from 1, among the groups or among the
// objects of one group) is written "Name[n]", the first plainly "Name". An empty name always
// carries its number ("[1]"), so that it cannot be taken for the root.
std::string PathSegment(std::string_view name, int32_t ordinal);

// The place of `item` among the siblings of its name, counting from 1.
template <class T>
int32_t Ordinal(const std::vector<std::unique_ptr<T>>& siblings, const T& item) {
  int32_t n = 0;
  for (const auto& s : siblings) {
    if (s->name == item.name) ++n;
    if (s.get() == &item) return n;
  }
  return 1;
}

}  // namespace vlm::host
