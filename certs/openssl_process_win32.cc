#include <process.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <utility>

#include "certs/openssl_process.h"
#include "certs/pkcs12.h"
#include "core/signal_cleanup.h"

namespace {

// QuoteArgument wraps a path in double quotes and writes every inner quote as \".
std::string QuoteArgument(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string CommandLine(const std::vector<OpensslArg>& args) {
  std::string line = "openssl";
  for (const OpensslArg& arg : args) {
    line += ' ';
    line += arg.text;
    if (!arg.path.empty()) line += QuoteArgument(arg.path);
  }
  return line;
}

// TempFile owns one temporary file of the command-line form and removes it when it goes out
// of scope.
class TempFile {
 public:
  TempFile() = default;
  ~TempFile() { Remove(); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // Create makes a new file named with `suffix` that holds `data`. It returns false, owning
  // nothing, when no file could be created.
  bool Create(std::string_view suffix, const void* data = nullptr, size_t len = 0) {
    Remove();
    std::string candidate = MakeTempPath(suffix);
    FILE* f = std::fopen(candidate.c_str(), "wb");
    if (!f) return false;
    path_ = candidate;
    // Ctrl-C while openssl runs must not leave the password or the key behind.
    guard_.Guard(path_.c_str());
    bool ok = len == 0 || std::fwrite(data, 1, len, f) == len;
    if (std::fclose(f) != 0) ok = false;
    if (!ok) Remove();
    return ok;
  }
  const std::string& path() const { return path_; }
  void Remove() {
    if (path_.empty()) return;
    std::remove(path_.c_str());
    path_.clear();
    guard_.Release();
  }
  // Release hands the file over to an owner that guards and removes it.
  std::string Release() { return std::exchange(path_, std::string()); }

 private:
  std::string path_;
  CleanupPath guard_;
};

// WritePasswordFile writes the password as given, then one line feed: openssl's "file:"
// source reads the first line.
bool WritePasswordFile(const std::string& password, TempFile* file) {
  std::string line = password + "\n";
  bool made = file->Create(".pass", line.data(), line.size());
  SecureClear(&line);
  return made;
}

Bytes ReadWholeFile(const std::string& path) {
  Bytes bytes;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return bytes;
  if (std::fseek(f, 0, SEEK_END) == 0) {
    long size = std::ftell(f);
    if (size > 0 && std::fseek(f, 0, SEEK_SET) == 0) {
      bytes.resize(size_t(size));
      if (std::fread(bytes.data(), 1, bytes.size(), f) != bytes.size()) bytes.clear();
    }
  }
  std::fclose(f);
  return bytes;
}

// TempFolderHasRoom tells an empty key file that openssl could not write (a full folder)
// from a PKCS#12 that holds no key: a key's worth of bytes must fit beside it.
bool TempFolderHasRoom() {
  TempFile probe;
  std::string room(8192, '\0');
  return probe.Create(".tmp", room.data(), room.size());
}

}  // namespace

int RunOpenssl(const std::vector<OpensslArg>& args) {
  return std::system((CommandLine(args) + " >nul 2>&1").c_str());
}

PrivateKey::~PrivateKey() {
  Reset();
}

PrivateKey::PrivateKey(PrivateKey&& other) noexcept {
  *this = std::move(other);
}

PrivateKey& PrivateKey::operator=(PrivateKey&& other) noexcept {
  if (this != &other) {
    Reset();
    material = std::exchange(other.material, std::string());
    other.guard.Release();
    if (!material.empty()) guard.Guard(material.c_str());
  }
  return *this;
}

void PrivateKey::Reset() {
  if (!material.empty()) std::remove(material.c_str());
  material.clear();
  guard.Release();
}

OpensslOutcome ExportPkcs12Certificates(const std::string& pkcs12Path, const std::string& password,
                                        std::string* pem) {
  pem->clear();
  TempFile pass;
  if (!WritePasswordFile(password, &pass)) return OpensslOutcome::PasswordTemp;
  FILE* pipe = _popen(CommandLine({{"pkcs12", ""},
                                   {"-in", ""},
                                   {"", pkcs12Path},
                                   {"-passin", ""},
                                   {"file:", pass.path()},
                                   {"-nokeys", ""},
                                   {"-clcerts", ""}})
                          .c_str(),
                      "rb");
  if (!pipe) return OpensslOutcome::Failed;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) pem->append(buf, n);
  return _pclose(pipe) == 0 ? OpensslOutcome::Ok : OpensslOutcome::Failed;
}

OpensslOutcome ExportPkcs12Key(const std::string& pkcs12Path, const std::string& password, PrivateKey* key) {
  key->Reset();
  TempFile pass;
  if (!WritePasswordFile(password, &pass)) return OpensslOutcome::PasswordTemp;
  // The key file exists, empty, before openssl writes the unencrypted key in it.
  TempFile file;
  if (!file.Create(".key")) return OpensslOutcome::Temp;
  int status = RunOpenssl({{"pkcs12", ""},
                           {"-in", ""},
                           {"", pkcs12Path},
                           {"-passin", ""},
                           {"file:", pass.path()},
                           {"-nocerts", ""},
                           {"-nodes", ""},
                           {"-out", ""},
                           {"", file.path()}});
  pass.Remove();
  if (status != 0) return OpensslOutcome::Failed;
  Bytes pem = ReadWholeFile(file.path());
  bool empty = pem.empty();
  SecureClear(&pem);
  if (empty) {
    // openssl exits 0 with an empty file both for a file without a key and a full folder.
    file.Remove();
    return TempFolderHasRoom() ? OpensslOutcome::Ok : OpensslOutcome::TempFull;
  }
  key->material = file.Release();
  key->guard.Guard(key->material.c_str());
  return OpensslOutcome::Ok;
}

OpensslOutcome SignWithKey(const PrivateKey& key, const Bytes& data, Bytes* signature) {
  signature->clear();
  TempFile message, result;
  if (!message.Create(".msg", data.data(), data.size()) || !result.Create(".sig"))
    return OpensslOutcome::Temp;
  int status = RunOpenssl({{"dgst", ""},
                           {"-sha256", ""},
                           {"-sign", ""},
                           {"", key.material},
                           {"-out", ""},
                           {"", result.path()},
                           {"", message.path()}});
  message.Remove();
  if (status != 0) return OpensslOutcome::Failed;
  *signature = ReadWholeFile(result.path());
  return OpensslOutcome::Ok;
}

// The openssl library is not looked for on Windows: each signature is one openssl run.
LoadedKey::~LoadedKey() = default;

void LoadedKey::Reset() {}

bool LoadedKey::Open(const PrivateKey&) {
  return false;
}

OpensslOutcome LoadedKey::Sign(const Bytes&, Bytes* signature) const {
  signature->clear();
  return OpensslOutcome::Failed;
}

InputKind CheckInputFile(const std::string& path) {
  struct _stat64 st;
  if (_stat64(path.c_str(), &st) != 0) return InputKind::Missing;
  if (!(st.st_mode & _S_IFREG)) return InputKind::NotRegular;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return InputKind::Missing;
  std::fclose(f);
  return InputKind::Regular;
}

char TempPathSeparator() {
  return '\\';
}

long CurrentProcessId() {
  return long(_getpid());
}
