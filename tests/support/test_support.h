#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "core/bytes.h"

namespace testing_support {

// TempDir makes a private folder under the system's temporary folder and removes it, with
// everything inside, when destroyed.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  // Entries lists the names inside the folder (not recursive).
  std::vector<std::string> Entries() const;

 private:
  std::string path_;
};

struct CommandResult {
  int status = -1;     // exit status, or -1 when it did not exit normally
  std::string output;  // standard output and error together
};

// Run executes a shell command line and captures its output.
CommandResult RunCommand(const std::string& commandLine);
// Quote makes one shell word of `text`.
std::string Quote(const std::string& text);

Bytes ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const Bytes& bytes);
bool WriteFileText(const std::string& path, const std::string& text);
bool FileExists(const std::string& path);

// WaitFor polls `ready` until it holds or `seconds` pass, and says whether it held.
template <typename F>
bool WaitFor(F ready, double seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!ready()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// StopChild ends a child process with SIGTERM, or SIGKILL when it has not exited within
// `seconds`, and reaps it.
void StopChild(pid_t pid, double seconds);

// StartServerUntil runs `argv` with its output in dir/server.log (the child dies with the test
// process) and waits until `ready` holds. It returns false, with that log in `why` and no child
// left, when the server exits first or is not ready within 15 seconds.
bool StartServerUntil(const std::vector<std::string>& argv, const TempDir& dir,
                      const std::function<bool()>& ready, pid_t* pid, std::string* why);
// StartLoopbackServer runs `argv`, a server that writes its port to dir/port once it accepts
// connections, with its output in dir/server.log; the child dies with the test process. It
// returns false, with that log in `why` and no child left, when the server is not up within
// 15 seconds.
bool StartLoopbackServer(const std::vector<std::string>& argv, const TempDir& dir, pid_t* pid, int* port,
                         std::string* why);

// Count says how many times `what` occurs in `text`, overlapping ones included.
inline int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// A key and certificate made with the openssl program.
struct TestIdentity {
  std::string keyPem;   // path of the PKCS#8 PEM private key
  std::string certPem;  // path of the PEM certificate
  Bytes certDer;
};

// TestPki makes a CA and end-entity certificates under a folder with the openssl program.
class TestPki {
 public:
  explicit TestPki(const std::string& dir);
  // MakeCa creates a self-signed CA (RSA 2048) named `cn`.
  TestIdentity MakeCa(const std::string& cn);
  // MakeLeaf issues an end-entity certificate signed by `ca`. `keySpec` is an openssl
  // genpkey algorithm option set, e.g. "-algorithm RSA -pkeyopt rsa_keygen_bits:2048";
  // `subject` an openssl -subj text; `extensions` lines for an [ext] section.
  // `serial`, when not 0, is the certificate's serial number instead of the next of a count.
  TestIdentity MakeLeaf(const TestIdentity& ca, const std::string& name, const std::string& subject,
                        const std::string& keySpec = "-algorithm RSA -pkeyopt rsa_keygen_bits:2048",
                        const std::string& extensions = "keyUsage=critical,digitalSignature,nonRepudiation",
                        int serial = 0);
  // SignSha256 makes an RSA PKCS#1 v1.5 SHA-256 signature over `data` with the key.
  Bytes SignSha256(const TestIdentity& id, const Bytes& data);
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
  int serial_ = 1;
};

// TestPeople is a private folder with a CA and two of its people: "ana" (Ana Quispe) and
// "beto" (Beto Rojas). `pki` stays usable for further certificates.
struct TestPeople {
  TempDir dir;
  TestPki pki{dir.path()};
  TestIdentity ca = pki.MakeCa("Quillmark CA");
  TestIdentity ana = pki.MakeLeaf(ca, "ana", "/C=PE/CN=Ana Quispe");
  TestIdentity beto = pki.MakeLeaf(ca, "beto", "/C=PE/CN=Beto Rojas");
};

}  // namespace testing_support
