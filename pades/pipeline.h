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
// Guessing says why readers might resolve the input differently from PdfScan: a table that had
// to be repaired, a "startxref" that is not the last revision's, or a chain of sections that
// cannot be read strictly. It returns nothing when every reader agrees.
std::optional<std::string> Guessing(const PdfScan& scan, const std::string& path);
// CatalogUnreadable says why a strict reader could not read the catalog through the sections
// the update will name (all of them listed anew with `complete`), or nothing when it can.
std::optional<std::string> CatalogUnreadable(const PdfScan& scan, const std::string& path, bool complete);
// ScanErrorText is the Spanish text of a PDF that failed to open for signing.
std::string ScanErrorText(ScanStatus status, const std::string& inputPath);

}  // namespace pades_internal
