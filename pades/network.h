#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/bytes.h"

// The network as the engine sees it when it gathers validation data: the program passes in its
// HTTP client, so the engine stays free of any transport and tests can count what is asked.

// FetchAnswer is one exchange's outcome: `error` set when no answer came (then `status` is 0).
struct FetchAnswer {
  int status = 0;
  Bytes body;
  std::string error;
};

struct Network {
  // PostOcsp posts an OCSP request (application/ocsp-request) to a responder.
  std::function<FetchAnswer(const std::string& url, const Bytes& request)> postOcsp;
  // Get fetches a revocation list or an issuer's certificate, asking for `accept`.
  std::function<FetchAnswer(const std::string& url, const std::string& accept)> get;
};

// DigestTimestampCallback asks a time-stamp authority for a token over a SHA-256 digest (a
// document time stamp's) and returns it checked, or nothing with the Spanish reason in `error`.
using DigestTimestampCallback = std::function<Bytes(const Bytes& digest, std::string* error)>;
