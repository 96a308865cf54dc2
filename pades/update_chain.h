#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <set>
#include <string>

#include "core/sha256.h"
#include "pades/field.h"
#include "pades/pdf_scan.h"
#include "pades/update.h"

// UpdateChain appends one or more incremental updates to a scanned input, all in memory: a
// signature, then the validation data, then a document time stamp, each a revision of its own
// with its cross-reference section and a trailer chained to the one before (ISO 32000-1,
// 7.5.6). The input itself is never copied; a revision is sealed before the next one is hashed,
// so every signature covers the bytes before it exactly as they are written. Copies of a chain
// are independent, which lets a stage be tried again from where it started.

// The text of an update that would need object numbers past what readers accept.
inline constexpr const char* kTooManyObjects =
    "el PDF usa numeros de objeto por encima de 8388607, el maximo que admiten los lectores; no se puede "
    "firmar.";

class UpdateChain {
 public:
  // With `complete`, the first revision's section lists every object of the input as it was
  // read, without /Prev: for an input whose structure readers might resolve otherwise.
  explicit UpdateChain(PdfScan* scan, bool complete = false);

  PdfScan& scan() { return *scan_; }
  FormState& form() { return form_; }
  // Field names already taken in the document and by this chain's revisions.
  std::set<std::string>& fieldNames() { return fieldNames_; }
  // Allocate returns the next free object number: past the input's /Size and every number in
  // use, and past what earlier revisions took.
  uint32_t Allocate() { return uint32_t(next_++); }

  // CanEnd says whether a revision ending now would keep every object number within what
  // readers accept (kMaxObjectNumber), the cross-reference stream's own number included.
  bool CanEnd() const;

  // Begin opens a revision at the current end; the first one starts with a line break when the
  // input does not end with one.
  UpdateBuffer* Begin();
  // End closes the open revision: its cross-reference section (a stream when the input's newest
  // section is one, or when a complete section must list compressed objects) and a trailer
  // chained to the previous section. It returns false, writing
  // nothing, when the revision would need object numbers past kMaxObjectNumber.
  [[nodiscard]] bool End();

  // HashBefore is the hash state over the input and every revision before `update`.
  Sha256Context HashBefore(const UpdateBuffer* update) const;
  // Length is the whole file's length with every revision so far.
  uint64_t Length() const;
  // Tail is what the revisions append to the input.
  std::string Tail() const;

 private:
  PdfScan* scan_;
  FormState form_;
  std::set<std::string> fieldNames_;
  bool complete_ = false;
  bool streams_ = false;  // sections are cross-reference streams
  int64_t next_ = 0;
  int64_t previousSection_ = 0;
  std::deque<UpdateBuffer> revisions_;
};
