#include "vlm/named_files.h"

namespace vlm {
namespace {

bool& Copying() {
  static bool copying = false;
  return copying;
}
std::vector<NamedFile>& Noted() {
  static std::vector<NamedFile> noted;
  return noted;
}

}  // namespace

void SetCopyNamedFiles(bool copy) {
  Copying() = copy;
}
bool CopyNamedFiles() {
  return Copying();
}

void NoteNamedFile(NamedFile file) {
  Noted().push_back(std::move(file));
}
std::vector<NamedFile> NamedFiles() {
  return Noted();
}
void ClearNamedFiles() {
  Noted().clear();
}

}  // namespace vlm
