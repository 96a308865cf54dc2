#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/bytes.h"

// The reader of CMS SignedData (RFC 5652) found in other people's files: signature
// containers of PDF signatures and time-stamp tokens. It is a bounds-checked cursor over
// untrusted bytes; it accepts BER's indefinite lengths and constructed strings, which some
// encoders write, and never reads outside the buffer whatever the input.

// BerItem is one element: its tag (as DerReadElement numbers it), its content and the whole
// encoding.
struct BerItem {
  uint32_t tag = 0;
  const uint8_t* content = nullptr;
  size_t contentLength = 0;
  const uint8_t* whole = nullptr;
  size_t wholeLength = 0;
  Bytes Content() const { return Bytes(content, content + contentLength); }
  Bytes Whole() const { return Bytes(whole, whole + wholeLength); }
};

// BerCursor walks the elements of one content range and moves forward only on success.
class BerCursor {
 public:
  BerCursor() = default;
  BerCursor(const uint8_t* data, size_t len) : data_(data), len_(len) {}
  bool Empty() const { return pos_ >= len_; }
  // Next reads any element; `contents` views its content. It returns false, moving nothing,
  // on a malformed header, a length past the range or nesting deeper than 64 levels.
  [[nodiscard]] bool Next(BerItem* item, BerCursor* contents = nullptr);
  // Expect reads the next element only when its tag is `tag`.
  [[nodiscard]] bool Expect(uint32_t tag, BerCursor* contents = nullptr, BerItem* item = nullptr);
  [[nodiscard]] bool PeekTag(uint32_t* tag) const;

 private:
  const uint8_t* data_ = nullptr;
  size_t len_ = 0;
  size_t pos_ = 0;
};

// Object identifiers as their DER content bytes.
namespace cms_oid {
extern const Bytes kData, kSignedData, kTstInfo;
extern const Bytes kContentType, kMessageDigest, kSigningTime;
extern const Bytes kSigningCertificate, kSigningCertificateV2, kSignatureTimeStampToken;
extern const Bytes kSha1, kSha256, kSha384, kSha512;
extern const Bytes kRsaEncryption, kSha1WithRsa, kSha256WithRsa, kSha384WithRsa, kSha512WithRsa;
}  // namespace cms_oid

// EssCertId is the signer-certificate reference of a signingCertificate(V2) attribute.
struct EssCertId {
  Bytes hashAlgorithm;  // OID; SHA-1 for the first version, SHA-256 when V2 leaves it out
  Bytes hash;
};

struct CmsSignerInfo {
  Bytes issuer;  // issuerAndSerialNumber: the whole issuer Name element
  Bytes serial;  // and the serial number's content bytes
  Bytes keyId;   // or subjectKeyIdentifier
  Bytes digestAlgorithm;
  bool hasSignedAttributes = false;
  Bytes signedAttributes;  // as a SET (tag 0x31): the bytes the signature covers
  Bytes signatureAlgorithm;
  Bytes signature;
  std::optional<Bytes> contentType;
  std::optional<Bytes> messageDigest;
  std::optional<EssCertId> signingCertificate;
  bool signingTime = false;
  std::string signingTimeText;         // as GeneralizedTime digits ("20261206101500Z"), when readable
  std::vector<Bytes> timeStampTokens;  // unsigned signature time-stamp tokens, whole ContentInfos
};

struct CmsSignedData {
  Bytes contentType;             // of the encapsulated content
  std::optional<Bytes> content;  // absent for detached signatures
  std::vector<Bytes> certificates;
  std::vector<CmsSignerInfo> signers;
  size_t encodedLength = 0;  // bytes the ContentInfo took; padding may follow it
};

// ParseCmsSignedData reads a ContentInfo holding SignedData from the start of `data`. It
// returns false, with `out` cleared, when that structure cannot be read; unknown attributes
// and certificate kinds are skipped.
[[nodiscard]] bool ParseCmsSignedData(const uint8_t* data, size_t len, CmsSignedData* out);
inline bool ParseCmsSignedData(const Bytes& data, CmsSignedData* out) {
  return ParseCmsSignedData(data.data(), data.size(), out);
}
