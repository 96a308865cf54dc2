#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/sha256.h"
#include "pades/cms.h"
#include "pades/container.h"
#include "pades/file_io.h"
#include "pades/sign.h"
#include "pades/update.h"

// The stages every signature goes through once its document is laid out, shared by the
// incremental update and the sample document: settle the /Contents room with a trial container,
// append the signature dictionary, seal (byte range, digest, the callback's signature, the CMS)
// and write with the read-back check.

// Below this the CMS of any real certificate cannot fit; the caller has nothing to sign with.
inline constexpr uint32_t kMinimumReservation = 512;
// The room settled on whatever the caller asked, unless the trial needs more.
inline constexpr size_t kSettledReservation = 16384;

struct Reservation {
  std::optional<SignerKeyInfo> key;  // empty when no trial was made, or it failed
  size_t bytes = 0;                  // the settled room for the CMS
  std::string error;                 // why the trial failed
};
// SettleReservation builds a trial container with a zero digest and a zero signature of the
// key's length, which has exactly the final container's size. It makes no trial (and returns
// no key and no error) without a callback, a parsed certificate or `requested` of at least
// kMinimumReservation; it returns no key and the error when the key is not RSA or the trial
// does not fit in `requested`. With `timestamp`, the trial carries a token the authority makes
// over a zero value, so the room holds the real one; the authority's failure is the error.
Reservation SettleReservation(const ParsedCertificate& certificate, const SigningCallback& callback,
                              uint32_t requested, const TimestampCallback& timestamp = {});
// The text for a signature that cannot even be tried.
inline constexpr const char* kNoCertificate = "no hay certificado valido para firmar.";

// Absolute positions of the signature dictionary's placeholders.
struct Holes {
  uint64_t byteRange = 0;      // first byte of the 43-character /ByteRange numbers
  uint64_t contentsOpen = 0;   // the "<" of /Contents
  uint64_t contentsClose = 0;  // the ">" that closes it
};
// AppendSignatureDictionary appends the signature dictionary as object `number` with room for
// `reservation` bytes of CMS and records it for the cross-reference section.
Holes AppendSignatureDictionary(UpdateBuffer* update, uint32_t number, const SignatureTexts& texts,
                                std::string_view signingTime, size_t reservation);

struct Sealed {
  bool ok = false;
  Sha256Digest digest{};  // over the file without the /Contents hole
  Bytes cms;              // the container written into /Contents
  std::string note;       // the callback's note
  std::string error;
};
// PatchByteRange writes the /ByteRange of the signature whose revision `update` ends the file
// (everything before it hashed into `baseHash`) and returns the digest of the two ranges.
Sha256Digest PatchByteRange(UpdateBuffer* update, Sha256Context baseHash, const Holes& holes);
// Seal patches /ByteRange of the file that is `update`'s base bytes (already hashed into
// `baseHash`) followed by its text, hashes the two ranges, has the callback sign the signed
// attributes and patches the CMS into /Contents. It fails, with the Spanish text, when the
// callback returns nothing, `timestamp` (when given) returns no token, or the CMS outgrows the room.
Sealed Seal(UpdateBuffer* update, Sha256Context baseHash, const Holes& holes, const Reservation& reservation,
            const ParsedCertificate& certificate, const SigningCallback& callback,
            const TimestampCallback& timestamp = {});

enum class WriteStatus { Written, OpenFailed, Incomplete, CheckFailed };
// WriteChecked writes `input`'s first `inputLength` bytes (when given; the input is closed once
// copied) and then `text` to a temporary file beside `path`, checks a signed file's ranges
// against `digest` (when given), and renames it into place.
WriteStatus WriteChecked(const std::string& path, InputFile* input, uint64_t inputLength,
                         const std::string& text, const Sha256Digest* digest);
// The same, checking each of `checks` (several signatures, or one whose revision is followed by
// others) instead of the file's last /ByteRange.
WriteStatus WriteChecked(const std::string& path, InputFile* input, uint64_t inputLength,
                         const std::string& text, const std::vector<RangeCheck>& checks);
// WriteError is the Spanish text of a failed open or write.
std::string WriteError(WriteStatus status, const std::string& path);
