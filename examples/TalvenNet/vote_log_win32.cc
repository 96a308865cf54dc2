#include "core/paths.h"
#include "examples/TalvenNet/vote_log.h"

// Windows keeps the log beside the program only.
LogFolders DefaultLogFolders() {
  return {ExecutableDirectory(), {}};
}

bool MakeLogFolder(const std::string&) {
  return false;
}
