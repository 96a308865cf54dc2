#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/bytes.h"

// HttpResponse is the outcome of one request. A non-empty `error` means the exchange failed
// below HTTP; an HTTP error status (400 and above) comes back with an empty `error` and the
// caller judges it. `status` is 0 when no response status was obtained.
struct HttpResponse {
  int32_t status = 0;
  Bytes body;         // as received, normally UTF-8 text
  std::string error;  // UTF-8, empty when the exchange completed
};

// HttpPostJson posts `body` unchanged as "application/json" (and accepts the same) with the
// user agent "TalvenNet/1.0", blocking until the exchange ends. A timeout below 1 means
// 15,000 ms; it bounds the connection and the whole exchange. HTTPS uses TLS 1.2 only and
// verifies the server's certificate and host name. Redirects are returned, not followed.
// Failures: "URL vacia.", "URL no valida.", "Solo se admite http/https." before any
// connection; "Tiempo de espera agotado (timeout)."; otherwise the transport's own text.
// Once the response headers have arrived, a failure while reading the body is not an
// error: the status and the part of the body that was read come back.
HttpResponse HttpPostJson(std::string_view url, const Bytes& body, int timeoutMs = 0);

// HttpPostBinary is HttpPostJson for any media type: `body` goes as `contentType`, and the
// answer is asked for as `accept` (for example "application/timestamp-query" and
// "application/timestamp-reply"). A media type with a control character is refused before
// any connection.
// With `maxBodyBytes` above 0, an answer whose body would pass that size is cut off and fails
// with "Respuesta demasiado grande (mas de N bytes).".
HttpResponse HttpPostBinary(std::string_view url, const Bytes& body, std::string_view contentType,
                            std::string_view accept, int timeoutMs = 0, size_t maxBodyBytes = 0);

// HttpGet fetches `url` asking for `accept`, under the same rules: the URL checks, the
// time-out, the size limit, no redirect followed.
HttpResponse HttpGet(std::string_view url, std::string_view accept, int timeoutMs = 0,
                     size_t maxBodyBytes = 0);
