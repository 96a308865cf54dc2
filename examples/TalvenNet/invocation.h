#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

// InvocationParameters are what the voting page hands over in the firmatalven:// URL.
struct InvocationParameters {
  std::string challenge;  // "reto"
  std::string code;       // "codigo", shown in the title
  std::string host;       // "host", replaces the built-in voting service host
};

// kSchemePrefix is what a scheme argument starts with (exact, case-sensitive).
inline constexpr std::string_view kSchemePrefix = "firmatalven://";

// Invocation is the outcome of reading the command line.
struct Invocation {
  InvocationParameters parameters;
  // message is the notice to show (title kSchemePrefix, kind 1); empty when there is none.
  std::string message;
};

// ReadInvocation takes the first argument that starts with kSchemePrefix, drops the prefix,
// the one character after it and any leading '/', '?', '&' and '=', and reads the rest as a
// query, or as Base64 of Base64 of a query when it names neither "reto=" nor "codigo=". Without
// a scheme argument it returns empty parameters and no message; an empty or keyless query
// gives empty parameters and the message to show.
Invocation ReadInvocation(const std::vector<std::string>& arguments);

// ParseQueryString splits at '&' after the first '?' (when there is one), skips empty pieces,
// and URL-decodes each key and value; a later key replaces an earlier one.
std::map<std::string, std::string> ParseQueryString(std::string_view text);

// UrlDecode turns "%" + two hex digits into that byte and '+' into a space; everything else,
// a '%' without two hex digits included, is copied unchanged.
std::string UrlDecode(std::string_view text);

// DecodeTwiceBase64 decodes `text` as Base64 and the result again. It returns false, leaving
// `out` untouched, when either decoding fails.
bool DecodeTwiceBase64(std::string_view text, std::string* out);

// TitleWithCode appends " - Id [code]" to the title when the code is not empty.
std::string TitleWithCode(const std::string& title, const std::string& code);
