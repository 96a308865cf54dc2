#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// PDF values as a reader resolves them (ISO 32000-1 7.3): names with their #-escapes decoded,
// strings as their bytes, references as numbers. The verifier compares what readers see, so
// two spellings of one value ("/Page" and "/P#61ge", "<41>" and "(A)") are one value here.

struct PdfValue {
  struct Entry;
  enum class Type : uint8_t { Null, Boolean, Integer, Real, String, Name, Array, Dictionary, Reference };
  Type type = Type::Null;
  bool boolean = false;
  bool repeatedKey = false;  // a dictionary that names one key twice: readers disagree on it
  int64_t integer = 0;       // Integer; Reference: the object number
  uint32_t generation = 0;   // Reference
  double real = 0;
  uint32_t at = 0, end = 0;     // where the value lies in the text it was parsed from
  std::string text;             // String: its bytes; Name: decoded, without the slash
  std::vector<PdfValue> items;  // Array
  std::vector<Entry> entries;   // Dictionary, in written order

  bool Is(Type t) const { return type == t; }
  bool IsName(std::string_view name) const { return type == Type::Name && text == name; }
  // Get is the value of a dictionary's key, or nullptr (also for values that are not
  // dictionaries).
  const PdfValue* Get(std::string_view key) const;
  // Number reads an Integer or a Real.
  bool Number(double* out) const;
};

struct PdfValue::Entry {
  std::string first;  // the key, decoded
  PdfValue second;
};

// SameValue compares two values as readers see them: numbers by value, dictionaries as sets of
// entries, references by number and generation.
bool SameValue(const PdfValue& a, const PdfValue& b);

// ParseStatus says how a parse ended: Truncated means the text ended before the value did, so
// a longer window of the file may complete it.
enum class ParseStatus { Ok, Truncated, Invalid };

// ParsePdfValue reads one value starting at `*pos` (after blanks and comments) and moves `*pos`
// past it. Containers nest at most 256 levels deep; deeper input is Invalid.
ParseStatus ParsePdfValue(std::string_view text, size_t* pos, PdfValue* out);

// ForEachReference calls `visit` for every reference inside `value`, with the path of keys
// that leads to it ("Annots[]", "AP/N"), outermost first.
template <typename F>
void ForEachReference(const PdfValue& value, F&& visit, std::string path = {});

// ScanReferences finds every "N G R" in text that could not be parsed, so that nothing it
// might point at escapes the verifier.
std::vector<std::pair<int64_t, uint32_t>> ScanReferences(std::string_view text);

template <typename F>
void ForEachReference(const PdfValue& value, F&& visit, std::string path) {
  switch (value.type) {
    case PdfValue::Type::Reference: visit(value, path); break;
    case PdfValue::Type::Array:
      for (const PdfValue& item : value.items) ForEachReference(item, visit, path + "[]");
      break;
    case PdfValue::Type::Dictionary:
      for (const auto& [key, item] : value.entries)
        ForEachReference(item, visit, path.empty() ? key : path + "/" + key);
      break;
    default: break;
  }
}
