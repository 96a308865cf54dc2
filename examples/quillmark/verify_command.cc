#include "examples/quillmark/verify_command.h"

#include <cstdio>
#include <string>

#include "certs/trust_anchors.h"
#include "examples/quillmark/commands.h"
#include "examples/quillmark/json_text.h"
#include "pades/verify.h"

namespace {

bool Modified(const SignatureReport& s) {
  return s.coverage.modified;
}
bool Intact(const SignatureReport& s) {
  return s.integrity == Integrity::Intact && !Modified(s);
}

std::string Verdict(const SignatureReport& s) {
  if (s.integrity == Integrity::Unsupported) return "algoritmo no soportado: " + s.integrityDetail;
  if (s.integrity == Integrity::Broken) return "firma no valida: " + s.integrityDetail;
  if (Modified(s)) return "modificado despues de firmar";
  if (s.timestamp.present && !s.timestamp.valid) return "integridad correcta, sello de tiempo no valido";
  if (s.timestamp.present && !s.timestamp.trusted)
    return "integridad correcta, autoridad de sellado no confiable";
  if (s.trust.status == TrustStatus::UnknownIssuer) return "integridad correcta, emisor no confiable";
  if (s.trust.status != TrustStatus::Trusted) return "integridad correcta, " + s.trust.detail;
  return "firma valida";
}

int ExitStatus(const VerifyReport& report) {
  if (!report.error.empty() || report.signatures.empty()) return kExitFailed;
  bool untrusted = false;
  for (const SignatureReport& s : report.signatures) {
    if (!Intact(s)) return kExitFailed;
    untrusted =
        untrusted || s.trust.status != TrustStatus::Trusted || (s.timestamp.present && !s.timestamp.trusted);
  }
  return untrusted ? kExitUntrusted : kExitOk;
}

std::string FinalLine(const VerifyReport& report, int status) {
  if (!report.error.empty()) return "Resultado: no se pudo verificar: " + report.error;
  if (report.signatures.empty()) return "Resultado: el documento no contiene firmas.";
  const std::string count = std::to_string(report.signatures.size()) + " firma(s)";
  if (status == kExitOk) return "Resultado: " + count + ", todas integras y confiables.";
  if (status == kExitUntrusted)
    return "Resultado: " + count + " integras, pero algun emisor no es confiable.";
  return "Resultado: " + count + "; alguna firma esta rota o el documento se modifico despues de firmar.";
}

const char* IntegrityText(Integrity i) {
  return i == Integrity::Intact ? "correcta" : i == Integrity::Broken ? "rota" : "algoritmo no soportado";
}

const char* TrustKey(TrustStatus t) {
  switch (t) {
    case TrustStatus::Trusted: return "trusted";
    case TrustStatus::UnknownIssuer: return "untrusted";
    case TrustStatus::Expired: return "expired";
    case TrustStatus::NotForSigning: return "notForSigning";
    case TrustStatus::IssuerNotCa: return "issuerNotCa";
    case TrustStatus::Revoked: return "revoked";
  }
  return "";
}

std::string Join(const std::vector<std::string>& parts, const std::string& separator) {
  std::string out;
  for (const std::string& part : parts) out += (out.empty() ? "" : separator) + part;
  return out;
}

const char* CertificationText(int p) {
  return p == 1   ? "no permite ningun cambio (P=1)"
         : p == 2 ? "permite rellenar formularios y firmar (P=2)"
                  : "permite rellenar formularios, firmar y comentar (P=3)";
}

const char* BasisText(const std::string& basis) {
  if (basis == "sello de tiempo") return "la hora que prueba su sello de tiempo";
  if (basis == "sello de tiempo del documento") return "la hora que prueba un sello de tiempo del documento";
  return "la hora de esta verificacion; ningun sello de tiempo prueba una anterior";
}

void PrintHuman(const std::string& path, const VerifyReport& report, int status) {
  std::printf("Documento: %s\n", path.c_str());
  const size_t n = report.signatures.size();
  for (size_t i = 0; i < n; ++i) {
    const SignatureReport& s = report.signatures[i];
    std::printf(
        "\nFirma %zu de %zu: campo \"%s\"%s\n", i + 1, n, s.fieldName.c_str(),
        s.fieldCount > 1
            ? (" (y otros " + std::to_string(s.fieldCount - 1) + " campos con la misma firma)").c_str()
            : "");
    std::printf("  Firmante: %s%s\n", s.signerName.empty() ? "(desconocido)" : s.signerName.c_str(),
                s.signerSerial.empty() ? "" : (" · numero de serie " + s.signerSerial).c_str());
    // A document time stamp's date is the one its token proves, not a /M anyone may write.
    std::printf(s.documentTimestamp ? "  Hora del sello: %s\n" : "  Fecha (/M): %s\n",
                s.signingTime.empty() ? "(sin fecha)" : s.signingTime.c_str());
    if (!s.cmsSigningTime.empty())
      std::printf("  Hora del CMS (signingTime): %s\n", s.cmsSigningTime.c_str());
    if (s.certification) std::printf("  Certificacion: %s\n", CertificationText(s.certification));
    std::printf("  Tipo: %s · perfil: %s%s\n", s.subFilter.c_str(), s.profile.c_str(),
                s.level.empty() ? "" : (" · nivel: PAdES " + s.level).c_str());
    if (s.timestamp.present)
      std::printf("  Sello de tiempo: %s\n",
                  !s.timestamp.valid
                      ? ("no valido: " + s.timestamp.detail).c_str()
                      : (s.timestamp.time + " · autoridad: " + s.timestamp.authority +
                         (s.timestamp.trusted ? " (confiable)" : " (" + s.timestamp.detail + ")"))
                            .c_str());
    std::printf("  Integridad: %s%s\n", IntegrityText(s.integrity),
                s.integrityDetail.empty() ? "" : (" (" + s.integrityDetail + ")").c_str());
    const Coverage& c = s.coverage;
    if (c.unreadable) {
      std::printf("  Cobertura: no se pudieron leer las revisiones del documento\n");
    } else {
      // A chain that does not lead back to the signed revision has no revision numbers to
      // show, only its reason.
      if (c.revisions > 0)
        std::printf("  Cobertura: revision %d de %d%s\n", c.revision, c.revisions,
                    c.wholeFile ? " (todo el documento)" : "");
      else if (!c.changes.empty())
        std::printf("  Cobertura: la revision firmada no esta en la cadena actual\n");
      for (const RevisionChange& change : c.changes)
        std::printf("    despues: %s%s\n", change.what.c_str(),
                    change.allowed ? " (permitido)" : " (NO permitido)");
    }
    if (!s.validityTime.empty())
      std::printf("  Certificado juzgado a: %s (%s)\n", s.validityTime.c_str(), BasisText(s.validityBasis));
    std::string chain = Join(s.trust.chain, " <- ");
    std::printf("  Confianza: %s%s\n",
                s.trust.status == TrustStatus::Trusted ? "emisor confiable" : s.trust.detail.c_str(),
                chain.empty() ? "" : (" · cadena: " + chain).c_str());
    std::printf("  Veredicto: %s\n", Verdict(s).c_str());
  }
  std::printf("\n%s\n", FinalLine(report, status).c_str());
}

void PrintJson(const std::string& path, const VerifyReport& report, int status) {
  std::string out = "{\"file\":" + JsonString(path);
  if (!report.error.empty()) out += ",\"error\":" + JsonString(report.error);
  out += ",\"signatures\":[";
  for (size_t i = 0; i < report.signatures.size(); ++i) {
    const SignatureReport& s = report.signatures[i];
    const Coverage& c = s.coverage;
    std::string changes;
    for (const RevisionChange& change : c.changes)
      changes += std::string(changes.empty() ? "" : ",") + "{\"object\":" + std::to_string(change.number) +
                 ",\"allowed\":" + (change.allowed ? "true" : "false") +
                 ",\"what\":" + JsonString(change.what) + "}";
    std::string chain;
    for (const std::string& link : s.trust.chain) chain += (chain.empty() ? "" : ",") + JsonString(link);
    out += std::string(i ? "," : "") + "{\"field\":" + JsonString(s.fieldName) +
           ",\"fields\":" + std::to_string(s.fieldCount) +
           ",\"cmsSigningTime\":" + JsonString(s.cmsSigningTime) + ",\"time\":" + JsonString(s.time) +
           ",\"timeSource\":" + JsonString(s.timeSource) + ",\"validityTime\":" + JsonString(s.validityTime) +
           ",\"validityBasis\":" + JsonString(s.validityBasis) +
           ",\"certification\":" + std::to_string(s.certification) +
           ",\"documentTimestamp\":" + (s.documentTimestamp ? "true" : "false") +
           ",\"stampPage\":" + std::to_string(s.stampPage) + ",\"signer\":" + JsonString(s.signerName) +
           ",\"serialNumber\":" + JsonString(s.signerSerial) +
           ",\"signingTime\":" + JsonString(s.signingTime) + ",\"subFilter\":" + JsonString(s.subFilter) +
           ",\"profile\":" + JsonString(s.profile) + ",\"level\":" + JsonString(s.level) +
           ",\"integrity\":{\"status\":" +
           JsonString(s.integrity == Integrity::Intact   ? "intact"
                      : s.integrity == Integrity::Broken ? "broken"
                                                         : "unsupported") +
           ",\"detail\":" + JsonString(s.integrityDetail) +
           "},\"coverage\":{\"revision\":" + std::to_string(c.revision) +
           ",\"revisions\":" + std::to_string(c.revisions) +
           ",\"wholeFile\":" + (c.wholeFile ? "true" : "false") +
           ",\"modified\":" + (c.modified ? "true" : "false") + ",\"changes\":[" + changes +
           "]},\"trust\":{\"status\":" + JsonString(TrustKey(s.trust.status)) + ",\"chain\":[" + chain +
           "],\"detail\":" + JsonString(s.trust.status == TrustStatus::Trusted ? "" : s.trust.detail) + "}";
    if (s.timestamp.present)
      out += std::string(",\"timestamp\":{\"valid\":") + (s.timestamp.valid ? "true" : "false") +
             ",\"trusted\":" + (s.timestamp.trusted ? "true" : "false") +
             ",\"time\":" + JsonString(s.timestamp.time) +
             ",\"authority\":" + JsonString(s.timestamp.authority) +
             ",\"detail\":" + JsonString(s.timestamp.detail) + "}";
    out += ",\"verdict\":" + JsonString(Verdict(s)) + "}";
  }
  out += "],\"verdict\":" + JsonString(FinalLine(report, status)) +
         ",\"exitStatus\":" + std::to_string(status) + "}\n";
  std::fputs(out.c_str(), stdout);
}

}  // namespace

int RunVerify(const Arguments& args) {
  if (args.positional.size() != 1) return UsageError("verify necesita un solo documento PDF.");
  const std::string bundle = args.Value("--trust");
  if (args.Has("--trust") && bundle.empty()) return UsageError("--trust necesita un fichero PEM.");
  std::vector<Bytes> anchors;
  if (!args.Has("--trust")) {
    anchors = SystemTrustAnchors();
  } else if (!ReadPemBundle(bundle, &anchors) || anchors.empty()) {
    std::fprintf(stderr, "quillmark: %s no contiene ningun certificado PEM legible.\n", bundle.c_str());
    return kExitUsage;
  }
  const std::string& path = args.positional[0];
  const VerifyReport report = VerifyPdf(path, anchors);
  const int status = ExitStatus(report);
  if (args.Has("--json"))
    PrintJson(path, report, status);
  else
    PrintHuman(path, report, status);
  std::fflush(stdout);
  return status;
}
