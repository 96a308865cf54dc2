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

// NumberAfter reads the object number that follows the last `key` in `text`.
long NumberAfter(const std::string& text, const std::string& key) {
  const size_t at = text.rfind(key);
  return at == std::string::npos ? -1 : std::atol(text.c_str() + at + key.size());
}

// WriteManyFields appends to the signed `in` an update whose 3000 new signature fields all show
// the one signature it has: the shape that once made verification take minutes.
bool WriteManyFields(const std::string& in, const std::string& out) {
  // Only the signed file's end is read into memory: the parent's memory would count in the
  // peak RSS of every child it starts afterwards.
  const size_t length = size_t(std::filesystem::file_size(in));
  std::string tail(std::min<size_t>(length, size_t(1) << 20), '\0');
  FILE* source = std::fopen(in.c_str(), "rb");
  if (!source || std::fseek(source, long(length - tail.size()), SEEK_SET) != 0 ||
      std::fread(tail.data(), 1, tail.size(), source) != tail.size())
    return false;
  const long dict = NumberAfter(tail, "/V "), form = NumberAfter(tail, "/AcroForm "),
             field = NumberAfter(tail, "/P ");
  const long first = NumberAfter(tail, "/Size ") + 1, startxref = NumberAfter(tail, "startxref\n");
  if (dict < 0 || form < 0 || field < 0) return false;
  std::string refs = std::to_string(NumberAfter(tail, "/Fields [ ")) + " 0 R";
  std::vector<std::pair<long, size_t>> offsets;
  std::string update;
  auto object = [&](long number, const std::string& body) {
    offsets.push_back({number, length + update.size()});
    update += std::to_string(number) + " 0 obj\n" + body + "\nendobj\n";
  };
  for (long i = 0; i < 3000; ++i) {
    object(first + i, "<< /Type /Annot /Subtype /Widget /FT /Sig /T (Campo" + std::to_string(i) +
                          ") /Rect [0 0 0 0] /F 4 /P " + std::to_string(field) + " 0 R /V " +
                          std::to_string(dict) + " 0 R >>");
    refs += " " + std::to_string(first + i) + " 0 R";
  }
  object(form, "<< /Fields [" + refs + "] /SigFlags 3 >>");
  const size_t xref = length + update.size();
  update += "xref\n";
  char line[48];
  for (const auto& [number, offset] : offsets) {
    std::snprintf(line, sizeof line, "%ld 1\n%010zu 00000 n \n", number, offset);
    update += line;
  }
  update += "trailer\n<< /Size " + std::to_string(first + 3000) + " /Root 1 0 R /Prev " +
            std::to_string(startxref) + " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  FILE* target = std::fopen(out.c_str(), "wb");
  bool ok = target && std::fseek(source, 0, SEEK_SET) == 0;
  std::vector<char> buffer(size_t(1) << 20);
  for (size_t n; ok && (n = std::fread(buffer.data(), 1, buffer.size(), source)) > 0;)
    ok = std::fwrite(buffer.data(), 1, n, target) == n;
  ok = ok && std::fwrite(update.data(), 1, update.size(), target) == update.size();
  std::fclose(source);
  return target && std::fclose(target) == 0 && ok;
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
    std::printf("%-32s %9s %9s %10s %9s\n", "", "wall (s)", "cpu (s)", "peak RSS", "x floor");
    auto row = [&](const char* name, const Run& r, const Run* base = nullptr) {
      if (!r.ok) {
        std::printf("%-32s   failed\n", name);
        return;
      }
      std::printf("%-32s %9.3f %9.3f %7.1f MiB %9.2f\n", name, r.seconds, r.cpuSeconds, r.peakMiB,
                  r.seconds / (base ? base : &floor)->seconds);
    };
    row("cat + sha256sum (floor)", floor);
    row("SignPdf", ours);
    row("pdfsig -add-signature", peer);
    std::printf("SignPdf output checked by pdfsig: %s\n", valid ? "valid" : "NOT VALID");
    std::printf("verifying the signed output (floor: cat + sha256sum of it, %.3f s)\n", verifyFloor.seconds);
    row("VerifyPdf (quillmark verify)", verify, &verifyFloor);
    row("pdfsig (verify)", peerVerify, &verifyFloor);
    if (std::strcmp(input, "in.pdf") != 0) continue;
    // A second signature makes the first one's check compare every object of the document
    // with its signed revision; 3000 fields that show one signature check it once.
    Run second = Best(
        {"/proc/self/exe", "--sign", file("ours.pdf"), file("twice.pdf"), file("key.pem"), file("cert.der")});
    const bool fields = WriteManyFields(file("ours.pdf"), file("fields.pdf"));
    std::printf("two signatures, and one signature shown by 3001 fields (floor as above)\n");
    row("VerifyPdf, two signatures", Best({"/proc/self/exe", "--verify", file("twice.pdf")}), &verifyFloor);
    row("pdfsig, two signatures",
        Best({"sh", "-c", "pdfsig -nocert '" + file("twice.pdf") + "' > /dev/null"}), &verifyFloor);
    if (fields) {
      row("VerifyPdf, 3001 fields", Best({"/proc/self/exe", "--verify", file("fields.pdf")}), &verifyFloor);
      // pdfsig takes minutes here: one run, stopped after ten.
      row("pdfsig, 3001 fields (one run)",
          Best({"sh", "-c", "timeout 600 pdfsig -nocert '" + file("fields.pdf") + "' > /dev/null"}, 1),
          &verifyFloor);
    }
    allValid = allValid && second.ok && fields;
  }
  std::filesystem::remove_all(dir);
  return allValid ? 0 : 1;
}
