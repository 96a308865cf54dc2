#include "core/dynlib.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

DynamicLibrary::~DynamicLibrary() {
  Close();
}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    other.handle_ = nullptr;
  }
  return *this;
}

bool DynamicLibrary::Open(const std::string& name) {
  Close();
#ifdef _WIN32
  handle_ = reinterpret_cast<void*>(LoadLibraryA(name.c_str()));
#else
  handle_ = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
  return handle_ != nullptr;
}

void* DynamicLibrary::Symbol(const char* name) const {
  if (!handle_) return nullptr;
#ifdef _WIN32
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
#else
  return dlsym(handle_, name);
#endif
}

void DynamicLibrary::Close() {
  if (!handle_) return;
#ifdef _WIN32
  FreeLibrary(static_cast<HMODULE>(handle_));
#else
  dlclose(handle_);
#endif
  handle_ = nullptr;
}
