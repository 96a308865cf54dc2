// bench_batch: `quillmark sign` over a folder of one-page documents with a PKCS#12 file, in
// documents per second, beside a loop of `pdfsig -add-signature` over the same files with the
// same key (in an NSS database), and beside the batch with one openssl run per signature (the
// openssl library not loaded). Best of three runs each; every output is checked by pdfsig.
//   bench_batch [documents (default 100)] [folder (default $TMPDIR or /tmp)]
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/spawn.h"

namespace {

namespace fs = std::filesystem;

bool Shell(const std::string& command) {
  return std::system(command.c_str()) == 0;
}

std::string Numbered(const std::string& dir, int n, const char* suffix) {
  char name[32];
  std::snprintf(name, sizeof name, "/doc%03d%s", n, suffix);
  return dir + name;
}

// Batch times one quillmark run over the folder, into a fresh output folder.
Run Batch(const std::string& documents, const std::string& out, const std::string& p12) {
  fs::remove_all(out);
  return Spawn({VY_QUILLMARK_PROGRAM, "sign", documents, "--out-dir", out, "--stamp", "first", "--pkcs12",
                p12, "--password-env", "QM_BENCH_PASSWORD"});
}

// PeerLoop times pdfsig -add-signature once per document, one process each.
Run PeerLoop(const std::string& documents, const std::string& out, const std::string& nss, int count) {
  fs::remove_all(out);
  fs::create_directory(out);
  Run total;
  total.ok = true;
  for (int n = 1; n <= count && total.ok; ++n) {
    Run one = Spawn({"pdfsig", "-add-signature", "-nssdir", "sql:" + nss, "-nick", "banco", "-kpw", "clave",
                     Numbered(documents, n, ".pdf"), Numbered(out, n, "_firmao.pdf")});
    total.ok = one.ok;
    total.seconds += one.seconds;
    total.cpuSeconds += one.cpuSeconds;
  }
  return total;
}

// Quiet sends the programs' output (ours lists every document, pdfsig complains about NSS)
// to /dev/null while it lives: children inherit the descriptors.
class Quiet {
 public:
  Quiet() : out_(dup(1)), err_(dup(2)) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    close(null);
  }
  ~Quiet() {
    dup2(out_, 1);
    dup2(err_, 2);
    close(out_);
    close(err_);
  }

 private:
  int out_, err_;
};

template <typename F>
Run BestOf(int times, F run) {
  std::fflush(stdout);
  Quiet quiet;
  Run best;
  for (int i = 0; i < times; ++i) {
    Run r = run();
    if (!r.ok) return r;
    if (!best.ok || r.seconds < best.seconds) best = r;
  }
  return best;
}

int AllValid(const std::string& out, int count) {
  int valid = 0;
  for (int n = 1; n <= count; ++n)
    valid += Shell("pdfsig -nocert " + Numbered(out, n, "_firmao.pdf") + " | grep -q 'Signature is Valid.'");
  return valid;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 100;
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(argc > 2 ? argv[2] : (tmp && *tmp ? tmp : "/tmp")) + "/bench-batch-XXXXXX";
  if (count < 1 || !mkdtemp(pattern.data())) return 1;
  const std::string dir = pattern, documents = dir + "/documentos";
  const std::string quiet = " >/dev/null 2>&1";
  fs::create_directory(documents);
  bool ready =
      Shell("gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pdfwrite -o " + Numbered(documents, 1, ".pdf") +
            " -c '/Helvetica findfont 24 scalefont setfont 72 720 moveto (Factura 001) show showpage'") &&
      Shell("openssl req -x509 -newkey rsa:2048 -nodes -keyout " + dir + "/key.pem -out " + dir +
            "/cert.pem -subj /CN=Banco -days 30" + quiet) &&
      Shell("openssl pkcs12 -export -inkey " + dir + "/key.pem -in " + dir +
            "/cert.pem -name banco -passout pass:clave -out " + dir + "/id.p12") &&
      Shell("mkdir " + dir + "/nss && certutil -N -d sql:" + dir + "/nss --empty-password" + quiet) &&
      Shell("pk12util -i " + dir + "/id.p12 -d sql:" + dir + "/nss -W clave" + quiet);
  for (int n = 2; ready && n <= count; ++n)
    ready = fs::copy_file(Numbered(documents, 1, ".pdf"), Numbered(documents, n, ".pdf"));
  if (!ready) {
    std::fprintf(stderr, "bench_batch: could not make the documents, the key or the NSS database\n");
    return 1;
  }
  setenv("QM_BENCH_PASSWORD", "clave", 1);

  const std::string p12 = dir + "/id.p12";
  Run ours = BestOf(3, [&] { return Batch(documents, dir + "/ours", p12); });
  const int oursValid = ours.ok ? AllValid(dir + "/ours", count) : 0;
  setenv("QUILLMARK_LIBCRYPTO", "none", 1);
  Run perRun = BestOf(3, [&] { return Batch(documents, dir + "/per-run", p12); });
  unsetenv("QUILLMARK_LIBCRYPTO");
  Run peer = BestOf(3, [&] { return PeerLoop(documents, dir + "/peer", dir + "/nss", count); });

  std::printf("%d one-page documents, PKCS#12 with an RSA-2048 key\n", count);
  std::printf("%-44s %9s %9s %12s\n", "", "wall (s)", "CPU (s)", "documents/s");
  auto row = [&](const char* name, const Run& r) {
    if (!r.ok)
      std::printf("%-44s   failed\n", name);
    else
      std::printf("%-44s %9.3f %9.3f %12.1f\n", name, r.seconds, r.cpuSeconds, count / r.seconds);
  };
  row("quillmark sign (key in memory)", ours);
  row("quillmark sign (one openssl run a document)", perRun);
  row("pdfsig -add-signature, one run a document", peer);
  std::printf("target: at least 30 documents/s; quillmark outputs valid in pdfsig: %d of %d\n", oursValid,
              count);
  fs::remove_all(dir);
  return ours.ok && oursValid == count ? 0 : 1;
}
