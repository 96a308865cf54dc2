#pragma once

#include <string>
#include <vector>

#include "examples/quillmark/arguments.h"

// Exit statuses of the program.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// One subcommand: its name, its usage lines, its options and what it runs.
struct Command {
  const char* name;
  const char* usage;
  std::vector<OptionRule> options;
  int (*run)(const Arguments& args);
};

// The subcommands, in the order the help shows them.
const std::vector<Command>& Commands();

// UsageError prints the message and a hint to standard error and returns kExitUsage.
int UsageError(const std::string& message);
