// Per-user settings.
//
// Everything lives in one folder, the user's configuration folder: $VLM_HOME when set,
// else $XDG_CONFIG_HOME/vlm, else ~/.config/vlm.
//   settings.json  per-user settings: text values by (application, section, key)
//   machine.reg, user.reg  the registries (vlm/registry.h)
// Every write goes to a temporary file beside the target that is then renamed over it.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vlm {

std::filesystem::path ConfigFolder();
std::filesystem::path SettingsFile();

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
// The values taken from the settings file since the last call, in the order first read (of
// the run context installed).
std::vector<RememberedSetting> TakeRememberedSettings();
// What is wrong with the settings file ("settings file F is damaged (line 2, column 5: ...)"),
// or "" when it is sound, missing or unreadable. While it is damaged nothing can be saved.
std::string SettingsDamage();
void DeleteSetting(std::string_view application, std::string_view section, std::string_view key);
// Fresh settings, for the run context installed (RunContext::UseFreshSettings): reads see
// nothing of the settings file, as on a first run, and saves go to memory only, so a run is
// independent of earlier ones and leaves the file alone. Within the run the saved values are
// read back as usual.
void UseFreshSettings(bool fresh);
bool FreshSettings();

}  // namespace vlm
