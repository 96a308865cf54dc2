#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

#include "core/paths.h"
#include "examples/TalvenNet/vote_log.h"

LogFolders DefaultLogFolders() {
  LogFolders folders{ExecutableDirectory(), {}};
  const char* state = std::getenv("XDG_STATE_HOME");
  const char* home = std::getenv("HOME");
  // Relative values are to be ignored, like an unset variable.
  if (state && state[0] == '/') {
    folders.fallback = std::string(state) + "/talvennet";
  } else if (home && home[0] == '/') {
    folders.fallback = std::string(home) + "/.local/state/talvennet";
  }
  return folders;
}

bool MakeLogFolder(const std::string& folder) {
  for (size_t at = 1; at <= folder.size(); ++at) {
    if (at < folder.size() && folder[at] != '/') continue;
    const std::string part = folder.substr(0, at);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat st {};
  return stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
