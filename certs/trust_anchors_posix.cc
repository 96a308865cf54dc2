#include <cstdlib>

#include "certs/trust_anchors.h"

namespace {

// Debian's bundle of the system's authorities.
constexpr const char* kSystemBundle = "/etc/ssl/certs/ca-certificates.crt";

}  // namespace

std::vector<Bytes> SystemTrustAnchors() {
  const char* fromEnvironment = std::getenv("SSL_CERT_FILE");
  std::vector<Bytes> anchors;
  ReadPemBundle(fromEnvironment && *fromEnvironment ? fromEnvironment : kSystemBundle, &anchors);
  return anchors;
}
