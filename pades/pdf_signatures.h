#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "pades/coverage.h"
#include "pades/doc_graph.h"
#include "pades/pdf_revision.h"

// What a signed PDF says about its signatures, read without trusting it: each signature
// dictionary that a signature field of the form resolves to, once however many fields share
// it, with its /ByteRange, its /Contents and where that string lies in the file.

struct PdfSignature {
  std::string fieldName;
  int64_t fieldNumber = 0;
  int fieldCount = 1;  // signature fields that share this dictionary
  int64_t dictionaryNumber = 0;
  std::string filter, subFilter;
  std::string signingTime;  // /M as written, e.g. "D:20261206101500+00'00'"
  std::vector<int64_t> byteRange;
  // Absolute positions of the "<" and ">" around /Contents; both 0 when it is no hex string
  // written directly in the dictionary.
  uint64_t contentsOpen = 0, contentsClose = 0;
  Bytes contents;                     // the decoded /Contents, padding included
  std::string error;                  // why the dictionary could not be read; empty when it was
  int docMdp = 0;                     // the /P of a DocMDP transform (certification), 0 when there is none
  FieldLock lock;                     // what a FieldMDP transform or the field's /Lock forbids to change
  int stampPage = -1;                 // 0-based page of the first widget with an area
  std::array<double, 4> stampRect{};  // that widget's /Rect
  // The end of the signed bytes (the second range's end); 0 when /ByteRange is unusable.
  uint64_t SignedEnd() const;
};

// FindSignatures lists the signatures of the signature fields in `graph`, ordered by where
// their signed bytes end (revision order). A field without a value is left out; one whose
// dictionary cannot be read comes back with `error` set.
std::vector<PdfSignature> FindSignatures(PdfRevision* current, const DocumentGraph& graph);

// ByteRangeFault is what is wrong with a signature's /ByteRange, if anything.
enum class ByteRangeFault {
  None,
  Malformed,     // not four non-negative numbers
  NotFromStart,  // the first range does not start at 0
  Outside,       // the ranges pass the end of the file (a truncated file)
  NotTheHole,    // the gap between the ranges is not exactly the /Contents string
};
ByteRangeFault CheckByteRange(const PdfSignature& signature, uint64_t fileLength);

// PdfText turns a text string's bytes into UTF-8: UTF-16BE after its byte-order mark, else
// each byte as its Latin-1 character.
std::string PdfText(const std::string& bytes);
