#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "pades/doc_graph.h"
#include "pades/pdf_revision.h"

// What the revisions written after a signature changed in what readers show, and whether each
// change is one that signing workflows make. Every object a reader reaches in the current
// revision is compared with its resolution in the signed revision; a new object is judged by
// what refers to it; whatever cannot be classified is a modification.

// RevisionChange is one change: an object added, changed or removed, or a fault of the file's
// structure after the signature.
struct RevisionChange {
  int64_t number = 0;    // the object, or 0 for the file's structure
  bool allowed = false;  // a change signing workflows make
  std::string what;      // Spanish, naming the page or the object
};

struct Coverage {
  int revision = 0;   // how many cross-reference sections the signed revision has
  int revisions = 0;  // and the current one
  bool wholeFile = false;
  std::vector<RevisionChange> changes;
  bool modified = false;    // some change is not allowed
  bool unreadable = false;  // the revisions could not be compared
};

// FieldLock is what a signature's FieldMDP transform (or its field's /Lock) forbids to change.
struct FieldLock {
  enum class Action { None, All, Include, Exclude } action = Action::None;
  std::set<std::string> fields;
  bool Locks(const std::string& name) const;
};

// SignedRevision describes one signature for the comparison.
struct SignedRevision {
  PdfRevision* current = nullptr;
  PdfRevision* signedRevision = nullptr;
  const DocumentGraph* graph = nullptr;  // of the current revision
  size_t laterSections = 0;              // sections of the current chain newer than the signed one
  uint64_t signedEnd = 0;
  uint64_t holeStart = 0, holeEnd = 0;  // the /Contents string, which the signature does not cover
  int64_t dictionary = 0;               // the signature dictionary, the one object around the hole
  // The DocMDP permission in force for this signature: 0 for an approval signature (form
  // filling, signatures and validation data), 1 to 3 for a certification.
  int permission = 0;
  bool certifiedForAnnotations = false;  // the document is certified with permission 3
  FieldLock lock;
};

// CompareRevisions judges everything the current revision resolves differently from the signed
// one, and the bytes after the signature that a repairing reader could pick up.
Coverage CompareRevisions(PdfRevisionReader* reader, const SignedRevision& signature);

// WatchedNumbers lists the numbers whose referrers the comparison needs: every number the
// sections newer than `signedEnd` define, over the whole current chain.
std::set<int64_t> WatchedNumbers(const PdfRevision& current, size_t laterSections);
