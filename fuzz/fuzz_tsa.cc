// The time-stamp authority's answer over arbitrary bytes, as a hostile or broken server could
// send it: the reader must end without crashing or reading out of bounds, and never hand over
// a token for a request it does not answer.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "pades/tsa.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Bytes response(data, data + size);
  const Bytes signatureValue(256, 0x5A), nonce = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
  std::string error;
  const Bytes token = CheckTimeStampResponse(response, signatureValue, nonce, &error);
  if (token.empty() == error.empty()) abort();
  TstInfo info;
  (void)ParseTstInfo(response, &info);
  return 0;
}
