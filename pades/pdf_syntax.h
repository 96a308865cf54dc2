#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The tolerant PDF token rules the engine reads dictionaries with. Every function works on a
// bounded view, never reads outside it, and ends at the view's end whatever the bytes are.

inline bool IsPdfWhite(uint8_t c) {
  return c == 0 || c == 9 || c == 10 || c == 12 || c == 13 || c == 32;
}
inline bool IsPdfDelimiter(uint8_t c) {
  switch (c) {
    case '(':
    case ')':
    case '<':
    case '>':
    case '[':
    case ']':
    case '{':
    case '}':
    case '/':
    case '%': return true;
    default: return IsPdfWhite(c);
  }
}
inline bool IsDigit(uint8_t c) {
  return c >= '0' && c <= '9';
}

// A value inside a dictionary body: [start, end). It starts right after the key's name, so it
// may begin with white space.
struct ValueSpan {
  size_t start = 0;
  size_t end = 0;
};

// SkipDigits returns the position after the run of decimal digits at `pos`.
size_t SkipDigits(std::string_view text, size_t pos);
// SkipBlank skips white space and comments ('%' up to the next LF or CR).
size_t SkipBlank(std::string_view text, size_t pos);
// SkipValue returns the position just after the value that starts at `pos` (after blanks):
// a dictionary, array, string, name, reference or plain token. Malformed input still ends the
// scan; at the end of the text it returns the text's length.
size_t SkipValue(std::string_view text, size_t pos);
// FindKey finds a top-level key (without its slash) of a dictionary body. The first occurrence
// decides; it returns nothing when that occurrence has no value.
std::optional<ValueSpan> FindKey(std::string_view body, std::string_view key);
inline bool HasKey(std::string_view body, std::string_view key) {
  return FindKey(body, key).has_value();
}
// FindValue is the text of FindKey's span, or nothing.
std::optional<std::string_view> FindValue(std::string_view body, std::string_view key);
// Trim removes white space (not comments) from both ends.
std::string_view Trim(std::string_view text);
// GetRef reads the key's value as "N 0 R" and returns N (at least 1); nothing otherwise.
std::optional<int64_t> GetRef(std::string_view body, std::string_view key);

// Reference is an indirect reference "N G R".
struct Reference {
  int64_t number = 0;
  int64_t generation = 0;
};
// GetReference reads the key's value as "N G R" with N at least 1 and G a 32-bit generation.
std::optional<Reference> GetReference(std::string_view body, std::string_view key);
// ReadReference reads "N G R" at `*pos` (after blanks) and moves past it; nothing otherwise.
std::optional<Reference> ReadReference(std::string_view text, size_t* pos);
// ReadStringBytes reads the string at `*pos` (after blanks), literal or hexadecimal, into its
// bytes and moves past it (ISO 32000-1 7.3.4.2 and 7.3.4.3: escapes, octal codes, line
// continuations, an odd last hex digit taken as followed by 0). It returns false, and moves
// nothing, when no string starts there, it is not closed, or a hex string holds another byte.
bool ReadStringBytes(std::string_view text, size_t* pos, std::string* out);
// StreamDataStart returns the position of a stream's first data byte when the text at
// `dictEnd` (just after a stream dictionary's ">>") is the keyword "stream" and its end of
// line, or npos. A lone CR is taken too, as common readers do.
size_t StreamDataStart(std::string_view text, size_t dictEnd);

// C scanf-style readers over a view: each skips leading C white space first and moves `*pos`
// only on success. ScanLong saturates on overflow, as strtol does.
bool ScanLong(std::string_view text, size_t* pos, int64_t* out);
bool ScanDouble(std::string_view text, size_t* pos, double* out);
bool ScanChar(std::string_view text, size_t* pos, char* out);
// ScanRectangle reads four numbers after any white space and '[' characters ("[x1 y1 x2 y2]").
bool ScanRectangle(std::string_view text, double out[4]);

// FindBytes returns the position of the first `needle` at or after `from`, or npos.
size_t FindBytes(std::string_view hay, std::string_view needle, size_t from = 0);
