#include "exchange/obj8_file.h"

#include "vlm/error.h"
#include "vlm/files.h"

namespace vlm::host {

int64_t Obj8File::TriangleCount() const {
  int64_t triangles = 0;
  for (const Obj8Command& c : commands)
    if (c.kind == Obj8Command::Kind::Tris) triangles += c.count / 3;
  return triangles;
}

bool IsObj8(std::string_view) {
  return false;
}

Obj8File ReadObj8(std::string_view, const std::string& origin) {
  Raise(err::InvalidProcedureCall, origin + ": not read yet");
}

Obj8File ReadObj8File(const std::filesystem::path& file) {
  return ReadObj8(ReadFile(file), file.string());
}

}  // namespace vlm::host
