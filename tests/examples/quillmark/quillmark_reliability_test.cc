// The real quillmark program under stress: stopped by signals while openssl works, secrets
// looked for on disk and in /proc, odd inputs and outputs, parallel signers, flushes.
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <utmp.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <set>

#include "tests/certs/cert_test_helpers.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

const std::string kProgram = std::string(VY_BINARY_DIR) + "/bin/quillmark";
const std::string kPassword = "s3creto-Qm";

extern "C" char** environ;

class QuillmarkReliability : public PeopleSuite {
 protected:
  static void SetUpTestSuite() {
    PeopleSuite::SetUpTestSuite();
    MakePkcs12(*ana_, kPassword, File("ana.p12"));
  }

  void SetUp() override { ASSERT_EQ(Run("sample doc.pdf " + Pkcs12()).status, 0); }

  std::string Pkcs12() { return "--pkcs12 " + Quote(File("ana.p12")) + " --password-env QM_PASSWORD"; }

  CommandResult Run(const std::string& arguments, const std::string& environment = "") {
    return RunCommand("cd " + Quote(work_.path()) + " && " + environment + " " + Quote(kProgram) + " " +
                      arguments);
  }

  // Start runs quillmark in the work folder without waiting; its output goes to `log`.
  pid_t Start(const std::string& arguments, const std::string& log) {
    std::string line = "cd " + Quote(work_.path()) + " && exec " + Quote(kProgram) + " " + arguments + " >" +
                       Quote(log) + " 2>&1";
    const char* argv[] = {"/bin/sh", "-c", line.c_str(), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) return -1;
    return pid;
  }

  // Leftovers lists what a run may not leave in the temporary, current and output folders: a
  // temporary of the PKCS#12 path or of the output, or any file that holds a secret.
  std::vector<std::string> Leftovers() {
    std::vector<std::string> found;
    for (const std::string& dir : {temp_.path(), work_.path()}) {
      for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
        std::string name = entry.path().filename();
        std::string text = entry.is_regular_file() ? ToText(ReadFileBytes(entry.path())) : "";
        if (name.find("vycert_") != std::string::npos || name.find(".tmp") != std::string::npos ||
            text.find(kPassword) != std::string::npos || text.find("PRIVATE KEY") != std::string::npos)
          found.push_back(entry.path());
      }
    }
    return found;
  }

  ScopedEnv password_{"QM_PASSWORD", kPassword};
  ScopedEnv pcsc_{"PCSCLITE_CSOCK_NAME", "/nonexistent/pcscd.comm"};
  TempDir temp_;
  ScopedEnv tempVar_{"TEMP", temp_.path()};
  ScopedEnv tmpVar_{"TMP", temp_.path()};
  ScopedEnv tmpdirVar_{"TMPDIR", temp_.path()};
  TempDir work_;
};

// A stand-in openssl that stops at one phase of the PKCS#12 path (the listing, the key
// extraction or the signature) until released, and otherwise runs the real program. The
// child's environment is scrubbed, so the control folder is written into the script.
class SlowOpenssl {
 public:
  SlowOpenssl() {
    WriteFileText(bin_.File("openssl"), "#!/bin/sh\nCTL=" + Quote(bin_.path()) + R"SH(
case "$*" in
  pkcs12*-nokeys*) phase=list;;
  pkcs12*-nocerts*) phase=key;;
  dgst*) phase=sign;;
  *) phase=other;;
esac
if [ "$phase" = "$(cat "$CTL/stall" 2>/dev/null)" ]; then
  passed=$(cat "$CTL/passed" 2>/dev/null || echo 0)
  echo $((passed + 1)) > "$CTL/passed"
fi
if [ "$phase" = "$(cat "$CTL/stall" 2>/dev/null)" ] && [ "$passed" -ge "$(cat "$CTL/skip")" ]; then
  echo $$ > "$CTL/pid.new" && mv "$CTL/pid.new" "$CTL/pid"
  while [ ! -e "$CTL/release" ]; do sleep 0.02; done
fi
exec /usr/bin/openssl "$@"
)SH");
    chmod(bin_.File("openssl").c_str(), 0755);
  }
  std::string path() const { return bin_.path() + ":/usr/bin:/bin"; }
  // StallAt stops the run of `phase` that comes after `skip` runs of it.
  void StallAt(const std::string& phase, int skip = 0) {
    std::remove(bin_.File("pid").c_str());
    std::remove(bin_.File("release").c_str());
    std::remove(bin_.File("passed").c_str());
    WriteFileText(bin_.File("skip"), std::to_string(skip));
    WriteFileText(bin_.File("stall"), phase);
  }
  // Stalled returns the stand-in's process id once it waits at the phase.
  pid_t Stalled(double seconds) {
    pid_t pid = 0;
    WaitFor(
        [&] {
          std::string text = ToText(ReadFileBytes(bin_.File("pid")));
          pid = text.empty() ? 0 : pid_t(std::stol(text));
          return pid > 0;
        },
        seconds);
    return pid;
  }
  void Release() { WriteFileText(bin_.File("release"), ""); }

 private:
  TempDir bin_;
};

int WaitExit(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

TEST_F(QuillmarkReliability, SignalsAtEveryPhaseLeaveNoSecretNorTemporary) {
  SlowOpenssl openssl;
  ScopedEnv path("PATH", openssl.path());
  const std::string log = temp_.File("../qm-signal-" + std::to_string(getpid()) + ".log");
  bool environmentChecked = false;
  for (const char* phase : {"list", "key", "sign"}) {
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
      SCOPED_TRACE(std::string(phase) + " " + strsignal(sig));
      openssl.StallAt(phase);
      // The key signs inside the process where the openssl library loads; without it, each
      // signature is an openssl run, which is the phase stopped here.
      ScopedEnv library("QUILLMARK_LIBCRYPTO", std::string(phase) == "sign" ? "none" : "");
      pid_t pid = Start("sign doc.pdf " + Pkcs12(), log);
      ASSERT_GT(pid, 0);
      pid_t child = openssl.Stalled(20);
      ASSERT_GT(child, 0) << ToText(ReadFileBytes(log));
      if (!environmentChecked) {
        // The child never gets the password variable; quillmark wipes its value once read.
        std::string environment = ToText(ReadFileBytes("/proc/" + std::to_string(child) + "/environ"));
        EXPECT_NE(environment.find("PATH="), std::string::npos);
        EXPECT_EQ(environment.find("QM_PASSWORD"), std::string::npos) << environment;
        environment = ToText(ReadFileBytes("/proc/" + std::to_string(pid) + "/environ"));
        EXPECT_NE(environment.find("QM_PASSWORD="), std::string::npos);
        EXPECT_EQ(environment.find(kPassword), std::string::npos);
        environmentChecked = true;
      }
      kill(pid, sig);
      int status = WaitExit(pid);
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
      openssl.Release();
      EXPECT_TRUE(WaitFor([&] { return kill(child, 0) != 0; }, 20));
      EXPECT_EQ(Leftovers(), std::vector<std::string>{});
      // The claimed name goes with the run; only SIGKILL, which nothing can catch, may leave it
      // behind, and then empty.
      if (FileExists(work_.File("doc_firmao.pdf"))) {
        EXPECT_EQ(sig, SIGKILL);
        EXPECT_EQ(fs::file_size(work_.File("doc_firmao.pdf")), 0u);
        std::remove(work_.File("doc_firmao.pdf").c_str());
      }
    }
  }
  std::remove(log.c_str());
}

TEST_F(QuillmarkReliability, StoppedMidBatchKeepsWhatWasSignedAndTouchesNothingElse) {
  SlowOpenssl openssl;
  ScopedEnv path("PATH", openssl.path());
  // Each signature an openssl run, so that the batch can be stopped inside the third one.
  ScopedEnv library("QUILLMARK_LIBCRYPTO", "none");
  ASSERT_EQ(
      RunCommand("cd " + Quote(work_.path()) + " && for n in 1 2 3 4 5; do cp doc.pdf $n.pdf; done").status,
      0);
  const Bytes original = ReadFileBytes(work_.File("doc.pdf"));
  const std::string log = temp_.File("../qm-batch-" + std::to_string(getpid()) + ".log");
  for (int sig : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(strsignal(sig));
    const std::string out = std::string("firmados-") + std::to_string(sig);
    openssl.StallAt("sign", 2);
    pid_t pid = Start("sign 1.pdf 2.pdf 3.pdf 4.pdf 5.pdf --out-dir " + out + " " + Pkcs12(), log);
    ASSERT_GT(pid, 0);
    pid_t child = openssl.Stalled(30);
    ASSERT_GT(child, 0) << ToText(ReadFileBytes(log));
    kill(pid, sig);
    int status = WaitExit(pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
    openssl.Release();
    EXPECT_TRUE(WaitFor([&] { return kill(child, 0) != 0; }, 20));
    std::vector<std::string> written;
    for (const fs::directory_entry& entry : fs::directory_iterator(work_.File(out)))
      written.push_back(entry.path().filename());
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, (std::vector<std::string>{"1_firmao.pdf", "2_firmao.pdf"}));
    for (const std::string& name : written) {
      CommandResult check = RunCommand("pdfsig " + Quote(work_.File(out + "/" + name)));
      EXPECT_EQ(Count(check.output, "Signature Validation: Signature is Valid."), 2) << check.output;
    }
    for (int n = 1; n <= 5; ++n) EXPECT_EQ(ReadFileBytes(work_.File(std::to_string(n) + ".pdf")), original);
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
  }
  std::remove(log.c_str());
}

TEST_F(QuillmarkReliability, CtrlCAtThePromptGivesTheEchoBack) {
  // The terminal's settings live on its slave side, which the test keeps open to read them.
  int master = -1, slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    close(master);
    if (login_tty(slave) != 0 || chdir(work_.path().c_str()) != 0) _exit(127);
    execl(kProgram.c_str(), kProgram.c_str(), "sign", "doc.pdf", "--pkcs12", File("ana.p12").c_str(),
          nullptr);
    _exit(127);
  }
  std::string seen;
  fcntl(master, F_SETFL, O_NONBLOCK);
  EXPECT_TRUE(WaitFor(
      [&] {
        char buf[256];
        ssize_t n = read(master, buf, sizeof buf);
        if (n > 0) seen.append(buf, size_t(n));
        return seen.find("Contraseña del PKCS#12: ") != std::string::npos;
      },
      20))
      << seen;
  termios during{};
  tcgetattr(slave, &during);
  EXPECT_FALSE(during.c_lflag & ECHO);
  kill(pid, SIGINT);
  int status = WaitExit(pid);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
  termios after{};
  ASSERT_EQ(tcgetattr(slave, &after), 0);
  EXPECT_TRUE(after.c_lflag & ECHO);
  close(slave);
  close(master);
}

TEST_F(QuillmarkReliability, OddInputsAndNamesAreRefusedOrSkipped) {
  ASSERT_EQ(mkfifo(work_.File("tubo.pdf").c_str(), 0600), 0);
  ASSERT_EQ(mkfifo(work_.File("tubo.p12").c_str(), 0600), 0);
  // Names a reader-based check took for free: a dangling link and a file nobody may read.
  ASSERT_EQ(symlink("/nonexistent/destino", work_.File("doc_firmao.pdf").c_str()), 0);
  ASSERT_TRUE(WriteFileText(work_.File("doc_firmao2.pdf"), "ajeno"));
  chmod(work_.File("doc_firmao2.pdf").c_str(), 0);

  struct Case {
    const char* why;
    std::string arguments;
    std::string environment;
    int status;
    std::string message;
  } cases[] = {
      {"FIFO as the document", "sign tubo.pdf " + Pkcs12(), "", 1,
       "quillmark: tubo.pdf no es un fichero normal.\n"},
      {"FIFO as the PKCS#12", "sign doc.pdf --pkcs12 tubo.p12 --password-env QM_PASSWORD", "", 1,
       "quillmark: tubo.p12 no es un fichero normal.\n"},
      {"password with a line feed",
       "sign doc.pdf --pkcs12 " + Quote(File("ana.p12")) + " --password-env QM_NL",
       "QM_NL=\"$(printf 'a\\nb')\"", 1,
       "quillmark: la contraseña del PKCS#12 contiene un salto de linea o un caracter nulo; openssl no puede "
       "recibirla.\n"},
      {"taken names are skipped", "sign doc.pdf " + Pkcs12(), "", 0, "Firmado: doc_firmao3.pdf  ("},
      // No temporary folder is needed any more: one that cannot take a file does not matter.
      {"unusable temporary folder", "sign doc.pdf --out sin-temp.pdf " + Pkcs12(),
       "TEMP=/proc TMP=/proc TMPDIR=/proc", 0, "Firmado: sin-temp.pdf  ("},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    CommandResult r = Run(c.arguments, c.environment);
    EXPECT_EQ(r.status, c.status) << r.output;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
  }
  EXPECT_EQ(fs::read_symlink(work_.File("doc_firmao.pdf")), "/nonexistent/destino");
  chmod(work_.File("doc_firmao2.pdf").c_str(), 0600);
  EXPECT_EQ(ToText(ReadFileBytes(work_.File("doc_firmao2.pdf"))), "ajeno");
  EXPECT_EQ(Leftovers(), std::vector<std::string>{});
}

TEST_F(QuillmarkReliability, InPlaceSigningKeepsModeAndOwner) {
  const std::string doc = work_.File("doc.pdf");
  chmod(doc.c_str(), 0640);
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown(doc.c_str(), 65534, 65534), 0);
  }
  ASSERT_EQ(Run("sign doc.pdf --out doc.pdf " + Pkcs12()).status, 0);
  struct stat st;
  ASSERT_EQ(stat(doc.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  if (root) {
    EXPECT_EQ(st.st_uid, 65534u);
  }
  // A new name gets the usual mode under the umask.
  ASSERT_EQ(Run("sign doc.pdf " + Pkcs12(), "umask 027 &&").status, 0);
  ASSERT_EQ(stat(work_.File("doc_firmao.pdf").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(st.st_uid, geteuid());
}

TEST_F(QuillmarkReliability, ParallelSignersClaimDistinctNames) {
  constexpr int kSigners = 20;
  std::vector<pid_t> pids;
  std::vector<std::string> logs;
  for (int i = 0; i < kSigners; ++i) {
    logs.push_back(temp_.File("run" + std::to_string(i) + ".log"));
    pids.push_back(Start("sign doc.pdf --stamp none " + Pkcs12(), logs.back()));
  }
  std::set<std::string> reported;
  for (int i = 0; i < kSigners; ++i) {
    EXPECT_EQ(WaitExit(pids[size_t(i)]), 0);
    std::smatch m;
    std::string text = ToText(ReadFileBytes(logs[size_t(i)]));
    if (std::regex_search(text, m, std::regex("Firmado: (\\S+)"))) reported.insert(m[1]);
    std::remove(logs[size_t(i)].c_str());
  }
  EXPECT_EQ(reported.size(), size_t(kSigners));
  for (const std::string& name : reported) {
    CommandResult check = RunCommand("pdfsig " + Quote(work_.File(name)));
    EXPECT_EQ(Count(check.output, "Signature Validation: Signature is Valid."), 2) << name << check.output;
  }
  EXPECT_EQ(work_.Entries().size(), size_t(kSigners) + 1);
}

TEST_F(QuillmarkReliability, OutputAndFolderReachTheDiskAroundTheRename) {
  const std::string trace = temp_.File("strace.log");
  // LeakSanitizer cannot run under ptrace.
  CommandResult r = Run("sign doc.pdf --out doc.pdf " + Pkcs12(),
                        "ASAN_OPTIONS=detect_leaks=0 strace -f -qq -o " + Quote(trace) +
                            " -e trace=openat,fsync,fdatasync,rename,renameat,renameat2,linkat");
  ASSERT_EQ(r.status, 0) << r.output;
  std::string text = ToText(ReadFileBytes(trace));
  // Written unnamed: killed at any moment, the signer leaves no temporary file.
  EXPECT_NE(text.find("O_TMPFILE"), std::string::npos) << text;
  size_t rename = text.find("rename");
  ASSERT_NE(rename, std::string::npos) << text;
  EXPECT_NE(text.rfind("fsync(", rename), std::string::npos) << text;  // the file, before
  EXPECT_NE(text.find("fsync(", rename), std::string::npos) << text;   // its folder, after
  EXPECT_NE(text.find("doc.pdf"), std::string::npos) << text;
}

}  // namespace
