#pragma once

#include <string>
#include <vector>

// Utf8Arguments holds a program's arguments as UTF-8 texts. On Windows they are read again
// from the wide command line (GetCommandLineW), because the narrow argv there is in the
// ANSI code page and loses every character outside it (a path with "ñ" on some systems).
class Utf8Arguments {
 public:
  Utf8Arguments(int argc, char** argv);
  Utf8Arguments(const Utf8Arguments&) = delete;
  Utf8Arguments& operator=(const Utf8Arguments&) = delete;

  int Count() const { return static_cast<int>(pointers_.size()) - 1; }
  // Vector is NUL-terminated like argv and lives as long as this object.
  char** Vector() { return pointers_.data(); }

 private:
  std::vector<std::string> texts_;
  std::vector<char*> pointers_;
};

// AttachParentConsole lets a Windows program built for the windowing subsystem print to the
// console it was started from, in UTF-8: such a program has no console of its own, so
// "voteauth --help" in cmd.exe would show nothing. Output already sent to a file or a pipe,
// and every other platform, are left as they are.
void AttachParentConsole();
