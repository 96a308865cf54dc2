#pragma once

#include <map>
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
  void Object(int number, const std::string& body, unsigned generation = 0);
  // Finish appends the xref table and a trailer "<< /Size N /Root 1 0 R" + extra + " >>".
  std::string Finish(const std::string& trailerExtra = "", bool finalNewline = true, int size = -1);
  std::string& text() { return text_; }

 private:
  std::string text_;
  std::vector<std::pair<int, size_t>> offsets_;
  std::map<int, unsigned> generations_;
};

// How ModernDocument lays out a file: which objects go into the object stream, and the form of
// its cross-reference.
struct ModernLayout {
  explicit ModernLayout(std::vector<int> inStream = {}) : compressed(std::move(inStream)) {}
  ModernLayout& Uncompressed() { return flate = false, *this; }
  ModernLayout& Predictor() { return predictor = true, *this; }
  ModernLayout& Hybrid() { return hybrid = true, *this; }
  ModernLayout& Generation(int number, int generation) { return generations[number] = generation, *this; }
  ModernLayout& StreamData(std::string data) { return objectStreamData = std::move(data), *this; }

  std::vector<int> compressed;  // object numbers kept in the object stream
  bool flate = true;            // the object and cross-reference streams are FlateDecode
  bool predictor = false;       // the cross-reference stream uses the PNG Up predictor
  bool hybrid = false;          // a classic table for the plain objects, /XRefStm for the rest
  std::map<int, int> generations;
  std::string objectStreamData;  // when set, the object stream's (deflated) data as it stands
};
// ModernDocument writes a PDF 1.5 file in the forms pdfTeX, pdf-lib and qpdf write: objects
// (numbered from 1, in order) partly inside one object stream, and a cross-reference stream.
std::string ModernDocument(const std::vector<std::string>& objects, const ModernLayout& layout);

// WithTrailer appends a classic section whose trailer names /Root 1 0 R.
inline std::string WithTrailer(const std::string& objects) {
  return objects + "xref\ntrailer\n<< /Root 1 0 R >>\nstartxref\n" + std::to_string(objects.size()) +
         "\n%%EOF\n";
}

// A plain document: catalog 1, page tree 2, pages from 3 on, each with a content stream.
std::string SimpleDocument(int pages, const std::string& catalogExtra = "",
                           const std::string& pageExtra = "");

// Shapes of documents that real producers write and that once were refused or signed badly.
// OnePassDocument is what one-pass producers write: one classic table of 3 × pages + 3 entries
// (each page's content stream followed by its /Length as an object of its own) and a
// startxref that names the keyword "xref".
std::string OnePassDocument(int pages);
// DeepTreeDocument has one page under a chain of `levels` page-tree nodes.
std::string DeepTreeDocument(int levels);
// UndecoratedFormDocument is a form as ConTeXt writes it: /NeedAppearances true, no /DA or /DR
// anywhere, and a check box that lies over a drawing of a clock face.
std::string UndecoratedFormDocument();

// ExpectOnlyStampChanged renders page 1 of both files with pdftoppm and with mutool draw and
// checks that the signed copy differs from the input only inside the rectangle of the widget
// of `field`, and does differ there.
void ExpectOnlyStampChanged(const std::string& input, const std::string& signedCopy,
                            const std::string& field = "Signature1");

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
  int signatures = 0;        // "Signature #" lines of pdfsig
  int validSignatures = 0;   // "Signature is Valid." lines of pdfsig
  int qpdfStatus = -1;       // 0 clean, 2 errors, 3 warnings
  int mutoolSignatures = 0;  // signed fields that mutool sign -v verified
  int mutoolDigestErrors = 0;
  int cmsVerified = 0;  // ByteRanges whose CMS openssl verified over the two ranges
  int byteRanges = 0;
  std::string log;
};
Validation Validate(const std::string& path);
// ExpectValid checks that every tool accepts the file with exactly `signatures` signatures.
void ExpectValid(const std::string& path, int signatures);

}  // namespace pades_test
