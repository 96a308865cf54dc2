#include <cstdlib>
#include <string_view>

#include "core/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Bytes out = HexDecode(std::string_view(reinterpret_cast<const char*>(data), size));
  if (HexDecode(HexEncode(out)) != out) std::abort();
  (void)Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
