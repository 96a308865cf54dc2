// Signing and verifying agree: whenever SignPdf accepts the fuzzed input, VerifyPdf must call
// the new signature intact and the document unmodified since it. A disagreement means the
// signer built on a structure that readers (and this verifier) resolve otherwise.
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "core/der.h"
#include "fuzz/scratch.h"
#include "pades/pipeline.h"
#include "pades/verify.h"

namespace {

Bytes Oid(std::initializer_list<uint8_t> content) {
  return DerTlv(0x06, Bytes(content));
}

// TestCertificate is a well-formed certificate whose RSA key has the exponent 1: the
// "signature" of a PKCS#1 block is the block itself, so the fuzzer signs without a private key
// and the verifier's RSA check still runs in full.
ParsedCertificate TestCertificate() {
  Bytes modulus(257, 0xFF);
  modulus[0] = 0;
  Bytes n = DerTlv(0x02, modulus), e = DerTlv(0x02, Bytes{1});
  Bytes key = {0};
  Append(&key, DerTlv(0x30, {&n, &e}));
  Bytes nul = DerTlv(0x05, Bytes{});
  Bytes rsa = Oid({0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01});
  Bytes sha256Rsa = Oid({0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x0B});
  Bytes keyAlgorithm = DerTlv(0x30, {&rsa, &nul}), signatureAlgorithm = DerTlv(0x30, {&sha256Rsa, &nul});
  Bytes bits = DerTlv(0x03, key);
  Bytes spki = DerTlv(0x30, {&keyAlgorithm, &bits});
  Bytes cn = Oid({0x55, 0x04, 0x03}), value = DerTlv(0x0C, Bytes{'F', 'u', 'z', 'z'});
  Bytes attribute = DerTlv(0x30, {&cn, &value});
  Bytes rdn = DerTlv(0x31, attribute);
  Bytes name = DerTlv(0x30, rdn);
  Bytes from = DerTlv(0x17, Bytes{'2', '6', '0', '1', '0', '1', '0', '0', '0', '0', '0', '0', 'Z'});
  Bytes to = DerTlv(0x17, Bytes{'3', '6', '0', '1', '0', '1', '0', '0', '0', '0', '0', '0', 'Z'});
  Bytes validity = DerTlv(0x30, {&from, &to});
  Bytes version = DerTlv(0xA0, DerTlv(0x02, Bytes{2}));
  Bytes serial = DerTlv(0x02, Bytes{0x2A});
  Bytes tbs = DerTlv(0x30, {&version, &serial, &signatureAlgorithm, &name, &validity, &name, &spki});
  Bytes signature = DerTlv(0x03, Bytes{0, 0});
  ParsedCertificate cert;
  if (!ParseCertificateExact(DerTlv(0x30, {&tbs, &signatureAlgorithm, &signature}), &cert)) abort();
  return cert;
}

// Pkcs1Block is the RSA PKCS#1 v1.5 block over SHA-256 of `data`, as long as the modulus.
Bytes Pkcs1Block(const Bytes& data) {
  Sha256Context hash;
  hash.Update(data.data(), data.size());
  const Sha256Digest digest = hash.Final();
  Bytes tail = DigestInfoPrefix();
  tail.insert(tail.end(), digest.begin(), digest.end());
  Bytes block(256 - tail.size(), 0xFF);
  block[0] = 0;
  block[1] = 1;
  block.back() = 0;
  block.insert(block.end(), tail.begin(), tail.end());
  return block;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const ParsedCertificate cert = TestCertificate();
  const std::string& folder = ScratchFolder("fuzz-agree");
  const std::string in = folder + "/in.pdf", out = folder + "/out.pdf";
  FILE* f = std::fopen(in.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  StampOptions stamp;
  stamp.mode = StampMode(size ? data[0] % 5 : 0);
  stamp.pageList = "1, 3-4";
  SigningCallback sign = [](const Bytes& attributes, std::string*) { return Pkcs1Block(attributes); };
  const SignResult r = SignPdfAt(in, out, cert, 4096, sign, {}, stamp, "261206101500Z");
  if (!r.isSigned) return 0;
  const VerifyReport report = VerifyPdf(out, {});
  const SignatureReport* fresh = nullptr;
  for (const SignatureReport& s : report.signatures)
    if (s.coverage.wholeFile) fresh = &s;
  if (!report.error.empty() || !fresh || fresh->integrity != Integrity::Intact || fresh->coverage.modified) {
    std::fprintf(stderr, "sign and verify disagree: %s / %s / %s\n", report.error.c_str(),
                 fresh ? fresh->integrityDetail.c_str() : "no signature covers the file",
                 fresh && !fresh->coverage.changes.empty() ? fresh->coverage.changes[0].what.c_str() : "");
    abort();
  }
  std::remove(out.c_str());
  return 0;
}
