// The scene file: text that reads as a scene writes back as text that reads again, and the
// second write is the first one byte for byte.
#include "scene/scene_file.h"
#include "fuzz_support.h"
#include "vlm/error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vlm;
  std::unique_ptr<host::HostDocument> document;
  try {
    document = host::ParseScene(fuzz::Text(data, size), "fuzz.json");
  } catch (const Error& e) {
    fuzz::Check(e.Description().starts_with("fuzz.json: "), "a reading error names the file",
                e.Description());
    return 0;
  }
  std::string first;
  try {
    first = host::SerializeScene(*document);
  } catch (const Error& e) {
    fuzz::Check(false, "a scene that reads can be written", e.Description());
  }
  std::string second;
  try {
    second = host::SerializeScene(*host::ParseScene(first, "written.json"));
  } catch (const Error& e) {
    fuzz::Check(false, "a written scene reads and writes again", e.Description() + "\n" + first);
  }
  fuzz::Check(first == second, "writing a scene read back from a write changes nothing",
              first + "\n----\n" + second);
  return 0;
}
