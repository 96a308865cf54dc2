// The DNIe source before the card code is linked in: no reader is ever found.
#include "certs/dnie_source.h"

std::string ListDnieCertificates(const SignerOptions&, std::vector<CertificateEntry>*) {
  return "DNIe: sin lector";
}

Bytes SignWithDnie(const std::string&, const Bytes&, const Bytes&, const std::string&, std::string* message) {
  message->clear();
  return {};
}
