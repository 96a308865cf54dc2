#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/bytes.h"
#include "core/sha256.h"
#include "pades/sign.h"

// The signature dictionary and its two fixed-width placeholders: /ByteRange, patched once the
// file's length is known, and /Contents, a hole of zeros that later takes the CMS in hex. Both
// patches keep every length, so no offset in the file moves.

// Positions inside the dictionary text, relative to its first byte.
struct SignaturePlaceholders {
  size_t byteRange = 0;      // first byte of the 43-character /ByteRange numbers
  size_t contentsOpen = 0;   // the "<" of /Contents
  size_t contentsClose = 0;  // the ">" that closes it
};

// SignatureDictionary is the whole "N 0 obj ... endobj" text of the signature dictionary with
// room for `reservation` bytes of CMS.
std::string SignatureDictionary(uint32_t number, const SignatureTexts& texts, std::string_view signingTime,
                                size_t reservation, SignaturePlaceholders* placeholders);

// DocumentTimestampDictionary is the dictionary of a document time stamp (ISO 32000-2, 12.8.5):
// an RFC 3161 token over the file's byte ranges, with room for `reservation` bytes of token.
std::string DocumentTimestampDictionary(uint32_t number, size_t reservation,
                                        SignaturePlaceholders* placeholders);

// ByteRangeText renders the four /ByteRange numbers for a hole [open, close] in a file of
// `length` bytes, zero-padded to ten digits each (43 characters for files below 4 GiB).
std::string ByteRangeText(uint64_t open, uint64_t close, uint64_t length);

// PatchContents writes the CMS in upper-case hex, padded with zeros, between the "<" at
// `open` and its ">". It returns false, changing nothing, when the hex is longer than the hole.
bool PatchContents(std::string* text, size_t open, size_t reservation, const Bytes& cms);

// RangeCheck is one signature of a file being written: where its /ByteRange numbers stand, the
// hole they must describe, where its revision ends, and the digest of its two ranges.
struct RangeCheck {
  uint64_t byteRange = 0, contentsOpen = 0, contentsClose = 0, end = 0;
  Sha256Digest digest{};
};
// CheckSignedRanges reads a written file back in one pass: each check's /ByteRange must read as
// exactly its hole and its end, and its two ranges must hash to its digest.
bool CheckSignedRanges(const std::string& path, const std::vector<RangeCheck>& checks);

// CheckSignedFile reads a signed file back: its last /ByteRange must describe two ranges that
// cover the whole file except one hole, and their SHA-256 must equal `expected`.
bool CheckSignedFile(const std::string& path, const Sha256Digest& expected);
