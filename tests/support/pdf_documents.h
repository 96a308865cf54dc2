#pragma once

#include <string>

namespace testing_support {

// Kinds of generated PDF documents, drawn with cairo (text through Pango) so that every
// renderer sees embedded fonts, colour, gradients and images.
enum class PdfKind {
  kSample,       // A4 pages: a heading with the page number, text, coloured shapes, an image
  kA3Landscape,  // one A3 landscape page of the sample's content
  kWidePage,     // one 10000 x 10 pt strip
  kTallPage,     // one 10 x 14400 pt strip
  kText,         // A4 pages of dense body text
  kVector,       // A4 pages of thousands of thin polylines and small filled shapes
  kScanned,      // A4 pages, each one 300 dpi JPEG scan
};

// WritePdf writes a document of `pages` pages; false when cairo fails.
bool WritePdf(PdfKind kind, const std::string& path, int pages = 1);

}  // namespace testing_support
