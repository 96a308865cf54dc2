#pragma once

#include <string>

// Secrets (passwords, PINs) never come from the command line itself: from a file ("-" for
// standard input), from an environment variable, or typed on the terminal without echo.

// ReadSecretFile takes the first line of `path` (or of standard input for "-") without its
// line ending. It returns false with a Spanish message when the file cannot be read.
bool ReadSecretFile(const std::string& path, std::string* secret, std::string* error);

// ReadSecretEnv takes the value of `variable` and then wipes and removes it from the
// environment, so no child process inherits it. It returns false when it is not set.
bool ReadSecretEnv(const std::string& variable, std::string* secret, std::string* error);

// AskSecret shows `prompt` on the terminal and reads one line without echo. It returns false
// with a Spanish message when there is no terminal to ask on.
bool AskSecret(const std::string& prompt, std::string* secret, std::string* error);

// AppendSecret adds one character to a secret being read; when the buffer must grow, the old
// one is wiped rather than left to the allocator with the characters in it.
void AppendSecret(std::string* secret, char c);

// ForgetVariable removes `variable` from the process's environment (platform part).
void ForgetVariable(const std::string& variable);
