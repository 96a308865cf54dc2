#pragma once

#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

// ScratchFolder is a private folder for the files a fuzz target writes, made once per process in
// memory-backed /dev/shm when there is one, and removed with what it holds when the process ends.
inline const std::string& ScratchFolder(const char* name) {
  static const std::string folder = [name] {
    std::string pattern = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm/" : "/tmp/") + name + "-XXXXXX";
    if (!mkdtemp(pattern.data())) abort();
    return pattern;
  }();
  static const bool cleanUp = [] {
    return atexit([] {
      if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir))
          if (entry->d_name[0] != '.') unlink((folder + "/" + entry->d_name).c_str());
        closedir(dir);
      }
      rmdir(folder.c_str());
    }) == 0;
  }();
  (void)cleanUp;
  return folder;
}
