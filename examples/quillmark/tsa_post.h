#pragma once

#include <string>

#include "pades/network.h"
#include "pades/tsa.h"

// The engine's network needs, met by the HTTP client: the time-stamp authority, and the OCSP
// responders, revocation lists and issuers' certificates of long-term signatures.

// TsaPost posts time-stamp requests to the authority at `url` over the HTTP client.
TimestampPost TsaPost(const std::string& url);

// RevocationNetwork fetches with a 10-second time-out and answers of at most 10 MiB.
Network RevocationNetwork();
