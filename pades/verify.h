#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "pades/cert_chain.h"
#include "pades/cms_reader.h"
#include "pades/coverage.h"
#include "pades/digest.h"
#include "pades/pdf_signatures.h"

// The verification of the signatures a PDF already carries, in three separate answers: are
// the signed bytes intact (integrity), what did later revisions change (coverage), and does
// the signer's certificate lead to a trusted authority (trust). A broken signature and an
// unknown issuer are different answers: most "invalid signature" reports are the second.

enum class Integrity {
  Intact,
  Broken,
  Unsupported,  // an algorithm this verifier does not check: never reported as valid
};

// SignerCheck is the outcome of checking one CMS signer over a content digest.
struct SignerCheck {
  Integrity status = Integrity::Broken;
  std::string detail;              // Spanish, the first fault
  CertificateDetails certificate;  // the signer's, when it was found
  bool certificateFound = false;
  bool signingCertificateChecked = false;  // a signingCertificate(V2) attribute matched
};
// CheckSigner verifies the first signer of `cms`: its certificate is among those carried (when
// several match its issuer and serial or key identifier, the one whose key verifies),
// messageDigest equals `contentDigest` (a hash of the signer's digest algorithm), the
// signature over the signed attributes verifies with the certificate's key, and a
// signingCertificate(V2) reference names that certificate.
SignerCheck CheckSigner(const CmsSignedData& cms, const Bytes& contentDigest);

struct TimestampReport {
  bool present = false;
  bool valid = false;     // the token is over this signature and its own signature verifies
  bool trusted = false;   // the authority's certificate leads to an anchor
  std::string time;       // "2026-12-06 10:15:00 UTC"
  int64_t seconds = 0;    // the same, as seconds since 1970 UTC
  std::string authority;  // the authority certificate's holder
  std::string detail;     // why it is not valid or not trusted
};

struct SignatureReport {
  std::string fieldName;
  int fieldCount = 1;  // signature fields that show this one signature
  std::string signerName;
  std::string signerSerial;    // the subject's serialNumber (a DNI), when present
  std::string signingTime;     // /M as "2026-12-06 10:15:00 UTC", or as written when unreadable
  std::string cmsSigningTime;  // the CMS signingTime attribute, when present
  // The time to show beside the signature: the time stamp's when there is one, else /M.
  std::string time;
  std::string timeSource;  // "sello de tiempo" or "/M"
  // When the certificate was judged valid: the time a time stamp proves, else the moment of
  // verification. /M and signingTime are written by the signer and never used to judge.
  std::string validityTime;
  std::string validityBasis;  // "sello de tiempo", "sello de tiempo del documento" or "ahora"
  std::string subFilter;
  std::string profile;  // "PAdES B-B", "PAdES B-T", or what the dictionary is otherwise
  // The long-term level the signature reaches with what the document holds: "B-B" intact,
  // "B-T" dated by a time stamp (its own or a document time stamp over it), "B-LT" with stored
  // data proving its chains unrevoked at the times they are judged, "B-LTA" with that data under
  // a document time stamp. Empty for document time stamps and signatures that do not hold.
  std::string level;
  int certification = 0;              // the DocMDP permission of a certification signature (1 to 3)
  bool documentTimestamp = false;     // a document time stamp rather than a signature
  int stampPage = -1;                 // 0-based page of the first visible widget, -1 when none
  std::array<double, 4> stampRect{};  // that widget's rectangle in PDF user space
  Integrity integrity = Integrity::Broken;
  std::string integrityDetail;
  Coverage coverage;
  TrustResult trust;
  TimestampReport timestamp;
};

struct VerifyReport {
  std::string error;  // the document could not be read; empty otherwise
  uint64_t length = 0;
  std::vector<SignatureReport> signatures;
};

// VerifyPdf checks every signature of the file at `path` against the trust `anchors` (DER
// certificates), judging certificates at `now` (seconds since 1970 UTC) unless a time stamp
// proves an earlier time. Each signature's ranges are read and hashed once, in pieces.
VerifyReport VerifyPdf(const std::string& path, const std::vector<Bytes>& anchors);
VerifyReport VerifyPdf(const std::string& path, const std::vector<Bytes>& anchors, int64_t now);

// ParsePdfDate reads "D:YYYYMMDDHHmmSS" with an optional "Z" or "+HH'mm'" offset into
// seconds since 1970 UTC; it returns false when the date is not of that form.
bool ParsePdfDate(const std::string& text, int64_t* out);
// HumanUtc renders seconds since 1970 as "2026-12-06 10:15:00 UTC".
std::string HumanUtc(int64_t seconds);
