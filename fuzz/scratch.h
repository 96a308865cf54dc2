#pragma once

#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

namespace scratch_internal {

inline std::string& Folder() {
  static std::string folder;
  return folder;
}

inline void RemoveFolder() {
  const std::string& folder = Folder();
  if (DIR* dir = opendir(folder.c_str())) {
    while (const dirent* entry = readdir(dir))
      if (entry->d_name[0] != '.') unlink((folder + "/" + entry->d_name).c_str());
    closedir(dir);
  }
  rmdir(folder.c_str());
}

}  // namespace scratch_internal

// ScratchFolder is a private folder for the files a fuzz target writes, made once per process in
// memory-backed /dev/shm when there is one, and removed with what it holds when the process ends.
inline const std::string& ScratchFolder(const char* name) {
  std::string& folder = scratch_internal::Folder();
  if (folder.empty()) {
    std::string pattern = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm/" : "/tmp/") + name;
    pattern += "-XXXXXX";
    if (!mkdtemp(pattern.data())) abort();
    folder = pattern;
    atexit(scratch_internal::RemoveFolder);
  }
  return folder;
}
