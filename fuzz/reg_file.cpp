// .reg files: text that reads as a registry writes back as text that reads as the same
// registry, key by key and value by value, and writes again byte for byte.
#include "fuzz_support.h"
#include "vlm/error.h"
#include "vlm/registry.h"

namespace {

// Every key below `path` (and the key itself) of `a` is in `b` with the same values.
bool SameKeys(const vlm::RegistryFile& a, const vlm::RegistryFile& b, const std::string& path) {
  if (!path.empty()) {
    const vlm::RegistryKey* x = a.FindKey(path);
    const vlm::RegistryKey* y = b.FindKey(path);
    if (!x || !y || x->values.size() != y->values.size()) return false;
    for (const auto& [name, value] : x->values) {
      auto other = y->values.find(name);
      if (other == y->values.end() || other->second.type != value.type ||
          other->second.data != value.data)
        return false;
    }
  }
  for (const std::string& child : a.SubKeys(path))
    if (!SameKeys(a, b, child)) return false;
  return a.SubKeys(path).size() == b.SubKeys(path).size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vlm;
  RegistryFile read;
  try {
    read = RegistryFile::Parse(fuzz::Text(data, size), "fuzz.reg");
  } catch (const Error& e) {
    fuzz::Check(e.Description().starts_with("fuzz.reg:"), "a reading error names the file",
                e.Description());
    return 0;
  }
  std::string first;
  try {
    first = read.Serialize();
  } catch (const Error& e) {
    fuzz::Check(false, "a registry that reads can be written", e.Description());
  }
  RegistryFile again;
  try {
    again = RegistryFile::Parse(first, "written.reg");
  } catch (const Error& e) {
    fuzz::Check(false, "a written registry reads", e.Description() + "\n" + first);
  }
  fuzz::Check(SameKeys(read, again, "") && SameKeys(again, read, ""),
              "a written registry reads as the registry written", first);
  fuzz::Check(again.Serialize() == first,
              "writing a registry read back from a write changes nothing", first);
  return 0;
}
