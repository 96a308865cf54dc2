#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "pades/network.h"

// The validation data of long-term signatures (PAdES B-LT): for every certificate a signature
// or a time stamp depends on, the chain up to its root and a proof that it was not revoked when
// the signature was proven to exist: an OCSP answer when the certificate names a responder,
// otherwise a revocation list from its distribution points. What the document already holds is
// used again when it is recent enough; the rest is fetched, and every answer is checked before
// it is kept.

// ChainStart is an end-entity certificate and the time from which its use is proven (the time
// stamp over it), or the present when nothing proves an earlier one.
struct ChainStart {
  Bytes certificate;
  int64_t provenTime = 0;
};

// ValidationSubject is one signature or time stamp of the document.
struct ValidationSubject {
  std::string vriKey;               // upper-case hex SHA-1 of its /Contents value
  std::vector<ChainStart> leaves;   // the signer's certificate and its time-stamp authorities'
  std::vector<Bytes> certificates;  // what came with it, to build the chains from
};

// EmbeddedData is what the document's security store already holds (DER each).
struct EmbeddedData {
  std::vector<Bytes> certificates, ocsps, crls;
};

struct ValidationData {
  std::vector<Bytes> certificates, ocsps, crls;  // distinct, in the order first needed
  // One entry per subject: indexes into the three lists.
  struct Entry {
    std::string vriKey;
    std::vector<size_t> certificates, ocsps, crls;
  };
  std::vector<Entry> entries;
};

// GatherValidationData builds every subject's chains (from what came with it, what the
// document holds and, failing those, the issuers' certificates named by authority information
// access) and proves each non-root certificate unrevoked at the subject's proven time. A
// certificate revoked at or before that time, a certificate that names no HTTP revocation
// service, an unreachable service and an answer that fails its checks all end it with the
// Spanish reason (naming the certificate and the service's URL) in `error`. `now` is the time
// fresh answers must be current at.
[[nodiscard]] bool GatherValidationData(const std::vector<ValidationSubject>& subjects,
                                        const EmbeddedData& embedded, const Network& network, int64_t now,
                                        ValidationData* out, std::string* error);

// SpeaksFor says whether revocation data issued at `thisUpdate` (valid until `nextUpdate`, when
// it says) tells a certificate's status at `at`: it was issued at or after that time, or was
// still current then.
bool SpeaksFor(int64_t thisUpdate, std::optional<int64_t> nextUpdate, int64_t at);

// VriKey is the security store's key for a signature: the upper-case hex SHA-1 of its /Contents
// value (the decoded string, padding included).
std::string VriKey(const Bytes& contents);

// SubjectOfContents reads what a signature's /Contents needs validated: a CMS signature (its
// signer and the authorities of its signature time stamps) or a document time stamp (its
// authority). The signer's certificate is proven from its earliest signature time stamp, else
// from `laterTimestamp` (a later document time stamp's time, or the present). `stamped` says
// whether it carries a time stamp of its own. It returns false, with the Spanish reason, when
// the container or a certificate it needs cannot be read.
[[nodiscard]] bool SubjectOfContents(const Bytes& contents, int64_t laterTimestamp, ValidationSubject* out,
                                     bool* stamped, std::string* error);
