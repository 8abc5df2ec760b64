#include "exchange/igs_file.h"

#include "vlm/error.h"

namespace vlm::host {

std::vector<int32_t> IgsContents::TopBlocks() const {
  std::vector<int32_t> top;
  for (size_t i = 0; i < blocks.size(); ++i)
    if (blocks[i].parent < 0) top.push_back(static_cast<int32_t>(i));
  return top;
}

std::vector<int32_t> IgsContents::UnlistedBlocks() const {
  return {};
}

IgsUsage UsageOf(const IgsContents&) {
  return {};
}

bool LooksLikeIgs(std::string_view firstBytes) {
  return firstBytes.substr(0, 4) == "KIGF";
}

IgsContents ReadIgs(std::string_view, const std::string& origin) {
  Raise(err::InvalidProcedureCall, origin + ": IGS files cannot be read yet");
}

IgsContents ReadIgsFile(const std::filesystem::path& file) {
  return ReadIgs({}, file.string());
}

}  // namespace vlm::host
