// bench_sign: SignPdf on a large generated PDF, with a classic table and again with object
// streams, against the floor of reading, hashing and writing the file once (cat + sha256sum)
// and against a peer signer (pdfsig -add-signature).
// Prints wall time and peak RSS of each, best of three warm runs.
//   bench_sign [MiB (default 120)] [folder (default $TMPDIR or /tmp)]
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/large_document.h"
#include "bench/spawn.h"
#include "certs/certificate.h"
#include "pades/sign.h"
#include "pades/verify.h"

namespace {

bool Shell(const std::string& command) {
  return std::system(command.c_str()) == 0;
}

// The child mode: one SignPdf with a key read through libcrypto.
int SignOnce(const std::string& in, const std::string& out, const std::string& keyPem,
             const std::string& certDer) {
  FILE* f = std::fopen(keyPem.c_str(), "rb");
  if (!f) return 1;
  EVP_PKEY* key = PEM_read_PrivateKey(f, nullptr, nullptr, nullptr);
  std::fclose(f);
  f = std::fopen(certDer.c_str(), "rb");
  if (!key || !f) return 1;
  Bytes der;
  for (int c; (c = std::fgetc(f)) != EOF;) der.push_back(uint8_t(c));
  std::fclose(f);
  ParsedCertificate cert;
  if (!ParseCertificateExact(der, &cert)) return 1;
  SigningCallback sign = [key](const Bytes& data, std::string*) {
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    size_t len = 0;
    Bytes signature;
    if (EVP_DigestSignInit(ctx, nullptr, EVP_sha256(), nullptr, key) == 1 &&
        EVP_DigestSign(ctx, nullptr, &len, data.data(), data.size()) == 1) {
      signature.resize(len);
      if (EVP_DigestSign(ctx, signature.data(), &len, data.data(), data.size()) != 1) signature.clear();
    }
    EVP_MD_CTX_free(ctx);
    return signature;
  };
  SignResult r = SignPdf(in, out, cert, sign, {}, {StampMode::FirstPage, ""});
  EVP_PKEY_free(key);
  if (!r.ok) std::fprintf(stderr, "bench_sign: %s\n", r.error.c_str());
  return r.ok ? 0 : 1;
}

}  // namespace

// The child mode of the verifier: every signature of the file, without trust anchors.
int VerifyOnce(const std::string& path) {
  const VerifyReport report = VerifyPdf(path, {});
  if (!report.error.empty() || report.signatures.empty()) return 1;
  for (const SignatureReport& s : report.signatures)
    if (s.integrity != Integrity::Intact || s.coverage.modified) return 1;
  return 0;
}

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--verify") == 0) return VerifyOnce(argv[2]);
  if (argc == 6 && std::strcmp(argv[1], "--sign") == 0) return SignOnce(argv[2], argv[3], argv[4], argv[5]);
  const size_t mib = argc > 1 ? size_t(std::atoi(argv[1])) : 120;
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(argc > 2 ? argv[2] : (tmp && *tmp ? tmp : "/tmp")) + "/bench-sign-XXXXXX";
  if (!mkdtemp(pattern.data())) return 1;
  const std::string dir = pattern;
  auto file = [&](const char* name) { return dir + "/" + name; };

  const size_t pages = 3000;
  if (!WriteLargeDocument(file("in.pdf"), pages, mib * 1024 * 1024 / pages)) return 1;
  const std::string quiet = " >/dev/null 2>&1";
  bool pki =
      Shell("openssl req -x509 -newkey rsa:2048 -nodes -keyout " + file("key.pem") + " -out " +
            file("cert.pem") + " -subj /CN=Banco -days 30" + quiet) &&
      Shell("openssl x509 -in " + file("cert.pem") + " -outform DER -out " + file("cert.der")) &&
      Shell("openssl pkcs12 -export -inkey " + file("key.pem") + " -in " + file("cert.pem") +
            " -name banco -passout pass:clave -out " + file("id.p12")) &&
      Shell("mkdir " + file("nss") + " && certutil -N -d sql:" + file("nss") + " --empty-password" + quiet) &&
      Shell("pk12util -i " + file("id.p12") + " -d sql:" + file("nss") + " -W clave" + quiet);
  if (!pki) {
    std::fprintf(stderr, "bench_sign: could not make the key, certificate and NSS database\n");
    return 1;
  }

  // The same document with its catalog, page tree and pages inside object streams and a
  // cross-reference stream, as qpdf, pdfTeX and pdf-lib write them.
  if (!Shell("qpdf --object-streams=generate " + file("in.pdf") + " " + file("objstm.pdf"))) {
    std::fprintf(stderr, "bench_sign: qpdf could not write the object-stream document\n");
    return 1;
  }
  bool allValid = true;
  for (const char* input : {"in.pdf", "objstm.pdf"}) {
    const std::string in = file(input);
    Shell("cat " + in + " > /dev/null");  // warm the page cache
    Run floor = Best(
        {"sh", "-c", "cat '" + in + "' > '" + file("cat.pdf") + "' && sha256sum '" + in + "' > /dev/null"});
    Run ours = Best({"/proc/self/exe", "--sign", in, file("ours.pdf"), file("key.pem"), file("cert.der")});
    Run peer = Best({"pdfsig", "-add-signature", "-nssdir", "sql:" + file("nss"), "-nick", "banco", "-kpw",
                     "clave", in, file("peer.pdf")});
    bool valid = ours.ok && Shell("pdfsig -nocert " + file("ours.pdf") + " | grep -q 'Signature is Valid.'");
    Shell("cat " + file("ours.pdf") + " > /dev/null");
    Run verifyFloor = Best({"sh", "-c",
                            "cat '" + file("ours.pdf") + "' > '" + file("cat.pdf") + "' && sha256sum '" +
                                file("ours.pdf") + "' > /dev/null"});
    Run verify = Best({"/proc/self/exe", "--verify", file("ours.pdf")});
    Run peerVerify = Best({"sh", "-c", "pdfsig -nocert '" + file("ours.pdf") + "' > /dev/null"});
    allValid = allValid && valid;

    const double sizeMiB = double(std::filesystem::file_size(in)) / (1024.0 * 1024.0);
    std::printf("\n%s: %.1f MiB, %zu pages, %zu objects%s\n", input, sizeMiB, pages, 3 * pages + 2,
                std::strcmp(input, "in.pdf") == 0 ? ", classic cross-reference table"
                                                  : ", object streams and a cross-reference stream");
    std::printf("%-32s %9s %10s %9s\n", "", "wall (s)", "peak RSS", "x floor");
    auto row = [&](const char* name, const Run& r, const Run* base = nullptr) {
      if (!r.ok) {
        std::printf("%-32s   failed\n", name);
        return;
      }
      std::printf("%-32s %9.3f %7.1f MiB %9.2f\n", name, r.seconds, r.peakMiB,
                  r.seconds / (base ? base : &floor)->seconds);
    };
    row("cat + sha256sum (floor)", floor);
    row("SignPdf", ours);
    row("pdfsig -add-signature", peer);
    std::printf("SignPdf output checked by pdfsig: %s\n", valid ? "valid" : "NOT VALID");
    std::printf("verifying the signed output (floor: cat + sha256sum of it, %.3f s)\n", verifyFloor.seconds);
    row("VerifyPdf (quillmark verify)", verify, &verifyFloor);
    row("pdfsig (verify)", peerVerify, &verifyFloor);
  }
  std::filesystem::remove_all(dir);
  return allValid ? 0 : 1;
}
