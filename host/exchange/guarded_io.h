// The files the exchange library reads, handed to it through streams that stop a reader
// caught going round at the end of its file.
//
// Some of the library's readers, given a file cut short in the wrong place, seek to the end
// and try again for ever (a 300-byte PLY file with a broken header is enough). A stream that
// is asked to go on at its end far more often than any reader needs throws; the library turns
// that into a failed read, and `Tripped()` says why.
#pragma once

#include <assimp/DefaultIOSystem.h>

#include <string>
#include <string_view>

namespace vlm::host::exchange {

class GuardedFiles : public Assimp::DefaultIOSystem {
 public:
  GuardedFiles() = default;
  // Also serves `bytes` (which must outlive this) as the file `MemoryName(formatHint)`.
  GuardedFiles(std::string_view bytes, const std::string& formatHint);

  // The name under which the bytes are read: the library picks its reader by the extension.
  static std::string MemoryName(const std::string& formatHint);

  bool Exists(const char* file) const override;
  Assimp::IOStream* Open(const char* file, const char* mode = "rb") override;
  void Close(Assimp::IOStream* stream) override;

  // Whether a stream stopped a reader that went round at its end.
  bool Tripped() const { return tripped_; }

 private:
  std::string_view bytes_;
  std::string memoryName_;
  bool tripped_ = false;
};

}  // namespace vlm::host::exchange
