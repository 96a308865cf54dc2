#include <cstdlib>
#include <string_view>

#include "core/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Bytes out;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  if (Base64Decode(text, &out)) {
    // Whatever decodes must encode back to the same bytes.
    Bytes again;
    if (!Base64Decode(Base64Encode(out), &again) || again != out) std::abort();
  }
  return 0;
}
