#include "vlm/named_files.h"

#include "vlm/run_context.h"

namespace vlm {

void SetCopyNamedFiles(bool copy) {
  RunContext::Current().SetCopyNamedFiles(copy);
}
bool CopyNamedFiles() {
  return RunContext::Current().CopyNamedFiles();
}

void NoteNamedFile(NamedFile file) {
  RunContext::Current().NoteNamedFile(std::move(file));
}
std::vector<NamedFile> NamedFiles() {
  return RunContext::Current().NamedFiles();
}
void ClearNamedFiles() {
  RunContext::Current().ClearNamedFiles();
}

}  // namespace vlm
