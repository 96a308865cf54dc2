// Placeholder until the platform store backends land.
#include "certs/store.h"

Bytes SignWithSystemKey(const Bytes&, const Bytes&, const std::string&, bool, std::string* error) {
  *error = "el almacen de certificados del sistema no esta disponible.";
  return {};
}
