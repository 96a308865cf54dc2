#include "pades/cms_reader.h"

namespace cms_oid {
const Bytes kData = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x01};
const Bytes kSignedData = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};
const Bytes kTstInfo = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x10, 0x01, 0x04};
const Bytes kContentType = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x03};
const Bytes kMessageDigest = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x04};
const Bytes kSigningTime = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x05};
const Bytes kSigningCertificate = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x10, 0x02, 0x0C};
const Bytes kSigningCertificateV2 = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x10, 0x02, 0x2F};
const Bytes kSignatureTimeStampToken = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x10, 0x02, 0x0E};
const Bytes kSha1 = {0x2B, 0x0E, 0x03, 0x02, 0x1A};
const Bytes kSha256 = {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01};
const Bytes kSha384 = {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x02};
const Bytes kSha512 = {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x03};
const Bytes kRsaEncryption = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01};
const Bytes kSha1WithRsa = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x05};
const Bytes kSha256WithRsa = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x0B};
const Bytes kSha384WithRsa = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x0C};
const Bytes kSha512WithRsa = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x0D};
}  // namespace cms_oid

namespace {

constexpr int kMaxDepth = 64;

struct Header {
  uint32_t tag = 0;
  size_t contentStart = 0;
  size_t contentLength = 0;
  size_t end = 0;
};

// ReadHeader reads the element at `pos`; an indefinite length is resolved by walking its
// children up to the end-of-contents marker.
bool ReadHeader(const uint8_t* buf, size_t len, size_t pos, int depth, Header* out) {
  if (!buf || pos >= len || depth > kMaxDepth) return false;
  const bool constructed = buf[pos] & 0x20;
  uint32_t tag = buf[pos++];
  if ((tag & 0x1F) == 0x1F) {
    for (int count = 0;;) {
      if (pos >= len || ++count > 4) return false;
      const uint8_t b = buf[pos++];
      tag = (tag << 8) | b;
      if (!(b & 0x80)) break;
    }
  }
  if (pos >= len) return false;
  const uint8_t first = buf[pos++];
  out->tag = tag;
  out->contentStart = pos;
  if (first == 0x80) {
    if (!constructed) return false;
    size_t at = pos;
    for (;;) {
      if (len - at >= 2 && buf[at] == 0 && buf[at + 1] == 0) {
        out->contentLength = at - pos;
        out->end = at + 2;
        return true;
      }
      Header child;
      if (!ReadHeader(buf, len, at, depth + 1, &child)) return false;
      at = child.end;
    }
  }
  size_t length = first;
  if (first & 0x80) {
    const size_t count = first & 0x7F;
    if (count > 4 || len - pos < count) return false;
    length = 0;
    for (size_t i = 0; i < count; ++i) length = (length << 8) | buf[pos++];
  }
  if (length > len - pos) return false;
  out->contentStart = pos;
  out->contentLength = length;
  out->end = pos + length;
  return true;
}

// OctetString gathers a primitive or constructed (BER) OCTET STRING.
bool OctetString(const BerItem& item, Bytes* out, int depth = 0) {
  if (item.tag == 0x04) {
    *out = item.Content();
    return true;
  }
  if (item.tag != 0x24 || depth > 8) return false;
  out->clear();
  BerCursor parts(item.content, item.contentLength);
  BerItem part;
  while (!parts.Empty()) {
    Bytes piece;
    if (!parts.Next(&part) || !OctetString(part, &piece, depth + 1)) return false;
    Append(out, piece);
  }
  return true;
}

// AlgorithmOid reads an AlgorithmIdentifier's OID and skips its parameters.
bool AlgorithmOid(BerCursor* in, Bytes* oid) {
  BerCursor algorithm;
  BerItem item;
  if (!in->Expect(0x30, &algorithm) || !algorithm.Expect(0x06, nullptr, &item)) return false;
  *oid = item.Content();
  return true;
}

// EssCertIdOf reads the first certificate reference of signingCertificate(V2).
bool EssCertIdOf(BerCursor value, bool v2, EssCertId* out) {
  BerCursor outer, certs, id;
  if (!value.Expect(0x30, &outer) || !outer.Expect(0x30, &certs) || !certs.Expect(0x30, &id)) return false;
  out->hashAlgorithm = v2 ? cms_oid::kSha256 : cms_oid::kSha1;
  uint32_t tag = 0;
  if (v2 && id.PeekTag(&tag) && tag == 0x30 && !AlgorithmOid(&id, &out->hashAlgorithm)) return false;
  BerItem hash;
  if (!id.Expect(0x04, nullptr, &hash)) return false;
  out->hash = hash.Content();
  return true;
}

// Attributes reads a SET OF Attribute into the signer's fields.
bool Attributes(BerCursor set, bool isSigned, CmsSignerInfo* signer) {
  BerCursor attribute, values;
  BerItem oid, value;
  while (!set.Empty()) {
    if (!set.Expect(0x30, &attribute) || !attribute.Expect(0x06, nullptr, &oid) ||
        !attribute.Expect(0x31, &values))
      return false;
    const Bytes type = oid.Content();
    if (isSigned && type == cms_oid::kContentType) {
      if (!values.Expect(0x06, nullptr, &value)) return false;
      signer->contentType = value.Content();
    } else if (isSigned && type == cms_oid::kMessageDigest) {
      Bytes digest;
      if (!values.Next(&value) || !OctetString(value, &digest)) return false;
      signer->messageDigest = digest;
    } else if (isSigned && (type == cms_oid::kSigningCertificateV2 || type == cms_oid::kSigningCertificate)) {
      EssCertId id;
      if (!EssCertIdOf(values, type == cms_oid::kSigningCertificateV2, &id)) return false;
      // The second version wins when a signer carries both.
      if (!signer->signingCertificate || type == cms_oid::kSigningCertificateV2)
        signer->signingCertificate = id;
    } else if (isSigned && type == cms_oid::kSigningTime) {
      signer->signingTime = true;
      if (values.Next(&value) && (value.tag == 0x17 || value.tag == 0x18)) {
        const Bytes text = value.Content();
        signer->signingTimeText.assign(text.begin(), text.end());
        if (value.tag == 0x17 && text.size() >= 2)  // UTCTime: years 50 to 99 are 19xx (RFC 5280 4.1.2.5.1)
          signer->signingTimeText.insert(0, text[0] >= '5' ? "19" : "20");
      }
    } else if (!isSigned && type == cms_oid::kSignatureTimeStampToken) {
      while (!values.Empty()) {
        if (!values.Next(&value)) return false;
        signer->timeStampTokens.push_back(value.Whole());
      }
    }
  }
  return true;
}

bool SignerInfoOf(BerCursor in, CmsSignerInfo* out) {
  BerItem item;
  BerCursor sid;
  if (!in.Expect(0x02)) return false;  // version
  uint32_t tag = 0;
  if (!in.PeekTag(&tag)) return false;
  if (tag == 0x30) {
    BerItem issuer, serial;
    if (!in.Expect(0x30, &sid) || !sid.Next(&issuer) || issuer.tag != 0x30 ||
        !sid.Expect(0x02, nullptr, &serial))
      return false;
    out->issuer = issuer.Whole();
    out->serial = serial.Content();
  } else if (tag == 0x80) {
    if (!in.Expect(0x80, nullptr, &item)) return false;
    out->keyId = item.Content();
  } else {
    return false;
  }
  if (!AlgorithmOid(&in, &out->digestAlgorithm)) return false;
  BerCursor attributes;
  if (in.PeekTag(&tag) && tag == 0xA0) {
    if (!in.Expect(0xA0, &attributes, &item)) return false;
    // The signature covers the attributes with their universal SET tag.
    out->hasSignedAttributes = true;
    out->signedAttributes = item.Whole();
    out->signedAttributes[0] = 0x31;
    if (!Attributes(attributes, true, out)) return false;
  }
  if (!AlgorithmOid(&in, &out->signatureAlgorithm)) return false;
  if (!in.Next(&item) || !OctetString(item, &out->signature)) return false;
  if (in.PeekTag(&tag) && tag == 0xA1) {
    if (!in.Expect(0xA1, &attributes) || !Attributes(attributes, false, out)) return false;
  }
  return true;
}

}  // namespace

bool BerCursor::Next(BerItem* item, BerCursor* contents) {
  Header h;
  if (!ReadHeader(data_, len_, pos_, 0, &h)) return false;
  if (item) {
    item->tag = h.tag;
    item->content = data_ + h.contentStart;
    item->contentLength = h.contentLength;
    item->whole = data_ + pos_;
    item->wholeLength = h.end - pos_;
  }
  if (contents) *contents = BerCursor(data_ + h.contentStart, h.contentLength);
  pos_ = h.end;
  return true;
}

bool BerCursor::PeekTag(uint32_t* tag) const {
  Header h;
  if (!ReadHeader(data_, len_, pos_, 0, &h)) return false;
  *tag = h.tag;
  return true;
}

bool BerCursor::Expect(uint32_t tag, BerCursor* contents, BerItem* item) {
  uint32_t next = 0;
  if (!PeekTag(&next) || next != tag) return false;
  return Next(item, contents);
}

bool ParseCmsSignedData(const uint8_t* data, size_t len, CmsSignedData* out) {
  *out = CmsSignedData();
  CmsSignedData cms;
  BerCursor input(data, len), info, wrapper, signedData, set, encap;
  BerItem item;
  if (!input.Expect(0x30, &info, &item)) return false;
  cms.encodedLength = item.wholeLength;
  if (!info.Expect(0x06, nullptr, &item) || item.Content() != cms_oid::kSignedData) return false;
  if (!info.Expect(0xA0, &wrapper) || !wrapper.Expect(0x30, &signedData)) return false;
  if (!signedData.Expect(0x02) || !signedData.Expect(0x31)) return false;  // version, digest algorithms
  if (!signedData.Expect(0x30, &encap) || !encap.Expect(0x06, nullptr, &item)) return false;
  cms.contentType = item.Content();
  BerCursor explicitContent;
  if (encap.Expect(0xA0, &explicitContent)) {
    Bytes content;
    if (!explicitContent.Next(&item) || !OctetString(item, &content)) return false;
    cms.content = std::move(content);
  }
  uint32_t tag = 0;
  if (signedData.PeekTag(&tag) && tag == 0xA0) {
    if (!signedData.Expect(0xA0, &set)) return false;
    while (!set.Empty()) {
      if (!set.Next(&item)) return false;
      if (item.tag == 0x30) cms.certificates.push_back(item.Whole());  // other kinds are not used
    }
  }
  if (signedData.PeekTag(&tag) && tag == 0xA1 && !signedData.Expect(0xA1)) return false;  // CRLs
  if (!signedData.Expect(0x31, &set)) return false;
  BerCursor signer;
  while (!set.Empty()) {
    CmsSignerInfo parsed;
    if (!set.Expect(0x30, &signer) || !SignerInfoOf(signer, &parsed)) return false;
    cms.signers.push_back(std::move(parsed));
  }
  if (cms.signers.empty()) return false;
  *out = std::move(cms);
  return true;
}
