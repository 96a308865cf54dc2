#include "examples/signer/signature_rows.h"

#include <algorithm>

#include "certs/certificate.h"

namespace {

bool Modified(const SignatureReport& s) {
  return s.coverage.modified;
}

bool TrustedSigner(const SignatureReport& s) {
  return s.trust.status == TrustStatus::Trusted && (!s.timestamp.present || s.timestamp.trusted);
}

std::string NameOf(const SignatureReport& s) {
  return s.signerName.empty() ? "(firmante desconocido)" : s.signerName;
}

// With adds the verifier's own reason, when it gave one.
std::string With(const std::string& sentence, const std::string& detail) {
  return detail.empty() ? sentence + "." : sentence + ": " + detail + ".";
}

SignatureMark IntegrityMark(const SignatureReport& s) {
  switch (s.integrity) {
    case Integrity::Intact: return {Verdict::kGood, "Integridad: lo firmado no cambió."};
    case Integrity::Broken: return {Verdict::kBad, With("Integridad: firma rota", s.integrityDetail)};
    case Integrity::Unsupported:
      return {Verdict::kWarning, With("Integridad: algoritmo que no se comprueba", s.integrityDetail)};
  }
  return {Verdict::kBad, "Integridad: desconocida."};
}

SignatureMark CoverageMark(const SignatureReport& s) {
  const Coverage& c = s.coverage;
  if (c.unreadable) return {Verdict::kWarning, "Cobertura: no se pudieron leer las revisiones."};
  if (c.modified) {
    // The summary says it was modified; the row says what changed.
    for (const RevisionChange& change : c.changes) {
      if (!change.allowed && !change.what.empty()) return {Verdict::kBad, "Cobertura: " + change.what + "."};
    }
    return {Verdict::kBad, "Cobertura: modificado después de firmar."};
  }
  if (c.wholeFile) return {Verdict::kGood, "Cobertura: firma el documento entero."};
  return {Verdict::kGood, "Cobertura: luego solo cambios permitidos."};
}

SignatureMark TrustMark(const SignatureReport& s) {
  if (s.timestamp.present && !s.timestamp.valid)
    return {Verdict::kWarning, With("Confianza: sello de tiempo no válido", s.timestamp.detail)};
  if (s.trust.status != TrustStatus::Trusted) return {Verdict::kWarning, With("Confianza", s.trust.detail)};
  if (s.timestamp.present && !s.timestamp.trusted)
    return {Verdict::kWarning, With("Confianza: autoridad de sellado no confiable", s.timestamp.detail)};
  std::string root = s.trust.chain.empty() ? std::string() : s.trust.chain.back();
  return {Verdict::kGood,
          root.empty() ? "Confianza: emisor de confianza." : "Confianza: emitido por " + root + "."};
}

}  // namespace

SignatureRow RowFor(const SignatureReport& s) {
  SignatureRow row;
  row.name = s.documentTimestamp ? "Sello de tiempo del documento" : NameOf(s);
  if (std::string dni = DniDigits(s.signerSerial); !dni.empty()) row.dni = "DNI " + dni;
  row.time = (s.time.empty() ? std::string("sin fecha") : s.time) +
             (s.timeSource.empty() ? "" : " (" + s.timeSource + ")");
  if (!s.level.empty()) row.level = "PAdES " + s.level;
  row.stampPage = s.stampPage;
  row.stampRect = s.stampRect;
  row.integrity = IntegrityMark(s);
  row.coverage = CoverageMark(s);
  row.trust = TrustMark(s);
  return row;
}

bool StampBand(const SignatureRow& row, double pageHeight, double* top, double* bottom) {
  if (row.stampPage < 0) return false;
  const std::array<double, 4>& r = row.stampRect;
  *top = pageHeight - std::max(r[1], r[3]);
  *bottom = pageHeight - std::min(r[1], r[3]);
  return true;
}

SignatureSummary SummaryFor(const VerifyReport& report) {
  if (!report.error.empty())
    return {Verdict::kWarning, "No se pudieron verificar las firmas: " + report.error};
  const std::vector<SignatureReport>& all = report.signatures;
  const std::string count = std::to_string(all.size()) + (all.size() == 1 ? " firma" : " firmas");
  for (const SignatureReport& s : all) {
    if (Modified(s))
      return {Verdict::kBad, "Atención: el documento se modificó después de la firma de " + NameOf(s) + "."};
  }
  for (const SignatureReport& s : all) {
    if (s.integrity == Integrity::Broken)
      return {Verdict::kBad, "Atención: la firma de " + NameOf(s) + " está rota."};
  }
  for (const SignatureReport& s : all) {
    if (s.integrity == Integrity::Unsupported)
      return {Verdict::kWarning, "La firma de " + NameOf(s) + " usa un algoritmo que no se comprueba."};
    if (s.coverage.unreadable)
      return {Verdict::kWarning, "No se pudieron leer las revisiones del documento."};
  }
  const std::string intact = all.size() == 1 ? "1 firma íntegra" : count + " íntegras";
  for (const SignatureReport& s : all) {
    if (!TrustedSigner(s))
      return {Verdict::kWarning, intact + "; el certificado de " + NameOf(s) + " no es de confianza."};
  }
  return {Verdict::kGood, all.size() == 1 ? "1 firma: valida" : count + ": todas validas"};
}
