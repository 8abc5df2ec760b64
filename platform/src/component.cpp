#include "vlm/component.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>

#include "vlm/registry.h"
#include "vlm/warnings.h"

namespace vlm {
namespace {

const char* const ClassesKey = "HKEY_CURRENT_USER\\Software\\Classes";

std::string ClassKey(std::string_view progId) {
  return std::string(ClassesKey) + "\\" + std::string(progId);
}
std::string ServerKey(std::string_view progId) {
  return ClassKey(progId) + "\\InprocServer32";
}

std::string Hex(Status status) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<uint32_t>(status));
  return buffer;
}

// The reason behind a failed status, as the module left it.
std::string Reason(Status status) {
  ErrorRecord last = LastError();
  if (last.status == status && !last.description.empty()) return last.description;
  if (status == StatusClassNotAvailable) return "class not available (" + Hex(status) + ")";
  return "status " + Hex(status);
}

}  // namespace

void RegisterClass(const ClassRegistration& registration) {
  UpdateUserRegistry([&](RegistryFile& registry) {
    if (const RegistryKey* key = registry.FindKey(ServerKey(registration.progId))) {
      auto it = key->values.find("");
      if (it != key->values.end() && it->second.AsString() != registration.library.string())
        Warn(registration.progId + " was registered by " + it->second.AsString() +
             "; it is now registered by " + registration.library.string());
    }
    registry.CreateKey(ClassKey(registration.progId)).values[""] =
        RegistryValue::FromString(registration.progId);
    registry.CreateKey(ServerKey(registration.progId)).values[""] =
        RegistryValue::FromString(registration.library.string());
  });
}

void UnregisterClass(std::string_view progId) {
  UpdateUserRegistry([&](RegistryFile& registry) { registry.DeleteKey(ClassKey(progId)); });
}

std::vector<ClassRegistration> RegisteredClasses() {
  RegistryFile registry = RegistryFile::Load(UserRegistryFile());
  std::vector<ClassRegistration> out;
  for (const std::string& key : registry.SubKeys(ClassesKey)) {
    const RegistryKey* server = registry.FindKey(key + "\\InprocServer32");
    if (!server) continue;
    auto it = server->values.find("");
    if (it == server->values.end()) continue;
    out.push_back({key.substr(std::string(ClassesKey).size() + 1), it->second.AsString()});
  }
  std::sort(out.begin(), out.end(),
            [](const auto& a, const auto& b) { return a.progId < b.progId; });
  return out;
}

std::filesystem::path ModulePathOf(const void* address) {
  Dl_info info{};
  if (!dladdr(address, &info) || !info.dli_fname)
    Raise(err::InvalidProcedureCall, "cannot tell which library holds an address");
  std::error_code ec;
  auto path = std::filesystem::weakly_canonical(std::filesystem::absolute(info.dli_fname), ec);
  return ec ? std::filesystem::path(info.dli_fname) : path;
}

// ---- Library ----------------------------------------------------------------------------------

std::shared_ptr<Library> Library::Load(const std::filesystem::path& path) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec))
    Raise(err::FileNotFound, "library not found: " + path.string());
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    Raise(err::CannotLoadLibrary,
          "cannot load library " + path.string() + ": " + (why ? why : "unknown reason"));
  }
  return std::shared_ptr<Library>(new Library(path, handle));
}

Library::~Library() {
  if (handle_) dlclose(handle_);
}

void* Library::Symbol(const char* name) const {
  return dlsym(handle_, name);
}

void* Library::RequireSymbol(const char* name) const {
  void* symbol = Symbol(name);
  if (!symbol)
    Raise(err::CannotLoadLibrary,
          "library " + path_.string() + " lacks the entry point " + std::string(name));
  return symbol;
}

// ---- creation ---------------------------------------------------------------------------------

Instance CreateObjectFrom(const std::shared_ptr<Library>& library, std::string_view progId) {
  auto getClassObject =
      reinterpret_cast<DllGetClassObjectFn>(library->RequireSymbol("DllGetClassObject"));
  ClassFactory* factory = nullptr;
  std::string id(progId);
  Status status = getClassObject(id.c_str(), &factory);
  if (Failed(status) || !factory)
    Raise(err::CannotCreateObject, "library " + library->Path().string() + " does not provide " +
                                       id + ": " + Reason(status));
  Unknown* object = nullptr;
  status = factory->CreateInstance(&object);
  if (Failed(status) || !object)
    Raise(err::CannotCreateObject, "cannot create " + id + ": " + Reason(status));
  return Instance(library, std::unique_ptr<Unknown>(object));
}

Instance CreateObject(std::string_view progId) {
  std::vector<ClassRegistration> classes = RegisteredClasses();
  auto it = std::find_if(classes.begin(), classes.end(),
                         [&](const auto& c) { return c.progId == progId; });
  if (it == classes.end()) {
    std::string known;
    for (const auto& c : classes)
      known += (known.empty() ? "" : ", ") + c.progId;
    Raise(err::CannotCreateObject,
          "no class is registered as " + std::string(progId) + " in " +
              UserRegistryFile().string() +
              (known.empty() ? " (nothing is registered)" : "; registered: " + known));
  }
  return CreateObjectFrom(Library::Load(it->library), progId);
}

std::vector<std::string> RegisterServer(const std::filesystem::path& file) {
  auto library = Library::Load(std::filesystem::absolute(file));
  // A component offers all four entry points; check before recording anything.
  for (const char* name :
       {"DllRegisterServer", "DllUnregisterServer", "DllGetClassObject", "DllCanUnloadNow"})
    library->RequireSymbol(name);
  auto registerServer =
      reinterpret_cast<DllRegisterServerFn>(library->RequireSymbol("DllRegisterServer"));
  Status status = registerServer();
  if (Failed(status))
    Raise(err::CannotLoadLibrary, "registering " + file.string() + " failed: " + Reason(status));
  std::vector<std::string> ids;
  const std::string self = ModulePathOf(reinterpret_cast<const void*>(registerServer)).string();
  for (const auto& c : RegisteredClasses())
    if (c.library.string() == self) ids.push_back(c.progId);
  return ids;
}

void UnregisterServer(const std::filesystem::path& file) {
  auto library = Library::Load(std::filesystem::absolute(file));
  auto unregisterServer =
      reinterpret_cast<DllUnregisterServerFn>(library->RequireSymbol("DllUnregisterServer"));
  Status status = unregisterServer();
  if (Failed(status))
    Raise(err::CannotLoadLibrary, "unregistering " + file.string() + " failed: " + Reason(status));
}

}  // namespace vlm
