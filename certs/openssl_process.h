#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The platform half of the PKCS#12 path: starting `openssl` and creating temporary files.
// Windows writes command lines for the command interpreter; POSIX starts the program
// directly with an argument vector, so no path is ever seen by a shell.

// OpensslArg is one word of a command line: literal text, then a file path when `path` is
// not empty (the command-line form quotes the path, the argument vector takes it as is).
struct OpensslArg {
  std::string text;
  std::string path;
};

// RunOpenssl runs openssl with its standard output and error discarded and returns the exit
// status, or -1 when the program could not be started or did not exit normally.
int RunOpenssl(const std::vector<OpensslArg>& args);

// RunOpensslCapture runs openssl and returns what it wrote to standard output (standard
// error is left to the caller's). A program that cannot be started gives empty output.
std::string RunOpensslCapture(const std::vector<OpensslArg>& args);

enum class TempCreate { Created, Exists, Failed };

// CreateTempFile creates `path` holding `data`. On POSIX the file is created exclusively
// with mode 0600, so it never replaces or follows someone else's file (`Exists`).
TempCreate CreateTempFile(const std::string& path, const uint8_t* data, size_t len);

// The separator between the temporary folder and a file name.
char TempPathSeparator();
long CurrentProcessId();
