#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "pades/cert_chain.h"
#include "pades/pdf_revision.h"

// What a document's own validation data proves, read offline as a verifier must: the security
// store (/DSS) as readers resolve it, and whether the certificates of a chain were not revoked
// at the time a time stamp proves. Nothing is fetched.

// StoredData is one item of the store and where its object ends in the file: a document time
// stamp whose bytes reach past it covers it.
struct StoredData {
  Bytes der;
  uint64_t end = 0;
};
struct StoredValidationData {
  std::vector<StoredData> certificates, ocsps, crls;
};

// ReadStoredValidationData reads the /DSS of `revision`'s catalog. Items that do not resolve to
// a stream, or whose data is filtered otherwise than by FlateDecode, are left out.
StoredValidationData ReadStoredValidationData(PdfRevision* revision, PdfFile* file);

struct RevocationProof {
  bool complete = false;  // every certificate below the root has stored data about its status then
  std::string revoked;    // "el certificado de X fue revocado el Y" when one was by then
  uint64_t dataEnd = 0;   // where the last stored item the proof uses ends
};
// ProveFromStore follows `leaf`'s issuers through `pool` (what the signature carries) and the
// stored certificates up to a root, and checks each certificate below it (a responder's own,
// marked id-pkix-ocsp-nocheck, apart) against the stored OCSP answers and lists that speak for
// `at` (SpeaksFor). An answer that says the certificate was revoked at or before `at` sets
// `revoked`; one that says it was revoked later still proves it unrevoked then.
RevocationProof ProveFromStore(const CertificateDetails& leaf, const std::vector<Bytes>& pool,
                               const StoredValidationData& store, int64_t at);
