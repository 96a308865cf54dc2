#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pades/container.h"
#include "pades/pdf_signatures.h"
#include "pades/sign.h"
#include "pades/update_chain.h"
#include "pades/validation_data.h"

// Long-term signatures: the revisions that take signatures to PAdES B-LT and B-LTA, for a new
// signature and for the signatures a document already carries, whoever made them.

// ReadSignatures lists the signatures and document time stamps readers find in the document's
// last revision, in revision order. The structure is read strictly: it returns false, with the
// Spanish reason, when readers could resolve the document differently.
[[nodiscard]] bool ReadSignatures(const std::string& path, std::vector<PdfSignature>* out,
                                  std::string* error);

// AppendValidationData gathers the validation data `subjects` need (using again what the
// document's security store holds) and appends the revision with the new store. It returns
// false with the Spanish reason when anything cannot be fetched or proven; `chain` is then as
// it was.
[[nodiscard]] bool AppendValidationData(UpdateChain* chain, const std::vector<ValidationSubject>& subjects,
                                        const Network& network, std::string* error);

struct ExtendResult {
  bool ok = false;            // the output holds the new revisions and passed the read-back check
  uint64_t size = 0;          // of the file written
  int signatures = 0;         // signatures and document time stamps the data covers
  bool stampedFirst = false;  // a document time stamp was added first to prove when they existed
  std::string error;          // Spanish; empty on success
};

// ExtendPdf takes every signature and document time stamp of `inputPath` to `longTerm.level`
// (B-LT or B-LTA) and writes the result to `outputPath` (which may be the input itself). A
// signature no time stamp covers first gets a document time stamp, so that its certificates'
// status is proven at a known time; then come the validation data and, for B-LTA, a new
// document time stamp over everything, which renews the proof when run again. Earlier bytes are
// never touched. On any failure nothing is written.
ExtendResult ExtendPdf(const std::string& inputPath, const std::string& outputPath,
                       const LongTermOptions& longTerm);

// AppendLongTermRevisions appends what `longTerm.level` adds after the signatures (the
// validation data, and the document time stamp for B-LTA) and the range checks of what it
// sealed. It returns false with the Spanish reason; `chain` is then as it was.
[[nodiscard]] bool AppendLongTermRevisions(UpdateChain* chain, const std::vector<ValidationSubject>& subjects,
                                           const LongTermOptions& longTerm, std::vector<RangeCheck>* checks,
                                           std::string* error);
