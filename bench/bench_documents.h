#pragma once

#include <string>

// The benchmark's documents, A4 pages drawn with cairo.
enum class BenchDocument {
  kText,     // dense body text
  kScanned,  // one 300 dpi JPEG scan per page, about 2.4 MB each
  kVector,   // thousands of thin polylines and small filled shapes, like a map
};

// WriteBenchDocument writes `pages` pages of the kind; false when cairo fails.
bool WriteBenchDocument(BenchDocument kind, const std::string& path, int pages);
