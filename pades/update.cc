#include "pades/update.h"

#include <algorithm>
#include <cstdio>

#include "pades/pdf_syntax.h"

void WriteObject(UpdateBuffer* update, uint32_t number, std::string_view body, uint32_t generation) {
  update->Record(number, generation);
  std::string& out = update->text();
  out += std::to_string(number);
  out += ' ';
  out += std::to_string(generation);
  out += " obj\n";
  out += body;
  out += "\nendobj\n";
}

std::string WrapDict(std::string_view body) {
  if (body.empty()) return "<< >>";
  if (body.substr(0, 2) == "<<") return std::string(body);
  return "<<" + std::string(body) + ">>";
}

std::string SetKey(std::string_view body, std::string_view key, std::string_view value) {
  std::optional<ValueSpan> span = FindKey(body, key);
  std::string out;
  if (!span) {
    out.reserve(body.size() + key.size() + value.size() + 3);
    out.append(body).append(" /").append(key).append(" ").append(value);
    return out;
  }
  out.append(body.substr(0, span->start)).append(" ").append(value).append(body.substr(span->end));
  return out;
}

std::string AppendRef(std::string_view body, std::string_view key, uint32_t number,
                      const ArrayReader& readArray) {
  const std::string ref = std::to_string(number) + " 0 R";
  std::optional<ValueSpan> span = FindKey(body, key);
  if (!span) return std::string(body) + " /" + std::string(key) + " [ " + ref + " ]";
  std::string_view before = body.substr(0, span->start);
  std::string_view after = body.substr(span->end);
  std::string_view value = Trim(body.substr(span->start, span->end - span->start));
  std::string merged;
  if (!value.empty() && value.front() == '[' && value.back() == ']') {
    merged = " " + std::string(value.substr(0, value.size() - 1)) + " " + ref + " ]";
  } else {
    std::optional<int64_t> target = GetRef(body, key);
    std::string elements;
    if (target && readArray && readArray(*target, &elements)) {
      // The array object stays as it was; the dictionary carries the merged array inline.
      merged = elements.empty() ? " [ " + ref + " ]" : " [ " + elements + " " + ref + " ]";
    } else {
      merged = " [ " + std::string(value) + " " + ref + " ]";
    }
  }
  std::string out;
  out.reserve(before.size() + merged.size() + after.size());
  out.append(before).append(merged).append(after);
  return out;
}

namespace {

// SortedEntries lists each written object once, in ascending order. An object written twice (a
// malformed page tree can list one page twice) keeps only its last copy.
std::vector<XrefEntry> SortedEntries(const UpdateBuffer& update) {
  std::vector<XrefEntry> entries = update.entries();
  std::stable_sort(entries.begin(), entries.end(),
                   [](const XrefEntry& a, const XrefEntry& b) { return a.number < b.number; });
  std::vector<XrefEntry> unique;
  for (const XrefEntry& e : entries) {
    if (!unique.empty() && unique.back().number == e.number) {
      unique.back() = e;
    } else {
      unique.push_back(e);
    }
  }
  return unique;
}

std::string TrailerKeys(const TrailerFields& trailer) {
  std::string out = "/Size " + std::to_string(trailer.size) + " /Root " + std::to_string(trailer.root) + " " +
                    std::to_string(trailer.rootGeneration) + " R";
  if (trailer.prev) out += " /Prev " + std::to_string(*trailer.prev);
  if (!trailer.prev && !trailer.info.empty()) out += " /Info " + trailer.info;
  if (trailer.id) out += " /ID [<" + trailer.id->first + "> <" + trailer.id->second + ">]";
  // An update's trailer carries the previous one's entries (ISO 32000-1 7.5.6): readers such as
  // Poppler take the document information from the newest trailer only.
  if (trailer.prev && !trailer.info.empty()) out += " /Info " + trailer.info;
  return out;
}

}  // namespace

void WriteXrefAndTrailer(UpdateBuffer* update, const TrailerFields& trailer, XrefLayout layout) {
  const std::vector<XrefEntry> unique = SortedEntries(*update);
  const uint64_t xref = update->Offset();
  std::string& out = update->text();
  char line[64];
  if (layout == XrefLayout::WholeFile) {
    const uint32_t count = unique.empty() ? 1 : unique.back().number + 1;
    out += "xref\n0 " + std::to_string(count) + "\n0000000000 65535 f \n";
    size_t next = 0;
    for (uint32_t n = 1; n < count; ++n) {
      if (unique[next].number == n) {
        std::snprintf(line, sizeof line, "%010llu %05u n \n", (unsigned long long)unique[next].offset,
                      unsigned(unique[next].generation));
        ++next;
      } else {
        std::snprintf(line, sizeof line, "%010u 65535 f \n", 0u);
      }
      out += line;
    }
  } else {
    out += "xref\n0 1\n0000000000 65535 f \n";
    for (const XrefEntry& e : unique) {
      std::snprintf(line, sizeof line, "%u 1\n%010llu %05u n \n", e.number, (unsigned long long)e.offset,
                    unsigned(e.generation));
      out += line;
    }
  }
  out += "trailer\n<< " + TrailerKeys(trailer) + " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
}

void WriteXrefStream(UpdateBuffer* update, const TrailerFields& trailer, uint32_t number) {
  const uint64_t xref = update->Offset();
  update->Record(number);
  const std::vector<XrefEntry> entries = SortedEntries(*update);
  // Fields of 1, 4 and 2 bytes: the type, the offset (files stay below 4 GiB) or object stream,
  // the generation or index; the last takes 4 bytes only when some value does not fit in 2.
  const bool wide = std::any_of(entries.begin(), entries.end(),
                                [](const XrefEntry& e) { return e.generation > 0xFFFF || e.index > 0xFFFF; });
  std::string data, index;
  for (size_t i = 0; i < entries.size(); ++i) {
    const XrefEntry& e = entries[i];
    if (i == 0 || entries[i - 1].number + 1 != e.number) {
      size_t run = 1;
      while (i + run < entries.size() && entries[i + run].number == e.number + run) ++run;
      index += (index.empty() ? "" : " ") + std::to_string(e.number) + " " + std::to_string(run);
    }
    const uint32_t third = e.compressed ? e.index : e.generation;
    const unsigned char row[9] = {
        uint8_t(e.compressed ? 2 : 1), uint8_t(e.offset >> 24), uint8_t(e.offset >> 16),
        uint8_t(e.offset >> 8),        uint8_t(e.offset),       uint8_t(third >> 24),
        uint8_t(third >> 16),          uint8_t(third >> 8),     uint8_t(third)};
    data.append(reinterpret_cast<const char*>(row), 5);
    data.append(reinterpret_cast<const char*>(row) + (wide ? 5 : 7), wide ? 4 : 2);
  }
  std::string& out = update->text();
  out += std::to_string(number) + " 0 obj\n<< /Type /XRef " + TrailerKeys(trailer);
  out += std::string(" /W [1 4 ") + (wide ? "4" : "2") + "] /Index [" + index + "] /Length " +
         std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream\nendobj\nstartxref\n" +
         std::to_string(xref) + "\n%%EOF\n";
}
