// modTypes: reading one value of the machine registry as text.
#pragma once

#include <string>
#include <string_view>

namespace vlm::modTypes {

// Reads the value `valueName` of the key `keyPath` under the root `rootKey`
// ("HKEY_LOCAL_MACHINE") into `keyValue` and returns true.
//   - a string value gives its characters (a trailing NUL dropped);
//   - a 32-bit number gives "&h" and the hexadecimal digits of its bytes from the last to the
//     first, each byte without a leading zero (a last byte that is 0 is dropped first, as a
//     trailing NUL would be);
//   - any other type leaves `keyValue` as the caller passed it.
// A value of any length is read whole. A missing key or value, or a registry file that cannot
// be read, gives false with `keyValue` empty (an unreadable file is also reported through
// vlm::Warn).
bool GetKeyValue(std::string_view rootKey, std::string_view keyPath, std::string_view valueName,
                 std::string& keyValue);

}  // namespace vlm::modTypes
