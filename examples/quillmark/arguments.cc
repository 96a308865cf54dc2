#include "examples/quillmark/arguments.h"

bool ParseArguments(const std::vector<std::string>& words, const std::vector<OptionSpec>& specs,
                    Arguments* out, std::string* error) {
  *out = Arguments();
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (word.size() < 2 || word.compare(0, 2, "--") != 0) {
      out->positional.push_back(word);
      continue;
    }
    std::string name = word, value;
    size_t equals = word.find('=');
    bool inlineValue = equals != std::string::npos;
    if (inlineValue) {
      name = word.substr(0, equals);
      value = word.substr(equals + 1);
    }
    const OptionSpec* spec = nullptr;
    for (const OptionSpec& candidate : specs)
      if (name == candidate.name) spec = &candidate;
    if (!spec) {
      *error = "opcion desconocida: " + name;
      return false;
    }
    if (out->Has(name)) {
      *error = "opcion repetida: " + name;
      return false;
    }
    if (spec->takesValue && !inlineValue) {
      if (i + 1 >= words.size()) {
        *error = "falta el valor de " + name;
        return false;
      }
      value = words[++i];
    } else if (!spec->takesValue && inlineValue) {
      *error = "la opcion " + name + " no lleva valor";
      return false;
    }
    out->options[name] = value;
  }
  return true;
}
