#pragma once

// PdfScan's growing-window parse, shared by the files that make up PdfScan.

#include <algorithm>
#include <string>
#include <string_view>

#include "pades/pdf_scan.h"

namespace pdf_scan_internal {
inline constexpr size_t kFirstWindow = 2048;
// A dictionary that does not end within this many bytes is treated as unreadable. Real ones
// are far smaller; even a flat /Kids of 100 000 pages takes about 1 MiB.
inline constexpr size_t kMaxWindow = size_t(8) << 20;
}  // namespace pdf_scan_internal

// WithWindow runs `parse` over the file from `offset`, first on a small window and then on
// larger ones while the parse reports that it reached the window's end before the file's.
// `parse` sets how many bytes it examined; they are charged to the budget.
template <typename F>
bool PdfScan::WithWindow(uint64_t offset, F&& parse) {
  size_t window = pdf_scan_internal::kFirstWindow;
  while (budget_ > 0) {
    std::string text = ReadSpan(offset, window);
    bool atEnd = offset + text.size() >= length_;
    size_t used = text.size();
    Parse result = parse(std::string_view(text), atEnd, &used);
    Charge(used);
    if (result != Parse::NeedMore) return result == Parse::Done;
    if (atEnd || window >= pdf_scan_internal::kMaxWindow) return false;
    window = std::min(window * 4, pdf_scan_internal::kMaxWindow);
  }
  return false;
}
