#include "tests/support/test_support.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <gtest/gtest.h>

namespace testing_support {

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/qm-test-XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back(0);
  if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
  path_ = buf.data();
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> TempDir::Entries() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path_))
    names.push_back(entry.path().filename().string());
  return names;
}

void StopChild(pid_t pid, double seconds) {
  kill(pid, SIGTERM);
  int status = 0;
  if (!WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, seconds)) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
}

bool StartServerUntil(const std::vector<std::string>& argv, const TempDir& dir,
                      const std::function<bool()>& ready, pid_t* pid, std::string* why) {
  const std::string log = dir.File("server.log");
  std::vector<char*> words;
  for (const std::string& word : argv) words.push_back(const_cast<char*>(word.c_str()));
  words.push_back(nullptr);
  const pid_t parent = getpid();
  *pid = fork();
  if (*pid < 0) {
    *why = "fork failed";
    return false;
  }
  if (*pid == 0) {
    // The server must not outlive a test that crashes.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(1);
    const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(out, 1);
    dup2(out, 2);
    execvp(words[0], words.data());
    _exit(127);
  }
  bool exited = false;
  const bool up = WaitFor(
      [&] {
        int status = 0;
        exited = waitpid(*pid, &status, WNOHANG) == *pid;
        return exited || ready();
      },
      15);
  if (!up || exited) {
    if (!exited) StopChild(*pid, 3);
    *pid = -1;
    *why = ToText(ReadFileBytes(log));
    return false;
  }
  return true;
}

bool StartLoopbackServer(const std::vector<std::string>& argv, const TempDir& dir, pid_t* pid, int* port,
                         std::string* why) {
  if (!StartServerUntil(
          argv, dir, [&] { return FileExists(dir.File("port")); }, pid, why))
    return false;
  *port = std::atoi(ToText(ReadFileBytes(dir.File("port"))).c_str());
  return true;
}

CommandResult RunCommand(const std::string& commandLine) {
  CommandResult result;
  FILE* pipe = popen((commandLine + " 2>&1").c_str(), "r");
  if (!pipe) return result;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) result.output.append(buf, n);
  int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string Quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  return out + "'";
}

Bytes ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool WriteFileBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return bool(out);
}

bool WriteFileText(const std::string& path, const std::string& text) {
  return WriteFileBytes(path, Bytes(text.begin(), text.end()));
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

TestPki::TestPki(const std::string& dir) : dir_(dir) {}

namespace {
void MustRun(const std::string& cmd) {
  CommandResult r = RunCommand(cmd);
  if (r.status != 0) throw std::runtime_error("command failed: " + cmd + "\n" + r.output);
}
}  // namespace

TestIdentity TestPki::MakeCa(const std::string& cn) {
  TestIdentity id;
  std::string base = dir_ + "/" + cn;
  id.keyPem = base + ".key.pem";
  id.certPem = base + ".crt.pem";
  MustRun("openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out " + Quote(id.keyPem));
  MustRun("openssl req -new -x509 -key " + Quote(id.keyPem) + " -subj " +
          Quote("/C=PE/O=Quillmark Pruebas/CN=" + cn) +
          " -days 3650 -sha256 -addext basicConstraints=critical,CA:TRUE -addext "
          "keyUsage=critical,keyCertSign,cRLSign -out " +
          Quote(id.certPem));
  MustRun("openssl x509 -in " + Quote(id.certPem) + " -outform DER -out " + Quote(base + ".crt.der"));
  id.certDer = ReadFileBytes(base + ".crt.der");
  return id;
}

TestIdentity TestPki::MakeLeaf(const TestIdentity& ca, const std::string& name, const std::string& subject,
                               const std::string& keySpec, const std::string& extensions, int serial) {
  TestIdentity id;
  std::string base = dir_ + "/" + name;
  id.keyPem = base + ".key.pem";
  id.certPem = base + ".crt.pem";
  MustRun("openssl genpkey " + keySpec + " -out " + Quote(id.keyPem));
  MustRun("openssl req -new -key " + Quote(id.keyPem) + " -subj " + Quote(subject) + " -utf8 -out " +
          Quote(base + ".csr"));
  WriteFileText(base + ".ext", "[ext]\nbasicConstraints=CA:FALSE\n" + extensions + "\n");
  MustRun("openssl x509 -req -in " + Quote(base + ".csr") + " -CA " + Quote(ca.certPem) + " -CAkey " +
          Quote(ca.keyPem) + " -set_serial " + std::to_string(serial ? serial : 1000 + serial_++) +
          " -days 730 -sha256 -extfile " + Quote(base + ".ext") + " -extensions ext -out " +
          Quote(id.certPem));
  MustRun("openssl x509 -in " + Quote(id.certPem) + " -outform DER -out " + Quote(base + ".crt.der"));
  id.certDer = ReadFileBytes(base + ".crt.der");
  return id;
}

Bytes TestPki::SignSha256(const TestIdentity& id, const Bytes& data) {
  std::string in = dir_ + "/sign-input.bin", out = dir_ + "/sign-output.bin";
  WriteFileBytes(in, data);
  MustRun("openssl dgst -sha256 -sign " + Quote(id.keyPem) + " -out " + Quote(out) + " " + Quote(in));
  return ReadFileBytes(out);
}

}  // namespace testing_support
