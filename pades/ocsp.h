#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/bytes.h"
#include "pades/cert_chain.h"

// OCSP (RFC 6960): the request for one certificate's status and the checks of the answer a
// responder gives, before anything of it is trusted or kept. The DER is read with the
// bounds-checked cursor; the answer is untrusted bytes from the network or from a document.

// BuildOcspRequest encodes an unsigned OCSPRequest for `cert`, issued by `issuer`, with a
// SHA-1 certificate ID (what every responder understands) and, when `nonce` is not empty, the
// nonce extension.
Bytes BuildOcspRequest(const CertificateDetails& cert, const CertificateDetails& issuer, const Bytes& nonce);

// Clock slack allowed between a responder or a CRL issuer and this machine, in seconds.
inline constexpr int64_t kRevocationClockSlack = 300;

struct OcspCheck {
  bool ok = false;    // authentic and about the certificate; `revoked` then tells its status
  std::string error;  // Spanish, the first fault, without a final period
  bool revoked = false;
  int64_t revocationTime = 0;
  int64_t producedAt = 0;
  int64_t thisUpdate = 0;
  std::optional<int64_t> nextUpdate;
  Bytes responder;  // the delegated responder's certificate (DER) when it was not the issuer
};
// CheckOcspResponse checks an OCSPResponse about `cert`: successful, basic, signed by
// `issuer` or by a responder certificate that `issuer` signed for id-kp-OCSPSigning and that
// was valid when the answer was produced, holding a status for exactly this certificate ID
// (SHA-1 or SHA-256), and carrying `nonce` when one is given and the answer echoes one. With
// `now` at 0 or more, the answer must also be current: thisUpdate not after `now` and
// nextUpdate, when present, not before it (with kRevocationClockSlack either way). A status of
// "unknown" is a fault. It returns ok false with the reason when any check fails.
OcspCheck CheckOcspResponse(const Bytes& response, const CertificateDetails& cert,
                            const CertificateDetails& issuer, const Bytes& nonce, int64_t now);

// OcspCertificateId is the SHA-1 CertID of `cert` under `issuer`, as a request carries it.
Bytes OcspCertificateId(const CertificateDetails& cert, const CertificateDetails& issuer);

// The extended key usage a delegated responder's certificate needs (id-kp-OCSPSigning).
extern const Bytes kOcspSigningUsage;
