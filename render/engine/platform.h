#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The engine's platform services, one implementation per platform (platform_posix.cc, ...).
// Paths are UTF-8; each platform converts them at its own calls.
namespace vyrender::platform {

// AllocateRaster takes memory from the allocator that VyPdf_Free gives back to (malloc on
// POSIX, the COM task allocator on Windows); null when there is none.
void* AllocateRaster(size_t size);
void FreeRaster(void* buffer);

// IsReadableFile is true for an existing regular file (after links). Directories, devices and
// pipes are refused, so that no renderer ever blocks on a pipe or reads an endless device.
bool IsReadableFile(const std::string& path);

enum class WriteResult { kOk, kCreateFailed, kWriteFailed };

// WriteFileReplacing writes `data` to a new file beside `path` and moves it over `path` once
// it is complete, so that `path` holds either its old contents or all of `data`. On failure
// the temporary file is removed.
WriteResult WriteFileReplacing(const std::string& path, const uint8_t* data, size_t size);

#ifdef _WIN32
// Wide converts a UTF-8 path for the wide Windows calls: strictly first, then replacing
// invalid sequences; a path that still gives nothing stays empty.
std::wstring Wide(const std::string& utf8);
// FullPath is a path's absolute form with backslashes, as the Windows Runtime's storage calls
// want it (they refuse relative paths and forward slashes); empty when none can be made.
std::wstring FullPath(const std::string& utf8);
#endif

}  // namespace vyrender::platform
