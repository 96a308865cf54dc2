#include "pades/verify.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "core/calendar.h"
#include "pades/long_term_check.h"
#include "pades/tsa.h"

namespace {

// CheckSignerWith verifies the signer with one candidate certificate.
SignerCheck CheckSignerWith(const CmsSignedData& cms, CertificateDetails certificate,
                            const Bytes& contentDigest) {
  SignerCheck out;
  const CmsSignerInfo& signer = cms.signers[0];
  out.certificate = std::move(certificate);
  out.certificateFound = true;
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

std::string HumanTime(const std::string& written) {
  int64_t seconds = 0;
  return ParsePdfDate(written, &seconds) ? HumanUtc(seconds) : written;
}

// The document being verified: its current revision, walked once for all signatures.
struct Document {
  PdfFile file;
  PdfRevisionReader reader{&file};
  std::unique_ptr<PdfRevision> current;
  DocumentGraph graph;
  std::vector<std::unique_ptr<PdfRevision>> signedRevisions;
};

// SignedRevisionOf finds the revision a signature's bytes end with and how many newer sections
// the current chain has before it. It returns nullptr, with the reason, when the signed bytes
// do not end a revision or that revision cannot be read.
PdfRevision* SignedRevisionOf(Document* doc, const PdfSignature& signature, size_t* later,
                              std::string* error) {
  const std::optional<uint64_t> startxref = doc->reader.RevisionStartxref(signature.SignedEnd());
  if (!startxref) {
    *error = "el /ByteRange no termina al final de una revision (%%EOF y su fin de linea)";
    return nullptr;
  }
  std::vector<const XrefSectionData*> chain;
  std::string reason;
  if (!doc->reader.Chain(*startxref, &chain, &reason)) {
    *error = "la revision firmada no se puede leer: " + reason;
    return nullptr;
  }
  const auto& now = doc->current->chain();
  auto at = std::find(now.begin(), now.end(), chain.front());
  *later = at == now.end() ? SIZE_MAX : size_t(at - now.begin());
  if (at != now.end() && !std::equal(chain.begin(), chain.end(), at, now.end())) *later = SIZE_MAX;
  doc->signedRevisions.push_back(std::make_unique<PdfRevision>(&doc->reader, std::move(chain)));
  return doc->signedRevisions.back().get();
}

// TimestampOf checks the signature time stamp a signer carries, over its signature value.
TimestampReport TimestampOf(const CmsSignerInfo& signer, const std::vector<Bytes>& anchors) {
  TimestampReport stamp;
  stamp.present = !signer.timeStampTokens.empty();
  if (!stamp.present) return stamp;
  const TokenCheck token = CheckTimeStampToken(signer.timeStampTokens[0], signer.signature);
  stamp.valid = token.ok;
  stamp.detail = token.error;
  if (!token.ok) return stamp;
  stamp.time = HumanUtc(token.info.genTimeSeconds);
  stamp.seconds = token.info.genTimeSeconds;
  stamp.authority = HolderName(token.authority.parsed);
  const TrustResult trust = BuildChain(token.authority, token.cms.certificates, anchors,
                                       token.info.genTimeSeconds, kTimeStampingUsage);
  stamp.trusted = trust.status == TrustStatus::Trusted;
  if (!stamp.trusted) stamp.detail = "autoridad de sellado de tiempo: " + trust.detail;
  return stamp;
}

// Checked is one signature after the checks of its bytes, before its certificate is judged.
struct Checked {
  SignatureReport report;
  CmsSignedData cms;
  CertificateDetails certificate;
  bool certificateFound = false;
  uint64_t signedEnd = 0;
  int64_t proofSeconds = 0;  // what its own time stamp proves, 0 when nothing
  int64_t judgedAt = 0;      // when the signer's certificate was judged
  // What the stored validation data proves of the signer's chain and of its time stamp's
  // authority (a document time stamp's own authority).
  RevocationProof signerProof, authorityProof;
};

void CheckDocumentTimestamp(Document* doc, const PdfSignature& signature, const std::vector<Bytes>& anchors,
                            Checked* out) {
  SignatureReport& report = out->report;
  report.profile = "sello de tiempo del documento";
  report.documentTimestamp = true;
  TstInfo info;
  CmsSignedData& cms = out->cms;
  if (!cms.content || !ParseTstInfo(*cms.content, &info)) {
    report.integrityDetail = "el sello de tiempo del documento no es legible";
    return;
  }
  const HashKind kind = HashOfDigestOid(info.imprintAlgorithm);
  Bytes digest;
  if (kind == HashKind::Unsupported) {
    report.integrity = Integrity::Unsupported;
    report.integrityDetail = "algoritmo no soportado (huella del sello)";
    return;
  }
  if (!HashRanges(doc->file.input(), signature.byteRange, kind, &digest) || digest != info.imprint) {
    report.integrityDetail = "la huella del sello de tiempo no coincide con los bytes firmados";
    return;
  }
  const SignerCheck check =
      CheckSigner(cms, HashOf(HashOfDigestOid(cms.signers[0].digestAlgorithm), *cms.content));
  report.integrity = check.status;
  report.integrityDetail = check.detail;
  if (!check.certificateFound) return;
  report.signerName = HolderName(check.certificate.parsed);
  report.time = report.signingTime = HumanUtc(info.genTimeSeconds);
  report.timeSource = "sello de tiempo";
  report.validityTime = report.time;
  report.validityBasis = "sello de tiempo";
  report.trust =
      BuildChain(check.certificate, cms.certificates, anchors, info.genTimeSeconds, kTimeStampingUsage);
  out->certificate = check.certificate;
  out->certificateFound = true;
  report.timestamp.seconds = info.genTimeSeconds;
  if (report.integrity == Integrity::Intact && report.trust.status == TrustStatus::Trusted)
    out->proofSeconds = info.genTimeSeconds;
}

void CheckCms(Document* doc, const PdfSignature& signature, const std::vector<Bytes>& anchors, Checked* out) {
  SignatureReport& report = out->report;
  const CmsSignerInfo& signer = out->cms.signers[0];
  if (CertificateDetails cert;
      !out->cms.certificates.empty() && ReadCertificateDetails(out->cms.certificates[0], &cert))
    report.signerName = HolderName(cert.parsed);  // replaced by the signer's own below
  const HashKind kind = HashOfDigestOid(signer.digestAlgorithm);
  SignerCheck check;
  Bytes digest;
  if (kind == HashKind::Unsupported) {
    check.status = Integrity::Unsupported;
    check.detail = "algoritmo no soportado (resumen)";
  } else if (!HashRanges(doc->file.input(), signature.byteRange, kind, &digest)) {
    check.detail = "no se pudieron leer los rangos firmados";
  } else {
    check = CheckSigner(out->cms, digest);
  }
  if (check.certificateFound) {
    report.signerName = HolderName(check.certificate.parsed);
    report.signerSerial = SerialNumberOf(check.certificate.parsed);
    out->certificate = check.certificate;
    out->certificateFound = true;
  }
  report.integrity = check.status;
  report.integrityDetail = check.detail;
  if (!signer.signingTimeText.empty()) report.cmsSigningTime = HumanTime(signer.signingTimeText);
  report.timestamp = TimestampOf(signer, anchors);
  if (report.timestamp.valid) {
    report.time = report.timestamp.time;
    report.timeSource = "sello de tiempo";
    if (report.timestamp.trusted) out->proofSeconds = report.timestamp.seconds;
  }
  if (signature.subFilter == "/ETSI.CAdES.detached" && check.signingCertificateChecked)
    report.profile = report.timestamp.valid ? "PAdES B-T" : "PAdES B-B";
}

// CheckBytes runs the checks that need no certificate: the /ByteRange, the revision it ends,
// the CMS over those bytes and what later revisions changed.
Checked CheckBytes(Document* doc, const PdfSignature& signature, const std::vector<Bytes>& anchors,
                   bool first, int certifier) {
  Checked out;
  SignatureReport& report = out.report;
  report.fieldName = signature.fieldName;
  report.fieldCount = signature.fieldCount;
  report.subFilter = signature.subFilter;
  report.signingTime = HumanTime(signature.signingTime);
  report.time = report.signingTime;
  report.timeSource = "/M";
  report.stampPage = signature.stampPage;
  report.stampRect = signature.stampRect;
  report.profile = signature.subFilter == "/ETSI.CAdES.detached" ? "CAdES sin atributos PAdES"
                   : signature.subFilter.empty()                 ? "desconocido"
                                                                 : signature.subFilter.substr(1);
  report.trust.detail = "sin comprobar";
  out.signedEnd = signature.SignedEnd();
  if (!signature.error.empty()) {
    report.integrityDetail = signature.error;
    return out;
  }
  if (ByteRangeFault fault = CheckByteRange(signature, doc->file.length()); fault != ByteRangeFault::None) {
    report.integrityDetail = ByteRangeText(fault);
    return out;
  }
  size_t later = 0;
  std::string error;
  PdfRevision* signedRevision = SignedRevisionOf(doc, signature, &later, &error);
  if (!signedRevision) {
    report.integrityDetail = error;
    return out;
  }
  // The dictionary that holds /ByteRange is the one the signed revision has: a copy written
  // elsewhere cannot borrow another signature's bytes.
  const XrefRecord* now = doc->current->Entry(signature.dictionaryNumber);
  const XrefRecord* then = signedRevision->Entry(signature.dictionaryNumber);
  if (!now || !then || now->kind != then->kind || now->offset != then->offset) {
    report.integrityDetail = "el diccionario de firma no es el de la revision firmada";
    return out;
  }
  const bool parsed = ParseCmsSignedData(signature.contents, &out.cms);
  if (parsed && out.cms.contentType == cms_oid::kTstInfo) {
    CheckDocumentTimestamp(doc, signature, anchors, &out);
  } else if (!parsed || out.cms.contentType != cms_oid::kData || out.cms.content) {
    report.integrityDetail = "el /Contents no es un CMS SignedData separado legible";
    return out;
  } else {
    CheckCms(doc, signature, anchors, &out);
  }
  report.certification = first ? signature.docMdp : 0;
  if (later == SIZE_MAX) {
    report.coverage.modified = true;
    report.coverage.changes.push_back(
        {0, false, "la cadena de referencias cruzadas actual no pasa por la revision firmada"});
    return out;
  }
  SignedRevision input;
  input.current = doc->current.get();
  input.signedRevision = signedRevision;
  input.graph = &doc->graph;
  input.laterSections = later;
  input.signedEnd = out.signedEnd;
  input.holeStart = signature.contentsOpen;
  input.holeEnd = signature.contentsClose + 1;
  input.dictionary = signature.dictionaryNumber;
  input.permission = report.certification;
  input.certifiedForAnnotations = certifier == 3;
  input.lock = signature.lock;
  report.coverage = CompareRevisions(&doc->reader, input);
  return out;
}

// JudgeCertificate judges the signer's certificate at the time a time stamp proves (its own, or
// a valid document time stamp over it), else at `now`.
void JudgeCertificate(Checked* c, const std::vector<Checked>& all, const std::vector<Bytes>& anchors,
                      int64_t now) {
  SignatureReport& report = c->report;
  if (report.documentTimestamp || !c->certificateFound) return;
  int64_t at = now;
  report.validityBasis = "ahora";
  if (c->proofSeconds) {
    at = c->proofSeconds;
    report.validityBasis = "sello de tiempo";
  } else {
    for (const Checked& other : all)
      if (other.report.documentTimestamp && other.proofSeconds && other.signedEnd >= c->signedEnd &&
          !other.report.coverage.modified) {
        at = other.proofSeconds;
        report.validityBasis = "sello de tiempo del documento";
        break;
      }
  }
  report.validityTime = HumanUtc(at);
  c->judgedAt = at;
  report.trust = BuildChain(c->certificate, c->cms.certificates, anchors, at);
  if (report.trust.status == TrustStatus::Expired)
    report.trust.detail += at == now ? " y ningun sello de tiempo prueba que la firma sea anterior"
                                     : " en la fecha que prueba el sello de tiempo";
}

// ProveAuthority checks the time stamp's authority against the stored data at the time it
// stamped: an authority revoked by then proves nothing.
void ProveAuthority(Checked* c, const StoredValidationData& store) {
  SignatureReport& report = c->report;
  if (report.documentTimestamp) {
    if (!c->certificateFound) return;
    c->authorityProof = ProveFromStore(c->certificate, c->cms.certificates, store, report.timestamp.seconds);
    if (c->authorityProof.revoked.empty() || report.trust.status != TrustStatus::Trusted) return;
    report.trust.status = TrustStatus::Revoked;
    report.trust.detail = c->authorityProof.revoked;
    c->proofSeconds = 0;
    return;
  }
  if (!report.timestamp.valid) return;
  const TokenCheck token =
      CheckTimeStampToken(c->cms.signers[0].timeStampTokens[0], c->cms.signers[0].signature);
  c->authorityProof =
      ProveFromStore(token.authority, token.cms.certificates, store, token.info.genTimeSeconds);
  if (c->authorityProof.revoked.empty() || !report.timestamp.trusted) return;
  report.timestamp.trusted = false;
  report.timestamp.detail = "autoridad de sellado de tiempo: " + c->authorityProof.revoked;
  c->proofSeconds = 0;
}

// ProveSigner checks the signer's chain against the stored data at the time it was judged.
void ProveSigner(Checked* c, const StoredValidationData& store) {
  SignatureReport& report = c->report;
  if (report.documentTimestamp || !c->certificateFound) return;
  c->signerProof = ProveFromStore(c->certificate, c->cms.certificates, store, c->judgedAt);
  if (c->signerProof.revoked.empty() || report.trust.status != TrustStatus::Trusted) return;
  report.trust.status = TrustStatus::Revoked;
  report.trust.detail = c->signerProof.revoked;
}

bool Holds(const Checked& c) {
  return c.report.integrity == Integrity::Intact && !c.report.coverage.modified;
}

// LevelOf is the long-term level a signature reaches (SignatureReport::level).
std::string LevelOf(const Checked& c, const std::vector<Checked>& all) {
  if (c.report.documentTimestamp || !Holds(c)) return "";
  // The earliest document time stamp over the signature dates it when it has no stamp of its own.
  const Checked* dated = nullptr;
  for (const Checked& d : all)
    if (d.report.documentTimestamp && Holds(d) && d.signedEnd > c.signedEnd &&
        (!dated || d.signedEnd < dated->signedEnd))
      dated = &d;
  const bool ownStamp = c.report.timestamp.valid;
  if (!ownStamp && !dated) return "B-B";
  const RevocationProof& stamp = ownStamp ? c.authorityProof : dated->authorityProof;
  if (!c.signerProof.complete || !stamp.complete) return "B-T";
  const uint64_t data = std::max({c.signerProof.dataEnd, stamp.dataEnd, c.signedEnd});
  for (const Checked& d : all)
    if (d.report.documentTimestamp && Holds(d) && d.signedEnd > data) return "B-LTA";
  return "B-LT";
}

std::string OpenError(Document* doc, const std::string& path) {
  bool notRegular = false;
  if (!doc->file.Open(path, &notRegular))
    return notRegular ? path + " no es un fichero normal." : "no se pudo leer " + path + ".";
  if (doc->file.Read(0, 5) != "%PDF-") return path + " no es un PDF.";
  const std::optional<uint64_t> end = doc->reader.LastRevisionEnd();
  const std::optional<uint64_t> startxref = end ? doc->reader.RevisionStartxref(*end) : std::nullopt;
  std::vector<const XrefSectionData*> chain;
  std::string reason;
  if (!startxref) return "no se pudo leer la estructura del PDF (fichero danado o truncado).";
  if (!doc->reader.Chain(*startxref, &chain, &reason))
    return "las referencias cruzadas del PDF estan danadas: " + reason + ".";
  doc->current = std::make_unique<PdfRevision>(&doc->reader, std::move(chain));
  if (doc->current->trailer().Get("Encrypt")) return "el PDF esta cifrado; no se puede verificar.";
  return "";
}

}  // namespace

SignerCheck CheckSigner(const CmsSignedData& cms, const Bytes& contentDigest) {
  SignerCheck first;
  first.detail = "el CMS no contiene el certificado del firmante";
  const CmsSignerInfo& signer = cms.signers[0];
  bool matched = false;
  for (const Bytes& der : cms.certificates) {
    CertificateDetails cert;
    if (!ReadCertificateDetails(der, &cert)) continue;
    const bool byName =
        !signer.issuer.empty() && cert.issuer == signer.issuer && cert.serial == signer.serial;
    const bool byKeyId = !signer.keyId.empty() && cert.subjectKeyId == signer.keyId;
    if (!byName && !byKeyId) continue;
    // Anyone can add a certificate with the signer's issuer and serial: each candidate is
    // tried, and the one whose key verifies is the signer's.
    SignerCheck check = CheckSignerWith(cms, std::move(cert), contentDigest);
    if (check.status == Integrity::Intact) return check;
    if (!matched) first = std::move(check);
    matched = true;
  }
  return first;
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
  return VerifyPdf(path, anchors, int64_t(std::time(nullptr)));
}

VerifyReport VerifyPdf(const std::string& path, const std::vector<Bytes>& anchors, int64_t now) {
  VerifyReport report;
  Document doc;
  report.error = OpenError(&doc, path);
  if (!report.error.empty()) return report;
  report.length = doc.file.length();
  // Referrers are kept only for what the sections after the oldest one define: nothing older
  // can have changed after any signature.
  const size_t sections = doc.current->chain().size();
  doc.graph = WalkDocument(doc.current.get(), WatchedNumbers(*doc.current, sections - 1), false);
  std::vector<PdfSignature> signatures = FindSignatures(doc.current.get(), doc.graph);
  const bool later = std::any_of(signatures.begin(), signatures.end(),
                                 [&](const PdfSignature& s) { return s.SignedEnd() < report.length; });
  if (later) doc.graph = WalkDocument(doc.current.get(), WatchedNumbers(*doc.current, sections - 1), true);
  // A certification is the first signature, and only its DocMDP permission governs the rest.
  int certifier = 0;
  std::vector<Checked> checked;
  for (const PdfSignature& signature : signatures) {
    checked.push_back(CheckBytes(&doc, signature, anchors, checked.empty(), certifier));
    if (checked.size() == 1) certifier = checked.back().report.certification;
  }
  // The document's own validation data is read once; nothing is fetched.
  const StoredValidationData store = ReadStoredValidationData(doc.current.get(), &doc.file);
  for (Checked& c : checked) ProveAuthority(&c, store);
  for (Checked& c : checked) JudgeCertificate(&c, checked, anchors, now);
  for (Checked& c : checked) ProveSigner(&c, store);
  for (Checked& c : checked) c.report.level = LevelOf(c, checked);
  for (Checked& c : checked) report.signatures.push_back(std::move(c.report));
  return report;
}
