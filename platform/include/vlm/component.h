// In-process components: registration and creation by programmatic identifier.
//
// A deliverable is a shared library that exports four C entry points:
//   DllRegisterServer()      records its identifier and library path in the per-user registry
//   DllUnregisterServer()    removes that record
//   DllGetClassObject(id, &factory)   hands out the class object (factory) for an identifier
//   DllCanUnloadNow()        StatusOk when no instance of its class is alive, else 1
// The host creates a class by identifier: it looks the identifier up in the registry, loads
// the library and asks its class object for an instance.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "vlm/error.h"

namespace vlm {

// Base of every creatable class. QueryInterface answers the interface names the class
// implements ("Plugin", "PluginImportExport", "Operation") with a pointer to that interface,
// or nullptr.
class Unknown {
 public:
  virtual ~Unknown() = default;
  virtual void* QueryInterface(std::string_view interfaceName) noexcept = 0;
};

// The class object of a deliverable.
class ClassFactory {
 public:
  virtual ~ClassFactory() = default;
  // A new instance, or a failed status (nothing thrown).
  virtual Status CreateInstance(Unknown** instance) noexcept = 0;
};

extern "C" {
using DllRegisterServerFn = Status (*)();
using DllUnregisterServerFn = Status (*)();
using DllGetClassObjectFn = Status (*)(const char* progId, ClassFactory** factory);
using DllCanUnloadNowFn = Status (*)();
}

// One registration record.
struct ClassRegistration {
  std::string progId;             // VLMPlugin9.Obverse
  std::filesystem::path library;  // absolute path of the shared library
};

// Registry side (per-user part of the stand-in registry).
void RegisterClass(const ClassRegistration& registration);
void UnregisterClass(std::string_view progId);
std::vector<ClassRegistration> RegisteredClasses();  // sorted by identifier

// The path of the shared library (or executable) that holds the given address; the folder
// of that file is a plug-in's own folder.
std::filesystem::path ModulePathOf(const void* address);

// A loaded library; unloaded when the last reference goes.
class Library {
 public:
  // Loads the library; vlm::Error (53 or 48-style description) naming the file on failure.
  static std::shared_ptr<Library> Load(const std::filesystem::path& path);
  ~Library();
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  // The exported symbol, or nullptr.
  void* Symbol(const char* name) const;
  // The symbol; vlm::Error naming the library and the entry point when it is missing.
  void* RequireSymbol(const char* name) const;

 private:
  Library(std::filesystem::path path, void* handle) : path_(std::move(path)), handle_(handle) {}
  std::filesystem::path path_;
  void* handle_;
};

// An instance created by identifier. Keeps its library loaded while it lives.
class Instance {
 public:
  Instance() = default;
  Instance(std::shared_ptr<Library> library, std::unique_ptr<Unknown> object)
      : library_(std::move(library)), object_(std::move(object)) {}
  Instance(Instance&&) = default;
  // The object held before goes before its library, which may be the last reference to the
  // code the object runs.
  Instance& operator=(Instance&& other) noexcept {
    if (this != &other) {
      object_.reset();
      library_ = std::move(other.library_);
      object_ = std::move(other.object_);
    }
    return *this;
  }
  ~Instance() { object_.reset(); }  // the object goes before its library

  Unknown* Get() const { return object_.get(); }
  const std::shared_ptr<Library>& GetLibrary() const { return library_; }
  template <class T>
  T* As(std::string_view interfaceName) const {
    return object_ ? static_cast<T*>(object_->QueryInterface(interfaceName)) : nullptr;
  }

 private:
  std::shared_ptr<Library> library_;
  std::unique_ptr<Unknown> object_;
};

// Creates the class registered under progId. vlm::Error when the identifier is unknown (the
// message lists the registered ones), the library cannot be loaded, an entry point is
// missing, or the class object refuses.
Instance CreateObject(std::string_view progId);

// Creates the class straight from a library (no registry).
Instance CreateObjectFrom(const std::shared_ptr<Library>& library, std::string_view progId);

// Calls DllRegisterServer of a library; returns the identifiers it registered.
std::vector<std::string> RegisterServer(const std::filesystem::path& library);
// Calls DllUnregisterServer of a library.
void UnregisterServer(const std::filesystem::path& library);

}  // namespace vlm
