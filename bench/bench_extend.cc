// bench_extend: `quillmark extend --level b-lta` on the signing benchmark's large document,
// signed at B-T, against the floor of reading, hashing and writing the file once (cat +
// sha256sum), with pdfsig's plain verification of the same file beside it. The OCSP responder
// (openssl ocsp), the revocation lists and the time-stamp authority run on loopback, as in the
// tests. Prints wall time and peak RSS of each, best of three warm runs.
//   bench_extend [MiB (default 120)] [folder (default $TMPDIR or /tmp)]
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/large_document.h"
#include "bench/spawn.h"

namespace {

bool Shell(const std::string& command) {
  return std::system(command.c_str()) == 0;
}

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string line;
  std::getline(in, line);
  return line;
}

}  // namespace

int main(int argc, char** argv) {
  const size_t mib = argc > 1 ? size_t(std::atoi(argv[1])) : 120;
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(argc > 2 ? argv[2] : (tmp && *tmp ? tmp : "/tmp")) + "/bench-extend-XXXXXX";
  if (!mkdtemp(pattern.data())) return 1;
  const std::string dir = pattern;
  auto file = [&](const std::string& name) { return dir + "/" + name; };
  const std::string services = std::string(VY_SOURCE_DIR) + "/tests/support/ltv_services.sh";
  if (!Shell(services + " " + dir)) {
    Shell(services + " --stop " + dir);
    std::fprintf(stderr, "bench_extend: the loopback services did not come up (see %s)\n", dir.c_str());
    return 1;
  }
  const std::string tsaUrl = Read(file("tsa_url"));
  const std::string quillmark = VY_QUILLMARK_PROGRAM;

  const size_t pages = 3000;
  setenv("QM_PASSWORD", "clave", 1);
  if (!WriteLargeDocument(file("in.pdf"), pages, mib * 1024 * 1024 / pages) ||
      !Spawn({quillmark, "sign", file("in.pdf"), "--out", file("signed.pdf"), "--stamp", "none", "--level",
              "b-t", "--tsa", tsaUrl, "--pkcs12", file("signer.p12"), "--password-env", "QM_PASSWORD"})
           .ok) {
    std::fprintf(stderr, "bench_extend: could not make the signed document\n");
    Shell(services + " --stop " + dir);
    return 1;
  }
  const std::string in = file("signed.pdf");
  Shell("cat " + in + " > /dev/null");  // warm the page cache
  Run floor = Best(
      {"sh", "-c", "cat '" + in + "' > '" + file("cat.pdf") + "' && sha256sum '" + in + "' > /dev/null"});
  Run ours = Best({quillmark, "extend", in, "--out", file("lta.pdf"), "--level", "b-lta", "--tsa", tsaUrl});
  Run peer = Best({"sh", "-c", "pdfsig -nocert '" + in + "' > /dev/null"});
  const bool valid =
      ours.ok && Shell("pdfsig -nocert " + file("lta.pdf") + " | grep -q 'Signature is Valid.'");

  std::printf("\nsigned.pdf: %.1f MiB, %zu pages, one B-T signature\n",
              double(std::filesystem::file_size(in)) / (1024.0 * 1024.0), pages);
  std::printf("%-36s %9s %10s %9s\n", "", "wall (s)", "peak RSS", "x floor");
  auto row = [&](const char* name, const Run& r) {
    if (!r.ok) {
      std::printf("%-36s   failed\n", name);
      return;
    }
    std::printf("%-36s %9.3f %7.1f MiB %9.2f\n", name, r.seconds, r.peakMiB, r.seconds / floor.seconds);
  };
  row("cat + sha256sum (floor)", floor);
  row("quillmark extend --level b-lta", ours);
  row("pdfsig (plain verify)", peer);
  std::printf("extended output's signature checked by pdfsig: %s\n", valid ? "valid" : "NOT VALID");
  Shell(services + " --stop " + dir);
  std::filesystem::remove_all(dir);
  return valid ? 0 : 1;
}
