// The stand-in registry: the machine registry (read only) and the per-user registry, both in
// the Windows .reg text format, in the configuration folder (vlm/settings.h):
//   machine.reg  the machine registry ($VLM_MACHINE_REGISTRY names another file)
//   user.reg     the per-user registry (component registrations)
// Every write goes to a temporary file beside the target that is then renamed over it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vlm {

std::filesystem::path MachineRegistryFile();
std::filesystem::path UserRegistryFile();

enum class RegistryType : uint32_t {
  None = 0,
  String = 1,
  ExpandString = 2,
  Binary = 3,
  Dword = 4
};

struct RegistryValue {
  RegistryType type = RegistryType::String;
  std::vector<uint8_t> data;  // as the registry holds it: a string ends with its NUL byte,
                              // a 32-bit number is 4 little-endian bytes

  static RegistryValue FromString(std::string_view text);
  static RegistryValue FromDword(uint32_t value);
  std::string AsString() const;  // String/ExpandString: the text without the trailing NUL
};

// One key: its values by name ("" is the default value, written @ in the file).
struct RegistryKey {
  std::map<std::string, RegistryValue> values;
};

// A whole registry file: keys by full path (HKEY_LOCAL_MACHINE\SOFTWARE\...), compared
// without regard to case as Windows does. A key that only has keys below it need not be stored.
class RegistryFile {
 public:
  // Parses .reg text. vlm::Error naming `origin`, the line and the problem on bad input.
  static RegistryFile Parse(std::string_view text, const std::string& origin);
  // Reads a file; a missing file is an empty registry.
  static RegistryFile Load(const std::filesystem::path& file);
  std::string Serialize() const;
  // Atomic write.
  void Save(const std::filesystem::path& file) const;

  const RegistryKey* FindKey(std::string_view path) const;
  // Creates the key and each key above it that is not there yet.
  RegistryKey& CreateKey(std::string_view path);
  // A key as a file lists it: the keys above it are found through it (FindKey, SubKeys) and
  // not written on their own. `path` must be a normalized path that CreateKey would take.
  RegistryKey& AddKey(const std::string& path);
  bool DeleteKey(std::string_view path);  // the key and every key below it
  // Full paths of the keys directly below `path`.
  std::vector<std::string> SubKeys(std::string_view path) const;

 private:
  struct Less {
    bool operator()(const std::string& a, const std::string& b) const;
  };
  bool HasKeysBelow(const std::string& prefix) const;
  std::map<std::string, RegistryKey, Less> keys_;
};

// Read access in the manner of the platform's registry calls: a root and a key path, then
// a named value. The root is "HKEY_LOCAL_MACHINE" (the machine registry file) or
// "HKEY_CURRENT_USER" (the per-user file). Missing keys and values give nullopt.
std::optional<RegistryValue> QueryRegistryValue(std::string_view root, std::string_view keyPath,
                                                std::string_view valueName);
bool RegistryKeyExists(std::string_view root, std::string_view keyPath);

// Read-modify-write of the per-user registry under a lock, so concurrent writers do not
// lose each other's changes.
void UpdateUserRegistry(const std::function<void(RegistryFile&)>& change);

}  // namespace vlm
