// The stand-in registry: files in the Windows .reg text format.
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <utility>

#include "file_lock.h"
#include "vlm/error.h"
#include "vlm/files.h"
#include "vlm/registry.h"
#include "vlm/settings.h"
#include "vlm/text.h"

namespace vlm {

namespace fs = std::filesystem;

fs::path MachineRegistryFile() {
  if (const char* file = std::getenv("VLM_MACHINE_REGISTRY"); file && *file) return file;
  return ConfigFolder() / "machine.reg";
}

fs::path UserRegistryFile() {
  return ConfigFolder() / "user.reg";
}

namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kOldHeader = "REGEDIT4";
constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// Key paths are kept without leading or trailing backslashes, so "A\B\" finds "A\B".
std::string_view NormalizePath(std::string_view path) {
  while (!path.empty() && path.front() == '\\')
    path.remove_prefix(1);
  while (!path.empty() && path.back() == '\\')
    path.remove_suffix(1);
  return path;
}

// A piece of a damaged line, short enough to quote in a message.
std::string Quote(std::string_view text) {
  constexpr size_t kLimit = 40;
  if (text.size() <= kLimit) return "\"" + std::string(text) + "\"";
  return "\"" + std::string(text.substr(0, kLimit)) + "...\"";
}

// What is wrong with a (normalized) key path, or "" when it is usable.
std::string KeyPathProblem(std::string_view path) {
  if (path.empty()) return "empty key name";
  if (path.find("\\\\") != std::string_view::npos) return "key name has an empty part (\"\\\\\")";
  if (path.find_first_of("\r\n") != std::string_view::npos) return "key name has a line break";
  // Blanks at either end of a key's name would not survive a write and a read: refused.
  for (size_t start = 0; start <= path.size();) {
    size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    std::string_view name = path.substr(start, end - start);
    if (IsBlank(name.front()) || IsBlank(name.back())) {
      return "key name " + Quote(name) + " begins or ends with a blank";
    }
    start = end + 1;
  }
  if (path.front() == '-') return "key name begins with \"-\", which would read as deleting it";
  return {};
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Up to maxDigits hex digits, nothing else; nullopt otherwise.
std::optional<uint32_t> ParseHex(std::string_view text, size_t maxDigits) {
  if (text.empty() || text.size() > maxDigits) return std::nullopt;
  uint32_t value = 0;
  for (char c : text) {
    int digit = HexDigit(c);
    if (digit < 0) return std::nullopt;
    value = value << 4 | static_cast<uint32_t>(digit);
  }
  return value;
}

// The value called `name` in `values` (a RegistryKey's map), matched as Windows does.
template <class Values>
auto FindValue(Values& values, std::string_view name) {
  auto exact = values.find(std::string(name));
  if (exact != values.end()) return exact;
  for (auto it = values.begin(); it != values.end(); ++it) {
    if (EqualsNoCase(it->first, name)) return it;
  }
  return values.end();
}

uint32_t DwordOf(const std::vector<uint8_t>& data) {
  return data[0] | data[1] << 8 | data[2] << 16 | static_cast<uint32_t>(data[3]) << 24;
}

// Reads .reg text line by line; every failure names the origin and the line.
class RegParser {
 public:
  RegParser(std::string_view text, const std::string& origin) : origin_(origin) {
    if (text.substr(0, kBom.size()) == kBom) text.remove_prefix(kBom.size());
    while (!text.empty()) {
      size_t end = text.find('\n');
      std::string_view line = text.substr(0, end);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      lines_.push_back(line);
      if (end == std::string_view::npos) break;
      text.remove_prefix(end + 1);
    }
  }

  RegistryFile Run() {
    RegistryFile result;
    RegistryKey* current = nullptr;
    for (next_ = 0; next_ < lines_.size();) {
      lineNumber_ = next_ + 1;
      std::string_view line = Trim(lines_[next_++]);
      if (lineNumber_ == 1 && (line == kHeader || line == kOldHeader)) continue;
      if (line.empty() || line.front() == ';') continue;
      if (line.front() == '[') {
        current = &result.AddKey(ParseKeyLine(line));
      } else if (line.front() == '"' || line.front() == '@') {
        if (!current) Fail("value line outside any [key] section");
        ParseValueLine(line, *current);
      } else {
        Fail("unrecognised line " + Quote(line) + " (expected a [key] or a \"name\"=value line)");
      }
    }
    return result;
  }

 private:
  [[noreturn]] void Fail(const std::string& problem) const {
    throw Error(err::InvalidProcedureCall,
                origin_ + ":" + std::to_string(lineNumber_) + ": " + problem);
  }

  std::string ParseKeyLine(std::string_view line) const {
    if (line.back() != ']' || line.size() < 2) Fail("key line without a closing \"]\"");
    std::string_view path = line.substr(1, line.size() - 2);
    if (!path.empty() && path.front() == '-') {
      Fail("deleting a key ([-...]) is not supported in this file");
    }
    path = NormalizePath(path);
    if (std::string problem = KeyPathProblem(path); !problem.empty()) Fail(problem);
    return std::string(path);
  }

  // A quoted string starting at line[pos] == '"'; pos ends after the closing quote.
  std::string ParseQuoted(std::string_view line, size_t& pos, const char* what) const {
    std::string text;
    for (++pos; pos < line.size(); ++pos) {
      char c = line[pos];
      if (c == '"') {
        ++pos;
        return text;
      }
      if (c == '\\') {
        if (++pos == line.size()) break;
        if (line[pos] != '\\' && line[pos] != '"') {
          Fail(std::string("unknown escape \"\\") + line[pos] + "\" in " + what +
               " (write \\\\ for a backslash)");
        }
      }
      text += line[pos];
    }
    Fail(std::string("unterminated ") + what + " (no closing quote)");
  }

  void ParseValueLine(std::string_view line, RegistryKey& key) {
    size_t pos = 0;
    std::string name;
    if (line.front() == '@') {
      pos = 1;
    } else {
      name = ParseQuoted(line, pos, "value name");
      // Only a carriage return can sit inside a line; no file could hold the name again.
      if (name.find_first_of("\r\n") != std::string::npos) {
        Fail("value name " + Quote(name) + " has a line break");
      }
    }
    std::string_view rest = Trim(line.substr(pos));
    if (rest.empty() || rest.front() != '=') Fail("expected \"=\" after the value name");
    rest = Trim(rest.substr(1));

    RegistryValue value;
    if (!rest.empty() && rest.front() == '"') {
      size_t end = 0;
      std::string text = ParseQuoted(rest, end, "string");
      if (!Trim(rest.substr(end)).empty()) {
        Fail("unexpected " + Quote(Trim(rest.substr(end))) + " after the closing quote");
      }
      value = RegistryValue::FromString(text);
    } else if (StartsWithNoCase(rest, "dword:")) {
      std::string_view digits = Trim(rest.substr(6));
      auto number = ParseHex(digits, 8);
      if (!number) Fail("bad dword value " + Quote(digits) + " (expected 1 to 8 hex digits)");
      value = RegistryValue::FromDword(*number);
    } else if (StartsWithNoCase(rest, "hex")) {
      value = ParseHexValue(rest);
    } else if (rest == "-") {
      Fail("deleting a value (=-) is not supported in this file");
    } else {
      Fail("unrecognised value data " + Quote(rest) +
           " (expected \"text\", dword:, hex: or hex(n):)");
    }
    if (auto old = FindValue(key.values, name); old != key.values.end()) key.values.erase(old);
    key.values.emplace(std::move(name), std::move(value));
  }

  // hex:aa,bb,... or hex(n):aa,bb,..., possibly continued over lines ending in "\".
  RegistryValue ParseHexValue(std::string_view rest) {
    RegistryValue value;
    size_t colon = rest.find(':');
    if (colon == std::string_view::npos) Fail("expected \":\" after " + Quote(rest.substr(0, 6)));
    std::string_view kind = rest.substr(0, colon);
    if (kind.size() == 3) {
      value.type = RegistryType::Binary;
    } else if (kind.size() > 5 && kind[3] == '(' && kind.back() == ')') {
      auto type = ParseHex(kind.substr(4, kind.size() - 5), 8);
      if (!type) Fail("bad value type " + Quote(kind) + " (expected hex(n) with n in hex)");
      value.type = static_cast<RegistryType>(*type);
    } else {
      Fail("bad value type " + Quote(kind) + " (expected hex: or hex(n):)");
    }

    std::string bytes(Trim(rest.substr(colon + 1)));
    while (!bytes.empty() && bytes.back() == '\\') {
      bytes.pop_back();
      if (next_ == lines_.size()) Fail("the file ends in the middle of a continued hex value");
      bytes += Trim(lines_[next_++]);
    }
    std::string_view list = Trim(bytes);
    while (!list.empty()) {
      size_t comma = list.find(',');
      std::string_view item = Trim(list.substr(0, comma));
      auto byte = ParseHex(item, 2);
      if (!byte) Fail("bad byte " + Quote(item) + " in hex value (expected two hex digits)");
      value.data.push_back(static_cast<uint8_t>(*byte));
      if (comma == std::string_view::npos) break;
      list.remove_prefix(comma + 1);
      if (Trim(list).empty()) Fail("hex value ends with a comma");
    }
    return value;
  }

  std::string origin_;
  std::vector<std::string_view> lines_;
  size_t next_ = 0;        // index of the next line to read
  size_t lineNumber_ = 0;  // 1-based number of the line being parsed, for messages
};

// A string value written as "text" reads back the same only when it ends with its NUL, has
// no other NUL and stays on one line.
bool WritableAsText(const RegistryValue& value) {
  if (value.type != RegistryType::String || value.data.empty() || value.data.back() != 0) {
    return false;
  }
  for (size_t i = 0; i + 1 < value.data.size(); ++i) {
    uint8_t c = value.data[i];
    if (c == 0 || c == '\r' || c == '\n') return false;
  }
  return true;
}

// hex bytes wrapped as regedit does, with "\" at the end of each full line.
void AppendHexBytes(std::string& out, size_t lineStart, const std::vector<uint8_t>& data) {
  constexpr size_t kWidth = 76;
  char byte[4];
  for (size_t i = 0; i < data.size(); ++i) {
    std::snprintf(byte, sizeof byte, "%02x", data[i]);
    out += byte;
    if (i + 1 == data.size()) break;
    out += ',';
    if (out.size() - lineStart >= kWidth) {
      out += "\\\n  ";
      lineStart = out.size() - 2;
    }
  }
}

struct RootFile {
  fs::path file;
  std::string name;  // as stored in the file: HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER
};

RootFile ResolveRoot(std::string_view root) {
  if (EqualsNoCase(root, "HKEY_LOCAL_MACHINE") || EqualsNoCase(root, "HKLM")) {
    return {MachineRegistryFile(), "HKEY_LOCAL_MACHINE"};
  }
  if (EqualsNoCase(root, "HKEY_CURRENT_USER") || EqualsNoCase(root, "HKCU")) {
    return {UserRegistryFile(), "HKEY_CURRENT_USER"};
  }
  throw Error(err::InvalidProcedureCall, "unknown registry root " + Quote(root) +
                                             " (expected HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER)");
}

std::string FullPath(const RootFile& root, std::string_view keyPath) {
  keyPath = NormalizePath(keyPath);
  if (keyPath.empty()) return root.name;
  return root.name + "\\" + std::string(keyPath);
}

}  // namespace

// ---- RegistryValue --------------------------------------------------------------------------

RegistryValue RegistryValue::FromString(std::string_view text) {
  RegistryValue value;
  value.type = RegistryType::String;
  value.data.assign(text.begin(), text.end());
  value.data.push_back(0);
  return value;
}

RegistryValue RegistryValue::FromDword(uint32_t number) {
  RegistryValue value;
  value.type = RegistryType::Dword;
  for (int shift = 0; shift < 32; shift += 8) {
    value.data.push_back(static_cast<uint8_t>(number >> shift));
  }
  return value;
}

std::string RegistryValue::AsString() const {
  if (type == RegistryType::Dword && data.size() == 4) return std::to_string(DwordOf(data));
  std::string text(data.begin(), data.end());
  if (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

// ---- RegistryFile ---------------------------------------------------------------------------

// Windows compares key and value names without regard to ASCII case.
bool RegistryFile::Less::operator()(const std::string& a, const std::string& b) const {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    char x = ToLower(a[i]);
    char y = ToLower(b[i]);
    if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
  }
  return a.size() < b.size();
}

RegistryFile RegistryFile::Parse(std::string_view text, const std::string& origin) {
  return RegParser(text, origin).Run();
}

RegistryFile RegistryFile::Load(const fs::path& file) {
  std::string text;
  try {
    text = ReadFile(file);
  } catch (const Error& e) {
    if (e.Number() == err::FileNotFound) return {};
    throw;
  }
  return Parse(text, file.string());
}

std::string RegistryFile::Serialize() const {
  std::string out(kHeader);
  out += "\n\n";
  for (const auto& [path, key] : keys_) {
    if (path.find_first_of("\r\n") != std::string::npos) {
      throw Error(err::InvalidProcedureCall,
                  "registry key " + Quote(path) + " cannot be written: its name has a line break");
    }
    out += "[" + path + "]\n";
    // Names that differ only in case are one value to the reader.
    std::set<std::string, Less> names;
    for (const auto& [name, value] : key.values) {
      if (!names.insert(name).second) {
        throw Error(err::InvalidProcedureCall, "registry value " + Quote(name) + " in " +
                                                   Quote(path) +
                                                   " cannot be written: another value of the "
                                                   "same name but for case is there");
      }
      if (name.find_first_of("\r\n") != std::string::npos) {
        throw Error(err::InvalidProcedureCall, "registry value " + Quote(name) + " in " +
                                                   Quote(path) +
                                                   " cannot be written: its name has a line break");
      }
      size_t lineStart = out.size();
      out += name.empty() ? "@" : QuotedWithEscapes(name);
      out += '=';
      if (WritableAsText(value)) {
        std::string_view text(reinterpret_cast<const char*>(value.data.data()),
                              value.data.size() - 1);
        out += QuotedWithEscapes(text);
      } else if (value.type == RegistryType::Dword && value.data.size() == 4) {
        char number[16];
        std::snprintf(number, sizeof number, "dword:%08x",
                      static_cast<unsigned>(DwordOf(value.data)));
        out += number;
      } else {
        if (value.type == RegistryType::Binary) {
          out += "hex:";
        } else {
          char kind[24];
          std::snprintf(kind, sizeof kind, "hex(%x):", static_cast<unsigned>(value.type));
          out += kind;
        }
        AppendHexBytes(out, lineStart, value.data);
      }
      out += '\n';
    }
    out += '\n';
  }
  return out;
}

void RegistryFile::Save(const fs::path& file) const {
  WriteFileAtomically(file, Serialize());
}

namespace {

// Every key listed by SubKeys can be found, so the keys above a key in the file are there even
// when the file has no section of their own; this one stands for each of them.
const RegistryKey kKeyAboveOthers;

}  // namespace

const RegistryKey* RegistryFile::FindKey(std::string_view path) const {
  std::string key(NormalizePath(path));
  if (auto it = keys_.find(key); it != keys_.end()) return &it->second;
  if (key.empty()) return keys_.empty() ? nullptr : &kKeyAboveOthers;
  return HasKeysBelow(key + "\\") ? &kKeyAboveOthers : nullptr;
}

// Keys below `prefix` ("key\") sort together: compared without case, the names that begin
// with it form one run.
bool RegistryFile::HasKeysBelow(const std::string& prefix) const {
  auto it = keys_.lower_bound(prefix);
  return it != keys_.end() && StartsWithNoCase(it->first, prefix);
}

// A key read from a file: the keys above it are there through it, not stored one by one, so
// reading a key of many parts takes time in proportion to its length.
RegistryKey& RegistryFile::AddKey(const std::string& path) {
  return keys_.try_emplace(path).first->second;
}

// Creating a key creates the keys above it, as in Windows, and a write lists each of them, as
// regedit does.
RegistryKey& RegistryFile::CreateKey(std::string_view path) {
  path = NormalizePath(path);
  if (std::string problem = KeyPathProblem(path); !problem.empty()) {
    throw Error(err::InvalidProcedureCall,
                "cannot create registry key " + Quote(path) + ": " + problem);
  }
  // Upwards until a key that is stored: the keys above that one are there already.
  for (size_t slash = path.rfind('\\'); slash != std::string_view::npos;
       slash = slash == 0 ? std::string_view::npos : path.rfind('\\', slash - 1)) {
    if (!keys_.try_emplace(std::string(path.substr(0, slash))).second) break;
  }
  return keys_.try_emplace(std::string(path)).first->second;
}

bool RegistryFile::DeleteKey(std::string_view path) {
  std::string key(NormalizePath(path));
  if (key.empty()) return false;
  bool removed = keys_.erase(key) > 0;
  std::string prefix = key + "\\";
  auto it = keys_.lower_bound(prefix);
  while (it != keys_.end() && StartsWithNoCase(it->first, prefix)) {
    it = keys_.erase(it);
    removed = true;
  }
  // The key above stays, though the file may have named it only through this one.
  if (size_t slash = key.rfind('\\'); removed && slash != std::string::npos)
    keys_.try_emplace(key.substr(0, slash));
  return removed;
}

std::vector<std::string> RegistryFile::SubKeys(std::string_view path) const {
  std::string parent(NormalizePath(path));
  std::string prefix = parent.empty() ? "" : parent + "\\";
  // A key below a child names the child too, when the file has no section of its own for it.
  std::set<std::string, Less> children;
  for (auto it = keys_.lower_bound(prefix); it != keys_.end(); ++it) {
    if (!StartsWithNoCase(it->first, prefix)) break;
    children.insert(it->first.substr(0, it->first.find('\\', prefix.size())));
  }
  return {children.begin(), children.end()};
}

// ---- access by root -------------------------------------------------------------------------

std::optional<RegistryValue> QueryRegistryValue(std::string_view root, std::string_view keyPath,
                                                std::string_view valueName) {
  RootFile where = ResolveRoot(root);
  RegistryFile registry = RegistryFile::Load(where.file);
  const RegistryKey* key = registry.FindKey(FullPath(where, keyPath));
  if (!key) return std::nullopt;
  auto it = FindValue(key->values, valueName);
  if (it == key->values.end()) return std::nullopt;
  return it->second;
}

bool RegistryKeyExists(std::string_view root, std::string_view keyPath) {
  RootFile where = ResolveRoot(root);
  return RegistryFile::Load(where.file).FindKey(FullPath(where, keyPath)) != nullptr;
}

void UpdateUserRegistry(const std::function<void(RegistryFile&)>& change) {
  detail::FileLock lock(ConfigFolder() / "user.reg.lock");
  fs::path file = UserRegistryFile();
  RegistryFile registry = RegistryFile::Load(file);
  change(registry);
  registry.Save(file);
}

}  // namespace vlm
