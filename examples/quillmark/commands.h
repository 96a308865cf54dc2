#pragma once

#include <string>
#include <vector>

#include "examples/quillmark/arguments.h"

// Exit statuses of the program.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// One subcommand: its name, its usage lines, what it does, its options, two examples and what
// it runs.
struct Command {
  const char* name;
  const char* usage;
  const char* summary;
  std::vector<OptionRule> options;
  const char* examples[2];
  int (*run)(const Arguments& args);
};

// The subcommands, in the order the help shows them.
const std::vector<Command>& Commands();
// FindCommand returns the command called `name`, or null.
const Command* FindCommand(const std::string& name);
// PrintCommandHelp writes a command's usage, summary, options and examples on standard output.
void PrintCommandHelp(const Command& command);

// UsageError prints the message and a hint to standard error and returns kExitUsage.
int UsageError(const std::string& message);
