#include "net/http_request.h"

#include <algorithm>

#include "core/text.h"

namespace {

constexpr char kInvalidUrl[] = "URL no valida.";

bool IsAlpha(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsHexDigit(char c) {
  return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
bool IsControl(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u < 0x20 || u == 0x7F;
}

// A host name: letters, digits, '-', '.', '_', '~', and the bytes of an international name
// (the transport turns those into its ASCII form). Anything else could change what a
// transport takes for the host.
bool IsHostByte(char c) {
  return IsAlpha(c) || IsDigit(c) || c == '-' || c == '.' || c == '_' || c == '~' ||
         static_cast<unsigned char>(c) >= 0x80;
}

// Bytes a request line may carry as they are; the rest of the printable range and
// everything above it is percent-encoded.
bool IsTargetByte(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u <= 0x20 || u >= 0x7F) return false;
  return std::string_view("\"<>\\^`{|}").find(c) == std::string_view::npos;
}

// ParsePort accepts 1 to 65535 in decimal; an empty text leaves the default in place.
bool ParsePort(std::string_view text, uint16_t* port) {
  if (text.empty()) return true;
  if (text.size() > 5 || !std::all_of(text.begin(), text.end(), IsDigit)) return false;
  const int value = std::stoi(std::string(text));
  if (value < 1 || value > 65535) return false;
  *port = static_cast<uint16_t>(value);
  return true;
}

// SplitAuthority reads "host", "host:port", "[v6]" or "[v6]:port".
bool SplitAuthority(std::string_view authority, HttpUrl* out) {
  std::string_view host = authority, port;
  if (!authority.empty() && authority.front() == '[') {
    const size_t close = authority.find(']');
    if (close == std::string_view::npos) return false;
    host = authority.substr(1, close - 1);
    std::string_view rest = authority.substr(close + 1);
    if (!rest.empty() && rest.front() != ':') return false;
    if (!rest.empty()) port = rest.substr(1);
    const bool literal =
        std::all_of(host.begin(), host.end(), [](char c) { return IsHexDigit(c) || c == ':' || c == '.'; });
    if (!literal || host.find(':') == std::string_view::npos) return false;
  } else {
    const size_t colon = authority.find(':');
    if (colon != std::string_view::npos) {
      host = authority.substr(0, colon);
      port = authority.substr(colon + 1);
    }
    if (!std::all_of(host.begin(), host.end(), IsHostByte)) return false;
  }
  if (host.empty() || !ParsePort(port, &out->port)) return false;
  out->host = std::string(host);
  return true;
}

std::string EncodeTarget(std::string_view pathAndQuery) {
  std::string target;
  if (pathAndQuery.empty() || pathAndQuery.front() != '/') target = "/";
  for (char c : pathAndQuery) {
    if (IsTargetByte(c)) {
      target += c;
    } else {
      const auto byte = static_cast<uint8_t>(c);
      target += '%';
      target += HexEncode(&byte, 1);
    }
  }
  return target;
}

bool IsMediaType(std::string_view type) {
  return !type.empty() && std::none_of(type.begin(), type.end(), [](char c) {
    return IsControl(c) || static_cast<unsigned char>(c) >= 0x80;
  });
}

}  // namespace

bool SplitHttpUrl(std::string_view url, HttpUrl* out, std::string* error) {
  *out = HttpUrl{};
  error->clear();
  if (url.empty()) {
    *error = "URL vacia.";
    return false;
  }
  // A control character would end the request line or a header on the wire.
  if (std::any_of(url.begin(), url.end(), IsControl)) {
    *error = kInvalidUrl;
    return false;
  }
  const size_t schemeEnd = url.find("://");
  const std::string_view scheme = url.substr(0, schemeEnd);
  const bool schemeWellFormed =
      schemeEnd != std::string_view::npos && !scheme.empty() && IsAlpha(scheme.front()) &&
      std::all_of(scheme.begin(), scheme.end(),
                  [](char c) { return IsAlpha(c) || IsDigit(c) || c == '+' || c == '-' || c == '.'; });
  if (!schemeWellFormed) {
    *error = kInvalidUrl;
    return false;
  }
  const std::string lowerScheme = AsciiLower(scheme);
  if (lowerScheme != "http" && lowerScheme != "https") {
    *error = "Solo se admite http/https.";
    return false;
  }
  HttpUrl parts;
  parts.secure = lowerScheme == "https";
  parts.port = parts.secure ? 443 : 80;

  std::string_view rest = url.substr(schemeEnd + 3);
  rest = rest.substr(0, rest.find('#'));
  const size_t authorityEnd = rest.find_first_of("/?");
  const std::string_view authority = rest.substr(0, authorityEnd);
  // User information is refused rather than ignored: "https://a@b/" must never look like a.
  if (authority.find('@') != std::string_view::npos || !SplitAuthority(authority, &parts)) {
    *error = kInvalidUrl;
    return false;
  }
  parts.target =
      EncodeTarget(authorityEnd == std::string_view::npos ? std::string_view() : rest.substr(authorityEnd));
  *out = std::move(parts);
  return true;
}

std::string JoinHttpUrl(const HttpUrl& url) {
  const bool literal6 = url.host.find(':') != std::string::npos;
  return std::string(url.secure ? "https://" : "http://") + (literal6 ? "[" + url.host + "]" : url.host) +
         ":" + std::to_string(url.port) + url.target;
}

bool MakeHttpPost(std::string_view url, std::string_view contentType, std::string_view accept,
                  const Bytes& body, int timeoutMs, HttpRequest* out, std::string* error) {
  if (!MakeHttpGet(url, accept, timeoutMs, out, error)) return false;
  if (!IsMediaType(contentType)) {
    *out = HttpRequest{};
    *error = "Tipo de contenido no valido.";
    return false;
  }
  out->get = false;
  out->contentType = std::string(contentType);
  out->body = &body;
  return true;
}

bool MakeHttpGet(std::string_view url, std::string_view accept, int timeoutMs, HttpRequest* out,
                 std::string* error) {
  *out = HttpRequest{};
  if (!SplitHttpUrl(url, &out->url, error)) return false;
  if (!IsMediaType(accept)) {
    *out = HttpRequest{};
    *error = "Tipo de contenido no valido.";
    return false;
  }
  out->get = true;
  out->accept = std::string(accept);
  out->timeoutMs = timeoutMs < 1 ? kHttpDefaultTimeoutMs : timeoutMs;
  return true;
}

std::string HttpTooLargeMessage(size_t maxBodyBytes) {
  return "Respuesta demasiado grande (mas de " + std::to_string(maxBodyBytes) + " bytes).";
}
