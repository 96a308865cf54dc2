#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "pades/pdf_scan.h"
#include "pades/sign.h"
#include "pades/stamp_font.h"
#include "pades/update.h"

// The signature field and its visible stamp: which pages carry it, the field's name, where the
// stamp goes and how it looks, and the objects that add it to the document.

// ChooseStampPages returns ascending 0-based page indices for the options.
std::vector<size_t> ChooseStampPages(const StampOptions& stamp, size_t pageCount);
// ParsePageList reads 1-based pages and ranges ("1, 3, 5-8"); pages past the end are ignored.
std::vector<size_t> ParsePageList(std::string_view list, size_t pageCount);
// CheckPageList tells whether every item of a page list names pages of a document of
// `pageCount` pages, in the syntax ParsePageList reads. It returns false with a Spanish
// `error` naming the first item that does not ("La pagina 7 no existe: el documento tiene 2
// paginas."), or saying the list is empty.
bool CheckPageList(std::string_view list, size_t pageCount, std::string* error);

// CollectSignatureNames gathers the literal /T names of existing signature fields.
std::set<std::string> CollectSignatureNames(const PdfScan& scan);
// FieldName is the first of Signature1 ... Signature99999 not taken, else "Signature".
std::string FieldName(const std::set<std::string>& taken);

struct AcroFormFound {
  enum class Kind { None, Referenced, Inline } kind = Kind::None;
  int64_t number = 0;  // Referenced
  std::string body;    // Referenced and Inline
};
AcroFormFound FindAcroForm(PdfScan* scan, std::string_view catalog);
// NeedsAppearances is true when the AcroForm has /NeedAppearances true: readers then draw every
// widget from an appearance of their own, and a signature's stamp needs an annotation that is
// not a widget to be seen.
bool NeedsAppearances(const AcroFormFound& acroForm);

// FormState is the newest catalog and AcroForm an update builds on.
struct FormState {
  int64_t catalogNumber = 0;
  uint32_t catalogGeneration = 0;
  std::string catalog;  // body, as last written (or as read)
  AcroFormFound acroForm;
  bool archival = false;  // a PDF/A document: a new AcroForm gets no /DA or /DR
};
// MergeAcroForm adds `field` to the AcroForm's /Fields with /SigFlags 3 and writes what that
// changes: the AcroForm object, or the catalog when the form is inline or new (`newAcroForm`
// is then its number, and the new form gets a default appearance and font). `form` becomes the
// state after the update.
void MergeAcroForm(UpdateBuffer* update, PdfScan* scan, uint32_t field, std::optional<uint32_t> newAcroForm,
                   FormState* form);

// WinAnsi is text in the stamp font's encoding (WinAnsiEncoding, Windows code page 1252, which
// holds all of Spanish).
struct WinAnsi {
  std::string bytes;    // each character not in the encoding is a '?'
  std::string missing;  // those characters, once each, in UTF-8
};
WinAnsi EncodeWinAnsi(std::string_view utf8);
// MissingGlyphsWarning names the characters a stamp or page draws as '?'.
std::string MissingGlyphsWarning(std::string_view missing);

// StampLines are the stamp's three lines: "Firmado digitalmente por:", the name and the date.
std::array<std::string, 3> StampLines(const std::string& name, std::string_view signingTime);
// EstimateTextWidth approximates a line's width in points of 7.5-point Helvetica.
double EstimateTextWidth(std::string_view line);
// StampWidth is the stamp's width for its three lines: between 160 and 420 points.
double StampWidth(const std::array<std::string, 3>& lines);
// StampWidthFor is that width for lines of the given widths in points.
double StampWidthFor(const std::array<double, 3>& lineWidths);
// CountSignatureWidgets counts the signature widgets with a real rectangle shown on a page.
int CountSignatureWidgets(const PdfScan& scan, int64_t page);

struct StampPlacement {
  std::string rectangle;
  bool fits = false;
};
// PlaceStamp puts the stamp in row `row` from the bottom-left corner of the page.
StampPlacement PlaceStamp(std::string_view pageBody, int64_t row, double width);
// AppearanceStream is the stamp's form XObject: object body, stream included.
std::string AppearanceStream(const std::array<std::string, 3>& lines, double width, uint32_t fontNumber);
// BlankAppearance is a form XObject of the stamp's size that draws nothing.
std::string BlankAppearance(double width);
inline constexpr std::string_view kStampFont =
    "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>";
// EmbeddedAppearanceStream is the stamp's form XObject with the embedded font: the same layout,
// each line a hex string of glyph numbers, painted in a device-independent gray.
std::string EmbeddedAppearanceStream(const std::array<std::string, 3>& shown, double width,
                                     uint32_t fontNumber);

// FieldObjects says what to write for one signature.
struct FieldObjects {
  uint32_t field = 0;
  uint32_t signature = 0;
  uint32_t font = 0;        // only with stamp pages; with an embedded font, the first of its objects
  uint32_t appearance = 0;  // only with stamp pages
  std::optional<uint32_t> newAcroForm;
  std::vector<uint32_t> stamps;  // the stamp annotations of the stamp pages after the first
  // With NeedsAppearances: the stamp annotation over the widget, and the widget's own blank
  // appearance, which keeps readers that do draw it from showing the stamp twice.
  struct Companion {
    uint32_t annotation = 0;
    uint32_t blank = 0;
  };
  std::optional<Companion> companion;
  std::string fieldName;
  std::vector<int64_t> stampPages;  // page object numbers, in stamp-page order
  int64_t referencePage = 0;        // the first stamp page, or the last page
  std::string referenceBody;
  std::array<std::string, 3> lines;               // in code page 1252, for Helvetica
  std::optional<EmbeddedStampFont> embeddedFont;  // the stamp's font when it is embedded
  double width = 0;
  bool archival = false;  // a PDF/A document: the AcroForm gains no /DA or /DR
};
// LayOutStamp sets the stamp's lines, font and width. Helvetica draws the lines in code page
// 1252 unless the document is archival or a line has a character the code page lacks; then
// the embedded font draws them. A character neither font has is drawn as "?", and `warning`
// names it. It fails, with the Spanish text, only when an archival document's font cannot be
// made; otherwise Helvetica stands in, and `warning` says why.
std::optional<std::string> LayOutStamp(const std::array<std::string, 3>& lines, bool archival,
                                       FieldObjects* objects, std::string* warning);
// WriteFieldObjects appends the pages, the AcroForm, the field and its widgets, the font and
// the appearance stream; `form` becomes the state after the update.
void WriteFieldObjects(UpdateBuffer* update, PdfScan* scan, const FieldObjects& objects, FormState* form);
