// The files the exchange library reads, handed to it through streams that stop a reader
// caught going round at the end of its file, and only from the model's own folder.
//
// Some of the library's readers, given a file cut short in the wrong place, seek to the end
// and try again for ever (a 300-byte PLY file with a broken header is enough). A stream that
// is asked to go on at its end far more often than any reader needs throws; the library turns
// that into a failed read, and `Tripped()` says why.
//
// A model names the files that go with it (a glTF's buffers, an OBJ's materials) by paths of
// its own making. Unless told otherwise, only the model itself and files in its folder and
// below (after `..` and symbolic links are resolved) are opened; an existing file elsewhere is
// refused and remembered, so the import can fail naming it instead of reading it.
#pragma once

#include <assimp/DefaultIOSystem.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vlm::host::exchange {

class GuardedFiles : public Assimp::DefaultIOSystem {
 public:
  // Serves `model` and the files in its folder and below; any file with `allowOutside`.
  GuardedFiles(const std::filesystem::path& model, bool allowOutside);
  // Serves only `bytes` (which must outlive this), as the file `MemoryName(formatHint)`.
  GuardedFiles(std::string_view bytes, const std::string& formatHint);

  // The name under which the bytes are read: the library picks its reader by the extension.
  static std::string MemoryName(const std::string& formatHint);

  bool Exists(const char* file) const override;
  Assimp::IOStream* Open(const char* file, const char* mode = "rb") override;
  void Close(Assimp::IOStream* stream) override;

  // Whether a stream stopped a reader that went round at its end.
  bool Tripped() const { return tripped_; }
  // The files outside the model's folder that the reader asked for, as it named them from the
  // model's folder (a glTF buffer's "../secret.bin").
  const std::vector<std::string>& Refused() const { return refused_; }

 private:
  bool MayOpen(const char* file) const;

  std::string_view bytes_;
  std::string memoryName_;
  std::filesystem::path model_, folder_;  // resolved
  std::string given_;                     // the model's folder as the reader sees it
  bool allowOutside_ = false;
  bool tripped_ = false;
  mutable std::vector<std::string> refused_;
};

}  // namespace vlm::host::exchange
