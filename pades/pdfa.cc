#include "pades/pdfa.h"

#include <vector>

#include "pades/pdf_syntax.h"

namespace {

constexpr std::string_view kIdentificationNamespace = "http://www.aiim.org/pdfa/ns/id/";

bool IsNameByte(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
         c == '.' || u >= 0x80;
}

bool IsXmlSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

size_t SkipSpaces(std::string_view text, size_t pos) {
  while (pos < text.size() && IsXmlSpace(text[pos])) ++pos;
  return pos;
}

// Prefixes bound to the identification namespace by xmlns:PREFIX="...".
std::vector<std::string_view> IdentificationPrefixes(std::string_view xmp) {
  std::vector<std::string_view> prefixes;
  for (size_t at = xmp.find(kIdentificationNamespace); at != std::string_view::npos;
       at = xmp.find(kIdentificationNamespace, at + 1)) {
    if (at == 0 || (xmp[at - 1] != '"' && xmp[at - 1] != '\'')) continue;
    size_t p = at - 1;
    while (p > 0 && IsXmlSpace(xmp[p - 1])) --p;
    if (p == 0 || xmp[p - 1] != '=') continue;
    --p;
    while (p > 0 && IsXmlSpace(xmp[p - 1])) --p;
    const size_t end = p;
    while (p > 0 && IsNameByte(xmp[p - 1])) --p;
    if (p == end || p < 6 || xmp.substr(p - 6, 6) != "xmlns:") continue;
    prefixes.push_back(xmp.substr(p, end - p));
  }
  return prefixes;
}

// The value of PREFIX:NAME, written as an attribute (NAME="v") or as an element (<NAME>v<).
std::string_view PropertyValue(std::string_view xmp, std::string_view prefix, std::string_view name) {
  const std::string qualified = std::string(prefix) + ":" + std::string(name);
  for (size_t at = xmp.find(qualified); at != std::string_view::npos; at = xmp.find(qualified, at + 1)) {
    if (at > 0 && (IsNameByte(xmp[at - 1]) || xmp[at - 1] == ':')) continue;
    size_t p = at + qualified.size();
    if (p < xmp.size() && IsNameByte(xmp[p])) continue;
    p = SkipSpaces(xmp, p);
    if (p >= xmp.size()) break;
    size_t start = 0, end = std::string_view::npos;
    if (xmp[p] == '=') {
      p = SkipSpaces(xmp, p + 1);
      if (p >= xmp.size() || (xmp[p] != '"' && xmp[p] != '\'')) continue;
      start = p + 1;
      end = xmp.find(xmp[p], start);
    } else if (xmp[p] == '>' && at > 0 && xmp[at - 1] == '<') {
      start = p + 1;
      end = xmp.find('<', start);
    }
    if (end == std::string_view::npos) continue;
    start = SkipSpaces(xmp, start);
    while (end > start && IsXmlSpace(xmp[end - 1])) --end;
    return xmp.substr(start, end - start);
  }
  return {};
}

}  // namespace

PdfaClaim ParsePdfaClaim(std::string_view xmp) {
  PdfaClaim claim;
  for (std::string_view prefix : IdentificationPrefixes(xmp)) {
    const std::string_view part = PropertyValue(xmp, prefix, "part");
    if (part.empty() || part.size() > 2 || !IsDigit(uint8_t(part[0])) || !IsDigit(uint8_t(part.back())))
      continue;
    const int number = part.size() == 1 ? part[0] - '0' : (part[0] - '0') * 10 + (part[1] - '0');
    if (number == 0) continue;
    claim.part = number;
    claim.conformance = std::string(PropertyValue(xmp, prefix, "conformance"));
    return claim;
  }
  return claim;
}

PdfaClaim ReadPdfaClaim(PdfScan* scan) {
  std::string dict, xmp;
  const std::optional<int64_t> metadata = scan->RefTo(scan->catalog(), "Metadata");
  if (!metadata || !scan->ReadStream(*metadata, &dict, &xmp)) return {};
  return ParsePdfaClaim(xmp);
}
