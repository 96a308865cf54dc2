// Validation data over arbitrary bytes, as a hostile responder, list server or document could
// hold it: an OCSP answer, a revocation list and a signature's /Contents must each be read to
// an end without crashing or reading out of bounds, and never be taken for authentic.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "pades/crl.h"
#include "pades/ocsp.h"
#include "pades/validation_data.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Bytes input(data, data + size);
  // Without a key nothing can verify, so nothing may pass.
  const CertificateDetails cert, issuer;
  const OcspCheck ocsp = CheckOcspResponse(input, cert, issuer, Bytes(16, 0x5A), 1796552100);
  if (ocsp.ok || ocsp.error.empty()) abort();
  const CrlCheck crl = CheckCrl(input, cert, issuer, 1796552100);
  if (crl.ok || crl.error.empty()) abort();
  ValidationSubject subject;
  bool stamped = false;
  std::string error;
  if (!SubjectOfContents(input, 1796552100, &subject, &stamped, &error) && error.empty()) abort();
  return 0;
}
