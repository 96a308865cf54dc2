#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "certs/certificate.h"
#include "core/bytes.h"
#include "core/rsa.h"

// The certificate facts a verifier needs beyond ParsedCertificate (the signed part and its
// signature, exact names, key usages), and the chain from a signer to a trusted anchor.

struct CertificateDetails {
  ParsedCertificate parsed;
  Bytes tbs;                 // the whole tbsCertificate element: what the issuer signed
  Bytes signatureAlgorithm;  // OID
  Bytes signature;           // the BIT STRING's bytes
  Bytes issuer, subject;     // whole Name elements, compared byte for byte
  Bytes serial;              // content bytes
  Bytes subjectKeyId;
  Bytes authorityKeyId;
  Bytes publicKey;  // subjectPublicKey's bits, without the unused-bits byte
  std::optional<RsaPublicKey> key;
  bool hasKeyUsage = false;
  bool digitalSignature = false;  // digitalSignature or nonRepudiation
  bool keyCertSign = false;
  bool crlSign = false;
  bool basicConstraintsCa = false;
  std::vector<Bytes> extendedKeyUsages;  // OIDs; empty when the extension is absent
  // Where the certificate's status and issuer are published (URIs as written).
  std::vector<std::string> ocspUrls;      // authorityInfoAccess, id-ad-ocsp
  std::vector<std::string> caIssuerUrls;  // authorityInfoAccess, id-ad-caIssuers
  std::vector<std::string> crlUrls;       // cRLDistributionPoints, full names
  bool ocspNoCheck = false;               // id-pkix-ocsp-nocheck: a responder's own certificate
  bool SelfIssued() const { return issuer == subject; }
};
// ReadCertificateDetails decodes one DER certificate. It returns false when its structure
// cannot be read.
bool ReadCertificateDetails(const Bytes& der, CertificateDetails* out);

// IsSignedBy says whether `issuer`'s RSA key verifies `cert`'s signature (SHA-256/384/512).
bool IsSignedBy(const CertificateDetails& cert, const CertificateDetails& issuer);
// VerifiesWith says whether `signer`'s RSA key verifies `signature` over `signedBytes` under
// the signature algorithm `algorithm` (an OID of RSA with SHA-256/384/512).
bool VerifiesWith(const CertificateDetails& signer, const Bytes& algorithm, const Bytes& signedBytes,
                  const Bytes& signature);

// SerialNumberOf is the subject's serialNumber attribute (a DNI), or empty.
std::string SerialNumberOf(const ParsedCertificate& cert);

enum class TrustStatus {
  Trusted,
  UnknownIssuer,  // no chain reaches an anchor
  Expired,        // some certificate of the chain was not valid at the signing time
  NotForSigning,  // the signer's key usage or extended key usage does not allow it
  IssuerNotCa,    // a certificate that issues others is no CA
  Revoked,        // the document's own revocation data says a certificate was revoked by then
};

struct TrustResult {
  TrustStatus status = TrustStatus::UnknownIssuer;
  std::vector<std::string> chain;  // holder names, signer first, up to the anchor when reached
  std::string detail;              // Spanish, the reason when not Trusted
};

// BuildChain follows issuers from `leaf` through `pool` (the certificates the signature
// carries) to one of `anchors`, checking each issuer's signature, validity at `atTime`
// (seconds since 1970 UTC), that issuers are CAs, and the leaf's usage: its key usage must
// allow signing, and `requiredEku`, when not empty, must be among its extended key usages;
// without it an extended key usage, when present, must allow signing documents.
TrustResult BuildChain(const CertificateDetails& leaf, const std::vector<Bytes>& pool,
                       const std::vector<Bytes>& anchors, int64_t atTime, const Bytes& requiredEku = {});

// ReadPemCertificates returns the DER of every "CERTIFICATE" block of a PEM text.
std::vector<Bytes> ReadPemCertificates(const std::string& text);
