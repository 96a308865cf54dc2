#pragma once

#include <string>
#include <string_view>

#include "pades/pdf_scan.h"

// Archival documents (PDF/A, ISO 19005) stay archival when signed. What the signature adds to
// a document that declares any part of ISO 19005 keeps these rules of parts 1, 2 and 3 (clause
// numbers of 19005-1; of 19005-2, which 19005-3 shares, in brackets):
// - Fonts: the stamp's font is embedded (6.3.4 [6.2.11.4.1]) as a Type 0 font over a
//   CIDFontType2 with /CIDToGIDMap (6.3.3.2 [6.2.11.3.2]) and the predefined Identity-H CMap
//   (6.3.3.3 [6.2.11.3.3]); its /W widths are the font program's advances (6.3.6 [6.2.11.5]);
//   its descriptor's /CIDSet lists exactly the glyphs of the subset (6.3.5 [6.2.11.4.2]); a
//   /ToUnicode map gives every glyph its character (6.3.8 [6.2.11.7], levels A and U); no text
//   shows the .notdef glyph ([6.2.11.8]): a character the font lacks is drawn as "?". No font
//   that is not embedded is added anywhere: the AcroForm gets neither /DA nor /DR (6.3.4
//   [6.2.11.4.1]).
// - Colour: the stamp's text is painted in a CalGray space, device independent, so it needs no
//   output intent (6.2.3 [6.2.4.3]); nothing transparent is drawn (6.4 [6.2.10]).
// - Annotations: the widget and the stamps of further pages keep the Print flag and never
//   Hidden, Invisible, NoView or ToggleNoView (6.5.3 [6.3.2]); their /AP holds only /N, an
//   appearance stream (6.5.3 [6.3.3]); a widget without a stamp has a zero-sized /Rect; no
//   widget or field carries /A or /AA (6.6.2, 6.9 [6.4.1]).
// - Structure of the update: objects appended with "obj"/"endobj" on lines of their own
//   (6.1.8 [6.1.9]), every stream's /Length exact with the keyword "stream" followed by a line
//   feed and "endstream" preceded by one (6.1.7 [6.1.7.1]), only Flate compression (6.1.10
//   [6.1.7.2]); a classic cross-reference section after an input whose newest section is one
//   (6.1.4 [6.1.4]); the trailer keeps the input's first /ID and gains no /Encrypt, and
//   nothing follows "%%EOF" but its line feed (6.1.3 [6.1.3]).
// - Metadata and output intents stay as they are: the catalog, when rewritten, keeps every key
//   (6.7.2, 6.2.2 [6.6.2, 6.2.3]).
// - The signature covers the whole file but its /Contents, a hex string of one CMS with one
//   signer and its certificate ([6.4.3]).

// PdfaClaim is what a document's XMP metadata declares.
struct PdfaClaim {
  int part = 0;             // the ISO 19005 part; 0 when none is declared
  std::string conformance;  // "A", "B", "U", or empty
};

// ParsePdfaClaim reads pdfaid:part and pdfaid:conformance from XMP text, as attributes or as
// elements, under whatever prefix the text binds to the PDF/A identification namespace. A part
// that is not a number from 1 to 99 declares none.
PdfaClaim ParsePdfaClaim(std::string_view xmp);
// ReadPdfaClaim parses the catalog's /Metadata stream; a document without one, or whose
// stream cannot be read, declares none.
PdfaClaim ReadPdfaClaim(PdfScan* scan);
