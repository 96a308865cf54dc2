#include "pades/sign.h"

#include <algorithm>
#include <ctime>

#include "core/text.h"
#include "pades/cms.h"
#include "pades/container.h"
#include "pades/field.h"
#include "pades/file_io.h"
#include "pades/long_term.h"
#include "pades/pdf_revision.h"
#include "pades/pdf_scan.h"
#include "pades/pdf_syntax.h"
#include "pades/pdf_value.h"
#include "pades/pdfa.h"
#include "pades/pipeline.h"
#include "pades/seal.h"
#include "pades/update_chain.h"

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

std::string ScanErrorText(ScanStatus status, const std::string& inputPath) {
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

namespace {

// ListedRecords are the cross-reference records of a section that lists every object where
// PdfScan found it.
std::vector<XrefRecord> ListedRecords(const PdfScan& scan) {
  std::vector<XrefRecord> records;
  for (const IndexEntry& e : scan.index()) {
    XrefRecord record;
    record.number = e.number;
    record.kind = e.compressed ? XrefRecord::Kind::Compressed : XrefRecord::Kind::Plain;
    record.generation = e.generation;
    record.offset = e.offset;
    record.index = e.streamIndex;
    records.push_back(record);
  }
  std::sort(records.begin(), records.end(),
            [](const XrefRecord& a, const XrefRecord& b) { return a.number < b.number; });
  return records;
}

}  // namespace

StrictReading ReadStrictly(const PdfScan& scan, const std::string& path) {
  StrictReading out;
  PdfFile file;
  if (!file.Open(path)) {
    out.refusal = "no se pudo releer " + path + ".";
    return out;
  }
  PdfRevisionReader reader(&file);
  const std::optional<uint64_t> end = reader.LastRevisionEnd();
  const std::optional<uint64_t> startxref = end ? reader.RevisionStartxref(*end) : std::nullopt;
  std::vector<const XrefSectionData*> chain;
  std::string error;
  const bool closes = startxref && *startxref == uint64_t(scan.startxref());
  out.complete = scan.repaired() || !closes || !reader.Chain(uint64_t(scan.startxref()), &chain, &error);
  XrefSectionData listed;
  if (out.complete) {
    listed.records = ListedRecords(scan);
    chain = {&listed};
  }
  // The update keeps the catalog where it is: a verifier must reach it through these sections.
  PdfRevision revision(&reader, chain);
  PdfObject catalog;
  error.clear();
  const PdfRevision::Load load = revision.LoadObject(scan.root(), &catalog, &error);
  if (load == PdfRevision::Load::Null) error = "el catalogo no esta en uso";
  if (load == PdfRevision::Load::Ok && (catalog.opaque || !catalog.value.Is(PdfValue::Type::Dictionary)))
    error = "el catalogo no es un diccionario";
  if (load != PdfRevision::Load::Ok || !error.empty())
    out.refusal = "el catalogo del PDF solo se puede leer adivinando (" + error +
                  "); los lectores no coinciden y no se firma.";
  return out;
}

}  // namespace pades_internal

namespace {

void AddWarning(SignResult* result, const std::string& warning) {
  result->warning += (result->warning.empty() ? "" : " ") + warning;
}

// Unclear says whether a dictionary the update rewrites cannot be read strictly, or names a key
// twice: readers disagree on what it holds, so a signer cannot know what it would be adding to.
bool Unclear(std::string_view body) {
  const std::string text = "<<" + std::string(body) + ">> ";
  size_t pos = 0;
  PdfValue value;
  return ParsePdfValue(text, &pos, &value) != ParseStatus::Ok || value.repeatedKey;
}

// PlanObjects chooses the stamp pages, reads the reference page, names the field after the
// earlier signatures, and numbers the new objects. The page-list warning and the notice about
// earlier signatures go into `result`; a failure's text is returned.
std::optional<std::string> PlanObjects(UpdateChain* chain, const StampOptions& stamp,
                                       const SignatureTexts& texts, std::string_view signingTime,
                                       FieldObjects* plan, SignResult* result) {
  PdfScan* scan = &chain->scan();
  const std::vector<int64_t>& pages = scan->pages();
  const std::vector<size_t> stampIndices = ChooseStampPages(stamp, pages.size());
  if (stamp.mode == StampMode::PageList && !stamp.pageList.empty() && stampIndices.empty())
    result->warning = "stampList \"" + stamp.pageList +
                      "\" no contiene indices validos para este documento (" + std::to_string(pages.size()) +
                      " paginas); se usa firma invisible.";

  FieldObjects& objects = *plan;
  objects.referencePage = pages[stampIndices.empty() ? pages.size() - 1 : stampIndices[0]];
  if (!scan->ReadObjectDict(objects.referencePage, &objects.referenceBody))
    return "la pagina de referencia del PDF no es un diccionario legible.";

  const AcroFormFound& acroForm = chain->form().acroForm;
  bool unclear = Unclear(scan->catalog()) || Unclear(objects.referenceBody) ||
                 (acroForm.kind != AcroFormFound::Kind::None && Unclear(acroForm.body));
  for (size_t index : stampIndices) {
    std::string body;
    unclear = unclear || (scan->ReadObjectDict(pages[index], &body) && Unclear(body));
  }
  if (unclear)
    return "el catalogo, el formulario o una pagina del PDF estan mal escritos (una clave repetida o un "
           "valor "
           "ilegible); los lectores no coinciden en lo que dicen y no se firma.";
  std::set<std::string>& names = chain->fieldNames();
  objects.fieldName = FieldName(names);
  if (!names.empty())
    result->info = "el documento ya contenia " + std::to_string(names.size()) +
                   " firma(s); se anade otra sin alterar las anteriores.";
  names.insert(objects.fieldName);

  objects.archival = chain->form().archival;
  if (!stampIndices.empty()) {
    std::string warning;
    if (auto error = LayOutStamp(StampLines(texts.name, signingTime), objects.archival, &objects, &warning))
      return error;
    if (!warning.empty()) AddWarning(result, warning);
  }

  // A new AcroForm is needed whenever none can be read, also when the catalog's reference to
  // one is dangling, so that its number never collides with the field's.
  if (acroForm.kind == AcroFormFound::Kind::None) objects.newAcroForm = chain->Allocate();
  objects.field = chain->Allocate();
  for (size_t i = 1; i < stampIndices.size(); ++i) objects.stamps.push_back(chain->Allocate());
  if (!stampIndices.empty() && NeedsAppearances(acroForm)) {
    FieldObjects::Companion companion;
    companion.annotation = chain->Allocate();
    companion.blank = chain->Allocate();
    objects.companion = companion;
  }
  if (!stampIndices.empty()) {
    objects.font = chain->Allocate();
    for (uint32_t i = 1; objects.embeddedFont && i < kStampFontObjects; ++i) chain->Allocate();
    objects.appearance = chain->Allocate();
  }
  objects.signature = chain->Allocate();
  if (!chain->CanEnd()) return kTooManyObjects;
  for (size_t index : stampIndices) objects.stampPages.push_back(pages[index]);
  return std::nullopt;
}

}  // namespace

SignResult SignPdfAt(const std::string& inputPath, const std::string& outputPath,
                     const ParsedCertificate& certificate, uint32_t contentsReservation,
                     const SigningCallback& callback, const SignatureTexts& givenTexts,
                     const StampOptions& stamp, std::string_view signingTime,
                     const TimestampCallback& timestamp, const LongTermOptions* longTerm) {
  SignResult result;
  const SignatureTexts texts = pades_internal::WithDefaults(givenTexts, certificate);
  auto fail = [&](std::string message) {
    result.error = std::move(message);
    return result;
  };
  const bool longTermLevel = longTerm && longTerm->level >= SignatureLevel::BLT;
  if (longTermLevel && !timestamp)
    return fail("B-LT y B-LTA necesitan el sello de tiempo de la firma (--tsa).");

  PdfScan scan;
  if (ScanStatus status = scan.Open(inputPath); status != ScanStatus::Ok)
    return fail(pades_internal::ScanErrorText(status, inputPath));
  // When readers might resolve the input differently, the update lists every object as it was
  // read, and no /Prev leads them back into what they might resolve otherwise.
  const pades_internal::StrictReading reading = pades_internal::ReadStrictly(scan, inputPath);
  if (!reading.refusal.empty()) return fail(reading.refusal);
  UpdateChain chain(&scan, reading.complete);
  FieldObjects plan;
  if (auto error = PlanObjects(&chain, stamp, texts, signingTime, &plan, &result)) return fail(*error);

  UpdateBuffer* update = chain.Begin();
  WriteFieldObjects(update, &scan, plan, &chain.form());

  const Reservation reservation = SettleReservation(certificate, callback, contentsReservation, timestamp);
  if (!reservation.error.empty()) return fail(reservation.error);
  if (!reservation.key) return fail(kNoCertificate);

  const Holes holes =
      AppendSignatureDictionary(update, plan.signature, texts, signingTime, reservation.bytes);
  // The update's cross-reference takes the form of the input's newest section.
  if (!chain.End()) return fail(kTooManyObjects);
  if (chain.Length() > PdfScan::kMaxSignedFileSize)
    return fail(pades_internal::ScanErrorText(ScanStatus::TooLarge, inputPath));

  const Sealed sealed =
      Seal(update, chain.HashBefore(update), holes, reservation, certificate, callback, timestamp);
  if (!sealed.ok) return fail(sealed.error);

  WriteStatus written;
  if (longTermLevel) {
    std::vector<RangeCheck> checks = {
        {holes.byteRange, holes.contentsOpen, holes.contentsClose, update->Offset(), sealed.digest}};
    Bytes contents = sealed.cms;
    contents.resize(reservation.bytes, 0);
    ValidationSubject subject;
    bool stamped = false;
    std::string error;
    if (!SubjectOfContents(contents, int64_t(std::time(nullptr)), &subject, &stamped, &error) ||
        !AppendLongTermRevisions(&chain, {subject}, *longTerm, &checks, &error))
      return fail(error);
    if (chain.Length() > PdfScan::kMaxSignedFileSize)
      return fail(pades_internal::ScanErrorText(ScanStatus::TooLarge, inputPath));
    written = WriteChecked(outputPath, &scan.file(), scan.length(), chain.Tail(), checks);
  } else {
    written = WriteChecked(outputPath, &scan.file(), scan.length(), chain.Tail(), &sealed.digest);
  }
  if (written == WriteStatus::CheckFailed) {
    result.size = chain.Length();
    return fail("autocomprobacion del ByteRange fallida: no se escribe el PDF firmado.");
  }
  if (written != WriteStatus::Written) return fail(WriteError(written, outputPath));
  result.size = chain.Length();
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
                   const ParsedCertificate& certificate, uint32_t contentsReservation,
                   const SigningCallback& callback, const SignatureTexts& texts, const StampOptions& stamp,
                   const TimestampCallback& timestamp, const LongTermOptions& longTerm) {
  return SignPdfAt(inputPath, outputPath, certificate, contentsReservation, callback, texts, stamp,
                   pades_internal::SigningTimeNow(), timestamp, &longTerm);
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
