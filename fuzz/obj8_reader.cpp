// The OBJ8 reader of the tests: any bytes give a file, sound or with its problems listed,
// and the triangles of every range of a sound file can be taken.
#include "support/obj8_reader.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const vlm::test::Obj8File file = vlm::test::ReadObj8(std::string(vlm::fuzz::Text(data, size)));
  if (!file.problems.empty()) return 0;
  for (size_t r = 0; r < file.ranges.size(); ++r)
    file.Triangles(r);
  return 0;
}
