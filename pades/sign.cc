#include "pades/sign.h"

#include <algorithm>

#include "core/text.h"
#include "pades/cms.h"
#include "pades/container.h"
#include "pades/field.h"
#include "pades/file_io.h"
#include "pades/pdf_revision.h"
#include "pades/pdf_scan.h"
#include "pades/pdf_value.h"
#include "pades/pdf_syntax.h"
#include "pades/pdfa.h"
#include "pades/pipeline.h"
#include "pades/seal.h"

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

std::string OpenError(ScanStatus status, const std::string& inputPath) {
  switch (status) {
    case ScanStatus::Ok: return "";
    case ScanStatus::Unreadable: return "no se pudo leer " + inputPath + ".";
    case ScanStatus::NotPdf: return inputPath + " no es un PDF.";
    case ScanStatus::NotRegular: return inputPath + " no es un fichero normal.";
    case ScanStatus::TooLarge:
      return "el PDF es demasiado grande para firmarlo: el /ByteRange admite como maximo 4294967295 bytes.";
    case ScanStatus::NoStartxref: return "el PDF no tiene 'startxref': no es un PDF valido.";
    case ScanStatus::StartxrefOutside: return "el 'startxref' del PDF apunta fuera del fichero.";
    case ScanStatus::BadTrailer: return "no se pudo leer el trailer del PDF (xref ilegible).";
    case ScanStatus::NoRoot: return "el trailer del PDF no tiene /Root.";
    case ScanStatus::Encrypted: return "el PDF esta cifrado; no se puede firmar.";
    case ScanStatus::StreamTooLarge:
      return "el PDF contiene un flujo comprimido que se expande mas de lo admitido (posible bomba de "
             "descompresion); no se firma.";
    case ScanStatus::OverBudget:
      return "el PDF obliga a leer muchos mas datos de los que contiene para localizar sus objetos "
             "(estructura anomala); no se firma.";
    case ScanStatus::NoObjects:
      return "el PDF no contiene objetos legibles (probablemente todo el arbol esta en un ObjStm).";
    case ScanStatus::BadCatalog: return "el catalogo del PDF no es un diccionario legible.";
    case ScanStatus::NoPagesReference: return "el catalogo no apunta a /Pages por referencia.";
    case ScanStatus::NoPages: return "no se localizo ninguna pagina en el arbol del PDF.";
  }
  return "";
}

void AddWarning(SignResult* result, const std::string& warning) {
  result->warning += (result->warning.empty() ? "" : " ") + warning;
}

// SignaturePlan is what the update writes for one signature: the field's objects and their
// numbers, and the AcroForm they join.
struct SignaturePlan {
  FieldObjects objects;
  AcroFormFound acroForm;
  int64_t size = 0;                    // the new trailer's /Size
  std::optional<uint32_t> xrefStream;  // the cross-reference stream's number, when one is written
  // The input's structure leaves room for guessing: the update lists every object as it was
  // read, and no /Prev leads readers back into what they might resolve otherwise.
  bool complete = false;
};

// Guessing says why readers might resolve the input differently from this reader: a table
// that had to be repaired, a "startxref" that is not the last revision's, or a chain of
// sections that cannot be read strictly. It returns nothing when every reader agrees.
std::optional<std::string> Guessing(const PdfScan& scan, const std::string& path) {
  if (scan.repaired()) return "tabla de referencias cruzadas reconstruida";
  PdfFile file;
  if (!file.Open(path)) return "no se pudo releer";
  PdfRevisionReader reader(&file);
  const std::optional<uint64_t> end = reader.LastRevisionEnd();
  const std::optional<uint64_t> startxref = end ? reader.RevisionStartxref(*end) : std::nullopt;
  if (!startxref || *startxref != uint64_t(scan.startxref())) return "el ultimo 'startxref' no cierra una revision";
  std::vector<const XrefSectionData*> chain;
  std::string error;
  if (!reader.Chain(*startxref, &chain, &error)) return error;
  return std::nullopt;
}

// Unclear says whether a dictionary the update rewrites cannot be read strictly, or names a key
// twice: readers disagree on what it holds, so a signer cannot know what it would be adding to.
bool Unclear(std::string_view body) {
  const std::string text = "<<" + std::string(body) + ">> ";
  size_t pos = 0;
  PdfValue value;
  return ParsePdfValue(text, &pos, &value) != ParseStatus::Ok || value.repeatedKey;
}

// PlanObjects chooses the stamp pages, reads the reference page, finds the AcroForm and the
// earlier signatures, and numbers the new objects. The page-list warning and the notice about
// earlier signatures go into `result`; a failure's text is returned.
std::optional<std::string> PlanObjects(PdfScan* scan, const StampOptions& stamp, const SignatureTexts& texts,
                                       std::string_view signingTime, SignaturePlan* plan,
                                       SignResult* result) {
  const std::vector<int64_t>& pages = scan->pages();
  const std::vector<size_t> stampIndices = ChooseStampPages(stamp, pages.size());
  if (stamp.mode == StampMode::PageList && !stamp.pageList.empty() && stampIndices.empty())
    result->warning = "stampList \"" + stamp.pageList +
                      "\" no contiene indices validos para este documento (" + std::to_string(pages.size()) +
                      " paginas); se usa firma invisible.";

  FieldObjects& objects = plan->objects;
  objects.referencePage = pages[stampIndices.empty() ? pages.size() - 1 : stampIndices[0]];
  if (!scan->ReadObjectDict(objects.referencePage, &objects.referenceBody))
    return "la pagina de referencia del PDF no es un diccionario legible.";

  plan->acroForm = FindAcroForm(scan, scan->catalog());
  bool unclear = Unclear(scan->catalog()) || Unclear(objects.referenceBody) ||
                 (plan->acroForm.kind != AcroFormFound::Kind::None && Unclear(plan->acroForm.body));
  for (size_t index : stampIndices) {
    std::string body;
    unclear = unclear || (scan->ReadObjectDict(pages[index], &body) && Unclear(body));
  }
  if (unclear)
    return "el catalogo, el formulario o una pagina del PDF estan mal escritos (una clave repetida o un valor "
           "ilegible); los lectores no coinciden en lo que dicen y no se firma.";
  const std::set<std::string> names = CollectSignatureNames(*scan);
  objects.fieldName = FieldName(names);
  if (!names.empty())
    result->info = "el documento ya contenia " + std::to_string(names.size()) +
                   " firma(s); se anade otra sin alterar las anteriores.";

  objects.archival = ReadPdfaClaim(scan).part > 0;
  if (!stampIndices.empty()) {
    std::string warning;
    if (auto error = LayOutStamp(StampLines(texts.name, signingTime), objects.archival, &objects, &warning))
      return error;
    if (!warning.empty()) AddWarning(result, warning);
  }

  // New objects are numbered from past both /Size and the highest number in use. A new
  // AcroForm is needed whenever none can be read, also when the catalog's reference to one is
  // dangling, so that its number never collides with the field's.
  int64_t next = std::max<int64_t>(scan->declaredSize(), scan->highestNumber() + 1);
  if (plan->acroForm.kind == AcroFormFound::Kind::None) objects.newAcroForm = uint32_t(next++);
  objects.field = uint32_t(next++);
  for (size_t i = 1; i < stampIndices.size(); ++i) objects.stamps.push_back(uint32_t(next++));
  if (!stampIndices.empty() && NeedsAppearances(plan->acroForm)) {
    FieldObjects::Companion companion;
    companion.annotation = uint32_t(next++);
    companion.blank = uint32_t(next++);
    objects.companion = companion;
  }
  if (!stampIndices.empty()) {
    objects.font = uint32_t(next);
    next += objects.embeddedFont ? kStampFontObjects : 1;
    objects.appearance = uint32_t(next++);
  }
  objects.signature = uint32_t(next++);
  const bool compressed =
      std::any_of(scan->index().begin(), scan->index().end(), [](const IndexEntry& e) { return e.compressed; });
  if (scan->newestSectionIsStream() || (plan->complete && compressed)) plan->xrefStream = uint32_t(next++);
  // Readers refuse larger numbers (ISO 32000-1 Annex C), so the update could not be read.
  if (next - 1 > kMaxObjectNumber)
    return "el PDF usa numeros de objeto por encima de 8388607, el maximo que admiten los lectores; no se "
           "puede firmar.";
  plan->size = next;
  for (size_t index : stampIndices) objects.stampPages.push_back(pages[index]);
  objects.catalogNumber = scan->root();
  return std::nullopt;
}

// UpdateTrailer chains the update to the input's newest section and keeps its first
// identifier; the second is new, from the input's digest.
TrailerFields UpdateTrailer(const PdfScan& scan, const SignaturePlan& plan) {
  Sha256Context inputHash = scan.hashAfterInput();
  const Sha256Digest inputDigest = inputHash.Final();
  TrailerFields trailer;
  trailer.size = uint32_t(plan.size);
  trailer.root = scan.root();
  trailer.rootGeneration = scan.Generation(scan.root());
  if (!plan.complete) trailer.prev = scan.startxref();
  if (auto info = FindValue(scan.trailer(), "Info")) {
    size_t pos = 0;
    if (std::optional<Reference> ref = ReadReference(*info, &pos))
      trailer.info = std::to_string(ref->number) + " " + std::to_string(ref->generation) + " R";
  }
  const std::string second = HexEncode(inputDigest.data(), 16);
  trailer.id = {scan.firstIdentifier().value_or(second), second};
  return trailer;
}

}  // namespace

SignResult SignPdfAt(const std::string& inputPath, const std::string& outputPath,
                     const ParsedCertificate& certificate, uint32_t contentsReservation,
                     const SigningCallback& callback, const SignatureTexts& givenTexts,
                     const StampOptions& stamp, std::string_view signingTime,
                     const TimestampCallback& timestamp) {
  SignResult result;
  const SignatureTexts texts = pades_internal::WithDefaults(givenTexts, certificate);
  auto fail = [&](std::string message) {
    result.error = std::move(message);
    return result;
  };

  PdfScan scan;
  if (ScanStatus status = scan.Open(inputPath); status != ScanStatus::Ok)
    return fail(OpenError(status, inputPath));
  SignaturePlan plan;
  plan.complete = Guessing(scan, inputPath).has_value();
  if (auto error = PlanObjects(&scan, stamp, texts, signingTime, &plan, &result)) return fail(*error);

  UpdateBuffer update(scan.length());
  if (scan.lastByte() != '\n' && scan.lastByte() != '\r') update.text() += '\n';
  if (plan.complete)
    for (const IndexEntry& e : scan.index())
      update.Keep({uint32_t(e.number), e.offset, e.generation, e.compressed, e.streamIndex});
  WriteFieldObjects(&update, &scan, plan.objects, plan.acroForm);

  const Reservation reservation = SettleReservation(certificate, callback, contentsReservation, timestamp);
  if (!reservation.error.empty()) return fail(reservation.error);
  if (!reservation.key) return fail(kNoCertificate);

  const Holes holes =
      AppendSignatureDictionary(&update, plan.objects.signature, texts, signingTime, reservation.bytes);
  // The update's cross-reference takes the form of the input's newest section.
  if (plan.xrefStream) {
    WriteXrefStream(&update, UpdateTrailer(scan, plan), *plan.xrefStream);
  } else {
    WriteXrefAndTrailer(&update, UpdateTrailer(scan, plan), plan.complete ? XrefLayout::WholeFile : XrefLayout::PerObject);
  }
  if (update.Offset() > PdfScan::kMaxSignedFileSize) return fail(OpenError(ScanStatus::TooLarge, inputPath));

  const Sealed sealed =
      Seal(&update, scan.hashAfterInput(), holes, reservation, certificate, callback, timestamp);
  if (!sealed.ok) return fail(sealed.error);

  const WriteStatus written =
      WriteChecked(outputPath, &scan.file(), scan.length(), update.text(), &sealed.digest);
  if (written == WriteStatus::CheckFailed) {
    result.size = update.Offset();
    return fail("autocomprobacion del ByteRange fallida: no se escribe el PDF firmado.");
  }
  if (written != WriteStatus::Written) return fail(WriteError(written, outputPath));
  result.size = update.Offset();
  result.ok = true;
  result.isSigned = true;
  // The notice about earlier signatures stays in front of the callback's note.
  if (!sealed.note.empty()) result.info += (result.info.empty() ? "" : " ") + sealed.note;
  return result;
}

SignResult SignPdf(const std::string& inputPath, const std::string& outputPath,
                   const ParsedCertificate& certificate, uint32_t contentsReservation,
                   const SigningCallback& callback, const SignatureTexts& texts, const StampOptions& stamp) {
  return SignPdfAt(inputPath, outputPath, certificate, contentsReservation, callback, texts, stamp,
                   pades_internal::SigningTimeNow());
}

SignResult SignPdf(const std::string& inputPath, const std::string& outputPath,
                   const ParsedCertificate& certificate, uint32_t contentsReservation,
                   const SigningCallback& callback, const SignatureTexts& texts, const StampOptions& stamp,
                   const TimestampCallback& timestamp) {
  return SignPdfAt(inputPath, outputPath, certificate, contentsReservation, callback, texts, stamp,
                   pades_internal::SigningTimeNow(), timestamp);
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
