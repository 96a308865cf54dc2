#include "pades/update_chain.h"

#include <algorithm>

#include "core/text.h"
#include "pades/pdf_syntax.h"
#include "pades/pdfa.h"
#include "pades/xref.h"

UpdateChain::UpdateChain(PdfScan* scan, bool complete) : scan_(scan), complete_(complete) {
  form_.catalogNumber = scan->root();
  form_.catalogGeneration = scan->Generation(scan->root());
  form_.catalog = scan->catalog();
  form_.acroForm = FindAcroForm(scan, scan->catalog());
  form_.archival = ReadPdfaClaim(scan).part > 0;
  fieldNames_ = CollectSignatureNames(*scan);
  next_ = std::max<int64_t>(scan->declaredSize(), scan->highestNumber() + 1);
  previousSection_ = scan->startxref();
  // Compressed objects can be listed only by a cross-reference stream.
  const bool compressed = std::any_of(scan->index().begin(), scan->index().end(),
                                      [](const IndexEntry& e) { return e.compressed; });
  streams_ = scan->newestSectionIsStream() || (complete && compressed);
}

UpdateBuffer* UpdateChain::Begin() {
  revisions_.emplace_back(Length());
  UpdateBuffer* update = &revisions_.back();
  if (revisions_.size() > 1) return update;
  if (scan_->lastByte() != '\n' && scan_->lastByte() != '\r') update->text() += '\n';
  if (complete_)
    for (const IndexEntry& e : scan_->index())
      update->Keep({uint32_t(e.number), e.offset, e.generation, e.compressed, e.streamIndex});
  return update;
}

bool UpdateChain::CanEnd() const {
  // Readers refuse larger numbers (ISO 32000-1 Annex C), so the update could not be read.
  return next_ - (streams_ ? 0 : 1) <= kMaxObjectNumber;
}

bool UpdateChain::End() {
  if (!CanEnd()) return false;
  UpdateBuffer* update = &revisions_.back();
  const uint32_t streamNumber = streams_ ? Allocate() : 0;
  const bool listsAll = complete_ && revisions_.size() == 1;

  TrailerFields trailer;
  trailer.size = uint32_t(next_);
  trailer.root = form_.catalogNumber;
  trailer.rootGeneration = form_.catalogGeneration;
  if (!listsAll) trailer.prev = previousSection_;
  if (auto info = FindValue(scan_->trailer(), "Info")) {
    size_t pos = 0;
    if (std::optional<Reference> ref = ReadReference(*info, &pos))
      trailer.info = std::to_string(ref->number) + " " + std::to_string(ref->generation) + " R";
  }
  // The first identifier stays the document's; the second is new, from what came before.
  Sha256Context before = HashBefore(update);
  const Sha256Digest digest = before.Final();
  const std::string second = HexEncode(digest.data(), 16);
  trailer.id = {scan_->firstIdentifier().value_or(second), second};

  previousSection_ = int64_t(update->Offset());
  if (streams_) {
    WriteXrefStream(update, trailer, streamNumber);
  } else {
    WriteXrefAndTrailer(update, trailer, listsAll ? XrefLayout::WholeFile : XrefLayout::PerObject);
  }
  return true;
}

Sha256Context UpdateChain::HashBefore(const UpdateBuffer* update) const {
  Sha256Context hash = scan_->hashAfterInput();
  for (const UpdateBuffer& revision : revisions_) {
    if (&revision == update) break;
    hash.Update(revision.text().data(), revision.text().size());
  }
  return hash;
}

uint64_t UpdateChain::Length() const {
  return revisions_.empty() ? scan_->length() : revisions_.back().Offset();
}

std::string UpdateChain::Tail() const {
  std::string tail;
  for (const UpdateBuffer& revision : revisions_) tail += revision.text();
  return tail;
}
