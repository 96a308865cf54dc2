#include "examples/quillmark/secrets.h"

#include <cstdio>
#include <cstdlib>

#include "core/bytes.h"

namespace {

// FirstLine reads up to the first line feed and drops a CR before it.
bool FirstLine(FILE* in, std::string* line) {
  line->clear();
  line->reserve(256);  // no reallocation leaves pieces of the secret behind
  int c;
  bool any = false;
  while ((c = std::fgetc(in)) != EOF) {
    any = true;
    if (c == '\n') break;
    line->push_back(char(c));
  }
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return any || !std::ferror(in);
}

}  // namespace

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
  bool ok = FirstLine(in, secret);
  // The stream's buffer held the secret too.
  std::fclose(in);
  if (!ok) *error = "no se pudo leer el fichero " + path;
  return ok;
}

bool ReadSecretEnv(const std::string& variable, std::string* secret, std::string* error) {
  const char* value = std::getenv(variable.c_str());
  if (!value) {
    *error = "la variable de entorno " + variable + " no esta definida.";
    return false;
  }
  *secret = value;
  return true;
}
