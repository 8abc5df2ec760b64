// Files an export names inside itself (its textures), which the host may bring beside it. The
// choice and the list belong to the run context installed (vlm/run_context.h).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vlm {

// Whether the host copies the files the run's exports name beside them (`vlmhost run
// --copy-textures`). An exporter then names each by its own file name, without the folders
// the scene gives it, and notes it with NoteNamedFile instead of looking for it.
void SetCopyNamedFiles(bool copy);
bool CopyNamedFiles();

struct NamedFile {
  std::filesystem::path output;  // the export that names it
  std::string source;            // the file as the scene names it
  std::string target;            // where the export's reader looks for it, relative to the
                                 // export's folder, "/" between folders
};

// Notes a file an export names; the host copies what the exports it writes have noted.
void NoteNamedFile(NamedFile file);
std::vector<NamedFile> NamedFiles();
void ClearNamedFiles();

}  // namespace vlm
