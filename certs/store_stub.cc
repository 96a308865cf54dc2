// Placeholder until the Windows store backend lands.
#include "certs/store.h"

void ListSystemCertificates(std::vector<CertificateEntry>*, std::string* message) {
  *message = "el almacen de certificados del sistema no esta disponible.";
}

Bytes SignWithSystemKey(const Bytes&, const Bytes&, const std::string&, bool, std::string* error) {
  *error = "el almacen de certificados del sistema no esta disponible.";
  return {};
}
