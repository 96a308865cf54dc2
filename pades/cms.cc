#include "pades/cms.h"

#include <algorithm>

#include "core/der.h"
#include "core/sha256.h"
#include "core/text.h"

namespace {

constexpr uint8_t kSequence = 0x30;
constexpr uint8_t kSet = 0x31;
constexpr uint8_t kInteger = 0x02;
constexpr uint8_t kBitString = 0x03;
constexpr uint8_t kOctetString = 0x04;
constexpr uint8_t kNull = 0x05;
constexpr uint8_t kOid = 0x06;
constexpr uint8_t kContext0 = 0xA0;
constexpr uint8_t kContext1 = 0xA1;
constexpr uint8_t kContext4 = 0xA4;

const Bytes kIdData = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x01};
const Bytes kIdSignedData = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};
const Bytes kContentType = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x03};
const Bytes kMessageDigest = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x04};
const Bytes kSigningCertificateV2 = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x10, 0x02, 0x2F};
const Bytes kSha256 = {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01};
const Bytes kSignatureTimeStampToken = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x10, 0x02, 0x0E};
const Bytes kRsaEncryption = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01};

Bytes Attribute(const Bytes& type, const Bytes& value) {
  Bytes oid = DerTlv(kOid, type);
  Bytes values = DerTlv(kSet, value);
  return DerTlv(kSequence, {&oid, &values});
}

// The sha256 AlgorithmIdentifier carries no parameters (RFC 5754, 2).
Bytes Sha256Algorithm() {
  return DerTlv(kSequence, DerTlv(kOid, kSha256));
}

}  // namespace

std::optional<SignerKeyInfo> ExtractSignerKeyInfo(const Bytes& certificate) {
  if (certificate.size() < 64) return std::nullopt;
  DerReader outer(certificate.data(), certificate.size());
  DerReader cert, tbs;
  if (!outer.Expect(kSequence, &cert) || !cert.Expect(kSequence, &tbs)) return std::nullopt;

  auto whole = [](const DerReader& within, const DerElement& e) {
    return Bytes(within.data() + e.headerStart, within.data() + e.end);
  };
  SignerKeyInfo info;
  DerElement element;
  DerReader ignored;
  if (!tbs.Next(&element, &ignored)) return std::nullopt;
  if (element.tag == kContext0 && !tbs.Next(&element, &ignored)) return std::nullopt;
  if (element.tag != kInteger) return std::nullopt;
  info.serial = whole(tbs, element);
  if (!tbs.Expect(kSequence, &ignored)) return std::nullopt;            // signature algorithm
  if (!tbs.Expect(kSequence, &ignored, &element)) return std::nullopt;  // issuer
  info.issuer = whole(tbs, element);
  DerReader spki;
  if (!tbs.Expect(kSequence, &ignored) || !tbs.Expect(kSequence, &ignored) || !tbs.Expect(kSequence, &spki))
    return std::nullopt;  // validity, subject, subjectPublicKeyInfo

  DerReader bits;
  if (!spki.Expect(kSequence, &ignored) || !spki.Expect(kBitString, &bits) || bits.size() < 4)
    return std::nullopt;
  // Past the unused-bits byte: RSAPublicKey ::= SEQUENCE { modulus INTEGER, publicExponent INTEGER }.
  DerReader key(bits.data() + 1, bits.size() - 1), rsa, modulus;
  if (!key.Expect(kSequence, &rsa) || !rsa.Expect(kInteger, &modulus) || modulus.size() == 0)
    return std::nullopt;
  info.modulusLength = modulus.size() - (modulus.data()[0] == 0x00 ? 1 : 0);
  if (info.issuer.empty() || info.serial.empty() || info.modulusLength == 0) return std::nullopt;
  return info;
}

Bytes BuildSignedAttributes(const Bytes& digest, const Bytes& certificate, const SignerKeyInfo& key) {
  Sha256Digest certHash = Sha256(certificate.data(), certificate.size());
  Bytes hash = DerTlv(kOctetString, Bytes(certHash.begin(), certHash.end()));
  Bytes generalNames = DerTlv(kSequence, DerTlv(kContext4, key.issuer));
  Bytes issuerSerial = DerTlv(kSequence, {&generalNames, &key.serial});
  Bytes essCertId = DerTlv(kSequence, {&hash, &issuerSerial});  // hashAlgorithm: its default, SHA-256
  Bytes signingCertificate = DerTlv(kSequence, DerTlv(kSequence, essCertId));

  Bytes attributes[3] = {
      Attribute(kContentType, DerTlv(kOid, kIdData)),
      Attribute(kMessageDigest, DerTlv(kOctetString, digest)),
      Attribute(kSigningCertificateV2, signingCertificate),
  };
  // DER orders SET OF by the encodings as unsigned byte strings (X.690, 11.6).
  std::sort(std::begin(attributes), std::end(attributes));
  return DerTlv(kSet, {&attributes[0], &attributes[1], &attributes[2]});
}

Bytes SignatureTimeStampAttributes(const Bytes& token) {
  return DerTlv(kSet, Attribute(kSignatureTimeStampToken, token));
}

Bytes BuildSignedData(const Bytes& certificate, const SignerKeyInfo& key, const Bytes& signedAttributes,
                      const Bytes& signature, const Bytes* unsignedAttributes) {
  Bytes version = DerTlv(kInteger, Bytes{1});
  Bytes digestAlgorithm = Sha256Algorithm();

  Bytes sid = DerTlv(kSequence, {&key.issuer, &key.serial});
  // In the SignerInfo the attributes are [0] IMPLICIT; the signature covers them as a SET.
  Bytes attrs = signedAttributes;
  if (!attrs.empty()) attrs[0] = kContext0;
  Bytes oid = DerTlv(kOid, kRsaEncryption);
  Bytes null = DerTlv(kNull, Bytes{});
  Bytes signatureAlgorithm = DerTlv(kSequence, {&oid, &null});
  Bytes signatureValue = DerTlv(kOctetString, signature);
  Bytes unsignedAttrs = unsignedAttributes ? *unsignedAttributes : Bytes{};
  if (!unsignedAttrs.empty()) unsignedAttrs[0] = kContext1;
  Bytes signerInfo = DerTlv(kSequence, {&version, &sid, &digestAlgorithm, &attrs, &signatureAlgorithm,
                                        &signatureValue, &unsignedAttrs});

  Bytes digestAlgorithms = DerTlv(kSet, digestAlgorithm);
  Bytes encapContent = DerTlv(kSequence, DerTlv(kOid, kIdData));
  Bytes certificates = DerTlv(kContext0, certificate);
  Bytes signerInfos = DerTlv(kSet, signerInfo);
  Bytes signedData =
      DerTlv(kSequence, {&version, &digestAlgorithms, &encapContent, &certificates, &signerInfos});

  Bytes contentType = DerTlv(kOid, kIdSignedData);
  Bytes content = DerTlv(kContext0, signedData);
  return DerTlv(kSequence, {&contentType, &content});
}
