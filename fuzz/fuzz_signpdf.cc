// SignPdf over arbitrary bytes with a fast fake signer: it must end, without crashing or reading
// out of bounds, whatever the input.
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "core/der.h"
#include "fuzz/scratch.h"
#include "pades/pipeline.h"

namespace {

// A certificate that has the RSA shape the engine needs: only its structure is read.
ParsedCertificate FakeCertificate() {
  Bytes modulus(65, 0xC5);
  modulus[0] = 0;
  Bytes n = DerTlv(0x02, modulus), e = DerTlv(0x02, Bytes{1, 0, 1});
  Bytes bits = {0};
  Append(&bits, DerTlv(0x30, {&n, &e}));
  Bytes empty = DerTlv(0x30, Bytes{});
  Bytes key = DerTlv(0x03, bits);
  Bytes spki = DerTlv(0x30, {&empty, &key});
  Bytes version = DerTlv(0xA0, DerTlv(0x02, Bytes{2}));
  Bytes serial = DerTlv(0x02, Bytes{0x2A});
  Bytes tbs = DerTlv(0x30, {&version, &serial, &empty, &empty, &empty, &empty, &spki});
  Bytes signature = DerTlv(0x03, Bytes{0});
  ParsedCertificate cert;
  cert.der = DerTlv(0x30, {&tbs, &empty, &signature});
  cert.parsed = true;
  cert.subjectCommonName = "Fuzz";
  return cert;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const ParsedCertificate cert = FakeCertificate();
  const std::string& folder = ScratchFolder("fuzz-sign");
  const std::string in = folder + "/in.pdf", out = folder + "/out.pdf";
  FILE* f = std::fopen(in.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  // The first byte picks the stamp mode, so every case of the field code is reached.
  StampOptions stamp;
  stamp.mode = StampMode(size ? data[0] % 6 : 0);
  stamp.pageList = "1, 3-4";
  SigningCallback sign = [](const Bytes&, std::string* note) {
    *note = "fuzz";
    return Bytes(64, 0x5A);
  };
  SignResult r = SignPdfAt(in, out, cert, 8192, sign, {}, stamp, "261206101500Z");
  if (r.ok != r.isSigned) abort();
  std::remove(out.c_str());
  return 0;
}
