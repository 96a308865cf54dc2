#pragma once

#include <map>
#include <string>
#include <vector>

// OptionRule declares one "--name" option of a command, with what its help says of it.
struct OptionRule {
  const char* name;  // with the leading dashes
  bool takesValue;
  const char* value = "";  // the value's placeholder in the help, e.g. "FICHERO"
  const char* help = "";
};

// Arguments is a parsed command line: positional words, and options with their values
// (flags map to an empty value).
struct Arguments {
  std::vector<std::string> positional;
  std::map<std::string, std::string> options;

  bool Has(const std::string& name) const { return options.count(name) != 0; }
  std::string Value(const std::string& name) const {
    auto it = options.find(name);
    return it == options.end() ? std::string() : it->second;
  }
};

// ParseArguments reads `words` against `rules` ("--name value" or "--name=value"). A lone "-"
// is a positional word. It returns false with a Spanish message for an unknown or repeated
// option, or a missing value.
bool ParseArguments(const std::vector<std::string>& words, const std::vector<OptionRule>& rules,
                    Arguments* out, std::string* error);
