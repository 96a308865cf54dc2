#include <windows.h>
// windows.h first: wincrypt.h uses its types.
#include <wincrypt.h>

#include "certs/trust_anchors.h"

std::vector<Bytes> SystemTrustAnchors() {
  std::vector<Bytes> anchors;
  HCERTSTORE store = CertOpenSystemStoreW(0, L"ROOT");
  if (!store) return anchors;
  for (PCCERT_CONTEXT cert = nullptr; (cert = CertEnumCertificatesInStore(store, cert)) != nullptr;) {
    anchors.emplace_back(cert->pbCertEncoded, cert->pbCertEncoded + cert->cbCertEncoded);
  }
  CertCloseStore(store, 0);
  return anchors;
}
