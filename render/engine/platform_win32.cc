#include <windows.h>

#include <objbase.h>

#include <algorithm>
#include <atomic>
#include <string>

#include "render/engine/platform.h"

namespace vyrender::platform {

std::wstring Wide(const std::string& utf8) {
  for (DWORD flags : {static_cast<DWORD>(MB_ERR_INVALID_CHARS), static_cast<DWORD>(0)}) {
    int n = MultiByteToWideChar(CP_UTF8, flags, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    if (n <= 0) continue;
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, flags, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return wide;
  }
  return {};
}

std::wstring FullPath(const std::string& utf8) {
  const std::wstring wide = Wide(utf8);
  if (wide.empty()) return {};
  DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  // A second try covers a current folder that grew between the two calls.
  for (int attempt = 0; attempt < 2 && size > 0; ++attempt) {
    std::wstring full(size, L'\0');
    const DWORD written = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
    if (written > 0 && written < size) {
      full.resize(written);
      return full;
    }
    size = written;
  }
  return {};
}

void* AllocateRaster(size_t size) {
  return CoTaskMemAlloc(size);
}

void FreeRaster(void* buffer) {
  CoTaskMemFree(buffer);
}

bool IsReadableFile(const std::string& path) {
  DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE));
}

WriteResult WriteFileReplacing(const std::string& path, const uint8_t* data, size_t size) {
  static std::atomic<unsigned> counter{0};
  std::wstring destination = Wide(path);
  DWORD attributes = GetFileAttributesW(destination.c_str());
  if (destination.empty() ||
      (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)))
    return WriteResult::kCreateFailed;
  // The new file is written beside the destination under a name of its own and moved over it
  // once complete, so the destination never holds a part of a file.
  std::wstring temporary;
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
    temporary = destination + L"." + std::to_wstring(GetCurrentProcessId()) + L"." +
                std::to_wstring(counter++) + L".tmp";
    file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (file == INVALID_HANDLE_VALUE) return WriteResult::kCreateFailed;
  bool written = true;
  for (size_t done = 0; written && done < size;) {
    DWORD piece = static_cast<DWORD>(std::min<size_t>(size - done, 8u << 20)), wrote = 0;
    written = WriteFile(file, data + done, piece, &wrote, nullptr) && wrote > 0;
    done += wrote;
  }
  written = written && FlushFileBuffers(file);
  CloseHandle(file);
  if (written) {
    SetFileAttributesW(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (MoveFileExW(temporary.c_str(), destination.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return WriteResult::kOk;
  }
  DeleteFileW(temporary.c_str());
  return written ? WriteResult::kCreateFailed : WriteResult::kWriteFailed;
}

}  // namespace vyrender::platform
