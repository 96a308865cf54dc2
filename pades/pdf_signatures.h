#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "pades/pdf_scan.h"

// What a signed PDF says about its signatures, read without trusting it: each signature
// field with its signature dictionary (/ByteRange, /Contents and where the latter lies in the
// file), and what the revisions after a signature changed.

struct PdfSignature {
  std::string fieldName;
  int64_t fieldNumber = 0;
  int64_t dictionaryNumber = 0;
  std::string filter, subFilter;
  std::string signingTime;  // /M as written, e.g. "D:20261206101500+00'00'"
  std::vector<int64_t> byteRange;
  // Absolute positions of the "<" and ">" around /Contents; both 0 when it is no hex string
  // of a plain object.
  uint64_t contentsOpen = 0, contentsClose = 0;
  Bytes contents;     // the decoded /Contents, padding included
  std::string error;  // why the dictionary could not be read; empty when it was
  // The end of the signed bytes (the second range's end); 0 when /ByteRange is unusable.
  uint64_t SignedEnd() const;
};

// FindSignatures lists the signed signature fields of an opened document, ordered by where
// their signed bytes end (revision order). A field whose value is missing is left out; one
// whose dictionary cannot be read comes back with `error` set.
std::vector<PdfSignature> FindSignatures(PdfScan* scan);

// ByteRangeFault is what is wrong with a signature's /ByteRange, if anything.
enum class ByteRangeFault {
  None,
  Malformed,     // not four non-negative numbers
  NotFromStart,  // the first range does not start at 0
  Outside,       // the ranges pass the end of the file (a truncated file)
  NotTheHole,    // the gap between the ranges is not exactly the /Contents string
};
ByteRangeFault CheckByteRange(const PdfSignature& signature, uint64_t fileLength);

// RevisionChange is one object that a later revision added, changed or removed.
struct RevisionChange {
  int64_t number = 0;
  bool allowed = false;  // a signature, field, widget, annotation, form filling or metadata
  std::string what;      // Spanish, e.g. "pagina 2 modificada"
};

struct Coverage {
  int revision = 0;   // 1-based: the revision whose end the signed bytes reach
  int revisions = 0;  // in the whole file
  bool wholeFile = false;
  bool completeRevision = false;  // the signed bytes end right after a "%%EOF"
  std::vector<RevisionChange> changes;
  bool modified = false;    // some change is not allowed
  bool unreadable = false;  // the cross-reference chain could not be read
};
// ClassifyLaterRevisions compares every object that the sections written after `signedEnd`
// define with its definition in the signed revision.
Coverage ClassifyLaterRevisions(PdfScan* scan, uint64_t signedEnd);

// DecodePdfString decodes a literal "(...)" or hex "<...>" string; a UTF-16BE one (with its
// byte-order mark) comes back as UTF-8.
std::string DecodePdfString(std::string_view value);
