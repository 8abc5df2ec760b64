// Wingform's size check of shapes, and its warning about those the automatic levels leave out.
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "vlm/text.h"
#include "vlm/warnings.h"
#include "wingform/wingform_export.h"

namespace vlm::wingform {

bool WingformExport::sizeCheck(Shape& shape, int32_t limit) {
  const std::optional<ShapeSize> size = SizeAt(shape, limit);
  if (!size) return true;
  const Vec3 e = size->extents;
  Log("\tSizeCheck " + shape.Name() + " (" + PlainDecimal(e.x) + "," + PlainDecimal(e.y) + "," +
      PlainDecimal(e.z) + ") " + PlainDecimal(size->smallest));
  if (!size->Visible() && lodMode_ == lodType::Auto) tooSmall_.push_back(shape.Name());
  return size->Visible();
}

void WingformExport::warnTooSmall(int32_t limit) {
  std::vector<std::string> names = std::exchange(tooSmall_, {});
  if (names.empty()) return;
  // Name the first few; a scene of thousands of small parts gets one line, not thousands.
  constexpr size_t Named = 5;
  std::string list;
  for (size_t i = 0; i < names.size() && i < Named; ++i)
    list += (i ? ", \"" : "\"") + names[i] + "\"";
  if (names.size() > Named) list += " and " + std::to_string(names.size() - Named) + " more";
  Warn("automatic levels of detail: " + std::to_string(names.size()) +
       (names.size() == 1 ? " shape" : " shapes") + " too small to see beyond " +
       std::to_string(limit) + " m " + (names.size() == 1 ? "is" : "are") +
       " left out of the farther levels: " + list);
}

}  // namespace vlm::wingform
