#pragma once

#include <string>

// ExecutableDirectory is the running program's folder (UTF-8), cut before the last '/' or
// '\'. A separator at the start gives that one character; no separator gives ".". When the
// path cannot be had it answers ".".
std::string ExecutableDirectory();

// DirectoryOf applies the same cutting rule to any path.
std::string DirectoryOf(const std::string& path);
