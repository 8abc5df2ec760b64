// A scene document as a readable tree.
#pragma once

#include <iosfwd>

namespace vlm::host {

class HostDocument;

void PrintScene(const HostDocument& document, std::ostream& out);

}  // namespace vlm::host
