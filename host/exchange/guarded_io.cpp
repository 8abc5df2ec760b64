#include "exchange/guarded_io.h"

#include <assimp/MemoryIOWrapper.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace vlm::host::exchange {

namespace {

// More reads or seeks at the end of one file than this are a reader going round: even a
// reader that looks for a last line or checks the end after every record stays far below.
constexpr int kEndVisits = 4096;

class GuardedStream : public Assimp::IOStream {
 public:
  GuardedStream(Assimp::IOStream* inner, bool& tripped) : inner_(inner), tripped_(tripped) {}

  size_t Read(void* buffer, size_t size, size_t count) override {
    const size_t read = inner_->Read(buffer, size, count);
    if (read < count) AtEnd();
    return read;
  }
  size_t Write(const void* buffer, size_t size, size_t count) override {
    return inner_->Write(buffer, size, count);
  }
  aiReturn Seek(size_t offset, aiOrigin origin) override {
    const aiReturn result = inner_->Seek(offset, origin);
    if (inner_->Tell() >= inner_->FileSize()) AtEnd();
    return result;
  }
  size_t Tell() const override { return inner_->Tell(); }
  size_t FileSize() const override { return inner_->FileSize(); }
  void Flush() override { inner_->Flush(); }

 private:
  void AtEnd() {
    if (++endVisits_ <= kEndVisits) return;
    tripped_ = true;
    throw std::runtime_error("the reader keeps going back to the end of the file");
  }

  std::unique_ptr<Assimp::IOStream> inner_;
  bool& tripped_;
  int endVisits_ = 0;
};

}  // namespace

GuardedFiles::GuardedFiles(const std::filesystem::path& model, bool allowOutside)
    : allowOutside_(allowOutside) {
  namespace fs = std::filesystem;
  std::error_code ec;
  model_ = fs::weakly_canonical(fs::absolute(model, ec), ec);
  fs::path folder = model.parent_path();
  given_ = folder.string();
  if (folder.empty()) folder = ".";
  folder_ = fs::weakly_canonical(fs::absolute(folder, ec), ec);
}

GuardedFiles::GuardedFiles(std::string_view bytes, const std::string& formatHint)
    : bytes_(bytes), memoryName_(MemoryName(formatHint)) {}

std::string GuardedFiles::MemoryName(const std::string& formatHint) {
  return "$model-in-memory$." + formatHint;
}

bool GuardedFiles::MayOpen(const char* file) const {
  namespace fs = std::filesystem;
  // Bytes in memory come alone: what they name is not looked for.
  if (!memoryName_.empty()) return memoryName_ == file;
  if (allowOutside_) return true;
  std::error_code ec;
  const fs::path resolved = fs::weakly_canonical(fs::absolute(file, ec), ec);
  if (!ec && !resolved.empty()) {
    if (resolved == model_) return true;
    const fs::path inside = resolved.lexically_relative(folder_);
    if (!inside.empty() && *inside.begin() != "..") return true;
  }
  // A file that is not there is only missing (some readers look for optional companions one
  // folder up); one that is there is refused.
  if (!fs::exists(file, ec)) return false;
  std::string name = file;
  if (!given_.empty() && name.size() > given_.size() + 1 && name.starts_with(given_) &&
      (name[given_.size()] == '/' || name[given_.size()] == '\\'))
    name.erase(0, given_.size() + 1);
  if (std::find(refused_.begin(), refused_.end(), name) == refused_.end()) refused_.push_back(name);
  return false;
}

bool GuardedFiles::Exists(const char* file) const {
  if (!MayOpen(file)) return false;
  return memoryName_ == file || DefaultIOSystem::Exists(file);
}

Assimp::IOStream* GuardedFiles::Open(const char* file, const char* mode) {
  if (!MayOpen(file)) return nullptr;
  Assimp::IOStream* inner = nullptr;
  if (!memoryName_.empty())
    inner =
        new Assimp::MemoryIOStream(reinterpret_cast<const uint8_t*>(bytes_.data()), bytes_.size());
  else
    inner = DefaultIOSystem::Open(file, mode);
  return inner ? new GuardedStream(inner, tripped_) : nullptr;
}

void GuardedFiles::Close(Assimp::IOStream* stream) {
  delete stream;
}

}  // namespace vlm::host::exchange
