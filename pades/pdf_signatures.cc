#include "pades/pdf_signatures.h"

#include <algorithm>
#include <map>
#include <set>

#include "core/text.h"
#include "pades/pdf_scan_window.h"
#include "pades/pdf_syntax.h"

namespace {

std::string TypeOf(std::string_view body, std::string_view key = "Type") {
  auto value = FindValue(body, key);
  return value ? std::string(Trim(*value)) : std::string();
}

// ReadHexString decodes a hex string's digits, skipping white space; false on other bytes.
bool ReadHexString(std::string_view digits, Bytes* out) {
  out->clear();
  out->reserve(digits.size() / 2);
  int high = -1;
  for (char c : digits) {
    if (IsPdfWhite(uint8_t(c))) continue;
    int v = HexValue(c);
    if (v < 0) return false;
    if (high < 0) {
      high = v;
    } else {
      out->push_back(uint8_t(high << 4 | v));
      high = -1;
    }
  }
  if (high >= 0) out->push_back(uint8_t(high << 4));
  return true;
}

// Tokens splits a value into PDF tokens, so that two writers' layouts of one value compare
// equal: white space and comments go, numbers take one form, hex strings upper case.
std::string Canonical(std::string_view text) {
  std::string out;
  size_t p = 0;
  auto emit = [&](std::string_view token) {
    if (!out.empty()) out += ' ';
    out += token;
  };
  while ((p = SkipBlank(text, p)) < text.size()) {
    const char c = text[p];
    if (c == '(' || (c == '<' && (p + 1 >= text.size() || text[p + 1] != '<'))) {
      const size_t end = SkipValue(text, p);
      if (c == '(') {
        emit(text.substr(p, end - p));
      } else {
        Bytes bytes;
        ReadHexString(text.substr(p + 1, end > p + 2 ? end - p - 2 : 0), &bytes);
        emit("<" + HexEncode(bytes) + ">");
      }
      p = std::max(end, p + 1);
    } else if (c == '<' || c == '>') {
      emit(text.substr(p, 2));
      p += 2;
    } else if (c == '[' || c == ']' || c == '{' || c == '}') {
      emit(text.substr(p, 1));
      ++p;
    } else {
      size_t end = p + 1;
      while (end < text.size() && !IsPdfDelimiter(uint8_t(text[end]))) ++end;
      std::string_view token = text.substr(p, end - p);
      size_t q = 0;
      double number = 0;
      if (c != '/' && ScanDouble(token, &q, &number) && q == token.size())
        emit(FormatNumber(number));
      else
        emit(token);
      p = end;
    }
  }
  return out;
}

// Entries maps each top-level key of a dictionary body to its canonical value.
std::map<std::string, std::string> Entries(std::string_view body) {
  std::map<std::string, std::string> out;
  size_t p = 0;
  while ((p = SkipBlank(body, p)) < body.size()) {
    if (body[p] != '/') break;
    size_t end = p + 1;
    while (end < body.size() && !IsPdfDelimiter(uint8_t(body[end]))) ++end;
    const std::string key(body.substr(p + 1, end - p - 1));
    const size_t valueEnd = SkipValue(body, end);
    if (valueEnd <= end) break;
    out.emplace(key, Canonical(body.substr(end, valueEnd - end)));
    p = valueEnd;
  }
  return out;
}

bool SameExcept(std::string_view a, std::string_view b, std::initializer_list<const char*> ignored) {
  std::map<std::string, std::string> x = Entries(a), y = Entries(b);
  for (const char* key : ignored) x.erase(key), y.erase(key);
  return x == y;
}

bool IsSignatureDictionary(std::string_view body) {
  const std::string type = TypeOf(body);
  return type == "/Sig" || type == "/DocTimeStamp" || (HasKey(body, "ByteRange") && HasKey(body, "Contents"));
}

bool IsAnnotationOrField(std::string_view body) {
  return TypeOf(body) == "/Annot" || TypeOf(body, "Subtype") == "/Widget" || HasKey(body, "FT") ||
         (HasKey(body, "Subtype") && HasKey(body, "Rect"));
}

bool IsMetadataOnly(std::string_view body) {
  static const std::set<std::string> kInfo = {"Title",    "Author",  "Subject",      "Keywords", "Creator",
                                              "Producer", "Trapped", "CreationDate", "ModDate"};
  std::map<std::string, std::string> entries = Entries(body);
  if (entries.empty()) return false;
  for (const auto& [key, value] : entries)
    if (!kInfo.count(key)) return false;
  return true;
}

std::string PageLabel(PdfScan* scan, int64_t number) {
  const std::vector<int64_t>& pages = scan->pages();
  auto it = std::find(pages.begin(), pages.end(), number);
  if (it == pages.end()) return "pagina (objeto " + std::to_string(number) + ")";
  return "pagina " + std::to_string(it - pages.begin() + 1);
}

// Classify judges the newest definition of one object against its signed one (if any).
std::optional<RevisionChange> Classify(PdfScan* scan, const XrefRecord& now, const XrefRecord* before) {
  RevisionChange change;
  change.number = now.number;
  const std::string object = "objeto " + std::to_string(now.number);
  std::string newBody, oldBody;
  bool newArray = false, oldArray = false;
  const bool existed = before && before->kind != XrefRecord::Kind::Free;
  if (now.kind == XrefRecord::Kind::Free) {
    if (!existed) return std::nullopt;
    change.what = object + " eliminado";
    return change;
  }
  if (existed && before->kind == now.kind && before->offset == now.offset && before->index == now.index)
    return std::nullopt;  // listed again, not rewritten
  const bool readable = scan->ReadRecordBody(now, &newBody, &newArray);
  const bool oldReadable = existed && scan->ReadRecordBody(*before, &oldBody, &oldArray);
  if (readable && !newArray) {
    const std::string type = TypeOf(newBody);
    if (type == "/XRef" || type == "/ObjStm") return std::nullopt;
    if (IsSignatureDictionary(newBody)) {
      change.allowed = true;
      change.what = "firma (" + object + ")";
      return change;
    }
  }
  if (!existed) {
    if (readable && !newArray && TypeOf(newBody) == "/Page") {
      change.what = "pagina anadida (" + object + ")";
      return change;
    }
    if (readable && !newArray && IsAnnotationOrField(newBody)) {
      change.allowed = true;
      change.what =
          (HasKey(newBody, "FT") ? "campo de formulario nuevo (" : "anotacion nueva (") + object + ")";
      return change;
    }
    return std::nullopt;  // a new object matters only through a changed one, judged on its own
  }
  if (!readable || !oldReadable || newArray != oldArray) {
    change.what = object + " modificado";
    return change;
  }
  if (Entries(newBody) == Entries(oldBody) && !HasKey(oldBody, "Length")) return std::nullopt;
  const std::string oldType = TypeOf(oldBody);
  change.allowed = true;
  if (oldArray) {
    change.allowed = false;  // the /Annots array of a page is the one a signer rewrites
    change.what = object + " modificado";
  } else if (oldType == "/Page") {
    change.allowed = SameExcept(newBody, oldBody, {"Annots"});
    change.what = PageLabel(scan, now.number) + (change.allowed ? ": anotaciones" : " modificada");
  } else if (oldType == "/Catalog") {
    change.allowed = SameExcept(newBody, oldBody, {"AcroForm", "DSS", "Perms"});
    change.what = change.allowed ? "catalogo: formulario" : "catalogo modificado";
  } else if (oldType == "/Pages") {
    change.allowed = false;
    change.what = "arbol de paginas modificado (" + object + ")";
  } else if (HasKey(oldBody, "Length")) {
    change.allowed = false;  // stream data may differ under an identical dictionary
    change.what = "flujo " + object + " modificado";
  } else if (IsSignatureDictionary(oldBody)) {
    change.allowed = false;
    change.what = "firma anterior modificada (" + object + ")";
  } else if (IsAnnotationOrField(oldBody)) {
    change.what =
        (HasKey(oldBody, "FT") ? "campo de formulario rellenado (" : "anotacion modificada (") + object + ")";
  } else if (HasKey(oldBody, "Fields")) {
    change.what = "formulario (" + object + ")";
  } else if (IsMetadataOnly(oldBody) && IsMetadataOnly(newBody)) {
    change.what = "metadatos (" + object + ")";
  } else {
    change.allowed = false;
    change.what = object + " modificado";
  }
  return change;
}

}  // namespace

uint64_t PdfSignature::SignedEnd() const {
  if (byteRange.size() != 4 || byteRange[2] < 0 || byteRange[3] < 0) return 0;
  return uint64_t(byteRange[2]) + uint64_t(byteRange[3]);
}

std::string DecodePdfString(std::string_view value) {
  value = Trim(value);
  std::string bytes;
  if (value.size() >= 2 && value.front() == '<') {
    Bytes raw;
    ReadHexString(value.substr(1, value.size() - 2), &raw);
    bytes = ToText(raw);
  } else if (value.size() >= 2 && value.front() == '(') {
    const std::string_view inner = value.substr(1, value.size() - 2);
    for (size_t i = 0; i < inner.size(); ++i) {
      char c = inner[i];
      if (c != '\\' || i + 1 >= inner.size()) {
        bytes += c;
        continue;
      }
      c = inner[++i];
      static const std::string kFrom = "nrtbf", kTo = "\n\r\t\b\f";
      if (size_t k = kFrom.find(c); k != std::string::npos) {
        bytes += kTo[k];
      } else if (c >= '0' && c <= '7') {
        int v = c - '0';
        for (int n = 0; n < 2 && i + 1 < inner.size() && inner[i + 1] >= '0' && inner[i + 1] <= '7'; ++n)
          v = v * 8 + (inner[++i] - '0');
        bytes += char(v & 0xFF);
      } else if (c != '\n' && c != '\r') {
        bytes += c;
      }
    }
  } else {
    return std::string(value);
  }
  if (bytes.size() >= 2 && uint8_t(bytes[0]) == 0xFE && uint8_t(bytes[1]) == 0xFF) {
    std::u16string units;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
      units.push_back(char16_t(uint8_t(bytes[i]) << 8 | uint8_t(bytes[i + 1])));
    return Utf16ToUtf8(units);
  }
  return bytes;
}

std::vector<PdfSignature> FindSignatures(PdfScan* scan) {
  std::vector<PdfSignature> out;
  for (const FieldObject& field : scan->fieldObjects()) {
    if (!field.signatureField) continue;
    std::string body;
    if (!scan->ReadObjectDict(field.number, &body)) continue;
    const std::optional<int64_t> value = scan->RefTo(body, "V");
    if (!value) continue;
    PdfSignature signature;
    signature.fieldNumber = field.number;
    signature.dictionaryNumber = *value;
    if (auto name = FindValue(body, "T")) signature.fieldName = DecodePdfString(*name);
    const IndexEntry* entry = scan->Find(*value);
    std::string dict;
    size_t bodyStart = 0;
    // The dictionary is read where it lies, so that the position of /Contents is known.
    bool read = entry && !entry->compressed &&
                scan->ParseAt(entry->offset, [&](std::string_view text, bool atEnd, size_t* used) {
                  size_t start = 0, end = 0;
                  Parse parsed = pdf_scan_internal::ParseObjectDict(text, atEnd, false, &start, &end, used);
                  if (parsed == Parse::Done) dict.assign(text.substr(start, end - start)), bodyStart = start;
                  return parsed;
                });
    if (!read) {
      signature.error = entry && entry->compressed
                            ? "el diccionario de firma esta dentro de un flujo de objetos."
                            : "el diccionario de firma no es legible.";
      out.push_back(std::move(signature));
      continue;
    }
    signature.filter = TypeOf(dict, "Filter");
    signature.subFilter = TypeOf(dict, "SubFilter");
    if (auto m = FindValue(dict, "M")) signature.signingTime = DecodePdfString(*m);
    if (auto range = FindValue(dict, "ByteRange")) {
      std::string_view text = Trim(*range);
      size_t p = text.empty() || text[0] != '[' ? 0 : 1;
      int64_t n = 0;
      while (signature.byteRange.size() < 8 && ScanLong(text, &p, &n)) signature.byteRange.push_back(n);
      if (SkipBlank(text, p) + 1 != text.size()) signature.byteRange.clear();  // not numbers alone
    }
    if (std::optional<ValueSpan> span = FindKey(dict, "Contents")) {
      const size_t open = SkipBlank(dict, span->start);
      const size_t close = SkipValue(dict, open);
      if (open < dict.size() && dict[open] == '<' && close > open + 1 && dict[close - 1] == '>' &&
          ReadHexString(std::string_view(dict).substr(open + 1, close - open - 2), &signature.contents)) {
        signature.contentsOpen = entry->offset + bodyStart + open;
        signature.contentsClose = entry->offset + bodyStart + close - 1;
      }
    }
    out.push_back(std::move(signature));
  }
  std::stable_sort(out.begin(), out.end(), [](const PdfSignature& a, const PdfSignature& b) {
    return a.SignedEnd() < b.SignedEnd();
  });
  return out;
}

ByteRangeFault CheckByteRange(const PdfSignature& s, uint64_t fileLength) {
  const std::vector<int64_t>& r = s.byteRange;
  if (r.size() != 4 || std::any_of(r.begin(), r.end(), [](int64_t v) { return v < 0; }) || r[1] > r[2])
    return ByteRangeFault::Malformed;
  if (r[0] != 0) return ByteRangeFault::NotFromStart;
  if (s.SignedEnd() > fileLength) return ByteRangeFault::Outside;
  if (s.contentsClose == 0 || uint64_t(r[1]) != s.contentsOpen || uint64_t(r[2]) != s.contentsClose + 1)
    return ByteRangeFault::NotTheHole;
  return ByteRangeFault::None;
}

Coverage ClassifyLaterRevisions(PdfScan* scan, uint64_t signedEnd) {
  Coverage out;
  std::vector<PdfScan::XrefSection> sections;
  if (!scan->Sections(&sections)) {
    out.unreadable = true;
    out.modified = true;
    return out;
  }
  out.revisions = int(sections.size());
  out.wholeFile = signedEnd == scan->length();
  // A linearized file's first-page section lies at its start but belongs to the last revision
  // written with it: revisions are told apart by where they start.
  std::vector<const PdfScan::XrefSection*> later, signedOnes;
  for (const PdfScan::XrefSection& section : sections)
    (section.offset >= signedEnd ? later : signedOnes).push_back(&section);
  out.revision = int(signedOnes.size());
  const std::string tail =
      scan->ReadText(signedEnd >= 8 ? signedEnd - 8 : 0, size_t(std::min<uint64_t>(signedEnd, 8)));
  out.completeRevision = tail.find("%%EOF") != std::string::npos;

  // The newest definition of each number written after the signature, and its signed one.
  std::map<int32_t, const XrefRecord*> now, before;
  for (const PdfScan::XrefSection* section : later)
    for (const XrefRecord& r : section->records)
      if (r.number > 0) now.emplace(r.number, &r);
  for (const PdfScan::XrefSection* section : signedOnes)
    for (const XrefRecord& r : section->records)
      if (r.number > 0) before.emplace(r.number, &r);
  for (const auto& [number, record] : now) {
    auto old = before.find(number);
    std::optional<RevisionChange> change =
        Classify(scan, *record, old == before.end() ? nullptr : old->second);
    if (!change) continue;
    out.modified = out.modified || !change->allowed;
    out.changes.push_back(std::move(*change));
  }
  return out;
}
