// Replays inputs through a fuzz target without the fuzzer: every file below the folders (or
// the files) given on the command line goes to LLVMFuzzerTestOneInput once. A target reports
// a fault by aborting, so a clean exit means every input passed. A folder that does not exist
// holds nothing: a target need not have any regressions yet.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

void Replay(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (!in.good() && !in.eof()) {
    std::fprintf(stderr, "cannot read %s\n", file.c_str());
    std::exit(1);
  }
  std::fprintf(stderr, "%s\n", file.c_str());
  // A copy of exactly the input's size, so reading past its end is caught by the sanitizers.
  std::vector<uint8_t> data(bytes.begin(), bytes.end());
  LLVMFuzzerTestOneInput(data.data(), data.size());
}

}  // namespace

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  int replayed = 0;
  for (int i = 1; i < argc; ++i) {
    const fs::path place = argv[i];
    if (fs::is_regular_file(place)) {
      Replay(place);
      ++replayed;
      continue;
    }
    if (!fs::is_directory(place)) continue;
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(place))
      if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const auto& file : files)
      Replay(file);
    replayed += static_cast<int>(files.size());
  }
  std::fprintf(stderr, "inputs replayed: %d\n", replayed);
  return 0;
}
