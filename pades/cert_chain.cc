#include "pades/cert_chain.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "core/calendar.h"

#include "core/der.h"
#include "core/text.h"
#include "pades/cms_reader.h"
#include "pades/digest.h"

namespace {

Bytes Whole(const DerReader& within, const DerElement& e) {
  return Bytes(within.data() + e.headerStart, within.data() + e.end);
}

// Uris collects the uniformResourceIdentifier ([6]) entries of a GeneralNames content.
void Uris(DerReader names, std::vector<std::string>* out) {
  DerElement name;
  DerReader value;
  while (!names.Empty() && names.Next(&name, &value))
    if (name.tag == 0x86) out->emplace_back(value.data(), value.data() + value.size());
}

// ReadAccess reads authorityInfoAccess: each AccessDescription names a method and a location.
void ReadAccess(DerReader value, CertificateDetails* out) {
  static const Bytes kOcsp = {0x2B, 0x06, 0x01, 0x05, 0x05, 0x07, 0x30, 0x01};
  static const Bytes kCaIssuers = {0x2B, 0x06, 0x01, 0x05, 0x05, 0x07, 0x30, 0x02};
  DerReader list, description, method;
  DerElement location;
  DerReader uri;
  if (!value.Expect(0x30, &list)) return;
  while (!list.Empty() && list.Expect(0x30, &description)) {
    if (!description.Expect(0x06, &method) || !description.Next(&location, &uri) || location.tag != 0x86)
      continue;
    std::string url(uri.data(), uri.data() + uri.size());
    if (method.ToBytes() == kOcsp) out->ocspUrls.push_back(std::move(url));
    if (method.ToBytes() == kCaIssuers) out->caIssuerUrls.push_back(std::move(url));
  }
}

// ReadDistributionPoints keeps the full names of points that hold the whole list (no reasons,
// no other issuer): a list limited to some reasons would not answer for the others.
void ReadDistributionPoints(DerReader value, CertificateDetails* out) {
  DerReader list, point;
  if (!value.Expect(0x30, &list)) return;
  while (!list.Empty() && list.Expect(0x30, &point)) {
    DerElement field;
    DerReader content;
    std::vector<std::string> names;
    bool partial = false;
    while (!point.Empty() && point.Next(&field, &content)) {
      DerReader fullName;
      if (field.tag == 0xA0 && content.Expect(0xA0, &fullName)) Uris(fullName, &names);
      if (field.tag == 0x81 || field.tag == 0xA2) partial = true;
    }
    if (!partial) out->crlUrls.insert(out->crlUrls.end(), names.begin(), names.end());
  }
}

void ReadExtensions(DerReader list, CertificateDetails* out) {
  DerReader extension;
  while (!list.Empty() && list.Expect(0x30, &extension)) {
    DerReader oid, flag, value;
    if (!extension.Expect(0x06, &oid)) continue;
    (void)extension.Expect(0x01, &flag);
    if (!extension.Expect(0x04, &value)) continue;
    const Bytes id = oid.ToBytes();
    if (id == Bytes{0x55, 0x1D, 0x0F}) {  // keyUsage
      DerReader bits;
      out->hasKeyUsage = true;
      if (value.Expect(0x03, &bits) && bits.size() >= 2) {
        out->digitalSignature = (bits.data()[1] & 0xC0) != 0;
        out->keyCertSign = (bits.data()[1] & 0x04) != 0;
        out->crlSign = (bits.data()[1] & 0x02) != 0;
      }
    } else if (id == Bytes{0x55, 0x1D, 0x13}) {  // basicConstraints
      DerReader constraints, ca;
      if (value.Expect(0x30, &constraints) && constraints.Expect(0x01, &ca) && ca.size() == 1)
        out->basicConstraintsCa = ca.data()[0] != 0;
    } else if (id == Bytes{0x55, 0x1D, 0x25}) {  // extKeyUsage
      DerReader purposes, purpose;
      if (value.Expect(0x30, &purposes))
        while (!purposes.Empty() && purposes.Expect(0x06, &purpose))
          out->extendedKeyUsages.push_back(purpose.ToBytes());
    } else if (id == Bytes{0x55, 0x1D, 0x0E}) {  // subjectKeyIdentifier
      DerReader keyId;
      if (value.Expect(0x04, &keyId)) out->subjectKeyId = keyId.ToBytes();
    } else if (id == Bytes{0x55, 0x1D, 0x23}) {  // authorityKeyIdentifier
      DerReader identifier, keyId;
      if (value.Expect(0x30, &identifier) && identifier.Expect(0x80, &keyId))
        out->authorityKeyId = keyId.ToBytes();
    } else if (id == Bytes{0x2B, 0x06, 0x01, 0x05, 0x05, 0x07, 0x01, 0x01}) {
      ReadAccess(value, out);
    } else if (id == Bytes{0x55, 0x1D, 0x1F}) {  // cRLDistributionPoints
      ReadDistributionPoints(value, out);
    } else if (id == Bytes{0x2B, 0x06, 0x01, 0x05, 0x05, 0x07, 0x30, 0x01, 0x05}) {
      out->ocspNoCheck = true;
    }
  }
}

// The 32-bit fields wrap past 2038: a negative notAfter is taken as far in the future.
int64_t NotAfter(const ParsedCertificate& cert) {
  return cert.notAfter < 0 ? int64_t(cert.notAfter) + (int64_t(1) << 32) : cert.notAfter;
}

std::string Day(int64_t seconds) {
  const std::tm tm = UtcCalendar(std::time_t(seconds));
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
  return text;
}

// ValidityFault says why a certificate was not valid at `at`, or nothing when it was.
std::string ValidityFault(const ParsedCertificate& cert, int64_t at) {
  if (at > NotAfter(cert))
    return "el certificado de " + HolderName(cert) + " caduco el " + Day(NotAfter(cert));
  if (at < int64_t(cert.notBefore))
    return "el certificado de " + HolderName(cert) + " aun no era valido (lo es desde el " +
           Day(cert.notBefore) + ")";
  return "";
}

// The purposes a signer's extended key usage may name (RFC 5280 4.2.1.12, RFC 9336): e-mail
// protection, document signing, any purpose, and the two document-signing purposes in wide use.
bool AllowsDocumentSigning(const std::vector<Bytes>& usages) {
  static const Bytes kAllowed[] = {
      {0x2B, 0x06, 0x01, 0x05, 0x05, 0x07, 0x03, 0x04},              // emailProtection
      {0x2B, 0x06, 0x01, 0x05, 0x05, 0x07, 0x03, 0x24},              // documentSigning
      {0x55, 0x1D, 0x25, 0x00},                                      // anyExtendedKeyUsage
      {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x2F, 0x01, 0x01, 0x05},        // 1.2.840.113583.1.1.5
      {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x0A, 0x03, 0x0C},  // 1.3.6.1.4.1.311.10.3.12
  };
  if (usages.empty()) return true;
  for (const Bytes& usage : usages)
    for (const Bytes& allowed : kAllowed)
      if (usage == allowed) return true;
  return false;
}

}  // namespace

bool ReadCertificateDetails(const Bytes& der, CertificateDetails* out) {
  *out = CertificateDetails();
  CertificateDetails d;
  if (!ParseCertificateExact(der, &d.parsed)) return false;
  DerReader input(der.data(), der.size()), cert, tbs, algorithm, oid, bits, skipped;
  DerElement element;
  if (!input.Expect(0x30, &cert) || !cert.Expect(0x30, &tbs, &element)) return false;
  d.tbs = Whole(cert, element);
  if (!cert.Expect(0x30, &algorithm) || !algorithm.Expect(0x06, &oid) || !cert.Expect(0x03, &bits) ||
      bits.size() < 1)
    return false;
  d.signatureAlgorithm = oid.ToBytes();
  d.signature.assign(bits.data() + 1, bits.data() + bits.size());
  (void)tbs.Expect(0xA0, &skipped);
  DerReader serial;
  if (!tbs.Expect(0x02, &serial) || !tbs.Expect(0x30, &skipped)) return false;
  d.serial = serial.ToBytes();
  if (!tbs.Expect(0x30, &skipped, &element)) return false;
  d.issuer = Whole(tbs, element);
  if (!tbs.Expect(0x30, &skipped) || !tbs.Expect(0x30, &skipped, &element)) return false;
  d.subject = Whole(tbs, element);
  DerReader spki, keyBits;
  if (!tbs.Expect(0x30, &spki) || !spki.Expect(0x30, &skipped) || !spki.Expect(0x03, &keyBits) ||
      keyBits.size() < 1)
    return false;
  d.publicKey.assign(keyBits.data() + 1, keyBits.data() + keyBits.size());
  DerReader contents;
  while (!tbs.Empty() && tbs.Next(&element, &contents)) {
    DerReader list;
    if (element.tag == 0xA3 && contents.Expect(0x30, &list)) ReadExtensions(list, &d);
  }
  d.key = ExtractRsaPublicKey(der);
  *out = std::move(d);
  return true;
}

bool IsSignedBy(const CertificateDetails& cert, const CertificateDetails& issuer) {
  return cert.issuer == issuer.subject &&
         VerifiesWith(issuer, cert.signatureAlgorithm, cert.tbs, cert.signature);
}

bool VerifiesWith(const CertificateDetails& signer, const Bytes& algorithm, const Bytes& signedBytes,
                  const Bytes& signature) {
  const HashKind kind = HashOfSignatureOid(algorithm, {});
  if (!signer.key || kind == HashKind::Unsupported) return false;
  return VerifyRsaDigest(*signer.key, kind, HashOf(kind, signedBytes), signature);
}

std::string SerialNumberOf(const ParsedCertificate& cert) {
  const std::string& name = cert.subjectName;
  for (size_t at = name.find("SERIALNUMBER="); at != std::string::npos;
       at = name.find("SERIALNUMBER=", at + 1)) {
    if (at != 0 && name.compare(at - 2, 2, ", ") != 0) continue;
    const size_t start = at + 13, end = name.find(", ", start);
    return name.substr(start, end == std::string::npos ? std::string::npos : end - start);
  }
  return "";
}

TrustResult BuildChain(const CertificateDetails& leaf, const std::vector<Bytes>& pool,
                       const std::vector<Bytes>& anchors, int64_t atTime, const Bytes& requiredEku) {
  TrustResult out;
  std::vector<CertificateDetails> anchorList, poolList;
  for (const Bytes& der : anchors)
    if (CertificateDetails d; ReadCertificateDetails(der, &d)) anchorList.push_back(std::move(d));
  for (const Bytes& der : pool)
    if (CertificateDetails d; ReadCertificateDetails(der, &d)) poolList.push_back(std::move(d));

  std::vector<const CertificateDetails*> chain = {&leaf};
  bool anchored = false;
  for (int depth = 0; depth < 12 && !anchored; ++depth) {
    const CertificateDetails& current = *chain.back();
    out.chain.push_back(HolderName(current.parsed));
    // An anchor given as the certificate itself (a self-signed CA in the signature) counts.
    for (const CertificateDetails& anchor : anchorList)
      if (anchor.parsed.der == current.parsed.der) anchored = true;
    if (anchored) break;
    const CertificateDetails* next = nullptr;
    for (const CertificateDetails& anchor : anchorList)
      if (!next && IsSignedBy(current, anchor)) next = &anchor, anchored = true;
    for (const CertificateDetails& candidate : poolList) {
      if (next || candidate.parsed.der == current.parsed.der) continue;
      bool used = false;
      for (const CertificateDetails* c : chain) used = used || c->parsed.der == candidate.parsed.der;
      if (!used && IsSignedBy(current, candidate)) next = &candidate;
    }
    if (!next) break;
    chain.push_back(next);
    if (anchored) out.chain.push_back(HolderName(next->parsed));
  }
  if (!anchored) {
    out.status = TrustStatus::UnknownIssuer;
    out.detail = "emisor no confiable (" + IssuerShortName(chain.back()->parsed) + ")";
    return out;
  }
  for (const CertificateDetails* cert : chain) {
    if (std::string fault = ValidityFault(cert->parsed, atTime); !fault.empty()) {
      out.status = TrustStatus::Expired;
      out.detail = std::move(fault);
      return out;
    }
  }
  for (size_t i = 1; i < chain.size(); ++i) {
    if (!chain[i]->basicConstraintsCa || (chain[i]->hasKeyUsage && !chain[i]->keyCertSign)) {
      out.status = TrustStatus::IssuerNotCa;
      out.detail = HolderName(chain[i]->parsed) + " no es una autoridad de certificacion";
      return out;
    }
  }
  const bool ekuOk = requiredEku.empty()
                         ? AllowsDocumentSigning(leaf.extendedKeyUsages)
                         : std::find(leaf.extendedKeyUsages.begin(), leaf.extendedKeyUsages.end(),
                                     requiredEku) != leaf.extendedKeyUsages.end();
  if (leaf.hasKeyUsage && !leaf.digitalSignature) {
    out.status = TrustStatus::NotForSigning;
    out.detail = "el uso de clave del certificado no permite firmar";
    return out;
  }
  if (!ekuOk) {
    out.status = TrustStatus::NotForSigning;
    out.detail = "el uso extendido de clave del certificado no incluye la firma de documentos";
    return out;
  }
  out.status = TrustStatus::Trusted;
  return out;
}

std::vector<Bytes> ReadPemCertificates(const std::string& text) {
  std::vector<Bytes> out;
  const std::string begin = "-----BEGIN CERTIFICATE-----", end = "-----END CERTIFICATE-----";
  for (size_t at = text.find(begin); at != std::string::npos; at = text.find(begin, at + 1)) {
    const size_t start = at + begin.size(), stop = text.find(end, start);
    if (stop == std::string::npos) break;
    Bytes der;
    if (Base64Decode(std::string_view(text).substr(start, stop - start), &der)) out.push_back(std::move(der));
  }
  return out;
}
