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
// The voting service the signed challenge goes to when the URL names no host.
inline constexpr char kDefaultVoteHost[] = "votacion.talven.pe";
// The limits of what a link may carry: a code is at most this many digits, and a challenge
// at most this many bytes.
inline constexpr size_t kMaxCodeDigits = 20;
inline constexpr size_t kMaxChallengeBytes = 4096;
// kLogExcerptChars bounds each value the log keeps from a link.
inline constexpr size_t kLogExcerptChars = 200;

// Invocation is the outcome of reading the command line.
struct Invocation {
  InvocationParameters parameters;
  // message is the notice to show (title kSchemePrefix, kind 1); empty when there is none.
  std::string message;
  // refusal is the one line shown for a link that cannot be right; the parameters are then
  // empty and nothing may touch the card. Empty when the link may be used.
  std::string refusal;
  // evidence is what the log keeps beside a refusal: the offending "key=value", or the link
  // itself, cut to kLogExcerptChars characters.
  std::string evidence;
};

// ReadInvocation takes the first argument that starts with kSchemePrefix, drops the prefix,
// the one character after it and any leading '/', '?', '&' and '=', and reads the rest as a
// query, or as Base64 of Base64 of a query when it names neither "reto=" nor "codigo=". Without
// a scheme argument it returns empty parameters and no message; an empty or keyless query
// gives empty parameters and the message to show.
// It refuses (see Invocation::refusal), before anything else is done with the link: an
// argument that is a link of another form when none has the exact prefix, a host that is not
// a DNS name or an IP address with an optional port, a code that is not digits or is longer
// than kMaxCodeDigits, and a challenge longer than kMaxChallengeBytes or holding a control
// character.
Invocation ReadInvocation(const std::vector<std::string>& arguments);

// IsServiceHost accepts "name", "name:port", "a.b.c.d", "a.b.c.d:port", "[v6]" and
// "[v6]:port": a DNS name is ASCII letters, digits and '-' in dot-separated labels of 1 to 63
// characters (253 in all, no label starting or ending with '-', the last one not all digits,
// as resolvers would read that as an address), an IPv4 address is four decimal numbers 0 to
// 255 without leading zeros, and a port is 1 to 65535. Anything else is refused, so nothing in
// the text can change where the request goes (no '@', '/', '%', spaces or other bytes).
bool IsServiceHost(std::string_view host);

// IsUsualHost tells whether `host` is the built-in voting service (letter case aside, with or
// without ":443").
bool IsUsualHost(std::string_view host);

// VoteHost is where the signature goes: the link's host, else kDefaultVoteHost.
std::string VoteHost(const InvocationParameters& parameters);

// DestinationLine is what the voter reads about the destination: "Destino de la firma: " and
// the host for the usual service, otherwise the warning that names the other host. A host
// longer than 64 characters is shown by its last 64, after "...", as its end is what tells who
// receives the signature.
std::string DestinationLine(const std::string& host);

// LogExcerpt is `text` cut to `limit` characters (whole UTF-8 sequences), "..." marking a cut.
std::string LogExcerpt(std::string_view text, size_t limit = kLogExcerptChars);

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
