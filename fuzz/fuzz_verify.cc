// VerifyPdf over arbitrary files, as anyone can send them: the revision reader, the value
// parser and the comparison of revisions must end without crashing or reading out of bounds,
// and never call a signature intact when its range does not start at 0 and end a revision.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "pades/verify.h"

namespace {

const std::string& Path() {
  static std::string path = [] {
    std::string pattern =
        access("/dev/shm", W_OK) == 0 ? "/dev/shm/fuzz-verify-XXXXXX" : "/tmp/fuzz-verify-XXXXXX";
    if (!mkdtemp(pattern.data())) abort();
    return pattern + "/in.pdf";
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* f = std::fopen(Path().c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  const VerifyReport report = VerifyPdf(Path(), {});
  for (const SignatureReport& s : report.signatures)
    if (s.integrity == Integrity::Intact && s.coverage.revision == 0) abort();
  return 0;
}
