#include <cstdlib>
#include <string_view>

#include "net/http_request.h"

// A split URL must come out with a request target that is safe on a request line, and
// must survive being joined and split again unchanged.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  HttpUrl url;
  std::string error;
  if (!SplitHttpUrl(std::string_view(reinterpret_cast<const char*>(data), size), &url, &error)) {
    if (error.empty()) std::abort();
    return 0;
  }
  if (url.host.empty() || url.port == 0 || url.target.empty() || url.target[0] != '/') std::abort();
  for (char c : url.target)
    if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7F) std::abort();
  HttpUrl again;
  if (!SplitHttpUrl(JoinHttpUrl(url), &again, &error) || again.secure != url.secure ||
      again.host != url.host || again.port != url.port || again.target != url.target)
    std::abort();
  return 0;
}
