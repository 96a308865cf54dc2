#pragma once

#include <string>

// DynamicLibrary owns one loaded shared library (LoadLibraryA / dlopen by name) and
// unloads it when destroyed, unless Leak() was called for a process-lifetime load.
class DynamicLibrary {
 public:
  DynamicLibrary() = default;
  ~DynamicLibrary();
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;
  DynamicLibrary(DynamicLibrary&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
  DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;

  // Open loads the library by name or path. It returns false when it cannot be loaded.
  [[nodiscard]] bool Open(const std::string& name);
  bool IsOpen() const { return handle_ != nullptr; }
  // Symbol returns the exported address, or null.
  void* Symbol(const char* name) const;
  template <typename F>
  bool Bind(const char* name, F* out) const {
    *out = reinterpret_cast<F>(Symbol(name));
    return *out != nullptr;
  }
  void Close();
  // Leak keeps the library loaded until the process ends.
  void Leak() { handle_ = nullptr; }

 private:
  void* handle_ = nullptr;
};
