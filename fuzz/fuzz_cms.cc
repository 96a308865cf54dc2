// The CMS reader over arbitrary bytes, as a signature's /Contents or a time-stamp token would
// bring them, and the signer check over what it returns: whatever the input, they must end
// without crashing or reading out of bounds.
#include <cstdint>
#include <cstdlib>

#include "pades/cms_reader.h"
#include "pades/verify.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CmsSignedData cms;
  if (!ParseCmsSignedData(data, size, &cms)) return 0;
  if (cms.signers.empty() || cms.encodedLength > size) abort();
  for (const Bytes& der : cms.certificates) {
    CertificateDetails details;
    (void)ReadCertificateDetails(der, &details);
  }
  const SignerCheck check = CheckSigner(cms, Bytes(32, 0));
  if (check.status == Integrity::Intact && !check.certificateFound) abort();
  return 0;
}
