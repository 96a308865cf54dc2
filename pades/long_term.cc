#include "pades/long_term.h"

#include <algorithm>
#include <ctime>
#include <limits>

#include "pades/cms_reader.h"
#include "pades/doc_graph.h"
#include "pades/doc_timestamp.h"
#include "pades/dss.h"
#include "pades/pdf_revision.h"
#include "pades/pdf_signatures.h"
#include "pades/pipeline.h"
#include "pades/seal.h"
#include "pades/tsa.h"

namespace {

constexpr int64_t kNoTimestamp = std::numeric_limits<int64_t>::max();

// TimestampTime is a document time stamp's time, or kNoTimestamp for anything else.
int64_t TimestampTime(const Bytes& contents) {
  CmsSignedData cms;
  TstInfo info;
  if (!ParseCmsSignedData(contents, &cms) || cms.contentType != cms_oid::kTstInfo || !cms.content ||
      !ParseTstInfo(*cms.content, &info))
    return kNoTimestamp;
  return info.genTimeSeconds;
}

// Subjects reads what every signature of the document needs validated. A signature proven
// by neither a time stamp of its own nor a later document time stamp is listed in `unproven`,
// its certificates' status taken at `fallback`.
bool Subjects(const std::vector<PdfSignature>& found, int64_t fallback, std::vector<ValidationSubject>* out,
              std::vector<size_t>* unproven, std::string* error) {
  std::vector<int64_t> stamps;
  for (const PdfSignature& signature : found) stamps.push_back(TimestampTime(signature.contents));
  for (size_t i = 0; i < found.size(); ++i) {
    // The earliest document time stamp whose bytes reach past this signature's covers it.
    int64_t later = kNoTimestamp;
    for (size_t j = 0; j < found.size(); ++j)
      if (stamps[j] != kNoTimestamp && found[j].SignedEnd() > found[i].SignedEnd())
        later = std::min(later, stamps[j]);
    ValidationSubject subject;
    bool stamped = false;
    std::string why;
    if (!SubjectOfContents(found[i].contents, later == kNoTimestamp ? fallback : later, &subject, &stamped,
                           &why)) {
      *error = "la firma " + found[i].fieldName + " no se puede ampliar: " + why;
      return false;
    }
    if (!stamped && later == kNoTimestamp) unproven->push_back(i);
    out->push_back(std::move(subject));
  }
  return true;
}

}  // namespace

bool ReadSignatures(const std::string& path, std::vector<PdfSignature>* out, std::string* error) {
  PdfFile file;
  if (!file.Open(path)) return *error = "no se pudo leer " + path + ".", false;
  PdfRevisionReader reader(&file);
  const std::optional<uint64_t> end = reader.LastRevisionEnd();
  const std::optional<uint64_t> startxref = end ? reader.RevisionStartxref(*end) : std::nullopt;
  std::vector<const XrefSectionData*> chain;
  std::string reason = "el ultimo 'startxref' no cierra una revision";
  if (!startxref || !reader.Chain(*startxref, &chain, &reason))
    return *error = "las referencias cruzadas del PDF estan danadas (" + reason + "); no se amplia.", false;
  PdfRevision current(&reader, std::move(chain));
  *out = FindSignatures(&current, WalkDocument(&current, {}, false));
  return true;
}

bool AppendValidationData(UpdateChain* chain, const std::vector<ValidationSubject>& subjects,
                          const Network& network, std::string* error) {
  const SecurityStore store = ReadSecurityStore(&chain->scan(), chain->form().catalog);
  ValidationData data;
  if (!GatherValidationData(subjects, Embedded(store), network, int64_t(std::time(nullptr)), &data, error))
    return false;
  const UpdateChain before = *chain;
  if (AppendSecurityStore(chain, store, data, error)) return true;
  *chain = before;
  return false;
}

bool AppendLongTermRevisions(UpdateChain* chain, const std::vector<ValidationSubject>& subjects,
                             const LongTermOptions& longTerm, std::vector<RangeCheck>* checks,
                             std::string* error) {
  if (longTerm.level < SignatureLevel::BLT) return true;
  const UpdateChain before = *chain;
  if (!AppendValidationData(chain, subjects, longTerm.network, error)) return false;
  if (longTerm.level < SignatureLevel::BLTA) return true;
  if (!longTerm.documentTimestamp) {
    *chain = before;
    *error = "B-LTA necesita una autoridad de sellado de tiempo para el documento.";
    return false;
  }
  const DocumentTimestamp stamp = AppendDocumentTimestamp(chain, longTerm.documentTimestamp);
  if (!stamp.ok) {
    *chain = before;
    *error = stamp.error;
    return false;
  }
  checks->push_back(stamp.check);
  return true;
}

ExtendResult ExtendPdf(const std::string& inputPath, const std::string& outputPath,
                       const LongTermOptions& longTerm) {
  ExtendResult result;
  auto fail = [&](std::string message) {
    result.error = std::move(message);
    return result;
  };
  PdfScan scan;
  if (ScanStatus status = scan.Open(inputPath); status != ScanStatus::Ok)
    return fail(pades_internal::ScanErrorText(status, inputPath));
  std::vector<PdfSignature> found;
  std::string error;
  if (!ReadSignatures(inputPath, &found, &error)) return fail(error);
  if (found.empty()) return fail("el documento no contiene firmas que ampliar.");
  for (const PdfSignature& signature : found)
    if (!signature.error.empty())
      return fail("la firma " + signature.fieldName + " no se puede ampliar: " + signature.error + ".");

  const int64_t now = int64_t(std::time(nullptr));
  std::vector<ValidationSubject> subjects;
  std::vector<size_t> unproven;
  if (!Subjects(found, now, &subjects, &unproven, &error)) return fail(error);

  const pades_internal::StrictReading reading = pades_internal::ReadStrictly(scan, inputPath);
  if (!reading.refusal.empty()) return fail(reading.refusal);
  UpdateChain chain(&scan, reading.complete);
  std::vector<RangeCheck> checks;
  if (!unproven.empty()) {
    // B-T first: a document time stamp proves when the unstamped signatures existed, and their
    // certificates' status is then taken after that time (ETSI EN 319 142-1, 5.4.3).
    if (!longTerm.documentTimestamp) return fail("falta la autoridad de sellado de tiempo (--tsa).");
    const DocumentTimestamp stamp = AppendDocumentTimestamp(&chain, longTerm.documentTimestamp);
    if (!stamp.ok) return fail(stamp.error);
    checks.push_back(stamp.check);
    ValidationSubject subject;
    bool stamped = false;
    if (!SubjectOfContents(stamp.contents, now, &subject, &stamped, &error)) return fail(error);
    const int64_t stampTime = subject.leaves[0].provenTime;
    for (size_t i : unproven) subjects[i].leaves[0].provenTime = stampTime;
    subjects.push_back(std::move(subject));
    result.stampedFirst = true;
  }
  if (!AppendLongTermRevisions(&chain, subjects, longTerm, &checks, &error)) return fail(error);
  if (chain.Length() > PdfScan::kMaxSignedFileSize)
    return fail(pades_internal::ScanErrorText(ScanStatus::TooLarge, inputPath));

  const WriteStatus written = WriteChecked(outputPath, &scan.file(), scan.length(), chain.Tail(), checks);
  if (written == WriteStatus::CheckFailed)
    return fail("autocomprobacion del ByteRange fallida: no se escribe el PDF ampliado.");
  if (written != WriteStatus::Written) return fail(WriteError(written, outputPath));
  result.ok = true;
  result.size = chain.Length();
  return result;
}
