#include "pades/field.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "core/text.h"
#include "pades/pdf_syntax.h"

namespace {

constexpr double kStampHeight = 32;
constexpr double kStampFontSize = 7.5;
constexpr double kStampLeft = 50;
constexpr double kFirstRowBottom = 40;
constexpr double kRowPitch = 36;
constexpr double kTopMargin = 20;
constexpr double kDefaultPageTop = 842;  // A4

std::string Ref(uint64_t number) {
  return std::to_string(number) + " 0 R";
}

// Reads a run of digits, saturating far above any page count.
uint64_t ReadNumber(std::string_view text, size_t* pos, bool* any) {
  uint64_t value = 0;
  *any = false;
  while (*pos < text.size() && IsDigit(uint8_t(text[*pos]))) {
    value = std::min<uint64_t>(value * 10 + uint64_t(text[*pos] - '0'), uint64_t(1) << 40);
    ++*pos;
    *any = true;
  }
  return value;
}

}  // namespace

std::vector<size_t> ParsePageList(std::string_view list, size_t pageCount) {
  std::vector<size_t> pages;
  size_t pos = 0;
  while (true) {
    while (pos < list.size() && (list[pos] == ',' || list[pos] == ' ')) ++pos;
    if (pos >= list.size()) break;
    bool any = false;
    uint64_t a = ReadNumber(list, &pos, &any);
    if (!any || a == 0) {
      ++pos;
      continue;
    }
    uint64_t b = a;
    if (pos < list.size() && list[pos] == '-') {
      ++pos;
      b = ReadNumber(list, &pos, &any);
    }
    for (uint64_t k = a; k <= std::min<uint64_t>(b, pageCount); ++k) pages.push_back(size_t(k - 1));
  }
  std::sort(pages.begin(), pages.end());
  pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
  return pages;
}

namespace {

// CheckPage checks one page number, named as it was written.
std::string CheckPage(std::string_view written, uint64_t page, size_t pageCount) {
  if (page == 0) return "La pagina 0 no existe: las paginas empiezan en 1.";
  if (page <= pageCount) return "";
  return "La pagina " + std::string(written) + " no existe: el documento tiene " + std::to_string(pageCount) +
         (pageCount == 1 ? " pagina." : " paginas.");
}

// CheckPageItem checks one item between separators: a page or a range of pages.
std::string CheckPageItem(std::string_view item, size_t pageCount) {
  size_t pos = 0;
  bool any = false;
  uint64_t first = ReadNumber(item, &pos, &any), last = first;
  std::string_view firstText = item.substr(0, pos), lastText = firstText;
  if (any && pos < item.size() && item[pos] == '-') {
    size_t from = ++pos;
    last = ReadNumber(item, &pos, &any);
    lastText = item.substr(from, pos - from);
  }
  if (!any || pos != item.size())
    return "\"" + std::string(item) + "\" no es una pagina ni un intervalo (ej. 1, 3, 5-8).";
  if (std::string error = CheckPage(firstText, first, pageCount); !error.empty()) return error;
  if (std::string error = CheckPage(lastText, last, pageCount); !error.empty()) return error;
  if (last < first)
    return "El intervalo " + std::string(item) + " va hacia atras: escribe " + std::to_string(last) + "-" +
           std::to_string(first) + ".";
  return "";
}

}  // namespace

bool CheckPageList(std::string_view list, size_t pageCount, std::string* error) {
  error->clear();
  bool anyItem = false;
  for (size_t pos = 0; pos < list.size();) {
    if (list[pos] == ',' || list[pos] == ' ') {
      ++pos;
      continue;
    }
    size_t end = list.find_first_of(", ", pos);
    if (end == std::string_view::npos) end = list.size();
    *error = CheckPageItem(list.substr(pos, end - pos), pageCount);
    if (!error->empty()) return false;
    anyItem = true;
    pos = end;
  }
  if (!anyItem) *error = "Escribe las paginas que llevan el sello (ej. 1, 3, 5-8).";
  return anyItem;
}

std::vector<size_t> ChooseStampPages(const StampOptions& stamp, size_t pageCount) {
  std::vector<size_t> pages;
  if (pageCount == 0) return pages;
  switch (stamp.mode) {
    case StampMode::FirstPage: pages.push_back(0); break;
    case StampMode::LastPage: pages.push_back(pageCount - 1); break;
    case StampMode::AllPages:
      for (size_t i = 0; i < pageCount; ++i) pages.push_back(i);
      break;
    case StampMode::PageList: pages = ParsePageList(stamp.pageList, pageCount); break;
    default: break;
  }
  return pages;
}

std::set<std::string> CollectSignatureNames(const PdfScan& scan) {
  std::set<std::string> names;
  for (const FieldObject& field : scan.fieldObjects())
    if (field.signatureField && field.name) names.insert(*field.name);
  return names;
}

std::string FieldName(const std::set<std::string>& taken) {
  for (int i = 1; i <= 99999; ++i) {
    std::string name = "Signature" + std::to_string(i);
    if (!taken.count(name)) return name;
  }
  return "Signature";
}

AcroFormFound FindAcroForm(PdfScan* scan, std::string_view catalog) {
  AcroFormFound found;
  if (std::optional<int64_t> number = scan->RefTo(catalog, "AcroForm")) {
    if (scan->ReadObjectDict(*number, &found.body)) {
      found.kind = AcroFormFound::Kind::Referenced;
      found.number = *number;
      return found;
    }
    found.body.clear();
  }
  std::optional<std::string_view> value = FindValue(catalog, "AcroForm");
  if (value && value->size() > 4) {
    size_t p = SkipBlank(*value, 0);
    if (value->compare(p, 2, "<<") == 0 && p + 2 <= value->size() - 2) {
      found.kind = AcroFormFound::Kind::Inline;
      found.body = std::string(value->substr(p + 2, value->size() - 2 - (p + 2)));
    }
  }
  return found;
}

bool NeedsAppearances(const AcroFormFound& acroForm) {
  std::optional<std::string_view> value = FindValue(acroForm.body, "NeedAppearances");
  return value && Trim(*value) == "true";
}

WinAnsi EncodeWinAnsi(std::string_view utf8) {
  // Code page 1252 at 0x80-0x9F; 0x81, 0x8D, 0x8F, 0x90 and 0x9D are unassigned.
  static constexpr char16_t kHigh[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                         0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                         0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                         0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
  WinAnsi out;
  const std::u16string units = Utf8ToUtf16(utf8);
  for (size_t i = 0; i < units.size(); ++i) {
    const char16_t c = units[i];
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
      out.bytes += char(c);
      continue;
    }
    const char16_t* hit = c >= 0x100 ? std::find(kHigh, kHigh + 32, c) : kHigh + 32;
    if (hit != kHigh + 32) {
      out.bytes += char(0x80 + (hit - kHigh));
      continue;
    }
    const bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size();
    const std::string character = Utf16ToUtf8(std::u16string_view(units).substr(i, pair ? 2 : 1));
    if (pair) ++i;
    out.bytes += '?';
    if (out.missing.find(character) == std::string::npos) out.missing += character;
  }
  return out;
}

std::string MissingGlyphsWarning(std::string_view missing) {
  return "la fuente del sello no tiene los caracteres \"" + std::string(missing) +
         "\"; se dibujan como \"?\".";
}

std::array<std::string, 3> StampLines(const std::string& name, std::string_view signingTime) {
  return {"Firmado digitalmente por:", name, "Fecha: " + HumanUtcDate(signingTime)};
}

double EstimateTextWidth(std::string_view line) {
  double width = 0;
  for (char ch : line) {
    uint8_t c = uint8_t(ch);
    if (c == ' ' || c == ',' || c == '-' || c == '.' || c == ':')
      width += 2.1;
    else if (c == 'l' || c == 'i' || c == 'I' || c == '\'' || c == '!')
      width += 1.9;
    else if (c == 'W' || c == 'w' || c == 'M' || c == 'm')
      width += 6.3;
    else if (c == 'r' || c == 't' || c == 'f' || c == 'j')
      width += 2.6;
    else if (c >= 'A' && c <= 'Z')
      width += 5.1;
    else if (IsDigit(c))
      width += 4.2;
    else if (c >= 'a' && c <= 'z')
      width += 3.9;
    else
      width += 4.0;
  }
  return width;
}

double StampWidth(const std::array<std::string, 3>& lines) {
  return StampWidthFor(
      {EstimateTextWidth(lines[0]), EstimateTextWidth(lines[1]), EstimateTextWidth(lines[2])});
}

double StampWidthFor(const std::array<double, 3>& lineWidths) {
  const double widest = std::max({lineWidths[0], lineWidths[1], lineWidths[2]});
  return std::clamp(std::ceil(widest + 9), 160.0, 420.0);
}

std::optional<std::string> LayOutStamp(const std::array<std::string, 3>& lines, bool archival,
                                       FieldObjects* objects, std::string* warning) {
  std::string missing;
  for (size_t i = 0; i < lines.size(); ++i) {
    WinAnsi encoded = EncodeWinAnsi(lines[i]);
    objects->lines[i] = std::move(encoded.bytes);
    missing += encoded.missing;
  }
  objects->embeddedFont.reset();
  objects->width = StampWidth(objects->lines);
  std::string why;
  if (archival || !missing.empty()) {
    objects->embeddedFont = MakeStampFont(lines, &why);
    if (!objects->embeddedFont && archival)
      return "el documento es PDF/A y su sello necesita una fuente incrustada, que no se pudo preparar: " +
             why;
  }
  if (objects->embeddedFont) {
    missing = objects->embeddedFont->missing;
    const std::array<double, 3>& w = objects->embeddedFont->widths;
    objects->width = StampWidthFor({w[0] * kStampFontSize, w[1] * kStampFontSize, w[2] * kStampFontSize});
  }
  warning->clear();
  if (!missing.empty()) *warning = MissingGlyphsWarning(missing);
  if (!why.empty()) *warning += (warning->empty() ? "" : " ") + why;
  return std::nullopt;
}

int CountSignatureWidgets(const PdfScan& scan, int64_t page) {
  const std::vector<FieldObject>& fields = scan.fieldObjects();
  auto isSignatureField = [&](int64_t number) {
    auto it = std::lower_bound(fields.begin(), fields.end(), number,
                               [](const FieldObject& f, int64_t n) { return f.number < n; });
    return it != fields.end() && it->number == number && it->signatureField;
  };
  int count = 0;
  std::set<std::array<double, 4>> widgets;
  for (const FieldObject& f : fields) {
    if (f.page && *f.page != page) continue;
    if (f.rectangleValid && (f.signatureField || (f.widget && f.parent && isSignatureField(*f.parent)))) {
      ++count;
      widgets.insert(f.rectangle);
    }
  }
  // A stamp annotation drawn over a signature widget shares its row.
  for (const FieldObject& f : fields)
    if ((!f.page || *f.page == page) && f.signatureStamp && f.rectangleValid && !widgets.count(f.rectangle))
      ++count;
  return count;
}

StampPlacement PlaceStamp(std::string_view pageBody, int64_t row, double width) {
  double top = kDefaultPageTop;
  double box[4];
  if (auto mediaBox = FindValue(pageBody, "MediaBox"); mediaBox && ScanRectangle(*mediaBox, box))
    top = std::max(box[1], box[3]);
  const double y1 = kFirstRowBottom + kRowPitch * double(row);
  const double y2 = y1 + kStampHeight;
  StampPlacement placement;
  placement.fits = top - kTopMargin >= y2;
  placement.rectangle = placement.fits ? "[" + FormatNumber(kStampLeft) + " " + FormatNumber(y1) + " " +
                                             FormatNumber(width + kStampLeft) + " " + FormatNumber(y2) + "]"
                                       : "[0 0 0 0]";
  return placement;
}

namespace {

// FormKeys are the keys of the stamp's form XObjects; `resources` empty leaves out /Resources.
std::string FormKeys(double width, std::string_view resources) {
  return "/Type /XObject /Subtype /Form /FormType 1 /BBox [0 0 " + FormatNumber(width) + " " +
         FormatNumber(kStampHeight) + "]" +
         (resources.empty() ? "" : " /Resources << " + std::string(resources) + " >>");
}

}  // namespace

std::string AppearanceStream(const std::array<std::string, 3>& lines, double width, uint32_t fontNumber) {
  std::string content = "BT /Ft0 7.5 Tf 0 0 0 rg 4 22 Td (" + EscapeLiteral(lines[0]) + ") Tj 0 -9 Td (" +
                        EscapeLiteral(lines[1]) + ") Tj 0 -9 Td (" + EscapeLiteral(lines[2]) + ") Tj ET\n";
  return "<< " + FormKeys(width, "/Font << /Ft0 " + Ref(fontNumber) + " >>") + " /Length " +
         std::to_string(content.size()) + " >>\nstream\n" + content + "endstream";
}

std::string EmbeddedAppearanceStream(const std::array<std::string, 3>& shown, double width,
                                     uint32_t fontNumber) {
  // Black in CalGray rather than DeviceGray or DeviceRGB: a device space would need a PDF/A
  // output intent of its kind, which not every archival document has.
  const std::string content = "BT /Ft0 " + FormatNumber(kStampFontSize) + " Tf /Cs0 cs 0 sc 4 22 Td " +
                              shown[0] + " Tj 0 -9 Td " + shown[1] + " Tj 0 -9 Td " + shown[2] + " Tj ET";
  return StreamObject(
      FormKeys(width, "/Font << /Ft0 " + Ref(fontNumber) +
                          " >> /ColorSpace << /Cs0 [/CalGray << /WhitePoint [0.9505 1 1.089] >>] >>"),
      content);
}

std::string BlankAppearance(double width) {
  return "<< " + FormKeys(width, "") + " /Length 0 >>\nstream\n\nendstream";
}

namespace {

// RefOf refers to an existing object with its generation.
std::string RefOf(const PdfScan& scan, int64_t number) {
  return std::to_string(number) + " " + std::to_string(scan.Generation(number)) + " R";
}

}  // namespace

void MergeAcroForm(UpdateBuffer* update, PdfScan* scan, uint32_t field, std::optional<uint32_t> newAcroForm,
                   FormState* form) {
  ArrayReader readArray = [scan](int64_t number, std::string* elements) {
    return scan->ReadObjectArray(number, elements);
  };
  AcroFormFound& acroForm = form->acroForm;
  std::string body = AppendRef(acroForm.body, "Fields", field, readArray);
  body = SetKey(body, "SigFlags", "3");
  // An existing form gains nothing else: a default appearance or resources of its own would
  // change how readers regenerate its other fields (a check box drawn page-wide, say). Nor does
  // an archival document's new form: Helvetica is not embedded, which PDF/A forbids even where
  // nothing draws it.
  if (acroForm.kind == AcroFormFound::Kind::None && !form->archival)
    body +=
        " /DA (0 0 0 rg /Helv 0 Tf) /DR << /Font << /Helv << /Type /Font /Subtype /Type1 /BaseFont "
        "/Helvetica >> >> >>";
  const uint32_t catalog = uint32_t(form->catalogNumber);
  switch (acroForm.kind) {
    case AcroFormFound::Kind::Inline:
      form->catalog = SetKey(form->catalog, "AcroForm", WrapDict(body));
      WriteObject(update, catalog, WrapDict(form->catalog), form->catalogGeneration);
      break;
    case AcroFormFound::Kind::Referenced:
      WriteObject(update, uint32_t(acroForm.number), WrapDict(body), scan->Generation(acroForm.number));
      break;
    case AcroFormFound::Kind::None:
      form->catalog = SetKey(form->catalog, "AcroForm", Ref(*newAcroForm));
      WriteObject(update, catalog, WrapDict(form->catalog), form->catalogGeneration);
      WriteObject(update, *newAcroForm, WrapDict(body));
      acroForm.kind = AcroFormFound::Kind::Referenced;
      acroForm.number = *newAcroForm;
      break;
  }
  acroForm.body = std::move(body);
}

namespace {

// StampAnnotation is the locked stamp annotation that shows the signature's appearance on a
// page; /NM ties it to its field.
std::string StampAnnotation(const FieldObjects& objects, const std::string& pageRef, size_t ordinal,
                            const StampPlacement& placement) {
  return "<< /Type /Annot /Subtype /Stamp /NM (" + objects.fieldName + "-" + std::to_string(ordinal) +
         ") /P " + pageRef + " /F 196 /Rect " + placement.rectangle + " /AP << /N " +
         Ref(objects.appearance) + " >> >>";
}

}  // namespace

void WriteFieldObjects(UpdateBuffer* update, PdfScan* scan, const FieldObjects& objects, FormState* form) {
  ArrayReader readArray = [scan](int64_t number, std::string* elements) {
    return scan->ReadObjectArray(number, elements);
  };
  auto pageBody = [&](int64_t page) {
    if (page == objects.referencePage) return objects.referenceBody;
    std::string body;
    if (!scan->ReadObjectDict(page, &body)) body.clear();
    return body;
  };
  auto writePage = [&](int64_t page, std::string body, std::initializer_list<uint32_t> annotations) {
    for (uint32_t annotation : annotations) body = AppendRef(body, "Annots", annotation, readArray);
    WriteObject(update, uint32_t(page), WrapDict(body), scan->Generation(page));
  };
  auto placeOn = [&](int64_t page, std::string_view body) {
    return PlaceStamp(body, CountSignatureWidgets(*scan, page), objects.width);
  };
  const std::string tail = " /V " + Ref(objects.signature);
  const std::string appearance = " /AP << /N " + Ref(objects.appearance) + " >>";

  if (objects.stampPages.empty()) {
    const int64_t page = objects.referencePage;
    writePage(page, objects.referenceBody, {objects.field});
    MergeAcroForm(update, scan, objects.field, objects.newAcroForm, form);
    WriteObject(update, objects.field,
                "<< /Type /Annot /Subtype /Widget /FT /Sig /T (" + objects.fieldName +
                    ") /Rect [0 0 0 0] /F 4 /P " + RefOf(*scan, page) + tail + " >>");
    return;
  }

  // The one widget of the field is on the first stamp page.
  const int64_t first = objects.stampPages[0];
  const std::string firstBody = pageBody(first);
  const StampPlacement placement = placeOn(first, firstBody);
  // Under /NeedAppearances, Poppler (and Acrobat) replace every widget's appearance with one of
  // their own, which for a signature field is blank. The stamp is then drawn by a stamp
  // annotation over the widget, which readers draw from its appearance as it stands, and the
  // widget's own appearance is blank, so that readers that keep it do not draw the stamp twice.
  const FieldObjects::Companion* companion =
      placement.fits && objects.companion ? &*objects.companion : nullptr;
  if (companion) {
    writePage(first, firstBody, {objects.field, companion->annotation});
  } else {
    writePage(first, firstBody, {objects.field});
  }
  MergeAcroForm(update, scan, objects.field, objects.newAcroForm, form);
  const std::string widgetAppearance = !placement.fits ? std::string()
                                       : companion     ? " /AP << /N " + Ref(companion->blank) + " >>"
                                                       : appearance;
  WriteObject(update, objects.field,
              "<< /Type /Annot /Subtype /Widget /FT /Sig /T (" + objects.fieldName + ") /Rect " +
                  placement.rectangle + " /F 4 /P " + RefOf(*scan, first) + tail + widgetAppearance + " >>");
  if (companion) {
    WriteObject(update, companion->annotation, StampAnnotation(objects, RefOf(*scan, first), 1, placement));
    WriteObject(update, companion->blank, BlankAppearance(objects.width));
  }
  bool shown = placement.fits;

  // Further pages show the same appearance as a rubber-stamp annotation (ISO 32000-1 12.5.6.12)
  // instead of more widgets of the field: pdfsig 22.12 reports each widget kid of a signature
  // field as "not signed" and MuPDF 1.21 calls every signature of such a file invalidated,
  // while a field with one widget validates in both, and in qpdf and Acrobat. Flags Print,
  // ReadOnly and Locked (12.5.3, 4 + 64 + 128) keep the stamp printed, unmovable and
  // undeletable; written in the signed revision, it is covered by the signature. /NM ties it
  // to its field, so later signatures stack above it as above a widget.
  for (size_t i = 1; i < objects.stampPages.size(); ++i) {
    const int64_t page = objects.stampPages[i];
    const std::string body = pageBody(page);
    const StampPlacement place = placeOn(page, body);
    if (!place.fits) continue;
    writePage(page, body, {objects.stamps[i - 1]});
    WriteObject(update, objects.stamps[i - 1], StampAnnotation(objects, RefOf(*scan, page), i + 1, place));
    shown = true;
  }
  if (!shown) return;
  if (!objects.embeddedFont) {
    WriteObject(update, objects.font, kStampFont);
    WriteObject(update, objects.appearance, AppearanceStream(objects.lines, objects.width, objects.font));
    return;
  }
  const auto bodies = StampFontObjects(*objects.embeddedFont, objects.font);
  for (uint32_t i = 0; i < kStampFontObjects; ++i) WriteObject(update, objects.font + i, bodies[i]);
  WriteObject(update, objects.appearance,
              EmbeddedAppearanceStream(objects.embeddedFont->shown, objects.width, objects.font));
}
