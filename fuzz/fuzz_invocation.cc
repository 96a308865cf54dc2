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
  const InvocationParameters& p = invocation.parameters;
  const bool empty = p.challenge.empty() && p.code.empty() && p.host.empty();
  // A notice or a refusal comes with empty parameters only.
  if ((!invocation.message.empty() || !invocation.refusal.empty()) && !empty) std::abort();
  // What passes keeps to the link's limits; what the log keeps of a refusal is bounded.
  if (!p.host.empty() && !IsServiceHost(p.host)) std::abort();
  if (p.code.size() > kMaxCodeDigits || p.code.find_first_not_of("0123456789") != std::string::npos)
    std::abort();
  if (p.challenge.size() > kMaxChallengeBytes) std::abort();
  if (invocation.evidence.size() > kLogExcerptChars * 4 + 3) std::abort();
  return 0;
}
