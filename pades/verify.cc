#include "pades/verify.h"

#include <cstdio>
#include <ctime>

#include "core/calendar.h"
#include "pades/file_io.h"
#include "pades/pdf_scan.h"
#include "pades/tsa.h"

namespace {

int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
}

bool Digits(const std::string& text, size_t at, size_t count, int* out) {
  if (at + count > text.size()) return false;
  int v = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    v = v * 10 + (text[i] - '0');
  }
  *out = v;
  return true;
}

// HashRanges hashes the two signed ranges of the file in one pass of 1 MiB reads.
bool HashRanges(const InputFile& file, const std::vector<int64_t>& range, HashKind kind, Bytes* out) {
  Hasher hasher(kind);
  std::string buffer(size_t(1) << 20, '\0');
  for (int i = 0; i < 2; ++i) {
    uint64_t offset = uint64_t(range[2 * i]), left = uint64_t(range[2 * i + 1]);
    while (left) {
      const size_t want = size_t(std::min<uint64_t>(left, buffer.size()));
      size_t got = 0;
      if (!file.ReadAt(offset, buffer.data(), want, &got) || got != want) return false;
      hasher.Update(buffer.data(), got);
      offset += got;
      left -= got;
    }
  }
  *out = hasher.Final();
  return true;
}

const char* ByteRangeText(ByteRangeFault fault) {
  switch (fault) {
    case ByteRangeFault::Malformed: return "el /ByteRange no tiene cuatro numeros validos";
    case ByteRangeFault::NotFromStart: return "el /ByteRange no empieza en el byte 0";
    case ByteRangeFault::Outside: return "el /ByteRange pasa del final del fichero (fichero truncado)";
    case ByteRangeFault::NotTheHole: return "el hueco del /ByteRange no es exactamente el /Contents";
    case ByteRangeFault::None: break;
  }
  return "";
}

SignatureReport CheckOne(PdfScan* scan, const PdfSignature& signature, const std::vector<Bytes>& anchors) {
  SignatureReport report;
  report.fieldName = signature.fieldName;
  report.subFilter = signature.subFilter;
  int64_t signedAt = int64_t(std::time(nullptr));
  if (ParsePdfDate(signature.signingTime, &signedAt))
    report.signingTime = HumanUtc(signedAt);
  else
    report.signingTime = signature.signingTime;
  report.profile = signature.subFilter == "/ETSI.CAdES.detached" ? "CAdES sin atributos PAdES"
                   : signature.subFilter.empty()                 ? "desconocido"
                                                                 : signature.subFilter.substr(1);
  report.trust.detail = "sin comprobar";
  report.integrity = Integrity::Broken;
  if (!signature.error.empty()) {
    report.integrityDetail = signature.error;
    return report;
  }
  if (ByteRangeFault fault = CheckByteRange(signature, scan->length()); fault != ByteRangeFault::None) {
    report.integrityDetail = ByteRangeText(fault);
    return report;
  }
  CmsSignedData cms;
  if (!ParseCmsSignedData(signature.contents, &cms) || cms.contentType != cms_oid::kData || cms.content) {
    report.integrityDetail = "el /Contents no es un CMS SignedData separado legible";
    return report;
  }
  const CmsSignerInfo& signer = cms.signers[0];
  if (CertificateDetails cert;
      !cms.certificates.empty() && ReadCertificateDetails(cms.certificates[0], &cert)) {
    report.signerName = HolderName(cert.parsed);  // replaced by the signer's own below
  }
  report.coverage = ClassifyLaterRevisions(scan, signature.SignedEnd());

  const HashKind kind = HashOfDigestOid(signer.digestAlgorithm);
  SignerCheck check;
  Bytes digest;
  if (kind == HashKind::Unsupported) {
    check.status = Integrity::Unsupported;
    check.detail = "algoritmo no soportado (resumen)";
  } else if (!HashRanges(scan->file(), signature.byteRange, kind, &digest)) {
    check.detail = "no se pudieron leer los rangos firmados";
  } else {
    check = CheckSigner(cms, digest);
  }
  if (check.certificateFound) {
    report.signerName = HolderName(check.certificate.parsed);
    report.signerSerial = SerialNumberOf(check.certificate.parsed);
  }
  report.integrity = check.status;
  report.integrityDetail = check.detail;
  TimestampReport& stamp = report.timestamp;
  stamp.present = !signer.timeStampTokens.empty();
  if (stamp.present) {
    const TokenCheck token = CheckTimeStampToken(signer.timeStampTokens[0], signer.signature);
    stamp.valid = token.ok;
    stamp.detail = token.error;
    if (token.ok) {
      stamp.time = HumanUtc(token.info.genTimeSeconds);
      stamp.authority = HolderName(token.authority.parsed);
      const TrustResult trust = BuildChain(token.authority, token.cms.certificates, anchors,
                                           token.info.genTimeSeconds, kTimeStampingUsage);
      stamp.trusted = trust.status == TrustStatus::Trusted;
      if (!stamp.trusted) stamp.detail = "autoridad de sellado de tiempo: " + trust.detail;
    }
  }
  if (signature.subFilter == "/ETSI.CAdES.detached" && check.signingCertificateChecked)
    report.profile = stamp.valid ? "PAdES B-T" : "PAdES B-B";
  if (check.certificateFound)
    report.trust = BuildChain(check.certificate, cms.certificates, anchors, signedAt);
  return report;
}

}  // namespace

SignerCheck CheckSigner(const CmsSignedData& cms, const Bytes& contentDigest) {
  SignerCheck out;
  const CmsSignerInfo& signer = cms.signers[0];
  for (const Bytes& der : cms.certificates) {
    CertificateDetails cert;
    if (!ReadCertificateDetails(der, &cert)) continue;
    const bool byName =
        !signer.issuer.empty() && cert.issuer == signer.issuer && cert.serial == signer.serial;
    const bool byKeyId = !signer.keyId.empty() && cert.subjectKeyId == signer.keyId;
    if (byName || byKeyId) {
      out.certificate = std::move(cert);
      out.certificateFound = true;
      break;
    }
  }
  if (!out.certificateFound) {
    out.detail = "el CMS no contiene el certificado del firmante";
    return out;
  }
  const HashKind digestKind = HashOfDigestOid(signer.digestAlgorithm);
  const HashKind signatureKind = HashOfSignatureOid(signer.signatureAlgorithm, signer.digestAlgorithm);
  if (digestKind == HashKind::Unsupported || signatureKind == HashKind::Unsupported) {
    out.status = Integrity::Unsupported;
    out.detail = "algoritmo no soportado";
    return out;
  }
  if (!out.certificate.key) {
    out.status = Integrity::Unsupported;
    out.detail = "algoritmo no soportado (la clave del certificado no es RSA)";
    return out;
  }
  Bytes signedDigest = contentDigest;
  if (signer.hasSignedAttributes) {
    if (!signer.messageDigest || *signer.messageDigest != contentDigest) {
      out.detail = "el resumen de los bytes firmados no coincide con el messageDigest del CMS";
      return out;
    }
    signedDigest = HashOf(signatureKind, signer.signedAttributes);
  } else if (signatureKind != digestKind) {
    out.status = Integrity::Unsupported;
    out.detail = "algoritmo no soportado";
    return out;
  }
  if (!VerifyRsaDigest(*out.certificate.key, signatureKind, signedDigest, signer.signature)) {
    out.detail = "la firma CMS no verifica con la clave del certificado del firmante";
    return out;
  }
  if (signer.signingCertificate) {
    const HashKind idKind = HashOfDigestOid(signer.signingCertificate->hashAlgorithm);
    // A first-version reference holds a SHA-1 hash, which this verifier does not compute.
    if (idKind != HashKind::Unsupported) {
      if (HashOf(idKind, out.certificate.parsed.der) != signer.signingCertificate->hash) {
        out.detail = "el atributo signingCertificateV2 no corresponde al certificado del firmante";
        return out;
      }
      out.signingCertificateChecked = true;
    }
  }
  out.status = Integrity::Intact;
  return out;
}

bool ParsePdfDate(const std::string& text, int64_t* out) {
  const size_t start = text.compare(0, 2, "D:") == 0 ? 2 : 0;
  int year, month = 1, day = 1, hour = 0, minute = 0, second = 0;
  if (!Digits(text, start, 4, &year)) return false;
  size_t at = start + 4;
  int* parts[] = {&month, &day, &hour, &minute, &second};
  for (int* part : parts) {
    if (!Digits(text, at, 2, part)) break;
    at += 2;
  }
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) return false;
  int64_t seconds = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    int oh = 0, om = 0;
    if (Digits(text, at + 1, 2, &oh)) {
      if (at + 3 < text.size() && text[at + 3] == '\'') Digits(text, at + 4, 2, &om);
      const int64_t offset = oh * 3600 + om * 60;
      seconds -= text[at] == '+' ? offset : -offset;
    }
  }
  *out = seconds;
  return true;
}

std::string HumanUtc(int64_t seconds) {
  const std::tm tm = UtcCalendar(std::time_t(seconds));
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d UTC", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return text;
}

VerifyReport VerifyPdf(const std::string& path, const std::vector<Bytes>& anchors) {
  VerifyReport report;
  PdfScan scan;
  switch (scan.Open(path)) {
    case ScanStatus::Ok: break;
    case ScanStatus::Unreadable: report.error = "no se pudo leer " + path + "."; return report;
    case ScanStatus::NotPdf: report.error = path + " no es un PDF."; return report;
    case ScanStatus::Encrypted: report.error = "el PDF esta cifrado; no se puede verificar."; return report;
    default:
      report.error = "no se pudo leer la estructura del PDF (fichero danado o truncado).";
      return report;
  }
  report.length = scan.length();
  for (const PdfSignature& signature : FindSignatures(&scan))
    report.signatures.push_back(CheckOne(&scan, signature, anchors));
  return report;
}
