#include "certs/pkcs12.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "certs/openssl_process.h"
#include "core/text.h"

namespace {

std::atomic<long> g_tempCounter{0};

// A stale file from an earlier process with the same id makes a name unusable; the next
// counter value gives a fresh one.
constexpr int kTempNameAttempts = 16;

// TempFile owns one temporary file and removes it when it goes out of scope.
class TempFile {
 public:
  TempFile() = default;
  explicit TempFile(std::string adopted) : path_(std::move(adopted)) {}
  ~TempFile() { Remove(); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // Create makes a new file named with `suffix` that holds `data`. It returns false, owning
  // nothing, when no file could be created.
  bool Create(std::string_view suffix, const uint8_t* data = nullptr, size_t len = 0) {
    Remove();
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
      std::string candidate = MakeTempPath(suffix);
      TempCreate made = CreateTempFile(candidate, data, len);
      if (made == TempCreate::Created) {
        path_ = std::move(candidate);
        return true;
      }
      if (made == TempCreate::Failed) return false;
    }
    return false;
  }
  const std::string& path() const { return path_; }
  void Remove() {
    if (path_.empty()) return;
    std::remove(path_.c_str());
    path_.clear();
  }
  std::string Release() { return std::exchange(path_, std::string()); }

 private:
  std::string path_;
};

// WritePasswordFile writes the password as given, then one line feed: openssl's "file:"
// source reads the first line.
bool WritePasswordFile(const std::string& password, TempFile* file) {
  std::string line = password + "\n";
  bool made = file->Create(".pass", reinterpret_cast<const uint8_t*>(line.data()), line.size());
  SecureClear(&line);
  return made;
}

long FileSize(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return -1;
  long size = std::fseek(f, 0, SEEK_END) == 0 ? std::ftell(f) : -1;
  std::fclose(f);
  return size;
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

bool Readable(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::fclose(f);
  return true;
}

}  // namespace

bool OpensslAvailable() {
  return RunOpenssl({{"version", ""}}) == 0;
}

std::string MakeTempPath(std::string_view suffix) {
  std::string dir = ".";
  for (const char* name : {"TEMP", "TMP", "TMPDIR"}) {
    const char* value = std::getenv(name);
    if (value && *value) {
      dir = value;
      break;
    }
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, "vycert_%ld_%d", ++g_tempCounter, int(CurrentProcessId()));
  return dir + TempPathSeparator() + buf + std::string(suffix);
}

KeyExtraction ExtractPkcs12Key(const std::string& pkcs12Path, const std::string& password) {
  KeyExtraction result;
  if (!OpensslAvailable()) {
    result.extractError = "no se encontro el programa 'openssl' en el PATH del sistema.";
    return result;
  }
  TempFile pass;
  if (!WritePasswordFile(password, &pass)) {
    result.extractError = "no se pudo crear un temporal para la contraseña.";
    return result;
  }
  // The key file exists, empty and private, before openssl writes the unencrypted key in it.
  TempFile key;
  if (!key.Create(".key")) {
    result.extractError = "no se pudo escribir un temporal.";
    return result;
  }
  int status = RunOpenssl({{"pkcs12", ""},
                           {"-in", ""},
                           {"", pkcs12Path},
                           {"-passin", ""},
                           {"file:", pass.path()},
                           {"-nocerts", ""},
                           {"-nodes", ""},
                           {"-out", ""},
                           {"", key.path()}});
  pass.Remove();
  if (status != 0) {
    result.extractError = "openssl no pudo abrir el PKCS#12 (contraseña incorrecta o fichero dañado).";
    return result;
  }
  // openssl succeeds with empty output when the file carries certificates only.
  if (FileSize(key.path()) <= 0) {
    result.extractError = "el PKCS#12 no contiene ninguna clave privada.";
    return result;
  }
  result.keyPath = key.Release();
  result.extracted = true;
  return result;
}

bool ReadPkcs12Certificates(const std::string& pkcs12Path, const std::string& password,
                            std::vector<Bytes>* certificates, std::string* error) {
  certificates->clear();
  error->clear();
  if (!Readable(pkcs12Path)) {
    *error = "no existe el fichero " + pkcs12Path;
    return false;
  }
  if (!OpensslAvailable()) {
    *error = "para leer el PKCS#12 hace falta el programa 'openssl' en el PATH.";
    return false;
  }
  TempFile pass;
  if (!WritePasswordFile(password, &pass)) {
    *error = "no se pudo crear un temporal para la contraseña.";
    return false;
  }
  std::string output = RunOpensslCapture({{"pkcs12", ""},
                                          {"-in", ""},
                                          {"", pkcs12Path},
                                          {"-passin", ""},
                                          {"file:", pass.path()},
                                          {"-nokeys", ""},
                                          {"-clcerts", ""}});
  pass.Remove();
  *certificates = ReadPemBlocks(output, "CERTIFICATE");
  if (certificates->empty()) {
    *error = "openssl no extrajo ningun certificado del PKCS#12 (contraseña incorrecta o fichero dañado).";
    return false;
  }
  return true;
}

bool Pkcs12HasPrivateKey(const std::string& pkcs12Path, const std::string& password, std::string* error) {
  KeyExtraction key = ExtractPkcs12Key(pkcs12Path, password);
  TempFile owned(key.keyPath);
  *error = key.extractError;
  return key.extracted;
}

Bytes SignWithPkcs12(const std::string& pkcs12Path, const std::string& password, const Bytes& data,
                     std::string* error) {
  error->clear();
  if (pkcs12Path.empty()) {
    *error = "no hay ruta del PKCS#12.";
    return {};
  }
  if (!OpensslAvailable()) {
    *error = "falta el programa 'openssl' en el PATH.";
    return {};
  }
  KeyExtraction extraction = ExtractPkcs12Key(pkcs12Path, password);
  if (!extraction.extracted) {
    *error = extraction.extractError;
    return {};
  }
  TempFile key(extraction.keyPath);
  TempFile message, signature;
  if (!message.Create(".msg", data.data(), data.size()) || !signature.Create(".sig")) {
    *error = "no se pudo escribir un temporal.";
    return {};
  }
  int status = RunOpenssl({{"dgst", ""},
                           {"-sha256", ""},
                           {"-sign", ""},
                           {"", key.path()},
                           {"-out", ""},
                           {"", signature.path()},
                           {"", message.path()}});
  message.Remove();
  key.Remove();
  Bytes result;
  if (status == 0) result = ReadWholeFile(signature.path());
  signature.Remove();
  if (result.empty()) *error = "openssl no pudo firmar con la clave del PKCS#12.";
  return result;
}

std::vector<Bytes> ReadPemBlocks(std::string_view text, std::string_view label) {
  std::vector<Bytes> blocks;
  const std::string begin = "-----BEGIN " + std::string(label) + "-----";
  const std::string end = "-----END " + std::string(label) + "-----";
  size_t pos = 0;
  while (true) {
    size_t start = text.find(begin, pos);
    if (start == std::string_view::npos) break;
    start += begin.size();
    size_t stop = text.find(end, start);
    if (stop == std::string_view::npos) break;
    std::string base64;
    for (char c : text.substr(start, stop - start)) {
      if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
          c == '/' || c == '=')
        base64 += c;
    }
    Bytes der;
    if (Base64Decode(base64, &der) && der.size() >= 64) blocks.push_back(std::move(der));
    pos = stop + end.size();
  }
  return blocks;
}
