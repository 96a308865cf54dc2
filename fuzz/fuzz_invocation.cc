#include <cstdlib>
#include <string>

#include "examples/TalvenNet/invocation.h"

// The voting page's URL reaches the program as it was typed or linked: any bytes at all.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  // Decoding never grows a text.
  if (UrlDecode(text).size() > text.size()) std::abort();
  for (const auto& [key, value] : ParseQueryString(text))
    if (key.size() + value.size() > text.size()) std::abort();
  Invocation invocation = ReadInvocation({std::string(kSchemePrefix) + text});
  // A notice comes with empty parameters only.
  if (!invocation.message.empty() &&
      !(invocation.parameters.challenge.empty() && invocation.parameters.code.empty() &&
        invocation.parameters.host.empty()))
    std::abort();
  return 0;
}
