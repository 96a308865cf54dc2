#pragma once

#include <string>
#include <utility>
#include <vector>

#include "certs/certificate.h"
#include "core/bytes.h"
#include "pades/sign.h"
#include "tests/support/test_support.h"

namespace pades_test {

// PdfBuilder writes small PDFs by hand with a correct classic cross-reference table.
class PdfBuilder {
 public:
  explicit PdfBuilder(std::string header = "%PDF-1.7\n") : text_(std::move(header)) {}
  void Object(int number, const std::string& body);
  // Finish appends the xref table and a trailer "<< /Size N /Root 1 0 R" + extra + " >>".
  std::string Finish(const std::string& trailerExtra = "", bool finalNewline = true, int size = -1);
  std::string& text() { return text_; }

 private:
  std::string text_;
  std::vector<std::pair<int, size_t>> offsets_;
};

// WithTrailer appends a classic section whose trailer names /Root 1 0 R.
inline std::string WithTrailer(const std::string& objects) {
  return objects + "xref\ntrailer\n<< /Root 1 0 R >>\nstartxref\n" + std::to_string(objects.size()) +
         "\n%%EOF\n";
}

// A plain document: catalog 1, page tree 2, pages from 3 on, each with a content stream.
std::string SimpleDocument(int pages, const std::string& catalogExtra = "",
                           const std::string& pageExtra = "");

// KeySigner signs with a PEM private key through libcrypto (RSA PKCS#1 v1.5, SHA-256).
class KeySigner {
 public:
  explicit KeySigner(const std::string& keyPem);
  ~KeySigner();
  KeySigner(const KeySigner&) = delete;
  KeySigner& operator=(const KeySigner&) = delete;
  Bytes Sign(const Bytes& data) const;
  SigningCallback Callback(const std::string& note = "firmado en prueba") const;

 private:
  void* key_ = nullptr;
};

// The test PKI, made once per test program: a CA and an RSA-2048 signer.
struct Identity {
  testing_support::TestIdentity id;
  ParsedCertificate certificate;
};
testing_support::TestPki& Pki();
const Identity& Signer();
const testing_support::TestIdentity& Authority();
// The signer's key, loaded once, and the fixed time every test signature carries.
const KeySigner& SignerKey();
inline constexpr const char* kSigningTime = "261206101500Z";

// Verdicts of the independent tools on a signed file.
struct Validation {
  int signatures = 0;       // "Signature #" lines of pdfsig
  int validSignatures = 0;  // "Signature is Valid." lines of pdfsig
  int qpdfStatus = -1;      // 0 clean, 2 errors, 3 warnings
  int mutoolSignatures = 0;  // signed fields that mutool sign -v verified
  int mutoolDigestErrors = 0;
  int cmsVerified = 0;      // ByteRanges whose CMS openssl verified over the two ranges
  int byteRanges = 0;
  std::string log;
};
Validation Validate(const std::string& path);
// ExpectValid checks that every tool accepts the file with exactly `signatures` signatures.
void ExpectValid(const std::string& path, int signatures);

}  // namespace pades_test
