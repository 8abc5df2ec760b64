// The library of "*.Glazed" presets behind frmOptions: the text of a preset file, and the
// dialog's list of the user's presets and the plug-in's, with Save, Load and Delete.
#include <algorithm>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "glazier/frm_options.h"
#include "vlm/error.h"
#include "vlm/files.h"
#include "vlm/refusal.h"
#include "vlm/settings.h"
#include "vlm/text.h"
#include "vlm/text_encoding.h"

namespace vlm::glazier {
namespace {

bool EndsWithGlazed(const std::string& name) {
  return name.size() >= 6 && ToLower(name.substr(name.size() - 6)) == "glazed";
}

// The presets of a folder: the names of its regular files that end in "glazed" (any case).
void AddPresets(const std::filesystem::path& folder, std::vector<std::string>& names) {
  if (folder.empty()) return;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    std::error_code typeError;
    if (EndsWithGlazed(name) && it->is_regular_file(typeError)) names.push_back(name);
  }
}

constexpr std::string_view kEscapedMark = "GlazedEscapes=1";
constexpr std::string_view kEscaped = ";\r\n%";

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// "%3B" back to ";"; a "%" without two hex digits after it stays as it is.
std::string Unescaped(std::string_view item) {
  std::string out;
  for (size_t i = 0; i < item.size(); ++i) {
    const int high = i + 2 < item.size() && item[i] == '%' ? HexDigit(item[i + 1]) : -1;
    const int low = high >= 0 ? HexDigit(item[i + 2]) : -1;
    if (low < 0) {
      out += item[i];
      continue;
    }
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

}  // namespace

std::filesystem::path UserLibraryFolder() {
  return ConfigFolder() / "glazier";
}

std::string PresetText(const FS10Material& record) {
  const std::vector<std::string> items = record.toItems();
  const bool plain = std::none_of(items.begin(), items.end(), [](const std::string& item) {
    return item.find_first_of(";\r\n") != std::string::npos;
  });
  std::string text = plain ? "" : std::string(kEscapedMark);
  for (const std::string& item : items) {
    if (!text.empty()) text += ';';
    for (char c : item) {
      if (plain || kEscaped.find(c) == std::string_view::npos) {
        text += c;
      } else {
        static const char digits[] = "0123456789ABCDEF";
        text += {'%', digits[static_cast<unsigned char>(c) >> 4], digits[c & 15]};
      }
    }
  }
  return text + "\r\n";
}

void LoadPreset(const std::string& text, FS10Material& record) {
  // A preset written by another tool may be 8-bit text; the scene takes UTF-8 only.
  const std::string decoded = text::DecodeText(text);
  const std::string line = decoded.substr(0, decoded.find_first_of("\r\n"));
  if (!StartsWithNoCase(line, std::string(kEscapedMark) + ";") &&
      !EqualsNoCase(line, std::string(kEscapedMark))) {
    record.loadString(line);
    return;
  }
  std::vector<std::string> items;
  for (size_t start = kEscapedMark.size() + 1; start <= line.size();) {
    const size_t end = std::min(line.find(';', start), line.size());
    // An escape may stand for a byte of an 8-bit text: the item is then read as such.
    std::string item = Unescaped(std::string_view(line).substr(start, end - start));
    items.push_back(text::IsUtf8(item) ? std::move(item) : text::Windows1252ToUtf8(item));
    start = end + 1;
  }
  record.loadItems(std::move(items));
}

// ---- the dialog's library ----------------------------------------------------------------

void frmOptions::RefreshUserList() {
  std::vector<std::string> names;
  AddPresets(UserFolder, names);
  if (PluginFolder != UserFolder) AddPresets(PluginFolder, names);
  // A stable order whatever the file system's, and a name that both folders hold once.
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  lstUser.Clear();
  for (std::string& name : names)
    lstUser.AddItem(std::move(name));
  const bool any = lstUser.ListCount() > 0;
  cmdULoad.SetEnabled(any);
  cmdUDelete.SetEnabled(any);
}

std::filesystem::path frmOptions::LibraryFile(const std::string& entry) const {
  std::error_code ec;
  if (!UserFolder.empty() && std::filesystem::is_regular_file(UserFolder / entry, ec))
    return UserFolder / entry;
  return PluginFolder / entry;
}

FS10Material frmOptions::LibraryRecord() const {
  FS10Material record;
  record.DiffuseTextureFileName = fx->DiffuseTextureFileName;
  record.SpecularTextureFileName = fx->SpecularTextureFileName;
  record.BumpTextureFileName = fx->BumpTextureFileName;
  record.DetailTextureFileName = fx->DetailTextureFileName;
  record.setSpecular(fx->getSpecColor());
  return record;
}

void frmOptions::cmdUSave_Click() {
  if (UserFolder.empty()) {
    // The user asked for a file that cannot be written: the run has failed, though the
    // dialog stays open.
    ReportRunError(Error(err::PathFileAccess, "there is no folder for user materials"),
                   "The material could not be saved: there is no folder for user materials.",
                   mb::Exclamation | mb::OKOnly, "User Saved Materials");
    return;
  }
  std::error_code ec;
  std::filesystem::create_directories(UserFolder, ec);  // a failure shows at the write
  cdlg.Flags = 0;
  cdlg.FileName = (UserFolder / "*.Glazed").string();
  cdlg.Flags = CommonDialog::NoChangeDir;
  cdlg.Filter = "FS10 Material (Glazed)|*.Glazed|All Files|*.*";
  cdlg.DefaultExt = "Glazed";
  cdlg.DialogTitle.clear();
  if (cdlg.ShowSave()) {
    // As the dialog opened in the user's folder, a bare name lands there, and a name
    // without an extension takes the default one.
    std::filesystem::path file = cdlg.FileName;
    if (file.is_relative()) file = UserFolder / file;
    if (!file.has_extension()) file += ".Glazed";
    FS10Material record = LibraryRecord();
    StoreToRecord(record);
    try {
      WriteFileAtomically(file, PresetText(record));
    } catch (const Error& e) {
      ReportRunError(e, "The material could not be saved.\r" + e.Description(),
                     mb::Exclamation | mb::OKOnly, "User Saved Materials");
    }
  }
  RefreshUserList();
}

void frmOptions::cmdULoad_Click() {
  const std::string entry = lstUser.Text();
  if (entry.empty()) return;
  const std::filesystem::path file = LibraryFile(entry);

  FS10Material record = LibraryRecord();
  // With the edited material's power, the specular rule works on the preset as it would on
  // the material itself.
  record.Power = fx->Power;
  std::string text;
  try {
    text = ReadFile(file);
  } catch (const Error& e) {
    MsgBox("The material preset " + file.string() + " could not be read.\r" + e.Description(),
           mb::Exclamation | mb::OKOnly, "User Saved Materials");
    RefreshUserList();
    return;
  }
  LoadPreset(text, record);

  LoadFromRecord(record);
  Picture1.SetBackColor(fx->getDiffColor());
  picSpec.SetBackColor(fx->getSpecColor());
  RefreshUserList();
}

void frmOptions::cmdUDelete_Click() {
  const std::string entry = lstUser.Text();
  if (entry.empty()) return;
  // Only the user's own presets go; those of the plug-in's folder come with it.
  const std::filesystem::path file = LibraryFile(entry);
  std::error_code ec;
  if ((UserFolder.empty() || file != UserFolder / entry) && std::filesystem::exists(file, ec)) {
    MsgBox("The material " + entry + " comes with the plug-in and is not deleted.",
           mb::Information | mb::OKOnly, "User Saved Materials");
    return;
  }
  if (!UserFolder.empty()) std::filesystem::remove(UserFolder / entry, ec);  // or it stays
  RefreshUserList();
}

}  // namespace vlm::glazier
