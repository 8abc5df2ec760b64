#include "fs10/mod_types.h"

#include <cstdint>
#include <optional>
#include <vector>

#include "vlm/error.h"
#include "vlm/registry.h"
#include "vlm/warnings.h"

namespace vlm::modTypes {
namespace {

std::string ByteHex(uint8_t byte) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  if (byte >= 16) out += digits[byte >> 4];
  out += digits[byte & 15];
  return out;
}

}  // namespace

bool GetKeyValue(std::string_view rootKey, std::string_view keyPath, std::string_view valueName,
                 std::string& keyValue) {
  std::optional<RegistryValue> value;
  try {
    value = QueryRegistryValue(rootKey, keyPath, valueName);
  } catch (const Error& e) {
    Warn(e.Description());
    value.reset();
  }
  if (!value) {
    keyValue.clear();
    return false;
  }

  const std::vector<uint8_t>& data = value->data;
  size_t size = data.size();
  if (size > 0 && data[size - 1] == 0) --size;

  switch (value->type) {
    case RegistryType::String:
      keyValue.assign(data.begin(), data.begin() + static_cast<ptrdiff_t>(size));
      break;
    case RegistryType::Dword:
      keyValue = "&h";
      for (size_t i = size; i-- > 0;)
        keyValue += ByteHex(data[i]);
      break;
    default:
      break;  // left as the caller passed it
  }
  return true;
}

}  // namespace vlm::modTypes
