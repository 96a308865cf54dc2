#include "certs/certificate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ParsedCertificate cert;
  if (ParseCertificate(data, size, &cert)) {
    (void)ExtractRsaPublicKey(cert.der);
    (void)FormatExpiry(cert);
  }
  (void)ExtractRsaPublicKey(Bytes(data, data + size));
  return 0;
}
