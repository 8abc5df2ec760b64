// The four entry points of a deliverable, written once.
//
//   VLM_COMPONENT_MODULE("VLMPlugin9.Obverse", vlm::Obverse)
//
// in exactly one source file of a deliverable's shared library defines DllRegisterServer,
// DllUnregisterServer, DllGetClassObject and DllCanUnloadNow for that one class.
#pragma once

#include <functional>
#include <memory>

#include "vlm/component.h"
#include "vlm/error.h"

namespace vlm::module {

// Instances alive in this module (the plug-in bases count themselves).
void InstanceCreated() noexcept;
void InstanceDestroyed() noexcept;
int LiveInstances() noexcept;

Status RegisterServer(const char* progId, const void* anchor) noexcept;
Status UnregisterServer(const char* progId) noexcept;
Status GetClassObject(const char* requested, const char* progId,
                      std::function<std::unique_ptr<Unknown>()> create,
                      ClassFactory** factory) noexcept;
Status CanUnloadNow() noexcept;

}  // namespace vlm::module

#define VLM_COMPONENT_MODULE(PROGID, CLASS)                                                        \
  extern "C" __attribute__((visibility("default"))) vlm::Status DllRegisterServer() {              \
    return vlm::module::RegisterServer(PROGID, reinterpret_cast<const void*>(&DllRegisterServer)); \
  }                                                                                                \
  extern "C" __attribute__((visibility("default"))) vlm::Status DllUnregisterServer() {            \
    return vlm::module::UnregisterServer(PROGID);                                                  \
  }                                                                                                \
  extern "C" __attribute__((visibility("default"))) vlm::Status DllGetClassObject(                 \
      const char* progId, vlm::ClassFactory** factory) {                                           \
    return vlm::module::GetClassObject(                                                            \
        progId, PROGID, [] { return std::unique_ptr<vlm::Unknown>(new CLASS()); }, factory);       \
  }                                                                                                \
  extern "C" __attribute__((visibility("default"))) vlm::Status DllCanUnloadNow() {                \
    return vlm::module::CanUnloadNow();                                                            \
  }
