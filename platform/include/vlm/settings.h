// Per-user settings and the stand-in registry.
//
// Everything lives in one folder, the user's configuration folder: $VLM_HOME when set,
// else $XDG_CONFIG_HOME/vlm, else ~/.config/vlm.
//   settings.json  per-user settings: text values by (application, section, key)
//   machine.reg    the machine registry, read only, in the Windows .reg text format
//                  ($VLM_MACHINE_REGISTRY names another file)
//   user.reg       the per-user registry (component registrations), same format
// Every write goes to a temporary file beside the target that is then renamed over it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vlm/files.h"

namespace vlm {

std::filesystem::path ConfigFolder();
std::filesystem::path SettingsFile();
std::filesystem::path MachineRegistryFile();
std::filesystem::path UserRegistryFile();

// Warnings that the platform cannot raise as errors (a damaged settings file met while a
// plug-in reads a setting). The host prints them; the default sink writes to stderr.
void SetWarningSink(std::function<void(const std::string&)> sink);
void Warn(const std::string& message);

// ---- per-user settings -------------------------------------------------------------------
// GetSetting never fails: a missing value, or a settings file that cannot be read, gives the
// default (a damaged file is reported once through Warn and left untouched). SaveSetting
// raises vlm::Error (75) naming the file when it cannot be written, and refuses to replace
// a damaged file.
std::string GetSetting(std::string_view application, std::string_view section, std::string_view key,
                       std::string_view defaultValue = {});
void SaveSetting(std::string_view application, std::string_view section, std::string_view key,
                 std::string_view value);
// The values of one dialog, saved as one set under one lock: runs that save at the same time
// leave the set of one of them whole, never a mixture.
void SaveSettings(std::string_view application, std::string_view section,
                  const std::vector<std::pair<std::string, std::string>>& values);
// GetSetting for a value that must be readable: a remembered value for which `problem` says
// what is wrong (it returns "" for a good one) is dropped with a warning naming it, and the
// default is used, so a bad value in the file cannot stop every later run.
std::string GetSetting(std::string_view application, std::string_view section, std::string_view key,
                       std::string_view defaultValue,
                       const std::function<std::string(const std::string&)>& problem);
// A value GetSetting took from the settings file (never a default, nor under fresh settings).
struct RememberedSetting {
  std::string application, section, key, value;
};
// The values taken from the settings file since the last call, in the order first read.
std::vector<RememberedSetting> TakeRememberedSettings();
// What is wrong with the settings file ("settings file F is damaged (line 2, column 5: ...)"),
// or "" when it is sound, missing or unreadable. While it is damaged nothing can be saved.
std::string SettingsDamage();
void DeleteSetting(std::string_view application, std::string_view section, std::string_view key);
// Fresh settings, for the whole process: reads see nothing of the settings file, as on a first
// run, and saves go to memory only, so a run is independent of earlier ones and leaves the
// file alone. Within the process the saved values are read back as usual.
void UseFreshSettings(bool fresh);
bool FreshSettings();

// ---- registry -------------------------------------------------------------------------------
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
