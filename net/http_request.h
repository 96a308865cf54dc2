#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/bytes.h"

// The portable half of the HTTP client: URL rules and the request every transport sends.
// Each platform has one transport (net/http_transport.h) that puts an HttpRequest on the
// wire; nothing here knows which.

// HttpUrl is a URL split into what a request needs.
struct HttpUrl {
  bool secure = false;  // https
  std::string host;     // as written; an IPv6 literal without its brackets
  uint16_t port = 0;    // the scheme's default (80, 443) when the URL names none
  std::string target;   // path and query as sent on the request line, always from "/"
};

// SplitHttpUrl splits an absolute http or https URL. The scheme is matched without regard
// to case; the fragment is dropped (it never travels); a missing path becomes "/"; bytes
// that may not stand on a request line (space, non-ASCII, `"<>\^`{|}`) are percent-encoded.
// It returns false, with "URL vacia.", "Solo se admite http/https." or "URL no valida." in
// `error`, for an empty URL, another scheme, or a URL without a host, with user
// information, with a port outside 1-65535, or with a control character anywhere.
[[nodiscard]] bool SplitHttpUrl(std::string_view url, HttpUrl* out, std::string* error);

// JoinHttpUrl writes the URL back in the one form every transport is given:
// scheme://host:port/target, with brackets around an IPv6 literal.
std::string JoinHttpUrl(const HttpUrl& url);

inline constexpr char kHttpUserAgent[] = "TalvenNet/1.0";
inline constexpr int kHttpDefaultTimeoutMs = 15000;
inline constexpr char kHttpTimeoutMessage[] = "Tiempo de espera agotado (timeout).";

// HttpRequest is one POST or GET, ready for a transport. `body` is borrowed from the caller;
// a GET has none and no content type.
struct HttpRequest {
  HttpUrl url;
  bool get = false;
  std::string contentType;
  std::string accept;
  const Bytes* body = nullptr;
  int timeoutMs = kHttpDefaultTimeoutMs;  // for the connection and for the whole exchange
  size_t maxBodyBytes = 0;                // 0: no limit
};

// HttpTooLargeMessage is the error of an answer whose body passes the request's limit.
std::string HttpTooLargeMessage(size_t maxBodyBytes);

// MakeHttpPost checks the URL and the media types and fills `out`; a timeout below 1 becomes
// kHttpDefaultTimeoutMs. It returns false, with the message in `error`, when SplitHttpUrl
// refuses the URL or a media type is empty or holds a character that would end its header.
[[nodiscard]] bool MakeHttpPost(std::string_view url, std::string_view contentType, std::string_view accept,
                                const Bytes& body, int timeoutMs, HttpRequest* out, std::string* error);
// MakeHttpGet is MakeHttpPost for a GET, which sends no body.
[[nodiscard]] bool MakeHttpGet(std::string_view url, std::string_view accept, int timeoutMs, HttpRequest* out,
                               std::string* error);
