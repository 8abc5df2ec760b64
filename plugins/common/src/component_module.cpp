#include "vlm/component_module.h"

#include <atomic>
#include <cstring>

namespace vlm::module {
namespace {

std::atomic<int> g_instances{0};

class Factory final : public ClassFactory {
 public:
  explicit Factory(std::function<std::unique_ptr<Unknown>()> create) : create_(std::move(create)) {}
  Status CreateInstance(Unknown** instance) noexcept override {
    if (!instance) return StatusFromError(err::InvalidProcedureCall);
    *instance = nullptr;
    return Guard([&] { *instance = create_().release(); });
  }

 private:
  std::function<std::unique_ptr<Unknown>()> create_;
};

}  // namespace

void InstanceCreated() noexcept {
  ++g_instances;
}
void InstanceDestroyed() noexcept {
  --g_instances;
}
int LiveInstances() noexcept {
  return g_instances;
}

Status RegisterServer(const char* progId, const void* anchor) noexcept {
  return Guard([&] { RegisterClass({progId, ModulePathOf(anchor)}); });
}

Status UnregisterServer(const char* progId) noexcept {
  return Guard([&] { UnregisterClass(progId); });
}

Status GetClassObject(const char* requested, const char* progId,
                      std::function<std::unique_ptr<Unknown>()> create,
                      ClassFactory** factory) noexcept {
  if (!factory) return StatusFromError(err::InvalidProcedureCall);
  *factory = nullptr;
  if (!requested || std::strcmp(requested, progId) != 0) return StatusClassNotAvailable;
  // One class object per module, alive as long as the module.
  return Guard([&] {
    static Factory theFactory(std::move(create));
    *factory = &theFactory;
  });
}

Status CanUnloadNow() noexcept {
  return g_instances == 0 ? StatusOk : 1;
}

}  // namespace vlm::module
