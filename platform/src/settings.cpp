// The configuration folder and the per-user settings file.
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "file_lock.h"
#include "run_state.h"
#include "vlm/error.h"
#include "vlm/files.h"
#include "vlm/run_context.h"
#include "vlm/settings.h"
#include "vlm/text.h"
#include "vlm/warnings.h"

namespace vlm {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

const char* NonEmptyEnv(const char* name) {
  const char* value = std::getenv(name);
  return value && *value ? value : nullptr;
}

}  // namespace

// The environment is read on every call: a test (or the host's command line) may point
// VLM_HOME elsewhere at any time.
fs::path ConfigFolder() {
  if (const char* home = NonEmptyEnv("VLM_HOME")) return home;
  if (const char* xdg = NonEmptyEnv("XDG_CONFIG_HOME")) return fs::path(xdg) / "vlm";
  if (const char* home = NonEmptyEnv("HOME")) return fs::path(home) / ".config" / "vlm";
  if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir && *entry->pw_dir) {
    return fs::path(entry->pw_dir) / ".config" / "vlm";
  }
  throw Error(err::PathFileAccess,
              "cannot find the configuration folder: set VLM_HOME or HOME to a folder");
}

fs::path SettingsFile() {
  return ConfigFolder() / "settings.json";
}

// ---- settings -------------------------------------------------------------------------------
//
// settings.json holds {"application": {"section": {"key": "text"}}}. Anything else in the
// file makes it damaged: reads fall back to defaults, writes refuse to touch it.

namespace {

struct SettingsDocument {
  json root = json::object();
  std::string bytes;   // the file as read ("" when missing)
  std::string damage;  // what is wrong with it, empty when it is sound
};

const char* TypeName(const json& value) {
  switch (value.type()) {
    case json::value_t::object:
      return "an object";
    case json::value_t::array:
      return "a list";
    case json::value_t::string:
      return "text";
    case json::value_t::boolean:
      return "true/false";
    case json::value_t::null:
      return "null";
    case json::value_t::number_integer:
    case json::value_t::number_unsigned:
    case json::value_t::number_float:
      return "a number";
    default:
      return "something else";
  }
}

// Finds where parsing stops. The parser reports a number beyond the range of a double
// (1e999) as out of range, not as a parse error, and without its place; reading the text
// again with this reader recovers the place.
class ErrorLocator final : public nlohmann::json_sax<json> {
 public:
  explicit ErrorLocator(const std::string& bytes) : bytes_(bytes) {}
  std::string place;

  bool null() override { return true; }
  bool boolean(bool) override { return true; }
  bool number_integer(number_integer_t) override { return true; }
  bool number_unsigned(number_unsigned_t) override { return true; }
  bool number_float(number_float_t, const string_t&) override { return true; }
  bool string(string_t&) override { return true; }
  bool binary(binary_t&) override { return true; }
  bool start_object(std::size_t) override { return true; }
  bool key(string_t&) override { return true; }
  bool end_object() override { return true; }
  bool start_array(std::size_t) override { return true; }
  bool end_array() override { return true; }
  // `position` counts the bytes read up to the end of the offending token; the place named
  // is where the token starts.
  bool parse_error(std::size_t position, const std::string& token,
                   const nlohmann::detail::exception&) override {
    position = std::min(position, bytes_.size());
    const std::string_view read(bytes_.data(), position);
    const size_t newline = read.rfind('\n');
    const size_t lineStart = newline == std::string_view::npos ? 0 : newline + 1;
    const auto line = std::count(read.begin(), read.end(), '\n') + 1;
    const size_t end = position - lineStart;
    const size_t column = end > token.size() ? end - token.size() + 1 : 1;
    place = "line " + std::to_string(line) + ", column " + std::to_string(column);
    return false;
  }

 private:
  const std::string& bytes_;
};

// Text from the file as a message shows it: in JSON's own quotes, a control character as its
// escape and a byte that is not UTF-8 as the replacement character, never raw.
std::string Shown(std::string_view text) {
  std::string shown = json(std::string(text)).dump(-1, ' ', false, json::error_handler_t::replace);
  // JSON leaves DEL as it is; it shows as nothing.
  for (size_t at = shown.find('\x7f'); at != std::string::npos; at = shown.find('\x7f', at))
    shown.replace(at, 1, "\\u007f");
  return shown;
}

// The parser's reason with the text it quotes ("last read: '...'", "parsing '...'") shown as
// above, and only its last 40 bytes when it is longer: that is where the parser stopped, and
// a string that never ends would otherwise fill the message.
//
// The quoted text may itself hold quotes and "; expected", so its end is found from what can
// follow it: nothing, or "; expected " and one of the parser's names for a token.
size_t QuoteEnd(std::string_view reason, size_t start) {
  static constexpr std::string_view kTokens[] = {"<uninitialized>",
                                                 "true literal",
                                                 "false literal",
                                                 "null literal",
                                                 "string literal",
                                                 "number literal",
                                                 "'['",
                                                 "'{'",
                                                 "']'",
                                                 "'}'",
                                                 "':'",
                                                 "','",
                                                 "<parse error>",
                                                 "end of input",
                                                 "'[', '{', or a literal",
                                                 "unknown token"};
  for (const std::string_view token : kTokens) {
    const std::string tail = "'; expected " + std::string(token);
    if (reason.ends_with(tail) && reason.size() - tail.size() >= start)
      return reason.size() - tail.size();
  }
  if (reason.ends_with('\'') && reason.size() - 1 >= start) return reason.size() - 1;
  return std::string_view::npos;
}

std::string Readable(std::string reason) {
  for (const std::string_view marker : {"last read: '", "parsing '"}) {
    const size_t open = reason.find(marker);
    if (open == std::string::npos) continue;
    const size_t start = open + marker.size();
    // Without a recognisable end, everything after the opening quote is the file's text.
    size_t close = QuoteEnd(reason, start);
    const bool closed = close != std::string::npos;
    if (!closed) close = reason.size();
    std::string_view quoted = std::string_view(reason).substr(start, close - start);
    // At most 40 bytes of the file, and fewer when their escapes (six characters for a control
    // character or DEL) would make the quote longer than 60 characters.
    constexpr size_t kLimit = 40;
    constexpr size_t kShownLimit = 60 + 2;  // with JSON's quotes
    std::string shown = Shown(quoted);
    for (size_t keep = std::min(kLimit, quoted.size());
         keep > 0 && (keep < quoted.size() || shown.size() > kShownLimit); --keep) {
      size_t cut = quoted.size() - keep;
      // Start on a character, not inside one.
      while (cut < quoted.size() && (static_cast<unsigned char>(quoted[cut]) & 0xC0) == 0x80)
        ++cut;
      shown = "..." + Shown(quoted.substr(cut));
      if (shown.size() <= kShownLimit + 3) break;
    }
    return reason.substr(0, open + marker.size() - 1) + shown +
           (closed ? reason.substr(close + 1) : "");
  }
  return reason;
}

std::string DescribeParseError(const json::parse_error& e) {
  // nlohmann says "[json.exception.parse_error.101] parse error at line 3, column 5: ...";
  // keep the part from the place onwards.
  std::string text = e.what();
  const std::string marker = "parse error at ";
  if (auto at = text.find(marker); at != std::string::npos) text = text.substr(at + marker.size());
  return Readable(text);
}

// A number beyond the range of a double: "line 2, column 20: number overflow parsing '1e999'".
std::string DescribeOutOfRange(const std::string& bytes, const json::exception& e) {
  ErrorLocator locator(bytes);
  json::sax_parse(bytes, &locator);
  std::string text = e.what();
  if (auto close = text.find("] "); close != std::string::npos) text = text.substr(close + 2);
  text = Readable(text);
  return locator.place.empty() ? text : locator.place + ": " + text;
}

// A member's place as a JSON pointer ("/app/section/key", "~" and "/" in a name escaped),
// shown quoted when a name holds a control character.
std::string Place(std::initializer_list<std::string_view> names) {
  json::json_pointer pointer;
  for (std::string_view name : names)
    pointer /= std::string(name);
  std::string place = pointer.to_string();
  const bool plain = std::none_of(place.begin(), place.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
  });
  return plain ? place : Shown(place);
}

// The first place where the document is not application -> section -> key -> text.
std::string FindShapeDamage(const json& root) {
  if (!root.is_object()) {
    return std::string("the top level is ") + TypeName(root) + ", not an object of applications";
  }
  for (const auto& [application, sections] : root.items()) {
    if (!sections.is_object()) {
      return Place({application}) + " is " + TypeName(sections) + ", not an object of sections";
    }
    for (const auto& [section, keys] : sections.items()) {
      if (!keys.is_object()) {
        return Place({application, section}) + " is " + TypeName(keys) + ", not an object of keys";
      }
      for (const auto& [key, value] : keys.items()) {
        if (!value.is_string()) {
          return Place({application, section, key}) + " is " + TypeName(value) + ", not text";
        }
      }
    }
  }
  return {};
}

bool IsBlank(const std::string& bytes) {
  return bytes.find_first_not_of(" \t\r\n") == std::string::npos;
}

// Reads the settings file. A missing or empty file is an empty document; any other read
// failure raises vlm::Error.
SettingsDocument LoadSettings(const fs::path& file) {
  SettingsDocument doc;
  try {
    doc.bytes = ReadFile(file);
  } catch (const Error& e) {
    if (e.Number() == err::FileNotFound) return doc;
    throw;
  }
  if (IsBlank(doc.bytes)) return doc;
  try {
    doc.root = json::parse(doc.bytes);
  } catch (const json::parse_error& e) {
    doc.root = json::object();
    doc.damage = DescribeParseError(e);
    return doc;
  } catch (const json::exception& e) {
    doc.root = json::object();
    doc.damage = DescribeOutOfRange(doc.bytes, e);
    return doc;
  }
  doc.damage = FindShapeDamage(doc.root);
  if (!doc.damage.empty()) doc.root = json::object();
  return doc;
}

std::string DamageMessage(const fs::path& file, const std::string& damage) {
  return "settings file " + file.string() + " is damaged (" + damage + ")";
}

// Warns about each damaged file once in a run for each content it has, so that a plug-in
// reading twenty values does not print twenty warnings, yet a file damaged anew is reported
// again.
void WarnOnce(const fs::path& file, const std::string& bytes, const std::string& message) {
  auto& reported = RunContext::Current().State().reportedDamage;
  if (reported.emplace(file.string(), std::hash<std::string>{}(bytes)).second) Warn(message);
}

// The member of `object` named `name`: an exact match first, else one that differs only in
// case (names are not case sensitive, as in the registry the settings once lived in).
json::iterator FindMember(json& object, std::string_view name) {
  auto exact = object.find(name);
  if (exact != object.end()) return exact;
  for (auto it = object.begin(); it != object.end(); ++it)
    if (EqualsNoCase(it.key(), name)) return it;
  return object.end();
}

// Loads the file for a change; refuses when it is damaged, so the user can still repair it.
SettingsDocument LoadSettingsForChange(const fs::path& file) {
  SettingsDocument doc = LoadSettings(file);
  if (!doc.damage.empty()) {
    throw Error(err::PathFileAccess, DamageMessage(file, doc.damage) +
                                         "; it was left as it is and the setting was not saved");
  }
  return doc;
}

void StoreSettings(const fs::path& file, const json& root) {
  // Text that is not valid UTF-8 cannot go into JSON; replace the stray bytes rather than fail.
  std::string bytes = root.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
  WriteFileAtomically(file, bytes);
}

fs::path SettingsLockFile() {
  return ConfigFolder() / "settings.json.lock";
}

// The settings of a fresh run, when UseFreshSettings is on.
std::optional<json>& FreshStore() {
  return RunContext::Current().State().freshStore;
}

// The saves of a run that holds its settings until it has succeeded (null: a deleted value).
std::optional<json>& HeldSaves() {
  return RunContext::Current().State().heldSaves;
}

// The value of application/section/key in a settings document, or nullptr.
const json* FindValue(json& root, std::string_view application, std::string_view section,
                      std::string_view key) {
  auto app = FindMember(root, application);
  if (app == root.end()) return nullptr;
  auto sec = FindMember(*app, section);
  if (sec == app->end()) return nullptr;
  auto value = FindMember(*sec, key);
  return value == sec->end() ? nullptr : &*value;
}

}  // namespace

void RunContext::UseFreshSettings(bool fresh) {
  state_->freshStore = fresh ? std::optional<json>(json::object()) : std::nullopt;
}
bool RunContext::FreshSettings() const {
  return state_->freshStore.has_value();
}

void UseFreshSettings(bool fresh) {
  RunContext::Current().UseFreshSettings(fresh);
}
bool FreshSettings() {
  return RunContext::Current().FreshSettings();
}

namespace {

std::vector<RememberedSetting>& Remembered() {
  return RunContext::Current().State().remembered;
}

void NoteRemembered(std::string_view application, std::string_view section, std::string_view key,
                    const std::string& value) {
  auto& remembered = Remembered();
  const bool known = std::any_of(remembered.begin(), remembered.end(), [&](const auto& r) {
    return EqualsNoCase(r.application, application) && EqualsNoCase(r.section, section) &&
           EqualsNoCase(r.key, key);
  });
  if (!known)
    remembered.push_back({std::string(application), std::string(section), std::string(key), value});
}

// The stored value, or nullopt for none (a damaged or unreadable file is warned about).
std::optional<std::string> StoredSetting(std::string_view application, std::string_view section,
                                         std::string_view key) {
  // What this run saved and has not yet stored wins over the file (null: deleted).
  if (auto& held = HeldSaves()) {
    if (const json* value = FindValue(*held, application, section, key))
      return value->is_null() ? std::nullopt
                              : std::optional<std::string>(value->get<std::string>());
  }
  if (auto& fresh = FreshStore()) {
    const json* value = FindValue(*fresh, application, section, key);
    if (!value) return std::nullopt;
    return value->get<std::string>();
  }
  try {
    fs::path file = SettingsFile();
    SettingsDocument doc;
    try {
      doc = LoadSettings(file);
    } catch (const Error& e) {
      WarnOnce(file, e.Description(), e.Description() + "; using default values");
      return std::nullopt;
    }
    if (!doc.damage.empty()) {
      WarnOnce(file, doc.bytes,
               DamageMessage(file, doc.damage) + "; using default values and leaving it as it is");
      return std::nullopt;
    }
    const json* value = FindValue(doc.root, application, section, key);
    if (!value) return std::nullopt;
    return value->get<std::string>();
  } catch (const std::exception& e) {
    // Reading a setting must never stop a plug-in; say what happened and go on.
    try {
      Warn(std::string("cannot read settings: ") + e.what() + "; using default values");
    } catch (...) {
    }
    return std::nullopt;
  }
}

// Writes a set of changes {"application": {"section": {"key": "text" or null}}} to the
// settings file in one locked read-change-write; null deletes the value, and sections and
// applications left empty go too.
void StoreChanges(const json& changes) {
  fs::path file = SettingsFile();
  std::error_code ec;
  bool setsAny = false;
  for (const auto& [application, sections] : changes.items())
    for (const auto& [section, values] : sections.items())
      for (const auto& [key, value] : values.items())
        setsAny = setsAny || !value.is_null();
  if (!setsAny && !fs::exists(file, ec)) return;  // nothing saved, nothing to delete
  detail::FileLock lock(SettingsLockFile());      // also creates the folder
  SettingsDocument doc = LoadSettingsForChange(file);
  bool changed = false;
  for (const auto& [application, sections] : changes.items()) {
    auto app = FindMember(doc.root, application);
    for (const auto& [section, values] : sections.items()) {
      for (const auto& [key, value] : values.items()) {
        if (value.is_null() && app == doc.root.end()) continue;
        if (app == doc.root.end()) app = doc.root.emplace(application, json::object()).first;
        auto sec = FindMember(*app, section);
        if (value.is_null() && sec == app->end()) continue;
        if (sec == app->end()) sec = app->emplace(section, json::object()).first;
        auto entry = FindMember(*sec, key);
        if (value.is_null()) {
          if (entry == sec->end()) continue;
          sec->erase(entry);
          // Leave no empty sections or applications behind.
          if (sec->empty()) app->erase(sec);
          if (app->empty()) {
            doc.root.erase(app);
            app = doc.root.end();
          }
        } else if (entry == sec->end()) {
          sec->emplace(key, value);
        } else {
          *entry = value;
        }
        changed = true;
      }
    }
  }
  if (changed) StoreSettings(file, doc.root);
}

}  // namespace

std::string GetSetting(std::string_view application, std::string_view section, std::string_view key,
                       std::string_view defaultValue) {
  return GetSetting(application, section, key, defaultValue, nullptr);
}

std::string GetSetting(std::string_view application, std::string_view section, std::string_view key,
                       std::string_view defaultValue,
                       const std::function<std::string(const std::string&)>& problem) {
  std::optional<std::string> stored = StoredSetting(application, section, key);
  if (!stored) return std::string(defaultValue);
  if (problem) {
    if (const std::string wrong = problem(*stored); !wrong.empty()) {
      Warn("the remembered value " + Shown(*stored) + " of " + std::string(application) + "/" +
           std::string(section) + "/" + std::string(key) +
           (FreshSettings() ? "" : " in " + SettingsFile().string()) + " cannot be used (" + wrong +
           "); using the default " + Shown(defaultValue));
      return std::string(defaultValue);
    }
  }
  if (!FreshSettings()) NoteRemembered(application, section, key, *stored);
  return *stored;
}

std::vector<RememberedSetting> TakeRememberedSettings() {
  return RunContext::Current().TakeRememberedSettings();
}

std::string SettingsDamage() {
  try {
    const fs::path file = SettingsFile();
    const SettingsDocument doc = LoadSettings(file);
    return doc.damage.empty() ? std::string() : DamageMessage(file, doc.damage);
  } catch (const std::exception&) {
    return {};  // a file that cannot be read at all is reported where it is read
  }
}

void SaveSetting(std::string_view application, std::string_view section, std::string_view key,
                 std::string_view value) {
  SaveSettings(application, section, {{std::string(key), std::string(value)}});
}

void SaveSettings(std::string_view application, std::string_view section,
                  const std::vector<std::pair<std::string, std::string>>& values) {
  if (auto& fresh = FreshStore()) {
    for (const auto& [key, value] : values)
      (*fresh)[std::string(application)][std::string(section)][key] = value;
    return;
  }
  if (auto& held = HeldSaves()) {
    for (const auto& [key, value] : values)
      (*held)[std::string(application)][std::string(section)][key] = value;
    return;
  }
  json changes;
  for (const auto& [key, value] : values)
    changes[std::string(application)][std::string(section)][key] = value;
  StoreChanges(changes);
}

void DeleteSetting(std::string_view application, std::string_view section, std::string_view key) {
  if (auto& fresh = FreshStore()) {
    if (FindValue(*fresh, application, section, key))
      (*fresh)[std::string(application)][std::string(section)].erase(std::string(key));
    return;
  }
  if (auto& held = HeldSaves()) {
    (*held)[std::string(application)][std::string(section)][std::string(key)] = nullptr;
    return;
  }
  json changes;
  changes[std::string(application)][std::string(section)][std::string(key)] = nullptr;
  StoreChanges(changes);
}

void RunContext::HoldSettings(bool hold) {
  if (hold != state_->heldSaves.has_value())
    state_->heldSaves = hold ? std::optional<json>(json::object()) : std::nullopt;
}

void RunContext::StoreHeldSettings() {
  if (!state_->heldSaves || state_->heldSaves->empty()) return;
  const json changes = std::exchange(*state_->heldSaves, json::object());
  StoreChanges(changes);
}

}  // namespace vlm
