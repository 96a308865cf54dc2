#include "examples/quillmark/arguments.h"

bool ParseArguments(const std::vector<std::string>& words, const std::vector<OptionRule>& rules,
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
    const OptionRule* rule = nullptr;
    for (const OptionRule& candidate : rules)
      if (name == candidate.name) rule = &candidate;
    if (!rule) {
      *error = "opcion desconocida: " + name;
      return false;
    }
    if (out->Has(name)) {
      *error = "opcion repetida: " + name;
      return false;
    }
    if (rule->takesValue && !inlineValue) {
      if (i + 1 >= words.size()) {
        *error = "falta el valor de " + name;
        return false;
      }
      value = words[++i];
    } else if (!rule->takesValue && inlineValue) {
      *error = "la opcion " + name + " no lleva valor";
      return false;
    }
    out->options[name] = value;
  }
  return true;
}
