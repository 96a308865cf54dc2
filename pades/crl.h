#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/bytes.h"
#include "pades/cert_chain.h"

// Certificate revocation lists (RFC 5280, 5): the checks of a list before it answers for a
// certificate. The DER is untrusted bytes from the network or from a document, read with the
// bounds-checked cursor.

struct CrlCheck {
  bool ok = false;    // authentic, complete and from the certificate's issuer
  std::string error;  // Spanish, the first fault, without a final period
  bool revoked = false;
  int64_t revocationTime = 0;
  int64_t thisUpdate = 0;
  std::optional<int64_t> nextUpdate;
};

// CheckCrl checks a CertificateList for `cert`: issued under `issuer`'s name, signed with its
// key (which must allow CRL signing when it states key usages), a complete list (not a delta)
// and, with `now` at 0 or more, current: thisUpdate not after `now` and nextUpdate, when
// present, not before it (with kRevocationClockSlack either way). It then says whether the
// certificate's serial number is on the list, and since when.
CrlCheck CheckCrl(const Bytes& crl, const CertificateDetails& cert, const CertificateDetails& issuer,
                  int64_t now);
