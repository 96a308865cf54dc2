#pragma once

#include <string>

#include "pades/tsa.h"

// TsaPost posts time-stamp requests to the authority at `url` over the HTTP client.
TimestampPost TsaPost(const std::string& url);
