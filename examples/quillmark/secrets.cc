#include "examples/quillmark/secrets.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/bytes.h"

namespace {

// FirstLine reads up to the first line feed and drops a CR before it.
bool FirstLine(FILE* in, std::string* line) {
  line->clear();
  int c;
  bool any = false;
  while ((c = std::fgetc(in)) != EOF) {
    any = true;
    if (c == '\n') break;
    AppendSecret(line, char(c));
  }
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return any || !std::ferror(in);
}

}  // namespace

void AppendSecret(std::string* secret, char c) {
  if (secret->size() == secret->capacity()) {
    std::string grown;
    grown.reserve(secret->capacity() < 128 ? 256 : 2 * secret->capacity());
    grown.assign(*secret);
    SecureClear(secret);
    secret->swap(grown);
  }
  secret->push_back(c);
}

bool ReadSecretFile(const std::string& path, std::string* secret, std::string* error) {
  SecureClear(secret);
  if (path == "-") {
    if (FirstLine(stdin, secret)) return true;
    *error = "no se pudo leer la entrada estandar.";
    return false;
  }
  FILE* in = std::fopen(path.c_str(), "rb");
  if (!in) {
    *error = "no se pudo leer el fichero " + path;
    return false;
  }
  // The stream's buffer holds the secret too: ours, so it can be wiped.
  char buffer[4096];
  std::setvbuf(in, buffer, _IOFBF, sizeof buffer);
  bool ok = FirstLine(in, secret);
  std::fclose(in);
  SecureClear(buffer, sizeof buffer);
  if (!ok) *error = "no se pudo leer el fichero " + path;
  return ok;
}

bool ReadSecretEnv(const std::string& variable, std::string* secret, std::string* error) {
  char* value = std::getenv(variable.c_str());
  if (!value) {
    *error = "la variable de entorno " + variable + " no esta definida.";
    return false;
  }
  *secret = value;
  // The value stays readable in the environment block (and in /proc) until overwritten.
  SecureClear(value, std::char_traits<char>::length(value));
  ForgetVariable(variable);
  return true;
}
