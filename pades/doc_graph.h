#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "pades/pdf_revision.h"

// DocumentGraph is what a reader reaches in one revision: every object reachable from the
// trailer's /Root and /Info, where its bytes lie, the page tree as readers walk it (by position,
// whatever /Type says), the form's field tree, and who refers to the objects a later revision
// touched. The walk is iterative and bounded by the objects it reads, never by depth.

struct GraphEdge {
  int64_t from = 0;  // the referring object; 0 for the trailer
  std::string path;  // the keys inside it, e.g. "Annots[]", "AP/N"
};

struct FieldNode {
  std::string name;        // fully qualified: the /T of its ancestors joined by "."
  bool signature = false;  // /FT /Sig, inherited
  bool hasValue = false;   // /V present (on the node itself)
};

struct DocumentGraph {
  bool complete = true;  // every reachable object could be read
  std::string fault;     // the first that could not, in Spanish
  int64_t root = 0;
  int64_t info = 0;
  int64_t acroForm = 0;                       // the AcroForm when it is an object of its own
  std::vector<int64_t> pages;                 // the page leaves in reading order
  std::set<int64_t> pageTree;                 // every node of the page tree, leaves included
  std::map<int64_t, int64_t> annotsArrays;    // an /Annots array object -> its page
  std::map<int64_t, int64_t> annotationPage;  // an annotation -> the page whose /Annots has it
  std::map<int64_t, FieldNode> fields;        // nodes of the field tree
  std::map<int64_t, int64_t> fieldArrays;     // a /Fields or /Kids array object -> its holder
  std::map<int64_t, int64_t> fieldParent;     // a field tree node -> its parent (0 at the top)
  std::set<int64_t> dss;                      // objects reachable from the catalog's /DSS
  // Every reached object and the bytes it stands on (for a compressed one, its object stream's).
  struct Reached {
    int64_t number = 0;
    uint64_t start = 0, end = 0;
  };
  std::vector<Reached> reached;
  // Referrers of the watched numbers (reached or not): who points at them, and through which key.
  std::unordered_map<int64_t, std::vector<GraphEdge>> referrers;

  bool IsReached(int64_t number) const;
  // PageLabel is "pagina N" for a page, or "" when `number` is no page.
  std::string PageLabel(int64_t number) const;
};

// WalkDocument walks the page tree, the annotations, the field tree and the security store of
// `revision`; with `reachability` it also reaches every object and records the referrers of the
// numbers in `watched`.
DocumentGraph WalkDocument(PdfRevision* revision, const std::set<int64_t>& watched, bool reachability);
