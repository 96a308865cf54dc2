#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "pades/pdf_scan.h"
#include "pades/sign.h"

// The engine's entry points with the signing time given ("%y%m%d%H%M%SZ", UTC), so that tests
// can compare output byte for byte. SignPdf and CreateSignedSample take the current time.
SignResult SignPdfAt(const std::string& inputPath, const std::string& outputPath,
                     const ParsedCertificate& certificate, uint32_t contentsReservation,
                     const SigningCallback& callback, const SignatureTexts& texts, const StampOptions& stamp,
                     std::string_view signingTime, const TimestampCallback& timestamp = {},
                     const LongTermOptions* longTerm = nullptr);
SignResult CreateSignedSampleAt(const std::string& outputPath, const std::string& pageText,
                                const ParsedCertificate& certificate, uint32_t contentsReservation,
                                const SigningCallback& callback, const SignatureTexts& texts,
                                std::string_view signingTime);

namespace pades_internal {

// The texts with their defaults filled in.
SignatureTexts WithDefaults(const SignatureTexts& texts, const ParsedCertificate& certificate);
// The signing time of a new signature: the current UTC time as "%y%m%d%H%M%SZ".
std::string SigningTimeNow();
// StrictReading is what a strict reader makes of the input PdfScan read. `complete`: readers
// might resolve it otherwise (a repaired table, a "startxref" that does not close the last
// revision, a chain of sections that cannot be read strictly), so the update must list every
// object anew, without /Prev. `refusal`: even so the catalog could not be read strictly, and a
// verifier would find no signature in the copy.
struct StrictReading {
  bool complete = false;
  std::string refusal;
};
StrictReading ReadStrictly(const PdfScan& scan, const std::string& path);
// ScanErrorText is the Spanish text of a PDF that failed to open for signing.
std::string ScanErrorText(ScanStatus status, const std::string& inputPath);

}  // namespace pades_internal
