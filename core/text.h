#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/bytes.h"

// HexValue is the value of one hex digit of either case, or -1 for any other character.
int HexValue(char c);
// HexEncode writes two upper-case digits per byte, high nibble first.
std::string HexEncode(const uint8_t* data, size_t len);
inline std::string HexEncode(const Bytes& bytes) {
  return HexEncode(bytes.data(), bytes.size());
}
// HexDecode skips spaces, ':' and '_' and drops an unpaired last digit. It returns empty
// bytes when any other non-hex character occurs.
Bytes HexDecode(std::string_view text);

// Base64Encode uses the standard alphabet with '=' padding and no line breaks.
std::string Base64Encode(const uint8_t* data, size_t len);
inline std::string Base64Encode(const Bytes& bytes) {
  return Base64Encode(bytes.data(), bytes.size());
}
// Base64Decode ignores TAB, LF, CR and space. It returns false, and leaves `out` cleared,
// when the length is not a multiple of four, a character is outside the alphabet, or '='
// stands anywhere but the last two places of the last group.
[[nodiscard]] bool Base64Decode(std::string_view text, Bytes* out);

// UtcTimeNow formats the current UTC time with a strftime pattern (at most 63 characters).
std::string UtcTimeNow(const char* pattern);
// PdfDate turns a signing time "yymmddHHMMSSZ" into a /M date "D:20yymmddHHMMSS+00'00'";
// a text shorter than 12 characters uses the current time instead.
std::string PdfDate(std::string_view signingTime);
// HumanUtcDate turns a signing time into "2026-12-06 10:15:00 UTC"; a short text is returned
// unchanged.
std::string HumanUtcDate(std::string_view signingTime);

// kInvalidUtf8 is what DecodeUtf8 gives for a byte that starts no well-formed sequence.
constexpr char32_t kInvalidUtf8 = 0xFFFFFFFF;
// DecodeUtf8 reads the code point that starts at byte `*pos` (below the text's size) and
// moves `*pos` past it. A byte that starts no well-formed sequence (a stray continuation
// byte, a lead byte without all its continuation bytes, an overlong form, a surrogate, a
// value past U+10FFFF) is passed alone and gives kInvalidUtf8.
char32_t DecodeUtf8(std::string_view text, size_t* pos);
// AppendUtf8 writes one code point; a surrogate or a value past U+10FFFF becomes U+FFFD.
void AppendUtf8(std::string* out, char32_t cp);
// Utf8ToUtf16 is lenient: bytes that start no well-formed sequence are skipped, so a
// cut-off sequence ends the text.
std::u16string Utf8ToUtf16(std::string_view text);
// Utf16ToUtf8 converts code units to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
// TextStringHex renders a PDF text string "<FEFF...>" in UTF-16BE.
std::string TextStringHex(std::string_view text);
// NameString renders a literal "(...)" for pure ASCII text, else a TextStringHex.
std::string NameString(std::string_view text);
// EscapeLiteral puts a backslash before '(', ')' and '\'.
std::string EscapeLiteral(std::string_view text);
// FormatNumber is printf "%g".
std::string FormatNumber(double value);
// AsciiLower lowers A-Z only.
std::string AsciiLower(std::string_view text);
