#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "certs/certificate.h"
#include "core/bytes.h"
#include "pades/network.h"

// The signing engine's entry points: a PDF file, a certificate and a signing callback in, a
// copy of the document with one more PAdES signature (/SubFilter /ETSI.CAdES.detached)
// appended by incremental update out. Earlier bytes and signatures are never altered.

// SignatureTexts are the signer's texts; an empty field takes its default (the certificate's
// common name, "TalvenNet", "Firma de documento").
struct SignatureTexts {
  std::string name;      // second line of the stamp and the signature's /Name
  std::string location;  // /Location
  std::string reason;    // /Reason
};

// StampMode picks the pages that show a visible stamp. Values outside the list behave as None.
enum class StampMode : int32_t {
  None = 0,  // invisible signature
  FirstPage = 1,
  LastPage = 2,
  AllPages = 3,
  PageList = 4,  // the 1-based pages named in StampOptions::pageList, e.g. "1, 3, 5-8"
};

struct StampOptions {
  StampMode mode = StampMode::FirstPage;
  std::string pageList;
};

// SigningCallback receives the DER of the CMS signed attributes (a SET, tag 0x31) and returns
// the RSA PKCS#1 v1.5 signature over their SHA-256, made with the certificate's private key and
// exactly as long as its modulus. An empty result means failure; `note` then says why. On
// success `note` may carry a remark that SignResult::info reports.
using SigningCallback = std::function<Bytes(const Bytes& signedAttributes, std::string* note)>;

// TimestampCallback receives the signature value of a new signature and returns a time-stamp
// token over it (an RFC 3161 ContentInfo, already checked), which goes into the signer's
// unsigned attributes. An empty result means failure; `error` then says why, and nothing is
// written. It is called once more before signing, over a zero value, to learn the token's size.
using TimestampCallback = std::function<Bytes(const Bytes& signatureValue, std::string* error)>;

// SignatureLevel is the PAdES baseline level of a signature (ETSI EN 319 142-1, 6): B-B the
// signature alone; B-T with a signature time stamp; B-LT with the validation data of its
// certificates in the document security store as well; B-LTA then with a document time stamp
// over all of it.
enum class SignatureLevel { BB, BT, BLT, BLTA };

// LongTermOptions are what B-LT and B-LTA need besides the signature time stamp: the network
// for OCSP answers, revocation lists and issuers' certificates, and the authority that stamps
// the document (B-LTA).
struct LongTermOptions {
  SignatureLevel level = SignatureLevel::BT;
  Network network;
  DigestTimestampCallback documentTimestamp;
};

// SignResult reports one signing operation. `ok` and `isSigned` are set together, only when the
// output carries the new signature and passed the read-back check.
struct SignResult {
  bool ok = false;        // a file was written at the output path
  bool isSigned = false;  // that file carries the new signature and passed the check
  uint64_t size = 0;      // byte length of the file written
  std::string info;       // notice about earlier signatures; on success the callback's note
  std::string error;      // the first error; empty on success
  std::string warning;    // the page-list warning; empty otherwise
};

// The /Contents room the signer program asks for.
inline constexpr uint32_t kDefaultContentsReservation = 8192;

// SignPdf signs `inputPath` into `outputPath` (which may name the same file). The input is only
// read; the output is written to a temporary file beside it, checked, and then renamed into
// place, so a failure never leaves a partial or unchecked file at `outputPath`.
// `contentsReservation` must hold the CMS (at least 512 bytes); it is settled after a trial
// build. Failures come back as the Spanish text in SignResult::error.
SignResult SignPdf(const std::string& inputPath, const std::string& outputPath,
                   const ParsedCertificate& certificate, uint32_t contentsReservation,
                   const SigningCallback& callback, const SignatureTexts& texts, const StampOptions& stamp);
// The same with a trusted time stamp from `timestamp` (PAdES B-T); without one it is the form
// above, byte for byte.
SignResult SignPdf(const std::string& inputPath, const std::string& outputPath,
                   const ParsedCertificate& certificate, uint32_t contentsReservation,
                   const SigningCallback& callback, const SignatureTexts& texts, const StampOptions& stamp,
                   const TimestampCallback& timestamp);
// The same at B-LT or B-LTA (below those, `longTerm` is not used): after the time-stamped
// signature, a revision with its validation data and, for B-LTA, one with a document time
// stamp. Any fetch or check that fails, a revoked certificate among them, fails the whole
// operation and nothing is written.
SignResult SignPdf(const std::string& inputPath, const std::string& outputPath,
                   const ParsedCertificate& certificate, uint32_t contentsReservation,
                   const SigningCallback& callback, const SignatureTexts& texts, const StampOptions& stamp,
                   const TimestampCallback& timestamp, const LongTermOptions& longTerm);
// The signer program's form: a reservation of kDefaultContentsReservation.
SignResult SignPdf(const std::string& inputPath, const std::string& outputPath,
                   const ParsedCertificate& certificate, const SigningCallback& callback,
                   const SignatureTexts& texts, const StampOptions& stamp);
// A visible stamp on the first page.
SignResult SignPdf(const std::string& inputPath, const std::string& outputPath,
                   const ParsedCertificate& certificate, uint32_t contentsReservation,
                   const SigningCallback& callback, const SignatureTexts& texts);

// CreateSignedSample writes a new one-page document showing `pageText`, signed from the start
// with a visible stamp. When signing cannot be completed it still writes the document without
// signature parts: then `ok` is true, `isSigned` false and `error` says why.
SignResult CreateSignedSample(const std::string& outputPath, const std::string& pageText,
                              const ParsedCertificate& certificate, uint32_t contentsReservation,
                              const SigningCallback& callback, const SignatureTexts& texts);
