// VerifyPdf over arbitrary files, as anyone can send them: the revision reader, the value
// parser and the comparison of revisions must end without crashing or reading out of bounds,
// and never call a signature intact when its range does not start at 0 and end a revision.
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz/scratch.h"
#include "pades/verify.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = ScratchFolder("fuzz-verify") + "/in.pdf";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  const VerifyReport report = VerifyPdf(path, {});
  for (const SignatureReport& s : report.signatures)
    if (s.integrity == Integrity::Intact && s.coverage.revision == 0) abort();
  return 0;
}
