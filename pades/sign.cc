#include "pades/sign.h"

#include <algorithm>

#include "core/text.h"
#include "pades/cms.h"
#include "pades/container.h"
#include "pades/field.h"
#include "pades/file_io.h"
#include "pades/pdf_scan.h"
#include "pades/pipeline.h"

namespace pades_internal {

SignatureTexts WithDefaults(const SignatureTexts& texts, const ParsedCertificate& certificate) {
  SignatureTexts out = texts;
  if (out.name.empty()) out.name = certificate.subjectCommonName;
  if (out.location.empty()) out.location = "TalvenNet";
  if (out.reason.empty()) out.reason = "Firma de documento";
  return out;
}

std::string SigningTimeNow() {
  return UtcTimeNow("%y%m%d%H%M%SZ");
}

}  // namespace pades_internal

namespace {

constexpr uint32_t kMinimumReservation = 512;
constexpr size_t kSettledReservation = 16384;

std::string OpenError(ScanStatus status, const std::string& inputPath) {
  switch (status) {
    case ScanStatus::Ok: return "";
    case ScanStatus::Unreadable: return "no se pudo leer " + inputPath + ".";
    case ScanStatus::NotPdf: return inputPath + " no es un PDF.";
    case ScanStatus::TooLarge:
      return "el PDF es demasiado grande para firmarlo: el /ByteRange admite como maximo 4294967295 bytes.";
    case ScanStatus::NoStartxref: return "el PDF no tiene 'startxref': no es un PDF valido.";
    case ScanStatus::StartxrefOutside: return "el 'startxref' del PDF apunta fuera del fichero.";
    case ScanStatus::BadTrailer: return "no se pudo leer el trailer del PDF (xref ilegible).";
    case ScanStatus::NoRoot: return "el trailer del PDF no tiene /Root.";
    case ScanStatus::Encrypted: return "el PDF esta cifrado; no se puede firmar.";
    case ScanStatus::NoObjects:
      return "el PDF no contiene objetos legibles (probablemente todo el arbol esta en un ObjStm).";
    case ScanStatus::BadCatalog: return "el catalogo del PDF no es un diccionario legible.";
    case ScanStatus::NoPagesReference: return "el catalogo no apunta a /Pages por referencia.";
    case ScanStatus::NoPages: return "no se localizo ninguna pagina en el arbol del PDF.";
  }
  return "";
}

}  // namespace

SignResult SignPdfAt(const std::string& inputPath, const std::string& outputPath,
                     const ParsedCertificate& certificate, uint32_t contentsReservation,
                     const SigningCallback& callback, const SignatureTexts& givenTexts,
                     const StampOptions& stamp, std::string_view signingTime) {
  SignResult result;
  const SignatureTexts texts = pades_internal::WithDefaults(givenTexts, certificate);
  auto fail = [&](std::string message) {
    result.error = std::move(message);
    return result;
  };

  PdfScan scan;
  if (ScanStatus status = scan.Open(inputPath); status != ScanStatus::Ok)
    return fail(OpenError(status, inputPath));
  const std::vector<int64_t>& pages = scan.pages();

  const std::vector<size_t> stampIndices = ChooseStampPages(stamp, pages.size());
  if (stamp.mode == StampMode::PageList && !stamp.pageList.empty() && stampIndices.empty())
    result.warning = "stampList \"" + stamp.pageList +
                     "\" no contiene indices validos para este documento (" + std::to_string(pages.size()) +
                     " paginas); se usa firma invisible.";

  FieldObjects objects;
  objects.referencePage = pages[stampIndices.empty() ? pages.size() - 1 : stampIndices[0]];
  if (!scan.ReadObjectDict(objects.referencePage, &objects.referenceBody))
    return fail("la pagina de referencia del PDF no es un diccionario legible.");

  const AcroFormFound acroForm = FindAcroForm(&scan, scan.catalog());
  const std::set<std::string> names = CollectSignatureNames(scan);
  objects.fieldName = FieldName(names);
  if (!names.empty())
    result.info = "el documento ya contenia " + std::to_string(names.size()) +
                  " firma(s); se anade otra sin alterar las anteriores.";

  // New objects are numbered from past both /Size and the highest number in use. A new
  // AcroForm is needed whenever none can be read, also when the catalog's reference to one is
  // dangling, so that its number never collides with the field's.
  int64_t next = std::max<int64_t>(scan.declaredSize(), scan.index().back().number + int64_t(1));
  if (acroForm.kind == AcroFormFound::Kind::None) objects.newAcroForm = uint32_t(next++);
  objects.field = uint32_t(next++);
  if (stampIndices.size() >= 2)
    for (size_t i = 0; i < stampIndices.size(); ++i) objects.kids.push_back(uint32_t(next++));
  if (!stampIndices.empty()) {
    objects.font = uint32_t(next++);
    objects.appearance = uint32_t(next++);
  }
  objects.signature = uint32_t(next++);
  for (size_t index : stampIndices) objects.stampPages.push_back(pages[index]);
  objects.lines = {"Firmado digitalmente por:", texts.name, "Fecha: " + HumanUtcDate(signingTime)};
  objects.width = StampWidth(objects.lines);
  objects.catalogNumber = scan.root();

  UpdateBuffer update(scan.length());
  if (scan.lastByte() != '\n' && scan.lastByte() != '\r') update.text() += '\n';
  WriteFieldObjects(&update, &scan, objects, acroForm);

  // A trial container with a zero digest and a zero signature of the key's length has exactly
  // the final container's size, and settles the room reserved for it.
  std::optional<SignerKeyInfo> key;
  size_t reservation = contentsReservation;
  if (callback && certificate.parsed && !certificate.der.empty() &&
      contentsReservation >= kMinimumReservation) {
    key = ExtractSignerKeyInfo(certificate.der);
    if (!key)
      return fail(
          "el certificado elegido no es de firma RSA; este motor solo firma con RSA (PKCS#1 v1.5 + "
          "SHA-256).");
    Bytes trial =
        BuildSignedData(certificate.der, *key, BuildSignedAttributes(Bytes(32, 0), certificate.der, *key),
                        Bytes(key->modulusLength, 0));
    if (trial.size() > contentsReservation)
      return fail("el CMS (" + std::to_string(trial.size()) + " B) no cabe en la reserva de " +
                  std::to_string(contentsReservation) + " B.");
    reservation = std::max(kSettledReservation, trial.size());
  }
  if (!key) return fail("no hay certificado valido para firmar.");

  SignaturePlaceholders holes;
  const uint64_t dictionary = update.Offset();
  update.Record(objects.signature);
  update.text() += SignatureDictionary(objects.signature, texts, signingTime, reservation, &holes);
  const uint64_t contentsOpen = dictionary + holes.contentsOpen;
  const uint64_t contentsClose = dictionary + holes.contentsClose;

  Sha256Context inputHash = scan.hashAfterInput();
  const Sha256Digest inputDigest = inputHash.Final();
  TrailerFields trailer;
  trailer.size = uint32_t(next);
  trailer.root = scan.root();
  trailer.prev = scan.startxref();
  trailer.secondId = HexEncode(inputDigest.data(), 16);
  trailer.firstId = scan.firstIdentifier().value_or(trailer.secondId);
  WriteXrefAndTrailer(&update, trailer);

  std::string& section = update.text();
  const uint64_t length = update.Offset();
  if (length > PdfScan::kMaxSignedFileSize) return fail(OpenError(ScanStatus::TooLarge, inputPath));
  const size_t base = size_t(scan.length());
  section.replace(size_t(dictionary - base + holes.byteRange), 43,
                  ByteRangeText(contentsOpen, contentsClose, length));

  // The input lies wholly before the hole, so its hash from the reading pass goes on.
  Sha256Context hash = scan.hashAfterInput();
  hash.Update(section.data(), size_t(contentsOpen - base));
  hash.Update(section.data() + (contentsClose + 1 - base), section.size() - size_t(contentsClose + 1 - base));
  const Sha256Digest digest = hash.Final();

  const Bytes signedAttributes =
      BuildSignedAttributes(Bytes(digest.begin(), digest.end()), certificate.der, *key);
  std::string note;
  const Bytes signature = callback(signedAttributes, &note);
  if (signature.empty()) return fail(note.empty() ? "la tarjeta no firmo." : note);

  const Bytes cms = BuildSignedData(certificate.der, *key, signedAttributes, signature);
  if (!PatchContents(&section, size_t(contentsOpen - base), reservation, cms))
    return fail("el CMS final (" + std::to_string(cms.size()) + " B) supera la reserva de " +
                std::to_string(reservation) + " B.");

  // The copy is written beside the output and renamed into place only once checked.
  OutputFile output;
  if (!output.CreateBeside(outputPath)) return fail("no se pudo abrir " + outputPath + " para escritura.");
  if (!output.CopyFrom(scan.file(), 0, scan.length()) || !output.Write(section.data(), section.size()) ||
      !output.Close())
    return fail("escritura incompleta de " + outputPath + ".");
  result.size = length;
  scan.CloseFile();

  if (!CheckSignedFile(output.tempPath(), digest))
    return fail("autocomprobacion del ByteRange fallida: no se escribe el PDF firmado.");
  if (!output.Commit()) return fail("no se pudo abrir " + outputPath + " para escritura.");
  result.ok = true;
  result.isSigned = true;
  result.info = note;
  return result;
}

SignResult SignPdf(const std::string& inputPath, const std::string& outputPath,
                   const ParsedCertificate& certificate, uint32_t contentsReservation,
                   const SigningCallback& callback, const SignatureTexts& texts, const StampOptions& stamp) {
  return SignPdfAt(inputPath, outputPath, certificate, contentsReservation, callback, texts, stamp,
                   pades_internal::SigningTimeNow());
}

SignResult SignPdf(const std::string& inputPath, const std::string& outputPath,
                   const ParsedCertificate& certificate, const SigningCallback& callback,
                   const SignatureTexts& texts, const StampOptions& stamp) {
  return SignPdf(inputPath, outputPath, certificate, kDefaultContentsReservation, callback, texts, stamp);
}

SignResult SignPdf(const std::string& inputPath, const std::string& outputPath,
                   const ParsedCertificate& certificate, uint32_t contentsReservation,
                   const SigningCallback& callback, const SignatureTexts& texts) {
  return SignPdf(inputPath, outputPath, certificate, contentsReservation, callback, texts, StampOptions{});
}
